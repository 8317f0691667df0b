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
// The local date-time a packed value stands for; invalid when a field is out of range
// (month 0 or 13, day 0, hour 24, minute 60, second 60 or more, or a day the month lacks).
QDateTime unpack(int32_t packed);

} // namespace dosdate
