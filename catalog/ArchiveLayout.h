#pragma once

// Where an archive's parts lie, and when an archive is damaged: the one rule for every reader.
//
// The archive fields ("ADate=...", ..., "AEnd=EndTag") are the block of lines at the end of
// the file that hold an "=" (or are empty), found by scanning back from the last whole line;
// the first line met without an "=" ends it. That line is the last record's date-time line,
// always a plain number, so the block cannot reach into the records: a record line that reads
// "AMark=x" (a file with that name) never answers a key lookup. A last line without a line end
// is cut short and takes no part. A NUL is an ordinary byte here: lines and the block are found
// over every byte of the file, and a field's text ends at a NUL in its line.
//
// A damaged line among the fields (one that lost its "=") would cut the block there and hide
// the fields above it. So when the block lacks a line the writer always writes, it reaches back
// over lines without "=" to the first line that is a plain number (the last record's date-time
// or size line): the fields that still stand are found, and the lines that lost their "=" are
// named as the damage. Records are never taken in: they end in number lines.
//
// A key's value is that of its first line in the block; in a damaged block (by the rule below)
// that of its last line, which is the one a writer that found the block damaged would have
// added. Marks and numbers of damaged archives thus stay taken.
//
// An archive is damaged when any of these holds (the writer and the editor never produce one):
// - it holds a NUL byte;
// - its last line has no line end (the file was cut short);
// - it has no field block, or the block has no "AEnd=EndTag" line, or a line after that one
//   other than the "AMark", "ALocation" and "ANote" lines the editor appends there, or an
//   empty line or a line without "=", or it lacks one of the lines the writer always writes and
//   the editor never removes (ADate, ACRC, AFiles, ADirs, ASize, ANumber, ASource, APicture);
// - "ANumber" is not a number from 1 to 2147483647 (the largest archive number);
// - "AFiles" is not a number, or is negative, or is missing, empty or zero while the record
//   section holds lines; "APars" (lines per record, 4 when missing) is not a positive number;
// - the record section's whole lines are not those of AFiles records.
//
// How a damaged archive is read: the whole records it has. With a usable "AFiles" the first
// AFiles records, as far as they are whole; without one (no block, or the count missing, not
// a number, zero or negative while records are present) every whole record. Records end at the
// first NUL. A record is whole when its lines all end with a line end.

#include <QByteArrayView>
#include <QString>
#include <QStringView>

#include "catalog/ArchiveText.h"

#include <cstddef>
#include <cstdint>
#include <vector>

// What the field block says about reading the records, and the damage it shows.
struct RecordPlan
{
    qint64 linesPerRecord = 4;
    qint64 records = 0;            // the records AFiles promises, when usable
    bool everyWholeRecord = false; // no usable count while records are present: read them all
    QString damage;                // the first damage found so far, empty when none
};

class FieldBlock
{
public:
    // Locates the block in text that ends where the file ends, and judges it. When wholeText is
    // false the text is only the file's end: false then means the block may reach further back
    // than the text holds (or no whole line was found), and more of the file is needed.
    bool locate(const char *data, size_t size, bool wholeText);

    // The record section is [0, begin()); the block's lines follow. Without a block, begin() is
    // textEnd().
    size_t begin() const { return m_begin; }
    // Just after the last line end: a last line cut short lies in [textEnd(), size).
    size_t textEnd() const { return m_textEnd; }
    qsizetype lineCount() const { return qsizetype(m_lines.size()); }
    // Line i of the block, its text ending at a NUL.
    QByteArrayView line(const char *data, qsizetype i) const;
    // The block line that answers a lookup of the key (the text before a line's first "=",
    // compared without regard to letter case): the first such line, or the last in a damaged
    // block; -1 when there is none.
    qsizetype find(const char *data, QStringView key) const;
    // The value after that line's first "=", exactly as stored; empty when missing.
    QByteArrayView value(const char *data, QStringView key) const;

    // The block's half of the damage rule and how the records are read (see above); a NUL and
    // the count of record lines are the caller's to judge (judgeArchive).
    const RecordPlan &plan() const { return m_plan; }
    bool isDamaged() const { return !m_plan.damage.isEmpty(); }

private:
    bool scan(const char *data, bool wholeText, bool overDamage);

    size_t m_begin = 0;
    size_t m_textEnd = 0;
    std::vector<LineSpan> m_lines; // top to bottom
    RecordPlan m_plan;
};

// The verdict, given the whole lines of the record section before any NUL and whether the file
// holds a NUL: empty when sound, else a short reason.
QString judgeArchive(const RecordPlan &plan, uint64_t wholeRecordLines, bool nul);

// The whole records that many whole lines hold.
qint64 wholeRecords(const RecordPlan &plan, uint64_t wholeRecordLines);

// The reason texts, for callers that add their own.
namespace archivedamage {
inline const QString Nul = QStringLiteral("holds a NUL byte");
inline const QString MoreRecordsPromised =
    QStringLiteral("AFiles promises more records than the archive holds");
} // namespace archivedamage
