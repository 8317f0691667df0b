#include "helper_catalog.h"

#include "TestSupport.h"

#include "browser/ArchiveCommands.h"
#include "browser/ArchiveListModel.h"
#include "browser/CatalogBrowser.h"

#include <QAbstractItemModelTester>
#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

using namespace browser;
using browsertest::Fields;
using browsertest::writeArchive;

namespace {

// A list of n archives "m0".."m(n-1)" with files = 10 + i (unknown where asked).
struct List
{
    QString folder = browsertest::newCatalog();
    ArchiveListModel model;
    CatalogTotals totals;

    explicit List(int n, const QList<int> &unknownFiles = {})
    {
        for (int i = 0; i < n; ++i) {
            Fields f;
            f.mark = "m" + QByteArray::number(i);
            f.files = unknownFiles.contains(i) ? "?" : QByteArray::number(10 + i);
            writeArchive(folder, QStringLiteral("%1.dat").arg(i, 3, 10, QLatin1Char('0')), f);
        }
        CatalogLoader(model, totals).ScanArchive(catalog::Catalog(folder));
    }
    QStringList marks() const
    {
        QStringList out;
        for (int r = 0; r < model.rowCount(); ++r)
            out << model.mark(r);
        return out;
    }
    QStringList marksOnDisk() const
    {
        return QDir(folder).entryList({QStringLiteral("*.dat")}, QDir::Files, QDir::Name);
    }
};

QStringList marks(std::initializer_list<int> numbers)
{
    QStringList out;
    for (int n : numbers)
        out << QStringLiteral("m%1").arg(n);
    return out;
}

} // namespace

TEST(RemoveRows, RemovesRunsAndLowersTheTotals)
{
    struct Case
    {
        const char *name;
        std::vector<int> rows;
        QStringList left;
        int selectRow;
    };
    const Case cases[] = {
        {"one row", {2}, marks({0, 1, 3, 4, 5}), 2},
        {"a run and single rows", {0, 2, 3, 4, 5}, marks({1}), 0},
        {"the last row", {5}, marks({0, 1, 2, 3, 4}), 4},
        {"every row", {0, 1, 2, 3, 4, 5}, {}, -1},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        List list(6);
        QAbstractItemModelTester tester(&list.model, QAbstractItemModelTester::FailureReportingMode::Fatal);
        int removals = 0;
        QObject::connect(&list.model, &QAbstractItemModel::rowsRemoved, [&] { ++removals; });
        qint64 filesLeft = 0;
        for (int i = 0; i < 6; ++i)
            if (std::find(c.rows.begin(), c.rows.end(), i) == c.rows.end())
                filesLeft += 10 + i;
        int events = 0;
        bool rowsLeftAfterFiles = true;
        RemoveHooks hooks;
        Progress counting;
        counting.pendingEvents = [&] { ++events; };
        // Every file goes before the first row leaves the model.
        hooks.beforeRemoval = [&] {
            rowsLeftAfterFiles = list.model.rowCount() == 6 && events == int(c.rows.size());
        };
        const RemoveResult r = removeRows(list.model, list.totals, c.rows, hooks, counting);
        EXPECT_EQ(list.marks(), c.left);
        EXPECT_EQ(list.marksOnDisk().size(), c.left.size());
        EXPECT_EQ(r.removed, int(c.rows.size()));
        EXPECT_EQ(events, int(c.rows.size()));
        EXPECT_TRUE(rowsLeftAfterFiles);
        EXPECT_TRUE(r.kept.empty());
        EXPECT_FALSE(r.failed);
        EXPECT_FALSE(r.recount);
        EXPECT_EQ(r.selectRow, c.selectRow);
        EXPECT_EQ(list.totals.archives, c.left.size());
        EXPECT_EQ(list.totals.files, filesLeft);
        EXPECT_EQ(list.totals.folders, 0);
        EXPECT_EQ(list.totals.bytes, 100 * c.left.size());
        // One model step per run of adjacent rows.
        int runs = c.rows.empty() ? 0 : 1;
        for (size_t i = 1; i < c.rows.size(); ++i)
            runs += c.rows[i] != c.rows[i - 1] + 1;
        EXPECT_EQ(removals, runs);
    }
}

TEST(RemoveRows, AFailureStopsTheLoopAndKeepsTheRest)
{
    List list(6);
    const QString failing = list.model.path(3);
    QStringList told;
    RemoveHooks hooks;
    hooks.deleteFile = [&](const QString &path) { return path != failing && deleteArchiveFile(path); };
    hooks.failed = [&](const QString &mark) { told << mark; };
    const RemoveResult r = removeRows(list.model, list.totals, {1, 2, 3, 4}, hooks);
    EXPECT_TRUE(r.failed);
    EXPECT_EQ(r.removed, 2);
    EXPECT_EQ(told, QStringList{QStringLiteral("m3")});
    EXPECT_EQ(list.marks(), marks({0, 3, 4, 5}));
    EXPECT_EQ(list.totals.archives, 4);
    EXPECT_EQ(list.totals.files, 10 + 13 + 14 + 15);
    EXPECT_EQ(r.selectRow, 1);
    EXPECT_EQ(r.kept, (std::vector<int>{1, 2})); // m3 and m4 stay selected
}

TEST(RemoveRows, AnUnknownCountAsksForARecount)
{
    List list(3, {1});
    EXPECT_FALSE(removeRows(list.model, list.totals, {0}).recount);
    const RemoveResult r = removeRows(list.model, list.totals, {0});
    EXPECT_TRUE(r.recount);
    EXPECT_EQ(list.totals.archives, 1);
}

TEST(RemoveRows, OnlyArchiveFilesAreDeleted)
{
    const QString dir = ambrytest::makeTempDir() + QLatin1Char('/');
    ambrytest::writeFile(dir + QStringLiteral("ro.dat"), "x");
    QFile::setPermissions(dir + QStringLiteral("ro.dat"), QFileDevice::ReadOwner);
    EXPECT_TRUE(deleteArchiveFile(dir + QStringLiteral("ro.dat")));
    EXPECT_FALSE(QFile::exists(dir + QStringLiteral("ro.dat")));

    ambrytest::writeFile(dir + QStringLiteral("notes.txt"), "x");
    EXPECT_FALSE(deleteArchiveFile(dir + QStringLiteral("notes.txt")));
    EXPECT_TRUE(QFile::exists(dir + QStringLiteral("notes.txt")));
    QDir(dir).mkdir(QStringLiteral("folder.dat"));
    EXPECT_FALSE(deleteArchiveFile(dir + QStringLiteral("folder.dat")));
    EXPECT_FALSE(deleteArchiveFile(dir + QStringLiteral("gone.dat")));
    // A link goes; what it points to stays.
    ambrytest::writeFile(dir + QStringLiteral("target.txt"), "x");
    QFile::link(dir + QStringLiteral("target.txt"), dir + QStringLiteral("link.dat"));
    EXPECT_TRUE(deleteArchiveFile(dir + QStringLiteral("link.dat")));
    EXPECT_TRUE(QFile::exists(dir + QStringLiteral("target.txt")));
}

TEST(RemoveRows, TheQuestionNamesOneRowOrWarnsOfMore)
{
    EXPECT_EQ(removeQuestion({QStringLiteral("CD 1")}),
              QStringLiteral("Are you sure you want to remove: CD 1 ?"));
    EXPECT_EQ(removeQuestion({QStringLiteral("a"), QStringLiteral("b")}),
              QStringLiteral("You will remove more than one archive!\r\nAre you sure you want to continue?"));
}

TEST(EditRules, OkNeedsAMarkAndFieldsLoseLineBreaks)
{
    for (const auto &[text, ok] : {std::pair{"", false}, std::pair{"   ", false}, std::pair{"\t", false},
                                   std::pair{" a ", true}, std::pair{"CD 1", true}})
        EXPECT_EQ(edit::okEnabled(QString::fromLatin1(text)), ok) << text;
    EXPECT_EQ(edit::fieldText(QStringLiteral("a\r\nb") + QChar(0) + QStringLiteral("c")),
              QStringLiteral("a  b c"));
}

TEST(EditRules, TheMarkIsCheckedAsItWillBeReadBack)
{
    const QString folder = browsertest::newCatalog();
    Fields f;
    f.mark = "cd 1";
    writeArchive(folder, QStringLiteral("1.dat"), f);
    f.mark = "CD 2";
    writeArchive(folder, QStringLiteral("2.dat"), f);
    struct Case
    {
        const char *mark, *starting;
        edit::MarkCheck expected;
    };
    const Case cases[] = {
        {"CD 1", "cd 1", edit::MarkCheck::Accept},   // letter case only: no lookup
        {" Cd 1 ", "cd 1", edit::MarkCheck::Accept}, // the same mark once trimmed
        {"cd 2", "cd 1", edit::MarkCheck::Exists},   // another archive's mark in other case
        {" CD 2 ", "cd 1", edit::MarkCheck::Exists}, // blanks around a mark in use
        {"CD 3", "cd 1", edit::MarkCheck::Accept},
    };
    for (const Case &c : cases)
        EXPECT_EQ(edit::checkMark(QString::fromLatin1(c.mark), QString::fromLatin1(c.starting),
                                  catalog::Catalog(folder)),
                  c.expected)
            << c.mark;
}

TEST(EditRules, SavingRewritesTheThreeFields)
{
    const QString folder = browsertest::newCatalog();
    Fields f;
    f.mark = "-";
    f.note = "old note";
    const QString path = writeArchive(folder, QStringLiteral("1.dat"), f);
    f.mark = "taken";
    writeArchive(folder, QStringLiteral("2.dat"), f);

    // An archive listed as "Unknown" confirmed unchanged gets that mark; an empty note goes.
    EXPECT_EQ(edit::saveFields(catalog::Catalog(folder), path, QStringLiteral("Unknown"),
                               QStringLiteral("Unknown"), QStringLiteral(" Shelf B"), QString()),
              edit::SaveResult::Saved);
    QByteArray bytes = ambrytest::readFile(path);
    EXPECT_TRUE(bytes.contains("\r\nALocation= Shelf B\r\n"));
    EXPECT_FALSE(bytes.contains("ANote"));
    EXPECT_TRUE(bytes.endsWith("AEnd=EndTag\r\nAMark=Unknown\r\n"));

    // A note entered later is appended as the last line, line breaks as blanks.
    EXPECT_EQ(edit::saveFields(catalog::Catalog(folder), path, QStringLiteral("Unknown"),
                               QStringLiteral("Unknown"), QStringLiteral("Shelf B"),
                               QStringLiteral("two\nlines")),
              edit::SaveResult::Saved);
    EXPECT_TRUE(ambrytest::readFile(path).endsWith("AMark=Unknown\r\nANote=two lines\r\n"));

    EXPECT_EQ(edit::saveFields(catalog::Catalog(folder), path, QStringLiteral("Unknown"),
                               QStringLiteral("TAKEN"), QString(), QString()),
              edit::SaveResult::MarkExists);
    EXPECT_EQ(edit::saveFields(catalog::Catalog(folder), folder + QStringLiteral("gone.dat"),
                               QStringLiteral("x"), QStringLiteral("x"), QString(), QString()),
              edit::SaveResult::Failed);
}
