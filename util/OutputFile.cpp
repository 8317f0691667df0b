#include "OutputFile.h"

#include "AmbryError.h"
#include "NativePath.h"

#include <QCoreApplication>
#include <QDir>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const char kPartMarker[] = ".part-";
const int kRandom = 6; // the XXXXXX of mkostemp

QByteArray folderOf(const QByteArray &path)
{
    const qsizetype slash = path.lastIndexOf('/');
    if (slash < 0)
        return QByteArrayLiteral(".");
    return slash == 0 ? QByteArrayLiteral("/") : path.left(slash);
}

QByteArray baseName(const QByteArray &path)
{
    return path.mid(path.lastIndexOf('/') + 1);
}

const char *kindOf(mode_t mode)
{
    if (S_ISDIR(mode))
        return "a folder";
    if (S_ISFIFO(mode))
        return "a FIFO (named pipe)";
    if (S_ISCHR(mode))
        return "a character device";
    if (S_ISBLK(mode))
        return "a block device";
    if (S_ISSOCK(mode))
        return "a socket";
    return "not a regular file";
}

// The file a write to path lands in: links followed one by one, so that a link whose target
// does not exist yet still leads to the name to create. Refuses what is not a regular file.
QByteArray resolveTarget(const QString &name)
{
    QByteArray path = nativePath(name);
    // A link that leads somewhere that is no file by name (a pipe behind /dev/stdout) is judged
    // by what it leads to.
    struct stat st;
    if (::stat(path.constData(), &st) == 0 && !S_ISREG(st.st_mode))
        throw AmbryError(
            QStringLiteral("Cannot write \"%1\": it is %2, not a regular file; nothing was written.")
                .arg(name, QLatin1String(kindOf(st.st_mode))));
    for (int hops = 0; hops < 40; ++hops) {
        if (::lstat(path.constData(), &st) != 0) {
            if (errno == ENOENT)
                return path; // a new name
            throw AmbryError(QStringLiteral("Cannot write \"%1\". %2").arg(name, errnoText(errno)));
        }
        if (S_ISREG(st.st_mode))
            return path;
        if (!S_ISLNK(st.st_mode))
            throw AmbryError(
                QStringLiteral("Cannot write \"%1\": it is %2, not a regular file; nothing was written.")
                    .arg(name, QLatin1String(kindOf(st.st_mode))));
        QByteArray link(PATH_MAX, Qt::Uninitialized);
        const ssize_t n = ::readlink(path.constData(), link.data(), size_t(link.size()));
        if (n < 0)
            throw AmbryError(QStringLiteral("Cannot write \"%1\". %2").arg(name, errnoText(errno)));
        link.truncate(n);
        path = link.startsWith('/') ? link : folderOf(path) + '/' + link;
    }
    throw AmbryError(QStringLiteral("Cannot write \"%1\". %2").arg(name, errnoText(ELOOP)));
}

// The name with its folder made absolute (and free of links), for messages and the rename.
QByteArray absoluteTarget(const QByteArray &path)
{
    char real[PATH_MAX];
    if (!::realpath(folderOf(path).constData(), real))
        return path;
    const QByteArray folder(real);
    return (folder == "/" ? QByteArray() : folder) + '/' + baseName(path);
}

// Where ByPath content for standard output waits to be copied out.
QByteArray standardOutputStand()
{
    return nativePath(QDir::tempPath()) + "/ambrylog-standard-output";
}

} // namespace

qint64 OutputFile::temporaryOwner(QByteArrayView fileName, QByteArrayView targetName)
{
    // ".NAME.part-PID-XXXXXX", or with libzip's own ".YYYYYY" after it.
    const QByteArray head = '.' + targetName.toByteArray() + kPartMarker;
    if (!fileName.startsWith(head))
        return -1;
    QByteArrayView rest = fileName.sliced(head.size());
    const qsizetype dash = rest.indexOf('-');
    if (dash <= 0)
        return -1;
    bool ok = false;
    const qint64 pid = rest.first(dash).toLongLong(&ok);
    rest = rest.sliced(dash + 1);
    const auto isRandom = [](QByteArrayView part) {
        if (part.size() != kRandom)
            return false;
        for (const char c : part)
            if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')))
                return false;
        return true;
    };
    const bool random = isRandom(rest.first(std::min<qsizetype>(kRandom, rest.size()))) &&
                        (rest.size() == kRandom || (rest.size() > kRandom + 1 && rest.at(kRandom) == '.' &&
                                                    isRandom(rest.sliced(kRandom + 1))));
    return ok && pid > 0 && random ? pid : -1;
}

OutputFile::OutputFile(const QString &name, Writing writing, StandardOutput standardOutput)
    : m_name(name), m_standardOutputWriter(std::move(standardOutput)), m_writing(writing)
{
    m_standardOutput = name == QLatin1String("-");
    if (m_standardOutput && writing == Writing::Streamed)
        return;
    QByteArray target;
    if (m_standardOutput) {
        target = standardOutputStand();
    } else {
        if (name.isEmpty())
            throw AmbryError(QStringLiteral("No file name was given."));
        target = absoluteTarget(resolveTarget(name));
        m_target = pathFromNative(target);
    }
    removeStaleTemporaries();
    m_temp = folderOf(target) + "/." + baseName(target) + kPartMarker +
             QByteArray::number(QCoreApplication::applicationPid()) + '-' + QByteArray(kRandom, 'X');
    m_fd.reset(::mkostemp(m_temp.data(), O_CLOEXEC));
    if (!m_fd.isValid()) {
        const int err = errno;
        m_temp.clear();
        fail(QStringLiteral("Cannot create file \"%1\"."), err);
    }
    if (writing == Writing::ByPath)
        m_fd.reset();
}

OutputFile::~OutputFile()
{
    discard();
}

QString OutputFile::temporaryPath() const
{
    return pathFromNative(m_temp);
}

void OutputFile::fail(const QString &what, int err) const
{
    const QString shown = m_standardOutput ? QStringLiteral("standard output") : m_name;
    throw AmbryError(what.arg(shown) + QLatin1Char(' ') + errnoText(err));
}

void OutputFile::toStandardOutput(QByteArrayView bytes)
{
    if (m_standardOutputWriter) {
        if (!m_standardOutputWriter(bytes))
            throw AmbryError(QStringLiteral("Cannot write to standard output."));
        return;
    }
    std::fflush(stdout); // what was printed before comes first
    if (!writeFull(STDOUT_FILENO, bytes.data(), size_t(bytes.size())))
        fail(QStringLiteral("Cannot write to %1."), errno);
}

void OutputFile::write(QByteArrayView bytes)
{
    if (m_standardOutput && m_writing == Writing::Streamed) {
        toStandardOutput(bytes);
        return;
    }
    if (!m_fd.isValid() || !writeFull(m_fd.get(), bytes.data(), size_t(bytes.size())))
        fail(QStringLiteral("Cannot write file \"%1\"."), m_fd.isValid() ? errno : EBADF);
}

void OutputFile::commit()
{
    if (m_done)
        return;
    if (m_standardOutput && m_writing == Writing::Streamed) {
        m_done = true;
        if (!m_standardOutputWriter)
            std::fflush(stdout);
        return;
    }
    if (m_standardOutput) {
        // The content is whole: copied out from a file no name leads to any more, so that not
        // even a killed copy leaves it behind.
        const UniqueFd in(openRetrying(m_temp.constData(), O_RDONLY | O_CLOEXEC));
        const int openErr = errno;
        ::unlink(m_temp.constData());
        m_temp.clear();
        m_done = true;
        if (!in.isValid())
            fail(QStringLiteral("Cannot write to %1."), openErr);
        QByteArray buffer(1 << 20, Qt::Uninitialized);
        for (;;) {
            const ssize_t got = readFull(in.get(), buffer.data(), size_t(buffer.size()));
            if (got < 0)
                fail(QStringLiteral("Cannot write to %1."), errno);
            if (got == 0)
                break;
            toStandardOutput(QByteArrayView(buffer.constData(), got));
        }
        if (!m_standardOutputWriter)
            std::fflush(stdout);
        return;
    }

    const QByteArray target = nativePath(m_target);
    UniqueFd fd = std::move(m_fd);
    if (!fd.isValid())
        fd.reset(openRetrying(m_temp.constData(), O_RDONLY | O_CLOEXEC));
    int err = fd.isValid() ? 0 : errno;
    struct stat old;
    const bool exists = ::lstat(target.constData(), &old) == 0;
    // Something else took the name while the content was written: it is not replaced either.
    if (!err && exists && !S_ISREG(old.st_mode))
        throw AmbryError(
            QStringLiteral("Cannot write \"%1\": it is %2, not a regular file; nothing was written.")
                .arg(m_name, QLatin1String(kindOf(old.st_mode))));
    const mode_t mode = exists ? (old.st_mode & 07777) : newFileMode();
    if (!err && (::fchmod(fd.get(), mode) != 0 || ::fsync(fd.get()) != 0))
        err = errno;
    if (const int closeErr = fd.close(); closeErr && !err)
        err = closeErr;
    if (!err && ::rename(m_temp.constData(), target.constData()) != 0)
        err = errno;
    if (err)
        fail(QStringLiteral("Cannot write file \"%1\"."), err);
    m_temp.clear();
    m_done = true;
    // The rename itself made durable; failing here loses nothing already written.
    const UniqueFd dir(openRetrying(folderOf(target).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.isValid())
        ::fsync(dir.get());
}

void OutputFile::discard()
{
    m_fd.reset();
    if (!m_temp.isEmpty()) {
        ::unlink(m_temp.constData());
        // libzip writes beside its file first, under the file's name and one more suffix.
        const QByteArray folder = folderOf(m_temp);
        const QByteArray name = baseName(m_temp);
        if (DIR *dir = ::opendir(folder.constData())) {
            while (const dirent *e = ::readdir(dir)) {
                const QByteArrayView entry(e->d_name);
                if (entry.size() == name.size() + 1 + kRandom && entry.startsWith(name) &&
                    entry.at(name.size()) == '.')
                    ::unlinkat(::dirfd(dir), e->d_name, 0);
            }
            ::closedir(dir);
        }
        m_temp.clear();
    }
    m_done = true;
}

void OutputFile::removeStaleTemporaries() const
{
    const QByteArray target = m_standardOutput ? standardOutputStand() : nativePath(m_target);
    const QByteArray name = baseName(target);
    DIR *dir = ::opendir(folderOf(target).constData());
    if (!dir)
        return;
    while (const dirent *e = ::readdir(dir)) {
        const qint64 owner = temporaryOwner(QByteArrayView(e->d_name), name);
        if (owner > 0 && !processAlive(owner))
            ::unlinkat(::dirfd(dir), e->d_name, 0);
    }
    ::closedir(dir);
}
