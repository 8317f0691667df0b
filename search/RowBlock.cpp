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
    m_names.clear();
    m_folders.clear();
    m_folderText.clear();
}

bool RowBlockBuilder::append(const FoundRecord &found)
{
    if (found.record < 0 || found.record > RowBlock::kMaxRecord)
        return false;
    RowBlock &b = *block();
    const uint64_t record = uint64_t(found.record);
    RowBlock::Row r;
    r.size = found.sizeValid ? found.size : 0;
    r.date = found.dateValid ? found.date : 0;
    r.recordLow = uint32_t(record);
    uint32_t folder = 0;
    r.nameEnd = 0;
    if (m_keepText) {
        const size_t folderLen = size_t(found.folder.size());
        const size_t nameLen = size_t(found.name.size());
        bool sameFolder = false;
        if (m_folders.size() > 0) {
            const RowBlock::Span &last = m_folders[m_folders.size() - 1];
            sameFolder = last.len == folderLen &&
                         (folderLen == 0 ||
                          std::memcmp(m_folderText.data() + last.at, found.folder.data(), folderLen) == 0);
        }
        if (m_names.size() + nameLen > UINT32_MAX ||
            (!sameFolder &&
             (m_folders.size() >= RowBlock::kMaxFolders || m_folderText.size() + folderLen > UINT32_MAX)))
            return false;
        if (!sameFolder) {
            m_folders.push(RowBlock::Span{uint32_t(m_folderText.size()), uint32_t(folderLen)});
            if (folderLen)
                std::memcpy(m_folderText.reserveMore(folderLen), found.folder.data(), folderLen);
            m_folderText.commit(folderLen);
        }
        folder = uint32_t(m_folders.size() - 1);
        if (nameLen)
            std::memcpy(m_names.reserveMore(nameLen), found.name.data(), nameLen);
        m_names.commit(nameLen);
        r.nameEnd = uint32_t(m_names.size());
    }
    r.packed = folder << 10 | uint32_t(record >> 32) << 2 | (found.dateValid ? RowBlock::DateValid : 0u) |
               (found.sizeValid ? RowBlock::SizeValid : 0u);
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
    const size_t spanBytes = m_folders.size() * sizeof(RowBlock::Span);
    char *p = arena.allocate(rowBytes + spanBytes + m_folderText.size() + m_names.size(), &b.m_region);
    const auto put = [&p](const void *from, size_t n) {
        if (n)
            std::memcpy(p, from, n);
        char *at = p;
        p += n;
        return at;
    };
    b.m_rows = reinterpret_cast<const RowBlock::Row *>(put(m_rows.data(), rowBytes));
    b.m_folders = reinterpret_cast<const RowBlock::Span *>(put(m_folders.data(), spanBytes));
    b.m_folderText = put(m_folderText.data(), m_folderText.size());
    b.m_names = put(m_names.data(), m_names.size());
    m_block.reset();
}

void RowBlockBuilder::release()
{
    m_rows.release();
    m_names.release();
    m_folders.release();
    m_folderText.release();
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
    return sizeof(RowBlock) + m_rowCount * sizeof(Row) + m_folderCount * sizeof(Span) + m_folderTextSize +
           m_namesSize;
}

} // namespace search
