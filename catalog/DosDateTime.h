#pragma once

#include <QDateTime>

#include <cstdint>

// MS-DOS packed date-time as archives store it: bits 25-31 year - 1980, 21-24 month,
// 16-20 day, 11-15 hour, 5-10 minute, 0-4 second / 2. Written as a signed 32-bit number.
namespace dosdate {

// Packs a local date-time; seconds are truncated to an even number. Dates outside
// 1980-01-01 00:00:00 .. 2107-12-31 23:59:58 are clamped to those moments.
int32_t pack(const QDateTime &local);
int32_t pack(int year, int month, int day, int hour, int minute, int second);
// The fields packed as they stand, or 0 when the year lies outside 1980..2107 (the search's
// date bounds, where an invalid date's year 0 gives 0 too).
int32_t packOrZero(int year, int month, int day, int hour, int minute, int second);
// The local date-time a packed value stands for; invalid when a field is out of range
// (month 0 or 13, day 0, hour 24, minute 60, second 60 or more, or a day the month lacks).
QDateTime unpack(int32_t packed);

// The fields of a packed value as they stand, not checked.
struct Fields
{
    int year, month, day, hour, minute, second;
};
inline Fields fields(int32_t packed)
{
    const uint32_t v = static_cast<uint32_t>(packed);
    return Fields{int(v >> 25) + 1980,   int((v >> 21) & 0xF), int((v >> 16) & 0x1F),
                  int((v >> 11) & 0x1F), int((v >> 5) & 0x3F), int(v & 0x1F) * 2};
}
// The fields as ISO 8601, "2008-05-14T10:20:30": the raw date of exports and JSON.
QString isoText(int32_t packed);

// Whether unpack gives a valid date-time, without building one (for loops over many records).
inline bool isValid(int32_t packed)
{
    const Fields f = fields(packed);
    if (f.month < 1 || f.month > 12 || f.day < 1 || f.hour > 23 || f.minute > 59 || f.second > 59)
        return false;
    static constexpr int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (f.year % 4 == 0 && f.year % 100 != 0) || f.year % 400 == 0;
    return f.day <= days[f.month - 1] + ((f.month == 2 && leap) ? 1 : 0);
}

// Whether a date-time line's value lies between two packed bounds, both included. Packed values
// order as unsigned 32-bit numbers (from 2044 on they are written as negative numbers); a value
// outside the 32 bits lies in no range.
inline bool inRange(qint64 value, int32_t from, int32_t to)
{
    if (value < INT32_MIN || value > qint64(UINT32_MAX))
        return false;
    const uint32_t v = static_cast<uint32_t>(value);
    return static_cast<uint32_t>(from) <= v && v <= static_cast<uint32_t>(to);
}

} // namespace dosdate
