#include "helper_mainwindow.h"

#include "AmbryApplication.h"
#include "AmbryError.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QHelpEvent>
#include <QLabel>
#include <QStyle>
#include <QStyleFactory>
#include <QToolTip>

#include <stdexcept>

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

} // namespace
