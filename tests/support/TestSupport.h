#pragma once

#include <QByteArray>
#include <QString>

#include <ostream>

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

} // namespace ambrytest
