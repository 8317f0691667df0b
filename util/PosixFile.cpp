#include "PosixFile.h"

#include "AmbryError.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

void UniqueFd::reset(int fd)
{
    if (m_fd >= 0)
        ::close(m_fd); // Linux frees the descriptor even when close reports EINTR: never retry
    m_fd = fd;
}

int UniqueFd::close()
{
    if (m_fd < 0)
        return 0;
    const int rc = ::close(m_fd);
    m_fd = -1;
    return rc == 0 || errno == EINTR ? 0 : errno;
}

int openRetrying(const char *path, int flags, mode_t mode)
{
    int fd;
    do
        fd = ::open(path, flags, mode);
    while (fd < 0 && errno == EINTR);
    return fd;
}

namespace {

// Reads until size bytes, the end of the file or an error; a read cut short by a signal is
// taken up again. readSome(done) reads into the buffer from done on.
template <typename ReadSome> ssize_t readUntilFull(size_t size, ReadSome readSome)
{
    size_t done = 0;
    while (done < size) {
        const ssize_t got = readSome(done);
        if (got < 0) {
            if (errno == EINTR)
                continue;
            return -1;
        }
        if (got == 0)
            break;
        done += size_t(got);
    }
    return ssize_t(done);
}

} // namespace

ssize_t readFull(int fd, void *buffer, size_t size)
{
    return readUntilFull(
        size, [&](size_t done) { return ::read(fd, static_cast<char *>(buffer) + done, size - done); });
}

ssize_t preadFull(int fd, void *buffer, size_t size, off_t offset)
{
    return readUntilFull(size, [&](size_t done) {
        return ::pread(fd, static_cast<char *>(buffer) + done, size - done, offset + off_t(done));
    });
}

bool writeFull(int fd, const void *data, size_t size)
{
    size_t done = 0;
    while (done < size) {
        const ssize_t put = ::write(fd, static_cast<const char *>(data) + done, size - done);
        if (put < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        done += size_t(put);
    }
    return true;
}

QString errnoText(int err)
{
    return QString::fromLocal8Bit(std::strerror(err));
}

namespace {

[[noreturn]] void failWrite(const QString &path, int err)
{
    throw AmbryError(QStringLiteral("Cannot create file \"%1\". %2").arg(path, errnoText(err)));
}

const char kTempMarker[] = ".tmp-";
const int kTempRandom = 6; // the XXXXXX of mkostemp

} // namespace

bool processAlive(qint64 pid)
{
    return pid > 0 && (::kill(pid_t(pid), 0) == 0 || errno == EPERM);
}

mode_t newFileMode()
{
    // The process's file mask, read without changing it (other threads may create files).
    QFile status(QStringLiteral("/proc/self/status"));
    if (status.open(QIODevice::ReadOnly)) {
        for (QByteArray line = status.readLine(); !line.isEmpty(); line = status.readLine()) {
            if (line.startsWith("Umask:")) {
                bool ok = false;
                const uint mask = line.mid(6).trimmed().toUInt(&ok, 8);
                if (ok)
                    return 0666 & ~mode_t(mask);
            }
        }
    }
    const mode_t mask = ::umask(022);
    ::umask(mask);
    return 0666 & ~mask;
}

void writeFileAtomically(const QString &path, const QByteArray &bytes)
{
    const QByteArray target = QFile::encodeName(path);
    const QFileInfo info(path);
    QByteArray temp = QFile::encodeName(info.path()) + "/." + QFile::encodeName(info.fileName()) +
                      kTempMarker + QByteArray(kTempRandom, 'X');
    UniqueFd fd(::mkostemp(temp.data(), O_CLOEXEC));
    if (!fd.isValid())
        failWrite(path, errno);

    struct stat old;
    const mode_t mode = ::stat(target.constData(), &old) == 0 ? (old.st_mode & 07777) : newFileMode();
    int err = 0;
    if (!writeFull(fd.get(), bytes.constData(), size_t(bytes.size())) || ::fchmod(fd.get(), mode) != 0 ||
        ::fsync(fd.get()) != 0)
        err = errno;
    if (const int closeErr = fd.close(); closeErr && !err)
        err = closeErr;
    if (!err && ::rename(temp.constData(), target.constData()) != 0)
        err = errno;
    if (err) {
        ::unlink(temp.constData());
        failWrite(path, err);
    }
    // Make the rename itself durable; failing here loses nothing already written.
    const UniqueFd dir(
        openRetrying(QFile::encodeName(info.path()).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.isValid())
        ::fsync(dir.get());
}

bool isAtomicTemporaryName(const QByteArray &name, const QByteArray &targetSuffix)
{
    const qsizetype markerLength = qsizetype(sizeof kTempMarker - 1);
    const qsizetype tail = markerLength + kTempRandom;
    if (!name.startsWith('.') || name.size() < 1 + targetSuffix.size() + tail)
        return false;
    const QByteArrayView stem = QByteArrayView(name).first(name.size() - tail);
    if (QByteArrayView(name).sliced(stem.size(), markerLength) != QByteArrayView(kTempMarker))
        return false;
    for (const char c : QByteArrayView(name).last(kTempRandom))
        if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')))
            return false;
    return stem.size() > targetSuffix.size() &&
           qstrnicmp(stem.last(targetSuffix.size()).data(), targetSuffix.size(), targetSuffix.constData(),
                     targetSuffix.size()) == 0;
}

namespace {

// Gives temp the name target unless a file has it (EEXIST). Some file systems know neither the
// no-replace rename nor hard links; there the check and the rename are two steps.
int publishWithoutReplacing(const QByteArray &temp, const QByteArray &target)
{
    if (::renameat2(AT_FDCWD, temp.constData(), AT_FDCWD, target.constData(), RENAME_NOREPLACE) == 0)
        return 0;
    if (errno != EINVAL && errno != ENOSYS)
        return errno;
    if (::link(temp.constData(), target.constData()) == 0) {
        ::unlink(temp.constData());
        return 0;
    }
    if (errno != EPERM && errno != ENOTSUP && errno != EOPNOTSUPP)
        return errno;
    struct stat st;
    if (::lstat(target.constData(), &st) == 0)
        return EEXIST;
    return ::rename(temp.constData(), target.constData()) == 0 ? 0 : errno;
}

} // namespace

bool copyFileWithoutReplacing(const QByteArray &source, const QString &target)
{
    const QByteArray to = QFile::encodeName(target);
    struct stat st;
    if (::lstat(to.constData(), &st) == 0)
        return false;
    const UniqueFd in(openRetrying(source.constData(), O_RDONLY | O_CLOEXEC));
    if (!in.isValid())
        throw AmbryError(
            QStringLiteral("Cannot open file \"%1\". %2").arg(QFile::decodeName(source), errnoText(errno)));
    struct stat from;
    if (::fstat(in.get(), &from) != 0)
        throw AmbryError(
            QStringLiteral("Cannot read file \"%1\". %2").arg(QFile::decodeName(source), errnoText(errno)));

    const QFileInfo info(target);
    const QByteArray folder = QFile::encodeName(info.path());
    // Where the file system allows it, the copy has no name at all until it is whole, so that
    // even a killed copy leaves nothing behind; elsewhere it has a hidden temporary name.
    UniqueFd out;
    if (::access("/proc/self/fd", X_OK) == 0)
        out.reset(openRetrying(folder.constData(), O_TMPFILE | O_WRONLY | O_CLOEXEC, newFileMode()));
    const bool unnamed = out.isValid();
    QByteArray temp;
    if (!unnamed) {
        temp =
            folder + "/." + QFile::encodeName(info.fileName()) + kTempMarker + QByteArray(kTempRandom, 'X');
        out.reset(::mkostemp(temp.data(), O_CLOEXEC));
        if (!out.isValid())
            failWrite(target, errno);
    }
    int err = 0;
    bool readFailed = false;
    QByteArray buffer(1 << 20, Qt::Uninitialized);
    for (;;) {
        const ssize_t got = readFull(in.get(), buffer.data(), size_t(buffer.size()));
        if (got < 0) {
            err = errno;
            readFailed = true;
            break;
        }
        if (got == 0)
            break;
        if (!writeFull(out.get(), buffer.constData(), size_t(got))) {
            err = errno;
            break;
        }
    }
    const struct timespec times[2] = {from.st_atim, from.st_mtim};
    if (!err && (::fchmod(out.get(), newFileMode()) != 0 || ::futimens(out.get(), times) != 0 ||
                 ::fsync(out.get()) != 0))
        err = errno;
    // A link never replaces a file, so the unnamed copy gets its name only while no file has it.
    if (!err && unnamed &&
        ::linkat(AT_FDCWD, QByteArray("/proc/self/fd/" + QByteArray::number(out.get())).constData(), AT_FDCWD,
                 to.constData(), AT_SYMLINK_FOLLOW) != 0)
        err = errno;
    if (const int closeErr = out.close(); closeErr && !err)
        err = closeErr;
    if (!err && !unnamed)
        err = publishWithoutReplacing(temp, to);
    if (err) {
        if (!unnamed)
            ::unlink(temp.constData());
        if (err == EEXIST)
            return false;
        if (readFailed)
            throw AmbryError(
                QStringLiteral("Cannot read file \"%1\". %2").arg(QFile::decodeName(source), errnoText(err)));
        failWrite(target, err);
    }
    const UniqueFd dir(openRetrying(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.isValid())
        ::fsync(dir.get());
    return true;
}
