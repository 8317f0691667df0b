#include "helper_tree.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <QFile>

#include <cerrno>
#include <cstring>

#include <dirent.h>
#include <fcntl.h>
#include <ftw.h>
#include <sys/stat.h>
#include <unistd.h>

namespace scantest {

std::string newRoot(const char *hint)
{
    const QString dir = ambrytest::makeTempDir(QString::fromLatin1(hint));
    return QFile::encodeName(dir).toStdString() + "/";
}

void makeFolder(const std::string &path)
{
    ASSERT_EQ(::mkdir(path.c_str(), 0755), 0) << path << ": " << std::strerror(errno);
}

void setTime(const std::string &path, time_t mtime)
{
    const timespec times[2] = {{mtime, 0}, {mtime, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW), 0)
        << path << ": " << std::strerror(errno);
}

void makeFile(const std::string &path, long long size, time_t mtime)
{
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    ASSERT_GE(fd, 0) << path << ": " << std::strerror(errno);
    ASSERT_EQ(::ftruncate(fd, off_t(size)), 0) << path << ": " << std::strerror(errno);
    ::close(fd);
    setTime(path, mtime);
}

void makeLink(const std::string &path, const std::string &target, time_t linkTime)
{
    ASSERT_EQ(::symlink(target.c_str(), path.c_str()), 0) << path << ": " << std::strerror(errno);
    setTime(path, linkTime);
}

time_t localMoment(int year, int month, int day, int hour, int minute, int second)
{
    tm t{};
    t.tm_year = year - 1900;
    t.tm_mon = month - 1;
    t.tm_mday = day;
    t.tm_hour = hour;
    t.tm_min = minute;
    t.tm_sec = second;
    t.tm_isdst = -1;
    return ::mktime(&t);
}

std::vector<std::string> listed(const std::string &folder)
{
    std::vector<std::string> names;
    DIR *d = ::opendir(folder.c_str());
    EXPECT_NE(d, nullptr) << folder;
    if (!d)
        return names;
    while (const dirent *e = ::readdir(d)) {
        const std::string n = e->d_name;
        if (n != "." && n != "..")
            names.push_back(n);
    }
    ::closedir(d);
    return names;
}

QByteArray record(const QByteArray &folderLine, const QByteArray &name, long long size, int32_t packed)
{
    return folderLine + "\r\n" + name + "\r\n" + QByteArray::number(size) + "\r\n" +
           QByteArray::number(packed) + "\r\n";
}

QString qpath(const std::string &bytes)
{
    return QFile::decodeName(QByteArray::fromStdString(bytes));
}

void removeTree(const std::string &path)
{
    ::nftw(
        path.c_str(),
        [](const char *p, const struct stat *, int, FTW *) {
            ::remove(p);
            return 0;
        },
        16, FTW_DEPTH | FTW_PHYS);
}

void makeDeepChain(const std::string &root, int depth, const char *name,
                   const std::function<std::string(int level)> &fileAt)
{
    int fd = ::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    for (int level = 1; level <= depth; ++level) {
        ASSERT_EQ(::mkdirat(fd, name, 0755), 0) << "level " << level;
        const int next = ::openat(fd, name, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        ::close(fd);
        ASSERT_GE(next, 0) << "level " << level;
        fd = next;
        const std::string file = fileAt ? fileAt(level) : std::string();
        if (!file.empty()) {
            const int f = ::openat(fd, file.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
            ASSERT_GE(f, 0);
            ASSERT_EQ(::write(f, "x", 1), 1);
            ::close(f);
        }
    }
    ::close(fd);
}

void removeDeepChain(const std::string &root, int depth, const char *name)
{
    // Always at the top: the folder below the first one moves up beside it, then the emptied
    // first one goes. No path ever gets long, and no folder deep down is touched.
    const int top = ::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (top < 0)
        return;
    const std::string below = std::string(name) + "/" + name;
    const char *parked = ".deep-chain-next";
    for (int level = 0; level < depth; ++level) {
        const bool more = ::renameat(top, below.c_str(), top, parked) == 0;
        if (const int fd = ::openat(top, name, O_RDONLY | O_DIRECTORY | O_CLOEXEC); fd >= 0) {
            if (DIR *dir = ::fdopendir(fd)) {
                while (const dirent *e = ::readdir(dir))
                    if (e->d_name[0] != '.' || (e->d_name[1] != 0 && e->d_name[1] != '.'))
                        ::unlinkat(fd, e->d_name, 0);
                ::closedir(dir);
            }
        }
        ::unlinkat(top, name, AT_REMOVEDIR);
        if (!more || ::renameat(top, parked, top, name) != 0)
            break;
    }
    ::close(top);
}

} // namespace scantest
