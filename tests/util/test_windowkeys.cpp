#include <gtest/gtest.h>

#include "TestSupport.h"
#include "util/gui/KeyReleaseRule.h"
#include "util/gui/WindowKeys.h"
#include "util/gui/WindowLook.h"

#include <QApplication>
#include <QDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QPushButton>
#include <QSignalSpy>
#include <QStyleOption>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

#include <memory>

namespace {

// A window that counts the Esc releases it acts on, the way the program's windows do.
class ReleaseWindow : public QWidget
{
public:
    ReleaseWindow()
    {
        rule = new KeyReleaseRule(this);
        edit = new QLineEdit(this);
        auto *layout = new QVBoxLayout(this);
        layout->addWidget(edit);
    }
    KeyReleaseRule *rule;
    QLineEdit *edit;
    int acted = 0;

protected:
    void keyReleaseEvent(QKeyEvent *event) override
    {
        if (event->key() == Qt::Key_Escape && rule->accepts(event))
            ++acted;
    }
};

} // namespace

TEST(KeyReleaseRule, ActsOnlyOnReleasesWhosePressReachedTheSameWindow)
{
    ReleaseWindow window;
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));

    // Pressed and released in the window; a press that a child control received counts too.
    QTest::keyPress(&window, Qt::Key_Escape);
    QTest::keyRelease(&window, Qt::Key_Escape);
    EXPECT_EQ(window.acted, 1);
    QTest::keyPress(window.edit, Qt::Key_Escape);
    QTest::keyRelease(&window, Qt::Key_Escape);
    EXPECT_EQ(window.acted, 2);

    // A release without a press here, and a second release of one press, do nothing.
    QTest::keyRelease(&window, Qt::Key_Escape);
    EXPECT_EQ(window.acted, 2);

    // Esc pressed in a dialog above closes it on the press; its release then reaches the window.
    {
        QDialog box(&window);
        box.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&box));
        QTest::keyPress(&box, Qt::Key_Escape);
        EXPECT_FALSE(box.isVisible());
        QTest::keyRelease(&window, Qt::Key_Escape);
        EXPECT_EQ(window.acted, 2) << "the release of a press that closed another window";
    }

    // A menu opened with Alt+C and closed with Esc leaves the menu bar waiting for keys: the
    // next Esc leaves the menu bar and nothing else.
    {
        auto *bar = new QMenuBar(&window);
        bar->addMenu(QStringLiteral("&Catalog"))->addAction(QStringLiteral("Open"));
        bar->show();
        window.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
        window.edit->setFocus();
        QTest::keyClick(window.edit, Qt::Key_C, Qt::AltModifier);
        ASSERT_TRUE(QTest::qWaitFor([] { return QApplication::activePopupWidget() != nullptr; }, 2000));
        QTest::keyClick(QApplication::activePopupWidget(), Qt::Key_Escape);
        ASSERT_TRUE(QTest::qWaitFor([] { return QApplication::activePopupWidget() == nullptr; }, 2000));
        ASSERT_EQ(QApplication::focusWidget(), bar) << "the menu bar waits for keys";
        QTest::keyPress(bar, Qt::Key_Escape);
        QTest::keyRelease(&window, Qt::Key_Escape);
        EXPECT_EQ(window.acted, 2) << "the Esc that left the menu bar";
        delete bar;
    }

    // A held key: its repeated releases do not count, the final one does.
    QTest::keyPress(&window, Qt::Key_Escape);
    QKeyEvent repeatRelease(QEvent::KeyRelease, Qt::Key_Escape, Qt::NoModifier, QString(), true);
    QApplication::sendEvent(&window, &repeatRelease);
    EXPECT_EQ(window.acted, 2);
    QTest::keyRelease(&window, Qt::Key_Escape);
    EXPECT_EQ(window.acted, 3);

    // A key still held when the window loses the activation is released elsewhere.
    QTest::keyPress(&window, Qt::Key_Escape);
    QEvent deactivate(QEvent::WindowDeactivate);
    QApplication::sendEvent(&window, &deactivate);
    QTest::keyRelease(&window, Qt::Key_Escape);
    EXPECT_EQ(window.acted, 3);
}

TEST(WindowLook, TheKeyboardFocusOfAButtonIsRingedClearly)
{
    // Pixels of the highlight colour a focused button shows, drawn by the program's style.
    const auto ringPixels = [](bool focused) {
        QWidget window;
        look::applyLightPalette(&window);
        auto *button = new QPushButton(QStringLiteral("OK"), &window);
        look::ProgramStyle style(QStringLiteral("fusion"));
        button->setStyle(&style);
        button->resize(80, 26);
        window.show();
        if (focused)
            button->setFocus(Qt::TabFocusReason);
        QStyleOptionButton option;
        option.initFrom(button);
        option.text = button->text();
        if (focused)
            option.state |= QStyle::State_HasFocus | QStyle::State_KeyboardFocusChange;
        QImage image(button->size(), QImage::Format_ARGB32);
        image.fill(Qt::white);
        QPainter painter(&image);
        style.drawControl(QStyle::CE_PushButton, &option, &painter, button);
        painter.end();
        const QColor highlight = button->palette().color(QPalette::Active, QPalette::Highlight);
        int n = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x) {
                const QColor c = image.pixelColor(x, y);
                n += std::abs(c.red() - highlight.red()) + std::abs(c.green() - highlight.green()) +
                         std::abs(c.blue() - highlight.blue()) <
                     60;
            }
        return n;
    };
    const int unfocused = ringPixels(false);
    const int focused = ringPixels(true);
    EXPECT_GT(focused, unfocused + 2 * (80 + 26)) << "a ring all round, two pixels wide";
}

TEST(WindowLook, BandsHeadingAndButtonsShareOneLook)
{
    QWidget window;
    look::applyLightPalette(&window);
    QLabel *heading = nullptr;
    QWidget *top = look::makeTopBand(&window, QStringLiteral("top"), QStringLiteral("heading"),
                                     QStringLiteral("Main"), look::BandRed, &heading);
    auto *ok = new QPushButton(QStringLiteral("OK"), &window);
    QWidget *bottom = look::makeButtonBand(&window, QStringLiteral("bottom"), {ok});
    ASSERT_NE(heading, nullptr);

    EXPECT_EQ(top->height(), 25);
    EXPECT_GE(bottom->height(), 25);
    EXPECT_GT(bottom->height(), ok->height());
    EXPECT_EQ(top->palette().color(QPalette::Window), QColor(191, 10, 48));
    EXPECT_EQ(bottom->palette().color(QPalette::Window), QColor(0, 95, 140));
    for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled})
        EXPECT_EQ(heading->palette().color(group, QPalette::WindowText), QColor(249, 253, 255));
    EXPECT_EQ(heading->font().pixelSize(), 16);
    EXPECT_EQ(heading->text(), QStringLiteral("Main"));

    // The band's colours must not leak into the button: light face, dark text.
    EXPECT_EQ(ok->parentWidget(), bottom);
    EXPECT_EQ(ok->palette().color(QPalette::Button), QColor(240, 240, 240));
    EXPECT_LT(ok->palette().color(QPalette::ButtonText).lightness(), 60);
    // Light whatever the desktop theme, with a highlight the style can draw focus with.
    EXPECT_EQ(window.palette().color(QPalette::Window), QColor(Qt::white));
    EXPECT_LT(window.palette().color(QPalette::WindowText).lightness(), 60);
    EXPECT_LT(window.palette().color(QPalette::Active, QPalette::Highlight).lightness(), 160);
}

// The test main installs the program's key habits on the application, as the program does.
TEST(WindowKeys, EnterPressesTheFocusedButtonOnly)
{
    QDialog dialog;
    auto *edit = new QLineEdit(&dialog);
    auto *ok = new QPushButton(QStringLiteral("OK"), &dialog);
    auto *close = new QPushButton(QStringLiteral("Close"), &dialog);
    auto *tool = new QToolButton(&dialog);
    tool->setFocusPolicy(Qt::TabFocus);
    // As in the add-disc window: no default button, so Enter in an edit presses nothing.
    for (QPushButton *b : {ok, close})
        b->setAutoDefault(false);
    auto *layout = new QVBoxLayout(&dialog);
    for (QWidget *w : std::initializer_list<QWidget *>{edit, ok, close, tool})
        layout->addWidget(w);
    QSignalSpy okClicks(ok, &QPushButton::clicked);
    QSignalSpy closeClicks(close, &QPushButton::clicked);
    QSignalSpy toolClicks(tool, &QToolButton::clicked);
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    QApplication::setActiveWindow(&dialog);

    const auto pressOn = [](QWidget *target, Qt::Key key, Qt::KeyboardModifiers mods = Qt::NoModifier) {
        target->setFocus();
        QTest::keyClick(target, key, mods);
        QTest::qWait(200); // the button's pressed look lasts a moment before the click
    };
    pressOn(close, Qt::Key_Return);
    EXPECT_EQ(closeClicks.count(), 1);
    pressOn(ok, Qt::Key_Enter, Qt::KeypadModifier);
    EXPECT_EQ(okClicks.count(), 1);
    pressOn(tool, Qt::Key_Return);
    EXPECT_EQ(toolClicks.count(), 1);
    pressOn(edit, Qt::Key_Return);
    EXPECT_EQ(okClicks.count() + closeClicks.count(), 2) << "Enter in an edit presses no button";
    EXPECT_TRUE(dialog.isVisible());

    // A held Enter presses once; a disabled button not at all.
    close->setFocus();
    QTest::keyPress(close, Qt::Key_Return);
    QKeyEvent repeat(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier, QString(), true);
    QApplication::sendEvent(close, &repeat);
    QTest::keyRelease(close, Qt::Key_Return);
    QTest::qWait(200);
    EXPECT_EQ(closeClicks.count(), 2);
    close->setEnabled(false);
    QTest::keyClick(close, Qt::Key_Return);
    QTest::qWait(200);
    EXPECT_EQ(closeClicks.count(), 2);
}

TEST(WindowKeys, ShiftF10OpensTheContextMenuAndF10TheMenuBar)
{
    QMainWindow window;
    QMenu *file = window.menuBar()->addMenu(QStringLiteral("&File"));
    file->addAction(QStringLiteral("&Quit"));
    auto *list = new QListWidget(&window);
    list->addItems({QStringLiteral("one"), QStringLiteral("two")});
    list->setCurrentRow(1);
    list->setContextMenuPolicy(Qt::CustomContextMenu);
    window.setCentralWidget(list);
    QList<QPoint> requests;
    QObject::connect(list, &QWidget::customContextMenuRequested, [&](const QPoint &pos) { requests << pos; });
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    QApplication::setActiveWindow(&window);
    list->setFocus();

    QTest::keyClick(list, Qt::Key_F10, Qt::ShiftModifier);
    ASSERT_EQ(requests.size(), 1);
    // At the current row, as the Menu key would put it.
    EXPECT_TRUE(list->visualItemRect(list->item(1)).contains(requests.front()));

    QTest::keyClick(list, Qt::Key_F10);
    EXPECT_TRUE(file->isVisible());
    file->close();
}
