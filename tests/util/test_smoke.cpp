#include <gtest/gtest.h>

#include "util/AmbryError.h"

TEST(AmbryError, KeepsTheUserText)
{
    const AmbryError e(QStringLiteral("Not a valid drive ID"));
    EXPECT_EQ(e.message(), QStringLiteral("Not a valid drive ID"));
    EXPECT_STREQ(e.what(), "Not a valid drive ID");
}
