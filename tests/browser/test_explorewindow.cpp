// The Explore window's wiring: keys, the path bar and the catalog browser's way in reach their
// commands, and what they lead to is shown.

#include "helper_catalog.h"

#include "TestSupport.h"

#include "browser/ArchiveListModel.h"
#include "browser/DiscTreeModels.h"
#include "browser/gui/fmArchive.h"
#include "browser/gui/fmExplore.h"
#include "util/gui/ExportCommand.h"
#include "util/gui/MessageBox.h"

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QTest>
#include <QTimer>
#include <QTreeView>

#include <gtest/gtest.h>

#include <functional>
#include <memory>

using browser::DiscTree;
using browser::FolderListModel;

namespace {

bool waitFor(const std::function<bool()> &done, int ms = 10000)
{
    QElapsedTimer t;
    t.start();
    while (!done() && t.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    return done();
}

class ExploreWindowTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        folder = browsertest::newCatalog();
        path = browsertest::writeDisc(folder, QStringLiteral("1.dat"), "CD 5",
                                      {{"\\", "readme.txt", "10"},
                                       {"Music\\Rock", "song.mp3", "3000"},
                                       {"Music", "list.m3u", "7"},
                                       {"Music\\Jazz", "take5.flac", "2000"}});
        setMessageBoxHandler([this](MsgKind, const QString &text) {
            boxes << text;
            return MsgAnswer::Ok;
        });
    }
    void TearDown() override
    {
        window.reset();
        setMessageBoxHandler({});
    }

    TfrmExplore &open(const QByteArray &line = QByteArray(), const QByteArray &name = QByteArray())
    {
        window = std::make_unique<TfrmExplore>(nullptr, path, line, name);
        window->show();
        QApplication::setActiveWindow(window.get());
        EXPECT_TRUE(waitFor([&] { return window->isLoaded(); }));
        return *window;
    }
    QString shownPath() const { return window->tree()->folderPathText(window->shownFolder()); }
    QTreeView *list() const { return window->findChild<QTreeView *>(QStringLiteral("ListView1")); }
    QLineEdit *pathBar() const { return window->findChild<QLineEdit *>(QStringLiteral("edtPath")); }
    void selectRow(int row)
    {
        list()->setFocus();
        list()->selectionModel()->setCurrentIndex(window->entryModel()->index(row, 0),
                                                  QItemSelectionModel::ClearAndSelect |
                                                      QItemSelectionModel::Rows);
    }
    QString selectedName() const
    {
        const QModelIndexList rows = list()->selectionModel()->selectedRows();
        return rows.size() == 1 ? window->entryModel()->cellText(rows.first().row(), FolderListModel::ColName)
                                : QString();
    }
    void key(QWidget *target, Qt::Key k, Qt::KeyboardModifiers mods = Qt::NoModifier)
    {
        QTest::keyClick(target, k, mods);
        QCoreApplication::processEvents();
    }

    QString folder, path;
    QStringList boxes;
    std::unique_ptr<TfrmExplore> window;
};

TEST_F(ExploreWindowTest, EnterOpensAFolderAndAltKeysWalkTheHistory)
{
    TfrmExplore &w = open();
    EXPECT_EQ(shownPath(), QStringLiteral("\\"));
    EXPECT_EQ(w.windowTitle(), QStringLiteral("Ambrylog (explore CD 5)"));
    EXPECT_TRUE(w.statusText().startsWith(QStringLiteral("Folders: 1; Files: 1")));

    selectRow(0); // Music, the folders coming first
    key(list(), Qt::Key_Return);
    EXPECT_EQ(shownPath(), QStringLiteral("\\Music"));
    EXPECT_EQ(pathBar()->text(), QStringLiteral("\\Music"));

    key(list(), Qt::Key_Up, Qt::AltModifier);
    EXPECT_EQ(shownPath(), QStringLiteral("\\"));
    EXPECT_EQ(selectedName(), QStringLiteral("Music")); // the folder left stays selected

    key(list(), Qt::Key_Left, Qt::AltModifier);
    EXPECT_EQ(shownPath(), QStringLiteral("\\Music"));
    key(list(), Qt::Key_Right, Qt::AltModifier);
    EXPECT_EQ(shownPath(), QStringLiteral("\\"));

    // A double click opens a folder as Enter does.
    const QRect music = list()->visualRect(w.entryModel()->index(0, 0));
    QTest::mouseClick(list()->viewport(), Qt::LeftButton, {}, music.center());
    QTest::mouseMove(list()->viewport(), music.center());
    QTest::mouseDClick(list()->viewport(), Qt::LeftButton, {}, music.center());
    EXPECT_EQ(shownPath(), QStringLiteral("\\Music"));
}

TEST_F(ExploreWindowTest, ThePathBarLeadsToAFolderOrAFileAndTellsWhatItCannotFind)
{
    open();
    pathBar()->setFocus();
    pathBar()->setText(QStringLiteral("music/rock/song.mp3"));
    key(pathBar(), Qt::Key_Return);
    EXPECT_EQ(shownPath(), QStringLiteral("\\Music\\Rock"));
    EXPECT_EQ(selectedName(), QStringLiteral("song.mp3"));
    EXPECT_TRUE(window->findChild<QAction *>(QStringLiteral("ActCopyFile"))->isEnabled());

    pathBar()->setText(QStringLiteral("\\Pop"));
    key(pathBar(), Qt::Key_Return);
    EXPECT_EQ(boxes, QStringList{QStringLiteral("There is no folder or file '\\Pop' on this disc.")});
    EXPECT_EQ(pathBar()->text(), QStringLiteral("\\Music\\Rock"));
}

TEST_F(ExploreWindowTest, OpensAtAFoundFilesFolderWithTheFileSelected)
{
    open("Music\\Jazz", "take5.flac");
    EXPECT_EQ(shownPath(), QStringLiteral("\\Music\\Jazz"));
    EXPECT_EQ(selectedName(), QStringLiteral("take5.flac"));
}

TEST_F(ExploreWindowTest, CtrlEInTheBrowserOpensTheSelectedDisc)
{
    TfrmArchive browserWindow;
    browserWindow.show();
    ASSERT_TRUE(
        waitFor([&] { return !browserWindow.isLoading() && browserWindow.model()->rowCount() == 1; }));
    QAbstractItemView *view = browserWindow.currentView();
    view->setFocus();
    browserWindow.selection()->select(browserWindow.model()->index(0, 0),
                                      QItemSelectionModel::Select | QItemSelectionModel::Rows);
    browserWindow.KeyState();
    QString opened;
    QTimer::singleShot(0, [&] {
        waitFor([] { return TfrmExplore::instance() && TfrmExplore::instance()->isLoaded(); });
        if (TfrmExplore *e = TfrmExplore::instance()) {
            opened = e->tree()->mark();
            e->close();
        }
    });
    QApplication::setActiveWindow(&browserWindow);
    QTest::keyClick(view, Qt::Key_E, Qt::ControlModifier);
    EXPECT_EQ(opened, QStringLiteral("CD 5"));
    EXPECT_EQ(TfrmExplore::instance(), nullptr);
}

} // namespace

TEST_F(ExploreWindowTest, ExportTakesTheFolderShownOrTheWholeDisc)
{
    open();
    const QString dir = ambrytest::makeTempDir(QStringLiteral("export"));
    QString chosen;
    setExportFileChooserForTesting([&chosen](const QString &) { return chosen; });
    selectRow(0);
    key(list(), Qt::Key_Return); // \Music
    chosen = dir + QStringLiteral("/folder.csv");
    window->findChild<QAction *>(QStringLiteral("ActExport"))->trigger();
    chosen = dir + QStringLiteral("/disc.html");
    window->findChild<QAction *>(QStringLiteral("ActExportDisc"))->trigger();
    setExportFileChooserForTesting({});

    const QList<QByteArray> folder = ambrytest::readFile(dir + QStringLiteral("/folder.csv")).split('\n');
    EXPECT_EQ(folder.value(0), "Name,Size,Date Modified,Type\r");
    EXPECT_EQ(folder.size(), 5); // Jazz, Rock, list.m3u
    const QByteArray page = ambrytest::readFile(dir + QStringLiteral("/disc.html"));
    EXPECT_TRUE(page.contains("<td>Music/Jazz/take5.flac</td>")) << page.constData();
    EXPECT_TRUE(page.contains("<td>readme.txt</td>"));
}
