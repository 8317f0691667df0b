#include <gtest/gtest.h>

#include "TestSupport.h"
#include "cliCatalog.h"

#include <QDir>

namespace {

int run(int (*command)(CliContext &), const QString &catalog, const QStringList &args)
{
    CliContext ctx;
    ctx.catalogFolder = catalog;
    ctx.args = args;
    return command(ctx);
}

} // namespace

TEST(CatalogCli, ExitCodes)
{
    const QString catalog = ambrytest::makeTempDir(QStringLiteral("cli"));
    ambrytest::writeFile(catalog + QStringLiteral("/sub/1.dat"),
                         "\\\r\na\r\n1\r\n2\r\nAMark=CD No: 4\r\nANumber=4\r\nAEnd=EndTag\r\n");
    struct Case
    {
        const char *what;
        int (*command)(CliContext &);
        QStringList args;
        int exitCode;
    };
    const Case cases[] = {
        {"mark there", cliMarkExists, {QStringLiteral("cd no: 4")}, 0},
        {"mark not there", cliMarkExists, {QStringLiteral("cd no: 5")}, 1},
        {"mark: no argument", cliMarkExists, {}, 2},
        {"checksum", cliChecksum, {catalog + QStringLiteral("/sub/1.dat")}, 0},
        {"checksum: too many arguments", cliChecksum, {QStringLiteral("a"), QStringLiteral("b")}, 2},
        {"value", cliValue, {catalog + QStringLiteral("/sub/1.dat"), QStringLiteral("AMark")}, 0},
        {"value: one argument", cliValue, {QStringLiteral("x")}, 2},
        {"next number", cliNextNumber, {}, 0},
        {"next number: stray argument", cliNextNumber, {QStringLiteral("x")}, 2},
    };
    for (const Case &c : cases)
        EXPECT_EQ(run(c.command, catalog, c.args), c.exitCode) << c.what;
}

TEST(CatalogCli, MarkLookupErrorIsNotANo)
{
    // A catalog that cannot be made: the lookup fails, and says so with its own exit code.
    const QString file = ambrytest::makeTempDir(QStringLiteral("clifile")) + QStringLiteral("/plain");
    ambrytest::writeFile(file, "x");
    EXPECT_EQ(run(cliMarkExists, file + QStringLiteral("/catalog"), {QStringLiteral("m")}), 2);
}
