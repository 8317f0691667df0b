// The catalog browser's lists as tables: the archives of the catalog and a disc's folders, raw
// values in a CSV and the window's texts on a page.

#include "helper_catalog.h"

#include "TestSupport.h"

#include "browser/ArchiveListModel.h"
#include "browser/BrowserExport.h"
#include "browser/CatalogBrowser.h"
#include "browser/DiscTreeModels.h"
#include "catalog/DosDateTime.h"
#include "catalog/ProgramCatalog.h"

#include <QLocale>

#include <gtest/gtest.h>

using namespace browser;

namespace {

QByteArray exported(ExportFormat format, const QList<TableExport::Column> &columns,
                    const std::function<void(TableExport &)> &rows)
{
    QByteArray out;
    TableExport table(format, columns, {}, [&out](QByteArrayView b) { out.append(b); });
    rows(table);
    table.finish();
    return out;
}

class BrowserExport : public ::testing::Test
{
protected:
    void SetUp() override
    {
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedKingdom));
        folder = browsertest::newCatalog();
    }
    void TearDown() override { QLocale::setDefault(QLocale::c()); }
    QString folder;
};

TEST_F(BrowserExport, ArchivesGoOutWithRawCountsAndDatesAndUnknownCellsEmpty)
{
    browsertest::Fields f;
    f.mark = "CD, one";
    f.files = "2";
    f.dirs = "1";
    f.size = "1234567";
    f.date = QByteArray::number(dosdate::pack(2009, 2, 3, 21, 15, 8));
    browsertest::writeArchive(folder, QStringLiteral("1.dat"), f);
    f.mark = "two";
    f.files = "1";
    f.size = "lots";
    f.date = "never";
    browsertest::writeArchive(folder, QStringLiteral("2.dat"), f);
    ArchiveListModel model;
    CatalogTotals totals;
    CatalogLoader(model, totals).ScanArchive(catalog::commandLineCatalog(folder));
    model.sortRows(ArchiveListModel::ColArchive, true);

    const auto all = [&](TableExport &t) { EXPECT_TRUE(exportArchives(model, t)); };
    EXPECT_EQ(exported(ExportFormat::Csv, archiveExportColumns(), all),
              "Archive,Archived date,Location,Directories,Files,Size,Note\r\n"
              "\"CD, one\",2009-02-03T21:15:08,Shelf A,1,2,1234567,\r\n"
              "two,,Shelf A,1,1,,\r\n");
    const QByteArray page = exported(ExportFormat::Html, archiveExportColumns(), all);
    EXPECT_TRUE(page.contains("<td>Unknown</td>")) << page.constData();
    EXPECT_TRUE(page.contains("<td class=\"n\">1,234,567</td>")) << page.constData();

    // Cancel stops the rows.
    int asked = 0;
    exported(ExportFormat::Csv, archiveExportColumns(), [&](TableExport &t) {
        EXPECT_FALSE(exportArchives(model, t, [&](qint64) { return ++asked > 1; }));
        EXPECT_EQ(t.rows(), 0);
    });
}

TEST_F(BrowserExport, AFolderGoesOutFoldersFirstAndWithEverythingBelowWhenAsked)
{
    const QByteArray d = QByteArray::number(dosdate::pack(2008, 5, 14, 10, 20, 30));
    const DiscTree tree = DiscTree::read(browsertest::writeDisc(folder, QStringLiteral("1.dat"), "CD 5",
                                                                {{"\\", "b.txt", "10", d},
                                                                 {"Music\\Rock", "song.mp3", "3000", d},
                                                                 {"Music", "list.m3u", "x", "bad"},
                                                                 {"\\", "a,b.txt", "1", d}}));
    const auto rows = [&](bool recursive) {
        return [&tree, recursive](TableExport &t) {
            EXPECT_TRUE(walkEntries(tree, DiscTree::Root, recursive, FolderListModel::ColName,
                                    Qt::AscendingOrder, [&t](const ListedEntry &e) {
                                        exportEntry(t, e);
                                        return true;
                                    }));
        };
    };
    EXPECT_EQ(exported(ExportFormat::Csv, entryExportColumns(false), rows(false)),
              "Name,Size,Date Modified,Type\r\n"
              "Music/,3000,2008-05-14T10:20:30,Folder\r\n"
              "\"a,b.txt\",1,2008-05-14T10:20:30,txt\r\n"
              "b.txt,10,2008-05-14T10:20:30,txt\r\n");
    EXPECT_EQ(exported(ExportFormat::Csv, entryExportColumns(true), rows(true)),
              "Path,Size,Date Modified,Type\r\n"
              "Music/,3000,2008-05-14T10:20:30,Folder\r\n"
              "Music/Rock/,3000,2008-05-14T10:20:30,Folder\r\n"
              "Music/Rock/song.mp3,3000,2008-05-14T10:20:30,mp3\r\n"
              "Music/list.m3u,,,m3u\r\n"
              "\"a,b.txt\",1,2008-05-14T10:20:30,txt\r\n"
              "b.txt,10,2008-05-14T10:20:30,txt\r\n");
    const QByteArray page = exported(ExportFormat::Html, entryExportColumns(false), rows(false));
    EXPECT_TRUE(page.contains("<td>Music/</td><td class=\"n\">3,000</td><td>14/05/2008 10:20:30</td>"))
        << page.constData();

    // Sorted as the window is: largest first, folders still first.
    QStringList order;
    walkEntries(tree, DiscTree::Root, false, FolderListModel::ColSize, Qt::DescendingOrder,
                [&order](const ListedEntry &e) {
                    order << e.path;
                    return order.size() < 2; // and a stop is kept
                });
    EXPECT_EQ(order, QStringList({QStringLiteral("Music/"), QStringLiteral("b.txt")}));
}

} // namespace
