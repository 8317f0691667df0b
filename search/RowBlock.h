#pragma once

// The rows of one archive in the results list's compact form: 24 bytes a row, the names one
// after another in one text and the folder lines in another (a folder shared with the row before
// is stored once). A worker builds the block while it scans; the results model then keeps the
// block as it is, so a row is copied once on its way from the archive to the window.

#include <QByteArrayView>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <new>

namespace search {

struct FoundRecord;

// A growable array of plain values, reused from one block to the next.
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
    void clear() { m_size = 0; }
    void release()
    {
        std::free(m_data);
        m_data = nullptr;
        m_size = m_capacity = 0;
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

// Memory for finished blocks: large regions taken from the system a few at a time (in huge
// pages where the system allows them: a fill of millions of rows otherwise spends much of its
// time faulting pages in) and handed out in pieces that are given back with their region.
class RowArena
{
public:
    struct Region;
    // pooled false: every piece is a memory block of its own, given back as soon as it is done
    // with (for rows that are handed on and dropped).
    explicit RowArena(bool pooled = true) : m_pooled(pooled) {}
    RowArena(const RowArena &) = delete;
    RowArena &operator=(const RowArena &) = delete;
    // n bytes, 16-aligned; *keep holds the region for as long as the bytes are used.
    char *allocate(size_t n, std::shared_ptr<const Region> *keep);

private:
    bool m_pooled;
    std::shared_ptr<Region> m_region;
    size_t m_used = 0;
};

class RowBlock
{
public:
    enum : uint32_t { DateValid = 1, SizeValid = 2 };

    // A record index has 40 bits (an archive holds fewer records than it has bytes, and it is
    // read into memory whole); a block at most 4 GiB of names and 4 Mi folders.
    static constexpr qint64 kMaxRecord = (qint64(1) << 40) - 1;
    static constexpr uint32_t kMaxFolders = uint32_t(1) << 22;

    struct Row
    {
        qint64 size;      // 0 unless SizeValid
        int32_t date;     // 0 unless DateValid
        uint32_t nameEnd; // where the name ends in the names; it begins where the row before's ends
        uint32_t recordLow;
        uint32_t packed; // folder index << 10 | record bits 32..39 << 2 | DateValid | SizeValid
        qint64 record() const { return qint64((uint64_t((packed >> 2) & 0xFF) << 32) | recordLow); }
        uint32_t flags() const { return packed & 3; }
        uint32_t folder() const { return packed >> 10; }
    };
    struct Span
    {
        uint32_t at, len;
    };

    RowBlock() = default;
    RowBlock(const RowBlock &) = delete;
    RowBlock &operator=(const RowBlock &) = delete;

    bool keepsText() const { return m_keepText; }
    size_t size() const { return m_rowCount; }
    const Row &row(size_t i) const { return m_rows[i]; }
    // r must be one of this block's rows.
    QByteArrayView name(const Row &r) const
    {
        const uint32_t begin = &r == m_rows ? 0 : (&r - 1)->nameEnd;
        return QByteArrayView(m_names + begin, r.nameEnd - begin);
    }
    QByteArrayView folder(const Row &r) const { return folderText(r.folder()); }
    size_t folderCount() const { return m_folderCount; }
    QByteArrayView folderText(uint32_t i) const
    {
        return QByteArrayView(m_folderText + m_folders[i].at, m_folders[i].len);
    }
    // Rows whose date or size line could not be read.
    size_t unfilledRows() const { return m_unfilled; }
    // The row as the engine hands it to a sink (views into this block).
    FoundRecord found(size_t i, int archiveId) const;
    // Bytes the block's rows, folders and text take.
    size_t bytes() const;

private:
    friend class RowBlockBuilder;
    bool m_keepText = true;
    const Row *m_rows = nullptr;
    size_t m_rowCount = 0;
    const Span *m_folders = nullptr;
    size_t m_folderCount = 0;
    const char *m_folderText = nullptr;
    size_t m_folderTextSize = 0;
    const char *m_names = nullptr;
    size_t m_namesSize = 0;
    size_t m_unfilled = 0;
    std::shared_ptr<const RowArena::Region> m_region; // once finished
};
static_assert(sizeof(RowBlock::Row) == 24);

// Fills one block after another in buffers it keeps; the block reads them while it grows and
// gets memory of its own, exactly its size, from an arena when it is finished.
class RowBlockBuilder
{
public:
    // keepText false: rows keep their numbers only (for a sink that reads no text).
    explicit RowBlockBuilder(bool keepText = true) : m_keepText(keepText) {}

    // The block being filled, started when there is none.
    const std::shared_ptr<RowBlock> &block()
    {
        if (!m_block)
            start();
        return m_block;
    }
    bool building() const { return m_block != nullptr; }
    // False, and nothing added, when the block cannot hold the row (see Row): finish it and add
    // the row to the next one.
    bool append(const FoundRecord &found);
    // Moves the block into the arena's memory and lets it go; the next append starts another.
    void finish(RowArena &arena);
    // Drops the block being filled.
    void discard() { m_block.reset(); }
    // Gives back the buffers (they hold the largest block built so far).
    void release();

private:
    void start();
    // Lets the block read the buffers as they are now.
    void expose()
    {
        RowBlock &b = *m_block;
        b.m_rows = m_rows.data();
        b.m_rowCount = m_rows.size();
        b.m_folders = m_folders.data();
        b.m_folderCount = m_folders.size();
        b.m_folderText = m_folderText.data();
        b.m_folderTextSize = m_folderText.size();
        b.m_names = m_names.data();
        b.m_namesSize = m_names.size();
    }

    bool m_keepText;
    std::shared_ptr<RowBlock> m_block;
    PodBuffer<RowBlock::Row> m_rows;
    PodBuffer<char> m_names;
    PodBuffer<RowBlock::Span> m_folders;
    PodBuffer<char> m_folderText;
};

} // namespace search
