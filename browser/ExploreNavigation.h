#pragma once

// The Explore window's rules without a window: the folders visited for Back and Forward, which
// folder Copy Folder takes, the commands' enabled states, and what a catalogued file or folder
// of the tree is for the retrieval commands.

#include "DiscTree.h"
#include "DiscTreeModels.h"
#include "search/RetrievalSession.h"

#include <cstdint>
#include <vector>

namespace browser {

// The folders shown one after another, as a file manager keeps them: showing a new folder drops
// the ones that lay ahead.
class FolderHistory
{
public:
    void visit(uint32_t folder);
    bool canGoBack() const { return m_at > 0; }
    bool canGoForward() const { return m_at + 1 < m_folders.size(); }
    // The folder to show; DiscTree::NoFolder when there is none that way.
    uint32_t back();
    uint32_t forward();
    uint32_t current() const { return m_folders.empty() ? DiscTree::NoFolder : m_folders[m_at]; }

private:
    std::vector<uint32_t> m_folders;
    size_t m_at = 0;
};

// What Copy Folder copies: the folder row selected in the list while the list has the focus,
// else the folder shown.
uint32_t copyFolderTarget(const FolderListModel::Entry &selected, bool listHasFocus, uint32_t shown);

struct ExploreCommands
{
    bool copyFile = false, executeFile = false, propreties = false;
    bool copyFolder = false;
    bool back = false, forward = false, up = false;
};
// The file commands with one file row selected; Copy Folder when its folder holds files below
// it; Up below the root; Back and Forward as the history allows. Nothing while the archive is
// being read.
ExploreCommands exploreKeyState(const DiscTree *tree, const FolderListModel::Entry &selected,
                                bool listHasFocus, uint32_t shown, const FolderHistory &history,
                                bool loading);

// A file of the tree as the retrieval commands take it.
CataloguedFile cataloguedFile(const DiscTree &tree, uint32_t folder, int file);
// A folder with every file below it, the ones of the folder itself first.
CataloguedFolder cataloguedFolder(const DiscTree &tree, uint32_t folder);

} // namespace browser
