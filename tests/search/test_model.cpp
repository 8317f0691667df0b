#include "helper_archives.h"

#include "TestSupport.h"
#include "catalog/DosDateTime.h"
#include "search/ResultsModel.h"
#include "search/RowBlock.h"
#include "search/SearchEngine.h"

#include <QAbstractItemModelTester>
#include <QCollator>
#include <QItemSelectionModel>
#include <QLocale>
#include <QPersistentModelIndex>

#include <gtest/gtest.h>

using namespace search;
using namespace searchtest;

namespace {

class LocaleScope
{
public:
    explicit LocaleScope(const QLocale &l) { QLocale::setDefault(l); }
    ~LocaleScope() { QLocale::setDefault(m_saved); }

private:
    QLocale m_saved;
};

FoundRecord found(const char *folder, const char *name, qint64 size, int32_t date, qint64 k = 0)
{
    FoundRecord r;
    r.folder = QByteArrayView(folder);
    r.name = QByteArrayView(name);
    r.size = size;
    r.sizeValid = true;
    r.date = date;
    r.dateValid = true;
    r.record = k;
    return r;
}

QStringList column(const ResultsModel &m, int col)
{
    QStringList out;
    for (int r = 0; r < m.rowCount(); ++r)
        out.append(m.data(m.index(r, col)).toString());
    return out;
}

} // namespace

TEST(ResultsModel, CellsAreShownAsTheWindowShowsThem)
{
    LocaleScope english(QLocale(QLocale::English, QLocale::UnitedKingdom));
    const QString dir = ambrytest::makeTempDir(QStringLiteral("cells"));
    const QString path = writeArchive(
        dir, QStringLiteral("a.dat"),
        {{"\\", "readme.txt", "1234", QByteArray::number(dosdate::pack(2008, 5, 14, 10, 20, 30))},
         {"Music\\Rock", "song.tar.gz", "3000000000", QByteArray::number(dosdate::pack(2009, 3, 2, 0, 0, 0))},
         {"\\", "Makefile", "0", "not a date"},
         {"\\", ".profile", "many", QByteArray::number(dosdate::pack(2010, 1, 1, 23, 59, 58))},
         {"Caf\xe9", "na\xefve.txt", "-1294967296", QByteArray::number(dosdate::pack(2044, 1, 1, 1, 2, 4))}},
        Fields{"", {}, {}, true});
    ResultsModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Warning);
    SearchCriteria c;
    SearchEngine engine(c, model);
    engine.SearchArchive(catalog::Catalog(dir));
    ASSERT_EQ(model.rowCount(), 5);
    ASSERT_EQ(model.columnCount(), 6);

    QStringList captions;
    for (int i = 0; i < 6; ++i)
        captions.append(model.headerData(i, Qt::Horizontal).toString());
    EXPECT_EQ(captions,
              QStringList({QStringLiteral("Archive"), QStringLiteral("Directory"), QStringLiteral("File"),
                           QStringLiteral("Type"), QStringLiteral("Date Modified"), QStringLiteral("Size")}));
    EXPECT_EQ(model.headerData(5, Qt::Horizontal, Qt::TextAlignmentRole).value<Qt::Alignment>() &
                  Qt::AlignRight,
              Qt::AlignRight);

    EXPECT_EQ(column(model, 0), QStringList(5, QStringLiteral("Unknown")));
    EXPECT_EQ(column(model, 1),
              QStringList({QStringLiteral("\\"), QStringLiteral("Music\\Rock"), QStringLiteral("\\"),
                           QStringLiteral("\\"), QStringLiteral("Café")}));
    EXPECT_EQ(column(model, 2), QStringList({QStringLiteral("readme.txt"), QStringLiteral("song.tar.gz"),
                                             QStringLiteral("Makefile"), QStringLiteral(".profile"),
                                             QStringLiteral("naïve.txt")}));
    EXPECT_EQ(column(model, 3), QStringList({QStringLiteral("txt"), QStringLiteral("gz"), QString(),
                                             QStringLiteral("profile"), QStringLiteral("txt")}));
    EXPECT_EQ(column(model, 4),
              QStringList({QStringLiteral("14/05/2008 10:20:30"), QStringLiteral("02/03/2009"), QString(),
                           QStringLiteral("01/01/2010 23:59:58"), QStringLiteral("01/01/2044 01:02:04")}));
    EXPECT_EQ(column(model, 5), QStringList({QStringLiteral("1,234"), QStringLiteral("3,000,000,000"),
                                             QString(), QString(), QStringLiteral("-1,294,967,296")}))
        << "a date that cannot be shown leaves the size empty too";

    // Retrieval reads the raw values.
    EXPECT_EQ(model.nameBytes(4), QByteArray("na\xefve.txt"));
    EXPECT_EQ(model.folderBytes(4), QByteArray("Caf\xe9"));
    EXPECT_EQ(model.archivePath(4), path);
    EXPECT_EQ(model.recordIndex(4), 4);
    EXPECT_EQ(model.size(1), 3000000000LL);
    EXPECT_EQ(model.dateModified(0), QDateTime(QDate(2008, 5, 14), QTime(10, 20, 30)));
    EXPECT_FALSE(model.dateModified(2).isValid());
    EXPECT_FALSE(model.sizeShown(3));
    EXPECT_EQ(model.mark(0), QStringLiteral("Unknown"));
}

TEST(ResultsModel, SeparatorsFollowTheLocale)
{
    LocaleScope german(QLocale(QLocale::German, QLocale::Germany));
    ResultsModel model;
    model.beginArchive(0, ArchiveInfo{QStringLiteral("/x.dat"), QStringLiteral("CD")});
    model.addRow(found("\\", "a", 1234567, dosdate::pack(2008, 5, 14, 10, 20, 30)));
    EXPECT_EQ(model.cellText(0, ResultsModel::ColSize), QStringLiteral("1.234.567"));
    EXPECT_EQ(model.cellText(0, ResultsModel::ColDate), QStringLiteral("14.05.2008 10:20:30"));
}

TEST(ResultsModel, TheWidestSizeTextCoversEveryRow)
{
    LocaleScope english(QLocale(QLocale::English, QLocale::UnitedStates));
    ResultsModel model;
    EXPECT_TRUE(model.widestSizeText().isEmpty());
    model.beginFill();
    const int32_t day = dosdate::pack(2008, 5, 14, 10, 20, 30);
    for (qint64 size : {5LL, 2200000000LL, 999LL})
        model.addRow(found("\\", "a", size, day));
    model.endFill();
    EXPECT_EQ(model.widestSizeText(), QStringLiteral("2,200,000,000"));
    model.addRow(found("\\", "b", -12345678901LL, day));
    EXPECT_EQ(model.widestSizeText(), QStringLiteral("-12,345,678,901"))
        << "a row added later, with its sign";
    model.clear();
    EXPECT_TRUE(model.widestSizeText().isEmpty());
}

TEST(ResultsModel, SortingFollowsTheWindowsRules)
{
    LocaleScope english(QLocale(QLocale::English, QLocale::UnitedStates));
    ResultsModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Warning);
    model.beginArchive(0, ArchiveInfo{QStringLiteral("/b.dat"), QStringLiteral("beta")});
    model.addRow(found("Zebra", "cherry.TXT", 999, dosdate::pack(2010, 1, 5, 0, 0, 0)));
    model.addRow(found("apple", "Banana.mp3", 1234567, dosdate::pack(2009, 12, 31, 23, 59, 58)));
    model.beginArchive(1, ArchiveInfo{QStringLiteral("/a.dat"), QStringLiteral("Alpha")});
    model.addRow(found("Äpfel", "apple.doc", -5, dosdate::pack(2050, 6, 1, 0, 0, 0)));
    model.addRow(found("\\", "Apple.DOC", 0, dosdate::pack(1995, 2, 3, 4, 5, 6)));
    ASSERT_EQ(model.rowCount(), 4);

    struct S
    {
        int column;
        bool ascending;
        std::vector<const char *> files; // the File column after the sort
    };
    const QList<S> sorts = {
        {ResultsModel::ColFile, true, {"apple.doc", "Apple.DOC", "Banana.mp3", "cherry.TXT"}},
        {ResultsModel::ColFile, false, {"cherry.TXT", "Banana.mp3", "apple.doc", "Apple.DOC"}},
        // Equal keys keep the order they had.
        {ResultsModel::ColArchive, true, {"apple.doc", "Apple.DOC", "cherry.TXT", "Banana.mp3"}},
        // "\\" < "Äpfel" < "apple" < "Zebra": accents count less than letters.
        {ResultsModel::ColDirectory, true, {"Apple.DOC", "apple.doc", "Banana.mp3", "cherry.TXT"}},
        {ResultsModel::ColDirectory, false, {"cherry.TXT", "Banana.mp3", "apple.doc", "Apple.DOC"}},
        // "Size" runs the other way: largest first when ascending.
        {ResultsModel::ColSize, true, {"Banana.mp3", "cherry.TXT", "Apple.DOC", "apple.doc"}},
        {ResultsModel::ColSize, false, {"apple.doc", "Apple.DOC", "cherry.TXT", "Banana.mp3"}},
        {ResultsModel::ColDate, true, {"Apple.DOC", "Banana.mp3", "cherry.TXT", "apple.doc"}},
        {ResultsModel::ColDate, false, {"apple.doc", "cherry.TXT", "Banana.mp3", "Apple.DOC"}},
        {ResultsModel::ColType, true, {"apple.doc", "Apple.DOC", "Banana.mp3", "cherry.TXT"}},
    };
    for (const S &s : sorts) {
        SCOPED_TRACE(std::to_string(s.column) + (s.ascending ? " ascending" : " descending"));
        model.sortRows(s.column, s.ascending);
        QStringList want;
        for (const char *f : s.files)
            want.append(QString::fromUtf8(f));
        EXPECT_EQ(column(model, ResultsModel::ColFile), want);
    }
    // Rows added after a sort come at the end, unsorted.
    model.addRow(found("\\", "aaa.txt", 1, dosdate::pack(2000, 1, 1, 0, 0, 0)));
    EXPECT_EQ(model.name(4), QStringLiteral("aaa.txt"));
    EXPECT_EQ(model.mark(4), QStringLiteral("Alpha"));
    // The standard sort() maps ascending order to the window's flag.
    model.sort(ResultsModel::ColSize, Qt::AscendingOrder);
    EXPECT_EQ(model.name(0), QStringLiteral("Banana.mp3"));
}

TEST(ResultsModel, SelectionFollowsItsRowThroughASort)
{
    ResultsModel model;
    model.beginArchive(0, ArchiveInfo{QStringLiteral("/a.dat"), QStringLiteral("A")});
    for (int i = 0; i < 50; ++i) {
        const QByteArray name = "f" + QByteArray::number(100 + i);
        model.addRow(found("\\", name.constData(), i, dosdate::pack(2000, 1, 1, 0, 0, 0), i));
    }
    QItemSelectionModel selection(&model);
    selection.select(model.index(7, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    const QPersistentModelIndex held(model.index(7, 2));
    model.sortRows(ResultsModel::ColFile, false);
    ASSERT_TRUE(held.isValid());
    EXPECT_EQ(held.row(), 42);
    EXPECT_EQ(held.data().toString(), QStringLiteral("f107"));
    EXPECT_EQ(model.recordIndex(held.row()), 7);
    EXPECT_TRUE(selection.isRowSelected(42, QModelIndex()));
}

TEST(ResultsModel, FillAnnouncesRowsOnceAndClearEmpties)
{
    ResultsModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Warning);
    int inserts = 0;
    QObject::connect(&model, &QAbstractItemModel::rowsInserted, [&] { ++inserts; });
    model.beginFill();
    model.beginArchive(0, ArchiveInfo{QStringLiteral("/a.dat"), QStringLiteral("A")});
    for (int i = 0; i < 1000; ++i)
        model.addRow(found("\\", "x", i, dosdate::pack(2000, 1, 1, 0, 0, 0), i));
    EXPECT_EQ(model.rowCount(), 0) << "views learn of the rows when the fill ends";
    model.endFill();
    EXPECT_EQ(model.rowCount(), 1000);
    EXPECT_EQ(inserts, 1);
    model.sortRows(ResultsModel::ColSize, true);
    EXPECT_EQ(model.size(0), 999);
    model.clear();
    EXPECT_EQ(model.rowCount(), 0);
    model.beginArchive(0, ArchiveInfo{QStringLiteral("/b.dat"), QStringLiteral("B")});
    model.addRow(found("\\", "y", 1, 0));
    EXPECT_EQ(model.rowCount(), 1);
    EXPECT_EQ(model.mark(0), QStringLiteral("B"));
}

// Rows a search's workers stored in blocks read, sort and grow as rows added one by one, however
// an archive's rows are split between blocks and single rows.
TEST(ResultsModel, BlockRowsReadAsRowsAddedOneByOne)
{
    LocaleScope english(QLocale(QLocale::English, QLocale::UnitedKingdom));
    const int32_t day = dosdate::pack(2008, 5, 14, 10, 20, 30);
    std::vector<FoundRecord> first = {found("\\", "b.txt", 5, day, 0),
                                      found("Music", "a", 7, day + 1, 3),
                                      found("Music", "C.mp3", -1, day - 1, 4),
                                      found("\\", "d.mp3", 2, day, 5000000000LL),
                                      found("Caf\xe9", "e.TXT", 9, day, 6),
                                      found("Music", "a", 3, day, 7),
                                      found("", "", 0, 0, 8)};
    first[1].sizeValid = false;
    first[1].size = 0;
    first[4].dateValid = false;
    first[4].date = 0;
    const std::vector<FoundRecord> second = {found("Zed", "z.gz", 1, day, 0),
                                             found("\\", "b.txt", 4, day, 1)};
    const auto blockOf = [](const std::vector<FoundRecord> &rows, size_t n) {
        RowBlockBuilder builder;
        for (size_t i = 0; i < n; ++i)
            EXPECT_TRUE(builder.append(rows[i]));
        std::shared_ptr<const RowBlock> block = builder.block();
        builder.finish();
        return block;
    };
    const auto dump = [](const ResultsModel &m) {
        QStringList out;
        for (int r = 0; r < m.rowCount(); ++r) {
            QStringList cells;
            for (int col = 0; col < ResultsModel::ColumnCount; ++col)
                cells << m.cellText(r, col);
            cells << m.archivePath(r) << QString::number(m.recordIndex(r))
                  << QString::fromLatin1(m.folderBytes(r)) << QString::number(m.size(r))
                  << QString::number(int(m.sizeShown(r)));
            out << cells.join(QLatin1Char('|'));
        }
        return out;
    };
    const ArchiveInfo a{QStringLiteral("/a.dat"), QStringLiteral("A")};
    const ArchiveInfo b{QStringLiteral("/b.dat"), QStringLiteral("B")};

    for (bool sortBetween : {false, true}) {
        SCOPED_TRACE(sortBetween ? "sorted before the second archive" : "in arrival order");
        ResultsModel single, blocks;
        QAbstractItemModelTester tester(&blocks, QAbstractItemModelTester::FailureReportingMode::Warning);
        single.beginArchive(0, a);
        for (const FoundRecord &r : first)
            single.addRow(r);
        // The first archive in two hand-outs of one block, its last row on its own.
        blocks.beginArchive(0, a);
        const auto firstBlock = blockOf(first, first.size() - 1);
        blocks.addRows(0, firstBlock, 0, 2);
        blocks.addRows(0, firstBlock, 2, first.size() - 3);
        blocks.addRow(first.back());
        if (sortBetween) {
            single.sortRows(ResultsModel::ColFile, true);
            blocks.sortRows(ResultsModel::ColFile, true);
        }
        single.beginArchive(1, b);
        for (const FoundRecord &r : second)
            single.addRow(r);
        blocks.beginArchive(1, b);
        blocks.addRows(1, blockOf(second, second.size()), 0, second.size());

        ASSERT_EQ(blocks.rowCount(), int(first.size() + second.size()));
        EXPECT_EQ(dump(single), dump(blocks));
        EXPECT_TRUE(dump(blocks).join(QLatin1Char('\n')).contains(QStringLiteral("/a.dat|5000000000|")));
        for (int col = 0; col < ResultsModel::ColumnCount; ++col) {
            for (bool ascending : {true, false}) {
                single.sortRows(col, ascending);
                blocks.sortRows(col, ascending);
                EXPECT_EQ(dump(single), dump(blocks)) << "column " << col << (ascending ? " up" : " down");
            }
        }
    }
}

// Record indexes keep all their bits up to the largest a block can hold; past it the builder
// refuses the row rather than storing another index.
TEST(ResultsModel, BlockRowsKeepTheirRecordIndex)
{
    RowBlockBuilder builder;
    for (qint64 k : {qint64(0), qint64(UINT32_MAX), qint64(UINT32_MAX) + 1, RowBlock::kMaxRecord})
        ASSERT_TRUE(builder.append(found("f", "n", 1, 0, k)));
    EXPECT_FALSE(builder.append(found("f", "n", 1, 0, RowBlock::kMaxRecord + 1)));
    const std::shared_ptr<const RowBlock> block = builder.block();
    ASSERT_EQ(block->size(), 4u);
    EXPECT_EQ(block->row(1).record(), qint64(UINT32_MAX));
    EXPECT_EQ(block->row(2).record(), qint64(UINT32_MAX) + 1);
    EXPECT_EQ(block->row(3).record(), RowBlock::kMaxRecord);
    EXPECT_EQ(block->name(block->row(3)), QByteArrayView("n"));
    EXPECT_EQ(block->row(3).flags(), uint32_t(RowBlock::DateValid | RowBlock::SizeValid));
}

TEST(ResultsModel, RowsStayCompact)
{
    ResultsModel model;
    model.beginFill();
    model.beginArchive(0, ArchiveInfo{QStringLiteral("/a.dat"), QStringLiteral("A")});
    const int rows = 300000;
    for (int i = 0; i < rows; ++i) {
        const QByteArray name = "Track " + QByteArray::number(i) + ".mp3"; // about 15 bytes
        const QByteArray folder = "Music\\Album " + QByteArray::number(i / 12);
        model.addRow(found(folder.constData(), name.constData(), i, dosdate::pack(2000, 1, 1, 0, 0, 0), i));
    }
    model.endFill();
    const double perRow = double(model.memoryUsed()) / rows;
    EXPECT_LT(perRow, 100.0);
    EXPECT_GT(perRow, 40.0) << "the figure must count the rows and their names";
    // The archive's rows outgrow the first of the regions they are laid in and move on.
    for (int i = 0; i < rows; i += 997) {
        ASSERT_EQ(model.name(i), QStringLiteral("Track %1.mp3").arg(i));
        ASSERT_EQ(model.folderLine(i), QStringLiteral("Music\\Album %1").arg(i / 12));
        ASSERT_EQ(model.recordIndex(i), i);
    }
    EXPECT_EQ(model.name(rows - 1), QStringLiteral("Track 299999.mp3"));
    EXPECT_EQ(model.folderLine(rows - 1), QStringLiteral("Music\\Album 24999"));
}

// Whatever the locale, the File column's order is the collator's order.
TEST(ResultsModel, TextOrderIsTheCollatorsOrder)
{
    const char *const pieces[] = {"a", "A", "b",  "Z", "_", "-", " ", "1", "10", "\\", "é",
                                  "É", "ß", "ss", "ſ", "K", "k", "Å", "å", "ı",  "İ",  "i",
                                  "Σ", "σ", "ς",  "😀", "",  "ǅ", "Ǆ", "ǆ", "ﬁ",  "fi"};
    uint32_t seed = 99;
    const auto rnd = [&seed](uint32_t n) {
        seed = seed * 1664525u + 1013904223u;
        return (seed >> 8) % n;
    };
    std::vector<QByteArray> names;
    for (int i = 0; i < 3000; ++i) {
        QByteArray n;
        for (uint32_t k = 1 + rnd(4); k > 0; --k)
            n += pieces[rnd(sizeof pieces / sizeof *pieces)];
        names.push_back(n);
    }
    for (const QLocale &locale : {QLocale::c(), QLocale(QLocale::German, QLocale::Germany),
                                  QLocale(QLocale::Swedish, QLocale::Sweden)}) {
        SCOPED_TRACE(locale.name().toStdString());
        LocaleScope scope(locale);
        ResultsModel model;
        model.beginArchive(0, ArchiveInfo{QStringLiteral("/a.dat"), QStringLiteral("A")});
        for (size_t i = 0; i < names.size(); ++i)
            model.addRow(found("\\", names[i].constData(), 1, 0, qint64(i)));
        QCollator collator{locale};
        collator.setCaseSensitivity(Qt::CaseInsensitive);
        for (bool ascending : {true, false}) {
            model.sortRows(ResultsModel::ColFile, ascending);
            int wrong = 0;
            for (int r = 1; r < model.rowCount(); ++r) {
                const int cmp = collator.compare(model.name(r - 1), model.name(r));
                if (ascending ? cmp > 0 : cmp < 0)
                    ++wrong;
                // Rows that compare equal keep the order they had.
                if (cmp == 0 && ascending && model.recordIndex(r - 1) > model.recordIndex(r))
                    ++wrong;
            }
            EXPECT_EQ(wrong, 0);
        }
    }
}
