#pragma once

#include "browser/CatalogBrowser.h"
#include "util/gui/ListWindow.h"

#include <QPoint>
#include <QSet>
#include <QString>

#include <vector>

class QAbstractItemView;
class QAction;
class QActionGroup;
class QItemSelectionModel;
class QLabel;
class QListView;
class QMenu;
class QTimer;
class QToolButton;
class QTreeView;
class QWidget;
namespace browser {
class ArchiveListModel;
} // namespace browser

// Opens the catalog browser modally and destroys it when it closes; returns its modal result,
// or 0 at once when a browser is already open.
int ShowArchiveWindow();

// The catalog browser: every archive as one row with the totals in the status bar, four view
// styles over one model and one selection, and the commands on the rows.
class TfrmArchive : public SingleListWindow<TfrmArchive>
{
    Q_OBJECT
public:
    explicit TfrmArchive(QWidget *parent = nullptr);
    ~TfrmArchive() override;

    browser::ArchiveListModel *model() const { return m_model; }
    QItemSelectionModel *selection() const { return m_selection; }
    // The view the current style shows: the icon/list view or the details view.
    QAbstractItemView *currentView() const;
    browser::ViewStyle viewStyle() const { return m_style; }
    bool isLoading() const { return m_loading; }

public slots:
    void ActAddExecute();
    void ActEditExecute();
    void ActDeleteExecute();
    void ActFreshenCDExecute();
    void ActRefreshCatalogExecute();
    void ActViewArchiveFilesExecute();
    void ActExploreExecute();
    void ActExportExecute();
    void ActIconExecute();
    void ActSmallIconExecute();
    void ActListExecute();
    void ActReportExecute();
    void ActViewToggleExecute();
    void ListView1ColumnClick(int column);
    void KeyState();

protected:
    bool eventFilter(QObject *watched, QEvent *e) override;
    void showEvent(QShowEvent *e) override;
    void resizeEvent(QResizeEvent *e) override;
    void FormCloseQuery() override;

private:
    void buildActions();
    void buildTitleStrip();
    void buildList();
    void buildMenu();
    void TimScanTimer();
    bool ScanArchive(const catalog::Catalog &catalog);
    void DrawResults();
    void sortList();
    void SetListViewStyle(const QString &valueName, const QString &styleText, browser::ViewStyle style);
    void applyViewStyle(browser::ViewStyle style);
    QAction *styleAction(browser::ViewStyle style) const;
    void sizeColumns();
    bool FormKeyUp(QObject *watched, QKeyEvent *key);
    void setRedraw(bool on);
    std::vector<int> selectedRows() const;
    int firstSelectedRow() const;

    QWidget *Panel1;
    QLabel *lblDela;
    QToolButton *btnViewToggle;
    QToolButton *btnFreshenCD;
    QToolButton *btnAdd;
    QToolButton *btnEdit;
    QToolButton *btnRemove;
    QToolButton *btnExplore;
    QListView *ListView1;
    QTreeView *ListView1Details;
    browser::ArchiveListModel *m_model;
    QItemSelectionModel *m_selection;
    QMenu *PopupMenu1;
    QTimer *TimScan;

    QAction *ActAdd;
    QAction *ActEdit;
    QAction *ActDelete;
    QAction *ActFreshenCD;
    QAction *ActRefreshCatalog;
    QAction *ActList;
    QAction *ActIcon;
    QAction *ActSmallIcon;
    QAction *ActReport;
    QAction *ActViewToggle;
    QAction *ActViewArchiveFiles;
    QAction *ActExplore;
    QAction *ActExport;
    QActionGroup *m_viewItems;
    QAction *SmallIcon1;
    QAction *Icon1;
    QAction *List1;
    QAction *Details1;

    browser::ViewStyle m_style = browser::ViewStyle::Icon;
    bool m_loadAbort = false;
    bool m_loading = false;
    bool m_firstLoadDone = false;
    bool m_busy = false; // a remove or an edit is running
    QPoint m_lastMousePos;
    QSet<QString> m_listedByAdd; // archives the add command listed during a load
};
