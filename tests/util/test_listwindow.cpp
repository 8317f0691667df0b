#include <gtest/gtest.h>

#include "TestSupport.h"
#include "util/gui/ListWindow.h"

#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QTest>
#include <QTimer>
#include <QTreeView>

#include <functional>

namespace {

// The smallest list window: an edit above one list.
class ProbeWindow : public SingleListWindow<ProbeWindow>
{
public:
    explicit ProbeWindow(QWidget *parent = nullptr)
        : SingleListWindow(parent, QStringLiteral("frmProbe"), false)
    {
        edit = new QLineEdit(this);
        list = new QTreeView(this);
        assemble({edit}, {list});
    }

    using ListWindow::progressEnd;
    using ListWindow::progressStart;
    using ListWindow::progressStep;
    using ListWindow::setStatusText;

    static inline std::function<void(ProbeWindow *)> onShow;
    int closeQueries = 0;
    QLineEdit *edit;
    QTreeView *list;

protected:
    void FormCloseQuery() override { ++closeQueries; }
    void showEvent(QShowEvent *e) override
    {
        ListWindow::showEvent(e);
        if (onShow)
            QTimer::singleShot(0, this, [this] { onShow(this); });
    }
};

QProgressBar *bar(ProbeWindow *w)
{
    return w->findChild<QProgressBar *>(QStringLiteral("ProgressBar1"));
}

} // namespace

TEST(ListWindow, OpensOneAtATimeAndGoesWhenClosed)
{
    int second = -1;
    int queries = 0;
    ProbeWindow::onShow = [&](ProbeWindow *w) {
        EXPECT_EQ(ProbeWindow::instance(), w);
        EXPECT_EQ(w->objectName(), QStringLiteral("frmProbe"));
        EXPECT_EQ(w->windowTitle(), QStringLiteral("Ambrylog"));
        second = showListWindow<ProbeWindow>();
        w->done(7);
        queries = w->closeQueries;
    };
    EXPECT_EQ(showListWindow<ProbeWindow>(), 7);
    ProbeWindow::onShow = nullptr;
    EXPECT_EQ(second, 0) << "a second opening returns at once";
    EXPECT_EQ(queries, 1) << "done() asks the window to stop its run";
    EXPECT_EQ(ProbeWindow::instance(), nullptr);
}

TEST(ListWindow, ProgressStopsAtFullAndDropsBackAfterTheRun)
{
    ProbeWindow w;
    w.setStatusText(QStringLiteral("Loading..."));
    EXPECT_EQ(w.statusText(), QStringLiteral("Loading..."));
    w.progressStart();
    for (int i = 0; i < 150; ++i)
        w.progressStep();
    EXPECT_EQ(bar(&w)->value(), 100);
    w.progressStart();
    w.progressStep();
    EXPECT_EQ(bar(&w)->value(), 1);
    w.progressEnd();
    EXPECT_EQ(bar(&w)->value(), 100);
    ASSERT_TRUE(QTest::qWaitFor([&] { return bar(&w)->value() == 0; }, 2000));
}

TEST(ListWindow, EscClosesOnItsReleaseAfterAPressHere)
{
    ProbeWindow w;
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    w.edit->setFocus();
    // The release of an Esc pressed elsewhere (a box above this window) does nothing.
    QTest::keyRelease(w.edit, Qt::Key_Escape);
    EXPECT_TRUE(w.isVisible());
    QTest::keyPress(w.edit, Qt::Key_Escape);
    EXPECT_TRUE(w.isVisible()) << "not on the press";
    QTest::keyRelease(w.list, Qt::Key_Escape);
    EXPECT_FALSE(w.isVisible());
    EXPECT_GT(w.closeQueries, 0);
}
