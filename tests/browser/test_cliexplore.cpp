// ambrylog-cli ls and tree: a catalogued disc's folders from the command line.

#include "helper_catalog.h"

#include "CliRun.h"
#include "TestSupport.h"

#include "browser/cliBrowser.h"
#include "catalog/DosDateTime.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

using browsertest::Rec;

namespace {

QStringList L(std::initializer_list<const char *> texts)
{
    QStringList out;
    for (const char *t : texts)
        out << QString::fromUtf8(t);
    return out;
}

class ExploreCli : public ::testing::Test
{
protected:
    void SetUp() override
    {
        folder = browsertest::newCatalog();
        const QByteArray d = QByteArray::number(dosdate::pack(2008, 5, 14, 10, 20, 30));
        browsertest::writeDisc(folder, QStringLiteral("1.dat"), "CD 5",
                               {{"\\", "readme.txt", "10", d},
                                {"Music\\Rock", "song.mp3", "3000", d},
                                {"Music", "list.m3u", "x", "bad"},
                                {"Music\\Jazz", "take5.flac", "2000000", d},
                                {"\\", "tab\there.txt", "1", d}});
    }
    ambrytest::CliRun run(const CliCommand &command, const QStringList &args)
    {
        return ambrytest::runCommand(command, folder, args);
    }
    QString folder;
};

TEST_F(ExploreCli, LsListsAFolderFoldersFirstWithDataCells)
{
    const struct
    {
        QStringList args;
        int code;
        QStringList lines;
    } rows[] = {
        {L({"CD 5"}), 0,
         L({"Music/\t2003000\t2008-05-14T10:20:30\tFolder", "readme.txt\t10\t2008-05-14T10:20:30\ttxt",
            "tab\\there.txt\t1\t2008-05-14T10:20:30\ttxt"})},
        {L({" cd 5 ", "/Music"}), 0,
         L({"Jazz/\t2000000\t2008-05-14T10:20:30\tFolder", "Rock/\t3000\t2008-05-14T10:20:30\tFolder",
            "list.m3u\t\t\tm3u"})},
        {L({"CD 5", "Music", "-R"}), 0,
         L({"Jazz/\t2000000\t2008-05-14T10:20:30\tFolder",
            "Jazz/take5.flac\t2000000\t2008-05-14T10:20:30\tflac", "Rock/\t3000\t2008-05-14T10:20:30\tFolder",
            "Rock/song.mp3\t3000\t2008-05-14T10:20:30\tmp3", "list.m3u\t\t\tm3u"})},
        {L({"CD 5", "\\music\\rock\\song.mp3"}), 0, L({"song.mp3\t3000\t2008-05-14T10:20:30\tmp3"})},
        {L({"CD 5", "Pop"}), 8, {}},
        {L({"CD 6"}), 8, {}},
    };
    for (const auto &row : rows) {
        const ambrytest::CliRun r = run(lsCommand(), row.args);
        EXPECT_EQ(r.code, row.code) << row.args.join(QLatin1Char(' ')).toStdString();
        EXPECT_EQ(r.lines(), row.lines) << row.args.join(QLatin1Char(' ')).toStdString();
    }
    EXPECT_EQ(run(lsCommand(), L({"CD 5", "Pop"})).err,
              QStringLiteral("ambrylog-cli ls: the disc marked 'CD 5' has no folder or file 'Pop'\n"));
}

TEST_F(ExploreCli, LsJsonHoldsRawValuesAndAFoldersCounts)
{
    const ambrytest::CliRun r = run(lsCommand(), L({"CD 5", "Music", "--format", "json"}));
    ASSERT_EQ(r.code, 0);
    ASSERT_EQ(r.lines().size(), 3);
    const QJsonObject jazz = QJsonDocument::fromJson(r.lines().at(0).toUtf8()).object();
    EXPECT_EQ(jazz.value(QStringLiteral("path")).toString(), QStringLiteral("Jazz/"));
    EXPECT_EQ(jazz.value(QStringLiteral("kind")).toString(), QStringLiteral("folder"));
    EXPECT_EQ(jazz.value(QStringLiteral("size")).toInteger(), 2000000);
    EXPECT_EQ(jazz.value(QStringLiteral("files")).toInteger(), 1);
    EXPECT_EQ(jazz.value(QStringLiteral("folders")).toInteger(), 0);
    const QJsonObject list = QJsonDocument::fromJson(r.lines().at(2).toUtf8()).object();
    EXPECT_EQ(list.value(QStringLiteral("kind")).toString(), QStringLiteral("file"));
    EXPECT_TRUE(list.value(QStringLiteral("size")).isNull());
    EXPECT_TRUE(list.value(QStringLiteral("date")).isNull());
    EXPECT_FALSE(list.contains(QStringLiteral("files")));
}

TEST_F(ExploreCli, TreeDrawsTheFoldersAsTreeDuDoes)
{
    const ambrytest::CliRun all = run(treeCommand(), L({"CD 5"}));
    EXPECT_EQ(all.code, 0);
    EXPECT_EQ(all.out, QString::fromUtf8("[1.9M]  CD 5\n"
                                         "├── [1.9M]  Music\n"
                                         "│\u00a0\u00a0 ├── [1.9M]  Jazz\n"
                                         "│\u00a0\u00a0 │\u00a0\u00a0 └── [1.9M]  take5.flac\n"
                                         "│\u00a0\u00a0 ├── [2.9K]  Rock\n"
                                         "│\u00a0\u00a0 │\u00a0\u00a0 └── [2.9K]  song.mp3\n"
                                         "│\u00a0\u00a0 └── [   ?]  list.m3u\n"
                                         "├── [  10]  readme.txt\n"
                                         "└── [   1]  tab\there.txt\n"
                                         "\n"
                                         " 1.9M used in 3 directories, 5 files\n"));
    const ambrytest::CliRun top = run(treeCommand(), L({"CD 5", "Music", "-L", "1"}));
    EXPECT_EQ(top.out, QString::fromUtf8("[1.9M]  Music\n"
                                         "├── [1.9M]  Jazz\n"
                                         "├── [2.9K]  Rock\n"
                                         "└── [   ?]  list.m3u\n"
                                         "\n"
                                         " 1.9M used in 2 directories, 1 file\n"));
    EXPECT_EQ(run(treeCommand(), L({"CD 5", "--depth", "0"})).code, 64);
    EXPECT_EQ(run(treeCommand(), L({"CD 5", "readme.txt"})).code, 8);
}

TEST(ExploreCliSizes, SizesReadAsTreeHShowsThem)
{
    const struct
    {
        qint64 bytes;
        const char *shown;
    } rows[] = {{0, "   0"},        {1023, "1023"},    {1024, "1.0K"},        {1075, "1.0K"},
                {1076, "1.1K"},     {10188, "9.9K"},   {10189, "10.0K"},      {10240, " 10K"},
                {1048575, "1024K"}, {1048576, "1.0M"}, {1073741823, "1024M"}, {1099511627776, "1.0T"},
                {-5, "  -5"}};
    for (const auto &row : rows)
        EXPECT_EQ(humanSize(row.bytes, true), QString::fromLatin1(row.shown)) << row.bytes;
    EXPECT_EQ(humanSize(7, false), QStringLiteral("   ?"));
}

} // namespace

TEST_F(ExploreCli, LsWritesCsvAndHtml)
{
    const ambrytest::CliRun csv = run(lsCommand(), L({"CD 5", "Music", "--format", "csv"}));
    EXPECT_EQ(csv.code, 0);
    EXPECT_EQ(csv.out, QStringLiteral("Name,Size,Date Modified,Type\r\n"
                                      "Jazz/,2000000,2008-05-14T10:20:30,Folder\r\n"
                                      "Rock/,3000,2008-05-14T10:20:30,Folder\r\n"
                                      "list.m3u,,,m3u\r\n"));
    const ambrytest::CliRun html = run(lsCommand(), L({"CD 5", "--format", "html", "-R"}));
    EXPECT_EQ(html.code, 0);
    EXPECT_TRUE(html.out.contains(QStringLiteral("<title>Ambrylog disc CD 5</title>")));
    EXPECT_TRUE(html.out.contains(QStringLiteral("<th>Path</th>")));
    EXPECT_TRUE(html.out.contains(QStringLiteral("<td>Music/Rock/song.mp3</td><td class=\"n\">3,000</td>")));
}
