// One running program per user session: a lock file in the session's runtime folder.
//
// The lock is `$XDG_RUNTIME_DIR/pellucor.lock` (or, without that variable, a file named after
// the user id in the temporary folder). A lock left by a program that died is taken over, and so
// is one whose holder cannot be read (an empty file, a file cut short or garbage): no program
// could still hold it. A holder keeps its lock file's descriptor locked, so a program that is just
// writing its new lock file is never mistaken for one that left garbage.
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

    // True when this process now holds the lock; false at once when another process holds it
    // (or the lock file cannot be made at all).
    bool acquire();
    // Lets the lock go (the file is removed); acquire() takes it again.
    void release();
    QString lockPath() const { return m_path; }
    // The process that holds the lock, as its lock file names it; 0 when that cannot be read.
    qint64 holder() const;

    static QString defaultLockPath();

private:
    QString m_path;
    std::unique_ptr<QLockFile> m_lock;
};

} // namespace pellucor
