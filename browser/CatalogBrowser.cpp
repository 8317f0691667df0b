#include "CatalogBrowser.h"

#include "ArchiveListModel.h"

#include "catalog/Catalog.h"
#include "util/gUtils.h"

#include <QElapsedTimer>

namespace browser {

void CatalogTotals::add(const ArchiveEntry &e)
{
    if (e.filesKnown)
        files += e.files;
    if (e.dirsKnown)
        folders += e.dirs;
    if (e.sizeKnown)
        bytes += e.size;
    if (e.damaged)
        ++damaged;
    ++archives;
}

bool CatalogTotals::subtract(const ArchiveEntry &e)
{
    --archives;
    if (e.damaged)
        --damaged;
    bool exact = true;
    for (const auto &[known, value, total] :
         {std::tuple{e.filesKnown, e.files, &files}, std::tuple{e.dirsKnown, e.dirs, &folders},
          std::tuple{e.sizeKnown, e.size, &bytes}}) {
        if (known)
            *total -= value;
        else
            exact = false;
    }
    return exact;
}

QString statusLine(const CatalogTotals &t, int rowCount)
{
    if (rowCount <= 0)
        return NoArchivesText;
    QString line = QStringLiteral("Archives: ") + FormatGroupedNumber(t.archives) +
                   QStringLiteral("; Files: ") + FormatGroupedNumber(t.files) +
                   QStringLiteral("; Folders: ") + FormatGroupedNumber(t.folders) +
                   QStringLiteral("; Total size: ") + FormatFileSize(t.bytes) + QStringLiteral(" (") +
                   FormatGroupedNumber(t.bytes) + QLatin1Char(')');
    if (t.damaged > 0)
        line += QStringLiteral("; Damaged: ") + FormatGroupedNumber(t.damaged);
    return line;
}

bool sortArrowUp(int column, bool flag)
{
    const bool number = column == ArchiveListModel::ColDirs || column == ArchiveListModel::ColFiles ||
                        column == ArchiveListModel::ColSize;
    return flag != number;
}

QString statusToolTip(const CatalogTotals &totals, int rowCount)
{
    QString tip = statusLine(totals, rowCount);
    if (rowCount > 0 && totals.damaged > 0)
        tip += QStringLiteral("\nDamaged counts the archives whose fields are damaged; the list reads no "
                              "record, so a search may find more.");
    return tip;
}

BrowserUnitState &browserUnitState()
{
    static BrowserUnitState state;
    return state;
}

void columnClick(int column, int *sortColumn, bool *sortFlag)
{
    if (column == *sortColumn)
        *sortFlag = !*sortFlag;
    *sortColumn = column;
}

CommandStates KeyState(int selectedRows, bool listHasFocus, bool loading)
{
    CommandStates s;
    if (loading || selectedRows < 1 || !listHasFocus)
        return s;
    s.remove = true;
    s.edit = s.viewFiles = s.freshen = selectedRows == 1;
    return s;
}

QString viewStyleText(ViewStyle style)
{
    switch (style) {
    case ViewStyle::Icon:
        return QStringLiteral("vsIcon");
    case ViewStyle::SmallIcon:
        return QStringLiteral("vsSmallIcon");
    case ViewStyle::List:
        return QStringLiteral("vsList");
    case ViewStyle::Report:
        return QStringLiteral("vsReport");
    }
    return QString();
}

bool parseViewStyle(const QString &text, ViewStyle *style)
{
    for (const ViewStyle s : {ViewStyle::Icon, ViewStyle::List, ViewStyle::Report, ViewStyle::SmallIcon}) {
        if (text == viewStyleText(s)) {
            *style = s;
            return true;
        }
    }
    return false;
}

ViewStyle nextViewStyle(ViewStyle style)
{
    switch (style) {
    case ViewStyle::Icon:
        return ViewStyle::SmallIcon;
    case ViewStyle::SmallIcon:
        return ViewStyle::List;
    case ViewStyle::List:
        return ViewStyle::Report;
    case ViewStyle::Report:
        return ViewStyle::Icon;
    }
    return ViewStyle::Icon;
}

int AddArchive(ArchiveListModel &model, CatalogTotals &totals, const QString &path, bool announce)
{
    const std::optional<ArchiveEntry> entry = readArchiveEntry(path);
    if (!entry)
        return -1;
    totals.add(*entry);
    return announce ? model.appendNow(*entry) : model.append(*entry);
}

CatalogLoader::CatalogLoader(ArchiveListModel &model, CatalogTotals &totals)
    : m_model(model), m_totals(totals)
{}

bool CatalogLoader::ScanArchive(const catalog::Catalog &catalog)
{
    m_totals = CatalogTotals();
    m_model.clear();
    m_model.beginFill();
    m_lastFlush = 0;
    m_unlisted.clear();
    struct EndFill
    {
        ArchiveListModel &model;
        ~EndFill() { model.endFill(); }
    } endFill{m_model};

    // Rows reach the views a batch at a time: one announcement per row would make every view
    // lay out the whole list again for each archive.
    static QElapsedTimer clock;
    if (!clock.isValid())
        clock.start();
    return catalog.walk(
        [this](const QString &path) {
            if (!(m_alreadyListed && m_alreadyListed(path))) {
                AddArchive(m_model, m_totals, path);
                m_progress.step();
            }
            if (clock.elapsed() - m_lastFlush >= 100) {
                m_model.flush();
                m_lastFlush = clock.elapsed();
            }
            return true;
        },
        m_progress, &m_unlisted);
}

} // namespace browser
