#include "ArchiveWriter.h"

#include "Archive.h"
#include "Catalog.h"
#include "DosDateTime.h"
#include "util/AmbryError.h"

#include <QFileInfo>

namespace {

void appendField(QByteArray &out, const char *key, const QByteArray &value)
{
    out += key;
    out += '=';
    out += value;
    out += "\r\n";
}

// What marks, locations and notes look like in the file: trimmed, and on one line.
QByteArray fieldText(const QString &text)
{
    return encodeFieldValue(trimControls(text));
}

} // namespace

QString fieldLengthProblem(const QString &fieldName, const QString &text)
{
    if (trimControls(text).size() <= kMaxFieldLength)
        return QString();
    return QStringLiteral("the %1 is longer than %2 characters").arg(fieldName).arg(kMaxFieldLength);
}

QString writeNewArchive(const catalog::Catalog &catalog, const QByteArray &recordSection,
                        const QString &checksum, const ArchiveFields &fields)
{
    if (trimControls(checksum).isEmpty())
        throw AmbryError(QStringLiteral("Cannot Get CRC."));
    // The checksum names the file: it must not lead anywhere outside the catalog folder.
    if (checksum.contains(QLatin1Char('/')) || checksum.contains(QChar(0)) ||
        checksum == QLatin1String(".") || checksum == QLatin1String(".."))
        throw AmbryError(QStringLiteral("Invalid archive checksum \"%1\".").arg(checksum));

    const QString path = catalog.archivePath(checksum);

    QByteArray out;
    out.reserve(recordSection.size() + 512);
    out += recordSection;
    if (!out.isEmpty() && !out.endsWith('\n') && !out.endsWith('\r'))
        out += "\r\n"; // the fields must start on a line of their own
    const QDateTime at = fields.savedAt.isValid() ? fields.savedAt : QDateTime::currentDateTime();
    appendField(out, "ADate", QByteArray::number(dosdate::pack(at)));
    appendField(out, "AMark", fieldText(fields.mark));
    appendField(out, "ALocation", fieldText(fields.location));
    appendField(out, "ACRC", encodeFieldValue(checksum));
    appendField(out, "AFiles", QByteArray::number(fields.files));
    appendField(out, "ADirs", QByteArray::number(fields.dirs));
    appendField(out, "ANote", fieldText(fields.note));
    appendField(out, "ASize", QByteArray::number(fields.size));
    appendField(out, "ANumber", QByteArray::number(fields.number));
    appendField(out, "ASource", fieldText(fields.source));
    appendField(out, "APicture", QByteArray());
    appendField(out, "AEnd", "EndTag");

    writeFileAtomically(path, out);
    catalog.recordNumber(fields.number);
    return path;
}

QByteArray withFieldValues(const QByteArray &bytes, const QList<std::pair<QString, QString>> &values)
{
    const Archive archive = Archive::fromBytes(bytes);
    const qsizetype begin = archive.fieldsBegin();
    QByteArray out = bytes.left(begin < archive.lineCount() ? archive.lineOffset(begin) : bytes.size());
    if (!out.isEmpty() && !out.endsWith('\n') && !out.endsWith('\r'))
        out += "\r\n";
    QList<QByteArray> lines;
    for (qsizetype i = begin; i < archive.lineCount(); ++i)
        lines.append(archive.line(i).toByteArray());

    // The line every reader takes for the key is the one set: the first, or in a damaged block
    // the last.
    const bool lastWins = archive.fieldsDamaged();
    for (const auto &[key, value] : values) {
        qsizetype found = -1;
        for (qsizetype i = 0; i < lines.size() && (found < 0 || lastWins); ++i) {
            const qsizetype eq = lines.at(i).indexOf('=');
            if (eq >= 0 && sameArchiveKey(QByteArrayView(lines.at(i)).first(eq), key))
                found = i;
        }
        if (!value.isEmpty()) {
            const QByteArray line = encodeArchiveText(key) + '=' + encodeFieldValue(value);
            if (found >= 0)
                lines[found] = line;
            else
                lines.append(line);
        } else if (found >= 0) {
            lines.removeAt(found);
        }
    }
    for (const QByteArray &line : std::as_const(lines)) {
        out += line;
        out += "\r\n";
    }
    return out;
}

bool ChangeValuesInArchive(const QString &mark, const QString &location, const QString &note,
                           const QString &path)
{
    try {
        // Rewrite the file a link points to, so that the link stays where the user put it.
        QString target = path;
        const QFileInfo info(path);
        if (info.isSymLink()) {
            target = info.canonicalFilePath();
            if (target.isEmpty())
                return false;
        }
        QFile file(target);
        if (!file.open(QIODevice::ReadOnly))
            return false;
        const QByteArray bytes = file.readAll();
        if (file.error() != QFileDevice::NoError)
            return false;
        file.close();
        // Readers stop at a NUL; rewriting from what they see would drop what follows it.
        if (bytes.contains('\0'))
            return false;

        const QByteArray out = withFieldValues(bytes, {{QStringLiteral("AMark"), mark},
                                                       {QStringLiteral("ALocation"), location},
                                                       {QStringLiteral("ANote"), note}});
        writeFileAtomically(target, out);
        return true;
    } catch (const AmbryError &) {
        return false;
    }
}
