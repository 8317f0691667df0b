#include "Archive.h"

#include "AmbryError.h"
#include "ArchiveFile.h"

#include <algorithm>
#include <cerrno>

namespace {

[[noreturn]] void failOpen(const QString &path, const ArchiveFile &file)
{
    throw AmbryError(QStringLiteral("Cannot open file \"%1\". %2").arg(path, file.errorText()));
}

[[noreturn]] void failRead(const QString &path, const ArchiveFile &file)
{
    throw AmbryError(QStringLiteral("Cannot read file \"%1\". %2").arg(path, file.errorText()));
}

QByteArray readWhole(ArchiveFile &file, const QString &path)
{
    QByteArray all;
    if (!file.readAll(&all))
        failRead(path, file);
    return all;
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

Archive Archive::load(const QString &path)
{
    ArchiveFile file(path);
    if (file.error())
        failOpen(path, file);
    return fromBytes(readWhole(file, path));
}

Archive Archive::loadFields(const QString &path)
{
    ArchiveFile file(path);
    if (file.error())
        failOpen(path, file);
    return loadFieldsFrom(file, path);
}

std::optional<Archive> Archive::loadIfPresent(const QString &path)
{
    ArchiveFile file(path);
    if (file.error() == ENOENT)
        return std::nullopt;
    if (file.error())
        failOpen(path, file);
    return fromBytes(readWhole(file, path));
}

std::optional<Archive> Archive::loadFieldsIfPresent(const QString &path)
{
    ArchiveFile file(path);
    if (file.error() == ENOENT)
        return std::nullopt;
    if (file.error())
        failOpen(path, file);
    return loadFieldsFrom(file, path);
}

Archive Archive::loadFieldsFrom(ArchiveFile &file, const QString &path)
{
    // The field block is a few hundred bytes; start with a window that holds it many times
    // over and widen it only for unusual archives.
    qint64 window = 4096;
    QByteArray tail;
    for (;;) {
        if (window >= file.size())
            return Archive::fromBytes(readWhole(file, path));
        if (!file.read(file.size() - window, window, &tail))
            failRead(path, file);
        if (tail.size() < window) // changed meanwhile
            return Archive::load(path);
        FieldBlock block;
        if (block.locate(tail.constData(), size_t(tail.size()), false))
            return fromText(tail, file.size() - window, &block);
        window *= 4;
    }
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
    const char *data = m_bytes.constData();
    const size_t size = size_t(m_bytes.size());
    const bool nul = m_bytes.contains('\0');
    const RecordPlan plan = judgeFieldBlock(data, size, m_block, m_fileOffset + qint64(m_block.begin()) > 0);
    if (!isWhole() || nul)
        return nul ? archivedamage::Nul : plan.damage;
    return judgeArchive(plan, countLineEnds(data, 0, m_block.begin()), false);
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
