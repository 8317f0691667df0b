#include "ArchiveWriter.h"

#include "AmbryError.h"
#include "Archive.h"
#include "DosDateTime.h"
#include "gRegistry.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString errnoText(int err)
{
    return QString::fromLocal8Bit(std::strerror(err));
}

[[noreturn]] void failWrite(const QString &path, int err)
{
    throw AmbryError(QStringLiteral("Cannot create file \"%1\". %2").arg(path, errnoText(err)));
}

mode_t defaultFileMode()
{
    // The process's file mask, read without changing it (other threads may create files).
    QFile status(QStringLiteral("/proc/self/status"));
    if (status.open(QIODevice::ReadOnly)) {
        for (QByteArray line = status.readLine(); !line.isEmpty(); line = status.readLine()) {
            if (line.startsWith("Umask:")) {
                bool ok = false;
                const uint mask = line.mid(6).trimmed().toUInt(&ok, 8);
                if (ok)
                    return 0666 & ~mode_t(mask);
            }
        }
    }
    const mode_t mask = ::umask(022);
    ::umask(mask);
    return 0666 & ~mask;
}

bool writeAll(int fd, const QByteArray &bytes)
{
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t put = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (put < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        done += put;
    }
    return true;
}

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

void writeFileAtomically(const QString &path, const QByteArray &bytes)
{
    const QByteArray target = QFile::encodeName(path);
    const QFileInfo info(path);
    // The temporary name ends in random characters, so it never matches "*.dat" and no
    // reader of the catalog takes a half-written file for an archive.
    QByteArray temp =
        QFile::encodeName(info.path()) + "/." + QFile::encodeName(info.fileName()) + ".tmp-XXXXXX";
    const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0)
        failWrite(path, errno);

    struct stat old;
    const mode_t mode = ::stat(target.constData(), &old) == 0 ? (old.st_mode & 07777) : defaultFileMode();
    int err = 0;
    if (!writeAll(fd, bytes) || ::fchmod(fd, mode) != 0 || ::fsync(fd) != 0)
        err = errno;
    if (::close(fd) != 0 && !err)
        err = errno;
    if (!err && ::rename(temp.constData(), target.constData()) != 0)
        err = errno;
    if (err) {
        ::unlink(temp.constData());
        failWrite(path, err);
    }
    // Make the rename itself durable; failing here loses nothing already written.
    const int dir = ::open(QFile::encodeName(info.path()).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
}

QString writeNewArchive(const QString &catalogFolder, const QByteArray &recordSection,
                        const QString &checksum, const ArchiveFields &fields)
{
    if (trimControls(checksum).isEmpty())
        throw AmbryError(QStringLiteral("Cannot Get CRC."));
    // The checksum names the file: it must not lead anywhere outside the catalog folder.
    if (checksum.contains(QLatin1Char('/')) || checksum.contains(QChar(0)) ||
        checksum == QLatin1String(".") || checksum == QLatin1String(".."))
        throw AmbryError(QStringLiteral("Invalid archive checksum \"%1\".").arg(checksum));

    QString folder = catalogFolder;
    if (!folder.endsWith(QLatin1Char('/')))
        folder += QLatin1Char('/');
    const QString path = folder + checksum + QStringLiteral(".dat");

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
    appendField(out, "ASource", "CD/DVD");
    appendField(out, "APicture", QByteArray());
    appendField(out, "AEnd", "EndTag");

    writeFileAtomically(path, out);
    WriteSetting(RegKey::V, RegName::LastArchiveNumber, QString::number(fields.number));
    return path;
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

        const Archive archive = Archive::fromBytes(bytes);
        const qsizetype begin = archive.fieldsBegin();
        QByteArray out = bytes.left(begin < archive.lineCount() ? archive.lineOffset(begin) : bytes.size());
        if (!out.isEmpty() && !out.endsWith('\n') && !out.endsWith('\r'))
            out += "\r\n";
        QList<QByteArray> lines;
        for (qsizetype i = begin; i < archive.lineCount(); ++i)
            lines.append(archive.line(i).toByteArray());

        const auto set = [&lines](QStringView key, const QString &value) {
            qsizetype found = -1;
            for (qsizetype i = 0; i < lines.size() && found < 0; ++i) {
                const qsizetype eq = lines.at(i).indexOf('=');
                if (eq >= 0 && sameArchiveKey(QByteArrayView(lines.at(i)).first(eq), key))
                    found = i;
            }
            if (!value.isEmpty()) {
                const QByteArray line = encodeArchiveText(key.toString()) + '=' + encodeFieldValue(value);
                if (found >= 0)
                    lines[found] = line;
                else
                    lines.append(line);
            } else if (found >= 0) {
                lines.removeAt(found);
            }
        };
        set(u"AMark", mark);
        set(u"ALocation", location);
        set(u"ANote", note);

        for (const QByteArray &line : std::as_const(lines)) {
            out += line;
            out += "\r\n";
        }
        writeFileAtomically(target, out);
        return true;
    } catch (const AmbryError &) {
        return false;
    }
}
