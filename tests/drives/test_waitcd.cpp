#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "TestSupport.h"
#include "drives/DriveSystem.h"
#include "drives/gui/fmWaitCD.h"
#include "drives/testing/FakeDriveSystem.h"
#include "helper_drivetest.h"
#include "settings/gRegistry.h"
#include "settings/gVars.h"

using ambrytest::makeTempDir;
using ambrytest::writeFile;

namespace {

QList<TfrmWaitCD *> openWaitWindows()
{
    QList<TfrmWaitCD *> out;
    const QWidgetList all = QApplication::topLevelWidgets();
    for (QWidget *w : all)
        if (auto *f = qobject_cast<TfrmWaitCD *>(w); f && f->isVisible())
            out.append(f);
    return out;
}

// What a test saw of the open window.
struct Seen
{
    bool found = false;
    TfrmWaitCD::State state = TfrmWaitCD::State::Waiting;
    QString message;
    QString heading;
    QString caption;
    bool okVisible = false, okEnabled = false, cancelVisible = false, cancelEnabled = false;
    bool okFocused = false;
};

Seen look(TfrmWaitCD *w)
{
    Seen s;
    s.found = true;
    s.state = w->state();
    s.message = w->findChild<QLabel *>(QStringLiteral("lblMsg"))->text();
    s.heading = w->findChild<QLabel *>(QStringLiteral("Label2"))->text();
    s.caption = w->windowTitle();
    auto *ok = w->findChild<QPushButton *>(QStringLiteral("btnOk"));
    auto *cancel = w->findChild<QPushButton *>(QStringLiteral("btnCancel"));
    s.okVisible = ok->isVisible();
    s.okEnabled = ok->isEnabled();
    s.cancelVisible = cancel->isVisible();
    s.cancelEnabled = cancel->isEnabled();
    s.okFocused = w->focusWidget() == ok;
    return s;
}

// Runs a wait; `act` runs once the window is up (after `delayMs`) and may look and act on it.
ModalResult runWait(const QString &message, std::function<void(TfrmWaitCD *)> act, int delayMs = 0,
                    const QString &hint = QString())
{
    QTimer::singleShot(delayMs, qApp, [act] {
        const QList<TfrmWaitCD *> open = openWaitWindows();
        if (open.size() == 1)
            act(open.front());
    });
    return WaitForDisc(message, hint);
}

QPushButton *button(TfrmWaitCD *w, const char *name)
{
    return w->findChild<QPushButton *>(QString::fromLatin1(name));
}

const QString kDefaultRequest = QStringLiteral("Please insert CD or DVD in CD/DVD ROM device and close it.");

class WaitWindow : public ::testing::Test
{
protected:
    void SetUp() override
    {
        fake.addFixedDrive('C');
        fake.addOpticalDrive('D');
        fake.addOpticalDrive('F');
        setDriveSystemForTesting(&fake);
        gVars().readDeviceLetter = 'D';
        WriteSetting(RegKey::V, QStringLiteral("HostageFile"), QString());
        setNoReadDeviceHandler({});
    }
    void TearDown() override
    {
        setDriveSystemForTesting(nullptr);
        setNoReadDeviceHandler({});
        gVars().readDeviceLetter = 0;
    }
    QString hostage() { return ReadSetting(RegKey::V, QStringLiteral("HostageFile")); }
    // A hostage file that exists, as a disc walk leaves it.
    QString makeHostage()
    {
        const QString path = makeTempDir(QStringLiteral("disc")) + QStringLiteral("/readme.txt");
        writeFile(path, "r");
        WriteSetting(RegKey::V, QStringLiteral("HostageFile"), path);
        return path;
    }
    FakeDriveSystem fake;
};

TEST_F(WaitWindow, EmptyDriveOpensTheTrayAndOkClosesIt)
{
    Seen seen;
    const ModalResult result = runWait(QString(), [&seen](TfrmWaitCD *w) {
        seen = look(w);
        QTest::mouseClick(button(w, "btnOk"), Qt::LeftButton);
    });
    EXPECT_EQ(result, ModalResult::Ok);
    ASSERT_TRUE(seen.found);
    EXPECT_EQ(seen.state, TfrmWaitCD::State::Waiting);
    EXPECT_EQ(seen.message, kDefaultRequest);
    EXPECT_EQ(seen.heading, QStringLiteral("Waiting for the user to insert a CD/DVD"));
    EXPECT_EQ(seen.caption, QStringLiteral("Ambrylog"));
    EXPECT_TRUE(seen.okVisible && seen.okEnabled && seen.cancelVisible && seen.cancelEnabled);
    EXPECT_TRUE(seen.okFocused);
    EXPECT_EQ(fake.doorCalls(), QStringList({QStringLiteral("open D"), QStringLiteral("close D")}));
}

TEST_F(WaitWindow, CallersMessageAndCancel)
{
    Seen seen;
    const QString request = QStringLiteral("Insert CD/DVD marked: Holidays 2019");
    const ModalResult result = runWait(request, [&seen](TfrmWaitCD *w) {
        seen = look(w);
        QTest::mouseClick(button(w, "btnCancel"), Qt::LeftButton);
    });
    EXPECT_EQ(result, ModalResult::Cancel);
    EXPECT_EQ(seen.message, request);
    EXPECT_EQ(gVars().waitMessage, request);                            // kept until the next call
    EXPECT_EQ(fake.doorCalls(), QStringList{QStringLiteral("open D")}); // Cancel leaves the tray
}

TEST_F(WaitWindow, WhereTheDiscIsKeptShowsUnderTheRequest)
{
    Seen seen;
    const QString request = QStringLiteral("Insert CD/DVD marked: Holidays 2019");
    const QString keptAt = DiscWait::keptAt(QStringLiteral("Shelf B, box 3"), QString());
    runWait(
        request,
        [&seen](TfrmWaitCD *w) {
            seen = look(w);
            QTest::mouseClick(button(w, "btnCancel"), Qt::LeftButton);
        },
        0, keptAt);
    EXPECT_EQ(seen.message, request + QStringLiteral("\nKept at: Shelf B, box 3"));
}

TEST_F(WaitWindow, EscapeCancelsFromAnyFocus)
{
    for (const char *focus : {"btnOk", "btnCancel", "lblMsg"}) {
        const ModalResult result = runWait(QString(), [focus](TfrmWaitCD *w) {
            if (QWidget *c = w->findChild<QWidget *>(QString::fromLatin1(focus)))
                c->setFocus();
            QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : w, Qt::Key_Escape);
        });
        EXPECT_EQ(result, ModalResult::Cancel) << focus;
    }
}

TEST_F(WaitWindow, FreshDiscClosesByItselfAfterHalfASecond)
{
    fake.setReady('D', true);
    WriteSetting(RegKey::V, QStringLiteral("HostageFile"), makeTempDir() + QStringLiteral("/gone.txt"));
    Seen seen;
    QElapsedTimer clock;
    clock.start();
    const ModalResult result = runWait(
        QString(), [&seen](TfrmWaitCD *w) { seen = look(w); }, 100);
    const qint64 took = clock.elapsed();
    EXPECT_EQ(result, ModalResult::Ok);
    EXPECT_GE(took, 450);
    EXPECT_LT(took, 3000);
    ASSERT_TRUE(seen.found);
    EXPECT_EQ(seen.state, TfrmWaitCD::State::DiscPresent);
    EXPECT_EQ(seen.message, QStringLiteral("CD/DVD... inserted!"));
    EXPECT_FALSE(seen.okVisible);
    EXPECT_FALSE(seen.cancelVisible);
    EXPECT_TRUE(fake.doorCalls().isEmpty()); // the tray stays shut
}

TEST_F(WaitWindow, ArrivalWhileTheWindowIsStillComingUpEndsTheWait)
{
    // The "inserted" state lets pending events run while the window is being shown; an
    // arrival delivered then must end the wait, not leave it running behind a hidden window.
    fake.setReady('D', true);
    bool delivered = false;
    bool rescued = false;
    QObject guard;
    QTimer::singleShot(0, &guard, [&] { delivered = fake.emitArrival('D'); });
    QTimer::singleShot(3000, &guard, [&] {
        const QWidgetList all = QApplication::topLevelWidgets();
        for (QWidget *w : all)
            if (auto *f = qobject_cast<TfrmWaitCD *>(w)) {
                rescued = true;
                f->show();
                f->btnCancelClick();
            }
    });
    QElapsedTimer clock;
    clock.start();
    const ModalResult result = WaitForDisc(QString());
    EXPECT_TRUE(delivered);
    EXPECT_FALSE(rescued) << "the wait did not end by itself";
    EXPECT_EQ(result, ModalResult::Ok);
    EXPECT_LT(clock.elapsed(), 2000);
    EXPECT_TRUE(fake.doorCalls().isEmpty());
}

TEST_F(WaitWindow, TheDiscScannedLastIsAHostageAndTheTrayOpens)
{
    fake.setReady('D', true);
    makeHostage();
    Seen seen;
    const ModalResult result = runWait(QString(), [&seen](TfrmWaitCD *w) {
        seen = look(w);
        w->btnCancelClick();
    });
    EXPECT_EQ(result, ModalResult::Cancel);
    EXPECT_EQ(seen.state, TfrmWaitCD::State::Waiting);
    EXPECT_EQ(seen.message, kDefaultRequest);
    EXPECT_EQ(fake.doorCalls(), QStringList{QStringLiteral("open D")});
}

TEST_F(WaitWindow, NoReadDevice)
{
    for (char letter : {'\0', '7'}) { // none, and a stored letter that names no drive
        gVars().readDeviceLetter = letter;
        int handlerCalls = 0;
        setNoReadDeviceHandler([&handlerCalls] { ++handlerCalls; });
        Seen seen;
        const ModalResult result = runWait(QStringLiteral("Insert CD/DVD marked: X"), [&seen](TfrmWaitCD *w) {
            seen = look(w);
            QTest::mouseClick(button(w, "btnOk"), Qt::LeftButton); // disabled: nothing happens
            if (!openWaitWindows().isEmpty())
                QTest::keyClick(w, Qt::Key_Escape);
        });
        EXPECT_EQ(result, ModalResult::Cancel) << int(letter);
        EXPECT_EQ(seen.state, TfrmWaitCD::State::NoDevice);
        // The Part's text first; under it how a folder becomes a drive.
        const QStringList lines = seen.message.split(QLatin1Char('\n'));
        ASSERT_EQ(lines.size(), 2);
        EXPECT_EQ(lines[0], QStringLiteral("No device installed!"));
        EXPECT_TRUE(lines[1].contains(QStringLiteral("drives bind"))) << lines[1].toStdString();
        EXPECT_FALSE(seen.okEnabled);
        EXPECT_FALSE(seen.okFocused);
        EXPECT_TRUE(seen.cancelVisible && seen.cancelEnabled);
        EXPECT_EQ(handlerCalls, 1);
        EXPECT_TRUE(fake.doorCalls().isEmpty());
    }
}

TEST_F(WaitWindow, ArrivalInTheReadDeviceClosesWithOk)
{
    for (char readDevice : {'D', 'd'}) {
        gVars().readDeviceLetter = readDevice;
        makeHostage();
        bool delivered = false;
        const ModalResult result =
            runWait(QString(), [this, &delivered](TfrmWaitCD *) { delivered = fake.emitArrival('D'); });
        EXPECT_TRUE(delivered);
        EXPECT_EQ(result, ModalResult::Ok) << readDevice;
        EXPECT_EQ(hostage(), QString());
    }
}

TEST_F(WaitWindow, ArrivalElsewhereOnlyFreesTheHostage)
{
    makeHostage();
    bool stillOpen = false;
    QString hostageAfter = QStringLiteral("unchanged");
    const ModalResult result = runWait(QString(), [&](TfrmWaitCD *w) {
        fake.emitArrival('F');
        QCoreApplication::processEvents();
        stillOpen = openWaitWindows().contains(w);
        hostageAfter = hostage();
        w->btnCancelClick();
    });
    EXPECT_EQ(result, ModalResult::Cancel);
    EXPECT_TRUE(stillOpen);
    EXPECT_EQ(hostageAfter, QString());
}

TEST_F(WaitWindow, NoticeWithoutTheMediaFlagChangesNothing)
{
    const QString path = makeHostage();
    bool stillOpen = false;
    const ModalResult result = runWait(QString(), [&](TfrmWaitCD *w) {
        VolumeNotice plugged;
        plugged.unitMask = 1u << ('D' - 'A');
        plugged.flags = 0;
        fake.emitNotice(plugged);
        VolumeNotice nothing;
        nothing.flags = VolumeNoticeMediaFlag;
        fake.emitNotice(nothing);
        QCoreApplication::processEvents();
        stillOpen = openWaitWindows().contains(w);
        w->btnCancelClick();
    });
    EXPECT_EQ(result, ModalResult::Cancel);
    EXPECT_TRUE(stillOpen);
    EXPECT_EQ(hostage(), path);
}

TEST_F(WaitWindow, SecondWaitWhileOneIsOpenIsCancelledAtOnce)
{
    ModalResult inner = ModalResult::None;
    int windowsDuringInner = 0;
    const ModalResult outer = runWait(QString(), [&](TfrmWaitCD *w) {
        QTimer::singleShot(0, qApp, [&] { windowsDuringInner = int(openWaitWindows().size()); });
        inner = WaitForDisc(QStringLiteral("second"));
        w->btnOkClick();
    });
    EXPECT_EQ(outer, ModalResult::Ok);
    EXPECT_EQ(inner, ModalResult::Cancel);
    EXPECT_LE(windowsDuringInner, 1);
    EXPECT_NE(gVars().waitMessage, QStringLiteral("second"));
}

TEST_F(WaitWindow, ArrivalsAreWatchedOnlyWhileTheWindowIsOpen)
{
    EXPECT_FALSE(fake.emitArrival('D'));
    bool startedWhileOpen = false;
    runWait(QString(), [&](TfrmWaitCD *w) {
        startedWhileOpen = fake.mediaMonitor()->isStarted();
        w->btnCancelClick();
    });
    EXPECT_TRUE(startedWhileOpen);
    EXPECT_FALSE(fake.mediaMonitor()->isStarted());
    EXPECT_EQ(fake.monitorStarts(), 1);
    EXPECT_EQ(fake.monitorStops(), 1);
    EXPECT_FALSE(fake.emitArrival('D'));
}

TEST_F(WaitWindow, LookOfTheWindow)
{
    TfrmWaitCD w;
    w.show();
    QCoreApplication::processEvents();
    QWidget *top = w.findChild<QWidget *>(QStringLiteral("Panel2"));
    QWidget *bottom = w.findChild<QWidget *>(QStringLiteral("Panel1"));
    auto *heading = w.findChild<QLabel *>(QStringLiteral("Label2"));
    auto *msg = w.findChild<QLabel *>(QStringLiteral("lblMsg"));
    ASSERT_TRUE(top && bottom && heading && msg);
    EXPECT_EQ(top->height(), 25);
    EXPECT_EQ(top->geometry().top(), 0);
    EXPECT_EQ(top->palette().color(QPalette::Window), QColor(0, 95, 140));
    EXPECT_EQ(bottom->palette().color(QPalette::Window), QColor(0, 95, 140));
    EXPECT_EQ(bottom->geometry().bottom(), w.height() - 1);
    EXPECT_EQ(heading->palette().color(QPalette::WindowText), QColor(249, 253, 255));
    EXPECT_EQ(heading->font().pixelSize(), 16);
    // The client area is white with dark text whatever the desktop theme says.
    EXPECT_EQ(w.palette().color(QPalette::Window), QColor(Qt::white));
    EXPECT_LT(msg->palette().color(QPalette::WindowText).lightness(), 60);
    EXPECT_TRUE(msg->font().bold());
    EXPECT_TRUE(msg->wordWrap());
    EXPECT_EQ(msg->alignment(), Qt::AlignCenter);
    // The buttons sit at the right of the bottom bar, OK before Cancel.
    auto *ok = button(&w, "btnOk");
    auto *cancel = button(&w, "btnCancel");
    EXPECT_LT(ok->geometry().right(), cancel->geometry().left());
    EXPECT_GT(cancel->geometry().right(), bottom->width() - 20);
    EXPECT_GT(ok->geometry().left(), bottom->width() / 2);
    EXPECT_EQ(w.minimumSize(), w.maximumSize()); // fixed size
    w.reject();
}

// Every state shows its whole message in the fixed window, dark on white on a dark desktop
// too. With AMBRY_GRAB_DIR set it also saves a picture of each state for a person to look at.
TEST_F(WaitWindow, EveryStateShowsItsWholeMessage)
{
    const QString dir = qEnvironmentVariable("AMBRY_GRAB_DIR");
    int checked = 0;
    const auto check = [&](const QString &name, TfrmWaitCD::State state) {
        return [&, name, state](TfrmWaitCD *w) {
            SCOPED_TRACE(name.toStdString());
            ++checked;
            auto *msg = w->findChild<QLabel *>(QStringLiteral("lblMsg"));
            EXPECT_EQ(w->state(), state);
            EXPECT_FALSE(msg->text().isEmpty());
            EXPECT_LE(msg->heightForWidth(msg->width()), msg->height()) << "the message is cut off";
            EXPECT_TRUE(w->rect().contains(QRect(msg->mapTo(w, QPoint(0, 0)), msg->size())));
            EXPECT_EQ(msg->palette().color(QPalette::Window), QColor(Qt::white));
            EXPECT_LT(msg->palette().color(QPalette::WindowText).lightness(), 60);
            if (!dir.isEmpty())
                w->grab().save(dir + QLatin1Char('/') + name + QStringLiteral(".png"));
            w->btnCancelClick();
        };
    };
    using State = TfrmWaitCD::State;
    runWait(
        QStringLiteral("Insert CD/DVD marked: Holidays 2019 (the second disc of the set, with the photos)"),
        check(QStringLiteral("waiting"), State::Waiting), 0,
        DiscWait::keptAt(QStringLiteral("Shelf B, box 3"), QString()));
    runWait(QString(), check(QStringLiteral("waiting-default"), State::Waiting));
    gVars().readDeviceLetter = 0;
    runWait(QString(), check(QStringLiteral("nodevice"), State::NoDevice));
    gVars().readDeviceLetter = 'D';
    fake.setReady('D', true);
    runWait(QString(), check(QStringLiteral("present"), State::DiscPresent), 100);
    fake.setReady('D', false);
    const QPalette before = QApplication::palette();
    QPalette dark = before;
    dark.setColor(QPalette::Window, QColor(40, 40, 40));
    dark.setColor(QPalette::WindowText, QColor(230, 230, 230));
    dark.setColor(QPalette::Button, QColor(60, 60, 60));
    dark.setColor(QPalette::ButtonText, QColor(230, 230, 230));
    QApplication::setPalette(dark);
    runWait(QString(), check(QStringLiteral("waiting-dark"), State::Waiting));
    QApplication::setPalette(before);
    EXPECT_EQ(checked, 5) << "a state's window did not come up";
}

TEST(WaitWindowFolderDrive, FolderMadeReadyWhileWaitingClosesWithOk)
{
    // The real drive system and its real monitor, with a folder drive bound in the settings.
    setDriveSystemForTesting(nullptr);
    clearFolderDrives();
    const QString folder = makeTempDir(QStringLiteral("folderdrive"));
    bindFolderDrive('Q', folder);
    gVars().readDeviceLetter = 'Q';
    WriteSetting(RegKey::V, QStringLiteral("HostageFile"), QString());

    Seen seen;
    QElapsedTimer clock;
    const ModalResult result = runWait(QString(), [&](TfrmWaitCD *w) {
        seen = look(w);
        clock.start();
        writeFile(folder + QStringLiteral("/track.txt"), "t");
    });
    EXPECT_EQ(result, ModalResult::Ok);
    EXPECT_EQ(seen.state, TfrmWaitCD::State::Waiting);
    EXPECT_LT(clock.elapsed(), 1500);
    gVars().readDeviceLetter = 0;
    clearFolderDrives();
}

} // namespace
