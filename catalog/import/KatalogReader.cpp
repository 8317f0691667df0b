#include "catalog/import/InputStream.h"
#include "catalog/import/ReaderSupport.h"
#include "catalog/import/Readers.h"

// Katalog's .idx: header lines "<tag>value", then one tab-separated line per file: the full
// path, the size, the date ("yyyy/MM/dd hh:mm:ss") and, from version 2.8, file details and a
// checksum. One catalog is one volume; the paths lose the catalog's source folder. Its
// folders, the empty ones too, are in "<name>.folders.idx" beside it.
namespace catimport {

namespace {

bool isSha256(QByteArrayView f)
{
    if (f.size() != 64)
        return false;
    for (const char c : f)
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F')))
            return false;
    return true;
}

// The path below the source folder, or nothing when the path is not inside it.
std::optional<QByteArrayView> belowSource(QByteArrayView path, const QByteArray &source)
{
    if (source.isEmpty())
        return std::nullopt;
    QByteArrayView prefix = source;
    while (prefix.endsWith('/'))
        prefix.chop(1);
    if (!path.startsWith(prefix))
        return std::nullopt;
    QByteArrayView rest = path.sliced(prefix.size());
    if (!rest.isEmpty() && !rest.startsWith('/'))
        return std::nullopt;
    while (rest.startsWith('/'))
        rest = rest.sliced(1);
    while (rest.endsWith('/'))
        rest.chop(1);
    return rest;
}

// The catalog's folders file ("catalogID<TAB>folder path" a line) names every folder, the
// empty ones too, which the file lines cannot show. Folders not met among the files join
// their parents after the ones that were.
QString readFolders(InputStream &in, const QByteArray &source, const QByteArray &catalogId,
                    VolumeTree &tree)
{
    LineReader lines(in);
    QByteArrayView line;
    while (lines.next(&line)) {
        const qsizetype tab = line.indexOf('\t');
        if (line.startsWith('<') || tab < 0)
            continue;
        if (!catalogId.isEmpty() && line.first(tab) != catalogId)
            continue;
        const QByteArrayView path = line.sliced(tab + 1);
        const std::optional<QByteArrayView> relative = belowSource(path, source);
        if (!relative)
            return QStringLiteral("The folder \"%1\" is not inside the catalog's source folder \"%2\" "
                                  "(line %3 of the folders file)")
                .arg(QString::fromUtf8(path), QString::fromUtf8(source))
                .arg(lines.lineNumber());
        if (relative->size() > VolumeTree::kMaxPath)
            return QStringLiteral("A folder path is longer than 32,768 bytes (line %1 of the folders file)")
                .arg(lines.lineNumber());
        if (tree.heldBytes() > (qint64(2) << 30))
            return QStringLiteral("The catalog holds more folders than an archive can take.");
        tree.folderAt(*relative);
    }
    if (!lines.error().isEmpty())
        return QStringLiteral("The folders file: %1").arg(lines.error());
    return QString();
}

} // namespace

ReadOutcome readKatalog(InputStream &in, InputStream *folders, const QString &volumeName,
                        const QDateTime &fileTime, const Options &options, const VolumeSink &sink)
{
    ReadOutcome outcome;
    LineReader lines(in);
    QByteArrayView line;
    VolumeTree tree;
    DatePacker dates;
    Volume volume;
    volume.name = volumeName;
    volume.archivedAt = fileTime;
    volume.line = 1;
    QByteArray source, storage, catalogId;
    bool sawHeader = false;
    std::vector<QByteArrayView> f;
    QByteArray lastFolder;
    int lastFolderNode = VolumeTree::kRoot;
    qint64 counter = 0;
    auto refuse = [&](const QString &why) {
        if (volume.refusal.isEmpty())
            volume.refusal = QStringLiteral("%1 (line %2)").arg(why).arg(lines.lineNumber());
    };

    while (lines.next(&line)) {
        if (++counter % 8192 == 0 && reportProgress(in, options)) {
            outcome.cancelled = true;
            return outcome;
        }
        if (line.startsWith('<')) {
            const qsizetype close = line.indexOf('>');
            if (close > 0) {
                sawHeader = true;
                const QByteArrayView tag = line.sliced(1, close - 1);
                const QByteArrayView value = line.sliced(close + 1);
                if (tag == "catalogSourcePath")
                    source = value.toByteArray();
                else if (tag == "catalogStorage")
                    storage = value.toByteArray();
                else if (tag == "catalogID")
                    catalogId = value.trimmed().toByteArray();
            }
            continue;
        }
        if (line.isEmpty() || !volume.sound())
            continue;
        if (!sawHeader) {
            outcome.error = QStringLiteral("This is not a Katalog catalog: it has no header lines.");
            return outcome;
        }
        f.clear();
        for (qsizetype from = 0;;) {
            const qsizetype tab = line.indexOf('\t', from);
            f.push_back(line.sliced(from, (tab < 0 ? line.size() : tab) - from));
            if (tab < 0)
                break;
            from = tab + 1;
        }
        if (f.size() < 3) {
            refuse(QStringLiteral("A file's line has %1 fields, not 3 or more.").arg(f.size()));
            continue;
        }
        const std::optional<QByteArrayView> below = belowSource(f[0], source);
        if (!below || below->isEmpty()) {
            refuse(QStringLiteral("The path \"%1\" is not inside the catalog's source folder \"%2\".")
                       .arg(QString::fromUtf8(f[0]), QString::fromUtf8(source)));
            continue;
        }
        const QByteArrayView relative = *below;
        const qsizetype slash = relative.lastIndexOf('/');
        const QByteArrayView folder = slash < 0 ? QByteArrayView() : relative.first(slash);
        const QByteArrayView name = slash < 0 ? relative : relative.sliced(slash + 1);
        const char *problem = nullptr;
        const std::optional<qint64> size = parseSize(f[1], &problem);
        if (!size) {
            refuse(QStringLiteral("%1 (\"%2\")").arg(QString::fromLatin1(problem), QString::fromUtf8(f[1])));
            continue;
        }
        if (folder.size() > VolumeTree::kMaxPath) {
            refuse(QStringLiteral("A folder path is longer than 32,768 bytes."));
            continue;
        }
        int fields[6];
        const int32_t packed = parseIsoLocal(f[2], fields) ? dates.fromLocal(fields[0], fields[1], fields[2],
                                                                             fields[3], fields[4], fields[5])
                                                           : dates.missing();
        // Past the extension, type and media type: metadata, then a checksum and its date.
        bool details = false;
        for (size_t i = 3; i < f.size(); ++i) {
            if (isSha256(f[i])) {
                ++volume.dropped.checksums;
                ++i;
            } else if (i >= 8 && !f[i].isEmpty()) {
                details = true;
            }
        }
        if (details)
            ++volume.dropped.other;
        if (folder != lastFolder || lastFolder.isNull()) {
            lastFolder = folder.toByteArray();
            if (lastFolder.isNull())
                lastFolder = QByteArray("");
            lastFolderNode = tree.folderAt(folder);
        }
        if (tree.heldBytes() > (qint64(2) << 30))
            refuse(QStringLiteral("The catalog holds more files than an archive can take."));
        else
            tree.addFile(lastFolderNode, name, *size, packed);
    }
    if (!lines.error().isEmpty()) {
        outcome.error = lines.error();
        volume.refusal = outcome.error;
    }
    if (!sawHeader && outcome.error.isEmpty()) {
        outcome.error = QStringLiteral("This is not a Katalog catalog: it has no header lines.");
        return outcome;
    }
    if (folders && volume.sound() && outcome.error.isEmpty()) {
        const QString problem = readFolders(*folders, source, catalogId, tree);
        if (!problem.isEmpty())
            volume.refusal = problem;
    }
    volume.note =
        importedNote(Format::Katalog,
                     storage.isEmpty() ? QString() : QStringLiteral("storage ") + QString::fromUtf8(storage));
    ++outcome.volumes;
    if (!finishVolume(volume, tree, dates, options, sink))
        outcome.stopped = true;
    return outcome;
}

} // namespace catimport
