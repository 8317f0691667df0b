#include <gtest/gtest.h>

#include "TestSupport.h"
#include "settings/PlacementRules.h"
#include "settings/gRegistry.h"
#include "settings/gui/FormPlacement.h"

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QScreen>
#include <QTemporaryFile>
#include <QTest>
#include <QWidget>

#include <memory>
#include <optional>

namespace {

// This process runs on an offscreen desktop with one 1920 x 1080 screen whose windows have
// frames, set up before the application starts.
const QSize kScreen(1920, 1080);

struct FixedScreen
{
    FixedScreen()
    {
        file.setFileTemplate(QDir::tempPath() + QStringLiteral("/ambry-screen-XXXXXX.json"));
        if (!file.open())
            return;
        file.write(R"({"windowFrameMargins": true,
                      "screens": [{"name": "primary", "x": 0, "y": 0, "width": 1920, "height": 1080,
                                   "logicalDpi": 96, "logicalBaseDpi": 96, "dpr": 1}]})");
        file.flush();
        qputenv("QT_QPA_PLATFORM", "offscreen:configfile=" + QFile::encodeName(file.fileName()));
    }
    QTemporaryFile file;
};
const FixedScreen fixedScreen;

const QString kKey = RegKey::Wp;

void put(const QString &name, const char *suffix, const std::optional<QString> &value)
{
    if (value)
        WriteSetting(kKey, name + QLatin1String(suffix), *value);
    else
        DeleteSetting(kKey, name + QLatin1String(suffix));
}

QString stored(const QString &name, const char *suffix)
{
    return ReadSetting(kKey, name + QLatin1String(suffix));
}

void clear(const QString &name)
{
    for (const char *suffix : {"-l", "-t", "-w", "-h", "-m"})
        put(name, suffix, std::nullopt);
}

PlacementFrame resizable(const QRect &design = QRect(5, 7, 584, 360))
{
    PlacementFrame f;
    f.design = design;
    f.minimum = QSize(584, 360);
    f.screen = kScreen;
    return f;
}

} // namespace

TEST(PlacementRules, StoredValuesAreAppliedInOrderAndKeptReachable)
{
    const QString name = QStringLiteral("frmArchive");
    using V = std::optional<QString>;
    const V none;
    const auto n = [](int v) { return V(QString::number(v)); };
    const struct
    {
        const char *what;
        V l, t, w, h;
        QRect expect;
    } table[] = {
        {"first start: centred with the design size", none, none, none, none,
         QRect((1920 - 584) / 2, (1080 - 360) / 2, 584, 360)},
        {"every value applied", n(40), n(30), n(700), n(500), QRect(40, 30, 700, 500)},
        {"centring uses the design size, not the stored one", none, none, n(1000), n(800),
         QRect((1920 - 584) / 2, (1080 - 360) / 2, 1000, 800)},
        {"wholly left of the screen", n(-5000), n(30), n(600), none, QRect(0, 30, 600, 360)},
        {"partly left of the screen stays", n(-500), n(30), n(600), none, QRect(-500, 30, 600, 360)},
        {"right edge exactly at the left of the screen stays", n(-600), n(30), n(600), none,
         QRect(-600, 30, 600, 360)},
        {"wholly above the screen", n(12), n(-5000), none, none, QRect(12, 0, 584, 360)},
        {"partly above the screen stays", n(12), n(-20), none, none, QRect(12, -20, 584, 360)},
        {"beyond the screen's width", n(3000), n(30), none, none, QRect(0, 30, 584, 360)},
        {"exactly at the screen's width stays", n(1920), n(30), none, none, QRect(1920, 30, 584, 360)},
        {"beyond the screen's height", n(30), n(1081), none, none, QRect(30, 0, 584, 360)},
        {"exactly at the screen's height stays", n(30), n(1080), none, none, QRect(30, 1080, 584, 360)},
        {"a bad width keeps the applied edges and the design size", n(40), n(30), V(QStringLiteral("wide")),
         n(500), QRect(40, 30, 584, 360)},
        {"a bad left skips centring and everything after it", V(QStringLiteral("x1")), n(30), n(700), n(500),
         QRect(5, 7, 584, 360)},
        {"a bad top keeps the stored left", n(40), V(QStringLiteral("1e3")), n(700), n(500),
         QRect(40, 7, 584, 360)},
        {"a bad left is still brought back when unreachable", V(QStringLiteral("?")), none, none, none,
         QRect(5, 7, 584, 360)},
        {"blanks around a number are allowed", V(QStringLiteral(" 40 ")), n(30), none, none,
         QRect(40, 30, 584, 360)},
        {"an empty value counts as absent", V(QString()), n(30), none, none,
         QRect((1920 - 584) / 2, 30, 584, 360)},
        {"a size below the window's minimum", n(40), n(30), n(100), n(100), QRect(40, 30, 584, 360)},
    };
    for (const auto &row : table) {
        clear(name);
        put(name, "-l", row.l);
        put(name, "-t", row.t);
        put(name, "-w", row.w);
        put(name, "-h", row.h);
        const PlacementPlan plan = readFormPlacement(kKey, name, resizable());
        EXPECT_EQ(plan.geometry, row.expect) << row.what;
        EXPECT_FALSE(plan.maximised) << row.what;
    }
    // The last reachability tests use the window's final size: a window whose stored width
    // lets it reach back onto the screen stays.
    clear(name);
    put(name, "-l", n(-1000));
    put(name, "-w", n(1200));
    EXPECT_EQ(readFormPlacement(kKey, name, resizable()).geometry.left(), -1000);
    clear(name);
}

TEST(PlacementRules, MaximisedFlagAndValuesThatAreNotText)
{
    const QString name = QStringLiteral("frmSearch");
    clear(name);
    put(name, "-m", QStringLiteral("T"));
    EXPECT_TRUE(readFormPlacement(kKey, name, resizable()).maximised);
    put(name, "-m", QStringLiteral("F")); // any text sets a switch
    EXPECT_TRUE(readFormPlacement(kKey, name, resizable()).maximised);
    PlacementFrame fixed = resizable();
    fixed.maximum = fixed.minimum;
    EXPECT_FALSE(readFormPlacement(kKey, name, fixed).maximised) << "a fixed window cannot be maximised";
    clear(name);

    // A value stored as a number rather than text ends the reading like a bad number; the
    // maximised flag is still read.
    ambrytest::writeFile(settingsFilePath(), "Windows Registry Editor Version 5.00\r\n\r\n"
                                             "[HKEY_CURRENT_USER\\SoftWare\\Brightfen\\Ambrylog\\S\\wp]\r\n"
                                             "\"frmSearch-l\"=\"40\"\r\n"
                                             "\"frmSearch-t\"=dword:0000001e\r\n"
                                             "\"frmSearch-w\"=\"900\"\r\n"
                                             "\"frmSearch-m\"=\"T\"\r\n");
    const PlacementPlan plan = readFormPlacement(kKey, name, resizable());
    EXPECT_EQ(plan.geometry, QRect(40, 7, 584, 360));
    EXPECT_TRUE(plan.maximised);
    ambrytest::writeFile(settingsFilePath(), "Windows Registry Editor Version 5.00\r\n\r\n"
                                             "[HKEY_CURRENT_USER\\SoftWare\\Brightfen\\Ambrylog\\S\\wp]\r\n"
                                             "\"frmSearch-m\"=hex:01\r\n");
    EXPECT_FALSE(readFormPlacement(kKey, name, resizable()).maximised);
    QFile::remove(settingsFilePath());
}

TEST(PlacementRules, WhereWindowsCannotBePlacedOnlyTheSizeCounts)
{
    const QString name = QStringLiteral("frmArchive");
    clear(name);
    put(name, "-l", QStringLiteral("bad"));
    put(name, "-t", QStringLiteral("-9000"));
    put(name, "-w", QStringLiteral("800"));
    put(name, "-h", QStringLiteral("600"));
    PlacementFrame f = resizable();
    f.positions = false;
    EXPECT_EQ(readFormPlacement(kKey, name, f).geometry, QRect(5, 7, 800, 600));

    writeFormPlacement(kKey, name, QRect(1, 2, 640, 480), false, false);
    EXPECT_EQ(stored(name, "-l"), QStringLiteral("bad")) << "left and top are not written";
    EXPECT_EQ(stored(name, "-t"), QStringLiteral("-9000"));
    EXPECT_EQ(stored(name, "-w"), QStringLiteral("640"));
    EXPECT_EQ(stored(name, "-h"), QStringLiteral("480"));
    clear(name);
}

TEST(PlacementRules, WhileMaximisedOnlyTheFlagIsWritten)
{
    const QString name = QStringLiteral("frmSearch");
    clear(name);
    writeFormPlacement(kKey, name, QRect(-30, 40, 700, 500), false);
    EXPECT_EQ(stored(name, "-l"), QStringLiteral("-30"));
    EXPECT_EQ(stored(name, "-t"), QStringLiteral("40"));
    writeFormPlacement(kKey, name, QRect(0, 0, 1920, 1080), true);
    EXPECT_EQ(stored(name, "-m"), QStringLiteral("T"));
    EXPECT_EQ(stored(name, "-w"), QStringLiteral("700")) << "the normal placement is kept";
    writeFormPlacement(kKey, name, QRect(10, 20, 710, 510), false);
    EXPECT_TRUE(stored(name, "-m").isEmpty());
    EXPECT_EQ(readFormPlacement(kKey, name, resizable()).geometry, QRect(10, 20, 710, 510));
    clear(name);
}

// ---- On a window -------------------------------------------------------------------------

namespace {

std::unique_ptr<QWidget> makeWindow(const QString &name)
{
    auto w = std::make_unique<QWidget>();
    w->setObjectName(name);
    w->setMinimumSize(584, 360);
    w->resize(584, 360);
    RestoreFormPlacement(kKey, w.get());
    TrackFormPlacement(kKey, w.get());
    return w;
}

bool waitFor(const std::function<bool()> &condition)
{
    return QTest::qWaitFor(condition, 3000);
}

} // namespace

TEST(PlacementWindow, RunsOnTheFixedScreen)
{
    ASSERT_EQ(QGuiApplication::primaryScreen()->geometry().size(), kScreen);
}

TEST(PlacementWindow, FirstStartCentresAndAMoveIsSavedOnceAtRest)
{
    const QString name = QStringLiteral("frmSearch");
    clear(name);
    auto w = makeWindow(name);
    EXPECT_EQ(w->pos(), QPoint((1920 - 584) / 2, (1080 - 360) / 2));
    w->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(w.get()));
    w->move(100, 80);
    w->resize(700, 500);
    ASSERT_TRUE(waitFor([&] { return stored(name, "-w") == QLatin1String("700"); }));
    EXPECT_EQ(stored(name, "-l"), QStringLiteral("100"));
    EXPECT_EQ(stored(name, "-t"), QStringLiteral("80"));
    EXPECT_EQ(stored(name, "-h"), QStringLiteral("500"));

    // A move that has not come to rest when the window closes is still written.
    w->move(120, 90);
    w->close();
    EXPECT_EQ(stored(name, "-l"), QStringLiteral("120"));
    w.reset();
    w = makeWindow(name);
    EXPECT_EQ(QRect(w->pos(), w->size()), QRect(120, 90, 700, 500));
    clear(name);
}

TEST(PlacementWindow, MaximisedSurvivesReopeningAndRestoringReturnsToTheEarlierGeometry)
{
    const QString name = QStringLiteral("frmSearch");
    clear(name);
    auto w = makeWindow(name);
    w->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(w.get()));
    w->setGeometry(QRect(QPoint(150, 100), QSize(700, 500)));
    ASSERT_TRUE(waitFor([&] { return stored(name, "-w") == QLatin1String("700"); }));
    const QRect normal(w->pos(), w->size());
    w->showMaximized();
    ASSERT_TRUE(waitFor([&] { return stored(name, "-m") == QLatin1String("T"); }));
    EXPECT_EQ(stored(name, "-w"), QStringLiteral("700"));
    w->close();
    w.reset();

    w = makeWindow(name);
    EXPECT_TRUE(w->windowState() & Qt::WindowMaximized);
    w->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(w.get()));
    EXPECT_TRUE(w->isMaximized());
    w->showNormal();
    ASSERT_TRUE(waitFor([&] { return stored(name, "-m").isEmpty(); }));
    EXPECT_EQ(QRect(w->pos(), w->size()), normal);
    EXPECT_EQ(stored(name, "-l"), QString::number(normal.x()));
    EXPECT_EQ(stored(name, "-w"), QStringLiteral("700"));
    clear(name);
}

TEST(PlacementWindow, MinimisingOneWindowMinimisesTheProgramAndSavesNothing)
{
    const QString name = QStringLiteral("frmArchive");
    clear(name);
    put(name, "-l", QStringLiteral("200"));
    put(name, "-t", QStringLiteral("150"));
    put(name, "-w", QStringLiteral("640"));
    put(name, "-h", QStringLiteral("400"));
    QWidget main;
    main.setObjectName(QStringLiteral("frmMain"));
    main.show();
    auto browser = makeWindow(name);
    browser->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(browser.get()));
    QDialog modal(browser.get());
    modal.setModal(true);
    modal.show();
    QTest::qWait(400); // anything the showing would have written is written now
    clear(name);

    browser->showMinimized();
    EXPECT_TRUE(waitFor([&] { return main.isMinimized() && modal.isMinimized(); }));
    QTest::qWait(400);
    for (const char *suffix : {"-l", "-t", "-w", "-h", "-m"})
        EXPECT_TRUE(stored(name, suffix).isEmpty()) << suffix;

    // Bringing back one window brings back the program.
    main.showNormal();
    EXPECT_TRUE(waitFor([&] { return !browser->isMinimized() && !modal.isMinimized(); }));
    // A modal window minimised by the user does the same.
    modal.showMinimized();
    EXPECT_TRUE(waitFor([&] { return main.isMinimized() && browser->isMinimized(); }));
    modal.close();
    clear(name);
}
