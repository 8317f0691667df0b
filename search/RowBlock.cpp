#include "RowBlock.h"

#include "SearchEngine.h"

#include <sys/mman.h>

#include <algorithm>
#include <cstring>

namespace search {

namespace {

constexpr size_t kHugePage = size_t(2) << 20;
// Small enough that the few a worker holds do not count against the read-ahead bound, large
// enough for many archives' rows.
constexpr size_t kRegionSize = size_t(4) << 20;

size_t roundUp(size_t n, size_t to)
{
    return (n + to - 1) / to * to;
}

} // namespace

struct RowArena::Region
{
    // mapped: a region of its own, with room to start on a huge page boundary (the slack is
    // never touched); otherwise an ordinary memory block.
    Region(size_t size, bool mapped) : mapped(mapped), size(size)
    {
        if (!mapped) {
            base = start = static_cast<char *>(std::malloc(std::max<size_t>(size, 1)));
            if (!base)
                throw std::bad_alloc();
            return;
        }
        length = size + kHugePage;
        void *p = mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (p == MAP_FAILED)
            throw std::bad_alloc();
        base = static_cast<char *>(p);
        start = reinterpret_cast<char *>(roundUp(reinterpret_cast<uintptr_t>(base), kHugePage));
        madvise(start, size, MADV_HUGEPAGE); // a hint: without it the pages are small
    }
    ~Region()
    {
        if (mapped)
            munmap(base, length);
        else
            std::free(base);
    }
    Region(const Region &) = delete;
    Region &operator=(const Region &) = delete;

    bool mapped;
    char *base = nullptr;
    size_t length = 0;
    char *start = nullptr;
    size_t size = 0;
};

char *RowArena::allocate(size_t n, std::shared_ptr<const Region> *keep)
{
    n = roundUp(std::max<size_t>(n, 1), 16);
    if (!m_pooled) {
        auto piece = std::make_shared<const Region>(n, false);
        *keep = piece;
        return piece->start;
    }
    if (!m_region || m_region->size - m_used < n) {
        m_region = std::make_shared<Region>(std::max(kRegionSize, roundUp(n, kHugePage)), true);
        m_used = 0;
    }
    char *p = m_region->start + m_used;
    m_used += n;
    *keep = m_region;
    return p;
}

void RowBlockBuilder::start()
{
    m_block = std::make_shared<RowBlock>();
    m_block->m_keepText = m_keepText;
    m_rows.clear();
    m_text.clear();
    m_folders.clear();
}

bool RowBlockBuilder::append(const FoundRecord &found)
{
    RowBlock &b = *block();
    RowBlock::Row r;
    r.size = found.sizeValid ? found.size : 0;
    r.recordFlags = (uint64_t(found.record) << 2) | (found.dateValid ? RowBlock::DateValid : 0u) |
                    (found.sizeValid ? RowBlock::SizeValid : 0u);
    r.date = found.dateValid ? found.date : 0;
    r.nameAt = 0;
    r.nameLen = 0;
    r.folder = 0;
    if (m_keepText) {
        const size_t folderLen = size_t(found.folder.size());
        const size_t nameLen = size_t(found.name.size());
        bool sameFolder = false;
        if (m_folders.size() > 0) {
            const RowBlock::Span &last = m_folders[m_folders.size() - 1];
            sameFolder =
                last.len == folderLen &&
                (folderLen == 0 || std::memcmp(m_text.data() + last.at, found.folder.data(), folderLen) == 0);
        }
        const size_t adds = nameLen + (sameFolder ? 0 : folderLen);
        if (m_text.size() + adds > UINT32_MAX || m_folders.size() >= UINT32_MAX)
            return false;
        char *out = m_text.reserveMore(adds);
        if (!sameFolder) {
            m_folders.push(RowBlock::Span{uint32_t(m_text.size()), uint32_t(folderLen)});
            if (folderLen)
                std::memcpy(out, found.folder.data(), folderLen);
            out += folderLen;
        }
        r.folder = uint32_t(m_folders.size() - 1);
        r.nameAt = uint32_t(m_text.size() + (sameFolder ? 0 : folderLen));
        r.nameLen = uint32_t(nameLen);
        if (nameLen)
            std::memcpy(out, found.name.data(), nameLen);
        m_text.commit(adds);
    }
    if (!found.dateValid || !found.sizeValid)
        ++b.m_unfilled;
    m_rows.push(r);
    expose();
    return true;
}

void RowBlockBuilder::finish(RowArena &arena)
{
    if (!m_block)
        return;
    RowBlock &b = *m_block;
    const size_t rowBytes = m_rows.size() * sizeof(RowBlock::Row);
    const size_t folderBytes = m_folders.size() * sizeof(RowBlock::Span);
    char *p = arena.allocate(rowBytes + folderBytes + m_text.size(), &b.m_region);
    if (rowBytes)
        std::memcpy(p, m_rows.data(), rowBytes);
    if (folderBytes)
        std::memcpy(p + rowBytes, m_folders.data(), folderBytes);
    if (m_text.size())
        std::memcpy(p + rowBytes + folderBytes, m_text.data(), m_text.size());
    b.m_rows = reinterpret_cast<const RowBlock::Row *>(p);
    b.m_folders = reinterpret_cast<const RowBlock::Span *>(p + rowBytes);
    b.m_text = p + rowBytes + folderBytes;
    m_block.reset();
}

void RowBlockBuilder::release()
{
    m_rows.release();
    m_text.release();
    m_folders.release();
}

void ResultSink::addRows(int archiveId, const std::shared_ptr<const RowBlock> &block, size_t first,
                         size_t count)
{
    for (size_t i = first; i < first + count; ++i)
        addRow(block->found(i, archiveId));
}

FoundRecord RowBlock::found(size_t i, int archiveId) const
{
    const Row &r = m_rows[i];
    FoundRecord f;
    f.archiveId = archiveId;
    if (m_keepText) {
        f.folder = folder(r);
        f.name = name(r);
    }
    f.record = r.record();
    f.size = r.size;
    f.date = r.date;
    f.sizeValid = r.flags() & SizeValid;
    f.dateValid = r.flags() & DateValid;
    return f;
}

size_t RowBlock::bytes() const
{
    return sizeof(RowBlock) + m_rowCount * sizeof(Row) + m_folderCount * sizeof(Span) + m_textSize;
}

} // namespace search
