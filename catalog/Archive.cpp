#include "Archive.h"

#include "ArchiveFile.h"
#include "util/AmbryError.h"
#include "util/PosixFile.h"

#include <algorithm>
#include <cerrno>

namespace {

[[noreturn]] void fail(const QString &path, const QString &reason)
{
    throw AmbryError(QStringLiteral("Cannot read file \"%1\". %2").arg(path, reason));
}

} // namespace

Archive Archive::fromText(const QByteArray &bytes, qint64 fileOffset, const FieldBlock *located)
{
    Archive a;
    a.m_bytes = bytes;
    a.m_fileOffset = fileOffset;
    const char *data = a.m_bytes.constData();
    const size_t size = size_t(a.m_bytes.size());
    indexLines(data, size, a.m_lines);
    if (located)
        a.m_block = *located;
    else
        a.m_block.locate(data, size, true);
    const auto first = std::lower_bound(a.m_lines.begin(), a.m_lines.end(), a.m_block.begin(),
                                        [](const LineSpan &l, size_t offset) { return l.begin < offset; });
    a.m_fieldsBegin = qsizetype(first - a.m_lines.begin());
    return a;
}

Archive Archive::fromBytes(const QByteArray &bytes)
{
    return fromText(bytes, 0, nullptr);
}

std::optional<Archive> Archive::read(const QString &path, bool fieldsOnly, QString *reason)
{
    reason->clear();
    ArchiveFile file(path);
    if (file.error()) {
        if (file.error() != ENOENT)
            *reason = file.errorText();
        return std::nullopt;
    }
    // The field block is a few hundred bytes; start with a window that holds it many times
    // over and widen it only for unusual archives.
    qint64 window = 4096;
    QByteArray bytes;
    while (fieldsOnly && window < file.size()) {
        if (!file.read(file.size() - window, window, &bytes)) {
            *reason = file.errorText();
            return std::nullopt;
        }
        if (bytes.size() < window)
            break; // changed meanwhile: read what there is now
        FieldBlock block;
        if (block.locate(bytes.constData(), size_t(bytes.size()), false))
            return fromText(bytes, file.size() - window, &block);
        window *= 4;
    }
    if (!file.readAll(&bytes)) {
        *reason = file.errorText();
        return std::nullopt;
    }
    return fromBytes(bytes);
}

Archive Archive::load(const QString &path)
{
    QString reason;
    std::optional<Archive> a = read(path, false, &reason);
    if (!a)
        fail(path, reason.isEmpty() ? errnoText(ENOENT) : reason);
    return std::move(*a);
}

Archive Archive::loadFields(const QString &path)
{
    QString reason;
    std::optional<Archive> a = read(path, true, &reason);
    if (!a)
        fail(path, reason.isEmpty() ? errnoText(ENOENT) : reason);
    return std::move(*a);
}

std::optional<Archive> Archive::loadIfPresent(const QString &path)
{
    QString reason;
    std::optional<Archive> a = read(path, false, &reason);
    if (!a && !reason.isEmpty())
        fail(path, reason);
    return a;
}

std::optional<Archive> Archive::loadFieldsIfPresent(const QString &path)
{
    QString reason;
    std::optional<Archive> a = read(path, true, &reason);
    if (!a && !reason.isEmpty())
        fail(path, reason);
    return a;
}

QByteArrayView Archive::line(qsizetype i) const
{
    const LineSpan &s = m_lines[size_t(i)];
    return QByteArrayView(m_bytes.constData() + s.begin, qsizetype(s.end - s.begin));
}

QString Archive::lineText(qsizetype i) const
{
    return decodeArchiveText(line(i));
}

qsizetype Archive::findField(QStringView key) const
{
    const qsizetype i = m_block.find(m_bytes.constData(), key);
    return i < 0 ? -1 : m_fieldsBegin + i;
}

QByteArrayView Archive::rawValue(QStringView key) const
{
    return m_block.value(m_bytes.constData(), key);
}

QString Archive::value(QStringView key) const
{
    return decodeArchiveText(rawValue(key));
}

QString Archive::damage() const
{
    const bool nul = m_bytes.contains('\0');
    const RecordPlan &plan = m_block.plan();
    if (!isWhole() || nul)
        return nul ? archivedamage::Nul : plan.damage;
    return judgeArchive(plan, countLineEnds(m_bytes.constData(), 0, m_block.begin()), false);
}

QByteArray encodeArchiveText(const QString &text)
{
    QByteArray out = text.toUtf8();
    for (char &c : out)
        if (c == '\r' || c == '\n' || c == '\0')
            c = ' ';
    return out;
}

QByteArray encodeFieldValue(const QString &text)
{
    return encodeArchiveText(text);
}
