#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

#include "catalog/ArchiveLayout.h"
#include "catalog/ArchiveText.h"

#include <optional>
#include <vector>

// One archive file held in memory as bytes plus a line index, read by the rules of
// ArchiveLayout.h: key lookups look only inside the field block at the end of the file.
class Archive
{
public:
    Archive() = default;

    // The whole file. Throws AmbryError when it cannot be opened or read.
    static Archive load(const QString &path);
    // Only the end of the file, enough to hold the field block: what the catalog-wide
    // lookups need, at a fraction of the cost of reading every record. Record lines are
    // then not available (lineCount() covers only what was read) and the record section is
    // judged only as far as it was read. Throws like load().
    static Archive loadFields(const QString &path);
    // As loadFields(), but no archive (rather than an error) when the file no longer exists:
    // a walk may meet a file that is deleted before it is read.
    static std::optional<Archive> loadFieldsIfPresent(const QString &path);
    static std::optional<Archive> loadIfPresent(const QString &path);
    // Without throwing: no archive when the file is gone (*reason empty) or cannot be read
    // (*reason says why, in a few words). fieldsOnly reads from the end as loadFields() does.
    static std::optional<Archive> read(const QString &path, bool fieldsOnly, QString *reason);
    static Archive fromBytes(const QByteArray &bytes);

    // The text read, every byte (NULs included).
    const QByteArray &bytes() const { return m_bytes; }
    qsizetype lineCount() const { return qsizetype(m_lines.size()); }
    QByteArrayView line(qsizetype i) const;
    // Byte offset of line i in bytes().
    qsizetype lineOffset(qsizetype i) const { return m_lines[size_t(i)].begin; }
    QString lineText(qsizetype i) const;
    // Whether the text starts at the beginning of the file (false when loadFields() read
    // only the end).
    bool isWhole() const { return m_fileOffset == 0; }

    // Index of the first line of the field block (the first line after the records).
    qsizetype fieldsBegin() const { return m_fieldsBegin; }
    // The first field line whose key (text before its first "=") equals key without
    // regard to letter case; -1 when there is none.
    qsizetype findField(QStringView key) const;
    // The value after the first "=", exactly as stored (untrimmed, ending at a NUL), empty
    // when missing.
    QByteArrayView rawValue(QStringView key) const;
    QString value(QStringView key) const;

    // Whether the field block is damaged (then a key's last line answers, see ArchiveLayout.h).
    bool fieldsDamaged() const { return m_block.isDamaged(); }
    // Why the archive is damaged, a short text; empty when it is sound. A text read from the
    // file's end judges the record section only as far as it holds it.
    QString damage() const;

private:
    static Archive fromText(const QByteArray &bytes, qint64 fileOffset, const FieldBlock *located);

    QByteArray m_bytes;
    std::vector<LineSpan> m_lines;
    FieldBlock m_block;
    qsizetype m_fieldsBegin = 0;
    qint64 m_fileOffset = 0; // where m_bytes starts in the file
};

// Text as one archive line stores it: UTF-8, with CR, LF and NUL written as blanks, so a
// typed or pasted value (or an odd file name) can never break a line and inject lines of
// its own.
QByteArray encodeArchiveText(const QString &text);
// The same, for field values.
QByteArray encodeFieldValue(const QString &text);
