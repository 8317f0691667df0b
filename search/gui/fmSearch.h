#pragma once

#include <QByteArray>
#include <QPoint>
#include <QString>

#include <functional>

#include "search/RetrievalSession.h"
#include "search/SearchEngine.h"
#include "search/SearchNotices.h"
#include "util/gui/ListWindow.h"

class QAction;
class QCheckBox;
class QComboBox;
class QDateEdit;
class QLabel;
class QLineEdit;
class QMenu;
class QSpinBox;
class QToolButton;
class QTreeView;
namespace search {
class ResultsModel;
} // namespace search

// Opens the search window modally: all archives for an empty mark, otherwise only the archives
// with that mark (the search then starts by itself). Returns the window's modal result; when a
// search window is already open it only sets the mark and returns 0.
int ShowSearchWindow(const QString &mark);

// Opens a found file's folder in the window that shows a disc as folders, which lives a floor
// above; the program installs it at start. Without one "Explore Folder" stays hidden.
using ExploreOpener =
    std::function<void(const QString &archivePath, const QByteArray &folderLine, const QByteArray &name)>;
void setExploreOpener(ExploreOpener opener);

// What outlives one opening of the search window: the restricting mark and the sort.
struct SearchUnitState
{
    QString OnlyMark;
    // The criteria the engine reads, with the date and size bounds last computed.
    search::SearchCriteria criteria;
    bool CancelRequested = false;
    int SortColumn = 1;        // "Directory"
    bool SortAscending = true; // the column's own meaning: "Size" sorts largest first
    QPoint LastMousePos;
    search::SearchNotices notices;
};
SearchUnitState &searchUnitState();

// instance() is the one search window while it exists (also while ShowSearchWindow shows it).
class TfrmSearch : public SingleListWindow<TfrmSearch>
{
    Q_OBJECT
public:
    explicit TfrmSearch(QWidget *parent = nullptr);
    ~TfrmSearch() override;

    bool isSearching() const { return m_running; }
    search::ResultsModel *results() const { return m_model; }
    QTreeView *resultsView() const { return ListView1; }
    bool advancedMode() const;

    // The file behind the selected row on the read device: its root, the folder line with "/"
    // for "\", and the name as the archive stores it. Empty when no row is selected or the
    // drive holds no medium with a file system.
    QString GetFullFilePathFromList() const;

public slots:
    void ActGoExecute();
    void ActAdvancedExecute();
    void ActCopyFileExecute();
    void ActExecuteFileExecute();
    void ActPropretiesExecute();
    void ActExploreFolderExecute();
    void ActExportExecute();
    void ListView1ColumnClick(int column);

protected:
    bool event(QEvent *e) override;
    bool eventFilter(QObject *watched, QEvent *e) override;
    void showEvent(QShowEvent *e) override;
    void resizeEvent(QResizeEvent *e) override;
    void FormCloseQuery() override;

private:
    void buildTopBar();
    void buildAdvancedPanel();
    void buildResults();
    void buildActions();
    void FormCreate();
    void FormActivate();
    bool FormKeyUp(QObject *watched, QKeyEvent *key);
    bool FormKeyPress(QObject *watched, QKeyEvent *key);
    void SearchArchive(const catalog::Catalog &catalog);
    void EnableSearchControls(bool enabled);
    void DrawResults();
    void showDamagedList();
    void DrawSpeedButtonState();
    void KeyState();
    void DateChange();
    void SizeChange();
    void chkDateClick();
    void chkSizeClick();
    void edtSizeExit();
    // The criteria controls into the unit's criteria, with the simple search's preferences.
    void readCriteria();
    // Shows why the text cannot be searched, or hides the line; true when it can.
    bool checkSearchText();
    void ListView1DblClick(const QModelIndex &index);
    void sizeColumns();
    CataloguedFile selectedFile(int row) const;

    // Top bar, and under it why the search text cannot be searched
    QWidget *Panel1;
    QLabel *lblTextProblem;
    QLabel *lblDela;
    QLineEdit *edtSearch;
    QToolButton *btnGo;
    QToolButton *btnAdvanced;
    QToolButton *btnCopyFile;
    // Advanced panel
    QWidget *pnlAdvanced;
    QCheckBox *chkMarked;
    QCheckBox *chkDir;
    QCheckBox *chkFile;
    QCheckBox *chkType;
    QCheckBox *chkCase;
    QCheckBox *chkAccents;
    QComboBox *cmbMatch;
    QCheckBox *chkDate;
    QDateEdit *dtpFrom;
    QDateEdit *dtpTo;
    QCheckBox *chkSize;
    QComboBox *cmbSize;
    QLineEdit *edtSize;
    QSpinBox *updSize;
    QComboBox *cmbMultipler;
    // Results
    QTreeView *ListView1;
    search::ResultsModel *m_model;
    QMenu *PopupMenu1;
    // Actions
    QAction *ActGo;
    QAction *ActAdvanced;
    QAction *ActCopyFile;
    QAction *ActExecuteFile;
    QAction *ActPropreties;
    QAction *ActExploreFolder;
    QAction *ActExport;

    bool m_running = false;
    bool m_cancelled = false;          // the last search was cancelled
    search::SearchProblems m_problems; // what the last search could not read
    QLabel *lblDamaged = nullptr;      // beside the status line: the archives it could not read
    bool m_controlsEnabled = true; // the criteria controls, off during a search
    bool m_advancedMode = false;
    bool m_activatedOnce = false;
    bool m_leftForOwnWindow = false;
};
