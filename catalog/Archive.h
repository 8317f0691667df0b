#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>
#include <QStringView>

#include <optional>

// One archive file held in memory as bytes plus a line index.
//
// Lines end with CR LF, a lone CR or a lone LF; a NUL byte ends the text. The archive
// fields ("ADate=...", "AMark=...", ...) form the block of key lines at the end of the
// file. Key lookups look only inside that block, so a record line that happens to read
// "AMark=x" (a file on the disc with that name) never answers and is never rewritten.
//
// How the block is found: scanning back from the last line, every line that holds an "="
// (or is empty) belongs to the block; the first line met without one ends it. That line
// is the last record's date-time line, which is always a plain number, so the block
// cannot reach into the record section. An archive without records is all block.
class Archive
{
public:
    Archive() = default;

    // The whole file. Throws AmbryError when it cannot be opened or read.
    static Archive load(const QString &path);
    // Only the end of the file, enough to hold the field block: what the catalog-wide
    // lookups need, at a fraction of the cost of reading every record. Record lines are
    // then not available (lineCount() covers only what was read). A NUL among the fields
    // ends the text as in load(); one earlier in the record section goes unseen, so a
    // damaged record does not hide the archive's mark and number. Throws like load().
    static Archive loadFields(const QString &path);
    // As loadFields(), but no archive (rather than an error) when the file no longer exists:
    // a walk may meet a file that is deleted before it is read.
    static std::optional<Archive> loadFieldsIfPresent(const QString &path);
    static Archive fromBytes(const QByteArray &bytes);

    // The text, cut at the first NUL.
    const QByteArray &bytes() const { return m_bytes; }
    qsizetype lineCount() const { return m_lineStart.size(); }
    QByteArrayView line(qsizetype i) const;
    // Byte offset of line i in bytes().
    qsizetype lineOffset(qsizetype i) const { return m_lineStart.at(i); }
    QString lineText(qsizetype i) const;
    // Whether the text starts at the beginning of the file (false when loadFields() read
    // only the end).
    bool isWhole() const { return m_whole; }

    // Index of the first line of the field block (lineCount() when there is none).
    qsizetype fieldsBegin() const { return m_fieldsBegin; }
    // The first field line whose key (text before its first "=") equals key without
    // regard to letter case; -1 when there is none.
    qsizetype findField(QStringView key) const;
    // The value after the first "=", exactly as stored (untrimmed), empty when missing.
    QByteArrayView rawValue(QStringView key) const;
    QString value(QStringView key) const;

    // Marks an archive made from the end of a file only.
    Archive asTail() &&;

private:
    void index();

    QByteArray m_bytes;
    QList<qsizetype> m_lineStart;
    QList<qsizetype> m_lineEnd;
    qsizetype m_fieldsBegin = 0;
    bool m_whole = true;
};

// Archive text is 8-bit: a line reads as UTF-8 when it is valid UTF-8, else as
// Windows-1252 (archives written on Windows).
QString decodeArchiveText(QByteArrayView bytes);
// Text as one archive line stores it: UTF-8, with CR, LF and NUL written as blanks, so a
// typed or pasted value (or an odd file name) can never break a line and inject lines of
// its own.
QByteArray encodeArchiveText(const QString &text);
// The same, for field values.
QByteArray encodeFieldValue(const QString &text);

// Removes leading and trailing characters of code 32 or below (blanks and controls).
QString trimControls(QStringView text);
QByteArrayView trimControls(QByteArrayView bytes);

// Whether two keys are the same without regard to letter case (QString::toUpper).
bool sameArchiveKey(QByteArrayView lineKey, QStringView key);
