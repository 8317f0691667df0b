#pragma once

#include "browser/DiscTree.h"
#include "browser/ExploreNavigation.h"
#include "util/gui/ListWindow.h"

#include <QByteArray>
#include <QString>

#include <memory>

class QAction;
class QLabel;
class QLineEdit;
class QMenu;
class QSplitter;
class QToolButton;
class QTreeView;
namespace browser {
class FolderListModel;
class FolderTreeModel;
} // namespace browser

// Opens the Explore window modally for the archive at archivePath: the disc as folders, shown at
// the folder a record's folder line names (the root when it is empty or names no folder) with
// the file of that name selected. Returns 0 at once while an Explore window is open.
int ShowExploreWindow(const QString &archivePath, const QByteArray &folderLine = QByteArray(),
                      const QByteArray &name = QByteArray());

// Installs ShowExploreWindow as the search window's way to a found file's folder.
void installExploreOpener();

// A disc as folders: the folder tree at the left, the chosen folder's entries at the right, the
// path bar and Back, Forward and Up above them, the file and folder commands on the entries.
class TfrmExplore : public SingleListWindow<TfrmExplore>
{
    Q_OBJECT
public:
    TfrmExplore(QWidget *parent, const QString &archivePath, const QByteArray &folderLine = QByteArray(),
                const QByteArray &name = QByteArray());
    ~TfrmExplore() override;

    // Reads the archive now (the window does it once it is shown). False when it cannot be
    // read; the user has been told why.
    bool load();
    bool isLoaded() const { return bool(m_tree); }
    const browser::DiscTree *tree() const { return m_tree.get(); }
    browser::FolderTreeModel *folderModel() const { return m_folders; }
    browser::FolderListModel *entryModel() const { return m_entries; }
    uint32_t shownFolder() const;
    // Shows a folder; remember puts it in the history for Back. selectFile selects a file row,
    // selectFolder a folder row.
    void showFolder(uint32_t folder, bool remember = true, int selectFile = -1,
                    uint32_t selectFolder = browser::DiscTree::NoFolder);

public slots:
    void ActOpenExecute();
    void ActCopyFileExecute();
    void ActExecuteFileExecute();
    void ActCopyFolderExecute();
    void ActPropretiesExecute();
    void ActBackExecute();
    void ActForwardExecute();
    void ActUpExecute();
    void ActExportExecute();
    void ActExportDiscExecute();
    void KeyState();

protected:
    bool eventFilter(QObject *watched, QEvent *e) override;
    void showEvent(QShowEvent *e) override;

private:
    void buildActions();
    void buildTopBar();
    void buildViews();
    void buildMenus();
    void edtPathReturnPressed();
    void TreeView1CurrentChanged();
    void openRow(int row);
    void sizeColumns();
    void exportFolder(uint32_t folder, bool recursive);
    browser::FolderListModel::Entry selectedEntry() const;
    bool listHasFocus() const;

    QWidget *Panel1;
    QLabel *lblDela;
    QToolButton *btnBack;
    QToolButton *btnForward;
    QToolButton *btnUp;
    QLineEdit *edtPath;
    QToolButton *btnCopyFile;
    QToolButton *btnCopyFolder;
    QSplitter *Splitter1;
    QTreeView *TreeView1;
    QTreeView *ListView1;
    QMenu *PopupMenu1; // on the entries
    QMenu *PopupMenu2; // on the folder tree

    QAction *ActOpen;
    QAction *ActCopyFile;
    QAction *ActExecuteFile;
    QAction *ActCopyFolder;
    QAction *ActPropreties;
    QAction *ActBack;
    QAction *ActForward;
    QAction *ActUp;
    QAction *ActExport;
    QAction *ActExportDisc;

    QString m_archivePath;
    QByteArray m_startLine;
    QByteArray m_startName;
    std::unique_ptr<browser::DiscTree> m_tree;
    browser::FolderTreeModel *m_folders;
    browser::FolderListModel *m_entries;
    browser::FolderHistory m_history;
    bool m_loading = false;
    bool m_loadTried = false;
    bool m_syncing = false; // the tree follows a folder shown from elsewhere
};
