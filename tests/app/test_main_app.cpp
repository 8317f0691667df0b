#include "helper_mainwindow.h"

#include "app/gui/AmbryApplication.h"
#include "app/gui/TaskbarHint.h"
#include "util/AmbryError.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QGuiApplication>
#include <QHelpEvent>
#include <QLabel>
#include <QStyle>
#include <QStyleFactory>
#include <QToolTip>

#include <stdexcept>

#if __has_include(<xcb/xcb.h>)
#include <QtGui/qguiapplication_platform.h>

#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>
#define HAVE_XCB_HEADERS 1
#endif

namespace {

TEST(GeneralErrorDisplay, ShowsTheTextOfEscapedErrorsAndGoesOn)
{
    MessageBoxRecorder boxes;
    EXPECT_FALSE(
        deliverGuarded([]() -> bool { throw AmbryError(QStringLiteral("Invalid data type for 'Ssti'")); }));
    EXPECT_FALSE(deliverGuarded([]() -> bool { throw std::runtime_error("disk full"); }));
    EXPECT_TRUE(deliverGuarded([] { return true; }));
    EXPECT_FALSE(deliverGuarded([] { return false; }));
    ASSERT_EQ(boxes.boxes.size(), 2);
    EXPECT_EQ(boxes.boxes[0].first, MsgKind::Error);
    EXPECT_EQ(boxes.boxes[0].second, QStringLiteral("Invalid data type for 'Ssti'"));
    EXPECT_EQ(boxes.boxes[1].first, MsgKind::Error);
    EXPECT_EQ(boxes.boxes[1].second, QStringLiteral("disk full"));
}

TEST(TooltipTiming, StyleAnswersTheProgramsDelays)
{
    TooltipTimingStyle timing(QStringLiteral("Fusion"));
    const QStyle &style = timing;
    EXPECT_EQ(style.styleHint(QStyle::SH_ToolTip_WakeUpDelay), 500);
    EXPECT_EQ(style.styleHint(QStyle::SH_ToolTip_FallAsleepDelay), 3000);
    // Other hints come from the base style.
    QStyle *fusion = QStyleFactory::create(QStringLiteral("Fusion"));
    ASSERT_NE(fusion, nullptr);
    EXPECT_EQ(style.styleHint(QStyle::SH_Menu_SubMenuPopupDelay),
              fusion->styleHint(QStyle::SH_Menu_SubMenuPopupDelay));
    delete fusion;
}

TEST(TooltipTiming, FilterShowsTheWidgetsTipAndHidesItAfterThreeSeconds)
{
    QLabel label(QStringLiteral("x"));
    label.setToolTip(QStringLiteral("Search Files"));
    label.show();
    TooltipTimer filter;
    QHelpEvent help(QEvent::ToolTip, QPoint(1, 1), label.mapToGlobal(QPoint(1, 1)));
    EXPECT_TRUE(filter.eventFilter(&label, &help));
    EXPECT_TRUE(QToolTip::isVisible());
    EXPECT_EQ(QToolTip::text(), QStringLiteral("Search Files"));
    EXPECT_TRUE(waitUntil([] { return !QToolTip::isVisible(); }, 4500));

    // Widgets without a tip of their own are left to Qt.
    QLabel plain(QStringLiteral("y"));
    QHelpEvent other(QEvent::ToolTip, QPoint(1, 1), QPoint(1, 1));
    EXPECT_FALSE(filter.eventFilter(&plain, &other));
    QEvent notTip(QEvent::Enter);
    EXPECT_FALSE(filter.eventFilter(&label, &notTip));
}

#ifdef HAVE_XCB_HEADERS
// The atoms in the window's _NET_WM_STATE property.
QStringList windowStates(QWidget *w)
{
    auto *x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    xcb_connection_t *c = x11->connection();
    const auto atom = [c](const char *name) {
        xcb_intern_atom_reply_t *r =
            xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, uint16_t(std::strlen(name)), name), nullptr);
        const xcb_atom_t a = r ? r->atom : xcb_atom_t(XCB_ATOM_NONE);
        std::free(r);
        return a;
    };
    QStringList out;
    xcb_get_property_reply_t *reply = xcb_get_property_reply(
        c, xcb_get_property(c, 0, xcb_window_t(w->winId()), atom("_NET_WM_STATE"), XCB_ATOM_ATOM, 0, 64),
        nullptr);
    if (!reply)
        return out;
    const auto *atoms = static_cast<const xcb_atom_t *>(xcb_get_property_value(reply));
    for (int i = 0; i < xcb_get_property_value_length(reply) / 4; ++i) {
        xcb_get_atom_name_reply_t *n = xcb_get_atom_name_reply(c, xcb_get_atom_name(c, atoms[i]), nullptr);
        if (n) {
            out << QString::fromLatin1(xcb_get_atom_name_name(n), xcb_get_atom_name_name_length(n));
            std::free(n);
        }
    }
    std::free(reply);
    return out;
}
#endif

// Under X11 (run this test with QT_QPA_PLATFORM=xcb under xvfb-run) the hint lands in the
// window's state; elsewhere the call reports that it could not help.
TEST(TaskbarHint, SkipTaskbarStateOnX11Only)
{
    QWidget w;
    w.resize(50, 50);
    w.show();
    if (QGuiApplication::platformName() != QLatin1String("xcb")) {
        EXPECT_FALSE(setSkipTaskbar(&w, true));
        return;
    }
#ifdef HAVE_XCB_HEADERS
    ASSERT_TRUE(setSkipTaskbar(&w, true));
    EXPECT_TRUE(windowStates(&w).contains(QStringLiteral("_NET_WM_STATE_SKIP_TASKBAR")));
    ASSERT_TRUE(setSkipTaskbar(&w, false));
    EXPECT_FALSE(windowStates(&w).contains(QStringLiteral("_NET_WM_STATE_SKIP_TASKBAR")));
#endif
}

} // namespace
