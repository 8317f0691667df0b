#include "ExploreNavigation.h"

#include "catalog/ArchiveText.h"

namespace browser {

void FolderHistory::visit(uint32_t folder)
{
    if (folder == current())
        return;
    if (!m_folders.empty())
        m_folders.resize(m_at + 1);
    m_folders.push_back(folder);
    m_at = m_folders.size() - 1;
}

uint32_t FolderHistory::back()
{
    if (!canGoBack())
        return DiscTree::NoFolder;
    return m_folders[--m_at];
}

uint32_t FolderHistory::forward()
{
    if (!canGoForward())
        return DiscTree::NoFolder;
    return m_folders[++m_at];
}

uint32_t copyFolderTarget(const FolderListModel::Entry &selected, bool listHasFocus, uint32_t shown)
{
    const bool folderRow = selected.kind == EntryKind::Folder && selected.folder != DiscTree::NoFolder;
    return listHasFocus && folderRow ? selected.folder : shown;
}

ExploreCommands exploreKeyState(const DiscTree *tree, const FolderListModel::Entry &selected,
                                bool listHasFocus, uint32_t shown, const FolderHistory &history, bool loading)
{
    ExploreCommands c;
    if (loading || !tree || shown == DiscTree::NoFolder)
        return c;
    const bool file = selected.kind == EntryKind::File && selected.file >= 0;
    c.copyFile = c.executeFile = c.propreties = file;
    const uint32_t target = copyFolderTarget(selected, listHasFocus, shown);
    c.copyFolder = tree->folder(target).filesBelow > 0;
    c.back = history.canGoBack();
    c.forward = history.canGoForward();
    c.up = shown != DiscTree::Root;
    return c;
}

CataloguedFile cataloguedFile(const DiscTree &tree, uint32_t folder, int file)
{
    const DiscTree::File &f = tree.file(folder, uint32_t(file));
    const QByteArrayView line = tree.folderLine(folder);
    return {line.toByteArray(), tree.fileName(f).toByteArray(), decodeArchiveText(line), tree.fileNameText(f),
            tree.mark()};
}

CataloguedFolder cataloguedFolder(const DiscTree &tree, uint32_t folder)
{
    CataloguedFolder out;
    out.folderLine = tree.folderLine(folder).toByteArray();
    out.name = tree.folderNameText(folder);
    out.mark = tree.mark();
    out.files.reserve(tree.folder(folder).filesBelow);
    // Depth first, a folder's own files before its subfolders'.
    std::vector<uint32_t> stack{folder};
    while (!stack.empty()) {
        const uint32_t f = stack.back();
        stack.pop_back();
        const DiscTree::Folder &node = tree.folder(f);
        const QByteArray line = tree.folderLine(f).toByteArray();
        for (uint32_t i = 0; i < node.fileCount; ++i) {
            const QByteArrayView name = tree.fileName(tree.file(f, i));
            if (out.files.empty()) {
                out.files.push_back(cataloguedFile(tree, f, int(i)));
                continue;
            }
            // Only the first file is looked for on a disc: the others need no texts.
            out.files.push_back(CataloguedFile{line, name.toByteArray(), QString(), QString(), out.mark});
        }
        for (uint32_t k = node.childCount; k-- > 0;)
            stack.push_back(tree.child(f, k));
    }
    return out;
}

} // namespace browser
