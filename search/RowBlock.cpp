#include "RowBlock.h"

#include "SearchEngine.h"

#include <sys/mman.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>

namespace search {

namespace {

constexpr size_t kHugePage = size_t(2) << 20;
// Large enough for the rows of many archives; a block's part that outgrows what is left of one
// moves to the next, leaving the rest unused.
constexpr size_t kRegionSize = size_t(4) << 20;
constexpr size_t kSmallRegion = size_t(64) << 10;

size_t roundUp(size_t n, size_t to)
{
    return (n + to - 1) / to * to;
}

// Memory the streams below write into: mapped, a large region of its own with room to start on
// a huge page boundary (the slack is never touched); otherwise an ordinary memory block, which
// can be resized while one block alone uses it.
struct Region
{
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

    void resize(size_t n)
    {
        char *p = static_cast<char *>(std::realloc(base, std::max<size_t>(n, 1)));
        if (!p)
            throw std::bad_alloc();
        base = start = p;
        size = n;
    }

    bool mapped;
    char *base = nullptr;
    size_t length = 0;
    char *start = nullptr;
    size_t size = 0;
};

} // namespace

// The bytes of one part of the blocks (rows, folders, folder text or names), one block after
// another: a block's part grows at the free end of the current region and moves to a new region
// when it reaches the end.
struct RowBlockBuilder::Streams
{
    struct Stream
    {
        bool pooled = true;
        std::shared_ptr<Region> current;  // pooled: the region blocks are laid in
        size_t used = 0;                  // pooled: bytes of current that finished blocks hold
        size_t nextRegion = kSmallRegion; // pooled: the size of the next region
        std::shared_ptr<Region> region;   // the region of the block being filled
        char *data = nullptr;
        size_t size = 0;
        size_t cap = 0;

        char *reserveMore(size_t n)
        {
            if (cap - size < n)
                grow(size + n);
            return data + size;
        }
        void commit(size_t n) { size += n; }
        template <typename T> T *items() const { return reinterpret_cast<T *>(data); }
        template <typename T> size_t count() const { return size / sizeof(T); }

        void grow(size_t need)
        {
            const size_t want = std::max(need, 2 * size);
            if (!pooled) {
                if (!region)
                    region = std::make_shared<Region>(std::max<size_t>(want, 4096), false);
                else
                    region->resize(want);
                data = region->start;
                cap = region->size;
                return;
            }
            if (!current || current->size - used < want) {
                // Regions grow from small ones, so a search that finds a few rows keeps little;
                // only large ones are laid in huge pages.
                const size_t regionSize = std::max(nextRegion, roundUp(want, kSmallRegion));
                nextRegion = std::min(2 * nextRegion, kRegionSize);
                current = std::make_shared<Region>(regionSize, regionSize >= kRegionSize);
                used = 0;
            }
            char *to = current->start + used;
            if (size)
                std::memcpy(to, data, size);
            region = current;
            data = to;
            cap = current->size - used;
        }
        // The block's part is final: the next block's starts after it.
        void finish()
        {
            if (!pooled && region && region->size != size) {
                region->resize(size);
                data = region->start;
            }
            if (pooled && region)
                used += roundUp(size, 16);
        }
        void startNext()
        {
            region.reset();
            data = nullptr;
            size = cap = 0;
        }
    };
    Stream rows, folders, folderText, names;
};

RowBlockBuilder::RowBlockBuilder(bool keepText, bool pooled)
    : m_keepText(keepText), m_s(std::make_unique<Streams>())
{
    for (Streams::Stream *st : {&m_s->rows, &m_s->folders, &m_s->folderText, &m_s->names})
        st->pooled = pooled;
}

RowBlockBuilder::~RowBlockBuilder() = default;

void RowBlockBuilder::start()
{
    m_block = std::make_shared<RowBlock>();
    m_block->m_keepText = m_keepText;
    for (Streams::Stream *st : {&m_s->rows, &m_s->folders, &m_s->folderText, &m_s->names})
        st->startNext();
}

void RowBlockBuilder::expose()
{
    RowBlock &b = *m_block;
    b.m_rows = m_s->rows.items<const RowBlock::Row>();
    b.m_rowCount = m_s->rows.count<RowBlock::Row>();
    b.m_folders = m_s->folders.items<const RowBlock::Span>();
    b.m_folderCount = m_s->folders.count<RowBlock::Span>();
    b.m_folderText = m_s->folderText.data;
    b.m_folderTextSize = m_s->folderText.size;
    b.m_names = m_s->names.data;
    b.m_namesSize = m_s->names.size;
}

bool RowBlockBuilder::append(const FoundRecord &found)
{
    if (found.record < 0 || found.record > RowBlock::kMaxRecord)
        return false;
    RowBlock &b = *block();
    Streams &s = *m_s;
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
        const size_t folders = s.folders.count<RowBlock::Span>();
        bool sameFolder = false;
        if (folders > 0) {
            const RowBlock::Span &last = s.folders.items<RowBlock::Span>()[folders - 1];
            sameFolder = last.len == folderLen &&
                         (folderLen == 0 ||
                          std::memcmp(s.folderText.data + last.at, found.folder.data(), folderLen) == 0);
        }
        if (s.names.size + nameLen > UINT32_MAX ||
            (!sameFolder && (folders >= RowBlock::kMaxFolders || s.folderText.size + folderLen > UINT32_MAX)))
            return false;
        if (!sameFolder) {
            const RowBlock::Span span{uint32_t(s.folderText.size), uint32_t(folderLen)};
            std::memcpy(s.folders.reserveMore(sizeof span), &span, sizeof span);
            s.folders.commit(sizeof span);
            if (folderLen)
                std::memcpy(s.folderText.reserveMore(folderLen), found.folder.data(), folderLen);
            s.folderText.commit(folderLen);
        }
        folder = uint32_t(s.folders.count<RowBlock::Span>() - 1);
        if (nameLen)
            std::memcpy(s.names.reserveMore(nameLen), found.name.data(), nameLen);
        s.names.commit(nameLen);
        r.nameEnd = uint32_t(s.names.size);
    }
    r.packed = folder << 10 | uint32_t(record >> 32) << 2 | (found.dateValid ? RowBlock::DateValid : 0u) |
               (found.sizeValid ? RowBlock::SizeValid : 0u);
    if (!found.dateValid || !found.sizeValid)
        ++b.m_unfilled;
    std::memcpy(s.rows.reserveMore(sizeof r), &r, sizeof r);
    s.rows.commit(sizeof r);
    expose();
    return true;
}

void RowBlockBuilder::finish()
{
    if (!m_block)
        return;
    Streams::Stream *parts[] = {&m_s->rows, &m_s->folders, &m_s->folderText, &m_s->names};
    for (size_t i = 0; i < 4; ++i) {
        parts[i]->finish();
        m_block->m_memory[i] = parts[i]->region;
    }
    expose();
    m_block.reset();
}

void RowBlockBuilder::discard()
{
    m_block.reset();
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
