#include <gtest/gtest.h>

#include "TestSupport.h"
#include "util/AmbryError.h"
#include "util/PosixFile.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

void onTick(int) {}

// A timer signal every millisecond, delivered without SA_RESTART, so blocking calls in
// this process really return EINTR while it runs.
class Interrupter
{
public:
    Interrupter()
    {
        struct sigaction sa
        {
        };
        sa.sa_handler = onTick;
        sigemptyset(&sa.sa_mask);
        ::sigaction(SIGALRM, &sa, &m_old);
        const itimerval every{{0, 1000}, {0, 1000}};
        ::setitimer(ITIMER_REAL, &every, nullptr);
    }
    ~Interrupter()
    {
        const itimerval off{};
        ::setitimer(ITIMER_REAL, &off, nullptr);
        ::sigaction(SIGALRM, &m_old, nullptr);
    }

private:
    struct sigaction m_old
    {
    };
};

TEST(PosixFile, CopyWithoutReplacing)
{
    const QString from = ambrytest::makeTempDir(QStringLiteral("from"));
    const QString to = ambrytest::makeTempDir(QStringLiteral("to"));
    QByteArray big(3 * (1 << 20) + 17, Qt::Uninitialized); // more than one buffer
    for (qsizetype i = 0; i < big.size(); ++i)
        big[i] = char(i * 7 + i / 4096);
    ambrytest::writeFile(from + QStringLiteral("/big.bin"), big);
    const QByteArray source = QFile::encodeName(from + QStringLiteral("/big.bin"));
    const QDateTime stamp = QDateTime(QDate(2008, 5, 14), QTime(10, 20, 30));
    {
        QFile f(from + QStringLiteral("/big.bin"));
        ASSERT_TRUE(f.open(QIODevice::ReadWrite));
        ASSERT_TRUE(f.setFileTime(stamp, QFileDevice::FileModificationTime));
    }

    EXPECT_TRUE(copyFileWithoutReplacing(source, to + QStringLiteral("/big.bin")));
    EXPECT_EQ(ambrytest::readFile(to + QStringLiteral("/big.bin")), big);
    EXPECT_EQ(QFileInfo(to + QStringLiteral("/big.bin")).lastModified(), stamp);

    // A file (or a link, even a dangling one) under the name stays as it is.
    ambrytest::writeFile(to + QStringLiteral("/mine.bin"), "mine");
    EXPECT_FALSE(copyFileWithoutReplacing(source, to + QStringLiteral("/mine.bin")));
    EXPECT_EQ(ambrytest::readFile(to + QStringLiteral("/mine.bin")), "mine");
    ASSERT_TRUE(QFile::link(to + QStringLiteral("/nowhere"), to + QStringLiteral("/link.bin")));
    EXPECT_FALSE(copyFileWithoutReplacing(source, to + QStringLiteral("/link.bin")));

    EXPECT_THROW(copyFileWithoutReplacing(source + "-missing", to + QStringLiteral("/x.bin")), AmbryError);
    EXPECT_THROW(copyFileWithoutReplacing(source, to + QStringLiteral("/no/such/folder.bin")), AmbryError);
    EXPECT_EQ(
        QDir(to).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot),
        QStringList({QStringLiteral("big.bin"), QStringLiteral("link.bin"), QStringLiteral("mine.bin")}))
        << "nothing else left behind";
}

} // namespace

// Through a pipe fed in small, slow pieces, with signals arriving all the while: every
// byte arrives and nothing is reported as an error.
TEST(PosixFile, FullReadAndWriteSurviveInterruptsAndShortTransfers)
{
    QByteArray payload(1 << 20, Qt::Uninitialized);
    for (qsizetype i = 0; i < payload.size(); ++i)
        payload[i] = char(i * 7 + i / 4096);

    int toReader[2], toWriter[2];
    ASSERT_EQ(::pipe(toReader), 0);
    ASSERT_EQ(::pipe(toWriter), 0);
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        // Slow pieces to the parent's readFull, then the parent's writeFull back, read slowly.
        ::close(toReader[0]);
        ::close(toWriter[1]);
        for (qsizetype at = 0; at < payload.size(); at += 65536) {
            if (!writeFull(toReader[1], payload.constData() + at, 65536))
                ::_exit(2);
            ::usleep(2000);
        }
        ::close(toReader[1]);
        char buf[1000];
        QByteArray back;
        for (ssize_t n; (n = ::read(toWriter[0], buf, sizeof buf)) > 0;) {
            back.append(buf, n);
            if (back.size() % 100000 < 1000)
                ::usleep(1000);
        }
        ::_exit(back == payload ? 0 : 3);
    }
    ::close(toReader[1]);
    ::close(toWriter[0]);
    QByteArray got(payload.size() + 10, '\0');
    {
        Interrupter ticks;
        EXPECT_EQ(readFull(toReader[0], got.data(), size_t(got.size())), payload.size());
        EXPECT_TRUE(writeFull(toWriter[1], payload.constData(), size_t(payload.size())));
    }
    ::close(toReader[0]);
    ::close(toWriter[1]);
    got.truncate(payload.size());
    EXPECT_TRUE(got == payload);
    int status = 0;
    ::waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}

TEST(PosixFile, ErrorsComeBackWithTheirReason)
{
    char c;
    errno = 0;
    EXPECT_EQ(readFull(-1, &c, 1), -1);
    EXPECT_EQ(errno, EBADF);
    EXPECT_FALSE(writeFull(-1, "x", 1));
    EXPECT_EQ(errnoText(ENOENT), QString::fromLocal8Bit(std::strerror(ENOENT)));

    const QString file = ambrytest::makeTempDir(QStringLiteral("fd")) + QStringLiteral("/f");
    ambrytest::writeFile(file, "abc");
    UniqueFd fd(openRetrying(QFile::encodeName(file).constData(), O_RDONLY | O_CLOEXEC));
    ASSERT_TRUE(fd.isValid());
    const int raw = fd.get();
    UniqueFd moved(std::move(fd));
    EXPECT_FALSE(fd.isValid());
    EXPECT_EQ(moved.get(), raw);
    EXPECT_EQ(preadFull(moved.get(), &c, 1, 2), 1);
    EXPECT_EQ(c, 'c');
    EXPECT_EQ(moved.close(), 0);
    EXPECT_EQ(::fcntl(raw, F_GETFD), -1); // closed, not leaked
}

TEST(PosixFile, TemporaryNamesOfTheAtomicWriter)
{
    const struct
    {
        const char *name;
        bool temporary;
    } cases[] = {
        {".450495.dat.tmp-Ab12yZ", true}, {".-12.DAT.tmp-000000", true}, {".x.dat.tmp-Ab12y", false},
        {".x.dat.tmp-Ab12yZ7", false},    {"..dat.tmp-Ab12yZ", true},    {".x.txt.tmp-Ab12yZ", false},
        {"..dat.tmp-Ab12yZ", true},       {".x.dat.tmp-Ab1.yZ", false},  {".x.dat", false},
        {".dat.tmp-Ab12yZ", false},
    };
    for (const auto &c : cases)
        EXPECT_EQ(isAtomicTemporaryName(QByteArray(c.name), QByteArrayLiteral(".dat")), c.temporary)
            << c.name;

    // And what the writer really leaves behind when it is stopped before the rename.
    const QString folder = ambrytest::makeTempDir(QStringLiteral("tmpname"));
    writeFileAtomically(folder + QStringLiteral("/9.dat"), "x");
    EXPECT_EQ(ambrytest::readFile(folder + QStringLiteral("/9.dat")), "x");
}
