#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <memory>

// A catalog file read front to back in blocks, unpacked on the way when it is gzip-compressed
// (recognised by its first bytes, whatever its name). Unpacking stops with an error when the
// output grows far beyond what a catalog of the file's size could hold: a compression bomb
// must not keep the reader busy for hours.
class InputStream
{
public:
    InputStream();
    ~InputStream();
    InputStream(const InputStream &) = delete;
    InputStream &operator=(const InputStream &) = delete;

    bool open(const QString &path);
    // Reads standard input (left open at the end).
    void openStandardInput();
    // Reads from bytes in memory instead (tests and fuzzing).
    void openBytes(QByteArrayView bytes);

    // Up to max bytes; 0 at the end or on an error (error() tells which).
    qsizetype read(char *buffer, qsizetype max);
    // The first bytes of the (unpacked) text, without consuming them.
    QByteArray peek(qsizetype max);

    bool isCompressed() const;
    const QString &error() const { return m_error; }
    // Position in the file as stored (for progress) and the file's size.
    qint64 storedPosition() const;
    qint64 storedSize() const;

    // Unpacked text may be at most this many times the packed size, once past the floor.
    static constexpr qint64 kMaxRatio = 200;
    static constexpr qint64 kRatioFloor = qint64(64) << 20;

private:
    qsizetype readStored(char *buffer, qsizetype max);
    qsizetype readUnpacked(char *buffer, qsizetype max);
    struct Gzip;
    std::unique_ptr<Gzip> m_gzip;
    int m_fd = -1;
    bool m_ownsFd = true;
    QByteArray m_memory;
    qsizetype m_memoryAt = 0;
    qint64 m_storedAt = 0;
    qint64 m_storedSize = 0;
    qint64 m_unpacked = 0;
    QByteArray m_peeked; // read ahead by peek, handed out first
    QString m_error;
};

// Lines of an InputStream, each without its end (LF, CR LF or a lone CR ends a line).
class LineReader
{
public:
    explicit LineReader(InputStream &in, qsizetype maxLine = 1 << 20) : m_in(in), m_maxLine(maxLine) {}
    // False at the end or on an error (error() is set then). The view lasts until the next call.
    bool next(QByteArrayView *line);
    qint64 lineNumber() const { return m_lineNumber; }
    const QString &error() const { return m_error; }

private:
    bool fill();
    InputStream &m_in;
    qsizetype m_maxLine;
    QByteArray m_buffer;
    qsizetype m_begin = 0;
    qsizetype m_end = 0;
    bool m_eof = false;
    bool m_skipLf = false;
    qint64 m_lineNumber = 0;
    QString m_error;
};
