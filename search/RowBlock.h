#pragma once

// The rows of one archive in the results list's compact form: 24 bytes a row, the names one
// after another in one text and the folder lines in another (a folder shared with the row before
// is stored once). A worker builds the block while it scans; the results model then keeps the
// block as it is, so a row is copied once on its way from the archive to the window.

#include <QByteArrayView>

#include <cstddef>
#include <cstdint>
#include <memory>

namespace search {

struct FoundRecord;

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
    std::shared_ptr<const void> m_memory[4]; // what holds the rows, folders, folder text, names
};
static_assert(sizeof(RowBlock::Row) == 24);

// Fills one block after another, each in memory of its own that it keeps when it is finished.
// Pooled, the blocks lie one after another in large regions taken from the system a few at a
// time, in huge pages where the system allows them (a fill of millions of rows otherwise spends
// much of its time faulting pages in), given back when the last of their blocks goes; for blocks
// that are handed on and dropped, each has memory given back with it.
class RowBlockBuilder
{
public:
    // keepText false: rows keep their numbers only (for a sink that reads no text).
    explicit RowBlockBuilder(bool keepText = true, bool pooled = true);
    ~RowBlockBuilder();
    RowBlockBuilder(const RowBlockBuilder &) = delete;
    RowBlockBuilder &operator=(const RowBlockBuilder &) = delete;

    // The block being filled, started when there is none. It reads its rows as they are added.
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
    // The block holds what it has; the next append starts another.
    void finish();
    // Drops the block being filled.
    void discard();

private:
    struct Streams;
    void start();
    void expose();

    bool m_keepText;
    std::shared_ptr<RowBlock> m_block;
    std::unique_ptr<Streams> m_s;
};

} // namespace search
