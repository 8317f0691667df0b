#include "TestSupport.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>

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

} // namespace ambrytest
