#include "DiscWalker.h"

#include "IsoImage.h"

#include "drives/HostageFile.h"
#include "util/PosixFile.h"

#include <QCoreApplication>
#include <QFile>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <string>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

qint64 monotonicNs()
{
    // The coarse clock costs next to nothing, and 20 ms is far above its resolution.
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC_COARSE, &ts);
    return qint64(ts.tv_sec) * 1'000'000'000 + ts.tv_nsec;
}

} // namespace

DiscWalker::DiscWalker() = default;

void DiscWalker::setProgressCallback(ProgressFn fn, int intervalMs)
{
    m_progress = std::move(fn);
    m_intervalNs = qint64(intervalMs) * 1'000'000;
}

QByteArray DiscWalker::takeRecords()
{
    return m_records.take();
}

void DiscWalker::reset()
{
    m_counts = {};
    m_records.clear();
    m_failure.clear();
}

// One folder on the way down: where its path ends in `relative`, which subfolders are still
// to walk, and what it is, so the walk can be sure ".." led back to it.
struct DiscWalker::Frame
{
    qsizetype relativeLength = 0;
    std::string subfolders; // names, each ending in NUL, in the order they were listed
    size_t next = 0;
    dev_t dev = 0;
    ino_t ino = 0;
};

namespace {

bool sameFolder(int fd, dev_t dev, ino_t ino)
{
    struct stat st;
    return ::fstat(fd, &st) == 0 && st.st_dev == dev && st.st_ino == ino;
}

} // namespace

bool DiscWalker::walk(const QString &rootPath)
{
    reset();
    m_root = rootPath.endsWith(QLatin1Char('/')) ? rootPath : rootPath + QLatin1Char('/');
    m_rootBytes = QFile::encodeName(m_root);
    m_hostage.clear();
    m_hostageWanted = false;
    if (m_hostageFile) {
        m_hostage = m_hostageFile->path();
        m_hostageWanted = m_hostage.isEmpty();
    }
    m_lastReportNs = monotonicNs();

    bool finished = true;
    UniqueFd rootFd(openRetrying(m_rootBytes.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    struct stat rootBefore;
    if (rootFd.isValid() && ::fstat(rootFd.get(), &rootBefore) != 0)
        return true; // nothing readable there
    if (rootFd.isValid()) {
        finished = walkTree(rootFd.release(), rootBefore);
        // A disc taken out (or a folder drive removed) during the walk leaves only part of
        // its records, which must not pass for the disc: the walk did not finish.
        struct stat rootAfter;
        if (finished && (::stat(m_rootBytes.constData(), &rootAfter) != 0 ||
                         rootAfter.st_dev != rootBefore.st_dev || rootAfter.st_ino != rootBefore.st_ino))
            finished = false;
    }
    // The buffer grows by doubling; hand back no more than the text needs.
    m_records.squeeze();
    return finished;
}

bool DiscWalker::walkTree(int rootFd, const struct stat &rootStat)
{
    // Depth first without recursion: the frames live on the heap, and only the folder being
    // looked at is open. A root that cannot be listed is an empty disc, not an unreadable folder.
    UniqueFd current(rootFd);
    QByteArray relative;
    relative.reserve(4096);
    std::vector<Frame> stack(1);
    stack.back().dev = rootStat.st_dev;
    stack.back().ino = rootStat.st_ino;
    listFolder(current.get(), relative, stack.back().subfolders);

    for (;;) {
        // Noticed once per folder, after its own files and before its subfolders.
        if (m_cancel || QCoreApplication::closingDown())
            return false;
        Frame *top = &stack.back();
        // Down into the next subfolder that can be opened.
        bool descended = false;
        while (top->next < top->subfolders.size()) {
            const char *name = top->subfolders.c_str() + top->next;
            const size_t len = std::strlen(name);
            top->next += len + 1;
            UniqueFd child(::openat(current.get(), name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
            struct stat st;
            if (!child.isValid() || ::fstat(child.get(), &st) != 0) {
                ++m_counts.unreadableFolders; // skipped with everything below it
                continue;
            }
            relative.append(name, qsizetype(len)).append('/');
            Frame frame;
            frame.relativeLength = relative.size();
            frame.dev = st.st_dev;
            frame.ino = st.st_ino;
            stack.push_back(std::move(frame));
            current = std::move(child);
            if (!listFolder(current.get(), relative, stack.back().subfolders))
                ++m_counts.unreadableFolders;
            descended = true;
            break;
        }
        if (descended)
            continue;
        // Every subfolder done: back up to the parent.
        if (stack.size() == 1)
            return true;
        stack.pop_back();
        relative.truncate(stack.back().relativeLength);
        UniqueFd parent(::openat(current.get(), "..", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        if (!parent.isValid() || !sameFolder(parent.get(), stack.back().dev, stack.back().ino))
            parent.reset(reopenFromRoot(stack, relative));
        // A folder on the way was moved or removed: what is left cannot be found for sure.
        if (!parent.isValid())
            return false;
        current = std::move(parent);
    }
}

bool DiscWalker::walkImage(const IsoImage &image)
{
    reset();
    m_root = image.path();
    m_rootBytes.clear();
    // An image is no disc in a drive: there is no tray for a hostage to keep shut.
    m_hostage.clear();
    m_hostageWanted = false;
    m_lastReportNs = monotonicNs();

    struct Folder
    {
        QByteArray keys;
        QByteArray relative; // as walk() builds it: names each followed by "/"
        std::vector<IsoImage::Entry> subfolders;
        size_t next = 0;
    };
    // A folder that cannot be read, or data beyond the file's end, means the image itself is
    // damaged (cut off, or not written whole): its records would not be the disc's.
    const auto record = [&](Folder &folder) {
        std::vector<IsoImage::Entry> entries;
        if (!image.list(folder.keys, &entries)) {
            m_failure = isoimage::damaged(
                image.path(),
                QStringLiteral("the folder '%1' cannot be read").arg(QFile::decodeName(folder.relative)));
            return false;
        }
        const QByteArray line = filerecord::folderLine(folder.relative);
        for (IsoImage::Entry &e : entries) {
            switch (e.kind) {
            case IsoImage::Entry::Kind::Folder:
                ++m_counts.folders;
                folder.subfolders.push_back(std::move(e));
                break;
            case IsoImage::Entry::Kind::MovedFolder:
                ++m_counts.folders;
                ++m_counts.unreadableFolders;
                break;
            case IsoImage::Entry::Kind::File:
                if (!image.holdsData(e)) {
                    m_failure = isoimage::damaged(image.path(),
                                                  QStringLiteral("it ends before the data of '%1'")
                                                      .arg(QFile::decodeName(folder.relative + e.name)));
                    return false;
                }
                appendRecord(line, e.name, e.size, e.mtime);
                break;
            case IsoImage::Entry::Kind::Link:
                appendRecord(line, e.name, e.size, e.mtime);
                break;
            }
            maybeReport();
        }
        return true;
    };

    std::vector<Folder> stack(1);
    if (!record(stack.back()))
        return false;
    for (;;) {
        // Noticed once per folder, after its own files and before its subfolders.
        if (m_cancel || QCoreApplication::closingDown())
            return false;
        Folder &top = stack.back();
        if (top.next < top.subfolders.size()) {
            const IsoImage::Entry &sub = top.subfolders[top.next++];
            Folder child;
            child.keys = top.keys + sub.key + '/';
            child.relative = top.relative + sub.name + '/';
            stack.push_back(std::move(child));
            if (!record(stack.back()))
                return false;
            continue;
        }
        stack.pop_back();
        if (stack.empty())
            break;
    }
    m_records.squeeze();
    return true;
}

int DiscWalker::reopenFromRoot(const std::vector<Frame> &stack, const QByteArray &relative) const
{
    // Down again from the root by the names on the way, each checked to be the folder walked.
    UniqueFd fd(openRetrying(m_rootBytes.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!fd.isValid() || !sameFolder(fd.get(), stack[0].dev, stack[0].ino))
        return -1;
    qsizetype at = 0;
    for (size_t level = 1; level < stack.size(); ++level) {
        const qsizetype slash = relative.indexOf('/', at);
        if (slash < 0)
            return -1;
        const QByteArray name = relative.mid(at, slash - at);
        at = slash + 1;
        fd.reset(::openat(fd.get(), name.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (!fd.isValid() || !sameFolder(fd.get(), stack[level].dev, stack[level].ino))
            return -1;
    }
    return fd.release();
}

void DiscWalker::maybeReport()
{
    if (!m_progress)
        return;
    const qint64 now = monotonicNs();
    if (now - m_lastReportNs < m_intervalNs)
        return;
    m_lastReportNs = now;
    m_progress(*this);
}

void DiscWalker::noteFirstFile(const QByteArray &relative, const char *name)
{
    const QByteArray path = m_rootBytes + relative + name;
    const QString text = QFile::decodeName(path);
    // A path that is not valid UTF-8 has no text form that leads back to the file; a hostage
    // that cannot be found again would let this disc pass for a fresh one. Take the next file.
    if (QFile::encodeName(text) != path)
        return;
    m_hostageWanted = false;
    m_hostage = text;
    m_hostageFile->set(m_hostage);
}

void DiscWalker::appendRecord(QByteArrayView folderLine, QByteArrayView name, qint64 size, qint64 mtime)
{
    m_records.appendAt(folderLine, name, size, mtime);
    ++m_counts.files;
    m_counts.bytes += size;
}

bool DiscWalker::listFolder(int dirFd, const QByteArray &relative, std::string &subfolders)
{
    // Listed through a descriptor of its own, so the folder stays open for its subfolders.
    DIR *dir = ::fdopendir(::fcntl(dirFd, F_DUPFD_CLOEXEC, 0));
    if (!dir)
        return false;
    bool complete = true;
    QByteArray line;
    bool haveLine = false;
    for (;;) {
        errno = 0;
        const dirent *e = ::readdir(dir);
        if (!e) {
            if (errno != 0)
                complete = false; // the listing broke off
            break;
        }
        const char *name = e->d_name;
        if (name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0)))
            continue;
        struct stat st;
        bool isFolder = false;
        bool isLink = e->d_type == DT_LNK;
        if (e->d_type == DT_DIR) {
            isFolder = true;
        } else if (!isLink) {
            if (::fstatat(dirFd, name, &st, AT_SYMLINK_NOFOLLOW) != 0) {
                if (errno != ENOENT)
                    complete = false; // there, but cannot be looked at
                continue;
            }
            isFolder = S_ISDIR(st.st_mode);
            isLink = S_ISLNK(st.st_mode);
        }
        if (isFolder) {
            ++m_counts.folders;
            subfolders.append(name, std::strlen(name) + 1);
            maybeReport();
            continue;
        }
        qint64 size = 0;
        qint64 mtime = 0;
        if (isLink) {
            // Links never lead the walk into a folder, so a cycle cannot trap it. A link to a
            // file stands for that file; any other link is an entry of its own.
            if (::fstatat(dirFd, name, &st, 0) == 0 && !S_ISDIR(st.st_mode)) {
                size = st.st_size;
                mtime = st.st_mtim.tv_sec;
            } else if (::fstatat(dirFd, name, &st, AT_SYMLINK_NOFOLLOW) == 0) {
                mtime = st.st_mtim.tv_sec;
            } else {
                if (errno != ENOENT)
                    complete = false;
                continue;
            }
        } else {
            size = st.st_size;
            mtime = st.st_mtim.tv_sec;
        }
        if (!haveLine) {
            line = filerecord::folderLine(relative);
            haveLine = true;
        }
        if (m_hostageWanted)
            noteFirstFile(relative, name);
        appendRecord(line, QByteArrayView(name, qsizetype(std::strlen(name))), size, mtime);
        maybeReport();
    }
    ::closedir(dir);
    return complete;
}
