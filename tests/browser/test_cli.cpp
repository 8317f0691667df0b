#include "helper_catalog.h"

#include "CliRun.h"
#include "TestSupport.h"

#include "browser/cliBrowser.h"
#include "catalog/CatalogLock.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QThread>

#include <gtest/gtest.h>

#include <cstdio>
#include <thread>

using browsertest::Fields;
using browsertest::writeArchive;

namespace {

// The output's lines, without empty ones.
struct CliRun
{
    int code = -1;
    QStringList out;
    QString err;
};

CliRun run(const CliCommand &command, const QString &catalog, const QStringList &args)
{
    const ambrytest::CliRun r = ambrytest::runCommand(command, catalog, args);
    return CliRun{r.code, r.lines(), r.err};
}

class BrowserCli : public ::testing::Test
{
protected:
    void SetUp() override
    {
        folder = browsertest::newCatalog();
        Fields f;
        f.mark = "beta";
        f.date = QByteArray::number((23 << 25) | (1 << 21) | (1 << 16) | (10 << 11));
        f.size = "3000";
        f.note = "has\ttab";
        beta = writeArchive(folder, QStringLiteral("1.dat"), f);
        f.mark = "Alpha";
        f.date = QByteArray::number((21 << 25) | (1 << 21) | (1 << 16));
        f.size = "1000";
        f.note = "";
        alpha = writeArchive(folder, QStringLiteral("2.dat"), f);
        f.mark = "gamma";
        f.date = "soon"; // no date
        f.size = "x";
        gamma = writeArchive(folder, QStringLiteral("sub/3.dat"), f);
    }
    QString folder, alpha, beta, gamma;
};

QStringList firstCells(const CliRun &r)
{
    QStringList out;
    for (const QString &line : r.out)
        out << line.section(QLatin1Char('\t'), 0, 0);
    return out;
}

} // namespace

TEST_F(BrowserCli, ListsInTheWindowsOrderOrAsAColumnClickSorts)
{
    struct Case
    {
        QStringList args;
        QStringList marks;
    };
    const auto l = [](std::initializer_list<const char *> items) {
        QStringList out;
        for (const char *i : items)
            out << QString::fromLatin1(i);
        return out;
    };
    const Case cases[] = {
        {{}, l({"Alpha", "beta", "gamma"})},
        {l({"--reverse"}), l({"beta", "Alpha", "gamma"})},
        {l({"--sort", "date"}), l({"beta", "Alpha", "gamma"})},
        {l({"--sort", "date", "--reverse"}), l({"Alpha", "beta", "gamma"})},
        {l({"--sort", "size"}), l({"beta", "Alpha", "gamma"})},
        {l({"--sort", "size", "--reverse"}), l({"Alpha", "beta", "gamma"})},
        {l({"--sort", "archive", "--reverse"}), l({"gamma", "beta", "Alpha"})},
    };
    for (const Case &c : cases) {
        const CliRun r = run(listCommand(), folder, c.args);
        EXPECT_EQ(r.code, 0) << c.args.join(u' ').toStdString();
        EXPECT_EQ(firstCells(r), c.marks) << c.args.join(u' ').toStdString();
    }
    EXPECT_EQ(run(listCommand(), folder, {QStringLiteral("--sort"), QStringLiteral("colour")}).code, 64);
}

TEST_F(BrowserCli, PrintsCellsOrRawValuesAndTheTotals)
{
    CliRun r = run(listCommand(), folder, {QStringLiteral("--totals")});
    ASSERT_EQ(r.out.size(), 4);
    EXPECT_EQ(r.out[1].split(QLatin1Char('\t')),
              (QStringList{QStringLiteral("beta"), QStringLiteral("01/01/2003 10:00:00"),
                           QStringLiteral("Shelf A"), QStringLiteral("0"), QStringLiteral("1"),
                           QStringLiteral("3,000"), QStringLiteral("has tab")}));
    EXPECT_EQ(r.out[2].section(QLatin1Char('\t'), 1, 1), QStringLiteral("Unknown"));
    EXPECT_EQ(r.out[3], QStringLiteral("Archives: 3; Files: 3; Folders: 0; Total size: 3.91 KB (4,000)"));

    r = run(listCommand(), folder, {QStringLiteral("--format"), QStringLiteral("json")});
    ASSERT_EQ(r.out.size(), 3);
    const QJsonObject beta = QJsonDocument::fromJson(r.out[1].toUtf8()).object();
    EXPECT_EQ(beta.value(QStringLiteral("mark")).toString(), QStringLiteral("beta"));
    EXPECT_EQ(beta.value(QStringLiteral("date")).toString(), QStringLiteral("2003-01-01T10:00:00"));
    EXPECT_EQ(beta.value(QStringLiteral("size")).toInteger(), 3000);
    EXPECT_EQ(beta.value(QStringLiteral("note")).toString(), QStringLiteral("has\ttab"));
    EXPECT_EQ(beta.value(QStringLiteral("path")).toString(), this->beta);
    const QJsonObject gamma = QJsonDocument::fromJson(r.out[2].toUtf8()).object();
    EXPECT_TRUE(gamma.value(QStringLiteral("date")).isNull());
    EXPECT_TRUE(gamma.value(QStringLiteral("size")).isNull());
    EXPECT_EQ(gamma.value(QStringLiteral("files")).toInteger(), 1);

    // Raw values under a header row; the totals line stays out of the table.
    r = run(listCommand(), folder,
            {QStringLiteral("--format"), QStringLiteral("csv"), QStringLiteral("--totals")});
    EXPECT_EQ(r.out,
              (QStringList{QStringLiteral("Archive,Archived date,Location,Directories,Files,Size,Note\r"),
                           QStringLiteral("Alpha,2001-01-01T00:00:00,Shelf A,0,1,1000,\r"),
                           QStringLiteral("beta,2003-01-01T10:00:00,Shelf A,0,1,3000,has\ttab\r"),
                           QStringLiteral("gamma,,Shelf A,0,1,,\r")}));
}

TEST_F(BrowserCli, EditFollowsTheEditorsRules)
{
    // A case-only change; an option not given keeps its value; an empty note removes the line.
    EXPECT_EQ(run(editCommand(), folder,
                  {QStringLiteral("BETA"), QStringLiteral("--mark"), QStringLiteral("BETA"),
                   QStringLiteral("--note"), QString()})
                  .code,
              0);
    QByteArray bytes = ambrytest::readFile(beta);
    EXPECT_TRUE(bytes.contains("\r\nAMark=BETA\r\n"));
    EXPECT_TRUE(bytes.contains("\r\nALocation=Shelf A\r\n"));
    EXPECT_FALSE(bytes.contains("ANote"));

    const CliRun taken = run(editCommand(), folder,
                             {QStringLiteral("beta"), QStringLiteral("--mark"), QStringLiteral(" alpha ")});
    EXPECT_EQ(taken.code, 5);
    EXPECT_TRUE(taken.err.contains(QStringLiteral("The mark already exists!")));
    EXPECT_EQ(
        run(editCommand(), folder, {QStringLiteral("beta"), QStringLiteral("--mark"), QStringLiteral("  ")})
            .code,
        64);
    EXPECT_EQ(run(editCommand(), folder, {QStringLiteral("delta")}).code, 8);
    EXPECT_TRUE(ambrytest::readFile(beta).contains("\r\nAMark=BETA\r\n"));

    // The limits of add.
    for (const char *option : {"--mark", "--location", "--note"}) {
        SCOPED_TRACE(option);
        const CliRun r = run(editCommand(), folder,
                             {QStringLiteral("beta"), QString::fromLatin1(option), QString(256, u'x')});
        EXPECT_EQ(r.code, 64);
        EXPECT_TRUE(r.err.contains(QStringLiteral("longer than 255 characters"))) << r.err.toStdString();
    }
    EXPECT_EQ(
        run(editCommand(), folder, {QStringLiteral("beta"), QStringLiteral("--note"), QString(255, u'x')})
            .code,
        0);

    // A damaged archive is not rewritten: that would pass what is left of it off as whole.
    Fields cutFields;
    cutFields.mark = "cut";
    QByteArray cut = browsertest::archiveBytes(cutFields);
    cut.truncate(cut.indexOf("ASize=1") + 7);
    const QString damaged = folder + QStringLiteral("cut.dat");
    ambrytest::writeFile(damaged, cut);
    const CliRun refused =
        run(editCommand(), folder, {QStringLiteral("cut"), QStringLiteral("--note"), QStringLiteral("n")});
    EXPECT_EQ(refused.code, 3);
    EXPECT_TRUE(refused.err.contains(damaged)) << refused.err.toStdString();
    EXPECT_EQ(ambrytest::readFile(damaged), cut);
}

// What a command changes is looked up once it holds the lock: an archive another writer removed
// while it waited is "no such mark" (exit 8), and the rest of the command is still done.
TEST_F(BrowserCli, WritersFindTheirArchivesUnderTheLock)
{
    struct Case
    {
        const CliCommand &command;
        QStringList args;
        QString removedMeanwhile;
    };
    const Case cases[] = {
        {editCommand(), {QStringLiteral("beta"), QStringLiteral("--note"), QStringLiteral("n")}, beta},
        {removeCommand(), {QStringLiteral("alpha"), QStringLiteral("gamma"), QStringLiteral("--yes")}, alpha},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.command.name.toStdString());
        ambrytest::ChildHolding other([f = folder] { return (new CatalogLock(f))->tryAcquire(); });
        ASSERT_TRUE(other.holds());
        CliRun r;
        std::thread waiting([&] { r = run(c.command, folder, c.args); });
        QThread::msleep(200);
        ASSERT_TRUE(QFile::remove(c.removedMeanwhile));
        other.release();
        waiting.join();
        EXPECT_EQ(r.code, 8) << r.err.toStdString();
        EXPECT_TRUE(r.err.contains(QStringLiteral("no archive has the mark"))) << r.err.toStdString();
    }
    EXPECT_FALSE(QFile::exists(gamma));
}

TEST_F(BrowserCli, ListNamesTheFoldersItCannotRead)
{
    ambrytest::openToOthers(folder.toStdString());
    for (const QString &archive : {alpha, beta})
        QFile::setPermissions(archive,
                              QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadOther);
    const QString locked = folder + QStringLiteral("sub");
    ASSERT_TRUE(QFile::setPermissions(locked, QFileDevice::Permissions()));
    CliRun r;
    {
        ambrytest::UnprivilegedFiles asAUser;
        r = run(listCommand(), folder, {});
    }
    QFile::setPermissions(locked, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    EXPECT_EQ(r.code, 3);
    EXPECT_EQ(r.out.size(), 2);
    EXPECT_TRUE(r.err.contains(locked)) << r.err.toStdString();

    // The catalog folder itself.
    ASSERT_TRUE(QFile::setPermissions(folder, QFileDevice::ExeOwner | QFileDevice::ExeOther));
    {
        ambrytest::UnprivilegedFiles asAUser;
        r = run(listCommand(), folder, {});
    }
    QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    EXPECT_EQ(r.code, 3);
    EXPECT_TRUE(r.out.isEmpty());
    EXPECT_TRUE(r.err.contains(QStringLiteral("unreadable folder"))) << r.err.toStdString();
}

TEST_F(BrowserCli, RemoveAsksUnlessToldAndRefusesWithoutATerminal)
{
    std::FILE *saved = std::freopen("/dev/null", "r", stdin);
    ASSERT_NE(saved, nullptr);
    EXPECT_EQ(run(removeCommand(), folder, {QStringLiteral("alpha")}).code, 1);
    EXPECT_TRUE(QFile::exists(alpha));
    // A mark no archive has is told; the others are still removed.
    EXPECT_EQ(run(removeCommand(), folder,
                  {QStringLiteral("alpha"), QStringLiteral("delta"), QStringLiteral("--yes")})
                  .code,
              8);
    EXPECT_FALSE(QFile::exists(alpha));
    EXPECT_EQ(run(removeCommand(), folder,
                  {QStringLiteral("GAMMA"), QStringLiteral("gamma"), QStringLiteral("--yes")})
                  .code,
              0);
    EXPECT_FALSE(QFile::exists(gamma));
    EXPECT_TRUE(QFile::exists(beta));
}
