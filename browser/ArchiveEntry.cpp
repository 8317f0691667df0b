#include "ArchiveEntry.h"

#include "catalog/Archive.h"
#include "catalog/DosDateTime.h"
#include "search/RecordScan.h"
#include "search/SearchEngine.h"
#include "util/AmbryError.h"

namespace browser {

namespace {

bool readCount(const Archive &archive, QStringView key, qint64 *value)
{
    return search::parseInt64(trimControls(archive.rawValue(key)), value);
}

} // namespace

std::optional<ArchiveEntry> readArchiveEntry(const QString &path)
{
    ArchiveEntry e;
    e.path = path;
    e.mark = UnknownText;
    std::optional<Archive> archive;
    try {
        archive = Archive::loadFieldsIfPresent(path);
        if (!archive)
            return std::nullopt;
    } catch (const AmbryError &) {
        // Listed all the same, so that the user sees it and can remove it.
        e.damaged = true;
        return e;
    }
    const Archive &a = *archive;
    const QString mark = decodeArchiveText(trimControls(a.rawValue(u"AMark")));
    if (!mark.isEmpty())
        e.mark = mark;
    e.location = decodeArchiveText(trimControls(a.rawValue(u"ALocation")));
    e.note = decodeArchiveText(trimControls(a.rawValue(u"ANote")));
    qint64 packed = 0;
    if (search::parseInt64(trimControls(a.rawValue(u"ADate")), &packed) && packed >= INT32_MIN &&
        packed <= INT32_MAX && dosdate::isValid(int32_t(packed))) {
        e.date = int32_t(packed);
        e.dateKnown = true;
    }
    e.filesKnown = readCount(a, u"AFiles", &e.files);
    e.dirsKnown = readCount(a, u"ADirs", &e.dirs);
    e.sizeKnown = readCount(a, u"ASize", &e.size);
    // Our writer always closes the field block with "AEnd=EndTag".
    e.damaged = a.findField(u"AEnd") < 0;
    return e;
}

QString dateText(const ArchiveEntry &entry)
{
    return entry.dateKnown ? search::formatPackedDate(entry.date) : UnknownText;
}

} // namespace browser
