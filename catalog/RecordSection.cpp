#include "RecordSection.h"

#include "DosDateTime.h"

#include <charconv>
#include <ctime>

namespace {

bool isBlankOrControl(char c)
{
    return static_cast<unsigned char>(c) <= 32;
}

QByteArrayView trimmed(QByteArrayView v)
{
    qsizetype b = 0;
    qsizetype e = v.size();
    while (b < e && isBlankOrControl(v[b]))
        ++b;
    while (e > b && isBlankOrControl(v[e - 1]))
        --e;
    return v.sliced(b, e - b);
}

// A control byte inside a name would split the four-line record, and a "\" would read as a
// folder separator of the folder line; such a file can still be found by a search, but its
// recorded name no longer leads back to it on the disc.
bool isUnrecordable(char c)
{
    return static_cast<unsigned char>(c) < 32 || c == '\\';
}

void replaceUnrecordable(QByteArray &s)
{
    for (char &c : s)
        if (isUnrecordable(c))
            c = '?';
}

} // namespace

namespace filerecord {

QByteArray folderLine(QByteArrayView relative)
{
    if (trimmed(relative).isEmpty())
        return QByteArrayLiteral("\\");
    QByteArrayView rest = relative;
    if (rest.endsWith('/'))
        rest.chop(1);
    QByteArray line = trimmed(rest).toByteArray();
    replaceUnrecordable(line);
    line.replace('/', '\\');
    return line;
}

QByteArray recordName(QByteArrayView rawName)
{
    QByteArray name = trimmed(rawName).toByteArray();
    replaceUnrecordable(name);
    return name;
}

bool hasUnrecordableInside(QByteArrayView rawName)
{
    for (const char c : trimmed(rawName))
        if (isUnrecordable(c))
            return true;
    return false;
}

int32_t packLocalTime(qint64 secondsSinceEpoch)
{
    const time_t t = static_cast<time_t>(secondsSinceEpoch);
    tm local{};
    if (!localtime_r(&t, &local))
        return secondsSinceEpoch < 0 ? dosdate::pack(1980, 1, 1, 0, 0, 0)
                                     : dosdate::pack(2107, 12, 31, 23, 59, 58);
    // dosdate::pack clamps years outside 1980..2107 to the first and last moment it holds.
    return dosdate::pack(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min,
                         local.tm_sec > 59 ? 59 : local.tm_sec);
}

void SectionBuilder::append(QByteArrayView folderLine, QByteArrayView rawName, qint64 size,
                            int32_t packedDate)
{
    const QByteArrayView cleanName = trimmed(rawName);

    // Room for two 64-bit decimals, each followed by CR LF.
    char numbers[48];
    char *const end = numbers + sizeof numbers;
    char *p = std::to_chars(numbers, end - 2, size).ptr;
    *p++ = '\r';
    *p++ = '\n';
    p = std::to_chars(p, end - 2, packedDate).ptr;
    *p++ = '\r';
    *p++ = '\n';

    m_section.append(folderLine.data(), folderLine.size());
    m_section.append("\r\n", 2);
    const qsizetype nameAt = m_section.size();
    m_section.append(cleanName.data(), cleanName.size());
    for (qsizetype i = nameAt; i < m_section.size(); ++i)
        if (isUnrecordable(m_section.at(i)))
            m_section[i] = '?';
    m_section.append("\r\n", 2);
    m_section.append(numbers, p - numbers);

    ++m_files;
    m_bytes += size;
}

void SectionBuilder::appendAt(QByteArrayView folderLine, QByteArrayView rawName, qint64 size,
                              qint64 secondsSinceEpoch)
{
    append(folderLine, rawName, size, m_packer.pack(secondsSinceEpoch));
}

QByteArray SectionBuilder::take()
{
    QByteArray out;
    out.swap(m_section);
    clear();
    return out;
}

void SectionBuilder::clear()
{
    m_section = QByteArray();
    m_files = 0;
    m_bytes = 0;
}

} // namespace filerecord
