#include "sharedframelock.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QThread>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#endif

SharedFrameLock::SharedFrameLock(const QString& key) : m_key(key) {}

SharedFrameLock::~SharedFrameLock()
{
#ifdef Q_OS_UNIX
    if (m_fd >= 0) {
        ::close(m_fd);
    }
#endif
}

QString SharedFrameLock::filePath() const
{
    return QDir::temp().filePath(QStringLiteral("lumora_%1.lock").arg(m_key));
}

bool SharedFrameLock::lockForWriting(int timeoutMs)
{
#ifdef Q_OS_UNIX
    return acquire(LOCK_EX, timeoutMs);
#else
    Q_UNUSED(timeoutMs);
    return true;
#endif
}

bool SharedFrameLock::lockForReading()
{
#ifdef Q_OS_UNIX
    return acquire(LOCK_SH, -1);
#else
    return true;
#endif
}

void SharedFrameLock::unlock()
{
#ifdef Q_OS_UNIX
    if (m_fd >= 0) {
        ::flock(m_fd, LOCK_UN);
    }
#endif
}

bool SharedFrameLock::open()
{
#ifdef Q_OS_UNIX
    // The temporary folder is read again every time, as QSharedMemory does
    // for its keys, so that both always meet in the same folder.
    const QString path = filePath();
    if (m_fd >= 0 && path == m_openPath) {
        return true;
    }
    if (m_fd >= 0) {
        ::close(m_fd);
    }
    // Reading is enough to lock; a file that another user made is then
    // still usable.
    m_fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CREAT | O_CLOEXEC, 0644);
    m_openPath = m_fd >= 0 ? path : QString();
    return m_fd >= 0;
#else
    return true;
#endif
}

bool SharedFrameLock::acquire(int operation, int timeoutMs)
{
#ifdef Q_OS_UNIX
    if (!open()) {
        return false;
    }
    if (timeoutMs < 0) {
        while (::flock(m_fd, operation) != 0) {
            if (errno != EINTR) {
                return false;
            }
        }
        return true;
    }
    // Readers hold the lock for one copy of a record, well under a
    // millisecond; polling at that pace costs nothing while they do.
    QElapsedTimer waited;
    waited.start();
    while (::flock(m_fd, operation | LOCK_NB) != 0) {
        if ((errno != EWOULDBLOCK && errno != EINTR) || waited.hasExpired(timeoutMs)) {
            return false;
        }
        QThread::usleep(250);
    }
    return true;
#else
    Q_UNUSED(operation);
    Q_UNUSED(timeoutMs);
    return true;
#endif
}
