#pragma once

#include <QByteArray>
#include <QString>

#include <sys/types.h>

// The few pieces every caller of raw POSIX file I/O needs, in one place: a descriptor that
// closes itself, reads and writes that finish their job across interrupts and short
// transfers, the text of an error number, and the atomic replacement of a file.

// Owns one file descriptor (or none: -1) and closes it when it goes.
class UniqueFd
{
public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) : m_fd(fd) {}
    ~UniqueFd() { reset(); }
    UniqueFd(UniqueFd &&other) noexcept : m_fd(other.release()) {}
    UniqueFd &operator=(UniqueFd &&other) noexcept
    {
        if (this != &other)
            reset(other.release());
        return *this;
    }
    UniqueFd(const UniqueFd &) = delete;
    UniqueFd &operator=(const UniqueFd &) = delete;

    int get() const { return m_fd; }
    bool isValid() const { return m_fd >= 0; }
    // Gives the descriptor up without closing it.
    int release()
    {
        const int fd = m_fd;
        m_fd = -1;
        return fd;
    }
    // Closes the held descriptor (if any) and takes fd.
    void reset(int fd = -1);
    // Closes now and says how that went: 0, or the errno of a failed close (which for a
    // written file can be the first word of a lost write).
    int close();

private:
    int m_fd = -1;
};

// open(2), tried again when a signal interrupts it (opening a FIFO or a device can wait).
int openRetrying(const char *path, int flags, mode_t mode = 0);
// Reads until size bytes are in or the file ends, across interrupts and short reads.
// Returns the bytes read, or -1 with errno set.
ssize_t readFull(int fd, void *buffer, size_t size);
// The same at an offset (pread).
ssize_t preadFull(int fd, void *buffer, size_t size, off_t offset);
// Writes every byte, across interrupts and short writes. False with errno set on failure.
bool writeFull(int fd, const void *data, size_t size);
// The system's text for an error number, in the user's language.
QString errnoText(int err);

// Whether a process with this id runs (one of another user's counts too).
bool processAlive(qint64 pid);

// The permissions a new file gets: 0666 less the process's file mask.
mode_t newFileMode();

// Writes bytes to path atomically: a hidden temporary file in the same folder
// ("." + name + ".tmp-XXXXXX", so it never matches the archive mask), flushed to disk, then renamed
// over path. Keeps the permissions of an existing file. A failure leaves the old file as
// it was and throws AmbryError with the path and the reason. A writer killed before the
// rename leaves only the temporary file; isStaleTemporaryName() recognises it.
void writeFileAtomically(const QString &path, const QByteArray &bytes);
// Whether a file name is one of writeFileAtomically's temporary names for a target named
// targetSuffix at its end (for example ".dat"), compared without regard to letter case.
bool isAtomicTemporaryName(const QByteArray &name, const QByteArray &targetSuffix);

// Copies the file at source to target without ever replacing a file there: the copy is written
// as an unnamed file in target's folder (or, where the file system cannot, under a temporary name
// as writeFileAtomically names them) and takes target's name only while no file has it, so an
// interrupted copy never leaves part of a file under that name. Keeps the
// source's modification time. Returns false, copying nothing, when target exists; throws
// AmbryError with the path and the reason on any other failure.
bool copyFileWithoutReplacing(const QByteArray &source, const QString &target);
