#include "DateText.h"

#include "catalog/DosDateTime.h"

#include <QLocale>

namespace search {

namespace {

struct Separators
{
    QString localeName;
    QChar date = QLatin1Char('/');
    QChar time = QLatin1Char(':');
};

QChar firstSeparator(const QString &format, QChar fallback)
{
    bool quoted = false;
    for (QChar ch : format) {
        if (ch == QLatin1Char('\'')) {
            quoted = !quoted;
            continue;
        }
        if (!quoted && !ch.isLetter() && !ch.isSpace())
            return ch;
    }
    return fallback;
}

const Separators &separators()
{
    static Separators cached;
    const QLocale locale;
    const QString name = locale.name();
    if (cached.localeName != name || cached.localeName.isEmpty()) {
        cached.localeName = name;
        cached.date = firstSeparator(locale.dateFormat(QLocale::ShortFormat), QLatin1Char('/'));
        cached.time = firstSeparator(locale.timeFormat(QLocale::LongFormat), QLatin1Char(':'));
    }
    return cached;
}

inline void put2(QChar *&o, int v)
{
    *o++ = QChar(char16_t('0' + v / 10));
    *o++ = QChar(char16_t('0' + v % 10));
}

} // namespace

QString formatPackedDate(int year, int month, int day, int hour, int minute, int second)
{
    const Separators &sep = separators();
    const bool withTime = hour != 0 || minute != 0 || second != 0;
    QString out(withTime ? 19 : 10, Qt::Uninitialized);
    QChar *o = out.data();
    put2(o, day);
    *o++ = sep.date;
    put2(o, month);
    *o++ = sep.date;
    put2(o, year / 100);
    put2(o, year % 100);
    if (withTime) {
        *o++ = QLatin1Char(' ');
        put2(o, hour);
        *o++ = sep.time;
        put2(o, minute);
        *o++ = sep.time;
        put2(o, second);
    }
    return out;
}

QString formatPackedDate(int32_t packed)
{
    if (!dosdate::isValid(packed))
        return QString();
    const dosdate::Fields f = dosdate::fields(packed);
    return formatPackedDate(f.year, f.month, f.day, f.hour, f.minute, f.second);
}

} // namespace search
