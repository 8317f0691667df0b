// A disc as folders without a window: the tree built from an archive's records, its totals, the
// paths it finds, the two models over it and the Explore window's rules.

#include "helper_catalog.h"

#include "TestSupport.h"

#include "browser/DiscTree.h"
#include "browser/DiscTreeModels.h"
#include "browser/ExploreNavigation.h"
#include "catalog/DosDateTime.h"
#include "util/AmbryError.h"

#include <QAbstractItemModelTester>

#include <gtest/gtest.h>

using browser::DiscTree;
using browser::EntryKind;
using browser::FolderListModel;
using browser::FolderTreeModel;
using browsertest::Rec;

namespace {

QStringList L(std::initializer_list<const char *> texts)
{
    QStringList out;
    for (const char *t : texts)
        out << QString::fromUtf8(t);
    return out;
}

QByteArray date(int y, int m, int d)
{
    return QByteArray::number(dosdate::pack(y, m, d, 12, 0, 0));
}

class ExploreTree : public ::testing::Test
{
protected:
    void SetUp() override { folder = ambrytest::makeTempDir(QStringLiteral("discs")) + QLatin1Char('/'); }

    DiscTree read(const QList<Rec> &records, const QByteArray &mark = "CD 5")
    {
        return DiscTree::read(browsertest::writeDisc(folder, QStringLiteral("1.dat"), mark, records));
    }
    // The folders in the tree's order, each as "path bytes files folders".
    static QStringList describe(const DiscTree &tree)
    {
        QStringList out;
        std::vector<uint32_t> stack{DiscTree::Root};
        while (!stack.empty()) {
            const uint32_t f = stack.back();
            stack.pop_back();
            const DiscTree::Folder &node = tree.folder(f);
            out << QStringLiteral("%1 %2 %3 %4")
                       .arg(tree.folderPathText(f))
                       .arg(node.bytes)
                       .arg(node.filesBelow)
                       .arg(node.foldersBelow);
            for (uint32_t k = node.childCount; k-- > 0;)
                stack.push_back(tree.child(f, k));
        }
        return out;
    }

    QString folder;
};

// Records of one folder that lie apart, a folder named only through its subfolder, a size that is
// no number (left out of the totals as the catalog totals leave it) and a negative size.
const QList<Rec> kDisc = {
    {"\\", "readme.txt", "10", date(2001, 1, 1)},
    {"Music\\Rock", "song.mp3", "1000", date(2005, 6, 1)},
    {"Music\\Rock", "other.mp3", "2000", date(2004, 1, 1)},
    {"docs", "a.doc", "x", date(2003, 1, 1)},
    {"\\", "setup.exe", "-5", "not a date"},
    {"Music\\jazz", "take5.flac", "300", date(2006, 2, 2)},
    {"docs", "b.doc", "40", date(2002, 1, 1)},
};

TEST_F(ExploreTree, FoldersHoldTheTotalsOfEverythingBelowThem)
{
    const DiscTree tree = read(kDisc);
    EXPECT_EQ(tree.mark(), QStringLiteral("CD 5"));
    EXPECT_TRUE(tree.damage().isEmpty());
    EXPECT_EQ(tree.fileCount(), 7);
    EXPECT_EQ(describe(tree), L({
                                  "\\ 3345 7 4",
                                  "\\docs 40 2 0",
                                  "\\Music 3300 3 2",
                                  "\\Music\\jazz 300 1 0",
                                  "\\Music\\Rock 3000 2 0",
                              }));
    // A folder's own files in the order the archive records them, also when they lay apart.
    const uint32_t docs = tree.child(DiscTree::Root, 0);
    ASSERT_EQ(tree.folder(docs).fileCount, 2u);
    EXPECT_EQ(tree.fileNameText(tree.file(docs, 0)), QStringLiteral("a.doc"));
    EXPECT_FALSE(tree.file(docs, 0).flags & DiscTree::SizeValid);
    EXPECT_EQ(tree.fileNameText(tree.file(docs, 1)), QStringLiteral("b.doc"));
    EXPECT_EQ(tree.fileNameText(tree.file(DiscTree::Root, 1)), QStringLiteral("setup.exe"));
    EXPECT_FALSE(tree.file(DiscTree::Root, 1).flags & DiscTree::DateValid);
    // The newest date below a folder is its date.
    EXPECT_EQ(tree.folder(DiscTree::Root).newest, dosdate::pack(2006, 2, 2, 12, 0, 0));
    EXPECT_EQ(tree.folder(docs).newest, dosdate::pack(2003, 1, 1, 12, 0, 0));
    EXPECT_EQ(browser::folderStatusLine(tree, DiscTree::Root),
              QStringLiteral("Folders: 2; Files: 2; Below: 4 folders, 7 files; Total size: 3.27 KB (3,345)"));
}

TEST_F(ExploreTree, FolderLinesAreReadAsRecordedAndFoundUnderTheirOwnBytes)
{
    // A doubled or trailing "\" names the same folder; retrieval looks under the bytes recorded.
    const DiscTree tree = read({{"A\\\\B\\", "x.txt"}, {"A\\B", "y.txt"}, {"Caf\xe9", "z.txt"}});
    EXPECT_EQ(describe(tree), L({"\\ 300 3 3", "\\A 200 2 1", "\\A\\B 200 2 0", "\\Caf\u00e9 100 1 0"}));
    const DiscTree::Place b = tree.findRecorded("A\\B", "y.txt");
    ASSERT_NE(b.folder, DiscTree::NoFolder);
    EXPECT_EQ(tree.folderLine(b.folder), QByteArrayView("A\\\\B\\"));
    EXPECT_EQ(b.file, 1);
    const DiscTree::Place cafe = tree.findRecorded("Caf\xe9", "z.txt");
    EXPECT_EQ(tree.folderNameText(cafe.folder), QStringLiteral("Caf\u00e9"));
    EXPECT_EQ(cafe.file, 0);
    EXPECT_EQ(tree.findRecorded("\\", "").folder, DiscTree::Root);
    EXPECT_EQ(tree.findRecorded("A\\C", "x.txt").folder, DiscTree::NoFolder);
}

TEST_F(ExploreTree, TypedPathsLeadToFoldersAndFiles)
{
    const DiscTree tree = read(kDisc);
    const uint32_t music = tree.child(DiscTree::Root, 1);
    const uint32_t rock = tree.child(music, 1);
    const struct
    {
        const char *typed;
        uint32_t folder;
        int file;
    } rows[] = {
        {"\\", DiscTree::Root, -1},
        {"", DiscTree::Root, -1},
        {"/", DiscTree::Root, -1},
        {"\\Music\\Rock", rock, -1},
        {"Music/Rock/", rock, -1},
        {"music\\ROCK", rock, -1},
        {"\\Music\\Rock\\other.mp3", rock, 1},
        {"/music/rock/SONG.MP3", rock, 0},
        {"readme.txt", DiscTree::Root, 0},
        {"\\Music\\Pop", DiscTree::NoFolder, -1},
        {"\\readme.txt\\more", DiscTree::NoFolder, -1},
    };
    for (const auto &row : rows) {
        const DiscTree::Place p = tree.find(QString::fromUtf8(row.typed));
        EXPECT_EQ(p.folder, row.folder) << row.typed;
        EXPECT_EQ(p.file, row.file) << row.typed;
    }
}

TEST_F(ExploreTree, DamagedAndUnreadableArchives)
{
    // Cut off in the middle of its last record: the whole records it holds are shown.
    const QString path = folder + QStringLiteral("cut.dat");
    ambrytest::writeFile(path, "\\\r\na.txt\r\n5\r\n950948495\r\n\\\r\nb.t");
    const DiscTree tree = DiscTree::read(path);
    EXPECT_FALSE(tree.damage().isEmpty());
    EXPECT_EQ(tree.fileCount(), 1);
    EXPECT_EQ(tree.mark(), QStringLiteral("Unknown"));
    EXPECT_THROW(DiscTree::read(folder + QStringLiteral("absent.dat")), AmbryError);
}

TEST_F(ExploreTree, MemoryStaysCompact)
{
    QList<Rec> records;
    for (int i = 0; i < 2000; ++i)
        records.append({"Folder " + QByteArray::number(i / 50), "file " + QByteArray::number(i) + ".dat"});
    const DiscTree tree = read(records);
    EXPECT_LT(tree.memoryUsed(), 100 * records.size());
}

// ---- The models ---------------------------------------------------------------------------

TEST_F(ExploreTree, TheFolderTreeShowsFoldersUnderTheMark)
{
    const DiscTree tree = read(kDisc);
    FolderTreeModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
    model.setTree(&tree);
    ASSERT_EQ(model.rowCount(), 1);
    const QModelIndex root = model.index(0, 0);
    EXPECT_EQ(root.data().toString(), QStringLiteral("CD 5"));
    ASSERT_EQ(model.rowCount(root), 2);
    const QModelIndex music = model.index(1, 0, root);
    EXPECT_EQ(music.data().toString(), QStringLiteral("Music"));
    EXPECT_EQ(music.data(Qt::ToolTipRole).toString(), QStringLiteral("\\Music"));
    EXPECT_EQ(model.index(0, 0, music).data().toString(), QStringLiteral("jazz"));
    const uint32_t rock = model.folderAt(model.index(1, 0, music));
    EXPECT_EQ(model.indexOf(rock), model.index(1, 0, music));
    EXPECT_EQ(model.parent(model.indexOf(rock)), music);
    EXPECT_FALSE(model.hasChildren(model.indexOf(rock)));
}

TEST_F(ExploreTree, EntriesListFoldersFirstAndSortByEveryColumn)
{
    const DiscTree tree = read({
        {"\\", "beta.txt", "30", date(2003, 1, 1)},
        {"\\", "Alpha.doc", "10", date(2001, 1, 1)},
        {"\\", "gamma.txt", "20", date(2002, 1, 1)},
        {"zeta", "in.bin", "5", date(2000, 1, 1)},
        {"Eta", "in.bin", "500", date(2009, 1, 1)},
    });
    FolderListModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
    model.setTree(&tree);
    model.setFolder(DiscTree::Root);
    const auto names = [&] {
        QStringList out;
        for (int r = 0; r < model.rowCount(); ++r)
            out << model.cellText(r, FolderListModel::ColName);
        return out;
    };
    const struct
    {
        int column;
        Qt::SortOrder order;
        std::initializer_list<const char *> expected;
    } rows[] = {
        {FolderListModel::ColName, Qt::AscendingOrder, {"Eta", "zeta", "Alpha.doc", "beta.txt", "gamma.txt"}},
        {FolderListModel::ColName,
         Qt::DescendingOrder,
         {"zeta", "Eta", "gamma.txt", "beta.txt", "Alpha.doc"}},
        {FolderListModel::ColSize, Qt::AscendingOrder, {"zeta", "Eta", "Alpha.doc", "gamma.txt", "beta.txt"}},
        {FolderListModel::ColSize,
         Qt::DescendingOrder,
         {"Eta", "zeta", "beta.txt", "gamma.txt", "Alpha.doc"}},
        {FolderListModel::ColDate, Qt::AscendingOrder, {"zeta", "Eta", "Alpha.doc", "gamma.txt", "beta.txt"}},
        // Equal types keep the order of their names.
        {FolderListModel::ColType,
         Qt::DescendingOrder,
         {"Eta", "zeta", "beta.txt", "gamma.txt", "Alpha.doc"}},
    };
    for (const auto &row : rows) {
        model.sort(row.column, row.order);
        EXPECT_EQ(names(), L(row.expected)) << row.column << " " << int(row.order);
    }
    // The order holds for the next folder shown; a selected row follows a new order.
    model.sort(FolderListModel::ColName, Qt::AscendingOrder);
    const QPersistentModelIndex beta = model.index(3, 0);
    model.sort(FolderListModel::ColSize, Qt::DescendingOrder);
    EXPECT_EQ(beta.data().toString(), QStringLiteral("beta.txt"));
    EXPECT_EQ(beta.row(), 2);

    model.sort(FolderListModel::ColName, Qt::AscendingOrder);
    const QStringList eta{model.cellText(0, 0), model.cellText(0, 1), model.cellText(0, 2),
                          model.cellText(0, 3)};
    EXPECT_EQ(eta, L({"Eta", "500", "01/01/2009 12:00:00", "Folder"}));
    const QStringList alpha{model.cellText(2, 0), model.cellText(2, 1), model.cellText(2, 2),
                            model.cellText(2, 3)};
    EXPECT_EQ(alpha, L({"Alpha.doc", "10", "01/01/2001 12:00:00", "doc"}));
    EXPECT_EQ(model.entry(0).kind, EntryKind::Folder);
    EXPECT_EQ(model.entry(2).kind, EntryKind::File);
    EXPECT_EQ(model.rowOfFile(model.entry(2).file), 2);
    EXPECT_EQ(model.rowOfFolder(model.entry(1).folder), 1);
    EXPECT_EQ(model.index(2, FolderListModel::ColSize).data(Qt::TextAlignmentRole).toInt(),
              int(Qt::AlignRight | Qt::AlignVCenter));
}

// ---- The window's rules -------------------------------------------------------------------

TEST(ExploreRules, HistoryGoesBackAndForwardAndDropsWhatLayAhead)
{
    browser::FolderHistory h;
    EXPECT_EQ(h.current(), DiscTree::NoFolder);
    EXPECT_EQ(h.back(), DiscTree::NoFolder);
    for (uint32_t f : {0u, 3u, 3u, 5u})
        h.visit(f);
    EXPECT_FALSE(h.canGoForward());
    EXPECT_EQ(h.back(), 3u);
    EXPECT_EQ(h.back(), 0u);
    EXPECT_FALSE(h.canGoBack());
    EXPECT_EQ(h.forward(), 3u);
    h.visit(7);
    EXPECT_FALSE(h.canGoForward()) << "5 lay ahead and is gone";
    EXPECT_EQ(h.back(), 3u);
    EXPECT_EQ(h.forward(), 7u);
}

TEST_F(ExploreTree, CommandsFollowTheSelectionAndThePlace)
{
    const DiscTree tree = read({{"\\", "a.txt"}, {"Empty\\Deeper", "b.txt"}, {"Other", "c.txt"}});
    const uint32_t empty = tree.child(DiscTree::Root, 0);
    browser::FolderHistory history;
    history.visit(DiscTree::Root);
    history.visit(empty);
    using Entry = FolderListModel::Entry;
    const Entry none;
    const Entry file{EntryKind::File, DiscTree::Root, 0};
    const Entry sub{EntryKind::Folder, tree.child(empty, 0), -1};
    struct Row
    {
        const char *what;
        Entry selected;
        bool listFocus;
        uint32_t shown;
        bool loading;
        bool fileCommands, copyFolder, up, back;
    };
    const Row rows[] = {
        {"a file row", file, true, DiscTree::Root, false, true, true, false, true},
        {"nothing selected, below the root", none, false, empty, false, false, true, true, true},
        {"while loading", file, true, DiscTree::Root, true, false, false, false, false},
    };
    for (const Row &r : rows) {
        const browser::ExploreCommands c =
            browser::exploreKeyState(&tree, r.selected, r.listFocus, r.shown, history, r.loading);
        EXPECT_EQ(c.copyFile, r.fileCommands) << r.what;
        EXPECT_EQ(c.executeFile, r.fileCommands) << r.what;
        EXPECT_EQ(c.propreties, r.fileCommands) << r.what;
        EXPECT_EQ(c.copyFolder, r.copyFolder) << r.what;
        EXPECT_EQ(c.up, r.up) << r.what;
        EXPECT_EQ(c.back, r.back) << r.what;
        EXPECT_FALSE(c.forward) << r.what;
    }
    // Copy Folder takes a folder row only while the list has the focus.
    EXPECT_EQ(browser::copyFolderTarget(sub, true, empty), sub.folder);
    EXPECT_EQ(browser::copyFolderTarget(sub, false, empty), empty);
    EXPECT_EQ(browser::copyFolderTarget(file, true, empty), empty);
}

TEST_F(ExploreTree, AFolderForRetrievalHoldsEveryFileBelowItsOwnFirst)
{
    const DiscTree tree =
        read({{"Music\\Rock", "song.mp3"}, {"Music", "list.m3u"}, {"Music\\Jazz", "take5.flac"}});
    const uint32_t music = tree.child(DiscTree::Root, 0);
    const CataloguedFolder f = browser::cataloguedFolder(tree, music);
    EXPECT_EQ(f.folderLine, QByteArray("Music"));
    EXPECT_EQ(f.name, QStringLiteral("Music"));
    EXPECT_EQ(f.mark, QStringLiteral("CD 5"));
    QStringList files;
    for (const CataloguedFile &file : f.files)
        files << QString::fromLatin1(file.folderLine + '|' + file.name);
    EXPECT_EQ(files, L({"Music|list.m3u", "Music\\Jazz|take5.flac", "Music\\Rock|song.mp3"}));
    EXPECT_EQ(f.files.front().nameText, QStringLiteral("list.m3u")) << "the file that proves the disc";
    EXPECT_EQ(browser::cataloguedFolder(tree, DiscTree::Root).name, QStringLiteral("CD 5"));
}

} // namespace
