#pragma once

#include <QString>

#include <cstdint>
#include <optional>

namespace browser {

inline const QString UnknownText = QStringLiteral("Unknown");

// What the catalog browser shows of one archive: its fields, trimmed, with the counts and the
// date kept as numbers together with whether they converted.
struct ArchiveEntry
{
    QString path;
    QString mark; // the row's caption: "Unknown" when the archive has none
    QString location;
    QString note;
    int32_t date = 0; // MS-DOS packed local date-time
    qint64 dirs = 0, files = 0, size = 0;
    bool dateKnown = false, dirsKnown = false, filesKnown = false, sizeKnown = false;
    // Not as our writer leaves an archive (no complete field block, unreadable, ...): listed
    // with what could be read and counted in the status line.
    bool damaged = false;
};

// Reads the field block of one archive (never its records). No entry when the file no longer
// exists; a file that cannot be read gives a damaged entry with every cell unknown.
std::optional<ArchiveEntry> readArchiveEntry(const QString &path);

// "dd/mm/yyyy hh:mm:ss" with the locale's separators (the time left out at midnight), or
// "Unknown".
QString dateText(const ArchiveEntry &entry);

} // namespace browser
