#include <gtest/gtest.h>

#include "util/Progress.h"

#include <QStringList>

// A run stops on the Cancel flag or on a stop request; the per-record check reads the flag
// alone, so a stop request (a closing program, an interrupted command) is seen only where the
// run asks for both.
TEST(Progress, TheFlagOrAStopRequestStopsARun)
{
    const struct
    {
        bool hasFlag, flag, hasRequest, request;
        bool cancelled, stopped;
    } cases[] = {
        {false, false, false, false, false, false}, // a default Progress never stops
        {true, false, false, false, false, false},  // a flag not set
        {true, true, false, false, true, true},     // Cancel
        {false, false, true, false, false, false},  // nobody asks to stop
        {false, false, true, true, false, true},    // the program closes
        {true, false, true, true, false, true},     // closing while the flag is clear
        {true, true, true, false, true, true},      // Cancel with no close
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::Message() << c.hasFlag << c.flag << c.hasRequest << c.request);
        bool flag = c.flag;
        Progress progress;
        if (c.hasFlag)
            progress.cancel = &flag;
        if (c.hasRequest)
            progress.stopRequested = [&c] { return c.request; };
        EXPECT_EQ(progress.cancelled(), c.cancelled);
        EXPECT_EQ(progress.stopped(), c.stopped);
    }
}

TEST(Progress, WhatIsToldReachesOnlyTheCallbacksGiven)
{
    Progress silent; // nothing set: telling it anything is harmless
    silent.events();
    silent.step();
    silent.show(QStringLiteral("Reading"), 1, 2);

    QStringList heard;
    Progress told;
    told.pendingEvents = [&] { heard << QStringLiteral("events"); };
    told.stepDone = [&] { heard << QStringLiteral("step"); };
    told.report = [&](const QString &what, qint64 done, qint64 total) {
        heard << QStringLiteral("%1 %2/%3").arg(what).arg(done).arg(total);
    };
    told.events();
    told.step();
    told.show(QStringLiteral("Reading"), 5, 0);
    EXPECT_EQ(heard,
              (QStringList{QStringLiteral("events"), QStringLiteral("step"), QStringLiteral("Reading 5/0")}));
}
