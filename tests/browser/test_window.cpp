#include "helper_catalog.h"

#include "TestSupport.h"

#include "browser/ArchiveListModel.h"
#include "browser/CatalogBrowser.h"
#include "browser/gui/fmArchive.h"
#include "browser/gui/fmEditArchive.h"
#include "drives/DriveSystem.h"
#include "drives/testing/FakeDriveSystem.h"
#include "scan/gui/fmScan.h"
#include "search/gui/fmSearch.h"
#include "settings/Settings.h"
#include "settings/gRegistry.h"
#include "settings/gVars.h"
#include "util/gui/ExportCommand.h"
#include "util/gui/MessageBox.h"

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QHeaderView>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QTreeView>

#include <gtest/gtest.h>

#include <functional>
#include <memory>

using browser::ArchiveListModel;
using browser::ViewStyle;
using browsertest::Fields;
using browsertest::writeArchive;

namespace {

bool waitFor(const std::function<bool()> &done, int ms = 10000)
{
    QElapsedTimer t;
    t.start();
    while (!done() && t.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    return done();
}

// Runs body once ready() holds, from the event loop of whatever modal window is open then.
void when(std::function<bool()> ready, std::function<void()> body)
{
    auto *timer = new QTimer;
    auto waited = std::make_shared<int>(0);
    QObject::connect(timer, &QTimer::timeout, [=] {
        *waited += 10;
        if (ready() || *waited > 10000) {
            timer->stop();
            timer->deleteLater();
            body();
        }
    });
    timer->start(10);
}

class BrowserWindowTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        folder = browsertest::newCatalog();
        browser::browserUnitState() = browser::BrowserUnitState();
        DeleteSetting(RegKey::V, settings::ArchiveViewStyle.name);
        setMessageBoxHandler([this](MsgKind, const QString &text) {
            boxes << text;
            return answer;
        });
    }
    void TearDown() override
    {
        window.reset();
        setMessageBoxHandler({});
        setDriveSystemForTesting(nullptr);
    }

    // Three archives: one in a sub-folder, archived in 2003, 2001 and 2002.
    void writeThree()
    {
        Fields f;
        f.mark = "beta";
        f.date = QByteArray::number((23 << 25) | (1 << 21) | (1 << 16));
        f.files = "20";
        writeArchive(folder, QStringLiteral("1.dat"), f);
        f.mark = "alpha";
        f.date = QByteArray::number((21 << 25) | (1 << 21) | (1 << 16));
        f.files = "10";
        writeArchive(folder, QStringLiteral("2.dat"), f);
        f.mark = "gamma";
        f.date = QByteArray::number((22 << 25) | (1 << 21) | (1 << 16));
        f.files = "30";
        writeArchive(folder, QStringLiteral("sub/3.dat"), f);
    }

    TfrmArchive &open()
    {
        window = std::make_unique<TfrmArchive>();
        window->show();
        EXPECT_TRUE(waitFor([&] {
            return !window->isLoading() && window->statusText() != browser::LoadingText &&
                   !window->statusText().isEmpty();
        }));
        return *window;
    }
    QAction *action(const char *name) { return window->findChild<QAction *>(QString::fromLatin1(name)); }
    QStringList marks() const
    {
        QStringList out;
        for (int r = 0; r < window->model()->rowCount(); ++r)
            out << window->model()->mark(r);
        return out;
    }
    void select(std::initializer_list<int> rows)
    {
        QAbstractItemView *view = window->currentView();
        view->setFocus();
        window->selection()->clearSelection();
        for (int r : rows)
            window->selection()->select(window->model()->index(r, 0),
                                        QItemSelectionModel::Select | QItemSelectionModel::Rows);
        window->selection()->setCurrentIndex(window->model()->index(*rows.begin(), 0),
                                             QItemSelectionModel::NoUpdate);
        window->KeyState();
    }
    void key(int k)
    {
        QWidget *target = QApplication::focusWidget() ? QApplication::focusWidget() : window.get();
        QTest::keyPress(target, Qt::Key(k));
        QTest::keyRelease(target, Qt::Key(k));
    }

    QString folder;
    QStringList boxes;
    MsgAnswer answer = MsgAnswer::Yes;
    std::unique_ptr<TfrmArchive> window;
};

} // namespace

TEST_F(BrowserWindowTest, LoadsSortedWithTheStatusLine)
{
    writeThree();
    TfrmArchive &w = open();
    EXPECT_EQ(w.windowTitle(), QStringLiteral("Ambrylog"));
    EXPECT_EQ(marks(),
              (QStringList{QStringLiteral("alpha"), QStringLiteral("gamma"), QStringLiteral("beta")}));
    EXPECT_EQ(w.statusText(),
              QStringLiteral("Archives: 3; Files: 60; Folders: 0; Total size: 300 Bytes (300)"));
    EXPECT_EQ(w.currentView()->focusPolicy(), Qt::StrongFocus);
    EXPECT_TRUE(w.currentView()->updatesEnabled());
    for (const char *name : {"ActEdit", "ActDelete", "ActViewArchiveFiles", "ActFreshenCD"})
        EXPECT_FALSE(action(name)->isEnabled()) << name;
    EXPECT_TRUE(action("ActAdd")->isEnabled());
    EXPECT_FALSE(w.findChild<QWidget *>(QStringLiteral("btnFreshenCD"))->isVisible());

    // A click on "Files" sorts largest first; the details view hides the file name column.
    w.ListView1ColumnClick(ArchiveListModel::ColFiles);
    EXPECT_EQ(marks(),
              (QStringList{QStringLiteral("gamma"), QStringLiteral("beta"), QStringLiteral("alpha")}));
    EXPECT_TRUE(w.findChild<QTreeView *>(QStringLiteral("ListView1Details"))
                    ->isColumnHidden(ArchiveListModel::ColFileName));
}

TEST_F(BrowserWindowTest, RefreshReadsTheCatalogAgainKeepingTheSelection)
{
    writeThree();
    TfrmArchive &w = open();
    auto *header = w.findChild<QTreeView *>(QStringLiteral("ListView1Details"))->header();
    EXPECT_TRUE(header->isSortIndicatorShown());
    EXPECT_EQ(header->sortIndicatorSection(), ArchiveListModel::ColDate);
    EXPECT_EQ(header->sortIndicatorOrder(), Qt::AscendingOrder) << "oldest first";
    w.ListView1ColumnClick(ArchiveListModel::ColFiles);
    EXPECT_EQ(header->sortIndicatorSection(), ArchiveListModel::ColFiles);
    EXPECT_EQ(header->sortIndicatorOrder(), Qt::DescendingOrder) << "largest first";

    select({1}); // "beta"
    Fields f;
    f.mark = "delta";
    f.files = "25";
    writeArchive(folder, QStringLiteral("4.dat"), f);
    key(Qt::Key_F5);
    EXPECT_EQ(marks(), (QStringList{QStringLiteral("gamma"), QStringLiteral("delta"), QStringLiteral("beta"),
                                    QStringLiteral("alpha")}));
    ASSERT_EQ(w.selection()->selectedRows().size(), 1);
    EXPECT_EQ(w.model()->mark(w.selection()->selectedRows().first().row()), QStringLiteral("beta"));

    // The popup menu offers it too, and every entry has its mnemonic.
    auto *menu = w.findChild<QMenu *>(QStringLiteral("PopupMenu1"));
    QStringList texts;
    for (QAction *a : menu->actions())
        if (!a->isSeparator() && a->isVisible())
            texts << a->text();
    const bool refresh = std::any_of(texts.cbegin(), texts.cend(), [](QString t) {
        return t.remove(QLatin1Char('&')) == QStringLiteral("Refresh\tF5");
    });
    EXPECT_TRUE(refresh) << texts.join(QLatin1Char('|')).toStdString();
    for (const QString &t : texts)
        EXPECT_TRUE(t.contains(QLatin1Char('&'))) << t.toStdString();
}

TEST_F(BrowserWindowTest, AnEmptyCatalogSaysSoAndIsNoTabStop)
{
    TfrmArchive &w = open();
    EXPECT_EQ(w.statusText(), QStringLiteral("There are no archives."));
    EXPECT_EQ(w.currentView()->focusPolicy(), Qt::ClickFocus);
}

TEST_F(BrowserWindowTest, TheStoredViewStyleIsUsedAndTheToggleStoresTheNext)
{
    writeThree();
    WriteSetting(RegKey::V, settings::ArchiveViewStyle.name, QStringLiteral("vsReport"));
    TfrmArchive &w = open();
    EXPECT_EQ(w.viewStyle(), ViewStyle::Report);
    EXPECT_TRUE(action("Details1")->isChecked());
    EXPECT_TRUE(w.findChild<QTreeView *>(QStringLiteral("ListView1Details"))->isVisible());
    select({1});
    w.findChild<QAction *>(QStringLiteral("ActViewToggle"))->trigger();
    EXPECT_EQ(w.viewStyle(), ViewStyle::Icon);
    EXPECT_TRUE(action("Icon1")->isChecked());
    EXPECT_EQ(ReadSetting(RegKey::V, settings::ArchiveViewStyle.name), QStringLiteral("vsIcon"));
    auto *list = w.findChild<QListView *>(QStringLiteral("ListView1"));
    EXPECT_TRUE(list->isVisible());
    EXPECT_EQ(list->viewMode(), QListView::IconMode);
    // One selection for every style.
    EXPECT_TRUE(w.selection()->isRowSelected(1));
    action("List1")->trigger();
    EXPECT_EQ(list->flow(), QListView::TopToBottom);
    EXPECT_EQ(ReadSetting(RegKey::V, settings::ArchiveViewStyle.name), QStringLiteral("vsList"));
    action("SmallIcon1")->trigger();
    EXPECT_EQ(list->flow(), QListView::LeftToRight);
    EXPECT_EQ(list->viewMode(), QListView::ListMode);
}

TEST_F(BrowserWindowTest, AnUnknownStoredStyleOpensTheIconViewAndWritesNothing)
{
    WriteSetting(RegKey::V, settings::ArchiveViewStyle.name, QStringLiteral("vsreport"));
    TfrmArchive &w = open();
    EXPECT_EQ(w.viewStyle(), ViewStyle::Icon);
    EXPECT_TRUE(action("Icon1")->isChecked());
    EXPECT_EQ(ReadSetting(RegKey::V, settings::ArchiveViewStyle.name), QStringLiteral("vsreport"));
}

TEST_F(BrowserWindowTest, KeysReachTheirCommandsOnRelease)
{
    writeThree();
    TfrmArchive &w = open();
    // Nothing selected: Delete and F2 do nothing.
    w.currentView()->setFocus();
    key(Qt::Key_Delete);
    key(Qt::Key_F2);
    EXPECT_TRUE(boxes.isEmpty());
    EXPECT_EQ(w.model()->rowCount(), 3);

    // A release whose press happened elsewhere is not taken.
    select({0});
    QTest::keyRelease(w.currentView(), Qt::Key_Delete);
    EXPECT_TRUE(boxes.isEmpty());

    // F2 opens the editor; a new mark and note are written and shown in place.
    const QString path = w.model()->path(0);
    when([] { return TfrmEditArchive::instance() && TfrmEditArchive::instance()->isVisible(); },
         [] {
             TfrmEditArchive *e = TfrmEditArchive::instance();
             e->findChild<QLineEdit *>(QStringLiteral("edtMark"))->setText(QStringLiteral("zeta"));
             e->findChild<QLineEdit *>(QStringLiteral("edtNote"))->setText(QStringLiteral("new note"));
             e->findChild<QPushButton *>(QStringLiteral("btnOk"))->click();
         });
    key(Qt::Key_F2);
    EXPECT_EQ(w.model()->mark(0), QStringLiteral("zeta")); // not sorted again
    EXPECT_EQ(w.model()->note(0), QStringLiteral("new note"));
    EXPECT_TRUE(ambrytest::readFile(path).contains("\r\nAMark=zeta\r\n"));

    // Two rows: F2 does nothing, Delete asks the two-line question and both go.
    select({0, 2});
    key(Qt::Key_F2);
    EXPECT_EQ(TfrmEditArchive::instance(), nullptr);
    key(Qt::Key_Delete);
    ASSERT_EQ(boxes.size(), 1);
    EXPECT_EQ(boxes[0],
              QStringLiteral("You will remove more than one archive!\r\nAre you sure you want to continue?"));
    EXPECT_EQ(marks(), QStringList{QStringLiteral("gamma")});
    EXPECT_FALSE(QFileInfo::exists(path));
    EXPECT_TRUE(w.selection()->isRowSelected(0)); // the row at the remembered index
    EXPECT_EQ(w.statusText(),
              QStringLiteral("Archives: 1; Files: 30; Folders: 0; Total size: 100 Bytes (100)"));

    // No: nothing goes. Yes: the last row goes and the status line says so.
    boxes.clear();
    answer = MsgAnswer::No;
    select({0});
    key(Qt::Key_Delete);
    EXPECT_EQ(boxes, QStringList{QStringLiteral("Are you sure you want to remove: gamma ?")});
    EXPECT_EQ(w.model()->rowCount(), 1);
    answer = MsgAnswer::Yes;
    w.findChild<QWidget *>(QStringLiteral("btnRemove"))->setFocus();
    select({0});
    action("ActDelete")->trigger();
    EXPECT_EQ(w.statusText(), QStringLiteral("There are no archives."));

    key(Qt::Key_Escape);
    EXPECT_FALSE(w.isVisible());
}

TEST_F(BrowserWindowTest, EnterAndDoubleClickOpenTheSearchForTheRow)
{
    writeThree();
    TfrmArchive &w = open();
    searchUnitState().OnlyMark.clear();
    select({2});
    const auto closeSearch = [] {
        when([] { return TfrmSearch::instance() && TfrmSearch::instance()->isVisible(); },
             [] { TfrmSearch::instance()->close(); });
    };
    closeSearch();
    QTest::keyClick(w.currentView(), Qt::Key_Return);
    EXPECT_EQ(searchUnitState().OnlyMark, QStringLiteral("beta"));

    // Double-clicking empty space does nothing.
    searchUnitState().OnlyMark.clear();
    QWidget *viewport = w.currentView()->viewport();
    QTest::mouseDClick(viewport, Qt::LeftButton, {}, QPoint(viewport->width() - 2, viewport->height() - 2));
    EXPECT_TRUE(searchUnitState().OnlyMark.isEmpty());
}

TEST_F(BrowserWindowTest, AddingADiscThroughTheRealWindowsListsItSelected)
{
    writeThree();
    FakeDriveSystem drives;
    setDriveSystemForTesting(&drives);
    drives.addOpticalDrive('D');
    drives.setReady('D', true);
    gVars().readDeviceLetter = 'D';
    const QString disc = ambrytest::makeTempDir(QStringLiteral("disc"));
    ambrytest::writeFile(disc + QStringLiteral("/readme.txt"), "hello");
    ambrytest::writeFile(disc + QStringLiteral("/Music/track.mp3"), "la la la");
    drives.setRootPath('D', disc);

    TfrmArchive &w = open();
    select({0});
    when(
        [] {
            return TfrmScan::openWindow() && TfrmScan::openWindow()->state() == TfrmScan::State::MarkEntry;
        },
        [] {
            TfrmScan *scan = TfrmScan::openWindow();
            scan->findChild<QLineEdit *>(QStringLiteral("edtMark"))->setText(QStringLiteral("new disc"));
            scan->findChild<QPushButton *>(QStringLiteral("btnOk"))->click();
            scan->findChild<QPushButton *>(QStringLiteral("btnCancel"))->click(); // Close, after the save
        });
    key(Qt::Key_Insert);
    ASSERT_EQ(w.model()->rowCount(), 4);
    const QModelIndexList selected = w.selection()->selectedRows();
    ASSERT_EQ(selected.size(), 1);
    EXPECT_EQ(w.model()->mark(selected.first().row()), QStringLiteral("new disc"));
    // Archived now: the newest, last in the initial order.
    EXPECT_EQ(selected.first().row(), 3);
    EXPECT_TRUE(w.statusText().startsWith(QStringLiteral("Archives: 4; Files: 62;")));
}

TEST_F(BrowserWindowTest, ExportWritesEveryArchive)
{
    writeThree();
    TfrmArchive &w = open();
    const QString file = ambrytest::makeTempDir(QStringLiteral("export")) + QStringLiteral("/catalog.html");
    setExportFileChooserForTesting([&file](const QString &) { return file; });
    w.findChild<QAction *>(QStringLiteral("ActExport"))->trigger();
    setExportFileChooserForTesting({});
    const QByteArray page = ambrytest::readFile(file);
    EXPECT_EQ(page.count("<tr><td>"), 3) << page.constData();
    EXPECT_TRUE(page.contains("<td>gamma</td>"));
}
