#include "app/skin/single_instance.h"

#include <QDir>

#include <unistd.h>

namespace pellucor {

QString SingleInstance::defaultLockPath()
{
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && QDir(runtime).exists())
        return QDir(runtime).filePath(QStringLiteral("pellucor.lock"));
    return QDir(QDir::tempPath()).filePath(QStringLiteral("pellucor-%1.lock").arg(::getuid()));
}

SingleInstance::SingleInstance(const QString& lockPath)
    : m_path(lockPath.isEmpty() ? defaultLockPath() : lockPath), m_lock(std::make_unique<QLockFile>(m_path))
{
    // By default a lock older than 30 s counts as stale, which would let a second start take it
    // from a program that is still running. Only a lock whose process has gone is stale here.
    m_lock->setStaleLockTime(0);
}

bool SingleInstance::acquire()
{
    // A lock whose process is gone is removed by tryLock itself; a live holder is never waited for.
    if (m_lock->isLocked() || m_lock->tryLock(0))
        return true;
    if (m_lock->error() != QLockFile::LockFailedError || holder() != 0)
        return false;
    // The file names no holder, so tryLock can tell nothing about it and would refuse every start
    // from now on. Removing it fails while a program keeps it locked (one that has just made it
    // and not yet written it).
    return m_lock->removeStaleLockFile() && m_lock->tryLock(0);
}

void SingleInstance::release()
{
    m_lock->unlock();
}

qint64 SingleInstance::holder() const
{
    qint64 pid = 0;
    QString host;
    QString application;
    return m_lock->getLockInfo(&pid, &host, &application) ? pid : 0;
}

} // namespace pellucor
