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

    // Why the last attempt failed: EWOULDBLOCK when another holder kept it (also after a
    // timeout), else the error of opening or locking the file. 0 when it did not fail.
    int error() const { return m_error; }
    const QString &path() const { return m_path; }

private:
    QString m_path;
    UniqueFd m_fd;
    int m_error = 0;
    bool m_locked = false;
};
