#include <gtest/gtest.h>

#include "TestSupport.h"
#include "search/ColumnFit.h"

#include <numeric>

TEST(ColumnFit, ContentWithinTheWidthAndTheLimits)
{
    // Archive, Directory, File, Type (20..72), Date Modified (fixed 120), Size (20..95).
    const QList<int> minimum{20, 20, 20, 20, 120, 20};
    const QList<int> maximum{0, 0, 0, 72, 120, 95};
    const struct
    {
        const char *what;
        QList<int> wanted;
        int total;
        QList<int> expected;
    } cases[] = {
        {"room to spare goes to the columns without a limit",
         {60, 100, 80, 40, 120, 50},
         600,
         {110, 150, 130, 40, 120, 50}},
        {"limits hold whatever the content",
         {60, 100, 80, 300, 10, 500},
         1000,
         {60 + 157, 100 + 158, 80 + 158, 72, 120, 95}},
        {"too wide: the widest give way first, short ones stay whole",
         {60, 400, 300, 40, 120, 50},
         500,
         {60, 115, 115, 40, 120, 50}},
        {"never below the minimum", {300, 300, 300, 72, 120, 95}, 200, {20, 20, 20, 20, 120, 20}},
    };
    for (const auto &c : cases) {
        const QList<int> widths = fitColumns(c.wanted, minimum, maximum, c.total);
        EXPECT_EQ(widths, c.expected) << c.what;
    }
    // Whatever fits adds up to the width exactly.
    const QList<int> fitted = fitColumns({60, 400, 300, 40, 120, 50}, minimum, maximum, 777);
    EXPECT_EQ(std::accumulate(fitted.cbegin(), fitted.cend(), 0), 777);
}
