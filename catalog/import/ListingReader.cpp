#include "catalog/import/CsvReader.h"
#include "catalog/import/InputStream.h"
#include "catalog/import/ReaderSupport.h"
#include "catalog/import/Readers.h"

#include <QDateTime>

// A plain listing, one volume per file: a line per entry with its type ("f", "d", ...), its
// path below the volume's root, its size in bytes and its modification time (seconds since
// the epoch, or ISO 8601), as `find DIR -mindepth 1 -printf '%y\t%P\t%s\t%T@\n'` writes them.
// The type may be left out (files only). Tab-separated, or comma-separated with RFC 4180
// quoting.
namespace catimport {

namespace {

bool isTypeLetter(QByteArrayView f)
{
    return f.size() == 1 && QByteArrayView("fdlpscbD").contains(f[0]);
}

// Seconds since the epoch ("1563120131.5", "-3") or ISO 8601; false when it is neither.
bool packTime(QByteArrayView t, DatePacker &dates, int32_t *packed)
{
    qsizetype i = 0;
    const bool negative = i < t.size() && t[i] == '-';
    if (negative)
        ++i;
    const qsizetype digitsFrom = i;
    qint64 seconds = 0;
    bool overflow = false;
    while (i < t.size() && t[i] >= '0' && t[i] <= '9') {
        if (seconds > (qint64(1) << 50))
            overflow = true;
        else
            seconds = seconds * 10 + (t[i] - '0');
        ++i;
    }
    bool fraction = false;
    if (i > digitsFrom && i < t.size() && t[i] == '.') {
        for (++i; i < t.size() && t[i] >= '0' && t[i] <= '9'; ++i)
            fraction = fraction || t[i] != '0';
    }
    if (i > digitsFrom && i == t.size() && (t.size() <= 4 || t[4] != '-')) {
        if (overflow)
            seconds = qint64(1) << 50;
        // The walk takes whole seconds: a moment before the epoch with a fraction lies in the
        // second before.
        if (negative)
            seconds = -seconds - (fraction ? 1 : 0);
        *packed = dates.fromEpoch(seconds);
        return true;
    }
    int f[6];
    if (parseIsoLocal(t, f)) {
        *packed = dates.fromLocal(f[0], f[1], f[2], f[3], f[4], f[5]);
        return true;
    }
    // With a zone: the moment, in local time.
    const QDateTime at = QDateTime::fromString(QString::fromLatin1(t), Qt::ISODateWithMs);
    if (!at.isValid())
        return false;
    *packed = dates.fromEpoch(at.toSecsSinceEpoch());
    return true;
}

} // namespace

ReadOutcome readListing(InputStream &in, const QString &volumeName, const QDateTime &fileTime,
                        const Options &options, const VolumeSink &sink)
{
    ReadOutcome outcome;
    const QByteArray head = in.peek(65536);
    qsizetype firstEnd = head.indexOf('\n');
    const QByteArray firstLine = firstEnd < 0 ? head : head.left(firstEnd);
    const bool tabs = firstLine.contains('\t');
    LineReader lines(in);
    CsvReader csv(lines, ',');

    VolumeTree tree;
    DatePacker dates;
    Volume volume;
    volume.name = volumeName;
    volume.archivedAt = fileTime;
    volume.line = 1;
    volume.note = importedNote(Format::Listing, QString());
    std::vector<QByteArrayView> f;
    std::vector<QByteArray> csvFields;
    QByteArray lastFolder;
    int lastFolderNode = VolumeTree::kRoot;
    bool haveLastFolder = false;
    int typed = -1; // whether the lines carry a type: decided by the first entry
    qint64 counter = 0;
    auto refuse = [&](const QString &why) {
        if (volume.refusal.isEmpty())
            volume.refusal =
                QStringLiteral("%1 (line %2)").arg(why).arg(tabs ? lines.lineNumber() : csv.line());
    };

    for (;;) {
        f.clear();
        if (tabs) {
            QByteArrayView line;
            if (!lines.next(&line))
                break;
            for (qsizetype from = 0;;) {
                const qsizetype tab = line.indexOf('\t', from);
                f.push_back(line.sliced(from, (tab < 0 ? line.size() : tab) - from));
                if (tab < 0)
                    break;
                from = tab + 1;
            }
        } else {
            if (!csv.next(csvFields))
                break;
            for (const QByteArray &c : csvFields)
                f.emplace_back(c);
        }
        if (++counter % 16384 == 0 && reportProgress(in, options)) {
            outcome.cancelled = true;
            return outcome;
        }
        if (!volume.sound())
            continue;
        if (f.size() == 1 && f[0].isEmpty())
            continue;
        if (f.size() < 3) {
            refuse(QStringLiteral("A line has %1 fields, not 3 or 4.").arg(f.size()));
            continue;
        }
        // A header line names its columns.
        if (counter == 1 && f[f.size() - 2].trimmed().compare("size", Qt::CaseInsensitive) == 0)
            continue;
        if (typed < 0)
            typed = f.size() >= 4 && isTypeLetter(f[0]) ? 1 : 0;
        if (f.size() < 3 + size_t(typed)) {
            refuse(QStringLiteral("A line has %1 fields, not %2.").arg(f.size()).arg(3 + typed));
            continue;
        }
        // A tab inside a name splits its path: the fields between the type and the size are
        // the path.
        const QByteArrayView type = typed ? f[0] : QByteArrayView("f");
        QByteArrayView path;
        const size_t pathFields = f.size() - 2 - size_t(typed);
        if (pathFields == 1) {
            path = f[size_t(typed)];
        } else if (tabs) {
            const QByteArrayView first = f[size_t(typed)];
            const QByteArrayView last = f[f.size() - 3];
            path = QByteArrayView(first.data(), last.data() + last.size() - first.data());
        } else {
            refuse(QStringLiteral("A line has %1 fields, not %2.").arg(f.size()).arg(typed ? 4 : 3));
            continue;
        }
        if (typed && !isTypeLetter(type)) {
            refuse(QStringLiteral("The type \"%1\" is not one find writes.").arg(QString::fromUtf8(type)));
            continue;
        }
        if (path.startsWith("./"))
            path = path.sliced(2);
        if (path.startsWith('/')) {
            refuse(QStringLiteral("The path \"%1\" is absolute; paths must be below the volume's root.")
                       .arg(QString::fromUtf8(path)));
            continue;
        }
        while (path.endsWith('/'))
            path.chop(1);
        if (path.size() > VolumeTree::kMaxPath) {
            refuse(QStringLiteral("A path is longer than 32,768 bytes."));
            continue;
        }
        if (tree.heldBytes() > (qint64(2) << 30)) {
            refuse(QStringLiteral("The listing holds more entries than an archive can take."));
            continue;
        }
        if (type == "d") {
            tree.folderAt(path);
            continue;
        }
        const char *problem = nullptr;
        const std::optional<qint64> size = parseSize(f[f.size() - 2], &problem);
        if (!size) {
            refuse(QStringLiteral("%1 (\"%2\")")
                       .arg(QString::fromLatin1(problem), QString::fromUtf8(f[f.size() - 2])));
            continue;
        }
        int32_t packed = 0;
        if (!packTime(f.back(), dates, &packed)) {
            refuse(QStringLiteral("The time \"%1\" is neither seconds since 1970 nor ISO 8601.")
                       .arg(QString::fromUtf8(f.back())));
            continue;
        }
        const qsizetype slash = path.lastIndexOf('/');
        const QByteArrayView folder = slash < 0 ? QByteArrayView("") : path.first(slash);
        if (!haveLastFolder || folder != lastFolder) {
            lastFolder = folder.toByteArray();
            lastFolderNode = tree.folderAt(folder);
            haveLastFolder = true;
        }
        tree.addFile(lastFolderNode, slash < 0 ? path : path.sliced(slash + 1), *size, packed);
    }
    const QString error = tabs ? lines.error() : csv.error();
    if (!error.isEmpty()) {
        outcome.error = error;
        volume.refusal = error;
    }
    ++outcome.volumes;
    if (!finishVolume(volume, tree, dates, options, sink))
        outcome.stopped = true;
    return outcome;
}

} // namespace catimport
