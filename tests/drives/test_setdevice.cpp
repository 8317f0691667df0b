#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QDir>
#include <QListView>
#include <QMenu>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "TestSupport.h"
#include "drives/DriveSystem.h"
#include "drives/LinuxDriveSystem.h"
#include "drives/gui/fmSetDevice.h"
#include "drives/testing/FakeDriveSystem.h"
#include "helper_drivetest.h"
#include "helper_fakeplatform.h"
#include "settings/gRegistry.h"
#include "settings/gVars.h"
#include "util/Mnemonics.h"
#include "util/gui/MessageBox.h"

namespace {

class SetDeviceWindow : public ::testing::Test
{
public:
    void SetUp() override
    {
        fake.addFixedDrive('C');
        fake.addOpticalDrive('D');
        fake.addOpticalDrive('F');
        setDriveSystemForTesting(&fake);
        DeleteSetting(RegKey::V, RegName::DefaultDeviceDrive);
        gVars().readDeviceLetter = 0;
    }
    void TearDown() override
    {
        window.reset();
        setDriveSystemForTesting(nullptr);
        DeleteSetting(RegKey::V, RegName::DefaultDeviceDrive);
        TfrmSetDevice::setFolderChooser({});
        setMessageBoxHandler(nullptr);
        gVars().readDeviceLetter = 0;
    }

    // Shows the window and lets it become active, as opening it does.
    void open()
    {
        window = std::make_unique<TfrmSetDevice>();
        window->show();
        window->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    }
    QListView *list() const { return window->findChild<QListView *>(QStringLiteral("ListView1")); }
    QPushButton *button(const char *name) const
    {
        return window->findChild<QPushButton *>(QString::fromLatin1(name));
    }
    QAction *action(const char *name) const
    {
        return window->findChild<QAction *>(QString::fromLatin1(name));
    }
    QString marks() const
    {
        QString out;
        for (const ReadDeviceRow &r : window->rows().rows())
            out += QLatin1Char(r.letter) + QString(r.marked ? QStringLiteral("*") : QString());
        return out;
    }
    char selected() const
    {
        const QModelIndexList rows = list()->selectionModel()->selectedIndexes();
        return rows.size() == 1 ? window->rows().rows().at(rows.front().row()).letter : 0;
    }
    void select(char letter)
    {
        for (int i = 0; i < window->rows().count(); ++i)
            if (window->rows().rows().at(i).letter == letter)
                list()->setCurrentIndex(list()->model()->index(i, 0));
    }
    QString stored() const { return ReadSetting(RegKey::V, RegName::DefaultDeviceDrive); }

    FakeDriveSystem fake;
    std::unique_ptr<TfrmSetDevice> window;
};

} // namespace

TEST_F(SetDeviceWindow, ControlsAndPopupMenu)
{
    open();
    EXPECT_EQ(window->objectName(), QStringLiteral("frmSetDevice"));
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Ambrylog"));
    auto *menu = window->findChild<QMenu *>(QStringLiteral("PopupMenu1"));
    ASSERT_NE(menu, nullptr);
    QStringList items;
    for (QAction *a : menu->actions())
        items << (a->isSeparator() ? QStringLiteral("-")
                                   : a->objectName() + QLatin1Char('=') + shownText(a->text()));
    EXPECT_EQ(items,
              QStringList({QStringLiteral("ActSetDefault=Set as Default Read Device"), QStringLiteral("-"),
                           QStringLiteral("ActEject=Eject CD/DVD"), QStringLiteral("ActClose=Close CD/DVD"),
                           QStringLiteral("-"), QStringLiteral("ActBindFolder=Bind Folder as Drive..."),
                           QStringLiteral("ActUnbindFolder=Unbind Folder Drive")}));
    EXPECT_EQ(menu->defaultAction(), action("ActSetDefault"));
    EXPECT_EQ(button("btnOk")->text(), QStringLiteral("OK"));
    EXPECT_EQ(button("btnCancel")->text(), QStringLiteral("Cancel"));
    EXPECT_EQ(list()->viewMode(), QListView::IconMode);
    EXPECT_EQ(list()->model()->index(0, 0).data().toString(), QStringLiteral("D:\\"));
}

TEST_F(SetDeviceWindow, StoredLetterIsMarkedAndOkStoresTheMarkedDrive)
{
    WriteSetting(RegKey::V, RegName::DefaultDeviceDrive, QStringLiteral("f"));
    open();
    EXPECT_EQ(marks(), QStringLiteral("DF*"));
    EXPECT_EQ(selected(), 'F');
    EXPECT_TRUE(list()->hasFocus());
    EXPECT_TRUE(button("btnOk")->isEnabled());
    EXPECT_TRUE(action("ActSetDefault")->isEnabled());
    QTest::mouseClick(button("btnOk"), Qt::LeftButton);
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(window->result(), QDialog::Accepted);
    EXPECT_EQ(stored(), QStringLiteral("F"));
    EXPECT_EQ(gVars().readDeviceLetter, 'F');
}

TEST_F(SetDeviceWindow, SpaceEnterDoubleClickAndTheMenuMoveTheMarker)
{
    open();
    EXPECT_EQ(marks(), QStringLiteral("D*F")) << "nothing stored: the first CD/DVD drive";
    select('F');
    QTest::keyClick(list(), Qt::Key_Space);
    EXPECT_EQ(marks(), QStringLiteral("DF*"));
    select('D');
    QTest::keyClick(list(), Qt::Key_Return);
    EXPECT_EQ(marks(), QStringLiteral("D*F"));
    EXPECT_TRUE(window->isVisible()) << "Enter marks without closing";
    select('F');
    const QRect rect = list()->visualRect(list()->currentIndex());
    QTest::mouseMove(list()->viewport(), rect.center());
    // A double click comes after a first click on the same row.
    QTest::mouseClick(list()->viewport(), Qt::LeftButton, {}, rect.center());
    QTest::mouseDClick(list()->viewport(), Qt::LeftButton, {}, rect.center());
    EXPECT_EQ(marks(), QStringLiteral("DF*"));
    select('D');
    action("ActSetDefault")->trigger();
    EXPECT_EQ(marks(), QStringLiteral("D*F"));

    // Without the focus in the list the commands do nothing.
    button("btnCancel")->setFocus();
    select('F');
    EXPECT_FALSE(action("ActSetDefault")->isEnabled());
    action("ActSetDefault")->trigger();
    EXPECT_EQ(marks(), QStringLiteral("D*F"));

    // The marker survives the window losing and regaining the activation.
    QWidget other;
    other.show();
    other.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&other));
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    EXPECT_EQ(marks(), QStringLiteral("D*F"));
    EXPECT_TRUE(stored().isEmpty()) << "nothing is stored before OK";
}

TEST_F(SetDeviceWindow, CancelEscAndTheCloseBoxStoreNothing)
{
    WriteSetting(RegKey::V, RegName::DefaultDeviceDrive, QStringLiteral("D"));
    const struct
    {
        const char *how;
        std::function<void(SetDeviceWindow *)> close;
    } ways[] = {
        {"Cancel", [](SetDeviceWindow *t) { QTest::mouseClick(t->button("btnCancel"), Qt::LeftButton); }},
        {"Esc", [](SetDeviceWindow *t) { QTest::keyClick(t->list(), Qt::Key_Escape); }},
        {"close box", [](SetDeviceWindow *t) { t->window->close(); }},
    };
    for (const auto &way : ways) {
        open();
        select('F');
        QTest::keyClick(list(), Qt::Key_Space);
        ASSERT_EQ(marks(), QStringLiteral("DF*"));
        way.close(this);
        EXPECT_FALSE(window->isVisible()) << way.how;
        EXPECT_EQ(window->result(), QDialog::Rejected) << way.how;
        EXPECT_EQ(stored(), QStringLiteral("D")) << way.how;
    }
    // An Esc pressed elsewhere and released here does not close the window.
    open();
    QTest::keyRelease(list(), Qt::Key_Escape);
    EXPECT_TRUE(window->isVisible());
    // Esc in the popup menu closes the menu only; the next one closes the window.
    auto *menu = window->findChild<QMenu *>(QStringLiteral("PopupMenu1"));
    menu->popup(list()->mapToGlobal(QPoint(20, 20)));
    ASSERT_TRUE(QTest::qWaitForWindowExposed(menu));
    QTest::keyClick(menu, Qt::Key_Escape);
    EXPECT_FALSE(menu->isVisible());
    EXPECT_TRUE(window->isVisible());
    QTest::keyClick(list(), Qt::Key_Escape);
    EXPECT_FALSE(window->isVisible());
}

TEST_F(SetDeviceWindow, EjectAndCloseReachTheSelectedDrive)
{
    open();
    select('F');
    action("ActEject")->trigger();
    action("ActClose")->trigger();
    EXPECT_EQ(fake.doorCalls(), QStringList({QStringLiteral("open F"), QStringLiteral("close F")}));
}

TEST_F(SetDeviceWindow, NoDeviceLeavesOnlyCancel)
{
    fake.removeDrive('D');
    fake.removeDrive('F');
    open();
    EXPECT_EQ(window->rows().count(), 0);
    EXPECT_FALSE(button("btnOk")->isEnabled());
    EXPECT_EQ(list()->focusPolicy(), Qt::NoFocus);
    // Without a row to focus, the menu (and binding a folder) is reached from the buttons.
    QContextMenuEvent menuKey(QContextMenuEvent::Keyboard, QPoint(5, 5), QPoint(5, 5));
    QApplication::sendEvent(button("btnCancel"), &menuKey);
    auto *menu = window->findChild<QMenu *>(QStringLiteral("PopupMenu1"));
    EXPECT_TRUE(menu->isVisible());
    EXPECT_TRUE(action("ActBindFolder")->isEnabled());
    EXPECT_FALSE(action("ActSetDefault")->isEnabled());
    menu->hide();
    // The text is painted in the middle of the list, and again after every repaint.
    for (int round = 0; round < 2; ++round) {
        const QImage shot = list()->viewport()->grab().toImage();
        const QRect middle(shot.width() / 4, shot.height() / 2 - 8, shot.width() / 2, 20);
        int dark = 0;
        for (int y = middle.top(); y <= middle.bottom(); ++y)
            for (int x = middle.left(); x <= middle.right(); ++x)
                dark += qGray(shot.pixel(x, y)) < 128;
        EXPECT_GT(dark, 20) << "round " << round;
        window->resize(window->size());
        list()->viewport()->repaint();
    }
    // A screen reader cannot read what is painted: the list says it.
    EXPECT_TRUE(list()->accessibleDescription().contains(QStringLiteral("Bind Folder as Drive...")));
    fake.addOpticalDrive('D');
    QWidget other;
    other.show();
    other.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&other));
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    ASSERT_EQ(window->rows().count(), 1);
    EXPECT_TRUE(list()->accessibleDescription().isEmpty());
}

TEST_F(SetDeviceWindow, FolderDrivesAreBoundAndUnboundHere)
{
    // The real drive logic, so a binding shows as a drive.
    FakePlatform platform;
    LinuxDriveSystem real(&platform);
    setDriveSystemForTesting(&real);
    clearFolderDrives();
    const QString folder = ambrytest::makeTempDir(QStringLiteral("stick"));
    TfrmSetDevice::setFolderChooser([&folder](QWidget *) { return folder; });
    QStringList asked;
    setMessageBoxHandler([&asked](MsgKind, const QString &text) {
        asked << text;
        return MsgAnswer::Yes;
    });

    open();
    EXPECT_EQ(window->rows().count(), 0);
    EXPECT_TRUE(action("ActBindFolder")->isEnabled()) << "binding is possible on an empty list";
    action("ActBindFolder")->trigger();
    EXPECT_EQ(ReadSetting(RegKey::Drives, QStringLiteral("Z")), QDir::cleanPath(folder));
    EXPECT_EQ(marks(), QStringLiteral("Z"));
    EXPECT_EQ(selected(), 'Z');
    EXPECT_TRUE(button("btnOk")->isEnabled());
    EXPECT_TRUE(action("ActUnbindFolder")->isEnabled());
    QTest::keyClick(list(), Qt::Key_Space);
    QTest::mouseClick(button("btnOk"), Qt::LeftButton);
    EXPECT_EQ(stored(), QStringLiteral("Z"));
    EXPECT_EQ(gVars().readDeviceLetter, 'Z');

    open();
    action("ActUnbindFolder")->trigger();
    ASSERT_EQ(asked.size(), 1);
    EXPECT_TRUE(asked.front().contains(QStringLiteral("Z:\\"))) << asked.front().toStdString();
    EXPECT_EQ(window->rows().count(), 0);
    EXPECT_TRUE(ReadSetting(RegKey::Drives, QStringLiteral("Z")).isEmpty());
    EXPECT_EQ(gVars().readDeviceLetter, 0) << "no read device until one is marked";
    EXPECT_TRUE(stored().isEmpty());
    clearFolderDrives();
}

TEST_F(SetDeviceWindow, OpeningIsModalAndOnlyOnce)
{
    int inner = -1;
    QTimer::singleShot(0, qApp, [&inner] {
        inner = ShowSetDeviceWindow(); // a second opening returns at once
        ASSERT_NE(TfrmSetDevice::instance(), nullptr);
        ASSERT_TRUE(QTest::qWaitForWindowActive(TfrmSetDevice::instance()));
        TfrmSetDevice::instance()->btnOkClick();
    });
    EXPECT_EQ(ShowSetDeviceWindow(), QDialog::Accepted);
    EXPECT_EQ(inner, 0);
    EXPECT_EQ(TfrmSetDevice::instance(), nullptr);
    EXPECT_EQ(stored(), QStringLiteral("D"));
}
