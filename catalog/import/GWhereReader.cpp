#include "catalog/import/InputStream.h"
#include "catalog/import/ReaderSupport.h"
#include "catalog/import/Readers.h"

#include <charconv>

// GWhere's .ctg: gzip-compressed lines of ":"-separated fields ("\#" stands for ":" and "\n"
// for a line break). A disk starts with "//" and its line; a folder's line follows a "/"
// line, then its entries and a "\" line; a last "\" ends the disk.
namespace catimport {

namespace {

void splitFields(QByteArrayView line, std::vector<QByteArray> &out)
{
    out.clear();
    qsizetype from = 0;
    for (;;) {
        const qsizetype colon = line.indexOf(':', from);
        const QByteArrayView raw = line.sliced(from, (colon < 0 ? line.size() : colon) - from);
        QByteArray field;
        field.reserve(raw.size());
        for (qsizetype i = 0; i < raw.size(); ++i) {
            if (raw[i] == '\\' && i + 1 < raw.size() && (raw[i + 1] == '#' || raw[i + 1] == 'n')) {
                field += raw[i + 1] == '#' ? ':' : '\n';
                ++i;
            } else {
                field += raw[i];
            }
        }
        out.push_back(std::move(field));
        if (colon < 0)
            return;
        from = colon + 1;
    }
}

bool toInt64(const QByteArray &text, qint64 *out)
{
    const auto [end, ec] = std::from_chars(text.constData(), text.constData() + text.size(), *out);
    return ec == std::errc() && end == text.constData() + text.size() && !text.isEmpty();
}

} // namespace

ReadOutcome readGWhere(InputStream &in, const Options &options, const VolumeSink &sink)
{
    ReadOutcome outcome;
    LineReader lines(in);
    QByteArrayView line;
    std::vector<QByteArray> f;
    if (!lines.next(&line) || !line.startsWith("GWhere:")) {
        outcome.error = lines.error().isEmpty()
                            ? QStringLiteral("This is not a GWhere catalog: its first line "
                                             "does not start with \"GWhere:\".")
                            : lines.error();
        return outcome;
    }
    splitFields(line, f);
    const int version = f.size() >= 3 ? f.back().toInt() : 0;
    if (version != 1 && version != 2) {
        outcome.error =
            QStringLiteral("This GWhere catalog has the file version \"%1\"; versions 1 and 2 are read.")
                .arg(QString::fromUtf8(f.size() >= 3 ? f.back() : QByteArray()));
        return outcome;
    }
    // Disk line: name, number, [device, mount point,] file system, label, used, free, added,
    // serial, [category,] description. Entry: name, rights, owner, group, inode, size,
    // created, accessed, modified, [category,] description.
    const size_t diskFields = version == 2 ? 12 : 9;
    const size_t addedField = version == 2 ? 8 : 6;
    const size_t entryFields = version == 2 ? 11 : 10;

    VolumeTree tree;
    DatePacker dates;
    Volume volume;
    bool inDisk = false;
    bool folderNext = false;
    std::vector<int> folders; // -1: a folder left out with everything in it
    qint64 counter = 0;

    auto finish = [&]() {
        inDisk = false;
        ++outcome.volumes;
        volume.note = importedNote(Format::GWhere, volume.note);
        if (!finishVolume(volume, tree, dates, options, sink)) {
            outcome.stopped = true;
            return false;
        }
        return true;
    };
    auto refuse = [&](const QString &why) {
        if (volume.refusal.isEmpty())
            volume.refusal = QStringLiteral("%1 (line %2)").arg(why).arg(lines.lineNumber());
    };

    while (lines.next(&line)) {
        if (++counter % 8192 == 0 && reportProgress(in, options)) {
            outcome.cancelled = true;
            return outcome;
        }
        if (!inDisk) {
            if (line != "//")
                continue; // the catalog's name and categories
            if (!lines.next(&line))
                break;
            volume = Volume();
            volume.line = lines.lineNumber();
            inDisk = true;
            folderNext = false;
            folders.assign(1, VolumeTree::kRoot);
            splitFields(line, f);
            if (f.size() != diskFields) {
                refuse(
                    QStringLiteral("The disk's line has %1 fields, not %2.").arg(f.size()).arg(diskFields));
                if (!f.empty())
                    volume.name = QString::fromUtf8(f[0]);
                continue;
            }
            volume.name = QString::fromUtf8(f[0].trimmed().isEmpty() ? f[version == 2 ? 5 : 3] : f[0]);
            volume.note = QString::fromUtf8(f.back());
            qint64 added = 0;
            if (toInt64(f[addedField], &added) && added > 0 && added < (qint64(1) << 40))
                volume.archivedAt = QDateTime::fromSecsSinceEpoch(added);
            if (version == 2 && f[10] != "0" && !f[10].isEmpty())
                ++volume.dropped.tags;
            if (volume.name.trimmed().isEmpty())
                refuse(QStringLiteral("The disk has no name."));
            continue;
        }
        if (line == "/") {
            folderNext = true;
            continue;
        }
        if (line == "\\") {
            if (folders.size() > 1) {
                folders.pop_back();
                continue;
            }
            if (!finish())
                return outcome;
            continue;
        }
        splitFields(line, f);
        const bool folder = folderNext;
        folderNext = false;
        const int parent = folders.back();
        if (f.size() != entryFields) {
            refuse(QStringLiteral("An entry's line has %1 fields, not %2.").arg(f.size()).arg(entryFields));
        } else if (parent >= 0 && volume.sound()) {
            if (!f.back().isEmpty())
                ++volume.dropped.comments;
            if (version == 2 && f[9] != "0" && !f[9].isEmpty())
                ++volume.dropped.tags;
        }
        const QByteArray name = f.empty() ? QByteArray() : f[0];
        // GWhere lists a folder's "." and ".." like entries; they are no files.
        const bool dots = name == "." || name == "..";
        if (folder) {
            folders.push_back(parent >= 0 && !dots && volume.sound() && f.size() == entryFields
                                  ? tree.addFolder(parent, name)
                                  : -1);
            continue;
        }
        if (parent < 0 || dots || !volume.sound() || f.size() != entryFields)
            continue;
        const char *problem = nullptr;
        const std::optional<qint64> size = parseSize(f[5], &problem);
        if (!size) {
            refuse(QStringLiteral("%1 (\"%2\") at \"%3\"")
                       .arg(QString::fromLatin1(problem), QString::fromUtf8(f[5]), QString::fromUtf8(name)));
            continue;
        }
        qint64 modified = 0;
        const int32_t packed = toInt64(f[8], &modified) ? dates.fromEpoch(modified) : dates.missing();
        if (tree.heldBytes() > (qint64(2) << 30))
            refuse(QStringLiteral("The disk holds more entries than an archive can take."));
        else
            tree.addFile(parent, name, *size, packed);
    }
    if (!lines.error().isEmpty())
        outcome.error = lines.error();
    else if (inDisk)
        outcome.error = QStringLiteral("The catalog ends inside a disk.");
    if (inDisk) {
        volume.refusal = outcome.error;
        finish();
    }
    return outcome;
}

} // namespace catimport
