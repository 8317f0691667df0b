#pragma once

// The catalog browser's rules without a window: the totals and the status line, the sort
// state and its column-click rule, the command enabling rule, the view styles and the
// loading of the list. The window (browser/gui/fmArchive) and `ambrylog-cli list` use them.

#include "ArchiveEntry.h"
#include "catalog/Catalog.h"
#include "util/Progress.h"

#include <QString>

#include <functional>

namespace browser {

class ArchiveListModel;

// Running totals over the listed archives.
struct CatalogTotals
{
    qint64 archives = 0, files = 0, folders = 0, bytes = 0;
    qint64 damaged = 0;

    // What a listed row adds: counts that did not convert are left out.
    void add(const ArchiveEntry &entry);
    // What a removed row takes away, files, folders and bytes in that order. False when a
    // count did not convert (the totals are then wrong and the list must be counted again);
    // the subtractions made stay made.
    bool subtract(const ArchiveEntry &entry);
};

// "Archives: 3; Files: 1,234; Folders: 56; Total size: 1.13 KB (1,152)", with
// "; Damaged: N" when N > 0; "There are no archives." for an empty list.
QString statusLine(const CatalogTotals &totals, int rowCount);
inline const QString LoadingText = QStringLiteral("Loading...");
inline const QString NoArchivesText = QStringLiteral("There are no archives.");

// What outlives one opening of the browser, once per program run.
struct BrowserUnitState
{
    CatalogTotals totals;
    int SortColumn = 1; // "Archived date"
    bool SortFlag = true;
};
BrowserUnitState &browserUnitState();

// A click on a column header: the same column again inverts the flag; the flag is otherwise
// kept, also when the column changes.
void columnClick(int column, int *sortColumn, bool *sortFlag);
// Which way the header's sort arrow points: up where the rows run A to Z, oldest or smallest
// first. With the flag set the numbers run largest first, the texts and dates the other way.
bool sortArrowUp(int column, bool flag);

// The status line's tool tip: the whole line, and what "Damaged" counts.
QString statusToolTip(const CatalogTotals &totals, int rowCount);

// Which row commands are enabled.
struct CommandStates
{
    bool remove = false, edit = false, viewFiles = false, freshen = false;
};
// One selected row and the focus in the list: all four; more than one: remove only;
// otherwise none. While the list loads, none.
CommandStates KeyState(int selectedRows, bool listHasFocus, bool loading = false);

// The four view styles, in the order ActViewToggle cycles through them.
enum class ViewStyle { Icon, SmallIcon, List, Report };
QString viewStyleText(ViewStyle style); // "vsIcon", "vsSmallIcon", "vsList", "vsReport"
// The stored text as the first load reads it: compared case-sensitively, in the order
// "vsIcon", "vsList", "vsReport", "vsSmallIcon"; false for any other text.
bool parseViewStyle(const QString &text, ViewStyle *style);
ViewStyle nextViewStyle(ViewStyle style);

// The catalog folder walk of the list, in the order the search meets the archives. Each
// archive's field block is read (never its records), added to the model and the totals.
class CatalogLoader
{
public:
    CatalogLoader(ArchiveListModel &model, CatalogTotals &totals);

    // The walk's: the events run after every archive and between folders, the abort flag and
    // stopRequested are looked at once per folder, after its own archives have been read; a
    // step is done once per archive listed.
    void setProgress(const Progress &progress) { m_progress = progress; }
    // An archive that is already listed (one the add command listed during the load).
    void setAlreadyListed(std::function<bool(const QString &path)> f) { m_alreadyListed = std::move(f); }

    // Empties the list and the totals and lists every archive of the catalog. False when the
    // walk stopped early (abort flag, or the program is ending).
    bool ScanArchive(const catalog::Catalog &catalog);
    // The folders the last ScanArchive could not list, with the reason.
    const UnreadableArchives &unlisted() const { return m_unlisted; }

private:
    ArchiveListModel &m_model;
    CatalogTotals &m_totals;
    Progress m_progress;
    std::function<bool(const QString &)> m_alreadyListed;
    qint64 m_lastFlush = 0;
    UnreadableArchives m_unlisted;
};

// Reads one archive and adds it to the model and the totals (AddArchive without the
// selection). Returns the new row; -1 when the file is gone, or while the model fills unless
// announce is set (the add command announces its row at once, also during a load).
int AddArchive(ArchiveListModel &model, CatalogTotals &totals, const QString &path, bool announce = false);

} // namespace browser
