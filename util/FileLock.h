#pragma once

#include "PosixFile.h"

#include <QString>

#include <functional>

// An exclusive flock(2) on a lock file. The kernel drops the lock when the descriptor closes,
// also when the holder is killed, so a crash never leaves a stale lock behind. Each FileLock
// opens the file itself, so two FileLock objects exclude each other even in one process.
class FileLock
{
public:
    // Opens (and creates, mode 0600) the lock file; does not lock yet.
    explicit FileLock(const QString &lockFilePath);
    ~FileLock() = default; // closing the descriptor releases the lock

    FileLock(const FileLock &) = delete;
    FileLock &operator=(const FileLock &) = delete;

    // Takes the lock when nobody holds it; never waits.
    bool tryLock();
    // Waits for the lock up to timeoutMs (negative: for ever), trying every few milliseconds
    // and calling whileWaiting between tries (a window lets its events run there).
    bool lock(int timeoutMs, const std::function<void()> &whileWaiting = {});
    void unlock();
    bool isLocked() const { return m_locked; }

    // Whether the file held open is still the one its path names (the same device and inode):
    // false once its folder was renamed away and another put in its place, or the file removed.
    bool isStillAtPath() const;
    // Lets go of the file (and the lock) and opens the one its path names now.
    void reopen();

    // Why the last attempt failed: EWOULDBLOCK when another holder kept it (also after a
    // timeout), else the error of opening or locking the file (for a lock file that could
    // neither be made nor found, why it could not be made: a read-only folder says so). 0 when
    // it did not fail.
    int error() const { return m_error; }
    const QString &path() const { return m_path; }

private:
    void open();

    QString m_path;
    UniqueFd m_fd;
    int m_error = 0;
    bool m_locked = false;
};
