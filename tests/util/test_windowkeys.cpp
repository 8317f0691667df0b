#include <gtest/gtest.h>

#include "KeyReleaseRule.h"
#include "TestSupport.h"
#include "WindowLook.h"

#include <QApplication>
#include <QDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
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
