#include "catalog/import/CsvReader.h"
#include "catalog/import/InputStream.h"
#include "catalog/import/ReaderSupport.h"
#include "catalog/import/Readers.h"

#include <QSet>

#include <algorithm>

// VVV's CSV export: Volume, Path, Name, Size, Ext, Last modified and Description, with or
// without a header, separated by commas, tabs or "|". Files only: folders are known from the
// files' paths. Dates follow the exporting user's locale.
namespace catimport {

namespace {

struct LocaleDate
{
    int numbers[6] = {};
    int count = 0;
    bool firstIsYear = false;
    int ampm = 0; // 1 AM, 2 PM
};

LocaleDate splitDate(QByteArrayView text)
{
    LocaleDate d;
    qsizetype i = 0;
    while (i < text.size()) {
        const char c = text[i];
        if (c >= '0' && c <= '9') {
            int v = 0;
            qsizetype digits = 0;
            while (i < text.size() && text[i] >= '0' && text[i] <= '9' && digits < 9) {
                v = v * 10 + (text[i] - '0');
                ++i;
                ++digits;
            }
            if (d.count == 0 && digits == 4)
                d.firstIsYear = true;
            if (d.count < 6)
                d.numbers[d.count++] = v;
            continue;
        }
        if ((c == 'A' || c == 'a' || c == 'P' || c == 'p') && i + 1 < text.size() &&
            (text[i + 1] == 'M' || text[i + 1] == 'm'))
            d.ampm = (c == 'A' || c == 'a') ? 1 : 2;
        ++i;
    }
    return d;
}

int32_t packLocaleDate(QByteArrayView text, DateOrder order, DatePacker &dates)
{
    const LocaleDate d = splitDate(text);
    if (d.count < 5)
        return dates.missing();
    int year, month, day;
    if (d.firstIsYear || order == DateOrder::YearMonthDay) {
        year = d.numbers[0], month = d.numbers[1], day = d.numbers[2];
    } else if (order == DateOrder::MonthDayYear) {
        month = d.numbers[0], day = d.numbers[1], year = d.numbers[2];
    } else {
        day = d.numbers[0], month = d.numbers[1], year = d.numbers[2];
    }
    if (year < 100)
        year += year < 70 ? 2000 : 1900;
    int hour = d.numbers[3];
    if (d.ampm == 1 && hour == 12)
        hour = 0;
    else if (d.ampm == 2 && hour < 12)
        hour += 12;
    return dates.fromLocal(year, month, day, hour, d.numbers[4], d.count >= 6 ? d.numbers[5] : 0);
}

struct Columns
{
    int volume = 0, path = 1, name = 2, size = 3, date = 5, description = 6;
};

bool isHeader(const std::vector<QByteArray> &fields)
{
    return !fields.empty() && fields[0].trimmed().compare("Volume", Qt::CaseInsensitive) == 0;
}

} // namespace

DateOrder detectVvvDateOrder(InputStream &in)
{
    const QByteArray head = in.peek(65536);
    const qsizetype end = head.indexOf('\n');
    LineReader lines(in);
    CsvReader csv(lines, guessSeparator(end < 0 ? head : head.left(end)));
    std::vector<QByteArray> fields;
    while (csv.next(fields)) {
        if (fields.size() <= 5)
            continue;
        const LocaleDate d = splitDate(fields[5]);
        if (d.count < 3)
            continue;
        if (d.firstIsYear)
            return DateOrder::YearMonthDay;
        if (d.numbers[0] > 12)
            return DateOrder::DayMonthYear;
        if (d.numbers[1] > 12)
            return DateOrder::MonthDayYear;
    }
    return DateOrder::Unknown;
}

ReadOutcome readVvv(InputStream &in, const Options &options, const VolumeSink &sink)
{
    ReadOutcome outcome;
    const QByteArray head = in.peek(65536);
    const qsizetype end = head.indexOf('\n');
    const char separator = guessSeparator(end < 0 ? head : head.left(end));
    LineReader lines(in);
    CsvReader csv(lines, separator);
    const bool guessedOrder = options.dateOrder == DateOrder::Unknown;
    const DateOrder order = guessedOrder ? systemDateOrder() : options.dateOrder;

    VolumeTree tree;
    DatePacker dates;
    Volume volume;
    QByteArray current;
    bool inVolume = false;
    bool first = true;
    bool sawAmbiguous = false;
    QSet<QByteArray> finished;
    Columns col;
    std::vector<QByteArray> f;
    QByteArray lastFolder;
    int lastFolderNode = VolumeTree::kRoot;
    qint64 counter = 0;

    auto refuse = [&](const QString &why) {
        if (volume.refusal.isEmpty())
            volume.refusal = QStringLiteral("%1 (line %2)").arg(why).arg(csv.line());
    };
    auto finish = [&]() {
        inVolume = false;
        finished.insert(current);
        volume.ambiguousDates = sawAmbiguous && guessedOrder;
        if (sawAmbiguous && guessedOrder)
            volume.warnings << QStringLiteral(
                                   "Dates could be read day first or month first; they are read as the "
                                   "system's locale writes them (%1 first).")
                                   .arg(order == DateOrder::MonthDayYear ? QStringLiteral("month")
                                                                         : QStringLiteral("day"));
        sawAmbiguous = false;
        volume.note = importedNote(Format::VvvCsv, QString());
        ++outcome.volumes;
        if (!finishVolume(volume, tree, dates, options, sink)) {
            outcome.stopped = true;
            return false;
        }
        return true;
    };

    while (csv.next(f)) {
        if (++counter % 8192 == 0 && reportProgress(in, options)) {
            outcome.cancelled = true;
            return outcome;
        }
        if (first) {
            first = false;
            if (isHeader(f)) {
                for (int i = 0; i < int(f.size()); ++i) {
                    const QByteArray h = f[size_t(i)].trimmed().toLower();
                    if (h == "path")
                        col.path = i;
                    else if (h == "name")
                        col.name = i;
                    else if (h == "size")
                        col.size = i;
                    else if (h == "last modified")
                        col.date = i;
                    else if (h == "description")
                        col.description = i;
                }
                continue;
            }
        }
        if (f.size() == 1 && f[0].isEmpty())
            continue;
        // The header may put the columns anywhere; a line must reach the last one read.
        const size_t needed = size_t(std::max({col.volume, col.path, col.name, col.size, col.date, 5})) + 1;
        if (f.size() < needed) {
            if (!inVolume) {
                outcome.error = QStringLiteral("Line %1 has %2 fields; VVV's export has %3 or more.")
                                    .arg(csv.line())
                                    .arg(f.size())
                                    .arg(needed);
                return outcome;
            }
            refuse(QStringLiteral("A line has %1 fields, not %2 or more.").arg(f.size()).arg(needed));
            continue;
        }
        if (!inVolume || f[size_t(col.volume)] != current) {
            if (inVolume && !finish())
                return outcome;
            current = f[size_t(col.volume)];
            volume = Volume();
            volume.name = QString::fromUtf8(current);
            volume.line = csv.line();
            inVolume = true;
            lastFolder = QByteArray();
            if (finished.contains(current))
                refuse(QStringLiteral("The volume's rows are not together: it appeared before."));
            if (volume.name.trimmed().isEmpty())
                refuse(QStringLiteral("A volume has no name."));
        }
        if (!volume.sound())
            continue;
        QByteArray path = f[size_t(col.path)];
        path.replace('\\', '/');
        while (path.startsWith('/'))
            path.remove(0, 1);
        while (path.endsWith('/'))
            path.chop(1);
        if (path.size() > VolumeTree::kMaxPath) {
            refuse(QStringLiteral("A folder path is longer than 32,768 bytes."));
            continue;
        }
        const char *problem = nullptr;
        const std::optional<qint64> size = parseSize(f[size_t(col.size)].trimmed(), &problem);
        if (!size) {
            refuse(QStringLiteral("%1 (\"%2\")")
                       .arg(QString::fromLatin1(problem), QString::fromUtf8(f[size_t(col.size)])));
            continue;
        }
        const QByteArray &date = f[size_t(col.date)];
        if (guessedOrder) {
            const LocaleDate d = splitDate(date);
            if (!d.firstIsYear && d.count >= 3 && d.numbers[0] <= 12 && d.numbers[1] <= 12 &&
                d.numbers[0] != d.numbers[1])
                sawAmbiguous = true;
        }
        const int32_t packed = packLocaleDate(date, order, dates);
        if (size_t(col.description) < f.size() && !f[size_t(col.description)].isEmpty())
            ++volume.dropped.comments;
        if (lastFolder.isNull() || path != lastFolder) {
            lastFolder = path.isNull() ? QByteArray("") : path;
            lastFolderNode = tree.folderAt(path);
        }
        if (tree.heldBytes() > (qint64(2) << 30))
            refuse(QStringLiteral("The volume holds more files than an archive can take."));
        else
            tree.addFile(lastFolderNode, f[size_t(col.name)], *size, packed);
    }
    if (!csv.error().isEmpty()) {
        outcome.error = csv.error();
        if (inVolume)
            volume.refusal = outcome.error;
    }
    if (inVolume)
        finish();
    return outcome;
}

} // namespace catimport
