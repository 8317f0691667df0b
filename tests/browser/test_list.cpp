#include "helper_catalog.h"

#include "TestSupport.h"

#include "browser/ArchiveListModel.h"
#include "browser/CatalogBrowser.h"
#include "catalog/Catalog.h"
#include "catalog/DosDateTime.h"

#include <QAbstractItemModelTester>
#include <QDir>
#include <QItemSelectionModel>
#include <QLocale>

#include <gtest/gtest.h>

#include <sys/stat.h>

using namespace browser;
using browsertest::Fields;
using browsertest::writeArchive;

namespace {

class EnglishLocale
{
public:
    EnglishLocale() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedKingdom)); }
    ~EnglishLocale() { QLocale::setDefault(m_saved); }

private:
    QLocale m_saved;
};

QStringList sl(const std::vector<const char *> &items)
{
    QStringList out;
    for (const char *i : items)
        out << QString::fromUtf8(i);
    return out;
}

QStringList column(const ArchiveListModel &m, int col)
{
    QStringList out;
    for (int r = 0; r < m.rowCount(); ++r)
        out << m.cellText(r, col);
    return out;
}

// Loads a folder the way the window does and returns the totals.
CatalogTotals load(ArchiveListModel &model, const QString &folder)
{
    CatalogTotals totals;
    CatalogLoader loader(model, totals);
    EXPECT_TRUE(loader.ScanArchive(catalog::Catalog(folder)));
    return totals;
}

QByteArray date(int y, int mo, int d, int h = 0, int mi = 0, int s = 0)
{
    return QByteArray::number(dosdate::pack(y, mo, d, h, mi, s));
}

} // namespace

TEST(ArchiveEntry, FieldsAreReadAsTheRowShowsThem)
{
    EnglishLocale english;
    const QString dir = ambrytest::makeTempDir();
    struct Case
    {
        const char *name;
        Fields fields;
        QByteArray eol;
        std::vector<const char *> cells; // Archive, date, Location, Directories, Files, Size, Note
        bool damaged;
    };
    Fields plain;
    plain.mark = "  CD 7 ";
    plain.location = " Shelf A ";
    plain.note = "Holiday music";
    plain.files = "1";
    plain.dirs = "1234567";
    plain.size = "-1294967296";
    Fields missing;
    missing.mark = "-";
    missing.date = "-";
    missing.location = "-";
    missing.files = "-";
    missing.dirs = "";
    missing.size = "-";
    Fields malformed;
    malformed.date = "12x";
    malformed.files = "1,234";
    malformed.dirs = "99999999999999999999";
    malformed.size = "1.5";
    Fields midnight;
    midnight.date = date(2009, 3, 2);
    Fields badDate; // month 13 does not unpack
    badDate.date = QByteArray::number(int32_t((29u << 25) | (13u << 21) | (2u << 16)));
    Fields noEnd;
    noEnd.withEnd = false;
    const Case cases[] = {
        {"plain.dat",
         plain,
         "\r\n",
         {"CD 7", "02/03/2009 21:15:08", "Shelf A", "1,234,567", "1", "-1,294,967,296", "Holiday music"},
         false},
        {"lf.dat",
         plain,
         "\n",
         {"CD 7", "02/03/2009 21:15:08", "Shelf A", "1,234,567", "1", "-1,294,967,296", "Holiday music"},
         false},
        {"missing.dat",
         missing,
         "\r\n",
         {"Unknown", "Unknown", "", "Unknown", "Unknown", "Unknown", ""},
         true}, // fields the writer always writes are missing: damaged
        {"malformed.dat",
         malformed,
         "\r\n",
         {"CD 1", "Unknown", "Shelf A", "Unknown", "Unknown", "Unknown", ""},
         true},
        {"midnight.dat", midnight, "\r\n", {"CD 1", "02/03/2009", "Shelf A", "0", "1", "100", ""}, false},
        {"baddate.dat", badDate, "\r\n", {"CD 1", "Unknown", "Shelf A", "0", "1", "100", ""}, false},
        {"noend.dat", noEnd, "\r\n", {"CD 1", "02/03/2009 21:15:08", "Shelf A", "0", "1", "100", ""}, true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        ArchiveListModel model;
        const std::optional<ArchiveEntry> e =
            readArchiveEntry(writeArchive(dir, QString::fromLatin1(c.name), c.fields, c.eol));
        ASSERT_TRUE(e.has_value());
        model.append(*e);
        QStringList cells;
        for (int col : {0, 1, 2, 3, 4, 5, 7})
            cells << model.cellText(0, col);
        EXPECT_EQ(cells, sl(c.cells));
        EXPECT_EQ(model.cellText(0, ArchiveListModel::ColFileName), dir + QString::fromLatin1(c.name));
        EXPECT_EQ(e->damaged, c.damaged);
    }
}

TEST(ArchiveEntry, AVanishedFileIsNoRowAndAnUnreadableOneIsADamagedRow)
{
    const QString dir = ambrytest::makeTempDir();
    EXPECT_FALSE(readArchiveEntry(dir + QStringLiteral("/gone.dat")).has_value());
    QDir(dir).mkdir(QStringLiteral("folder.dat"));
    const std::optional<ArchiveEntry> e = readArchiveEntry(dir + QStringLiteral("/folder.dat"));
    ASSERT_TRUE(e.has_value());
    EXPECT_TRUE(e->damaged);
    EXPECT_EQ(e->mark, QStringLiteral("Unknown"));
    EXPECT_FALSE(e->filesKnown || e->dirsKnown || e->sizeKnown || e->dateKnown);
}

TEST(CatalogLoader, ListsEveryArchiveBelowTheFolderInTheSearchOrder)
{
    EnglishLocale english;
    const QString folder = browsertest::newCatalog();
    Fields f;
    f.mark = "top";
    writeArchive(folder, QStringLiteral("b.dat"), f);
    f.mark = "upper";
    writeArchive(folder, QStringLiteral("A.DAT"), f);
    f.mark = "deep";
    writeArchive(folder, QStringLiteral("sub/deeper/c.dat"), f);
    f.mark = "other";
    writeArchive(folder, QStringLiteral("d.txt"), f);
    writeArchive(folder, QStringLiteral("e.dat.bak"), f);

    QStringList walked;
    catalog::Catalog(folder).walk([&](const QString &path) {
        walked << path;
        return true;
    });
    ArchiveListModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
    const CatalogTotals totals = load(model, folder);
    EXPECT_EQ(column(model, ArchiveListModel::ColFileName), walked);
    EXPECT_EQ(model.rowCount(), 3);
    EXPECT_EQ(totals.archives, 3);
    EXPECT_EQ(column(model, 0).size(), 3);
    EXPECT_FALSE(column(model, 0).contains(QStringLiteral("other")));
}

TEST(CatalogLoader, NamesTheFoldersItCannotList)
{
    const QString folder = browsertest::newCatalog();
    Fields f;
    f.mark = "open";
    writeArchive(folder, QStringLiteral("1.dat"), f);
    f.mark = "shut";
    writeArchive(folder, QStringLiteral("locked/2.dat"), f);
    const QByteArray locked = QFile::encodeName(folder + QStringLiteral("/locked"));
    ASSERT_EQ(::chmod(locked.constData(), 0), 0);
    ambrytest::openToOthers(QFile::encodeName(folder).toStdString());
    ArchiveListModel model;
    CatalogTotals totals;
    CatalogLoader loader(model, totals);
    {
        const ambrytest::UnprivilegedFiles asUser;
        EXPECT_TRUE(loader.ScanArchive(catalog::Catalog(folder)));
    }
    ::chmod(locked.constData(), 0755);
    EXPECT_EQ(model.rowCount(), 1);
    ASSERT_EQ(loader.unlisted().size(), 1);
    EXPECT_TRUE(loader.unlisted().first().path.endsWith(QStringLiteral("/locked/")));
}

TEST(CatalogLoader, TotalsLeaveOutWhatDoesNotConvertAndTheStatusLineShowsThem)
{
    EnglishLocale english;
    const QString folder = browsertest::newCatalog();
    ArchiveListModel model;
    EXPECT_EQ(statusLine(load(model, folder), model.rowCount()), QStringLiteral("There are no archives."));

    Fields a;
    a.files = "1000";
    a.dirs = "3";
    a.size = "1152";
    writeArchive(folder, QStringLiteral("a.dat"), a);
    Fields b;
    b.files = "x";
    b.dirs = "2";
    b.size = "-";
    writeArchive(folder, QStringLiteral("b.dat"), b);
    Fields c;
    c.withEnd = false;
    c.files = "0";
    c.dirs = "0";
    c.size = "0";
    writeArchive(folder, QStringLiteral("c.dat"), c);
    const CatalogTotals t = load(model, folder);
    EXPECT_EQ(t.archives, 3);
    EXPECT_EQ(t.files, 1000);
    EXPECT_EQ(t.folders, 5);
    EXPECT_EQ(t.bytes, 1152);
    EXPECT_EQ(t.damaged, 2); // "AFiles" no number; no "AEnd" line
    EXPECT_EQ(
        statusLine(t, model.rowCount()),
        QStringLiteral("Archives: 3; Files: 1,000; Folders: 5; Total size: 1.13 KB (1,152); Damaged: 2"));
    // The tool tip tells what the count can see, only when there is one.
    EXPECT_TRUE(
        statusToolTip(t, model.rowCount()).startsWith(statusLine(t, model.rowCount()) + QLatin1Char('\n')));
    EXPECT_TRUE(statusToolTip(t, model.rowCount()).contains(QStringLiteral("a search may find more")));

    CatalogTotals zero;
    zero.archives = 2;
    EXPECT_EQ(statusLine(zero, 2),
              QStringLiteral("Archives: 2; Files: 0; Folders: 0; Total size: Zero Bytes (0)"));
}

TEST(CatalogLoader, TheAbortFlagStopsTheWalkBeforeFurtherFolders)
{
    const QString folder = browsertest::newCatalog();
    writeArchive(folder, QStringLiteral("a.dat"), Fields());
    writeArchive(folder, QStringLiteral("b.dat"), Fields());
    writeArchive(folder, QStringLiteral("sub/c.dat"), Fields());
    ArchiveListModel model;
    CatalogTotals totals;
    CatalogLoader loader(model, totals);
    bool abort = false;
    int seen = 0;
    Progress aborting;
    aborting.cancel = &abort;
    aborting.stepDone = [&] {
        if (++seen == 1)
            abort = true; // the close request arrives while the first archive is read
    };
    loader.setProgress(aborting);
    EXPECT_FALSE(loader.ScanArchive(catalog::Catalog(folder)));
    // The folder's own archives are all read; its sub-folder is not entered.
    EXPECT_EQ(model.rowCount(), 2);
    EXPECT_FALSE(model.filling());
}

TEST(CatalogLoader, AnArchiveAddedDuringTheLoadIsListedOnce)
{
    const QString folder = browsertest::newCatalog();
    Fields f;
    f.mark = "old";
    writeArchive(folder, QStringLiteral("a.dat"), f);
    writeArchive(folder, QStringLiteral("sub/b.dat"), f);
    f.mark = "new";
    f.files = "7";
    const QString added = folder + QStringLiteral("sub/n.dat");

    ArchiveListModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
    CatalogTotals totals;
    CatalogLoader loader(model, totals);
    QSet<QString> listedByAdd;
    int addedRow = -2;
    loader.setAlreadyListed([&](const QString &path) { return listedByAdd.contains(path); });
    Progress adding;
    adding.pendingEvents = [&] {
        // The add command runs from the pending events, after the first archive, and writes
        // its archive into a folder the walk has not reached yet.
        if (addedRow == -2) {
            writeArchive(folder, QStringLiteral("sub/n.dat"), f);
            addedRow = AddArchive(model, totals, added, true);
            listedByAdd.insert(added);
        }
    };
    loader.setProgress(adding);
    EXPECT_TRUE(loader.ScanArchive(catalog::Catalog(folder)));
    EXPECT_EQ(addedRow, 1); // announced at once, after the one row read before it
    EXPECT_EQ(model.rowCount(), 3);
    EXPECT_EQ(column(model, 0).count(QStringLiteral("new")), 1);
    EXPECT_EQ(totals.archives, 3);
    EXPECT_EQ(totals.files, 9);
}

TEST(ArchiveListModel, SortsAsAColumnClickDoes)
{
    EnglishLocale english;
    ArchiveListModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
    const auto add = [&](const char *mark, int year, qint64 size, const char *location) {
        ArchiveEntry e;
        e.path = QStringLiteral("/c/") + QString::fromLatin1(mark) + QStringLiteral(".dat");
        e.mark = QString::fromLatin1(mark);
        e.location = QString::fromLatin1(location);
        if (year) {
            e.date = dosdate::pack(year, 1, 1, 0, 0, 0);
            e.dateKnown = true;
        }
        e.size = size;
        e.sizeKnown = size >= 0;
        e.files = e.dirs = 1;
        e.filesKnown = e.dirsKnown = true;
        model.append(e);
    };
    add("beta", 2005, 300, "b");
    add("Alpha", 2001, 100, "B");
    add("nodate", 0, -1, "a");
    add("gamma", 2003, 3'000'000'000LL, "c");
    add("Delta", 2044, 200, "");

    int sortColumn = 1;
    bool flag = true;
    const auto click = [&](int c) {
        columnClick(c, &sortColumn, &flag);
        model.sortRows(sortColumn, flag);
        return column(model, 0);
    };
    // The first load: "Archived date", oldest first; a date past 2043 is newest.
    model.sortRows(sortColumn, flag);
    EXPECT_EQ(column(model, 0), sl({"Alpha", "gamma", "beta", "Delta", "nodate"}));
    // Then "Size": largest first, the unknown size last.
    EXPECT_EQ(click(5), sl({"gamma", "beta", "Delta", "Alpha", "nodate"}));
    // "Size" again: smallest first, the unknown still last.
    EXPECT_EQ(click(5), sl({"Alpha", "Delta", "beta", "gamma", "nodate"}));
    // "Archive" keeps the cleared flag: Z to A without regard to case; then A to Z.
    EXPECT_EQ(click(0), sl({"nodate", "gamma", "Delta", "beta", "Alpha"}));
    EXPECT_EQ(click(0), sl({"Alpha", "beta", "Delta", "gamma", "nodate"}));
    // Equal texts keep their order: "b" and "B" compare equal.
    EXPECT_EQ(click(2), sl({"Delta", "nodate", "Alpha", "beta", "gamma"}));
    EXPECT_EQ(column(model, 2), sl({"", "a", "B", "b", "c"}));

    // An edited row stays where it is until the list is sorted again (a resize does it).
    model.setTexts(0, QStringLiteral("Delta"), QStringLiteral("z"), QString());
    EXPECT_EQ(column(model, 2), sl({"z", "a", "B", "b", "c"}));
    model.sortRows(sortColumn, flag);
    EXPECT_EQ(column(model, 2), sl({"a", "B", "b", "c", "z"}));
}

TEST(ArchiveListModel, WidestNumbersAndRowsByPath)
{
    EnglishLocale english;
    ArchiveListModel model;
    EXPECT_TRUE(model.widestNumberText(ArchiveListModel::ColSize).isEmpty());
    const auto add = [&](const char *name, qint64 size, qint64 files) {
        ArchiveEntry e;
        e.path = QStringLiteral("/c/") + QString::fromLatin1(name) + QStringLiteral(".dat");
        e.size = size;
        e.sizeKnown = size >= 0;
        e.files = files;
        e.filesKnown = true;
        model.appendNow(e);
    };
    add("a", 22'488'729'000LL, 7);
    add("b", -1, 13'262);
    add("c", 5, 0);
    const struct
    {
        int column;
        const char *widest;
    } cases[] = {{ArchiveListModel::ColSize, "22,488,729,000"},
                 {ArchiveListModel::ColFiles, "13,262"},
                 {ArchiveListModel::ColDirs, "Unknown"}, // longer than any count here
                 {ArchiveListModel::ColNote, ""}};
    for (const auto &c : cases)
        EXPECT_EQ(model.widestNumberText(c.column), QString::fromLatin1(c.widest)) << c.column;
    EXPECT_EQ(
        model.rowsOf({QStringLiteral("/c/c.dat"), QStringLiteral("/c/a.dat"), QStringLiteral("/c/gone.dat")}),
        (QList<int>{0, 2}));
}

TEST(CatalogBrowser, TheSortArrowFollowsWhatTheFlagMeansPerColumn)
{
    const struct
    {
        int column;
        bool flag, up;
    } cases[] = {{ArchiveListModel::ColArchive, true, true}, {ArchiveListModel::ColDate, true, true},
                 {ArchiveListModel::ColSize, true, false},   {ArchiveListModel::ColFiles, false, true},
                 {ArchiveListModel::ColDirs, true, false},   {ArchiveListModel::ColNote, false, false}};
    for (const auto &c : cases)
        EXPECT_EQ(sortArrowUp(c.column, c.flag), c.up) << c.column << " " << c.flag;
}

TEST(ArchiveListModel, InitialDateClickShowsNewestFirstThenSizeSmallestFirst)
{
    int column = 1;
    bool flag = true;
    columnClick(1, &column, &flag);
    EXPECT_EQ(column, 1);
    EXPECT_FALSE(flag);
    columnClick(5, &column, &flag);
    EXPECT_EQ(column, 5);
    EXPECT_FALSE(flag);
}

TEST(ArchiveListModel, SelectionFollowsRowsThroughSortsAndRemovals)
{
    ArchiveListModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
    for (int i = 0; i < 6; ++i) {
        ArchiveEntry e;
        e.path = QStringLiteral("/c/%1.dat").arg(i);
        e.mark = QStringLiteral("m%1").arg(i);
        e.size = i;
        e.sizeKnown = true;
        model.append(e);
    }
    QItemSelectionModel selection(&model);
    selection.select(model.index(4, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    model.sortRows(ArchiveListModel::ColSize, true); // largest first: m4 moves to row 1
    ASSERT_EQ(selection.selectedRows().size(), 1);
    EXPECT_EQ(selection.selectedRows().first().row(), 1);
    model.removeRun(0, 1);
    EXPECT_EQ(selection.selectedRows().first().row(), 0);
    EXPECT_EQ(model.mark(0), QStringLiteral("m4"));
    model.setTexts(0, QStringLiteral("new"), QStringLiteral("loc"), QString());
    EXPECT_EQ(model.cellText(0, 0), QStringLiteral("new"));
    EXPECT_EQ(model.path(0), QStringLiteral("/c/4.dat"));
}

TEST(ArchiveListModel, RowsTakeFewBytes)
{
    ArchiveListModel model;
    for (int i = 0; i < 10000; ++i) {
        ArchiveEntry e;
        e.path = QStringLiteral("/home/u/.local/share/Brightfen/Ambrylog/Archive/%1.dat").arg(1234567890 + i);
        e.mark = QStringLiteral("CD No: %1").arg(i);
        e.location = QStringLiteral("Shelf A");
        e.note = QStringLiteral("Holiday music");
        model.append(e);
    }
    EXPECT_LE(model.memoryUsed() / 10000, 400);
}

TEST(BrowserRules, KeyStateEnablesRowCommandsBySelectionAndFocus)
{
    struct Case
    {
        int selected;
        bool focus, loading;
        bool remove, edit;
    };
    const Case cases[] = {
        {0, true, false, false, false},  {1, true, false, true, true},    {2, true, false, true, false},
        {1, false, false, false, false}, {3, false, false, false, false}, {1, true, true, false, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.selected);
        const CommandStates s = KeyState(c.selected, c.focus, c.loading);
        EXPECT_EQ(s.remove, c.remove);
        EXPECT_EQ(s.edit, c.edit);
        EXPECT_EQ(s.viewFiles, c.edit);
        EXPECT_EQ(s.freshen, c.edit);
    }
}

TEST(BrowserRules, ViewStylesAreReadExactlyAndCycle)
{
    ViewStyle s = ViewStyle::Icon;
    for (const auto &[text, style] :
         {std::pair{"vsIcon", ViewStyle::Icon}, std::pair{"vsList", ViewStyle::List},
          std::pair{"vsReport", ViewStyle::Report}, std::pair{"vsSmallIcon", ViewStyle::SmallIcon}}) {
        ASSERT_TRUE(parseViewStyle(QString::fromLatin1(text), &s));
        EXPECT_EQ(s, style);
        EXPECT_EQ(viewStyleText(style), QString::fromLatin1(text));
    }
    for (const char *bad : {"", "vsreport", "vsReport ", "Details"})
        EXPECT_FALSE(parseViewStyle(QString::fromLatin1(bad), &s)) << bad;
    EXPECT_EQ(nextViewStyle(ViewStyle::Icon), ViewStyle::SmallIcon);
    EXPECT_EQ(nextViewStyle(ViewStyle::SmallIcon), ViewStyle::List);
    EXPECT_EQ(nextViewStyle(ViewStyle::List), ViewStyle::Report);
    EXPECT_EQ(nextViewStyle(ViewStyle::Report), ViewStyle::Icon);
}
