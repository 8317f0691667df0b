#include "SearchCriteria.h"

#include "catalog/ArchiveText.h"
#include "catalog/DosDateTime.h"

#include <iterator>

namespace search {

namespace {

struct SizeUnitRow
{
    SizeUnit unit;
    const char *caption;
    qint64 multiplier;
};
// In enum order: a unit's place here is its place in cmbMultipler.
constexpr SizeUnitRow kSizeUnits[] = {
    {SizeUnit::Bytes, "Bytes", 1},
    {SizeUnit::KiloBytes, "KiloBytes", 1000},
    {SizeUnit::MegaBytes, "MegaBytes", 1000 * 1000},
    {SizeUnit::GigaBytes, "GigaBytes", 1000 * 1000 * 1000},
};
constexpr int kSizeUnitCount = int(std::size(kSizeUnits));

constexpr bool unitsInEnumOrder()
{
    for (int i = 0; i < kSizeUnitCount; ++i) {
        if (int(kSizeUnits[i].unit) != i)
            return false;
    }
    return true;
}
static_assert(unitsInEnumOrder());

// The size line with every "." dropped, read as an integer; 0 when it is not one.
qint64 sizeWithoutDots(QByteArrayView sizeLine)
{
    char digits[64];
    size_t n = 0;
    for (char ch : sizeLine) {
        if (ch == '.')
            continue;
        if (n == sizeof digits)
            return 0;
        digits[n++] = ch;
    }
    qint64 v = 0;
    return parseDecimal64(digits, n, &v) ? v : 0;
}

} // namespace

void DateChange(const QDate &a, const QDate &b, SearchCriteria &c)
{
    const QDate lower = a <= b ? a : b;
    const QDate upper = a <= b ? b : a;
    c.DateFrom = dosdate::packOrZero(lower.year(), lower.month(), lower.day(), 0, 0, 0);
    // 23:59:59.999 packs to 23:59:58: the packing keeps two-second steps.
    c.DateTo = dosdate::packOrZero(upper.year(), upper.month(), upper.day(), 23, 59, 59);
}

QStringList sizeUnitCaptions()
{
    QStringList captions;
    for (const SizeUnitRow &row : kSizeUnits)
        captions.append(QLatin1String(row.caption));
    return captions;
}

QString sizeUnitCaption(SizeUnit unit)
{
    return QLatin1String(kSizeUnits[int(unit)].caption);
}

std::optional<SizeUnit> sizeUnitNamed(QStringView caption)
{
    for (const SizeUnitRow &row : kSizeUnits) {
        if (caption == QLatin1String(row.caption))
            return row.unit;
    }
    return std::nullopt;
}

std::optional<SizeUnit> sizeUnitAt(int index)
{
    if (index < 0 || index >= kSizeUnitCount)
        return std::nullopt;
    return kSizeUnits[index].unit;
}

qint64 sizeMultiplier(SizeUnit unit)
{
    return kSizeUnits[int(unit)].multiplier;
}

void SizeChange(int position, std::optional<SizeUnit> unit, SearchCriteria &c)
{
    c.SizeLimit = unit ? qint64(position) * sizeMultiplier(*unit) : 0;
}

bool DateInRange(QByteArrayView dateLine, const SearchCriteria &c)
{
    qint64 v = 0;
    if (!parseDecimal64(dateLine, &v))
        v = 0;
    return dosdate::inRange(v, c.DateFrom, c.DateTo);
}

bool SizeMatches(QByteArrayView sizeLine, const SearchCriteria &c)
{
    qint64 v = 0;
    if (sizeLine.contains('.'))
        v = sizeWithoutDots(sizeLine);
    else if (!parseDecimal64(sizeLine, &v))
        v = 0;
    return c.sizeAtMost ? v <= c.SizeLimit : v >= c.SizeLimit;
}

} // namespace search
