#pragma once

#include <QByteArray>
#include <QString>

#include <functional>
#include <ostream>
#include <string>

// Failure messages show QString values as text rather than as raw bytes.
void PrintTo(const QString &s, std::ostream *os);

namespace ambrytest {

// The private folder that stands in for the user's home during this test process.
QString sandboxRoot();
void setSandboxRoot(const QString &path);

// A fresh, empty folder below the sandbox; removed with the sandbox at exit.
QString makeTempDir(const QString &hint = QString());

// Writes bytes to a file, creating parent folders; fails the test on error.
void writeFile(const QString &path, const QByteArray &bytes);
QByteArray readFile(const QString &path);

// What a forked child reported: its wait status and the bytes its body returned.
struct ChildResult
{
    int status = -1;
    QByteArray output;
    bool exitedWith(int code) const;
};
// Runs body in a forked child process (for a different user, a lower limit, a second
// process holding a lock) and waits for it. The child ends with exit code 0 after body
// returns, unless body ends it itself; what body returns comes back through a pipe.
// While one lives, this thread's file permission checks are made as an unprivileged user
// when the tests run as root (the file-system user id; nothing else changes), so a folder's
// mode keeps the walk out as it would any user. What the code must still reach has to be
// open to others: see openToOthers.
class UnprivilegedFiles
{
public:
    UnprivilegedFiles();
    ~UnprivilegedFiles();
    UnprivilegedFiles(const UnprivilegedFiles &) = delete;
    UnprivilegedFiles &operator=(const UnprivilegedFiles &) = delete;

private:
    bool m_changed = false;
};
// Lets every user pass through each folder above path and read path itself (mode 0755), or
// with writable also write into it (0777).
void openToOthers(const std::string &path, bool writable = false);

ChildResult runInChild(const std::function<QByteArray()> &body);

// A child process that runs hold() (takes a lock, say), tells whether that worked, and stays
// as it is until release() or destruction (or is ended by a signal: release(SIGKILL)).
// Whatever hold() creates must outlive it (allocate it): the child ends with _exit.
class ChildHolding
{
public:
    explicit ChildHolding(const std::function<bool()> &hold);
    ~ChildHolding() { release(); }
    ChildHolding(const ChildHolding &) = delete;
    ChildHolding &operator=(const ChildHolding &) = delete;
    bool holds() const { return m_holds; }
    void release(int signal = 0);

private:
    int m_pid = -1;
    int m_release = -1;
    bool m_holds = false;
};

} // namespace ambrytest
