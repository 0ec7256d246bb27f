// One running program per user session: a lock file in the session's runtime folder.
//
// The lock is `$XDG_RUNTIME_DIR/pellucor.lock` (or, without that variable, a file named after
// the user id in the temporary folder). A lock left by a program that died is taken over.
#pragma once

#include <QLockFile>
#include <QString>

#include <memory>

namespace pellucor {

class SingleInstance
{
public:
    // `lockPath` empty: the default place above.
    explicit SingleInstance(const QString& lockPath = QString());

    // True when this process now holds the lock; false at once when another process holds it.
    bool acquire();
    QString lockPath() const { return m_path; }

    static QString defaultLockPath();

private:
    QString m_path;
    std::unique_ptr<QLockFile> m_lock;
};

} // namespace pellucor
