#include <gtest/gtest.h>

#include "TestSupport.h"
#include "catalog/cliCatalog.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cstdio>
#include <cstring>
#include <sys/stat.h>

namespace {

int run(const CliCommand &command, const QString &catalog, const QStringList &args)
{
    std::FILE *out = std::tmpfile();
    std::FILE *err = std::tmpfile();
    const int code = runCliCommand(command, catalog, args, out, err);
    std::fclose(out);
    std::fclose(err);
    return code;
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
        const CliCommand &command;
        QStringList args;
        int exitCode;
    };
    const Case cases[] = {
        {"mark there", markExistsCommand(), {QStringLiteral("cd no: 4")}, 0},
        {"mark not there", markExistsCommand(), {QStringLiteral("cd no: 5")}, 1},
        {"mark: no argument", markExistsCommand(), {}, 64},
        {"checksum", checksumCommand(), {catalog + QStringLiteral("/sub/1.dat")}, 0},
        {"checksum: too many arguments", checksumCommand(), {QStringLiteral("a"), QStringLiteral("b")}, 64},
        {"value", valueCommand(), {catalog + QStringLiteral("/sub/1.dat"), QStringLiteral("AMark")}, 0},
        {"value: no such field",
         valueCommand(),
         {catalog + QStringLiteral("/sub/1.dat"), QStringLiteral("ALocation")},
         1},
        {"value: one argument", valueCommand(), {QStringLiteral("x")}, 64},
        {"next number", nextNumberCommand(), {}, 0},
        {"next number: stray argument", nextNumberCommand(), {QStringLiteral("x")}, 64},
    };
    for (const Case &c : cases)
        EXPECT_EQ(run(c.command, catalog, c.args), c.exitCode) << c.what;
}

TEST(CatalogCli, MarkLookupErrorIsNotANo)
{
    // A catalog that cannot be made: the lookup fails, and says so with its own exit code.
    const QString file = ambrytest::makeTempDir(QStringLiteral("clifile")) + QStringLiteral("/plain");
    ambrytest::writeFile(file, "x");
    EXPECT_EQ(run(markExistsCommand(), file + QStringLiteral("/catalog"), {QStringLiteral("m")}), 2);
}

TEST(CatalogCli, AMissingCatalogFolderIsAnError)
{
    // A mistyped --catalog must not read as an empty catalog (and must not be created).
    const QString missing = ambrytest::makeTempDir(QStringLiteral("climissing")) + QStringLiteral("/typo");
    std::FILE *err = std::tmpfile();
    std::FILE *out = std::tmpfile();
    EXPECT_EQ(runCliCommand(nextNumberCommand(), missing, {}, out, err), 1);
    EXPECT_EQ(runCliCommand(markExistsCommand(), missing, {QStringLiteral("m")}, out, err), 2);
    EXPECT_EQ(std::ftell(out), 0L) << "nothing on standard output";
    EXPECT_GT(std::ftell(err), 0L);
    std::fclose(out);
    std::fclose(err);
    EXPECT_FALSE(QFileInfo::exists(missing));
}

// Only a regular file has an archive checksum; a FIFO once blocked the command for ever.
TEST(CatalogCli, ChecksumRefusesWhatIsNotARegularFile)
{
    const QString folder = ambrytest::makeTempDir(QStringLiteral("clififo"));
    const QString fifo = folder + QStringLiteral("/pipe.dat");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    for (const QString &path : {fifo, folder, QStringLiteral("/dev/null")}) {
        std::FILE *out = std::tmpfile();
        std::FILE *err = std::tmpfile();
        EXPECT_EQ(runCliCommand(checksumCommand(), folder, {path}, out, err), 1) << path.toStdString();
        std::rewind(err);
        char text[512] = {};
        (void)!std::fread(text, 1, sizeof text - 1, err);
        EXPECT_NE(std::strstr(text, "is not a regular file"), nullptr) << text;
        std::fclose(out);
        std::fclose(err);
    }
}
