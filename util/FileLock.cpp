#include "FileLock.h"

#include <QDeadlineTimer>
#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <time.h>

FileLock::FileLock(const QString &lockFilePath) : m_path(lockFilePath)
{
    open();
}

void FileLock::open()
{
    const QByteArray name = QFile::encodeName(m_path);
    m_error = 0;
    m_fd.reset(openRetrying(name.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600));
    // flock needs no write access: a lock file that exists in a folder we may not write still
    // serves, and the real error then comes from the write that follows.
    if (!m_fd.isValid() && (errno == EACCES || errno == EROFS || errno == EPERM)) {
        const int cannotCreate = errno;
        m_fd.reset(openRetrying(name.constData(), O_RDONLY | O_CLOEXEC));
        // No lock file to share: the folder's being read-only is the reason, not the absence.
        if (!m_fd.isValid() && errno == ENOENT)
            errno = cannotCreate;
    }
    if (!m_fd.isValid())
        m_error = errno;
}

bool FileLock::isStillAtPath() const
{
    struct stat held, named;
    return m_fd.isValid() && ::fstat(m_fd.get(), &held) == 0 &&
           ::stat(QFile::encodeName(m_path).constData(), &named) == 0 && held.st_dev == named.st_dev &&
           held.st_ino == named.st_ino;
}

void FileLock::reopen()
{
    unlock();
    m_fd.reset();
    open();
}

bool FileLock::tryLock()
{
    if (m_locked)
        return true;
    if (!m_fd.isValid())
        return false; // m_error still says why the file could not be opened
    for (;;) {
        if (::flock(m_fd.get(), LOCK_EX | LOCK_NB) == 0) {
            m_error = 0;
            m_locked = true;
            return true;
        }
        if (errno != EINTR) {
            m_error = errno;
            return false;
        }
    }
}

bool FileLock::lock(int timeoutMs, const std::function<void()> &whileWaiting)
{
    const QDeadlineTimer deadline(timeoutMs < 0 ? QDeadlineTimer(QDeadlineTimer::Forever)
                                                : QDeadlineTimer(timeoutMs));
    for (;;) {
        if (tryLock())
            return true;
        if (m_error != EWOULDBLOCK || deadline.hasExpired())
            return false;
        if (whileWaiting)
            whileWaiting();
        const timespec pause{0, 5 * 1000 * 1000};
        ::nanosleep(&pause, nullptr);
    }
}

void FileLock::unlock()
{
    if (!m_locked)
        return;
    ::flock(m_fd.get(), LOCK_UN);
    m_locked = false;
}
