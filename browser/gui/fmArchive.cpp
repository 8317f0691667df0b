#include "fmArchive.h"

#include "BrowserArt.h"
#include "RowPictureDelegate.h"
#include "fmEditArchive.h"
#include "fmExplore.h"

#include "browser/ArchiveCommands.h"
#include "browser/ArchiveListModel.h"
#include "browser/BrowserExport.h"
#include "catalog/ProgramCatalog.h"
#include "drives/gui/fmWaitCD.h"
#include "scan/gui/fmScan.h"
#include "search/ColumnFit.h"
#include "search/gui/fmSearch.h"
#include "settings/Settings.h"
#include "settings/gVars.h"
#include "settings/gui/FormPlacement.h"
#include "util/AmbryError.h"
#include "util/gui/ExportCommand.h"
#include "util/gui/MessageBox.h"
#include "util/gui/WindowKeys.h"
#include "util/gui/WindowLook.h"
#include "util/gui/gUtilsGui.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QHeaderView>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QListView>
#include <QMenu>
#include <QMouseEvent>
#include <QShowEvent>
#include <QTimer>
#include <QToolButton>
#include <QTreeView>

#include <algorithm>

using browser::ArchiveListModel;
using browser::ViewStyle;

int ShowArchiveWindow()
{
    return showListWindow<TfrmArchive>();
}

TfrmArchive::TfrmArchive(QWidget *parent) : SingleListWindow(parent, FormName::Archive, true)
{
    initBrowserGuiResources();
    buildActions();
    buildTitleStrip();
    buildList();
    buildMenu();
    // Panel 0 grows beyond 420 pixels when the status line needs it (a large font, the damaged
    // count).
    assemble({Panel1}, {ListView1, ListView1Details});

    TimScan = new QTimer(this);
    TimScan->setObjectName(QStringLiteral("TimScan"));
    TimScan->setInterval(150);
    TimScan->setSingleShot(true);
    connect(TimScan, &QTimer::timeout, this, &TfrmArchive::TimScanTimer);

    // FormCreate
    RestoreFormPlacement(RegKey::Wp, this);
    TrackFormPlacement(RegKey::Wp, this);
    // Nothing is drawn row by row while the first load runs.
    setRedraw(false);
    applyViewStyle(ViewStyle::Icon);
    KeyState();
}

TfrmArchive::~TfrmArchive()
{
    m_loadAbort = true;
}

QAbstractItemView *TfrmArchive::currentView() const
{
    if (m_style == ViewStyle::Report)
        return ListView1Details;
    return ListView1;
}

// ---- Building the window ------------------------------------------------------------------

void TfrmArchive::buildActions()
{
    const auto make = [this](const char *name, const char *text, const char *hint, bool enabled,
                             void (TfrmArchive::*slot)()) {
        QAction *action = addNamedAction(name, text, hint, enabled);
        connect(action, &QAction::triggered, this, slot);
        return action;
    };
    ActAdd = make("ActAdd", "Add New CD/DVD to Catalog", "Add New CD/DVD to Catalog", true,
                  &TfrmArchive::ActAddExecute);
    ActEdit = make("ActEdit", "Edit Archive Mark", "Edit Archive Mark", false, &TfrmArchive::ActEditExecute);
    ActDelete = make("ActDelete", "Remove from Catalog", "Remove from Catalog", false,
                     &TfrmArchive::ActDeleteExecute);
    ActFreshenCD =
        make("ActFreshenCD", "Refresh Archive", "Refresh Archive", false, &TfrmArchive::ActFreshenCDExecute);
    // Besides the recount after a remove, the user's way to read the catalog again (F5).
    ActRefreshCatalog =
        make("ActRefreshCatalog", "Refresh", "Refresh", true, &TfrmArchive::ActRefreshCatalogExecute);
    ActList = make("ActList", "List", "List", true, &TfrmArchive::ActListExecute);
    ActIcon = make("ActIcon", "Icon", "Icon", true, &TfrmArchive::ActIconExecute);
    ActSmallIcon = make("ActSmallIcon", "Small Icon", "Small Icon", true, &TfrmArchive::ActSmallIconExecute);
    ActReport = make("ActReport", "Details", "Details", true, &TfrmArchive::ActReportExecute);
    ActViewToggle =
        make("ActViewToggle", "Change View", "Change View", true, &TfrmArchive::ActViewToggleExecute);
    ActViewArchiveFiles = make("ActViewArchiveFiles", "View Archive Files", "View Archive Files", false,
                               &TfrmArchive::ActViewArchiveFilesExecute);
    ActExplore = make("ActExplore", "Explore", "Explore (Ctrl+E)", false, &TfrmArchive::ActExploreExecute);
    ActExplore->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_E));
    ActExport = make("ActExport", "Export...", "Export", true, &TfrmArchive::ActExportExecute);
    ActExplore->setIcon(QIcon(QStringLiteral(":/browser/explore.svg")));
    ActViewToggle->setIcon(QIcon(QStringLiteral(":/browser/view.svg")));
    ActFreshenCD->setIcon(QIcon(QStringLiteral(":/browser/refresh.svg")));
    ActAdd->setIcon(QIcon(QStringLiteral(":/browser/add.svg")));
    ActEdit->setIcon(QIcon(QStringLiteral(":/browser/edit.svg")));
    ActDelete->setIcon(QIcon(QStringLiteral(":/browser/remove.svg")));
}

void TfrmArchive::buildTitleStrip()
{
    Panel1 = look::makeBand(this, QStringLiteral("Panel1"));
    Panel1->setFixedHeight(look::BandHeight);
    lblDela = look::makeHeading(Panel1, QStringLiteral("lblDela"), QStringLiteral("Catalog"));
    const auto button = [this](const char *name, QAction *action) {
        auto *b = new QToolButton(Panel1);
        b->setObjectName(QString::fromLatin1(name));
        b->setDefaultAction(action);
        b->setAutoRaise(true);
        // The style's hover panel is near-white, which would swallow the white glyph.
        b->setStyleSheet(QStringLiteral("QToolButton { border: none; border-radius: 3px; }"
                                        "QToolButton:hover { background: rgba(255, 255, 255, 48); }"
                                        "QToolButton:pressed { background: rgba(0, 0, 0, 48); }"));
        b->setToolButtonStyle(Qt::ToolButtonIconOnly);
        b->setIconSize(QSize(21, 21));
        b->resize(25, 25);
        b->setFocusPolicy(Qt::NoFocus);
        b->setAccessibleName(action->toolTip());
        return b;
    };
    btnViewToggle = button("btnViewToggle", ActViewToggle);
    btnFreshenCD = button("btnFreshenCD", ActFreshenCD);
    btnFreshenCD->hide();
    btnAdd = button("btnAdd", ActAdd);
    btnEdit = button("btnEdit", ActEdit);
    btnRemove = button("btnRemove", ActDelete);
    btnExplore = button("btnExplore", ActExplore);
    btnExplore->setAccessibleName(ActExplore->text());
}

void TfrmArchive::buildList()
{
    m_model = new ArchiveListModel(this);
    const auto common = [this](QAbstractItemView *view) {
        view->setModel(m_model);
        view->setSelectionBehavior(QAbstractItemView::SelectRows);
        view->setSelectionMode(QAbstractItemView::ExtendedSelection);
        view->setEditTriggers(QAbstractItemView::NoEditTriggers);
        view->setContextMenuPolicy(Qt::CustomContextMenu);
        view->setMouseTracking(true);
        view->setFocusPolicy(Qt::ClickFocus);
        view->setAccessibleName(QStringLiteral("Catalog"));
        // The selection shows the same whether or not the list has the focus.
        QPalette pal = view->palette();
        for (const QPalette::ColorRole role : {QPalette::Highlight, QPalette::HighlightedText})
            pal.setColor(QPalette::Inactive, role, pal.color(QPalette::Active, role));
        view->setPalette(pal);
        QIcon picture;
        picture.addFile(QStringLiteral(":/browser/archive32.svg"), QSize(32, 32));
        picture.addFile(QStringLiteral(":/browser/archive16.svg"), QSize(16, 16));
        view->setItemDelegate(
            new RowPictureDelegate(picture, qobject_cast<QTreeView *>(view) != nullptr, view));
        connect(view, &QWidget::customContextMenuRequested, this,
                [this, view](const QPoint &pos) { PopupMenu1->popup(view->viewport()->mapToGlobal(pos)); });
    };

    ListView1 = new QListView(this);
    ListView1->setObjectName(QStringLiteral("ListView1"));
    common(ListView1);
    ListView1->setUniformItemSizes(true);
    ListView1->setMovement(QListView::Static);
    ListView1->setResizeMode(QListView::Adjust);
    ListView1->setWrapping(true);
    ListView1->setWordWrap(true);
    ListView1->setTextElideMode(Qt::ElideRight);
    m_selection = ListView1->selectionModel();

    ListView1Details = new QTreeView(this);
    ListView1Details->setObjectName(QStringLiteral("ListView1Details"));
    common(ListView1Details);
    // One selection for every view style, so a switch keeps the selected rows and the current one.
    QItemSelectionModel *own = ListView1Details->selectionModel();
    ListView1Details->setSelectionModel(m_selection);
    delete own;
    ListView1Details->setRootIsDecorated(false);
    ListView1Details->setItemsExpandable(false);
    ListView1Details->setUniformRowHeights(true);
    ListView1Details->setAllColumnsShowFocus(true);
    ListView1Details->setIconSize(QSize(16, 16));
    QHeaderView *header = ListView1Details->header();
    header->setSectionsClickable(true);
    header->setSectionsMovable(false);
    header->setStretchLastSection(false);
    header->setSortIndicatorShown(false);
    header->setSectionResizeMode(QHeaderView::Interactive);
    header->setMinimumSectionSize(1);
    connect(header, &QHeaderView::sectionClicked, this, &TfrmArchive::ListView1ColumnClick);
    // Never visible; sized 0 first, so that nothing of it is counted in the header's length.
    header->resizeSection(ArchiveListModel::ColFileName, 0);
    ListView1Details->setColumnHidden(ArchiveListModel::ColFileName, true);

    connect(m_selection, &QItemSelectionModel::selectionChanged, this, &TfrmArchive::KeyState);
    connect(m_model, &QAbstractItemModel::modelReset, this, &TfrmArchive::KeyState);
    connect(m_model, &QAbstractItemModel::rowsRemoved, this, &TfrmArchive::KeyState);
}

void TfrmArchive::buildMenu()
{
    PopupMenu1 = new QMenu(this);
    PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
    // A menu item of its own name for each command, running the command's action and following
    // its enabled and visible state.
    const auto item = [](QMenu *menu, const char *name, QAction *action) {
        auto *it = new QAction(action->text(), menu);
        it->setObjectName(QString::fromLatin1(name));
        const auto follow = [it, action] {
            it->setEnabled(action->isEnabled());
            it->setVisible(action->isVisible());
        };
        follow();
        QObject::connect(action, &QAction::changed, it, follow);
        QObject::connect(it, &QAction::triggered, action, &QAction::trigger);
        menu->addAction(it);
        return it;
    };
    const auto separator = [](QMenu *menu, const char *name) {
        menu->addSeparator()->setObjectName(QString::fromLatin1(name));
    };
    QAction *kl1 = item(PopupMenu1, "kl1", ActViewArchiveFiles);
    PopupMenu1->setDefaultAction(kl1);
    item(PopupMenu1, "Explore1", ActExplore);
    item(PopupMenu1, "Export1", ActExport);
    separator(PopupMenu1, "N3");
    item(PopupMenu1, "Addtoarchive1", ActAdd);
    item(PopupMenu1, "Editarchive1", ActEdit);
    QAction *refresh = item(PopupMenu1, "Refresharchive1", ActFreshenCD);
    ActFreshenCD->setVisible(false);
    refresh->setVisible(false);
    separator(PopupMenu1, "N2");
    item(PopupMenu1, "Removearchive1", ActDelete);
    separator(PopupMenu1, "N1");
    QAction *reload = item(PopupMenu1, "Refreshcatalog1", ActRefreshCatalog);
    reload->setText(reload->text() + QStringLiteral("\tF5"));
    QMenu *view = PopupMenu1->addMenu(QStringLiteral("View"));
    view->setObjectName(QStringLiteral("View1"));
    view->menuAction()->setObjectName(QStringLiteral("View1"));
    m_viewItems = new QActionGroup(this);
    m_viewItems->setExclusive(true);
    const auto radio = [&](const char *name, QAction *action, int tag) {
        QAction *it = item(view, name, action);
        it->setCheckable(true);
        it->setData(tag);
        m_viewItems->addAction(it);
        return it;
    };
    SmallIcon1 = radio("SmallIcon1", ActSmallIcon, 1);
    Icon1 = radio("Icon1", ActIcon, 2);
    List1 = radio("List1", ActList, 3);
    Details1 = radio("Details1", ActReport, 4);
    Icon1->setChecked(true);
    view->setDefaultAction(Icon1);
    windowkeys::addMnemonics(PopupMenu1);
}

// ---- Life of the window -------------------------------------------------------------------

void TfrmArchive::showEvent(QShowEvent *e)
{
    ListWindow::showEvent(e);
    // The window appears first; the list is loaded 150 ms later.
    if (!e->spontaneous() && !m_firstLoadDone && !m_loading && !TimScan->isActive())
        TimScan->start();
}

void TfrmArchive::TimScanTimer()
{
    TimScan->stop();
    ViewStyle style;
    if (browser::parseViewStyle(settings::get(settings::ArchiveViewStyle), &style))
        styleAction(style)->trigger();
    processPendingEvents();
    ScanArchive(catalog::programCatalog());
    if (instance() == this)
        sortList();
}

bool TfrmArchive::ScanArchive(const catalog::Catalog &catalog)
{
    m_loadAbort = false;
    m_loading = true;
    m_listedByAdd.clear();
    KeyState();
    QApplication::setOverrideCursor(Qt::BusyCursor);
    progressStart();
    setStatusText(browser::LoadingText);
    bool complete = false;
    QString failure;
    UnreadableArchives unlisted;
    try {
        browser::CatalogLoader loader(*m_model, browser::browserUnitState().totals);
        loader.setProgress(runProgress(&m_loadAbort));
        loader.setAlreadyListed([this](const QString &path) { return m_listedByAdd.contains(path); });
        complete = loader.ScanArchive(catalog);
        unlisted = loader.unlisted();
    } catch (const AmbryError &e) {
        failure = e.message();
    } catch (const std::exception &e) {
        failure = QString::fromLocal8Bit(e.what());
    }
    // However the walk ended.
    m_loading = false;
    m_firstLoadDone = true;
    setRedraw(true);
    progressEnd();
    DrawResults();
    processPendingEvents();
    QApplication::restoreOverrideCursor();
    KeyState();
    if (!failure.isEmpty())
        showError(failure, this);
    else if (!unlisted.isEmpty())
        showMessage(unreadableArchivesMessage(unlisted), this);
    return complete;
}

void TfrmArchive::DrawResults()
{
    sizeColumns();
    const int rows = m_model->rowCount();
    setStatusText(browser::statusLine(browser::browserUnitState().totals, rows));
    // The whole line, also when the window is too narrow to show it.
    sbPanel0->setToolTip(browser::statusToolTip(browser::browserUnitState().totals, rows));
    // The list is a tab stop exactly when it has rows.
    const Qt::FocusPolicy policy = rows > 0 ? Qt::StrongFocus : Qt::ClickFocus;
    ListView1->setFocusPolicy(policy);
    ListView1Details->setFocusPolicy(policy);
}

void TfrmArchive::FormCloseQuery()
{
    m_loadAbort = true;
}

void TfrmArchive::resizeEvent(QResizeEvent *e)
{
    ListWindow::resizeEvent(e);
    // The five buttons sit at the strip's right edge.
    const int right = Panel1->width();
    int x = right;
    for (QToolButton *b : {btnRemove, btnEdit, btnAdd, btnFreshenCD, btnViewToggle, btnExplore}) {
        if (b->isHidden())
            continue;
        x -= b->width();
        b->move(x, 0);
    }
    sizeColumns();
    if (m_firstLoadDone && !m_loading && !m_busy)
        sortList();
}

void TfrmArchive::setRedraw(bool on)
{
    ListView1->setUpdatesEnabled(on);
    ListView1Details->setUpdatesEnabled(on);
    if (on) {
        // Columns may have been sized while nothing was drawn.
        ListView1Details->header()->viewport()->update();
        ListView1Details->viewport()->update();
        ListView1->viewport()->update();
    }
}

// ---- Sorting and view styles --------------------------------------------------------------

void TfrmArchive::sortList()
{
    const browser::BrowserUnitState &unit = browser::browserUnitState();
    m_model->sortRows(unit.SortColumn, unit.SortFlag);
    QHeaderView *header = ListView1Details->header();
    header->setSortIndicator(unit.SortColumn, browser::sortArrowUp(unit.SortColumn, unit.SortFlag)
                                                  ? Qt::AscendingOrder
                                                  : Qt::DescendingOrder);
    header->setSortIndicatorShown(true);
    if (currentView()->currentIndex().isValid())
        currentView()->scrollTo(currentView()->currentIndex());
}

void TfrmArchive::ListView1ColumnClick(int column)
{
    browser::BrowserUnitState &unit = browser::browserUnitState();
    browser::columnClick(column, &unit.SortColumn, &unit.SortFlag);
    sortList();
}

void TfrmArchive::applyViewStyle(ViewStyle style)
{
    m_style = style;
    const bool details = style == ViewStyle::Report;
    QAbstractItemView *before = details ? static_cast<QAbstractItemView *>(ListView1) : ListView1Details;
    QAbstractItemView *after = currentView();
    const bool hadFocus = before->hasFocus();
    if (!details) {
        const QFontMetrics fm(ListView1->font());
        switch (style) {
        case ViewStyle::Icon:
            ListView1->setViewMode(QListView::IconMode);
            ListView1->setFlow(QListView::LeftToRight);
            ListView1->setIconSize(QSize(32, 32));
            ListView1->setGridSize(QSize(std::max(96, fm.averageCharWidth() * 16), 36 + 3 * fm.height()));
            break;
        case ViewStyle::SmallIcon:
            ListView1->setViewMode(QListView::ListMode);
            ListView1->setFlow(QListView::LeftToRight);
            ListView1->setIconSize(QSize(16, 16));
            ListView1->setGridSize(
                QSize(std::max(150, fm.averageCharWidth() * 24), std::max(20, fm.height() + 4)));
            break;
        default:
            ListView1->setViewMode(QListView::ListMode);
            ListView1->setFlow(QListView::TopToBottom);
            ListView1->setIconSize(QSize(16, 16));
            ListView1->setGridSize(
                QSize(std::max(150, fm.averageCharWidth() * 24), std::max(20, fm.height() + 4)));
            break;
        }
        ListView1->setWrapping(true);
        ListView1->setMovement(QListView::Static);
        ListView1->setResizeMode(QListView::Adjust);
    }
    ListView1->setVisible(!details);
    ListView1Details->setVisible(details);
    if (hadFocus)
        after->setFocus();
    if (after->currentIndex().isValid())
        after->scrollTo(after->currentIndex());
    sizeColumns();
}

void TfrmArchive::SetListViewStyle(const QString &valueName, const QString &styleText, ViewStyle style)
{
    applyViewStyle(style);
    currentView()->viewport()->update();
    settings::set(settings::Setting<QString>{RegKey::V, valueName}, styleText);
}

void TfrmArchive::ActIconExecute()
{
    Icon1->setChecked(true);
    SetListViewStyle(settings::ArchiveViewStyle.name, browser::viewStyleText(ViewStyle::Icon),
                     ViewStyle::Icon);
}

void TfrmArchive::ActSmallIconExecute()
{
    SmallIcon1->setChecked(true);
    SetListViewStyle(settings::ArchiveViewStyle.name, browser::viewStyleText(ViewStyle::SmallIcon),
                     ViewStyle::SmallIcon);
}

void TfrmArchive::ActListExecute()
{
    List1->setChecked(true);
    SetListViewStyle(settings::ArchiveViewStyle.name, browser::viewStyleText(ViewStyle::List),
                     ViewStyle::List);
}

void TfrmArchive::ActReportExecute()
{
    Details1->setChecked(true);
    SetListViewStyle(settings::ArchiveViewStyle.name, browser::viewStyleText(ViewStyle::Report),
                     ViewStyle::Report);
}

QAction *TfrmArchive::styleAction(ViewStyle style) const
{
    switch (style) {
    case ViewStyle::SmallIcon:
        return ActSmallIcon;
    case ViewStyle::List:
        return ActList;
    case ViewStyle::Report:
        return ActReport;
    case ViewStyle::Icon:
        break;
    }
    return ActIcon;
}

void TfrmArchive::ActViewToggleExecute()
{
    styleAction(browser::nextViewStyle(m_style))->trigger();
    if (!m_busy)
        sortList();
}

void TfrmArchive::sizeColumns()
{
    // Each column as wide as its caption and its rows need, within the list's width: the number
    // columns never so narrow that a number of any row is cut, "Archived date" fixed, the texts
    // giving way, widest first, when the list is too narrow for all.
    QHeaderView *header = ListView1Details->header();
    const QFontMetrics fm(ListView1Details->font());
    const int pad = 16;
    const int total = std::max(ListView1Details->viewport()->width() - 2, 300);
    // 120 in the design; never so narrow that a date with its time is cut off.
    const int date = std::max(120, fm.horizontalAdvance(QStringLiteral("00/00/0000 00:00:00")) + pad);
    QList<int> columns, wanted, least, most;
    for (int c = 0; c < ArchiveListModel::ColumnCount; ++c) {
        if (c == ArchiveListModel::ColFileName)
            continue; // hidden: never given a width
        int want = std::max(header->sectionSizeHint(c),
                            static_cast<QAbstractItemView *>(ListView1Details)->sizeHintForColumn(c));
        int low = 20, high = 0;
        if (c == ArchiveListModel::ColDate) {
            want = low = high = date;
        } else if (c == ArchiveListModel::ColDirs || c == ArchiveListModel::ColFiles ||
                   c == ArchiveListModel::ColSize) {
            low = std::max(fm.horizontalAdvance(m_model->widestNumberText(c)) + pad, 20);
            want = std::max(want, low);
            high = std::max(want, c == ArchiveListModel::ColSize ? 95 : 80);
        }
        columns << c;
        wanted << want;
        least << low;
        most << high;
    }
    const QList<int> widths = fitColumns(wanted, least, most, total);
    for (qsizetype i = 0; i < columns.size(); ++i)
        header->resizeSection(columns.at(i), widths.at(i));
}

// ---- Commands -----------------------------------------------------------------------------

std::vector<int> TfrmArchive::selectedRows() const
{
    std::vector<int> rows;
    for (const QItemSelectionRange &range : m_selection->selection())
        for (int r = range.top(); r <= range.bottom(); ++r)
            rows.push_back(r);
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    return rows;
}

int TfrmArchive::firstSelectedRow() const
{
    int first = -1;
    for (const QItemSelectionRange &range : m_selection->selection())
        if (first < 0 || range.top() < first)
            first = range.top();
    return first;
}

void TfrmArchive::KeyState()
{
    qsizetype selected = 0;
    for (const QItemSelectionRange &range : m_selection->selection())
        selected += range.height();
    const QWidget *focus = focusWidget();
    const bool listFocus = focus && (focus == ListView1 || focus == ListView1Details);
    const browser::CommandStates s =
        browser::KeyState(int(std::min<qsizetype>(selected, 2)), listFocus, m_loading || m_busy);
    ActDelete->setEnabled(s.remove);
    ActEdit->setEnabled(s.edit);
    ActViewArchiveFiles->setEnabled(s.viewFiles);
    ActExplore->setEnabled(s.viewFiles);
    ActFreshenCD->setEnabled(s.freshen);
}

void TfrmArchive::ActAddExecute()
{
    if (!ActAdd->isEnabled() || m_busy)
        return;
    m_busy = true;
    try {
        if (WaitForDisc(QString()) != ModalResult::Cancel) {
            const QString path = RunAddDiscSession().savedPath;
            if (!path.isEmpty() && QFileInfo(path).isFile() && instance() == this) {
                setRedraw(false);
                SetAllItemsSelected(currentView(), false);
                const int row = browser::AddArchive(*m_model, browser::browserUnitState().totals, path, true);
                if (m_loading)
                    m_listedByAdd.insert(path);
                if (row >= 0) {
                    const QModelIndex index = m_model->index(row, 0);
                    m_selection->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect |
                                                            QItemSelectionModel::Rows);
                    currentView()->setFocus();
                }
                sortList();
                DrawResults();
                setRedraw(m_firstLoadDone && !m_loading);
            }
        }
    } catch (const AmbryError &e) {
        setRedraw(m_firstLoadDone && !m_loading);
        showError(e.message(), this);
    }
    m_busy = false;
    KeyState();
}

void TfrmArchive::ActDeleteExecute()
{
    if (!ActDelete->isEnabled() || m_busy)
        return;
    const std::vector<int> rows = selectedRows();
    if (rows.empty())
        return;
    QStringList marks;
    marks << m_model->mark(rows.front());
    if (rows.size() > 1)
        marks << m_model->mark(rows.back());
    if (!askConfirm(browser::removeQuestion(marks), this))
        return;
    m_busy = true;
    KeyState();
    setRedraw(false);
    browser::RemoveResult result;
    try {
        browser::RemoveHooks hooks;
        hooks.failed = [this](const QString &mark) { showMessage(browser::CannotDeleteText + mark, this); };
        hooks.beforeRemoval = [this] { m_selection->clear(); };
        QApplication::setOverrideCursor(Qt::BusyCursor);
        struct RestoreCursor
        {
            ~RestoreCursor() { QApplication::restoreOverrideCursor(); }
        } restoreCursor;
        const Progress events = changeProgress();
        browser::withCatalogLock(
            catalog::programCatalog(),
            [&] {
                result =
                    browser::removeRows(*m_model, browser::browserUnitState().totals, rows, hooks, events);
            },
            events);
        // The rows that stay after a failure stay selected.
        QItemSelection kept;
        for (const int row : result.kept)
            kept.select(m_model->index(row, 0), m_model->index(row, ArchiveListModel::ColumnCount - 1));
        m_selection->select(kept, QItemSelectionModel::Select);
        if (result.selectRow >= 0) {
            const QModelIndex index = m_model->index(result.selectRow, 0);
            m_selection->select(index, QItemSelectionModel::Select | QItemSelectionModel::Rows);
            m_selection->setCurrentIndex(index, QItemSelectionModel::NoUpdate);
        }
        DrawResults();
    } catch (const AmbryError &e) {
        showError(e.message(), this);
    }
    m_busy = false;
    if (result.recount)
        ActRefreshCatalogExecute();
    else
        sortList();
    setRedraw(true);
    KeyState();
}

void TfrmArchive::ActEditExecute()
{
    if (!ActEdit->isEnabled() || m_busy)
        return;
    const int first = firstSelectedRow();
    if (first < 0)
        return;
    const QPersistentModelIndex row = m_model->index(first, 0);
    if (TfrmEditArchive::instance())
        return;
    m_busy = true;
    auto *window = new TfrmEditArchive(this);
    try {
        window->setFields(m_model->mark(row.row()), m_model->location(row.row()), m_model->note(row.row()));
        if (window->exec() == QDialog::Accepted && row.isValid()) {
            using namespace browser::edit;
            const QString mark = window->mark(), location = window->location(), note = window->note();
            QString damage;
            switch (saveFields(catalog::programCatalog(), m_model->path(row.row()), window->startingMark(),
                               mark, location, note, changeProgress(), &damage)) {
            case SaveResult::Saved:
                // In place: the row is not sorted again and the totals stay.
                m_model->setTexts(row.row(), fieldText(mark), fieldText(location), fieldText(note));
                break;
            case SaveResult::MarkExists:
                showMessage(MarkExistsText, this);
                break;
            case SaveResult::Damaged:
                showMessage(damagedText(damage), this);
                break;
            case SaveResult::Failed:
                showMessage(CannotChangeText, this);
                break;
            }
        }
    } catch (const AmbryError &e) {
        showError(e.message(), this);
    }
    processPendingEvents();
    delete window;
    m_busy = false;
    KeyState();
}

void TfrmArchive::ActRefreshCatalogExecute()
{
    if (m_loading)
        return;
    // The selected archives stay selected in the list read anew, the current one current.
    QStringList selected;
    for (const int row : selectedRows())
        selected << m_model->path(row);
    const QModelIndex current = m_selection->currentIndex();
    const QString currentPath = current.isValid() ? m_model->path(current.row()) : QString();
    processPendingEvents();
    ScanArchive(catalog::programCatalog());
    sortList();
    QItemSelection keep;
    for (const int row : m_model->rowsOf(selected))
        keep.select(m_model->index(row, 0), m_model->index(row, ArchiveListModel::ColumnCount - 1));
    m_selection->select(keep, QItemSelectionModel::ClearAndSelect);
    const QList<int> currentRow = m_model->rowsOf({currentPath});
    if (!currentRow.isEmpty()) {
        m_selection->setCurrentIndex(m_model->index(currentRow.first(), 0), QItemSelectionModel::NoUpdate);
        currentView()->scrollTo(m_selection->currentIndex());
    }
    KeyState();
}

void TfrmArchive::ActViewArchiveFilesExecute()
{
    if (!ActViewArchiveFiles->isEnabled() || m_busy)
        return;
    const int row = firstSelectedRow();
    if (row < 0)
        return;
    ShowSearchWindow(m_model->mark(row));
}

void TfrmArchive::ActExploreExecute()
{
    if (!ActExplore->isEnabled() || m_busy)
        return;
    const int row = firstSelectedRow();
    if (row >= 0)
        ShowExploreWindow(m_model->path(row));
}

void TfrmArchive::ActExportExecute()
{
    if (m_busy)
        return;
    ExportRequest request;
    request.proposedName = QStringLiteral("catalog");
    request.rows = m_model->rowCount();
    request.columns = browser::archiveExportColumns();
    request.heading = {QStringLiteral("Ambrylog catalog"), QDir::toNativeSeparators(gVars().catalogFolder),
                       QDateTime::currentDateTime()};
    request.fill = [this](TableExport &table, const std::function<bool(qint64)> &progress) {
        return browser::exportArchives(*m_model, table, progress);
    };
    exportCommand(this, request);
}

void TfrmArchive::ActFreshenCDExecute()
{
    if (!ActFreshenCD->isEnabled() || m_busy)
        return;
    const int row = firstSelectedRow();
    if (row < 0)
        return;
    if (WaitForDisc(QStringLiteral("Insert CD/DVD marked: ") + m_model->mark(row)) != ModalResult::Cancel)
        RunAddDiscSession();
}

// ---- Keys and the mouse -------------------------------------------------------------------

bool TfrmArchive::FormKeyUp(QObject *watched, QKeyEvent *key)
{
    // A release counts only after a press in this window: a key that acted in a window above
    // this one must not act here as well.
    if (!acceptsRelease(watched, key, {Qt::Key_F2, Qt::Key_Delete, Qt::Key_Insert, Qt::Key_F5}))
        return false;
    const int k = key->key();
    if (k == Qt::Key_F5)
        ActRefreshCatalog->trigger();
    if (k == Qt::Key_F2)
        ActEdit->trigger();
    if (k == Qt::Key_Delete)
        ActDelete->trigger();
    if (k == Qt::Key_Insert)
        ActAdd->trigger();
    return true;
}

bool TfrmArchive::eventFilter(QObject *watched, QEvent *e)
{
    const bool inList = watched == ListView1 || watched == ListView1Details;
    const bool inViewport = watched == ListView1->viewport() || watched == ListView1Details->viewport();
    switch (e->type()) {
    case QEvent::KeyPress: {
        auto *key = static_cast<QKeyEvent *>(e);
        if (inList && isOwnControl(watched) && isEnterKey(key)) {
            // ListView1KeyPress
            if (m_selection->hasSelection())
                ActViewArchiveFiles->trigger();
            return true;
        }
        break;
    }
    case QEvent::KeyRelease:
        if (FormKeyUp(watched, static_cast<QKeyEvent *>(e)))
            return true;
        break;
    case QEvent::FocusIn:
    case QEvent::FocusOut:
        if (inList)
            QMetaObject::invokeMethod(this, &TfrmArchive::KeyState, Qt::QueuedConnection);
        break;
    case QEvent::Resize:
        if (watched == ListView1Details->viewport())
            sizeColumns();
        break;
    case QEvent::MouseMove:
        if (inViewport)
            m_lastMousePos = static_cast<QMouseEvent *>(e)->position().toPoint();
        break;
    case QEvent::MouseButtonRelease:
        if (inViewport && static_cast<QMouseEvent *>(e)->button() == Qt::LeftButton)
            QMetaObject::invokeMethod(this, &TfrmArchive::KeyState, Qt::QueuedConnection);
        break;
    case QEvent::MouseButtonDblClick:
        if (inViewport) {
            // ListView1DblClick: only a selected row under the pointer.
            auto *mouse = static_cast<QMouseEvent *>(e);
            m_lastMousePos = mouse->position().toPoint();
            const QModelIndex under = currentView()->indexAt(m_lastMousePos);
            if (under.isValid() && m_selection->isRowSelected(under.row())) {
                KeyState();
                ActViewArchiveFiles->trigger();
            }
            return true;
        }
        break;
    default:
        break;
    }
    return ListWindow::eventFilter(watched, e);
}
