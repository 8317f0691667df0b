#include "DosDateTime.h"

namespace dosdate {

int32_t packOrZero(int year, int month, int day, int hour, int minute, int second)
{
    if (year < 1980 || year > 2107)
        return 0;
    const uint32_t v = (uint32_t(year - 1980) << 25) | (uint32_t(month) << 21) | (uint32_t(day) << 16) |
                       (uint32_t(hour) << 11) | (uint32_t(minute) << 5) | uint32_t(second / 2);
    return static_cast<int32_t>(v);
}

int32_t pack(int year, int month, int day, int hour, int minute, int second)
{
    if (year < 1980)
        return packOrZero(1980, 1, 1, 0, 0, 0);
    if (year > 2107)
        return packOrZero(2107, 12, 31, 23, 59, 58);
    return packOrZero(year, month, day, hour, minute, second);
}

int32_t pack(const QDateTime &local)
{
    const QDateTime t = local.toLocalTime();
    const QDate d = t.date();
    const QTime tm = t.time();
    return pack(d.year(), d.month(), d.day(), tm.hour(), tm.minute(), tm.second());
}

QDateTime unpack(int32_t packed)
{
    const Fields f = fields(packed);
    const QDate date(f.year, f.month, f.day);
    const QTime time(f.hour, f.minute, f.second);
    if (!date.isValid() || !time.isValid())
        return {};
    return QDateTime(date, time, Qt::LocalTime);
}

QString isoText(int32_t packed)
{
    const Fields f = fields(packed);
    return QString::asprintf("%04d-%02d-%02dT%02d:%02d:%02d", f.year, f.month, f.day, f.hour, f.minute,
                             f.second);
}

} // namespace dosdate
