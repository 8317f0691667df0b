#include <gtest/gtest.h>

#include "TestSupport.h"
#include "util/AmbryError.h"
#include "util/NativePath.h"
#include "util/OutputFile.h"

#include <QDir>
#include <QFileInfo>

#include <cstring>
#include <dirent.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

QByteArray n(const QString &path)
{
    return nativePath(path);
}

mode_t lmode(const QString &path)
{
    struct stat st;
    return ::lstat(n(path).constData(), &st) == 0 ? st.st_mode : 0;
}

// Every name in the folder, hidden ones and those that are not UTF-8 too.
QStringList entries(const QString &dir)
{
    QStringList names;
    DIR *d = ::opendir(n(dir).constData());
    while (const dirent *e = d ? ::readdir(d) : nullptr)
        if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0)
            names.append(pathFromNative(e->d_name));
    if (d)
        ::closedir(d);
    names.sort();
    return names;
}

void write(const QString &name, const QByteArray &bytes)
{
    OutputFile file(name);
    file.write(bytes);
    file.commit();
}

} // namespace

TEST(OutputFile, WritesRegularFilesAndNewNamesAndThroughLinksOnly)
{
    const QString dir = ambrytest::makeTempDir(QStringLiteral("out"));
    const auto at = [&](const char *name) -> QString { return dir + QLatin1Char('/') + QLatin1String(name); };
    ambrytest::writeFile(at("old.zip"), "old");
    ::chmod(n(at("old.zip")).constData(), 0640);
    ambrytest::writeFile(at("real/target.zip"), "old");
    ::symlink("real/target.zip", n(at("link.zip")).constData());
    ::symlink("real/new.zip", n(at("dangling.zip")).constData()); // a link to a name not made yet
    ::symlink("link.zip", n(at("chain.zip")).constData());
    ::mkfifo(n(at("fifo")).constData(), 0600);
    ::symlink("fifo", n(at("tofifo")).constData());
    ::symlink("/dev/null", n(at("todevice")).constData());
    QDir().mkpath(at("folder"));
    const QString rawName = dir + QStringLiteral("/raw-") + QChar(0xDCE9); // "raw-\xe9", not UTF-8
    const QString socketName = at("sock");
    const int sock = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const QByteArray socketPath = n(socketName);
    ASSERT_LT(size_t(socketPath.size()), sizeof address.sun_path);
    std::memcpy(address.sun_path, socketPath.constData(), size_t(socketPath.size()));
    ASSERT_EQ(::bind(sock, reinterpret_cast<sockaddr *>(&address), sizeof address), 0);

    const struct
    {
        QString name;
        QString written;   // the file that must hold the new bytes, empty when refused
        const char *error; // a word of the refusal
    } cases[] = {
        {at("new.zip"), at("new.zip"), ""},
        {at("old.zip"), at("old.zip"), ""},
        {at("link.zip"), at("real/target.zip"), ""},
        {at("chain.zip"), at("real/target.zip"), ""},
        {at("dangling.zip"), at("real/new.zip"), ""},
        {rawName, rawName, ""},
        {at("fifo"), {}, "FIFO"},
        {at("tofifo"), {}, "FIFO"},
        {at("todevice"), {}, "character device"},
        {at("folder"), {}, "folder"},
        {socketName, {}, "socket"},
        {at("missing/x.zip"), {}, "Cannot create file"},
        {QString(), {}, "No file name"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name.toStdString());
        const mode_t before = lmode(c.name);
        QString error;
        try {
            write(c.name, "new");
        } catch (const AmbryError &e) {
            error = e.message();
        }
        if (c.written.isEmpty()) {
            EXPECT_TRUE(error.contains(QLatin1String(c.error))) << error.toStdString();
            EXPECT_EQ(lmode(c.name), before); // what stood there still stands
        } else {
            EXPECT_EQ(error, QString());
            EXPECT_TRUE(S_ISREG(lmode(c.written)));
            struct stat st;
            ASSERT_EQ(::stat(n(c.written).constData(), &st), 0);
            EXPECT_EQ(st.st_size, 3);
            if (S_ISLNK(before)) {
                EXPECT_TRUE(S_ISLNK(lmode(c.name))) << "the link stays a link";
            }
        }
    }
    ::close(sock);
    EXPECT_EQ(ambrytest::readFile(at("real/target.zip")), "new");
    EXPECT_EQ(lmode(at("old.zip")) & 07777, 0640u) << "an existing file keeps its permissions";
    // No hidden file is left by a write or a refusal.
    EXPECT_EQ(
        entries(dir),
        (QStringList{QStringLiteral("chain.zip"), QStringLiteral("dangling.zip"), QStringLiteral("fifo"),
                     QStringLiteral("folder"), QStringLiteral("link.zip"), QStringLiteral("new.zip"),
                     QStringLiteral("old.zip"), rawName.mid(dir.size() + 1), QStringLiteral("real"),
                     QStringLiteral("sock"), QStringLiteral("todevice"), QStringLiteral("tofifo")}));
    ::unlink(n(rawName).constData()); // Qt cannot remove a name that is not UTF-8 with the sandbox
}

TEST(OutputFile, WhatIsNotCommittedLeavesTheOldFileAndNothingBeside)
{
    const QString dir = ambrytest::makeTempDir(QStringLiteral("out"));
    const QString name = dir + QStringLiteral("/b.zip");
    ambrytest::writeFile(name, "old");
    {
        OutputFile file(name);
        file.write("half");
    }
    {
        OutputFile file(name, OutputFile::Writing::ByPath);
        ambrytest::writeFile(file.temporaryPath(), "half");
        // libzip's own temporary beside the one it was given
        ambrytest::writeFile(file.temporaryPath() + QStringLiteral(".aB3dE9"), "x");
        file.discard();
    }
    EXPECT_EQ(ambrytest::readFile(name), "old");
    EXPECT_EQ(entries(dir), QStringList{QStringLiteral("b.zip")});

    OutputFile file(name, OutputFile::Writing::ByPath);
    ambrytest::writeFile(file.temporaryPath(), "by path");
    file.commit();
    EXPECT_EQ(ambrytest::readFile(name), "by path");
    EXPECT_EQ(entries(dir), QStringList{QStringLiteral("b.zip")});
}

TEST(OutputFile, AHiddenFileOfADeadWriterGoesWithTheNextWrite)
{
    const QString dir = ambrytest::makeTempDir(QStringLiteral("out"));
    const QString name = dir + QStringLiteral("/b.zip");
    // A process that has ended: its id is free until reused, which a test run never waits for.
    const pid_t dead = ::fork();
    if (dead == 0)
        ::_exit(0);
    ::waitpid(dead, nullptr, 0);
    const QString deadPart = QStringLiteral("/.b.zip.part-%1-aB3dE9").arg(dead);
    const QString livePart = QStringLiteral("/.b.zip.part-%1-aB3dE9").arg(::getppid());
    const QString otherPart = QStringLiteral("/.c.zip.part-%1-aB3dE9").arg(dead);
    for (const QString &p : QStringList{deadPart, deadPart + QStringLiteral(".Zz9Yy8"), livePart, otherPart})
        ambrytest::writeFile(dir + p, "x");
    write(name, "new");
    EXPECT_EQ(entries(dir), (QStringList{livePart.mid(1), otherPart.mid(1), QStringLiteral("b.zip")}));
}

TEST(OutputFile, HiddenFileNamesAndTheirOwners)
{
    const struct
    {
        const char *file;
        qint64 owner;
    } cases[] = {
        {".b.zip.part-42-aB3dE9", 42}, {".b.zip.part-42-aB3dE9.Zz9Yy8", 42}, // libzip's, beside ours
        {".b.zip.part-42-aB3dE", -1},  {".b.zip.part-42-aB3dE9.x", -1},      {".b.zip.part--aB3dE9", -1},
        {".b.zip.part-0-aB3dE9", -1},  {".b.zip.part-4x-aB3dE9", -1},        {".b.zip.part-42-aB3d_9", -1},
        {".c.zip.part-42-aB3dE9", -1}, {"b.zip.part-42-aB3dE9", -1},         {"b.zip", -1},
    };
    for (const auto &c : cases)
        EXPECT_EQ(OutputFile::temporaryOwner(c.file, "b.zip"), c.owner) << c.file;
}

TEST(OutputFile, StandardOutputIsStreamedOrCopiedOutWhole)
{
    QByteArray out;
    bool failing = false;
    const OutputFile::StandardOutput sink = [&](QByteArrayView bytes) {
        out += bytes.toByteArray();
        return !failing;
    };
    {
        OutputFile file(QStringLiteral("-"), OutputFile::Writing::Streamed, sink);
        EXPECT_TRUE(file.isStandardOutput());
        file.write("one ");
        EXPECT_EQ(out, "one ") << "streamed as it comes";
        file.write("two");
        file.commit();
    }
    EXPECT_EQ(out, "one two");

    out.clear();
    QString temporary;
    {
        OutputFile file(QStringLiteral("-"), OutputFile::Writing::ByPath, sink);
        temporary = file.temporaryPath();
        ambrytest::writeFile(temporary, "zip bytes");
        EXPECT_EQ(out, QByteArray());
        file.commit();
    }
    EXPECT_EQ(out, "zip bytes");
    EXPECT_FALSE(QFileInfo::exists(temporary));

    failing = true;
    OutputFile file(QStringLiteral("-"), OutputFile::Writing::Streamed, sink);
    EXPECT_THROW(file.write("x"), AmbryError);
}
