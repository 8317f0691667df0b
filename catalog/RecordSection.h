#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include <cstdint>

// The record section of an archive as the disc walk writes it: four lines per file (folder
// line, name, size, packed local last-write time), each ending in CR LF. Everything that
// turns a file into its record lives here, so a walked disc and one built from another
// description of it record the same file the same way.
namespace filerecord {

// The folder line of a folder whose path below the disc root is `relative` (names each
// followed by "/", empty for the root): "\" for the root, else the names joined by "\",
// trimmed of bytes 0..32 at both ends. Control bytes and "\" inside a name become "?".
QByteArray folderLine(QByteArrayView relative);
// A file name as recorded: trimmed of bytes 0..32 at both ends, control bytes and "\"
// inside as "?".
QByteArray recordName(QByteArrayView rawName);
// Whether recording the name changes more than its ends (a control byte or "\" inside it).
bool hasUnrecordableInside(QByteArrayView rawName);
// Local last-write time in seconds since the epoch, packed as an MS-DOS date-time; moments
// before 1980 and after 2107 are clamped to the first and last moment the packing holds.
int32_t packLocalTime(qint64 secondsSinceEpoch);

// packLocalTime with the last answer kept: files of one folder often share a time, and
// packing goes through the time zone rules.
class LocalTimePacker
{
public:
    int32_t pack(qint64 secondsSinceEpoch)
    {
        if (!m_have || secondsSinceEpoch != m_time) {
            m_time = secondsSinceEpoch;
            m_packed = packLocalTime(secondsSinceEpoch);
            m_have = true;
        }
        return m_packed;
    }

private:
    qint64 m_time = 0;
    int32_t m_packed = 0;
    bool m_have = false;
};

// Builds a record section and counts its files and bytes.
class SectionBuilder
{
public:
    // One record: the folder line as folderLine() makes it, the name as recordName() makes
    // it, the size in full (a 64-bit decimal), the packed date.
    void append(QByteArrayView folderLine, QByteArrayView rawName, qint64 size, int32_t packedDate);
    // The same with the date as seconds since the epoch, packed as packLocalTime() does.
    void appendAt(QByteArrayView folderLine, QByteArrayView rawName, qint64 size, qint64 secondsSinceEpoch);

    const QByteArray &section() const { return m_section; }
    QByteArray take();
    void clear();
    void reserve(qsizetype bytes) { m_section.reserve(bytes); }
    void squeeze() { m_section.squeeze(); }
    qint64 files() const { return m_files; }
    qint64 bytes() const { return m_bytes; }

private:
    QByteArray m_section;
    qint64 m_files = 0;
    qint64 m_bytes = 0;
    LocalTimePacker m_packer;
};

} // namespace filerecord
