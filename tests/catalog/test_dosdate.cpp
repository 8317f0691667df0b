#include <gtest/gtest.h>

#include "catalog/DosDateTime.h"

TEST(DosDate, PacksLocalTimes)
{
    struct Case
    {
        int year, month, day, hour, minute, second;
        int32_t packed;
    };
    const Case cases[] = {
        {2008, 5, 14, 10, 20, 30, 950948495},
        {2008, 5, 13, 18, 2, 10, 950898757},
        {2009, 3, 2, 21, 15, 8, 979544548},
        {2009, 3, 2, 21, 15, 9, 979544548}, // two-second resolution
        {1980, 1, 1, 0, 0, 0, 0x00210000},
        {2043, 12, 31, 23, 59, 58, 0x7F9FBF7D},
        {2044, 1, 1, 0, 0, 0, int32_t(0x80210000u)}, // from 2044 on the number is negative
        {2107, 12, 31, 23, 59, 58, int32_t(0xFF9FBF7Du)},
        {1979, 6, 1, 12, 0, 0, 0x00210000},           // before the range: its first moment
        {2200, 6, 1, 12, 0, 0, int32_t(0xFF9FBF7Du)}, // after it: its last
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.year);
        EXPECT_EQ(dosdate::pack(c.year, c.month, c.day, c.hour, c.minute, c.second), c.packed);
        if (c.year >= 1980 && c.year <= 2107) {
            const QDateTime local(QDate(c.year, c.month, c.day), QTime(c.hour, c.minute, c.second),
                                  Qt::LocalTime);
            EXPECT_EQ(dosdate::pack(local), c.packed);
        }
    }
}

TEST(DosDate, UnpacksAndRejectsImpossibleFields)
{
    EXPECT_EQ(dosdate::unpack(950948495), QDateTime(QDate(2008, 5, 14), QTime(10, 20, 30), Qt::LocalTime));
    EXPECT_EQ(dosdate::unpack(int32_t(0x80210000u)),
              QDateTime(QDate(2044, 1, 1), QTime(0, 0), Qt::LocalTime));
    const int32_t impossible[] = {
        0,                                                            // month 0, day 0
        int32_t((28u << 25) | (13u << 21) | (1u << 16)),              // month 13
        int32_t((28u << 25) | (2u << 21) | (30u << 16)),              // 30 February
        int32_t((28u << 25) | (1u << 21) | (1u << 16) | (24u << 11)), // hour 24
        int32_t((28u << 25) | (1u << 21) | (1u << 16) | (60u << 5)),  // minute 60
        int32_t((28u << 25) | (1u << 21) | (1u << 16) | 30u),         // second 60
    };
    for (const int32_t v : impossible)
        EXPECT_FALSE(dosdate::unpack(v).isValid()) << v;
    // Every packed moment of a day round-trips.
    for (int s = 0; s < 86400; s += 7) {
        const int32_t v = dosdate::pack(2010, 6, 15, s / 3600, s / 60 % 60, s % 60);
        EXPECT_EQ(dosdate::pack(dosdate::unpack(v)), v);
    }
}
