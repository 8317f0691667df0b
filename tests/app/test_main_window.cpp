#include "helper_mainwindow.h"

#include "TestSupport.h"
#include "app/gui/AppLinks.h"
#include "app/gui/fmMain.h"
#include "backup/gui/BackupCommands.h"
#include "drives/DriveSystem.h"
#include "drives/testing/FakeDriveSystem.h"
#include "settings/gRegistry.h"
#include "settings/gVars.h"
#include "util/Mnemonics.h"
#include "util/gui/ShellService.h"
#include "util/gui/gUtilsGui.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>
#include <QSessionManager>
#include <QSet>
#include <QSignalSpy>
#include <QSystemTrayIcon>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <memory>
#include <vector>

namespace {

const QString Question = QStringLiteral("Do you really want to exit Ambrylog?");

struct Calls
{
    std::vector<int> waitAnswers; // answers of successive waits; Cancel when exhausted
    int waits = 0;
    int sessions = 0;
    QStringList searches;
    int catalogs = 0;
    int setDevice = 0;
    char chosenReadDevice = 0; // what the read device window leaves
    int about = 0;
    QString chosenImage; // what the file dialog answers; empty: cancelled
    QStringList imageSessions;
};

class MainWindowTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        clearMainSettings();
        drives.addOpticalDrive('D');
        setDriveSystemForTesting(&drives);
        gVars().readDeviceLetter = 0;
    }
    void TearDown() override
    {
        window.reset();
        setDriveSystemForTesting(nullptr);
    }

    MainServices services(bool trayAvailable, bool withSession = true)
    {
        MainServices s;
        s.waitForDisc = [this](const QString &message) {
            EXPECT_TRUE(message.isEmpty());
            const int answer =
                calls.waits < int(calls.waitAnswers.size()) ? calls.waitAnswers[calls.waits] : 2;
            ++calls.waits;
            return ModalResult(answer);
        };
        if (withSession)
            s.runAddDiscSession = [this] {
                return ++calls.sessions % 2 ? ModalResult::Cancel : ModalResult::Ok;
            };
        s.showSearchWindow = [this](const QString &mark) {
            calls.searches << mark;
            return 1;
        };
        s.showCatalog = [this] { return ++calls.catalogs; };
        s.trayAvailable = [trayAvailable] { return trayAvailable; };
        s.showSetDevice = [this] {
            ++calls.setDevice;
            gVars().readDeviceLetter = calls.chosenReadDevice;
            return 1;
        };
        s.showAbout = [this] { return ++calls.about; };
        s.chooseDiscImage = [this](QWidget *) { return calls.chosenImage; };
        s.runAddImageSession = [this](const QString &image) {
            calls.imageSessions << image;
            return ModalResult::Cancel;
        };
        return s;
    }

    TfrmMain &create(bool trayAvailable = true, const QStringList &args = {QStringLiteral("ambrylog")},
                     bool withSession = true)
    {
        window = std::make_unique<TfrmMain>(args, services(trayAvailable, withSession));
        return *window;
    }

    QAction *action(const char *name)
    {
        auto *a = window->findChild<QAction *>(QString::fromLatin1(name));
        EXPECT_NE(a, nullptr) << name;
        return a;
    }

    FakeDriveSystem drives;
    Calls calls;
    std::unique_ptr<TfrmMain> window;
};

QStringList texts(std::initializer_list<const char *> items)
{
    QStringList out;
    for (const char *item : items)
        out << QString::fromUtf8(item);
    return out;
}

// Captions of a menu's entries in order as shown, "-" for a separator, "name>" for a submenu.
QStringList entries(const QMenu *menu)
{
    QStringList out;
    for (const QAction *a : menu->actions()) {
        if (a->isSeparator())
            out << QStringLiteral("-");
        else if (a->menu())
            out << shownText(a->text()) + QLatin1Char('>');
        else
            out << shownText(a->text());
    }
    return out;
}

// Every entry has a mnemonic, none used twice in the same menu.
void expectMnemonics(const QWidget *menu, const char *name)
{
    QSet<QChar> seen;
    for (const QAction *a : menu->actions()) {
        if (a->isSeparator())
            continue;
        const QChar letter = mnemonicOf(a->text()).toLower();
        EXPECT_FALSE(letter.isNull()) << name << ": " << a->text().toStdString();
        EXPECT_FALSE(seen.contains(letter)) << name << ": " << a->text().toStdString();
        seen.insert(letter);
    }
}

TEST_F(MainWindowTest, MenusHoldEveryItemAndSeparatorInOrder)
{
    create();
    const QMenuBar *bar = window->findChild<QMenuBar *>(QStringLiteral("MainMenu1"));
    ASSERT_NE(bar, nullptr);
    QStringList top;
    for (const QAction *a : bar->actions())
        top << shownText(a->text());
    expectMnemonics(bar, "MainMenu1");
    EXPECT_EQ(top, QStringList({QStringLiteral("Catalog"), QStringLiteral("Tools"), QStringLiteral("Help"),
                                QStringLiteral("More")}));

    const struct
    {
        const char *menu;
        QStringList items;
    } table[] = {
        {"mnuCatalog", texts({"Add New CD/DVD to Catalog", "Add Disc Image...", "-", "Open Catalog",
                              "Import from Other Catalog...", "-", "Exit"})},
        {"mnuTools", texts({"Search Files", "Backup / Restore>", "-", "Eject CD/DVD", "Close CD/DVD", "-",
                            "Set Default Read Device...", "-", "Preferences>"})},
        {"mnuBackupRestore",
         texts({"Backup Archives to File", "Restore Archives from File", "Merge Archives from File"})},
        {"mnuPreferences",
         texts({"Run at Start-up", "Run Minimized (only Start-up)", "Prompt on Exit", "-", "Show System Tray Icon",
                "Show in Task Bar", "-", "Simple Search: All Words", "Simple Search: Ignore Accents"})},
        {"mnuHelp", texts({"Program Help", "FAQ", "-", "Home Page", "Check for Update", "-", "About..."})},
        {"mnuMore", texts({"Other Brightfen Products", "Subscribe to Newsletter", "Reseller Program",
                           "Tell a Friend (Send e-mail)"})},
        {"PopupMenu2", texts({"Minimize", "Show", "-", "Exit"})},
    };
    for (const auto &row : table) {
        const QMenu *menu = window->findChild<QMenu *>(QString::fromLatin1(row.menu));
        ASSERT_NE(menu, nullptr) << row.menu;
        EXPECT_EQ(entries(menu), row.items) << row.menu;
        expectMnemonics(menu, row.menu);
    }

    // Default items are drawn bold; others are not.
    for (const char *name : {"ActAdd", "ActSearch", "mnuBackup", "mnuRunAtStartUp", "mnuTrayMinimize"})
        EXPECT_TRUE(action(name)->font().bold()) << name;
    for (const char *name : {"ActCatalog", "mnuExit", "mnuPromptOnExit", "mnuTrayShow"})
        EXPECT_FALSE(action(name)->font().bold()) << name;
    EXPECT_EQ(window->trayIcon()->contextMenu(), window->findChild<QMenu *>(QStringLiteral("PopupMenu2")));
    EXPECT_EQ(window->trayIcon()->toolTip(), QStringLiteral("Ambrylog"));
}

TEST_F(MainWindowTest, ActionsCarryHintsKeysAndButtons)
{
    create();
    const struct
    {
        const char *action;
        const char *hint;
        QKeySequence key;
        const char *button;
    } table[] = {
        {"ActAdd", "Add New CD/DVD to Catalog", QKeySequence(Qt::Key_Insert), "btnPlus"},
        {"ActSearch", "Search Files", QKeySequence(Qt::Key_F3), "btnSearch"},
        {"ActCatalog", "Open Catalog", QKeySequence(), nullptr},
        {"ActOpenCD", "Eject CD/DVD", QKeySequence(), "btnOpenCD"},
        {"ActCloseCD", "Close CD/DVD", QKeySequence(), "btnCloseCD"},
    };
    for (const auto &row : table) {
        QAction *a = action(row.action);
        ASSERT_NE(a, nullptr);
        EXPECT_EQ(a->toolTip(), QString::fromLatin1(row.hint)) << row.action;
        EXPECT_EQ(a->shortcut(), row.key) << row.action;
        if (row.button) {
            auto *b = window->findChild<QToolButton *>(QString::fromLatin1(row.button));
            ASSERT_NE(b, nullptr) << row.button;
            EXPECT_EQ(b->defaultAction(), a) << row.button;
            EXPECT_EQ(b->accessibleName(), QString::fromLatin1(row.hint)) << row.button;
        }
    }
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Ambrylog"));
    EXPECT_EQ(window->centralWidget()->size(), QSize(399, 190));
    EXPECT_FALSE(window->windowFlags() & Qt::WindowMaximizeButtonHint);
}

TEST_F(MainWindowTest, ConsecutiveButtonFlipsGlyphHintAndMode)
{
    create();
    auto *btn = window->findChild<QToolButton *>(QStringLiteral("btnConsecutive"));
    ASSERT_NE(btn, nullptr);
    EXPECT_EQ(btn->toolTip(), QStringLiteral("Enable Consecutive"));
    const qint64 offKey = btn->icon().cacheKey();
    btn->click();
    EXPECT_TRUE(window->consecutive());
    EXPECT_EQ(btn->toolTip(), QStringLiteral("Disable consecutive"));
    EXPECT_NE(btn->icon().cacheKey(), offKey);
    btn->click();
    EXPECT_FALSE(window->consecutive());
    EXPECT_EQ(btn->toolTip(), QStringLiteral("Enable consecutive"));
}

TEST_F(MainWindowTest, AddRunsWaitThenSessionAndConsecutiveEndsOnCancelledWait)
{
    const struct
    {
        bool consecutive;
        std::vector<int> waits;
        int expectWaits;
        int expectSessions;
    } table[] = {
        {false, {1}, 1, 1},         // one disc
        {false, {2}, 1, 0},         // cancelled wait: no session
        {true, {1, 1, 1, 2}, 4, 3}, // chain until a wait is cancelled, whatever the session says
        {true, {2}, 1, 0},
    };
    for (const auto &row : table) {
        calls = Calls();
        calls.waitAnswers = row.waits;
        create();
        if (row.consecutive)
            window->findChild<QToolButton *>(QStringLiteral("btnConsecutive"))->click();
        action("ActAdd")->trigger();
        EXPECT_EQ(calls.waits, row.expectWaits) << row.consecutive << " " << row.waits.size();
        EXPECT_EQ(calls.sessions, row.expectSessions) << row.consecutive << " " << row.waits.size();
    }
}

TEST_F(MainWindowTest, AddStopsAfterTheWaitWithoutAnAddDiscWindow)
{
    calls.waitAnswers = {1, 1, 1};
    create(true, {QStringLiteral("ambrylog")}, false);
    window->findChild<QToolButton *>(QStringLiteral("btnConsecutive"))->click();
    action("ActAdd")->trigger();
    EXPECT_EQ(calls.waits, 1);
}

TEST_F(MainWindowTest, NoReadDeviceDisablesAddForGood)
{
    drives.removeDrive('D');
    MainServices s = services(true);
    s.waitForDisc = MainServices::defaults().waitForDisc; // the real wait window
    create(); // replaced below: the old window going away must not unhook the new one
    window = std::make_unique<TfrmMain>(QStringList{QStringLiteral("ambrylog")}, s);
    EXPECT_EQ(gVars().readDeviceLetter, 0);
    bool sawWindow = false;
    QTimer::singleShot(0, [&sawWindow] {
        if (auto *dlg = qobject_cast<QDialog *>(QApplication::activeModalWidget())) {
            sawWindow = true;
            dlg->reject();
        }
    });
    action("ActAdd")->trigger();
    EXPECT_TRUE(sawWindow);
    EXPECT_FALSE(action("ActAdd")->isEnabled());
    EXPECT_EQ(calls.sessions, 0);
    // A disabled command does nothing, from any source.
    calls.waitAnswers = {1};
    action("ActAdd")->trigger();
    EXPECT_EQ(calls.sessions, 0);
}

TEST_F(MainWindowTest, AddDiscImageRunsTheSessionOnTheChosenFileWithoutAWait)
{
    drives.removeDrive('D'); // no read device is needed for an image
    create();
    action("ActAddImage")->trigger();
    EXPECT_TRUE(calls.imageSessions.isEmpty()) << "the file dialog was cancelled";
    calls.chosenImage = QStringLiteral("/images/disc.iso");
    action("ActAddImage")->trigger();
    EXPECT_EQ(calls.imageSessions, QStringList{QStringLiteral("/images/disc.iso")});
    EXPECT_EQ(calls.waits, 0);
    EXPECT_EQ(calls.sessions, 0);
}

TEST_F(MainWindowTest, SearchOpensTheSearchWindowForAllArchives)
{
    create();
    action("ActSearch")->trigger();
    EXPECT_EQ(calls.searches, QStringList{QString()});
}

TEST_F(MainWindowTest, DoorCommandsUseTheReadDevice)
{
    create();
    ASSERT_EQ(gVars().readDeviceLetter, 'D');
    action("ActOpenCD")->trigger();
    action("ActCloseCD")->trigger();
    EXPECT_EQ(drives.doorCalls(), QStringList({QStringLiteral("open D"), QStringLiteral("close D")}));
}

TEST_F(MainWindowTest, ReadDeviceComesFromTheSettingOrTheFirstDrive)
{
    drives.addOpticalDrive('F');
    drives.addFixedDrive('C');
    const struct
    {
        const char *stored; // nullptr: absent
        char letter;
        bool keptStored;
    } table[] = {
        {nullptr, 'D', false}, {"F", 'F', true},  {" f ", 'F', true}, // blanks trimmed, any case
        {"C", 'D', false},                                            // not a CD/DVD drive: removed
        {"Q", 'D', false},                                            // no drive at all
        {"   ", 'D', false},   {"#", 'D', false},
    };
    for (const auto &row : table) {
        if (row.stored)
            WriteSetting(RegKey::V, QStringLiteral("DefaultDeviceDrive"), QString::fromLatin1(row.stored));
        else
            DeleteSetting(RegKey::V, QStringLiteral("DefaultDeviceDrive"));
        create();
        EXPECT_EQ(gVars().readDeviceLetter, row.letter) << (row.stored ? row.stored : "(absent)");
        const QString after = ReadSetting(RegKey::V, QStringLiteral("DefaultDeviceDrive"));
        if (row.keptStored) {
            EXPECT_EQ(after, QString::fromLatin1(row.stored));
        } else if (row.stored && !QString::fromLatin1(row.stored).trimmed().isEmpty()) {
            EXPECT_TRUE(after.isEmpty()) << row.stored;
        }
    }
    drives.removeDrive('D');
    drives.removeDrive('F');
    DeleteSetting(RegKey::V, QStringLiteral("DefaultDeviceDrive"));
    create();
    EXPECT_EQ(gVars().readDeviceLetter, 0);
}

struct PrefState
{
    bool runAtStartUp, runMinimized, promptOnExit, tray, taskBar;
    bool trayEnabled, taskBarEnabled;
};

TEST_F(MainWindowTest, PreferencesFollowTheStoredSwitches)
{
    const struct
    {
        QStringList stored; // switches stored under S
        QString storedValue;
        PrefState expect;
    } table[] = {
        {{}, QStringLiteral("T"), {false, true, true, true, false, false, true}},
        {{QStringLiteral("PromptOnExit")},
         QStringLiteral("T"),
         {false, true, false, true, false, false, true}},
        {{QStringLiteral("StartUpRunMinimized")},
         QStringLiteral("T"),
         {false, false, true, true, false, false, true}},
        {{QStringLiteral("Sitb")}, QStringLiteral("T"), {false, true, true, true, true, true, true}},
        {{QStringLiteral("Ssti"), QStringLiteral("Sitb")},
         QStringLiteral("T"),
         {false, true, true, false, true, true, false}},
        // Both off: the tray icon comes back so the program stays reachable.
        {{QStringLiteral("Ssti")}, QStringLiteral("T"), {false, true, true, true, false, false, true}},
        // Any non-empty text counts as set.
        {{QStringLiteral("Ssti"), QStringLiteral("Sitb"), QStringLiteral("PromptOnExit")},
         QStringLiteral("F"),
         {false, true, false, false, true, true, false}},
    };
    for (const auto &row : table) {
        clearMainSettings();
        for (const QString &name : row.stored)
            WriteSetting(RegKey::S, name, row.storedValue);
        create();
        const QString label = row.stored.join(QLatin1Char(','));
        EXPECT_EQ(action("mnuRunAtStartUp")->isChecked(), row.expect.runAtStartUp) << label.toStdString();
        EXPECT_EQ(action("mnuRunMinimized")->isChecked(), row.expect.runMinimized) << label.toStdString();
        EXPECT_EQ(action("mnuPromptOnExit")->isChecked(), row.expect.promptOnExit) << label.toStdString();
        EXPECT_EQ(action("mnuShowTrayIcon")->isChecked(), row.expect.tray) << label.toStdString();
        EXPECT_EQ(action("mnuShowInTaskBar")->isChecked(), row.expect.taskBar) << label.toStdString();
        EXPECT_EQ(action("mnuShowTrayIcon")->isEnabled(), row.expect.trayEnabled) << label.toStdString();
        EXPECT_EQ(action("mnuShowInTaskBar")->isEnabled(), row.expect.taskBarEnabled) << label.toStdString();
        EXPECT_EQ(window->trayShown(), row.expect.tray) << label.toStdString();
    }
}

TEST_F(MainWindowTest, PreferenceClicksStoreTheirSwitchAtOnce)
{
    create();
    const struct
    {
        const char *item;
        const char *value;
        const char *afterFirstClick; // "" = absent
    } table[] = {
        {"mnuRunMinimized", "StartUpRunMinimized", "T"},
        {"mnuPromptOnExit", "PromptOnExit", "T"},
    };
    for (const auto &row : table) {
        const QString name = QString::fromLatin1(row.value);
        action(row.item)->trigger();
        EXPECT_EQ(ReadSetting(RegKey::S, name), QString::fromLatin1(row.afterFirstClick)) << row.item;
        EXPECT_FALSE(action(row.item)->isChecked());
        action(row.item)->trigger();
        EXPECT_TRUE(ReadSetting(RegKey::S, name).isEmpty()) << row.item;
        EXPECT_TRUE(action(row.item)->isChecked());
    }

    // Run at Start-up writes the start-up command and removes it again.
    action("mnuRunAtStartUp")->trigger();
    EXPECT_EQ(ReadSetting(RegKey::Run, QStringLiteral("Ambrylog")), TfrmMain::startupCommand());
    EXPECT_TRUE(TfrmMain::startupCommand().endsWith(QStringLiteral("\" tag")));
    action("mnuRunAtStartUp")->trigger();
    EXPECT_TRUE(ReadSetting(RegKey::Run, QStringLiteral("Ambrylog")).isEmpty());
}

TEST_F(MainWindowTest, SearchPreferencesAreOffUntilClickedAndStoredAtOnce)
{
    const std::pair<const char *, const char *> table[] = {{"mnuSearchAllWords", "SearchAllWords"},
                                                           {"mnuSearchIgnoreAccents", "SearchIgnoreAccents"}};
    for (const auto &[item, name] : table) {
        const QString value = QString::fromLatin1(name);
        clearMainSettings();
        create();
        EXPECT_FALSE(action(item)->isChecked()) << name;
        action(item)->trigger();
        EXPECT_EQ(ReadSetting(RegKey::S, value), QStringLiteral("T")) << name;
        action(item)->trigger();
        EXPECT_TRUE(ReadSetting(RegKey::S, value).isEmpty()) << name;
        WriteSetting(RegKey::S, value, QStringLiteral("T"));
        create();
        EXPECT_TRUE(action(item)->isChecked()) << name;
    }
}

TEST_F(MainWindowTest, RunAtStartUpCheckedOnlyForThisProgramsEntry)
{
    WriteSetting(RegKey::Run, QStringLiteral("Ambrylog"), TfrmMain::startupCommand());
    create();
    EXPECT_TRUE(action("mnuRunAtStartUp")->isChecked());
    WriteSetting(RegKey::Run, QStringLiteral("Ambrylog"), QStringLiteral("\"/elsewhere/ambrylog\" tag"));
    create();
    EXPECT_FALSE(action("mnuRunAtStartUp")->isChecked());
    // Checking it again points the entry at this copy.
    action("mnuRunAtStartUp")->trigger();
    EXPECT_EQ(ReadSetting(RegKey::Run, QStringLiteral("Ambrylog")), TfrmMain::startupCommand());
}

TEST_F(MainWindowTest, TrayIconAndTaskBarButtonNeverBothGo)
{
    create();
    QAction *tray = action("mnuShowTrayIcon");
    QAction *bar = action("mnuShowInTaskBar");
    // Only the tray is on: it cannot be switched off.
    tray->trigger();
    EXPECT_TRUE(tray->isChecked());
    EXPECT_TRUE(window->trayShown());
    EXPECT_TRUE(ReadSetting(RegKey::S, QStringLiteral("Ssti")).isEmpty());

    bar->trigger();
    EXPECT_TRUE(bar->isChecked());
    EXPECT_EQ(ReadSetting(RegKey::S, QStringLiteral("Sitb")), QStringLiteral("T"));
    EXPECT_TRUE(tray->isEnabled());

    tray->trigger();
    EXPECT_FALSE(tray->isChecked());
    EXPECT_FALSE(window->trayShown());
    EXPECT_EQ(ReadSetting(RegKey::S, QStringLiteral("Ssti")), QStringLiteral("T"));
    EXPECT_FALSE(bar->isEnabled());
    bar->trigger(); // disabled: nothing happens
    EXPECT_TRUE(bar->isChecked());
    EXPECT_EQ(ReadSetting(RegKey::S, QStringLiteral("Sitb")), QStringLiteral("T"));

    tray->trigger();
    EXPECT_TRUE(tray->isChecked());
    EXPECT_TRUE(window->trayShown());
    EXPECT_TRUE(ReadSetting(RegKey::S, QStringLiteral("Ssti")).isEmpty());
    bar->trigger();
    EXPECT_FALSE(bar->isChecked());
    EXPECT_TRUE(ReadSetting(RegKey::S, QStringLiteral("Sitb")).isEmpty());
    EXPECT_FALSE(tray->isEnabled());

    // The choice survives a restart.
    bar->trigger();
    tray->trigger();
    create();
    EXPECT_FALSE(action("mnuShowTrayIcon")->isChecked());
    EXPECT_TRUE(action("mnuShowInTaskBar")->isChecked());
}

TEST_F(MainWindowTest, WithoutATrayTheTaskBarButtonStaysAndSettingsAreKept)
{
    WriteSetting(RegKey::S, QStringLiteral("Ssti"), QString()); // empty: counts as absent
    create(false);
    QAction *tray = action("mnuShowTrayIcon");
    QAction *bar = action("mnuShowInTaskBar");
    EXPECT_FALSE(tray->isChecked());
    EXPECT_FALSE(tray->isEnabled());
    EXPECT_TRUE(bar->isChecked());
    EXPECT_FALSE(bar->isEnabled());
    EXPECT_FALSE(tray->toolTip().isEmpty());
    EXPECT_EQ(tray->toolTip(), bar->toolTip());
    EXPECT_FALSE(window->trayShown());
    tray->trigger();
    bar->trigger();
    EXPECT_TRUE(ReadSetting(RegKey::S, QStringLiteral("Ssti")).isEmpty());
    EXPECT_TRUE(ReadSetting(RegKey::S, QStringLiteral("Sitb")).isEmpty());

    // Minimising keeps the window in the task bar instead of hiding it.
    window->show();
    window->minimizeApplication();
    QCoreApplication::processEvents();
    EXPECT_TRUE(window->isVisible());
    EXPECT_TRUE(window->isMinimized());
}

TEST_F(MainWindowTest, ATrayThatAppearsLaterIsTakenUp)
{
    bool trayThere = false;
    MainServices s = services(false);
    s.trayAvailable = [&trayThere] { return trayThere; };
    s.trayWatchMs = 20;
    window = std::make_unique<TfrmMain>(QStringList{QStringLiteral("ambrylog")}, std::move(s));
    QAction *tray = action("mnuShowTrayIcon");
    QTest::qWait(100);
    EXPECT_FALSE(tray->isEnabled()) << "no tray yet";
    trayThere = true; // the panel has started
    ASSERT_TRUE(QTest::qWaitFor([&] { return window->trayShown(); }, 2000));
    EXPECT_TRUE(tray->isChecked());
    EXPECT_FALSE(tray->toolTip().startsWith(QStringLiteral("This desktop offers no system tray")));
    EXPECT_TRUE(action("mnuShowInTaskBar")->isEnabled()) << "the task-bar button may go now";
}

TEST_F(MainWindowTest, StartsMinimisedOnlyWithAnArgumentAndTheSwitchOn)
{
    const struct
    {
        QStringList args;
        bool runMinimizedOff;
        bool expect;
    } table[] = {
        {{QStringLiteral("ambrylog")}, false, false},
        {{QStringLiteral("ambrylog"), QStringLiteral("tag")}, false, true},
        {{QStringLiteral("ambrylog"), QStringLiteral("x")}, false, true},
        {{QStringLiteral("ambrylog"), QStringLiteral("tag")}, true, false},
    };
    for (const auto &row : table) {
        clearMainSettings();
        if (row.runMinimizedOff)
            WriteSetting(RegKey::S, QStringLiteral("StartUpRunMinimized"), QStringLiteral("T"));
        create(true, row.args);
        EXPECT_EQ(window->startsMinimized(), row.expect) << row.args.join(QLatin1Char(' ')).toStdString();
    }

    // Only the tray icon: a minimised start shows no window at all.
    clearMainSettings();
    create(true, {QStringLiteral("ambrylog"), QStringLiteral("tag")});
    window->showAtStart();
    EXPECT_FALSE(window->isVisible());
    EXPECT_TRUE(window->trayShown());

    // With a task-bar button it starts as a minimised window.
    WriteSetting(RegKey::S, QStringLiteral("Sitb"), QStringLiteral("T"));
    create(true, {QStringLiteral("ambrylog"), QStringLiteral("tag")});
    window->showAtStart();
    EXPECT_TRUE(window->isVisible());
    EXPECT_TRUE(window->isMinimized());

    clearMainSettings();
    create();
    window->showAtStart();
    EXPECT_TRUE(window->isVisible());
    EXPECT_FALSE(window->isMinimized());
}

TEST_F(MainWindowTest, ExitAsksOnceUnlessSwitchedOffOrTheSessionEnds)
{
    MessageBoxRecorder boxes;
    create();
    window->show();
    QSignalSpy closed(window.get(), &TfrmMain::closed);

    boxes.queueAnswer(MsgAnswer::No);
    EXPECT_FALSE(window->close());
    EXPECT_TRUE(window->isVisible());
    ASSERT_EQ(boxes.boxes.size(), 1);
    EXPECT_EQ(boxes.boxes[0].first, MsgKind::Confirm);
    EXPECT_EQ(boxes.boxes[0].second, Question);
    EXPECT_EQ(closed.count(), 0);

    boxes.queueAnswer(MsgAnswer::Yes);
    action("mnuExit")->trigger();
    EXPECT_EQ(boxes.boxes.size(), 2);
    EXPECT_EQ(closed.count(), 1);
    EXPECT_FALSE(window->isVisible());

    // Prompt on Exit unchecked: no question.
    create();
    window->show();
    action("mnuPromptOnExit")->trigger();
    boxes.boxes.clear();
    EXPECT_TRUE(window->close());
    EXPECT_TRUE(boxes.boxes.isEmpty());
}

TEST_F(MainWindowTest, SessionEndClosesWithoutAsking)
{
    MessageBoxRecorder boxes;
    create();
    window->show();
    QSignalSpy closed(window.get(), &TfrmMain::closed);
    EXPECT_FALSE(window->sessionEnding());
    // The session manager object cannot be made outside Qt; the window never looks at it.
    alignas(QSessionManager) unsigned char storage[sizeof(QSessionManager)] = {};
    emit qApp->commitDataRequest(*reinterpret_cast<QSessionManager *>(storage));
    EXPECT_TRUE(window->sessionEnding());
    EXPECT_TRUE(window->close());
    EXPECT_TRUE(boxes.boxes.isEmpty());
    EXPECT_EQ(closed.count(), 1);
}

TEST_F(MainWindowTest, TrayOnlyMinimiseHidesAndTrayClickOrActivationBringsBack)
{
    create();
    window->show();
    ASSERT_TRUE(window->trayShown());
    window->minimizeApplication();
    EXPECT_FALSE(window->isVisible());

    emit window->trayIcon()->activated(QSystemTrayIcon::Context);
    EXPECT_FALSE(window->isVisible());
    emit window->trayIcon()->activated(QSystemTrayIcon::Trigger);
    EXPECT_TRUE(window->isVisible());
    EXPECT_FALSE(window->isMinimized());

    // The title-bar minimise also ends in the tray.
    window->showMinimized();
    EXPECT_TRUE(waitUntil([this] { return !window->isVisible(); }));

    // Starting the program again brings the running window back.
    window->activateFromAnotherInstance();
    EXPECT_TRUE(window->isVisible());
    EXPECT_FALSE(window->isMinimized());

    // Esc (on release) minimises, the tray menu's Show restores.
    QTest::keyPress(window.get(), Qt::Key_Escape);
    QTest::keyRelease(window.get(), Qt::Key_Escape);
    EXPECT_FALSE(window->isVisible());
    action("mnuTrayShow")->trigger();
    EXPECT_TRUE(window->isVisible());
    action("mnuTrayMinimize")->trigger();
    EXPECT_FALSE(window->isVisible());

    // Exit from the tray menu works while the window is hidden.
    MessageBoxRecorder boxes;
    QSignalSpy closed(window.get(), &TfrmMain::closed);
    action("mnuExit")->trigger();
    EXPECT_EQ(closed.count(), 1);
    EXPECT_EQ(boxes.boxes.size(), 1);
}

TEST_F(MainWindowTest, ActivationRestoresAMinimisedWindowWithTaskBarButton)
{
    WriteSetting(RegKey::S, QStringLiteral("Sitb"), QStringLiteral("T"));
    create();
    window->show();
    window->minimizeApplication();
    QCoreApplication::processEvents();
    EXPECT_TRUE(window->isMinimized());
    EXPECT_TRUE(window->isVisible());
    window->activateFromAnotherInstance();
    EXPECT_FALSE(window->isMinimized());
    EXPECT_TRUE(window->isVisible());
}

TEST_F(MainWindowTest, KeysWorkWhileTheWindowHasTheFocus)
{
    create();
    window->show();
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    calls.waitAnswers = {2};
    QTest::keyClick(window.get(), Qt::Key_Insert);
    EXPECT_EQ(calls.waits, 1);
    QTest::keyClick(window.get(), Qt::Key_F3);
    EXPECT_EQ(calls.searches.size(), 1);
}

TEST_F(MainWindowTest, TheKeyboardReachesEveryCommand)
{
    create();
    window->show();
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));

    // Tab visits the two big buttons and then the band's, each named for screen readers.
    QStringList visited;
    for (int i = 0; i < 5; ++i) {
        QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : window.get(),
                        Qt::Key_Tab);
        QWidget *focus = QApplication::focusWidget();
        ASSERT_NE(focus, nullptr);
        visited << focus->objectName();
        EXPECT_FALSE(focus->accessibleName().isEmpty()) << focus->objectName().toStdString();
        EXPECT_EQ(focus->accessibleName(), focus->toolTip()) << focus->objectName().toStdString();
    }
    EXPECT_EQ(QSet<QString>(visited.begin(), visited.end()),
              (QSet<QString>{QStringLiteral("btnPlus"), QStringLiteral("btnSearch"),
                             QStringLiteral("btnConsecutive"), QStringLiteral("btnOpenCD"),
                             QStringLiteral("btnCloseCD")}));
    const qsizetype plus = visited.indexOf(QStringLiteral("btnPlus"));
    EXPECT_EQ(visited.at((plus + 1) % 5), QStringLiteral("btnSearch"));
    EXPECT_EQ(visited.at((plus + 2) % 5), QStringLiteral("btnConsecutive"));

    // Enter on the focused add button adds.
    auto *add = window->findChild<QToolButton *>(QStringLiteral("btnPlus"));
    add->setFocus(Qt::TabFocusReason);
    calls.waitAnswers = {2};
    QTest::keyClick(add, Qt::Key_Return);
    EXPECT_TRUE(waitUntil([this] { return calls.waits == 1; }));

    // F10 opens the first menu.
    QTest::keyClick(add, Qt::Key_F10);
    auto *catalog = window->findChild<QMenu *>(QStringLiteral("mnuCatalog"));
    EXPECT_TRUE(waitUntil([catalog] { return catalog->isVisible(); }));
    catalog->close();

    // The window names itself by its heading; its title stays the program's name.
    EXPECT_EQ(window->accessibleName(), QStringLiteral("Main"));
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Ambrylog"));
}

TEST_F(MainWindowTest, ADriveBoundWhileRunningIsTakenOnActivationAndBeforeAnAdd)
{
    drives.removeDrive('D');
    create();
    ASSERT_EQ(gVars().readDeviceLetter, 0);
    // As after a wait that found no device.
    action("ActAdd")->setEnabled(false);
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));

    const QString folder = ambrytest::makeTempDir(QStringLiteral("bound"));
    drives.addFolderDrive('F', folder);
    // The user comes back to the window.
    QApplication::setActiveWindow(nullptr);
    QApplication::setActiveWindow(window.get());
    EXPECT_TRUE(waitUntil([] { return gVars().readDeviceLetter == 'F'; }));
    EXPECT_TRUE(action("ActAdd")->isEnabled());

    // Before each add too: the drive went away and another was bound meanwhile.
    drives.removeDrive('F');
    drives.addFolderDrive('G', folder);
    calls.waitAnswers = {2};
    action("ActAdd")->trigger();
    EXPECT_EQ(calls.waits, 1);
    EXPECT_EQ(gVars().readDeviceLetter, 'G');
}

TEST_F(MainWindowTest, EscThatClosedADialogDoesNotMinimiseTheProgram)
{
    create();
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    {
        // A dialog over the window ends on the press of Esc; the release lands in the window.
        QDialog box(window.get());
        box.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&box));
        QTest::keyPress(&box, Qt::Key_Escape);
        EXPECT_FALSE(box.isVisible());
        QTest::keyRelease(window.get(), Qt::Key_Escape);
    }
    QCoreApplication::processEvents();
    EXPECT_FALSE(window->isMinimized());
    EXPECT_TRUE(window->isVisible());
}

TEST_F(MainWindowTest, HelpAndWebItemsOpenTheirAddresses)
{
    RecordingShell shell;
    setShellForTesting(&shell);
    create();
    const struct
    {
        const char *item;
        QString target;
    } table[] = {
        {"mnuProgramHelp", links::manualUrl(links::HelpAnchor)},
        {"mnuFaq", links::manualUrl(links::FaqAnchor)},
        {"mnuHomePage", links::HomePage},
        {"mnuCheckUpdate", links::HomePage},
        {"mnuOtherProducts", links::OtherProducts},
        {"mnuNewsletter", links::Newsletter},
        {"mnuResellers", links::Resellers},
    };
    for (const auto &row : table) {
        shell.openedUrls.clear();
        action(row.item)->trigger();
        ASSERT_EQ(shell.openedUrls.size(), 1) << row.item;
        EXPECT_EQ(shell.openedUrls[0], QUrl(row.target)) << row.item;
    }

    // The manual next to the executable wins; the anchors lead to its sections.
    const QString dir = ambrytest::makeTempDir(QStringLiteral("exe"));
    ambrytest::writeFile(dir + QStringLiteral("/manual.html"), "<html></html>");
    const QString savedFolder = gVars().programFolder;
    gVars().programFolder = dir + QLatin1Char('/');
    shell.openedUrls.clear();
    action("mnuProgramHelp")->trigger();
    action("mnuFaq")->trigger();
    gVars().programFolder = savedFolder;
    ASSERT_EQ(shell.openedUrls.size(), 2);
    EXPECT_EQ(shell.openedUrls[0].toLocalFile(), QDir(dir).filePath(QStringLiteral("manual.html")));
    EXPECT_EQ(shell.openedUrls[0].fragment(), QStringLiteral("help"));
    EXPECT_EQ(shell.openedUrls[1].fragment(), QStringLiteral("faq"));

    shell.openedUrls.clear();
    action("mnuTellFriend")->trigger();
    ASSERT_EQ(shell.openedUrls.size(), 1);
    EXPECT_EQ(shell.openedUrls[0], composeMailUrl(QString(), QStringLiteral("Ambrylog..."), links::HomePage));
    setShellForTesting(nullptr);
}

TEST_F(MainWindowTest, BackupRestoreAndMergeItemsOpenTheirFileDialogs)
{
    MessageBoxRecorder boxes;
    create();
    QList<bool> saves;
    setZipFileChooserForTesting([&](bool save, const QString &) {
        saves.append(save);
        return QString(); // Cancel
    });
    for (const char *name : {"mnuBackup", "mnuRestore", "mnuMerge"})
        action(name)->trigger();
    setZipFileChooserForTesting(nullptr);
    EXPECT_EQ(saves, (QList<bool>{true, false, false}));
    EXPECT_TRUE(boxes.boxes.isEmpty());
}

TEST_F(MainWindowTest, OpenCatalogOpensTheBrowser)
{
    MessageBoxRecorder boxes;
    create();
    action("ActCatalog")->trigger();
    EXPECT_EQ(calls.catalogs, 1);
    EXPECT_TRUE(boxes.boxes.isEmpty());
}

TEST_F(MainWindowTest, ReadDeviceAndAboutOpenTheirWindows)
{
    create();
    action("mnuAbout")->trigger();
    EXPECT_EQ(calls.about, 1);
    // A wait without a read device turned adding off; choosing one turns it on again.
    action("ActAdd")->setEnabled(false);
    action("mnuSetDevice")->trigger();
    EXPECT_EQ(calls.setDevice, 1);
    EXPECT_FALSE(action("ActAdd")->isEnabled()) << "still no read device";
    calls.chosenReadDevice = 'Q';
    action("mnuSetDevice")->trigger();
    EXPECT_TRUE(action("ActAdd")->isEnabled());
    EXPECT_EQ(gVars().readDeviceLetter, 'Q');
}

TEST_F(MainWindowTest, ValueOfTheWrongKindIsReportedAndReadAsAbsent)
{
    // A switch stored as a number cannot be read as text; the window still comes up.
    ambrytest::writeFile(settingsFilePath(), "Windows Registry Editor Version 5.00\r\n\r\n"
                                             "[HKEY_CURRENT_USER\\SoftWare\\Brightfen\\Ambrylog\\S]\r\n"
                                             "\"Ssti\"=dword:00000001\r\n"
                                             "\"PromptOnExit\"=hex:54,00\r\n\r\n");
    MessageBoxRecorder boxes;
    create();
    EXPECT_TRUE(action("mnuShowTrayIcon")->isChecked());
    EXPECT_TRUE(action("mnuPromptOnExit")->isChecked());
    ASSERT_EQ(boxes.boxes.size(), 2);
    EXPECT_EQ(boxes.boxes[0].first, MsgKind::Error);
    EXPECT_EQ(boxes.boxes[0].second, QStringLiteral("Invalid data type for 'PromptOnExit'"));
    EXPECT_EQ(boxes.boxes[1].second, QStringLiteral("Invalid data type for 'Ssti'"));
    QFile::remove(settingsFilePath());
}

TEST_F(MainWindowTest, PlacementIsRestoredKeptReachableAndSavedAfterAMove)
{
    const QSize screen = QGuiApplication::primaryScreen()->geometry().size();
    const auto store = [](const char *suffix, const QString &value) {
        const QString name = QStringLiteral("frmMain") + QLatin1String(suffix);
        if (value.isNull())
            DeleteSetting(RegKey::Wp, name);
        else
            WriteSetting(RegKey::Wp, name, value);
    };
    const struct
    {
        QString left, top; // null: absent
        int expectLeft;    // -1: centred
        int expectTop;
    } table[] = {
        {QString(), QString(), -1, -1},
        {QStringLiteral("40"), QStringLiteral("30"), 40, 30},
        {QString::number(screen.width() + 1), QStringLiteral("30"), 0, 30},          // beyond the far edge
        {QString::number(screen.width()), QStringLiteral("30"), screen.width(), 30}, // exactly at it: stays
        {QStringLiteral("-5000"), QStringLiteral("-20"), 0, -20}, // wholly left / partly above
        {QStringLiteral("12"), QStringLiteral("-5000"), 12, 0},
    };
    for (const auto &row : table) {
        store("-l", row.left);
        store("-t", row.top);
        create();
        const int centredLeft = (screen.width() - window->width()) / 2;
        const int centredTop = (screen.height() - window->height()) / 2;
        EXPECT_EQ(window->x(), row.expectLeft < 0 ? centredLeft : row.expectLeft) << row.left.toStdString();
        EXPECT_EQ(window->y(), row.expectLeft < 0 ? centredTop : row.expectTop) << row.top.toStdString();
    }

    // A bad number ends the reading: the top is not applied either.
    store("-l", QStringLiteral("abc"));
    store("-t", QStringLiteral("77"));
    create();
    EXPECT_NE(window->y(), 77);

    // Moving the shown window writes the place once it comes to rest.
    store("-l", QString());
    store("-t", QString());
    create();
    window->show();
    window->move(33, 44);
    EXPECT_TRUE(waitUntil(
        [] { return ReadSetting(RegKey::Wp, QStringLiteral("frmMain-l")) == QLatin1String("33"); }));
    EXPECT_EQ(ReadSetting(RegKey::Wp, QStringLiteral("frmMain-t")), QStringLiteral("44"));
    EXPECT_EQ(ReadSetting(RegKey::Wp, QStringLiteral("frmMain-w")), QString::number(window->width()));
    EXPECT_TRUE(ReadSetting(RegKey::Wp, QStringLiteral("frmMain-m")).isEmpty());
    create();
    EXPECT_EQ(window->pos(), QPoint(33, 44));
    for (const char *suffix : {"-l", "-t", "-w", "-h"})
        store(suffix, QString());
}

} // namespace
