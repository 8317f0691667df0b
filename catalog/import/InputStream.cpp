#include "catalog/import/InputStream.h"

#include "util/PosixFile.h"

#include <QFile>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

struct InputStream::Gzip
{
    z_stream z{};
    QByteArray in;
    bool ended = false; // a member ended and no further one follows
};

InputStream::InputStream() = default;

InputStream::~InputStream()
{
    if (m_gzip)
        inflateEnd(&m_gzip->z);
    if (m_fd >= 0 && m_ownsFd)
        ::close(m_fd);
}

void InputStream::openStandardInput()
{
    m_fd = STDIN_FILENO;
    m_ownsFd = false;
}

bool InputStream::open(const QString &path)
{
    m_fd = openRetrying(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    struct stat st;
    if (m_fd < 0 || ::fstat(m_fd, &st) != 0) {
        m_error =
            QStringLiteral("Cannot open %1: %2").arg(path, QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    if (S_ISDIR(st.st_mode)) {
        m_error = QStringLiteral("%1 is a folder, not a catalog file.").arg(path);
        return false;
    }
    m_storedSize = st.st_size;
    return true;
}

void InputStream::openBytes(QByteArrayView bytes)
{
    m_memory = bytes.toByteArray();
    m_storedSize = m_memory.size();
}

qsizetype InputStream::readStored(char *buffer, qsizetype max)
{
    if (m_fd < 0) {
        const qsizetype n = std::min(max, m_memory.size() - m_memoryAt);
        std::memcpy(buffer, m_memory.constData() + m_memoryAt, size_t(n));
        m_memoryAt += n;
        m_storedAt += n;
        return n;
    }
    for (;;) {
        const ssize_t n = ::read(m_fd, buffer, size_t(max));
        if (n >= 0) {
            m_storedAt += n;
            return n;
        }
        if (errno != EINTR) {
            m_error =
                QStringLiteral("Cannot read the file: %1").arg(QString::fromLocal8Bit(std::strerror(errno)));
            return 0;
        }
    }
}

bool InputStream::isCompressed() const
{
    return m_gzip != nullptr;
}

qint64 InputStream::storedPosition() const
{
    return m_storedAt;
}

qint64 InputStream::storedSize() const
{
    return m_storedSize;
}

QByteArray InputStream::peek(qsizetype max)
{
    while (m_peeked.size() < max && m_error.isEmpty()) {
        const qsizetype had = m_peeked.size();
        m_peeked.resize(max);
        const qsizetype n = readUnpacked(m_peeked.data() + had, max - had);
        m_peeked.truncate(had + n);
        if (n == 0)
            break;
    }
    return m_peeked.left(max);
}

qsizetype InputStream::read(char *buffer, qsizetype max)
{
    if (!m_peeked.isEmpty()) {
        const qsizetype n = std::min(max, m_peeked.size());
        std::memcpy(buffer, m_peeked.constData(), size_t(n));
        m_peeked.remove(0, n);
        return n;
    }
    if (!m_error.isEmpty())
        return 0;
    return readUnpacked(buffer, max);
}

qsizetype InputStream::readUnpacked(char *buffer, qsizetype max)
{
    if (m_storedAt == 0 && !m_gzip) {
        // The gzip signature decides, not the file's name.
        char head[2];
        const qsizetype n = readStored(head, 2);
        if (n == 2 && static_cast<unsigned char>(head[0]) == 0x1f &&
            static_cast<unsigned char>(head[1]) == 0x8b) {
            m_gzip = std::make_unique<Gzip>();
            if (inflateInit2(&m_gzip->z, 16 + MAX_WBITS) != Z_OK) {
                m_error = QStringLiteral("Cannot unpack the file: out of memory.");
                return 0;
            }
            m_gzip->in = QByteArray(head, 2);
            m_gzip->z.next_in = reinterpret_cast<Bytef *>(m_gzip->in.data());
            m_gzip->z.avail_in = 2;
        } else {
            const qsizetype take = std::min(n, max);
            std::memcpy(buffer, head, size_t(take));
            if (take < n)
                m_peeked.append(head + take, n - take);
            return take;
        }
    }
    if (!m_gzip)
        return readStored(buffer, max);

    Gzip &g = *m_gzip;
    for (;;) {
        if (g.ended)
            return 0;
        if (g.z.avail_in == 0) {
            g.in.resize(1 << 16);
            const qsizetype n = readStored(g.in.data(), g.in.size());
            g.in.truncate(n);
            if (n == 0) {
                if (m_error.isEmpty())
                    m_error = QStringLiteral("The compressed file is cut short.");
                return 0;
            }
            g.z.next_in = reinterpret_cast<Bytef *>(g.in.data());
            g.z.avail_in = uInt(g.in.size());
        }
        g.z.next_out = reinterpret_cast<Bytef *>(buffer);
        g.z.avail_out = uInt(std::min<qsizetype>(max, 1 << 20));
        const uInt before = g.z.avail_out;
        const int rc = inflate(&g.z, Z_NO_FLUSH);
        const qsizetype produced = qsizetype(before - g.z.avail_out);
        m_unpacked += produced;
        if (m_unpacked > kRatioFloor && m_unpacked > kMaxRatio * std::max<qint64>(m_storedAt, 1)) {
            m_error = QStringLiteral("The file unpacks to more than %1 times its size: it is no catalog "
                                     "(a compression bomb?).")
                          .arg(kMaxRatio);
            return 0;
        }
        if (rc == Z_STREAM_END) {
            // Another member may follow (concatenated gzip files are one file); anything else
            // after the end is padding, as gzip itself takes it.
            if (g.z.avail_in < 2) {
                QByteArray rest(reinterpret_cast<const char *>(g.z.next_in), qsizetype(g.z.avail_in));
                rest.resize(1 << 16);
                const qsizetype n = readStored(rest.data() + g.z.avail_in, rest.size() - g.z.avail_in);
                rest.truncate(qsizetype(g.z.avail_in) + n);
                g.in = rest;
                g.z.next_in = reinterpret_cast<Bytef *>(g.in.data());
                g.z.avail_in = uInt(g.in.size());
            }
            if (g.z.avail_in >= 2 && g.z.next_in[0] == 0x1f && g.z.next_in[1] == 0x8b) {
                if (inflateReset(&g.z) != Z_OK) {
                    m_error = QStringLiteral("Cannot unpack the file.");
                    return 0;
                }
            } else {
                g.ended = true;
            }
            if (produced > 0)
                return produced;
            continue;
        }
        if (rc != Z_OK && rc != Z_BUF_ERROR) {
            m_error = QStringLiteral("The compressed file is damaged (%1).")
                          .arg(QString::fromLatin1(g.z.msg ? g.z.msg : "bad data"));
            return 0;
        }
        if (produced > 0)
            return produced;
        if (rc == Z_BUF_ERROR && g.z.avail_in != 0) {
            m_error = QStringLiteral("The compressed file is damaged.");
            return 0;
        }
    }
}

bool LineReader::fill()
{
    if (m_eof)
        return false;
    if (m_begin > 0) {
        m_buffer.remove(0, m_begin);
        m_end -= m_begin;
        m_begin = 0;
    }
    if (m_buffer.size() - m_end < (1 << 16))
        m_buffer.resize(m_end + (1 << 18));
    const qsizetype n = m_in.read(m_buffer.data() + m_end, m_buffer.size() - m_end);
    if (n == 0) {
        m_eof = true;
        if (!m_in.error().isEmpty())
            m_error = m_in.error();
        return false;
    }
    m_end += n;
    return true;
}

bool LineReader::next(QByteArrayView *line)
{
    if (!m_error.isEmpty())
        return false;
    if (m_skipLf) {
        // The CR that ended the last line was the last byte read: its LF may follow.
        if (m_begin == m_end)
            fill();
        if (m_begin < m_end && m_buffer[m_begin] == '\n')
            ++m_begin;
        m_skipLf = false;
    }
    qsizetype scanned = 0;
    for (;;) {
        const char *base = m_buffer.constData();
        qsizetype i = m_begin + scanned;
        while (i < m_end && base[i] != '\n' && base[i] != '\r')
            ++i;
        if (i < m_end) {
            *line = QByteArrayView(base + m_begin, i - m_begin);
            if (base[i] == '\r') {
                if (i + 1 < m_end) {
                    if (base[i + 1] == '\n')
                        ++i;
                } else {
                    m_skipLf = true;
                }
            }
            m_begin = i + 1;
            ++m_lineNumber;
            return true;
        }
        scanned = i - m_begin;
        if (scanned > m_maxLine) {
            m_error = QStringLiteral("Line %1 is longer than %2 bytes.").arg(m_lineNumber + 1).arg(m_maxLine);
            return false;
        }
        if (!fill())
            break;
    }
    if (!m_error.isEmpty())
        return false;
    if (m_begin < m_end) {
        *line = QByteArrayView(m_buffer.constData() + m_begin, m_end - m_begin);
        m_begin = m_end;
        ++m_lineNumber;
        return true;
    }
    return false;
}
