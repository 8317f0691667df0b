#include "Archive.h"

#include "AmbryError.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Windows-1252 bytes 0x80..0x9F; the five unassigned ones keep their C1 code, as Windows
// itself converts them.
constexpr char16_t Cp1252High[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                     0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                     0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                     0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

bool isAscii(QByteArrayView bytes)
{
    for (const char c : bytes)
        if (uchar(c) >= 0x80)
            return false;
    return true;
}

// Strict UTF-8: no overlong forms, no surrogates, nothing above U+10FFFF.
bool isValidUtf8(QByteArrayView bytes)
{
    const auto *p = reinterpret_cast<const uchar *>(bytes.data());
    const auto *end = p + bytes.size();
    while (p < end) {
        const uchar c = *p;
        if (c < 0x80) {
            ++p;
            continue;
        }
        int extra;
        uchar lo = 0x80, hi = 0xBF;
        if (c >= 0xC2 && c <= 0xDF) {
            extra = 1;
        } else if (c >= 0xE0 && c <= 0xEF) {
            extra = 2;
            if (c == 0xE0)
                lo = 0xA0;
            else if (c == 0xED)
                hi = 0x9F;
        } else if (c >= 0xF0 && c <= 0xF4) {
            extra = 3;
            if (c == 0xF0)
                lo = 0x90;
            else if (c == 0xF4)
                hi = 0x8F;
        } else {
            return false;
        }
        if (end - p <= extra)
            return false;
        if (p[1] < lo || p[1] > hi)
            return false;
        for (int k = 2; k <= extra; ++k)
            if ((p[k] & 0xC0) != 0x80)
                return false;
        p += extra + 1;
    }
    return true;
}

QString errnoText(int err)
{
    return QString::fromLocal8Bit(std::strerror(err));
}

class ArchiveFile
{
public:
    explicit ArchiveFile(const QString &path) : m_path(path)
    {
        const QByteArray name = QFile::encodeName(path);
        // Non-blocking so that a pipe put in place of an archive cannot hang the reader.
        m_fd = ::open(name.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
        if (m_fd < 0) {
            m_error = errno;
            return;
        }
        struct stat st;
        if (::fstat(m_fd, &st) != 0)
            m_error = errno;
        else if (S_ISDIR(st.st_mode))
            m_error = EISDIR;
        else if (!S_ISREG(st.st_mode))
            m_error = EINVAL;
        else
            m_size = st.st_size;
    }
    ~ArchiveFile()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    ArchiveFile(const ArchiveFile &) = delete;
    ArchiveFile &operator=(const ArchiveFile &) = delete;

    int error() const { return m_error; }
    qint64 size() const { return m_size; }
    [[noreturn]] void fail(int err) const
    {
        throw AmbryError(QStringLiteral("Cannot open file \"%1\". %2").arg(m_path, errnoText(err)));
    }
    void throwIfFailed() const
    {
        if (m_error)
            fail(m_error);
    }

    // Reads [offset, offset + length); a file that shrank meanwhile gives fewer bytes.
    QByteArray read(qint64 offset, qint64 length) const
    {
        QByteArray out(qsizetype(length), Qt::Uninitialized);
        qint64 done = 0;
        while (done < length) {
            const ssize_t got = ::pread(m_fd, out.data() + done, size_t(length - done), offset + done);
            if (got < 0) {
                if (errno == EINTR)
                    continue;
                throw AmbryError(QStringLiteral("Cannot read file \"%1\". %2").arg(m_path, errnoText(errno)));
            }
            if (got == 0)
                break;
            done += got;
        }
        out.truncate(qsizetype(done));
        return out;
    }

    // The whole file, also when it grew since it was opened.
    QByteArray readAll() const
    {
        QByteArray all = read(0, m_size);
        for (;;) {
            const QByteArray more = read(all.size(), 1 << 16);
            if (more.isEmpty())
                return all;
            all += more;
        }
    }

private:
    QString m_path;
    int m_fd = -1;
    int m_error = 0;
    qint64 m_size = 0;
};

bool isLineEnd(char c)
{
    return c == '\n' || c == '\r';
}

// Where the field block starts in text that ends where the file ends: scanning back line by
// line, the block is every line holding an "=" (or empty) after the last one that does not.
// When the text is only the file's end, its first line may be cut; -1 then means that no
// complete line ends the block inside the text and more of the file is needed.
qsizetype fieldBlockOffset(QByteArrayView text, bool startsAtFileStart)
{
    // The last line ends before the text's final line end, if there is one.
    qsizetype end = text.size();
    if (text.endsWith("\r\n"))
        end -= 2;
    else if (end > 0 && isLineEnd(text[end - 1]))
        end -= 1;
    qsizetype blockStart = text.size();
    for (;;) {
        qsizetype begin = end;
        while (begin > 0 && !isLineEnd(text[begin - 1]))
            --begin;
        if (begin == 0 && !startsAtFileStart)
            return -1; // this line may be cut
        const QByteArrayView line = text.sliced(begin, end - begin);
        if (!line.isEmpty() && !line.contains('='))
            return blockStart;
        blockStart = begin;
        if (begin == 0)
            return 0;
        end = begin - 1; // over the previous line's end, CR LF counting once
        if (text[end] == '\n' && end > 0 && text[end - 1] == '\r')
            --end;
    }
}

Archive loadFieldsFrom(const ArchiveFile &file, const QString &path)
{
    // The field block is a few hundred bytes; start with a window that holds it many times
    // over and widen it only for unusual archives.
    qint64 window = 4096;
    for (;;) {
        if (window >= file.size())
            return Archive::fromBytes(file.readAll());
        const QByteArray tail = file.read(file.size() - window, window);
        if (tail.size() < window || tail.contains('\0')) // changed meanwhile, or a NUL ends the text early
            return Archive::load(path);
        const qsizetype offset = fieldBlockOffset(tail, false);
        if (offset >= 0)
            return Archive::fromBytes(tail.sliced(offset)).asTail();
        window *= 4;
    }
}

} // namespace

Archive Archive::fromBytes(const QByteArray &bytes)
{
    Archive a;
    const qsizetype nul = bytes.indexOf('\0');
    a.m_bytes = nul < 0 ? bytes : bytes.left(nul);
    a.index();
    return a;
}

Archive Archive::load(const QString &path)
{
    const ArchiveFile file(path);
    file.throwIfFailed();
    return fromBytes(file.readAll());
}

Archive Archive::loadFields(const QString &path)
{
    const ArchiveFile file(path);
    file.throwIfFailed();
    return loadFieldsFrom(file, path);
}

std::optional<Archive> Archive::loadFieldsIfPresent(const QString &path)
{
    const ArchiveFile file(path);
    if (file.error() == ENOENT)
        return std::nullopt;
    file.throwIfFailed();
    return loadFieldsFrom(file, path);
}

Archive Archive::asTail() &&
{
    m_whole = false;
    return std::move(*this);
}

void Archive::index()
{
    m_lineStart.clear();
    m_lineEnd.clear();
    const char *data = m_bytes.constData();
    const qsizetype size = m_bytes.size();
    // Record lines average some twenty bytes; one guess saves most regrowth.
    m_lineStart.reserve(size / 20 + 4);
    m_lineEnd.reserve(size / 20 + 4);
    qsizetype start = 0;
    qsizetype i = 0;
    while (i < size) {
        const char c = data[i];
        if (c != '\n' && c != '\r') {
            ++i;
            continue;
        }
        m_lineStart.append(start);
        m_lineEnd.append(i);
        i += (c == '\r' && i + 1 < size && data[i + 1] == '\n') ? 2 : 1;
        start = i;
    }
    if (start < size) { // a last line without a line end
        m_lineStart.append(start);
        m_lineEnd.append(size);
    }

    qsizetype first = lineCount();
    while (first > 0) {
        const QByteArrayView l = line(first - 1);
        if (!l.isEmpty() && !l.contains('='))
            break;
        --first;
    }
    m_fieldsBegin = first;
}

QByteArrayView Archive::line(qsizetype i) const
{
    return QByteArrayView(m_bytes.constData() + m_lineStart.at(i), m_lineEnd.at(i) - m_lineStart.at(i));
}

QString Archive::lineText(qsizetype i) const
{
    return decodeArchiveText(line(i));
}

qsizetype Archive::findField(QStringView key) const
{
    for (qsizetype i = m_fieldsBegin; i < lineCount(); ++i) {
        const QByteArrayView l = line(i);
        const qsizetype eq = l.indexOf('=');
        if (eq >= 0 && sameArchiveKey(l.first(eq), key))
            return i;
    }
    return -1;
}

QByteArrayView Archive::rawValue(QStringView key) const
{
    const qsizetype i = findField(key);
    if (i < 0)
        return {};
    const QByteArrayView l = line(i);
    return l.sliced(l.indexOf('=') + 1);
}

QString Archive::value(QStringView key) const
{
    return decodeArchiveText(rawValue(key));
}

QString decodeArchiveText(QByteArrayView bytes)
{
    if (isAscii(bytes))
        return QString::fromLatin1(bytes);
    if (isValidUtf8(bytes))
        return QString::fromUtf8(bytes);
    QString out(bytes.size(), Qt::Uninitialized);
    QChar *o = out.data();
    for (const char c : bytes) {
        const uchar u = uchar(c);
        *o++ = QChar(u >= 0x80 && u < 0xA0 ? Cp1252High[u - 0x80] : char16_t(u));
    }
    return out;
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

QString trimControls(QStringView text)
{
    qsizetype b = 0, e = text.size();
    while (b < e && text.at(b).unicode() <= 32)
        ++b;
    while (e > b && text.at(e - 1).unicode() <= 32)
        --e;
    return text.sliced(b, e - b).toString();
}

QByteArrayView trimControls(QByteArrayView bytes)
{
    qsizetype b = 0, e = bytes.size();
    while (b < e && uchar(bytes.at(b)) <= 32)
        ++b;
    while (e > b && uchar(bytes.at(e - 1)) <= 32)
        --e;
    return bytes.sliced(b, e - b);
}

bool sameArchiveKey(QByteArrayView lineKey, QStringView key)
{
    bool asciiKey = true;
    for (const QChar c : key)
        if (c.unicode() >= 0x80)
            asciiKey = false;
    if (asciiKey && isAscii(lineKey)) {
        if (lineKey.size() != key.size())
            return false;
        for (qsizetype i = 0; i < key.size(); ++i) {
            char a = lineKey.at(i);
            char b = char(key.at(i).unicode());
            if (a >= 'a' && a <= 'z')
                a = char(a - 32);
            if (b >= 'a' && b <= 'z')
                b = char(b - 32);
            if (a != b)
                return false;
        }
        return true;
    }
    return decodeArchiveText(lineKey).toUpper() == key.toString().toUpper();
}
