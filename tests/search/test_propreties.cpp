// The properties window: what it shows for a result row and how it closes.

#include "WindowTestSupport.h"

#include "search/ResultsModel.h"
#include "search/gui/fmPropreties.h"
#include "util/gUtils.h"

#include <QAction>
#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QTreeView>

using namespace searchwin;
using search::ResultsModel;

namespace {

QString text(QWidget *window, const char *label)
{
    return child<QLabel>(window, label)->text();
}

} // namespace

TEST(Propreties, LayoutAndLook)
{
    TfrmPropreties w;
    w.show();
    EXPECT_EQ(w.windowTitle(), QStringLiteral("Ambrylog"));
    EXPECT_EQ(w.size(), QSize(336, 378));
    EXPECT_TRUE(w.windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_EQ(text(&w, "Label10"), QStringLiteral("File propreties"));
    EXPECT_EQ(child<QWidget>(&w, "Panel1")->height(), 25);
    EXPECT_EQ(child<QWidget>(&w, "Panel2")->height(), 25);
    EXPECT_EQ(child<QPushButton>(&w, "btnCancel")->text(), QStringLiteral("Close"));
    struct Pair
    {
        const char *caption;
        const char *text;
        const char *value;
    };
    for (const Pair &p :
         {Pair{"Label6", "CD/DVD mark:", "lblMark"}, Pair{"Label1", "Directory path:", "lblDir"},
          Pair{"Label2", "File name:", "lblFile"}, Pair{"Label3", "Type:", "lblType"},
          Pair{"Label4", "Date modified:", "lblDate"}, Pair{"Label5", "Size:", "lblSize"}}) {
        EXPECT_EQ(text(&w, p.caption), QString::fromLatin1(p.text));
        EXPECT_EQ(child<QLabel>(&w, p.value)->x(), 112) << p.value;
        EXPECT_EQ(child<QLabel>(&w, p.value)->y(), child<QLabel>(&w, p.caption)->y()) << p.value;
    }
    for (const char *bevel : {"L1", "L2", "L3"})
        EXPECT_EQ(child<QFrame>(&w, bevel)->width(), 320) << bevel;
}

TEST(Propreties, ShowsTheRowOfTheSearchList)
{
    resetUnitState();
    const QString catalog = useNewCatalog();
    writeArchive(catalog, QStringLiteral("1.dat"), "CD 9",
                 {{"\\", "readme.txt", 1234567, packed(2008, 5, 14, 10, 20, 30)},
                  {"Music\\Rock", "song.mp3", 0, packed(2008, 5, 13)}});
    TfrmSearch search;
    search.show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&search));
    child<QAction>(&search, "ActGo")->trigger();
    ResultsModel *model = search.results();
    ASSERT_EQ(model->rowCount(), 2);
    QTreeView *list = search.resultsView();

    struct Case
    {
        int row;
        QString mark, dir, file, type, size;
    };
    const int root = model->folderLine(0) == QStringLiteral("\\") ? 0 : 1;
    const QList<Case> cases = {
        {root, QStringLiteral("CD 9"), QStringLiteral("\\      "), QStringLiteral("readme.txt"),
         QStringLiteral("txt"), FormatGroupedNumber(1234567) + QStringLiteral(" bytes")},
        {1 - root, QStringLiteral("CD 9"), QStringLiteral("Music\\Rock      "), QStringLiteral("song.mp3"),
         QStringLiteral("mp3"), QStringLiteral("0 bytes")},
    };
    for (const Case &c : cases) {
        list->setFocus();
        list->setCurrentIndex(model->index(c.row, 0));
        QStringList seen;
        whenShown([] { return TfrmPropreties::instance() && TfrmPropreties::instance()->isVisible(); },
                  [&] {
                      TfrmPropreties *p = TfrmPropreties::instance();
                      ASSERT_NE(p, nullptr);
                      for (const char *label :
                           {"lblMark", "lblDir", "lblFile", "lblType", "lblDate", "lblSize", "lblLocation"})
                          seen << text(p, label);
                      // Only one properties window at a time.
                      child<QAction>(&search, "ActPropreties")->trigger();
                      EXPECT_EQ(TfrmPropreties::instance(), p);
                      QTest::keyClick(child<QPushButton>(p, "btnCancel"), Qt::Key_Return);
                  });
        child<QAction>(&search, "ActPropreties")->trigger();
        ASSERT_EQ(seen.size(), 7);
        EXPECT_EQ(seen[0], c.mark);
        EXPECT_EQ(seen[1], c.dir);
        EXPECT_EQ(seen[2], c.file);
        EXPECT_EQ(seen[3], c.type);
        EXPECT_EQ(seen[4], model->cellText(c.row, ResultsModel::ColDate));
        EXPECT_EQ(seen[5], c.size);
        EXPECT_EQ(seen[6], QStringLiteral("Shelf A")) << "the archive's location";
        EXPECT_EQ(TfrmPropreties::instance(), nullptr) << "destroyed after it closes";
    }
}

TEST(Propreties, EnterEscAndCloseEachCloseTheWindow)
{
    struct Case
    {
        const char *what;
        std::function<void(TfrmPropreties &)> act;
    };
    const QList<Case> cases = {
        {"Enter", [](TfrmPropreties &w) { QTest::keyClick(&w, Qt::Key_Return); }},
        {"Enter on the button",
         [](TfrmPropreties &w) { QTest::keyClick(child<QPushButton>(&w, "btnCancel"), Qt::Key_Enter); }},
        {"Esc",
         [](TfrmPropreties &w) {
             QTest::keyPress(child<QWidget>(&w, "btnCancel"), Qt::Key_Escape);
             EXPECT_TRUE(w.isVisible()) << "closes on the release";
             QTest::keyRelease(child<QWidget>(&w, "btnCancel"), Qt::Key_Escape);
         }},
        {"Close", [](TfrmPropreties &w) { child<QPushButton>(&w, "btnCancel")->click(); }},
    };
    for (const Case &c : cases) {
        TfrmPropreties w;
        int result = -1;
        QObject::connect(&w, &QDialog::finished, [&](int r) { result = r; });
        w.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
        c.act(w);
        EXPECT_FALSE(w.isVisible()) << c.what;
        EXPECT_EQ(result, QDialog::Rejected) << c.what;
    }
    // Other keys leave it open, and so does the release of an Esc pressed elsewhere.
    TfrmPropreties w;
    w.show();
    QTest::keyRelease(&w, Qt::Key_Escape);
    QTest::keyClick(&w, Qt::Key_A);
    QTest::keyClick(&w, Qt::Key_Space);
    EXPECT_TRUE(w.isVisible());
}

TEST(Propreties, ALongPathIsShortenedToTheWindowAndWholeInItsTip)
{
    QWidget search;
    search.setGeometry(200, 150, 900, 700);
    TfrmPropreties w(&search);
    // Opened over the window it belongs to.
    EXPECT_EQ(w.geometry().center(), search.geometry().center());
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    QString deep;
    for (int i = 0; i < 30; ++i)
        deep += QStringLiteral("Folder%1\\").arg(i);
    deep += QStringLiteral("End");
    w.setFields(QStringLiteral("CD 1"), deep, QStringLiteral("a.txt"), QStringLiteral("txt"),
                QStringLiteral("01/02/2003"), QStringLiteral("1"));
    QCoreApplication::processEvents();
    auto *box = child<QScrollArea>(&w, "ScrollBox1");
    auto *dir = child<QLabel>(&w, "lblDir");
    EXPECT_EQ(box->horizontalScrollBar()->maximum(), 0) << "no horizontal scroll bar";
    EXPECT_LE(dir->geometry().right(), box->viewport()->width());
    EXPECT_TRUE(dir->text().startsWith(QStringLiteral("Folder0\\")));
    EXPECT_TRUE(dir->text().endsWith(QStringLiteral("End      ")));
    EXPECT_EQ(dir->toolTip(), deep);
    for (const char *bevel : {"L1", "L2", "L3"})
        EXPECT_EQ(child<QFrame>(&w, bevel)->width(), 320) << bevel;

    // A short path is shown whole, with no tip.
    w.setFields(QStringLiteral("CD 1"), QStringLiteral("\\"), QStringLiteral("a.txt"), QStringLiteral("txt"),
                QString(), QStringLiteral("1"));
    EXPECT_EQ(dir->text(), QStringLiteral("\\      "));
    EXPECT_TRUE(dir->toolTip().isEmpty());
}
