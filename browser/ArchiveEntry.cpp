#include "ArchiveEntry.h"

#include "catalog/ArchiveFieldValues.h"
#include "catalog/ArchiveText.h"
#include "catalog/DosDateTime.h"
#include "search/DateText.h"

namespace browser {

namespace {

bool parseCount(const QString &value, qint64 *out)
{
    return parseDecimal64(trimControls(value).toLatin1(), out);
}

} // namespace

std::optional<ArchiveEntry> readArchiveEntry(const QString &path)
{
    const ArchiveFieldValues v = readArchiveFields(path);
    if (v.state == ArchiveFieldValues::State::Missing)
        return std::nullopt;
    ArchiveEntry e;
    e.path = path;
    // A damaged archive is listed with what it still shows; an unreadable one with nothing.
    e.damaged = v.state != ArchiveFieldValues::State::Sound;
    const QString mark = trimControls(v.mark);
    e.mark = mark.isEmpty() ? UnknownText : mark;
    e.location = trimControls(v.location);
    e.note = trimControls(v.note);
    qint64 packed = 0;
    if (parseCount(v.date, &packed) && packed >= INT32_MIN && packed <= INT32_MAX &&
        dosdate::isValid(int32_t(packed))) {
        e.date = int32_t(packed);
        e.dateKnown = true;
    }
    e.filesKnown = parseCount(v.files, &e.files);
    e.dirsKnown = parseCount(v.dirs, &e.dirs);
    e.sizeKnown = parseCount(v.size, &e.size);
    return e;
}

QString dateText(const ArchiveEntry &entry)
{
    return entry.dateKnown ? search::formatPackedDate(entry.date) : UnknownText;
}

} // namespace browser
