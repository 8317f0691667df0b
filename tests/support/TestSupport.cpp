#include "TestSupport.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <csignal>
#include <sys/fsuid.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

void PrintTo(const QString &s, std::ostream *os)
{
    *os << '"' << s.toStdString() << '"';
}

namespace ambrytest {

namespace {
QString g_root;
int g_counter = 0;
} // namespace

QString sandboxRoot()
{
    return g_root;
}
void setSandboxRoot(const QString &path)
{
    g_root = path;
}

QString makeTempDir(const QString &hint)
{
    const QString path = g_root + QStringLiteral("/tmp/") + (hint.isEmpty() ? QStringLiteral("d") : hint) +
                         QString::number(++g_counter);
    QDir(path).removeRecursively();
    EXPECT_TRUE(QDir().mkpath(path)) << path.toStdString();
    return path;
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate)) << path.toStdString();
    ASSERT_EQ(f.write(bytes), bytes.size());
}

QByteArray readFile(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return f.readAll();
}

bool ChildResult::exitedWith(int code) const
{
    return WIFEXITED(status) && WEXITSTATUS(status) == code;
}

UnprivilegedFiles::UnprivilegedFiles()
{
    if (::geteuid() != 0)
        return;
    ::setfsgid(65534);
    ::setfsuid(65534);
    m_changed = true;
}

UnprivilegedFiles::~UnprivilegedFiles()
{
    if (!m_changed)
        return;
    ::setfsuid(0);
    ::setfsgid(0);
}

void openToOthers(const std::string &path, bool writable)
{
    std::string p = path;
    while (p.size() > 1 && p.back() == '/')
        p.pop_back();
    ::chmod(p.c_str(), writable ? 0777 : 0755);
    // Up to the sandbox and no further: the folders above it are the machine's.
    const std::string sandbox = QFile::encodeName(sandboxRoot()).toStdString();
    for (p = p.substr(0, p.rfind('/'));
         p.size() >= sandbox.size() && p.compare(0, sandbox.size(), sandbox) == 0;
         p = p.substr(0, p.rfind('/'))) {
        struct stat st;
        if (::stat(p.c_str(), &st) == 0)
            ::chmod(p.c_str(), (st.st_mode & 07777) | 0055);
    }
}

ChildResult runInChild(const std::function<QByteArray()> &body)
{
    ChildResult result;
    int fds[2];
    if (::pipe(fds) != 0)
        return result;
    const pid_t pid = ::fork();
    if (pid < 0) {
        ::close(fds[0]);
        ::close(fds[1]);
        return result;
    }
    if (pid == 0) {
        ::close(fds[0]);
        const QByteArray out = body();
        for (qsizetype at = 0; at < out.size();) {
            const ssize_t n = ::write(fds[1], out.constData() + at, size_t(out.size() - at));
            if (n <= 0)
                ::_exit(125);
            at += n;
        }
        ::_exit(0);
    }
    ::close(fds[1]);
    char buf[4096];
    for (ssize_t n; (n = ::read(fds[0], buf, sizeof buf)) != 0;) {
        if (n > 0)
            result.output.append(buf, n);
        else if (errno != EINTR)
            break;
    }
    ::close(fds[0]);
    while (::waitpid(pid, &result.status, 0) < 0 && errno == EINTR) {
    }
    return result;
}

ChildHolding::ChildHolding(const std::function<bool()> &hold)
{
    int ready[2], stay[2];
    if (::pipe(ready) != 0)
        return;
    if (::pipe(stay) != 0) {
        ::close(ready[0]);
        ::close(ready[1]);
        return;
    }
    m_pid = ::fork();
    if (m_pid == 0) {
        ::close(ready[0]);
        ::close(stay[1]);
        const char ok = hold() ? '1' : '0';
        (void)!::write(ready[1], &ok, 1);
        char c;
        (void)!::read(stay[0], &c, 1);
        ::_exit(0);
    }
    ::close(ready[1]);
    ::close(stay[0]);
    m_release = stay[1];
    char ok = 0;
    if (m_pid > 0)
        (void)!::read(ready[0], &ok, 1);
    ::close(ready[0]);
    m_holds = ok == '1';
}

void ChildHolding::release(int signal)
{
    if (m_pid <= 0)
        return;
    if (signal)
        ::kill(m_pid, signal);
    ::close(m_release);
    int status = 0;
    while (::waitpid(m_pid, &status, 0) < 0 && errno == EINTR) {
    }
    m_pid = -1;
}

} // namespace ambrytest
