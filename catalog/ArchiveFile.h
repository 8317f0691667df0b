#pragma once

// Reading archive files from disk: one opening rule for every reader (regular files only, never
// blocking on a pipe put in place of an archive), a positioned read for the field block at a
// file's end, and a reusable whole-file buffer for readers that walk every record.

#include <QByteArray>
#include <QString>

#include <cstddef>
#include <memory>

class ArchiveFile
{
public:
    explicit ArchiveFile(const QString &path);
    ~ArchiveFile();
    ArchiveFile(const ArchiveFile &) = delete;
    ArchiveFile &operator=(const ArchiveFile &) = delete;

    // errno of a failed opening (ENOENT: the file is gone), 0 when open.
    int error() const { return m_error; }
    // The reason as the user reads it, empty when open.
    QString errorText() const;
    qint64 size() const { return m_size; }

    // [offset, offset + length); a file that shrank meanwhile gives fewer bytes. False with the
    // reason in errorText() when the read fails.
    bool read(qint64 offset, qint64 length, QByteArray *out);
    // The whole file, also when it grew since it was opened.
    bool readAll(QByteArray *out);

    int descriptor() const { return m_fd; }

private:
    int m_fd = -1;
    int m_error = 0;
    qint64 m_size = 0;
};

// Archives this large or larger are refused: line positions are kept in 32 bits.
constexpr qint64 kLargestArchive = qint64(0xFFFFFFFFu) - 1;

// While one of these lives, the mappings that ArchiveBuffers on any thread let go of are
// unmapped in batches of about `bytes`, adjacent ones in a single call, and the rest when the
// last one ends. Unmapping makes the kernel interrupt every processor that runs a thread of the
// process; workers that map thousands of archives side by side do that once per batch instead
// of once per archive. Spent mappings hold no memory of their own, only cached file pages.
class BatchedUnmaps
{
public:
    explicit BatchedUnmaps(size_t bytes);
    ~BatchedUnmaps();
    BatchedUnmaps(const BatchedUnmaps &) = delete;
    BatchedUnmaps &operator=(const BatchedUnmaps &) = delete;
};

// A whole file read into a buffer that is kept and reused for the next file. Large files are
// mapped rather than copied. Every byte is kept: a NUL is the reader's to judge.
class ArchiveBuffer
{
public:
    // False with a reason (and *err set to errno, or 0 for "too large") when the file cannot
    // be opened or read.
    bool load(const QString &path, QString *error, int *err = nullptr);
    void setBytes(QByteArrayView bytes);
    const char *data() const { return m_view; }
    size_t size() const { return m_size; }

    ArchiveBuffer() = default;
    ~ArchiveBuffer();
    ArchiveBuffer(const ArchiveBuffer &) = delete;
    ArchiveBuffer &operator=(const ArchiveBuffer &) = delete;

private:
    void reserve(size_t n);
    void unmap();
    std::unique_ptr<char[]> m_data;
    const char *m_view = nullptr;
    void *m_map = nullptr;
    size_t m_mapSize = 0;
    size_t m_capacity = 0;
    size_t m_size = 0;
};
