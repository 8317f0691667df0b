#include "catalog/import/ReaderSupport.h"

#include "catalog/DosDateTime.h"
#include "catalog/import/InputStream.h"

#include <QDate>

#include <charconv>
#include <cmath>

namespace catimport {

std::optional<qint64> parseSize(QByteArrayView text, const char **problem)
{
    *problem = nullptr;
    if (text.startsWith('-')) {
        *problem = "a negative size";
        return std::nullopt;
    }
    if (text.isEmpty()) {
        *problem = "a missing size";
        return std::nullopt;
    }
    quint64 value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') {
            *problem = "a size that is not a whole number of bytes";
            return std::nullopt;
        }
        if (value > (quint64(INT64_MAX) - quint64(c - '0')) / 10) {
            *problem = "a size beyond 64 bits";
            return std::nullopt;
        }
        value = value * 10 + quint64(c - '0');
    }
    return qint64(value);
}

namespace {

// Far outside 1980..2107, but inside what time_t and the calendar routines can take.
constexpr qint64 kEarliest = -(qint64(1) << 40);
constexpr qint64 kLatest = qint64(1) << 40;
// 1980-01-01 and 2108-01-01 in UTC, one day of slack for the time zones on either side.
constexpr qint64 kFirstPackable = 315532800 - 86400;
constexpr qint64 kAfterPackable = 4354819200LL + 86400;

} // namespace

int32_t DatePacker::fromEpoch(qint64 seconds)
{
    if (seconds < kFirstPackable || seconds >= kAfterPackable) {
        ++m_clamped;
        seconds = std::clamp(seconds, kEarliest, kLatest);
    }
    return m_packer.pack(seconds);
}

int32_t DatePacker::fromEpoch(double seconds)
{
    if (std::isnan(seconds))
        return missing();
    const double whole = std::floor(seconds);
    if (whole < double(kEarliest))
        return fromEpoch(kEarliest);
    if (whole > double(kLatest))
        return fromEpoch(kLatest);
    return fromEpoch(qint64(whole));
}

int32_t DatePacker::fromLocal(int year, int month, int day, int hour, int minute, int second)
{
    if (!QDate::isValid(year, month, day) || hour < 0 || hour > 23 || minute < 0 || minute > 59 ||
        second < 0 || second > 60)
        return missing();
    if (year < 1980 || year > 2107)
        ++m_clamped;
    return dosdate::pack(year, month, day, hour, minute, second > 59 ? 59 : second);
}

int32_t DatePacker::missing()
{
    ++m_missing;
    return dosdate::pack(1980, 1, 1, 0, 0, 0);
}

void DatePacker::addWarnings(QStringList &warnings)
{
    if (m_clamped > 0)
        warnings << QStringLiteral("%1 before 1980 or after 2107 recorded as the first or last date an "
                                   "archive holds.")
                        .arg(m_clamped == 1 ? QStringLiteral("1 date")
                                            : QStringLiteral("%1 dates").arg(m_clamped));
    if (m_missing > 0)
        warnings << QStringLiteral("%1 missing or unreadable, recorded as 1 January 1980.")
                        .arg(m_missing == 1 ? QStringLiteral("1 date")
                                            : QStringLiteral("%1 dates").arg(m_missing));
    m_clamped = 0;
    m_missing = 0;
}

bool parseIsoLocal(QByteArrayView t, int *f)
{
    // YYYY-MM-DD[ T]HH:MM[:SS]
    auto digits = [&](qsizetype at, int n, int *out) {
        if (at + n > t.size())
            return false;
        int v = 0;
        for (int i = 0; i < n; ++i) {
            const char c = t[at + i];
            if (c < '0' || c > '9')
                return false;
            v = v * 10 + (c - '0');
        }
        *out = v;
        return true;
    };
    if (t.size() < 16 || !digits(0, 4, &f[0]) || (t[4] != '-' && t[4] != '/') || !digits(5, 2, &f[1]) ||
        t[7] != t[4] || !digits(8, 2, &f[2]) || (t[10] != ' ' && t[10] != 'T') || !digits(11, 2, &f[3]) ||
        t[13] != ':' || !digits(14, 2, &f[4]))
        return false;
    f[5] = 0;
    if (t.size() == 16)
        return true;
    if (t[16] != ':' || !digits(17, 2, &f[5]))
        return false;
    qsizetype end = 19;
    if (end < t.size() && (t[end] == '.' || t[end] == ',')) // fractions of a second
        for (++end; end < t.size() && t[end] >= '0' && t[end] <= '9';)
            ++end;
    return end == t.size();
}

bool finishVolume(Volume &v, VolumeTree &tree, DatePacker &dates, const Options &options,
                  const VolumeSink &sink)
{
    if (v.sound())
        tree.build(v, options.countOnly);
    if (v.sound())
        dates.addWarnings(v.warnings);
    else
        v.records.clear();
    DatePacker fresh;
    dates = fresh;
    tree.clear();
    if (v.note.size() > 255)
        v.note = v.note.left(254) + QChar(0x2026);
    return sink(std::move(v));
}

bool reportProgress(const InputStream &in, const Options &options)
{
    options.progress.show(QStringLiteral("Reading"), in.storedPosition(), in.storedSize());
    return options.progress.stopped();
}

QString importedNote(Format format, const QString &rest)
{
    const QString from =
        QStringLiteral("Imported from %1").arg(QString::fromLatin1(formatInfo(format).title));
    QString flat = rest.simplified();
    if (flat.isEmpty())
        return from + QLatin1Char('.');
    return from + QStringLiteral(": ") + flat;
}

} // namespace catimport
