#include "fmExplore.h"

#include "BrowserArt.h"
#include "EntryPictureDelegate.h"

#include "browser/BrowserExport.h"
#include "browser/DiscTreeModels.h"
#include "catalog/ArchiveText.h"
#include "catalog/Catalog.h"
#include "search/gui/Retrieval.h"
#include "search/gui/SearchLook.h"
#include "search/gui/fmPropreties.h"
#include "search/gui/fmSearch.h"
#include "settings/SettingsNames.h"
#include "settings/gui/FormPlacement.h"
#include "util/AmbryError.h"
#include "util/gui/ExportCommand.h"
#include "util/gui/MessageBox.h"
#include "util/gui/WindowKeys.h"
#include "util/gui/WindowLook.h"
#include "util/gui/gUtilsGui.h"

#include <QAction>
#include <QApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QShowEvent>
#include <QSplitter>
#include <QStyle>
#include <QTimer>
#include <QToolButton>
#include <QTreeView>

#include <algorithm>

using browser::DiscTree;
using browser::EntryKind;
using browser::FolderListModel;
using browser::FolderTreeModel;

namespace {

// The order of the entries outlives one opening of the window, as the other lists' sorts do.
struct ExploreUnitState
{
    int sortColumn = FolderListModel::ColName;
    Qt::SortOrder sortOrder = Qt::AscendingOrder;
};
ExploreUnitState &exploreUnitState()
{
    static ExploreUnitState state;
    return state;
}

} // namespace

int ShowExploreWindow(const QString &archivePath, const QByteArray &folderLine, const QByteArray &name)
{
    if (TfrmExplore::instance())
        return 0;
    return runModalWindow(new TfrmExplore(QApplication::activeWindow(), archivePath, folderLine, name));
}

void installExploreOpener()
{
    setExploreOpener([](const QString &archivePath, const QByteArray &folderLine, const QByteArray &name) {
        ShowExploreWindow(archivePath, folderLine, name);
    });
}

TfrmExplore::TfrmExplore(QWidget *parent, const QString &archivePath, const QByteArray &folderLine,
                         const QByteArray &name)
    : SingleListWindow(parent, FormName::Explore, true), m_archivePath(archivePath), m_startLine(folderLine),
      m_startName(name)
{
    initBrowserGuiResources();
    resize(760, 480);
    buildActions();
    buildTopBar();
    buildViews();
    buildMenus();
    assemble({Panel1}, {Splitter1});
    setTabOrder(edtPath, TreeView1);
    setTabOrder(TreeView1, ListView1);
    RestoreFormPlacement(RegKey::Wp, this);
    TrackFormPlacement(RegKey::Wp, this);
    KeyState();
}

TfrmExplore::~TfrmExplore()
{
    // The views go before the tree their models read.
    m_entries->setTree(nullptr);
    m_folders->setTree(nullptr);
}

// ---- Building the window ------------------------------------------------------------------

void TfrmExplore::buildActions()
{
    const auto make = [this](const char *name, const char *text, const char *hint,
                             void (TfrmExplore::*slot)()) {
        QAction *action = addNamedAction(name, text, hint, false);
        connect(action, &QAction::triggered, this, slot);
        return action;
    };
    ActOpen = make("ActOpen", "Open Folder", "Open Folder", &TfrmExplore::ActOpenExecute);
    ActCopyFile = make("ActCopyFile", "Copy File", "Copy File", &TfrmExplore::ActCopyFileExecute);
    ActExecuteFile =
        make("ActExecuteFile", "Execute File", "Execute File", &TfrmExplore::ActExecuteFileExecute);
    ActCopyFolder = make("ActCopyFolder", "Copy Folder", "Copy Folder", &TfrmExplore::ActCopyFolderExecute);
    ActPropreties = make("ActPropreties", "Propreties", "", &TfrmExplore::ActPropretiesExecute);
    ActBack = make("ActBack", "Back", "Back (Alt+Left)", &TfrmExplore::ActBackExecute);
    ActForward = make("ActForward", "Forward", "Forward (Alt+Right)", &TfrmExplore::ActForwardExecute);
    ActUp = make("ActUp", "Up", "Up (Alt+Up)", &TfrmExplore::ActUpExecute);
    ActExport = make("ActExport", "Export...", "Export the folder shown", &TfrmExplore::ActExportExecute);
    ActExportDisc =
        make("ActExportDisc", "Export Disc...", "Export the whole disc", &TfrmExplore::ActExportDiscExecute);
    ActBack->setShortcut(QKeySequence(Qt::ALT | Qt::Key_Left));
    ActForward->setShortcut(QKeySequence(Qt::ALT | Qt::Key_Right));
    ActUp->setShortcut(QKeySequence(Qt::ALT | Qt::Key_Up));
    ActCopyFile->setIcon(searchlook::glyph(searchlook::Glyph::CopyFile));
    ActCopyFolder->setIcon(QIcon(QStringLiteral(":/browser/copyfolder.svg")));
    ActBack->setIcon(QIcon(QStringLiteral(":/browser/back.svg")));
    ActForward->setIcon(QIcon(QStringLiteral(":/browser/forward.svg")));
    ActUp->setIcon(QIcon(QStringLiteral(":/browser/up.svg")));
}

void TfrmExplore::buildTopBar()
{
    Panel1 = look::makeBand(this, QStringLiteral("Panel1"));
    Panel1->setFixedHeight(look::BandHeight);
    lblDela = look::makeHeading(Panel1, QStringLiteral("lblDela"), QStringLiteral("Explore"));
    const auto button = [this](const char *name, QAction *action) {
        auto *b = new QToolButton(Panel1);
        b->setObjectName(QString::fromLatin1(name));
        b->setDefaultAction(action);
        look::styleBandButton(b);
        b->setToolButtonStyle(Qt::ToolButtonIconOnly);
        b->setIconSize(QSize(21, 21));
        b->setFixedSize(25, 25);
        b->setAccessibleName(action->text());
        return b;
    };
    btnBack = button("btnBack", ActBack);
    btnForward = button("btnForward", ActForward);
    btnUp = button("btnUp", ActUp);
    edtPath = new QLineEdit(Panel1);
    edtPath->setObjectName(QStringLiteral("edtPath"));
    edtPath->setAccessibleName(QStringLiteral("Path"));
    edtPath->setFixedHeight(21);
    connect(edtPath, &QLineEdit::returnPressed, this, &TfrmExplore::edtPathReturnPressed);
    btnCopyFile = button("btnCopyFile", ActCopyFile);
    btnCopyFolder = button("btnCopyFolder", ActCopyFolder);

    auto *row = new QHBoxLayout(Panel1);
    row->setContentsMargins(6, 0, 0, 0);
    row->setSpacing(1);
    row->addWidget(lblDela);
    row->addSpacing(10);
    row->addWidget(btnBack);
    row->addWidget(btnForward);
    row->addWidget(btnUp);
    row->addSpacing(4);
    row->addWidget(edtPath, 1);
    row->addSpacing(6);
    row->addWidget(btnCopyFile);
    row->addWidget(btnCopyFolder);
}

void TfrmExplore::buildViews()
{
    m_folders = new FolderTreeModel(this);
    m_entries = new FolderListModel(this);
    Splitter1 = new QSplitter(Qt::Horizontal, this);
    Splitter1->setObjectName(QStringLiteral("Splitter1"));
    Splitter1->setChildrenCollapsible(false);
    auto *pictures = new EntryPictureDelegate(style()->standardIcon(QStyle::SP_DirIcon),
                                              style()->standardIcon(QStyle::SP_FileIcon), this);

    TreeView1 = new QTreeView(Splitter1);
    TreeView1->setObjectName(QStringLiteral("TreeView1"));
    TreeView1->setAccessibleName(QStringLiteral("Folders"));
    TreeView1->setModel(m_folders);
    TreeView1->setHeaderHidden(true);
    TreeView1->setUniformRowHeights(true);
    TreeView1->setSelectionMode(QAbstractItemView::SingleSelection);
    TreeView1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    TreeView1->setContextMenuPolicy(Qt::CustomContextMenu);
    TreeView1->setItemDelegate(pictures);
    connect(TreeView1->selectionModel(), &QItemSelectionModel::currentChanged, this,
            &TfrmExplore::TreeView1CurrentChanged);

    ListView1 = new QTreeView(Splitter1);
    ListView1->setObjectName(QStringLiteral("ListView1"));
    ListView1->setAccessibleName(QStringLiteral("Entries"));
    ListView1->setModel(m_entries);
    ListView1->setRootIsDecorated(false);
    ListView1->setItemsExpandable(false);
    ListView1->setUniformRowHeights(true);
    ListView1->setAllColumnsShowFocus(true);
    ListView1->setSelectionBehavior(QAbstractItemView::SelectRows);
    ListView1->setSelectionMode(QAbstractItemView::SingleSelection);
    ListView1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    ListView1->setContextMenuPolicy(Qt::CustomContextMenu);
    ListView1->setItemDelegate(pictures);
    QHeaderView *header = ListView1->header();
    header->setSectionsMovable(false);
    header->setStretchLastSection(false);
    header->setMinimumSectionSize(20);
    ListView1->setSortingEnabled(true);
    ListView1->sortByColumn(exploreUnitState().sortColumn, exploreUnitState().sortOrder);
    connect(header, &QHeaderView::sortIndicatorChanged, this, [](int column, Qt::SortOrder order) {
        exploreUnitState().sortColumn = column;
        exploreUnitState().sortOrder = order;
    });
    connect(ListView1, &QTreeView::doubleClicked, this,
            [this](const QModelIndex &index) { openRow(index.row()); });
    connect(ListView1->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &TfrmExplore::KeyState);
    connect(m_entries, &QAbstractItemModel::modelReset, this, &TfrmExplore::KeyState);
    // Type-ahead looks in the current column: keep it on the names.
    connect(ListView1->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex &current) {
                if (current.isValid() && current.column() != 0)
                    ListView1->selectionModel()->setCurrentIndex(current.siblingAtColumn(0),
                                                                 QItemSelectionModel::NoUpdate);
            });

    Splitter1->setStretchFactor(0, 1);
    Splitter1->setStretchFactor(1, 3);
    Splitter1->setSizes({200, 560});
    sizeColumns();
}

void TfrmExplore::buildMenus()
{
    PopupMenu1 = new QMenu(this);
    PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
    PopupMenu1->addAction(ActOpen);
    PopupMenu1->addSeparator();
    PopupMenu1->addAction(ActCopyFile);
    PopupMenu1->addAction(ActExecuteFile);
    PopupMenu1->addAction(ActCopyFolder);
    PopupMenu1->addSeparator();
    PopupMenu1->addAction(ActPropreties);
    PopupMenu1->addSeparator();
    PopupMenu1->addAction(ActExport);
    PopupMenu1->addAction(ActExportDisc);
    PopupMenu1->addSeparator();
    PopupMenu1->addAction(ActBack);
    PopupMenu1->addAction(ActForward);
    PopupMenu1->addAction(ActUp);
    PopupMenu1->setDefaultAction(ActCopyFile);
    windowkeys::addMnemonics(PopupMenu1);
    connect(ListView1, &QWidget::customContextMenuRequested, this,
            [this](const QPoint &pos) { PopupMenu1->popup(ListView1->viewport()->mapToGlobal(pos)); });

    PopupMenu2 = new QMenu(this);
    PopupMenu2->setObjectName(QStringLiteral("PopupMenu2"));
    PopupMenu2->addAction(ActCopyFolder);
    PopupMenu2->addSeparator();
    PopupMenu2->addAction(ActExport);
    PopupMenu2->addAction(ActExportDisc);
    PopupMenu2->addSeparator();
    PopupMenu2->addAction(ActBack);
    PopupMenu2->addAction(ActForward);
    PopupMenu2->addAction(ActUp);
    windowkeys::addMnemonics(PopupMenu2);
    connect(TreeView1, &QWidget::customContextMenuRequested, this,
            [this](const QPoint &pos) { PopupMenu2->popup(TreeView1->viewport()->mapToGlobal(pos)); });
}

void TfrmExplore::sizeColumns()
{
    QHeaderView *header = ListView1->header();
    const QFontMetrics fm(ListView1->font());
    const int pad = 16;
    header->setSectionResizeMode(FolderListModel::ColName, QHeaderView::Stretch);
    header->resizeSection(FolderListModel::ColSize,
                          fm.horizontalAdvance(QStringLiteral("9,999,999,999")) + pad);
    header->resizeSection(FolderListModel::ColDate,
                          std::max(120, fm.horizontalAdvance(QStringLiteral("00/00/0000 00:00:00")) + pad));
    header->resizeSection(FolderListModel::ColType,
                          std::max(72, fm.horizontalAdvance(browser::FolderTypeText) + pad));
}

// ---- Reading the archive ------------------------------------------------------------------

void TfrmExplore::showEvent(QShowEvent *e)
{
    ListWindow::showEvent(e);
    // The window appears first; the archive is read right after.
    if (!e->spontaneous() && !m_loadTried)
        QTimer::singleShot(0, this, [this] {
            if (!m_loadTried && !load())
                close();
        });
}

bool TfrmExplore::load()
{
    m_loadTried = true;
    m_loading = true;
    KeyState();
    QApplication::setOverrideCursor(Qt::BusyCursor);
    setStatusText(QStringLiteral("Loading..."));
    processPendingEvents();
    QString failure;
    try {
        m_tree = std::make_unique<DiscTree>(DiscTree::read(m_archivePath));
    } catch (const AmbryError &e) {
        failure = e.message();
    }
    QApplication::restoreOverrideCursor();
    m_loading = false;
    if (!m_tree) {
        setStatusText(QString());
        showError(failure, this);
        return false;
    }
    setWindowTitle(QStringLiteral("Ambrylog (explore ") + m_tree->mark() + QLatin1Char(')'));
    m_folders->setTree(m_tree.get());
    m_entries->setTree(m_tree.get());
    TreeView1->expand(m_folders->indexOf(DiscTree::Root));

    const DiscTree::Place start = m_tree->findRecorded(m_startLine, m_startName);
    showFolder(start.folder == DiscTree::NoFolder ? DiscTree::Root : start.folder, true, start.file);
    (start.file >= 0 ? static_cast<QWidget *>(ListView1) : TreeView1)->setFocus();
    if (!m_tree->damage().isEmpty())
        showMessage(
            QStringLiteral("This archive is damaged (it %1); only the whole records it still holds are "
                           "shown:\n%2")
                .arg(m_tree->damage(), m_archivePath),
            this);
    return true;
}

// ---- Showing a folder ---------------------------------------------------------------------

uint32_t TfrmExplore::shownFolder() const
{
    return m_entries->folder();
}

void TfrmExplore::showFolder(uint32_t folder, bool remember, int selectFile, uint32_t selectFolder)
{
    if (!m_tree || folder >= m_tree->folderCount())
        return;
    if (folder != m_entries->folder())
        m_entries->setFolder(folder);
    if (remember)
        m_history.visit(folder);
    {
        // The tree follows without showing the folder a second time.
        m_syncing = true;
        const QModelIndex node = m_folders->indexOf(folder);
        for (QModelIndex up = node.parent(); up.isValid(); up = up.parent())
            TreeView1->expand(up);
        TreeView1->selectionModel()->setCurrentIndex(node, QItemSelectionModel::ClearAndSelect);
        TreeView1->scrollTo(node);
        m_syncing = false;
    }
    edtPath->setText(m_tree->folderPathText(folder));
    setStatusText(browser::folderStatusLine(*m_tree, folder));
    const int row = selectFile >= 0                      ? m_entries->rowOfFile(selectFile)
                    : selectFolder != DiscTree::NoFolder ? m_entries->rowOfFolder(selectFolder)
                                                         : -1;
    if (row >= 0) {
        const QModelIndex index = m_entries->index(row, 0);
        ListView1->selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect |
                                                                QItemSelectionModel::Rows);
        ListView1->scrollTo(index);
    }
    ListView1->setFocusPolicy(m_entries->rowCount() > 0 ? Qt::StrongFocus : Qt::ClickFocus);
    KeyState();
}

void TfrmExplore::TreeView1CurrentChanged()
{
    if (m_syncing)
        return;
    const uint32_t folder = m_folders->folderAt(TreeView1->currentIndex());
    if (folder != DiscTree::NoFolder && folder != shownFolder())
        showFolder(folder);
}

void TfrmExplore::edtPathReturnPressed()
{
    if (!m_tree)
        return;
    const QString typed = edtPath->text();
    const DiscTree::Place place = m_tree->find(typed);
    if (place.folder == DiscTree::NoFolder) {
        showMessage(QStringLiteral("There is no folder or file '%1' on this disc.").arg(typed.trimmed()),
                    this);
        edtPath->setText(m_tree->folderPathText(shownFolder()));
        edtPath->selectAll();
        return;
    }
    showFolder(place.folder, true, place.file);
    ListView1->setFocus();
}

FolderListModel::Entry TfrmExplore::selectedEntry() const
{
    const QModelIndexList rows = ListView1->selectionModel()->selectedRows();
    return rows.size() == 1 ? m_entries->entry(rows.first().row()) : FolderListModel::Entry{};
}

bool TfrmExplore::listHasFocus() const
{
    const QWidget *focus = focusWidget();
    return focus == ListView1 || focus == btnCopyFolder;
}

void TfrmExplore::KeyState()
{
    const FolderListModel::Entry selected = selectedEntry();
    const browser::ExploreCommands c =
        browser::exploreKeyState(m_tree.get(), selected, listHasFocus(), shownFolder(), m_history, m_loading);
    ActOpen->setEnabled(!m_loading && selected.kind == EntryKind::Folder &&
                        selected.folder != DiscTree::NoFolder);
    ActCopyFile->setEnabled(c.copyFile);
    ActExecuteFile->setEnabled(c.executeFile);
    ActPropreties->setEnabled(c.propreties);
    ActCopyFolder->setEnabled(c.copyFolder);
    ActBack->setEnabled(c.back);
    ActForward->setEnabled(c.forward);
    ActUp->setEnabled(c.up);
    ActExport->setEnabled(m_tree && !m_loading);
    ActExportDisc->setEnabled(m_tree && !m_loading);
}

// ---- Commands -----------------------------------------------------------------------------

void TfrmExplore::openRow(int row)
{
    const FolderListModel::Entry e = m_entries->entry(row);
    if (e.kind == EntryKind::Folder && e.folder != DiscTree::NoFolder)
        showFolder(e.folder);
    else if (e.file >= 0)
        ActPropreties->trigger();
}

void TfrmExplore::ActOpenExecute()
{
    const FolderListModel::Entry e = selectedEntry();
    if (e.kind == EntryKind::Folder && e.folder != DiscTree::NoFolder)
        showFolder(e.folder);
}

void TfrmExplore::ActBackExecute()
{
    const uint32_t folder = m_history.back();
    if (folder != DiscTree::NoFolder)
        showFolder(folder, false);
}

void TfrmExplore::ActForwardExecute()
{
    const uint32_t folder = m_history.forward();
    if (folder != DiscTree::NoFolder)
        showFolder(folder, false);
}

void TfrmExplore::ActUpExecute()
{
    const uint32_t from = shownFolder();
    if (!m_tree || from == DiscTree::NoFolder || from == DiscTree::Root)
        return;
    // The folder left stays selected, as a file manager does.
    showFolder(m_tree->folder(from).parent, true, -1, from);
}

void TfrmExplore::ActCopyFileExecute()
{
    const FolderListModel::Entry e = selectedEntry();
    if (!m_tree || e.kind != EntryKind::File || e.file < 0)
        return;
    retrieval::copyFileCommand(this, browser::cataloguedFile(*m_tree, e.folder, e.file), m_archivePath);
}

void TfrmExplore::ActExecuteFileExecute()
{
    const FolderListModel::Entry e = selectedEntry();
    if (!m_tree || e.kind != EntryKind::File || e.file < 0)
        return;
    retrieval::executeFileCommand(this, browser::cataloguedFile(*m_tree, e.folder, e.file), m_archivePath);
}

void TfrmExplore::ActCopyFolderExecute()
{
    if (!m_tree || !ActCopyFolder->isEnabled())
        return;
    const uint32_t folder = browser::copyFolderTarget(selectedEntry(), listHasFocus(), shownFolder());
    retrieval::copyFolderCommand(this, browser::cataloguedFolder(*m_tree, folder), m_archivePath);
}

void TfrmExplore::exportFolder(uint32_t folder, bool recursive)
{
    if (!m_tree || m_loading || folder >= m_tree->folderCount())
        return;
    const DiscTree::Folder &node = m_tree->folder(folder);
    ExportRequest request;
    request.proposedName = m_tree->mark();
    request.rows = recursive ? node.filesBelow + node.foldersBelow : node.childCount + node.fileCount;
    request.columns = browser::entryExportColumns(recursive);
    request.heading = {QStringLiteral("Ambrylog disc ") + m_tree->mark(),
                       browser::folderExportSubject(*m_tree, folder, recursive),
                       QDateTime::currentDateTime()};
    const int column = m_entries->sortColumn();
    const Qt::SortOrder order = m_entries->sortOrder();
    request.fill = [this, folder, recursive, column, order](TableExport &table,
                                                            const std::function<bool(qint64)> &progress) {
        qint64 done = 0;
        return browser::walkEntries(*m_tree, folder, recursive, column, order,
                                    [&](const browser::ListedEntry &e) {
                                        browser::exportEntry(table, e);
                                        return ++done % 1024 != 0 || progress(done);
                                    });
    };
    exportCommand(this, request);
}

void TfrmExplore::ActExportExecute()
{
    exportFolder(shownFolder(), false);
}

void TfrmExplore::ActExportDiscExecute()
{
    exportFolder(DiscTree::Root, true);
}

void TfrmExplore::ActPropretiesExecute()
{
    const FolderListModel::Entry e = selectedEntry();
    if (!m_tree || e.kind != EntryKind::File || e.file < 0 || TfrmPropreties::instance())
        return;
    const int row = m_entries->rowOfFile(e.file);
    auto *window = new TfrmPropreties(this);
    try {
        window->setFields(m_tree->mark(), decodeArchiveText(m_tree->folderLine(e.folder)),
                          m_entries->cellText(row, FolderListModel::ColName),
                          m_entries->cellText(row, FolderListModel::ColType),
                          m_entries->cellText(row, FolderListModel::ColDate),
                          m_entries->cellText(row, FolderListModel::ColSize),
                          ReadArchiveValue(m_archivePath, QStringLiteral("ALocation")).trimmed());
        window->exec();
        processPendingEvents();
    } catch (const AmbryError &err) {
        delete window;
        showError(err.message(), this);
        return;
    }
    delete window;
}

// ---- Keys ---------------------------------------------------------------------------------

bool TfrmExplore::eventFilter(QObject *watched, QEvent *e)
{
    switch (e->type()) {
    case QEvent::KeyPress: {
        auto *key = static_cast<QKeyEvent *>(e);
        if (watched == ListView1 && isEnterKey(key)) {
            // A folder opens; a file shows its properties, as a double click does.
            const QModelIndex current = ListView1->currentIndex();
            if (current.isValid())
                openRow(current.row());
            return true;
        }
        if ((watched == ListView1 || watched == TreeView1) && key->matches(QKeySequence::Copy)) {
            const FolderListModel::Entry sel = selectedEntry();
            if (watched == ListView1 && sel.kind == EntryKind::File && sel.file >= 0)
                ActCopyFile->trigger();
            else
                ActCopyFolder->trigger();
            return true;
        }
        break;
    }
    case QEvent::FocusIn:
    case QEvent::FocusOut:
        if (watched == ListView1 || watched == TreeView1)
            QMetaObject::invokeMethod(this, &TfrmExplore::KeyState, Qt::QueuedConnection);
        break;
    default:
        break;
    }
    return ListWindow::eventFilter(watched, e);
}
