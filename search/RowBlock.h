#pragma once

// The rows of one archive in the results list's compact form: 32 bytes a row, the folder and
// name lines in one text buffer (a folder shared with the row before is stored once). A worker
// builds the block while it scans; the results model then keeps the block as it is, so a row is
// copied once on its way from the archive to the window.

#include <QByteArrayView>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <new>

namespace search {

struct FoundRecord;

// A growable array of plain values in memory of its own: shrinking gives the spare end back
// without moving the values, and a large array grows without copying.
template <typename T> class PodBuffer
{
public:
    PodBuffer() = default;
    ~PodBuffer() { std::free(m_data); }
    PodBuffer(const PodBuffer &) = delete;
    PodBuffer &operator=(const PodBuffer &) = delete;

    size_t size() const { return m_size; }
    size_t capacity() const { return m_capacity; }
    T *data() { return m_data; }
    const T *data() const { return m_data; }
    T &operator[](size_t i) { return m_data[i]; }
    const T &operator[](size_t i) const { return m_data[i]; }

    // Room for n more values; returns where they go. Call commit(n) once they are written.
    T *reserveMore(size_t n)
    {
        if (m_capacity - m_size < n)
            grow(m_size + n);
        return m_data + m_size;
    }
    void commit(size_t n) { m_size += n; }
    void push(const T &v)
    {
        *reserveMore(1) = v;
        commit(1);
    }
    // Gives back the capacity past the values.
    void trim()
    {
        if (m_capacity == m_size)
            return;
        if (m_size == 0) {
            std::free(m_data);
            m_data = nullptr;
        } else if (T *p = static_cast<T *>(std::realloc(m_data, m_size * sizeof(T)))) {
            m_data = p;
        } else {
            return; // the larger block is still valid
        }
        m_capacity = m_size;
    }

private:
    void grow(size_t need)
    {
        size_t cap = m_capacity < 256 ? 256 : m_capacity * 2;
        if (cap < need)
            cap = need;
        T *p = static_cast<T *>(std::realloc(m_data, cap * sizeof(T)));
        if (!p)
            throw std::bad_alloc();
        m_data = p;
        m_capacity = cap;
    }

    T *m_data = nullptr;
    size_t m_size = 0;
    size_t m_capacity = 0;
};

class RowBlock
{
public:
    enum : uint32_t { DateValid = 1, SizeValid = 2 };

    struct Row
    {
        qint64 size;          // 0 unless SizeValid
        uint64_t recordFlags; // record index << 2 | DateValid | SizeValid
        uint32_t nameAt;      // offset in the text
        uint32_t nameLen;
        uint32_t folder; // index into the block's folders
        int32_t date;    // 0 unless DateValid
        qint64 record() const { return qint64(recordFlags >> 2); }
        uint32_t flags() const { return uint32_t(recordFlags & 3); }
    };

    // keepText false: rows keep their numbers only (for a sink that reads no text).
    explicit RowBlock(bool keepText = true) : m_keepText(keepText) {}

    // False, and nothing added, when the block cannot hold the row (its text would pass 4 GiB).
    bool append(const FoundRecord &found);
    // Gives back the spare capacity; rows may still be added afterwards.
    void trim();

    bool keepsText() const { return m_keepText; }
    size_t size() const { return m_rows.size(); }
    const Row &row(size_t i) const { return m_rows[i]; }
    QByteArrayView name(const Row &r) const { return QByteArrayView(m_text.data() + r.nameAt, r.nameLen); }
    QByteArrayView folder(const Row &r) const { return folderText(r.folder); }
    size_t folderCount() const { return m_folders.size(); }
    QByteArrayView folderText(uint32_t i) const
    {
        return QByteArrayView(m_text.data() + m_folders[i].at, m_folders[i].len);
    }
    // Rows whose date or size line could not be read.
    size_t unfilledRows() const { return m_unfilled; }
    // The row as the engine hands it to a sink (views into this block).
    FoundRecord found(size_t i, int archiveId) const;
    // Bytes the block holds, spare capacity included.
    size_t bytes() const;

private:
    struct Span
    {
        uint32_t at, len;
    };
    bool m_keepText;
    PodBuffer<Row> m_rows;
    PodBuffer<char> m_text;
    PodBuffer<Span> m_folders;
    size_t m_unfilled = 0;
};
static_assert(sizeof(RowBlock::Row) == 32);

} // namespace search
