#include "RowBlock.h"

#include "SearchEngine.h"

#include <cstring>

namespace search {

bool RowBlock::append(const FoundRecord &found)
{
    Row r;
    r.size = found.sizeValid ? found.size : 0;
    r.recordFlags = (uint64_t(found.record) << 2) | (found.dateValid ? DateValid : 0u) |
                    (found.sizeValid ? SizeValid : 0u);
    r.date = found.dateValid ? found.date : 0;
    r.nameAt = 0;
    r.nameLen = 0;
    r.folder = 0;
    if (m_keepText) {
        const size_t folderLen = size_t(found.folder.size());
        const size_t nameLen = size_t(found.name.size());
        bool sameFolder = false;
        if (m_folders.size() > 0) {
            const Span &last = m_folders[m_folders.size() - 1];
            sameFolder =
                last.len == folderLen &&
                (folderLen == 0 || std::memcmp(m_text.data() + last.at, found.folder.data(), folderLen) == 0);
        }
        const size_t adds = nameLen + (sameFolder ? 0 : folderLen);
        if (m_text.size() + adds > UINT32_MAX || m_folders.size() >= UINT32_MAX)
            return false;
        char *out = m_text.reserveMore(adds);
        if (!sameFolder) {
            m_folders.push(Span{uint32_t(m_text.size()), uint32_t(folderLen)});
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
        ++m_unfilled;
    m_rows.push(r);
    return true;
}

void RowBlock::trim()
{
    m_rows.trim();
    m_text.trim();
    m_folders.trim();
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

void ResultSink::addRows(int archiveId, const std::shared_ptr<const RowBlock> &block, size_t first,
                         size_t count)
{
    for (size_t i = first; i < first + count; ++i)
        addRow(block->found(i, archiveId));
}

size_t RowBlock::bytes() const
{
    return sizeof(RowBlock) + m_rows.capacity() * sizeof(Row) + m_text.capacity() +
           m_folders.capacity() * sizeof(Span);
}

} // namespace search
