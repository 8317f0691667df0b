#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>

#include "util/PosixFile.h" // writeFileAtomically

namespace catalog {
class Catalog;
}

#include <utility>

// What "ASource" says a disc was read from.
namespace archivesource {
inline const QString Disc = QStringLiteral("CD/DVD");
inline const QString Image = QStringLiteral("Image"); // a disc image file, read without mounting
inline const QString Imported = QStringLiteral("Imported"); // from another program's catalog or a listing
} // namespace archivesource

// The longest mark, location and note, counted as stored (trimmed): what the add and edit
// windows' fields hold, and what the command line accepts for both.
inline constexpr int kMaxFieldLength = 255;
// "the mark is longer than 255 characters" (fieldName: "mark") when the text is longer; else
// empty.
QString fieldLengthProblem(const QString &fieldName, const QString &text);

// What a new archive says about its disc, besides the records.
struct ArchiveFields
{
    QString mark, location, note; // stored trimmed; CR, LF and NUL become blanks
    qint64 files = 0, dirs = 0, size = 0;
    int number = 0;
    QDateTime savedAt; // the moment of the save; invalid means now
    QString source = archivesource::Disc;
};

// Writes a new archive: the record section (each line ending in CR LF, as the disc walk
// built it), then the archive fields, into catalog.archivePath(checksum), replacing any
// file of that name. The file appears whole or not at all (written under a temporary
// name that is no archive, then renamed). Records the number as "LastArchiveNumber"
// through the catalog. Returns the path written. Throws AmbryError "Cannot Get CRC." when
// the checksum text is blank, and AmbryError with the path and reason when the file cannot
// be written.
QString writeNewArchive(const catalog::Catalog &catalog, const QByteArray &recordSection,
                        const QString &checksum, const ArchiveFields &fields);

// Sets "AMark", "ALocation" and "ANote" of an archive, in that order: a non-empty value
// replaces the first field line of that key in place, or is appended at the end when
// there is none; an empty value deletes the line. Records and every other line are
// kept; the file keeps its name (a symbolic link stays a link to the rewritten file).
// Written atomically. False when the file cannot be read or written.
bool ChangeValuesInArchive(const QString &mark, const QString &location, const QString &note,
                           const QString &path);

// The archive's bytes with fields set by the rule above, in the order given: a non-empty
// value replaces the field line that answers lookups of its key (the first, or the last in a
// damaged field block) in place or is appended; an empty value deletes that line. Record lines
// are never touched. The text must hold no NUL.
QByteArray withFieldValues(const QByteArray &bytes, const QList<std::pair<QString, QString>> &values);
