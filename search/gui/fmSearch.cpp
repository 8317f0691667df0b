#include "fmSearch.h"

#include "settings/gui/FormPlacement.h"

#include "Retrieval.h"
#include "SearchLook.h"
#include "SizeSpinBox.h"
#include "fmPropreties.h"

#include "catalog/ProgramCatalog.h"
#include "search/ColumnFit.h"
#include "search/ResultsExport.h"
#include "search/ResultsModel.h"
#include "settings/gRegistry.h"
#include "settings/gVars.h"
#include "util/AmbryError.h"
#include "util/gUtils.h"
#include "util/gui/ExportCommand.h"
#include "util/gui/MessageBox.h"
#include "util/gui/WindowKeys.h"
#include "util/gui/WindowLook.h"
#include "util/gui/gUtilsGui.h"

#include <QAction>
#include <QApplication>
#include <QCalendarWidget>
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QFile>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QShowEvent>
#include <QSpinBox>
#include <QStatusBar>
#include <QTextCharFormat>
#include <QThread>
#include <QToolButton>
#include <QTreeView>

#include <algorithm>

using search::ResultsModel;

SearchUnitState &searchUnitState()
{
    static SearchUnitState state;
    return state;
}

namespace {
ExploreOpener &exploreOpener()
{
    static ExploreOpener opener;
    return opener;
}
} // namespace

void setExploreOpener(ExploreOpener opener)
{
    exploreOpener() = std::move(opener);
}

int ShowSearchWindow(const QString &mark)
{
    searchUnitState().OnlyMark = mark;
    return showListWindow<TfrmSearch>();
}

TfrmSearch::TfrmSearch(QWidget *parent) : SingleListWindow(parent, FormName::Search, false)
{
    {
        // The design's small dialog font: the fixed positions of the criteria were laid out for it.
        QFont small = font();
        small.setPixelSize(12);
        setFont(small);
    }
    setSizeGripEnabled(false);

    buildActions();
    buildTopBar();
    buildAdvancedPanel();
    buildResults();
    // The status line keeps its width; the progress bar covers panel 1.
    assemble({Panel1, lblTextProblem, pnlAdvanced}, {ListView1});
    // Archives a search could not read whole are counted here after every search; the list
    // is a click (or Enter) away, no box stops the user.
    lblDamaged = new QLabel(sb1);
    lblDamaged->setObjectName(QStringLiteral("lblDamaged"));
    lblDamaged->setTextFormat(Qt::RichText);
    lblDamaged->setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);
    lblDamaged->setFocusPolicy(Qt::TabFocus);
    lblDamaged->hide();
    connect(lblDamaged, &QLabel::linkActivated, this, &TfrmSearch::showDamagedList);
    sb1->addPermanentWidget(lblDamaged);

    // Tab visits the search line and its buttons, the criteria, the results and then the copy
    // command, which acts on the selected result.
    const QList<QWidget *> tabOrder{edtSearch, btnGo,   btnAdvanced, chkMarked,    chkDir,    chkFile,
                                    chkType,   chkCase, chkAccents,  cmbMatch,     chkDate,   dtpFrom,
                                    dtpTo,     chkSize, cmbSize,     updSize,      cmbMultipler, ListView1,
                                    btnCopyFile};
    for (qsizetype i = 1; i < tabOrder.size(); ++i)
        setTabOrder(tabOrder.at(i - 1), tabOrder.at(i));

    FormCreate();
}

TfrmSearch::~TfrmSearch() = default;

bool TfrmSearch::advancedMode() const
{
    return m_advancedMode;
}

// ---- Building the window ------------------------------------------------------------------

void TfrmSearch::buildActions()
{
    ActGo = addNamedAction("ActGo", "Go", "Go", true);
    ActAdvanced =
        addNamedAction("ActAdvanced", "Switch to Advanced Search", "Switch to Advanced Search", true);
    ActCopyFile = addNamedAction("ActCopyFile", "Copy File", "Copy File", false);
    ActExecuteFile = addNamedAction("ActExecuteFile", "Execute File", "Execute File", false);
    ActPropreties = addNamedAction("ActPropreties", "Propreties", "", false);
    ActGo->setIcon(searchlook::glyph(searchlook::Glyph::Go));
    ActAdvanced->setIcon(searchlook::glyph(searchlook::Glyph::Advanced));
    ActCopyFile->setIcon(searchlook::glyph(searchlook::Glyph::CopyFile));
    connect(ActGo, &QAction::triggered, this, &TfrmSearch::ActGoExecute);
    connect(ActAdvanced, &QAction::triggered, this, &TfrmSearch::ActAdvancedExecute);
    connect(ActCopyFile, &QAction::triggered, this, &TfrmSearch::ActCopyFileExecute);
    connect(ActExecuteFile, &QAction::triggered, this, &TfrmSearch::ActExecuteFileExecute);
    connect(ActPropreties, &QAction::triggered, this, &TfrmSearch::ActPropretiesExecute);
    ActExploreFolder = addNamedAction("ActExploreFolder", "Explore Folder", "Explore Folder", false);
    ActExploreFolder->setVisible(bool(exploreOpener()));
    connect(ActExploreFolder, &QAction::triggered, this, &TfrmSearch::ActExploreFolderExecute);
    ActExport = addNamedAction("ActExport", "Export...", "Export", false);
    connect(ActExport, &QAction::triggered, this, &TfrmSearch::ActExportExecute);
}

void TfrmSearch::buildTopBar()
{
    Panel1 = look::makeBand(this, QStringLiteral("Panel1"));
    Panel1->setFixedHeight(look::BandHeight);
    lblDela = look::makeHeading(Panel1, QStringLiteral("lblDela"), QStringLiteral("Search"));
    lblDela->setGeometry(6, 1, 54, 23);

    edtSearch = new QLineEdit(Panel1);
    edtSearch->setObjectName(QStringLiteral("edtSearch"));
    edtSearch->setAccessibleName(QStringLiteral("Search"));
    edtSearch->setGeometry(61, 2, 289, 21);
    connect(edtSearch, &QLineEdit::textChanged, this, [this](const QString &text) {
        // Read by the engine at the start of every archive, so a change applies from the next one.
        searchUnitState().criteria.searchText = text;
        lblTextProblem->hide();
    });
    lblTextProblem = new QLabel(this);
    lblTextProblem->setObjectName(QStringLiteral("lblTextProblem"));
    lblTextProblem->setContentsMargins(8, 3, 8, 3);
    lblTextProblem->setWordWrap(true);
    lblTextProblem->hide();

    const auto button = [this](const char *name, QAction *action, int left) {
        auto *b = new QToolButton(Panel1);
        b->setObjectName(QString::fromLatin1(name));
        b->setDefaultAction(action);
        look::styleBandButton(b);
        b->setToolButtonStyle(Qt::ToolButtonIconOnly);
        b->setIconSize(QSize(21, 21));
        b->setGeometry(left, 0, 25, 25);
        b->setAccessibleName(action->toolTip());
        return b;
    };
    btnGo = button("btnGo", ActGo, 352);
    btnAdvanced = button("btnAdvanced", ActAdvanced, 378);
    btnCopyFile = button("btnCopyFile", ActCopyFile, 559);
}

void TfrmSearch::buildAdvancedPanel()
{
    pnlAdvanced = new QWidget(this);
    pnlAdvanced->setObjectName(QStringLiteral("pnlAdvanced"));
    pnlAdvanced->setFixedHeight(139);
    {
        QPalette pal = pnlAdvanced->palette();
        pal.setColor(QPalette::Window, searchlook::advancedPanelColor());
        pnlAdvanced->setPalette(pal);
        pnlAdvanced->setAutoFillBackground(true);
    }

    // Every check box shows its caption to the left of the box.
    const auto check = [this](const char *name, const char *text, bool checked) {
        auto *box = new QCheckBox(QString::fromLatin1(text), pnlAdvanced);
        box->setObjectName(QString::fromLatin1(name));
        box->setLayoutDirection(Qt::RightToLeft);
        box->setChecked(checked);
        return box;
    };
    const auto label = [this](const char *text, QWidget *buddy, const char *name = nullptr) {
        auto *l = new QLabel(QString::fromLatin1(text), pnlAdvanced);
        l->setBuddy(buddy);
        if (name)
            l->setObjectName(QString::fromLatin1(name));
        return l;
    };

    chkMarked = check("chkMarked", "Marks", false);
    chkDir = check("chkDir", "Directories", true);
    chkFile = check("chkFile", "File names", true);
    chkType = check("chkType", "File type", true);
    chkCase = check("chkCase", "Case sensitive", false);
    chkAccents = check("chkAccents", "Ignore accents", false);
    cmbMatch = new QComboBox(pnlAdvanced);
    cmbMatch->setObjectName(QStringLiteral("cmbMatch"));
    cmbMatch->addItems(search::matchModeTexts());
    QLabel *matchLabel = label("Match:", cmbMatch, "lblMatch");
    cmbMatch->view()->setAccessibleName(QStringLiteral("Match"));
    chkDate = check("chkDate", "Date modified", false);
    const auto datePicker = [this](const char *name) {
        auto *picker = new QDateEdit(pnlAdvanced);
        picker->setObjectName(QString::fromLatin1(name));
        picker->setDisplayFormat(QStringLiteral("dd/MM/yyyy"));
        picker->setCalendarPopup(true);
        picker->setEnabled(false);
        connect(picker, &QDateEdit::dateChanged, this, &TfrmSearch::DateChange);
        return picker;
    };
    dtpFrom = datePicker("dtpFrom");
    dtpTo = datePicker("dtpTo");
    QLabel *fromLabel = label("from:", dtpFrom);
    QLabel *toLabel = label("to:", dtpTo);

    chkSize = check("chkSize", "By file size", false);
    cmbSize = new QComboBox(pnlAdvanced);
    cmbSize->setObjectName(QStringLiteral("cmbSize"));
    cmbSize->addItems({QStringLiteral("at least"), QStringLiteral("at most")});
    cmbSize->setEnabled(false);
    auto *spin = new SizeSpinBox(pnlAdvanced);
    updSize = spin;
    updSize->setObjectName(QStringLiteral("updSize"));
    updSize->setRange(0, 32767);
    updSize->setValue(0);
    updSize->setGroupSeparatorShown(true);
    updSize->setEnabled(false);
    edtSize = spin->lineEdit();
    edtSize->setObjectName(QStringLiteral("edtSize"));
    QLabel *sizeLabel = label("Specify size:", updSize);
    cmbMultipler = new QComboBox(pnlAdvanced);
    cmbMultipler->setObjectName(QStringLiteral("cmbMultipler"));
    cmbMultipler->addItems(search::sizeUnitCaptions());
    cmbMultipler->setCurrentIndex(int(search::kDefaultSizeUnit));
    // The lists the two boxes open: a screen reader names them by these.
    cmbSize->view()->setAccessibleName(QStringLiteral("Size limit"));
    cmbMultipler->view()->setAccessibleName(QStringLiteral("Size unit"));
    cmbMultipler->setEnabled(false);
    QLabel *unitLabel = label("in:", cmbMultipler);

    // On a grid: the check boxes in the first column with their boxes in line, the labels right
    // aligned before the fields they name, the fields in columns of their own.
    auto *grid = new QGridLayout(pnlAdvanced);
    grid->setContentsMargins(12, 8, 12, 8);
    grid->setHorizontalSpacing(8);
    grid->setVerticalSpacing(6);
    const Qt::Alignment right = Qt::AlignRight | Qt::AlignVCenter;
    auto *fieldsRow = new QHBoxLayout;
    fieldsRow->setSpacing(12);
    for (QCheckBox *box : {chkDir, chkFile, chkType})
        fieldsRow->addWidget(box);
    fieldsRow->addStretch(1);
    grid->addWidget(chkMarked, 0, 0, right);
    grid->addLayout(fieldsRow, 0, 1, 1, 5);
    grid->addWidget(chkCase, 1, 0, right);
    // Beside "Case sensitive", over the size and its label, so neither column widens for it.
    grid->addWidget(chkAccents, 1, 1, 1, 2, Qt::AlignLeft | Qt::AlignVCenter);
    grid->addWidget(matchLabel, 1, 3, right);
    grid->addWidget(cmbMatch, 1, 4, 1, 2);
    grid->addWidget(chkDate, 2, 0, right);
    grid->addWidget(fromLabel, 2, 2, right);
    grid->addWidget(dtpFrom, 2, 3);
    grid->addWidget(toLabel, 2, 4, right);
    grid->addWidget(dtpTo, 2, 5);
    grid->addWidget(chkSize, 3, 0, right);
    grid->addWidget(cmbSize, 3, 1);
    grid->addWidget(sizeLabel, 3, 2, right);
    grid->addWidget(updSize, 3, 3);
    grid->addWidget(unitLabel, 3, 4, right);
    grid->addWidget(cmbMultipler, 3, 5);
    grid->setColumnStretch(6, 1);
    for (QWidget *field : std::initializer_list<QWidget *>{dtpFrom, dtpTo, updSize, cmbMultipler, cmbSize})
        field->setMinimumWidth(field->sizeHint().width());

    for (QComboBox *combo : {cmbSize, cmbMultipler})
        connect(combo, &QComboBox::currentTextChanged, this, &TfrmSearch::SizeChange);
    connect(updSize, &QSpinBox::valueChanged, this, &TfrmSearch::SizeChange);
    connect(updSize, &QSpinBox::editingFinished, this, &TfrmSearch::edtSizeExit);
    connect(chkDate, &QCheckBox::clicked, this, &TfrmSearch::chkDateClick);
    // Kept with the criteria, so they outlive the window as its other unit state does.
    connect(cmbMatch, &QComboBox::currentIndexChanged, this, [this](int index) {
        searchUnitState().criteria.match = search::MatchMode(std::max(index, 0));
        lblTextProblem->hide();
    });
    connect(chkAccents, &QCheckBox::toggled, this,
            [](bool on) { searchUnitState().criteria.ignoreAccents = on; });
    connect(chkSize, &QCheckBox::clicked, this, &TfrmSearch::chkSizeClick);
    for (QDateEdit *picker : {dtpFrom, dtpTo}) {
        // dtpDropDown: the calendar marks no day as today.
        picker->calendarWidget()->setDateTextFormat(QDate::currentDate(), QTextCharFormat());
    }
}

void TfrmSearch::buildResults()
{
    m_model = new ResultsModel(this);
    ListView1 = new QTreeView(this);
    ListView1->setObjectName(QStringLiteral("ListView1"));
    ListView1->setAccessibleName(QStringLiteral("Results"));
    ListView1->setModel(m_model);
    ListView1->setRootIsDecorated(false);
    ListView1->setItemsExpandable(false);
    ListView1->setUniformRowHeights(true);
    ListView1->setAllColumnsShowFocus(true);
    ListView1->setSelectionBehavior(QAbstractItemView::SelectRows);
    ListView1->setSelectionMode(QAbstractItemView::SingleSelection);
    ListView1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    ListView1->setContextMenuPolicy(Qt::CustomContextMenu);
    ListView1->setMouseTracking(true);
    ListView1->setFocusPolicy(Qt::ClickFocus);
    ListView1->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    QHeaderView *header = ListView1->header();
    header->setSectionsClickable(true);
    header->setSectionsMovable(false);
    header->setStretchLastSection(false);
    header->setSortIndicatorShown(false);
    header->setSectionResizeMode(QHeaderView::Interactive);
    header->setMinimumSectionSize(20);
    connect(header, &QHeaderView::sectionClicked, this, &TfrmSearch::ListView1ColumnClick);
    connect(ListView1, &QTreeView::doubleClicked, this, &TfrmSearch::ListView1DblClick);
    connect(ListView1->selectionModel(), &QItemSelectionModel::selectionChanged, this, &TfrmSearch::KeyState);
    connect(m_model, &QAbstractItemModel::modelReset, this, &TfrmSearch::KeyState);
    connect(m_model, &QAbstractItemModel::rowsInserted, this, &TfrmSearch::KeyState);
    connect(m_model, &QAbstractItemModel::layoutChanged, this, &TfrmSearch::KeyState);

    PopupMenu1 = new QMenu(this);
    PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
    PopupMenu1->addAction(ActGo);
    PopupMenu1->addSeparator();
    PopupMenu1->addAction(ActCopyFile);
    PopupMenu1->addAction(ActExecuteFile);
    PopupMenu1->addSeparator();
    PopupMenu1->addAction(ActPropreties);
    PopupMenu1->addAction(ActExploreFolder);
    PopupMenu1->addAction(ActExport);
    PopupMenu1->addSeparator();
    PopupMenu1->addAction(ActAdvanced);
    PopupMenu1->setDefaultAction(ActCopyFile);
    windowkeys::addMnemonics(PopupMenu1);
    connect(ListView1, &QWidget::customContextMenuRequested, this,
            [this](const QPoint &pos) { PopupMenu1->popup(ListView1->viewport()->mapToGlobal(pos)); });
}

// ---- Life of the window -------------------------------------------------------------------

void TfrmSearch::FormCreate()
{
    RestoreFormPlacement(RegKey::Wp, this);
    TrackFormPlacement(RegKey::Wp, this);
    searchUnitState().notices.windowOpened();
    // The view asks only for the rows it paints, so a list of millions needs no size hint.
    pnlAdvanced->hide();
    m_advancedMode = false;
    searchUnitState().criteria.AdvancedMode = false;
    const QDate today = QDate::currentDate();
    dtpFrom->setDate(today);
    dtpTo->setDate(today);
    const search::SearchCriteria &kept = searchUnitState().criteria;
    cmbMatch->setCurrentIndex(int(kept.match));
    chkAccents->setChecked(kept.ignoreAccents);
    DrawSpeedButtonState();
    sizeColumns();
}

void TfrmSearch::FormActivate()
{
    const QString &mark = searchUnitState().OnlyMark;
    if (!mark.isEmpty()) {
        setWindowTitle(QStringLiteral("Ambrylog (search only ") + mark + QStringLiteral(" archive)"));
        chkMarked->setEnabled(false);
        // Run after the activation has been handled, not inside it.
        QMetaObject::invokeMethod(
            this, [this] { ActGo->trigger(); }, Qt::QueuedConnection);
    } else {
        setWindowTitle(QStringLiteral("Ambrylog (search all archives)"));
    }
}

void TfrmSearch::FormCloseQuery()
{
    searchUnitState().CancelRequested = true;
}

void TfrmSearch::showEvent(QShowEvent *e)
{
    ListWindow::showEvent(e);
    // The first showing counts as an activation even where the window manager does not hand the
    // new window the focus.
    if (!m_activatedOnce && !e->spontaneous()) {
        m_activatedOnce = true;
        FormActivate();
    }
}

bool TfrmSearch::event(QEvent *e)
{
    switch (e->type()) {
    case QEvent::WindowActivate:
        // A return from another window of the program counts; coming back from another
        // application does not.
        if (!m_activatedOnce || m_leftForOwnWindow) {
            m_activatedOnce = true;
            m_leftForOwnWindow = false;
            FormActivate();
        }
        break;
    case QEvent::WindowDeactivate:
        m_leftForOwnWindow = QApplication::activeWindow() != nullptr && QApplication::activeWindow() != this;
        break;
    default:
        break;
    }
    return ListWindow::event(e);
}

void TfrmSearch::resizeEvent(QResizeEvent *e)
{
    ListWindow::resizeEvent(e);
    btnCopyFile->move(Panel1->width() - btnCopyFile->width(), 0);
    sizeColumns();
}

// ---- Keys ---------------------------------------------------------------------------------

bool TfrmSearch::eventFilter(QObject *watched, QEvent *e)
{
    switch (e->type()) {
    case QEvent::KeyPress:
        if (FormKeyPress(watched, static_cast<QKeyEvent *>(e)))
            return true;
        break;
    case QEvent::KeyRelease:
        if (FormKeyUp(watched, static_cast<QKeyEvent *>(e)))
            return true;
        break;
    case QEvent::FocusIn:
        if (watched == ListView1)
            KeyState();
        break;
    case QEvent::FocusOut:
        // A popup menu takes the keyboard for a moment; the list keeps its focus for the commands.
        if ((watched == ListView1 || watched == btnCopyFile) &&
            static_cast<QFocusEvent *>(e)->reason() != Qt::PopupFocusReason)
            QMetaObject::invokeMethod(this, &TfrmSearch::KeyState, Qt::QueuedConnection);
        break;
    case QEvent::Resize:
        if (watched == ListView1->viewport())
            sizeColumns();
        break;
    case QEvent::MouseMove:
        if (watched == ListView1->viewport())
            searchUnitState().LastMousePos = static_cast<QMouseEvent *>(e)->position().toPoint();
        break;
    case QEvent::MouseButtonRelease:
        if (watched == ListView1->viewport())
            KeyState();
        break;
    default:
        break;
    }
    return ListWindow::eventFilter(watched, e);
}

bool TfrmSearch::FormKeyPress(QObject *watched, QKeyEvent *key)
{
    // Not for pop-ups (calendars, list drop-downs), which are windows of their own. F3 and
    // Alt+Down act on their release.
    if (!isOwnControl(watched) || key->key() == Qt::Key_F3 || key->key() == Qt::Key_Down)
        return false;
    if (watched == cmbSize || watched == cmbMultipler) {
        // Nothing can be typed into the two lists; Enter starts the search.
        if (isEnterKey(key)) {
            ActGo->trigger();
            return true;
        }
        return !key->text().isEmpty();
    }
    if (!isEnterKey(key))
        return false;
    if (watched == updSize || watched == edtSize) {
        // The number shown is the number searched for.
        updSize->interpretText();
        SizeChange();
        ActGo->trigger();
        return true;
    }
    const QObject *goOnEnter[] = {edtSearch, chkCase, chkAccents, cmbMatch, chkMarked, chkFile,
                                  chkDir,    chkType, chkDate,    dtpFrom,  dtpTo,     chkSize};
    for (const QObject *control : goOnEnter) {
        if (watched == control) {
            ActGo->trigger();
            return true;
        }
    }
    return false;
}

bool TfrmSearch::FormKeyUp(QObject *watched, QKeyEvent *key)
{
    if (!acceptsRelease(watched, key, {Qt::Key_F3, Qt::Key_Down, Qt::Key_F5}))
        return false;
    if (key->key() == Qt::Key_F5) {
        // Runs the search again; it never cancels one, as Go does.
        if (!m_running)
            ActGo->trigger();
        return true;
    }
    if (key->key() == Qt::Key_F3) {
        ActAdvanced->trigger();
        return true;
    }
    if (watched == edtSearch && (key->modifiers() & Qt::AltModifier)) {
        ActAdvanced->trigger();
        return true;
    }
    return false;
}

void TfrmSearch::ActAdvancedExecute()
{
    m_advancedMode = !m_advancedMode;
    // Read before every record, so a switch during a search applies from the next record.
    searchUnitState().criteria.AdvancedMode = m_advancedMode;
    DrawSpeedButtonState();
    ListView1->viewport()->update();
}

void TfrmSearch::DrawSpeedButtonState()
{
    ActAdvanced->setIcon(
        searchlook::glyph(m_advancedMode ? searchlook::Glyph::Simple : searchlook::Glyph::Advanced));
    const QString hint = m_advancedMode ? QStringLiteral("Switch to Simple Search")
                                        : QStringLiteral("Switch to Advanced Search");
    ActAdvanced->setToolTip(hint);
    ActAdvanced->setText(hint);
    windowkeys::addMnemonics(PopupMenu1);
    btnAdvanced->setAccessibleName(hint);
    btnAdvanced->setEnabled(m_controlsEnabled); // the button follows its action's changes otherwise
    pnlAdvanced->setVisible(m_advancedMode);
    processPendingEvents();
}

// ---- The search ---------------------------------------------------------------------------

void TfrmSearch::ActGoExecute()
{
    SearchUnitState &unit = searchUnitState();
    if (m_running) {
        unit.CancelRequested = true;
        return;
    }
    // A text that cannot be searched (a bad regular expression) is named under the search line;
    // nothing is searched and the rows shown stay.
    readCriteria();
    if (!checkSearchText())
        return;
    m_running = true;
    processPendingEvents();
    ListView1->setUpdatesEnabled(false);
    // The rows of a new search are in the catalog's order until the next click on a header.
    ListView1->header()->setSortIndicatorShown(false);
    m_model->clear();
    ListView1->setUpdatesEnabled(true);
    SearchArchive(catalog::programCatalog());
    m_running = false;
}

void TfrmSearch::SearchArchive(const catalog::Catalog &catalog)
{
    SearchUnitState &unit = searchUnitState();
    QApplication::setOverrideCursor(Qt::BusyCursor);
    EnableSearchControls(false);
    unit.CancelRequested = false;
    m_cancelled = false;
    m_problems = search::SearchProblems();
    lblDamaged->hide();
    progressStart();
    setStatusText(QStringLiteral("Searching..."));
    processPendingEvents();

    readCriteria();
    search::SearchCriteria &c = unit.criteria;

    QString failure;
    search::SearchProblems &problems = m_problems;
    m_model->beginFill();
    try {
        search::SearchEngine engine(c, *m_model);
        engine.setProgress(runProgress(&unit.CancelRequested));
        engine.setThreads(QThread::idealThreadCount());
        engine.SearchArchive(catalog);
        problems = engine.problems();
    } catch (const AmbryError &e) {
        failure = e.message();
    } catch (const std::exception &e) {
        failure = QString::fromLocal8Bit(e.what());
    }
    m_model->endFill();
    // Cancel, Esc or closing the window during the search.
    m_cancelled = unit.CancelRequested;

    // Finishing steps, however the walk ended.
    progressEnd();
    EnableSearchControls(true);
    DrawResults();
    QApplication::restoreOverrideCursor();
    edtSearch->setFocus();

    // Told once the search is over: a box opened here would keep the search running under it,
    // and Go pressed meanwhile (an assistive client is not held back by the box) would only
    // cancel that finished search.
    const QString note = unit.notices.after(problems, failure, !unit.OnlyMark.isEmpty());
    if (note.isEmpty())
        return;
    QMetaObject::invokeMethod(
        this,
        [this, note, error = !failure.isEmpty()] {
            if (error)
                showError(note, this);
            else
                showMessage(note, this);
        },
        Qt::QueuedConnection);
}

void TfrmSearch::EnableSearchControls(bool enabled)
{
    // Only the button: F3, Alt+Down and the popup item still switch the mode during a search,
    // and the engine takes the new mode from the next record.
    m_controlsEnabled = enabled;
    btnAdvanced->setEnabled(enabled);
    pnlAdvanced->setEnabled(enabled);
    ListView1->setEnabled(enabled);
    ListView1->setUpdatesEnabled(enabled);
    ActGo->setIcon(searchlook::glyph(enabled ? searchlook::Glyph::Go : searchlook::Glyph::Cancel));
    ActGo->setToolTip(enabled ? QStringLiteral("Go") : QStringLiteral("Cancel"));
    btnGo->setAccessibleName(ActGo->toolTip());
    KeyState();
    processPendingEvents();
}

void TfrmSearch::DrawResults()
{
    sizeColumns();
    const int rows = m_model->rowCount();
    setStatusText(search::resultsStatusText(rows, m_cancelled));
    ListView1->setFocusPolicy(rows > 0 ? Qt::StrongFocus : Qt::ClickFocus);
    const QString damaged = search::problemsStatusText(m_problems);
    lblDamaged->setText(QStringLiteral("<a href=\"#\">%1</a>").arg(damaged.toHtmlEscaped()));
    lblDamaged->setAccessibleName(damaged);
    lblDamaged->setToolTip(damaged.isEmpty() ? QString() : QStringLiteral("Show which archives"));
    lblDamaged->setVisible(!damaged.isEmpty());
}

void TfrmSearch::showDamagedList()
{
    showMessage(search::problemsListText(m_problems), this);
}

void TfrmSearch::ListView1ColumnClick(int column)
{
    SearchUnitState &unit = searchUnitState();
    if (column == unit.SortColumn)
        unit.SortAscending = !unit.SortAscending;
    unit.SortColumn = column;
    m_model->sortRows(unit.SortColumn, unit.SortAscending);
    // The arrow shows the order the rows now have: with the same flag "Size" runs largest first.
    const bool upward = unit.SortAscending != (column == ResultsModel::ColSize);
    ListView1->header()->setSortIndicator(column, upward ? Qt::AscendingOrder : Qt::DescendingOrder);
    ListView1->header()->setSortIndicatorShown(true);
}

void TfrmSearch::KeyState()
{
    const bool oneRow =
        ListView1->selectionModel() && ListView1->selectionModel()->selectedRows().size() == 1;
    // The copy button comes right after the list in the Tab order and keeps the commands.
    const bool focused =
        ListView1->isEnabled() && (focusWidget() == ListView1 || focusWidget() == btnCopyFile);
    const bool on = oneRow && focused;
    ActCopyFile->setEnabled(on);
    ActExecuteFile->setEnabled(on);
    ActPropreties->setEnabled(on);
    ActExploreFolder->setEnabled(on);
    ActExport->setEnabled(m_model->rowCount() > 0 && ListView1->isEnabled());
}

void TfrmSearch::ListView1DblClick(const QModelIndex &index)
{
    const QModelIndex under = ListView1->indexAt(searchUnitState().LastMousePos);
    const QModelIndex row = under.isValid() ? under : index;
    if (row.isValid() && row.row() == ListView1->currentIndex().row()) {
        KeyState();
        ActPropreties->trigger();
    }
}

void TfrmSearch::sizeColumns()
{
    // Each column as wide as its caption and the rows in view need, within the list's width and
    // the columns' limits: "Date Modified" fixed, "Type" up to 72, "Size" up to 95 but never so
    // narrow that the longest size of any row is cut.
    QHeaderView *header = ListView1->header();
    const int total = std::max(ListView1->viewport()->width(), 300);
    // 120 in the design; never so narrow that a date with its time is cut off.
    const int date =
        std::max(120, ListView1->fontMetrics().horizontalAdvance(QStringLiteral("00/00/0000 00:00:00")) + 14);
    QList<int> wanted;
    for (int c = 0; c < ResultsModel::ColumnCount; ++c)
        wanted << std::max(header->sectionSizeHint(c),
                           static_cast<QAbstractItemView *>(ListView1)->sizeHintForColumn(c));
    const int size = std::max(20, ListView1->fontMetrics().horizontalAdvance(m_model->widestSizeText()) + 14);
    wanted[ResultsModel::ColSize] = std::max(wanted.at(ResultsModel::ColSize), size);
    const QList<int> widths =
        fitColumns(wanted, {20, 20, 20, 20, date, size}, {0, 0, 0, 72, date, std::max(95, size)}, total);
    for (int c = 0; c < ResultsModel::ColumnCount; ++c)
        header->resizeSection(c, widths.at(c));
}

// ---- Retrieval ----------------------------------------------------------------------------

QString TfrmSearch::GetFullFilePathFromList() const
{
    const QModelIndexList rows = ListView1->selectionModel()->selectedRows();
    if (rows.size() != 1)
        return QString();
    return QFile::decodeName(
        RetrievalSession(gVars().readDeviceLetter, selectedFile(rows.first().row())).locate());
}

CataloguedFile TfrmSearch::selectedFile(int row) const
{
    return {m_model->folderBytes(row), m_model->nameBytes(row), m_model->folderLine(row), m_model->name(row),
            m_model->mark(row)};
}

void TfrmSearch::ActCopyFileExecute()
{
    const QModelIndexList rows = ListView1->selectionModel()->selectedRows();
    if (rows.size() != 1)
        return;
    // What the command goes on with, whatever happens to the list meanwhile.
    const int row = rows.first().row();
    retrieval::copyFileCommand(this, selectedFile(row), m_model->archivePath(row));
}

void TfrmSearch::ActExecuteFileExecute()
{
    const QModelIndexList rows = ListView1->selectionModel()->selectedRows();
    if (rows.size() != 1)
        return;
    const int row = rows.first().row();
    retrieval::executeFileCommand(this, selectedFile(row), m_model->archivePath(row));
}

void TfrmSearch::ActExploreFolderExecute()
{
    const QModelIndexList rows = ListView1->selectionModel()->selectedRows();
    if (rows.size() != 1 || !exploreOpener())
        return;
    const int row = rows.first().row();
    exploreOpener()(m_model->archivePath(row), m_model->folderBytes(row), m_model->nameBytes(row));
}

void TfrmSearch::ActExportExecute()
{
    if (!ActExport->isEnabled())
        return;
    ExportRequest request;
    request.proposedName = QStringLiteral("search");
    request.rows = m_model->rowCount();
    request.columns = search::resultColumns();
    request.heading = {QStringLiteral("Ambrylog search"), search::criteriaSummary(searchUnitState().criteria),
                       QDateTime::currentDateTime()};
    request.fill = [this](TableExport &table, const std::function<bool(qint64)> &progress) {
        return search::exportResults(*m_model, table, progress);
    };
    exportCommand(this, request);
}

void TfrmSearch::ActPropretiesExecute()
{
    if (TfrmPropreties::instance())
        return;
    const QModelIndexList rows = ListView1->selectionModel()->selectedRows();
    if (rows.size() != 1)
        return;
    const int row = rows.first().row();
    auto *window = new TfrmPropreties(this);
    try {
        window->setFields(
            m_model->cellText(row, ResultsModel::ColArchive),
            m_model->cellText(row, ResultsModel::ColDirectory), m_model->cellText(row, ResultsModel::ColFile),
            m_model->cellText(row, ResultsModel::ColType), m_model->cellText(row, ResultsModel::ColDate),
            m_model->cellText(row, ResultsModel::ColSize),
            ReadArchiveValue(m_model->archivePath(row), QStringLiteral("ALocation")).trimmed());
        window->exec();
        processPendingEvents();
    } catch (const AmbryError &e) {
        delete window;
        showError(e.message(), this);
        return;
    }
    delete window;
}
