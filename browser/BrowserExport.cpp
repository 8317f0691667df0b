#include "BrowserExport.h"

#include "DiscTreeModels.h"

#include "catalog/DosDateTime.h"
#include "search/DateText.h"
#include "util/gUtils.h"

namespace browser {
namespace {

constexpr int ExportedArchiveColumns[] = {ArchiveListModel::ColArchive,  ArchiveListModel::ColDate,
                                          ArchiveListModel::ColLocation, ArchiveListModel::ColDirs,
                                          ArchiveListModel::ColFiles,    ArchiveListModel::ColSize,
                                          ArchiveListModel::ColNote};

void numberCell(TableExport &table, bool known, qint64 value)
{
    if (known)
        table.cell(value);
    else
        table.emptyCell();
}

ListedEntry listedFolder(const DiscTree &tree, uint32_t f, const QString &prefix)
{
    const DiscTree::Folder &node = tree.folder(f);
    return ListedEntry{prefix + tree.folderNameText(f) + QLatin1Char('/'),
                       true,
                       true,
                       node.newestValid,
                       node.bytes,
                       node.newest,
                       FolderTypeText,
                       node.filesBelow,
                       node.foldersBelow};
}

ListedEntry listedFileBelow(const DiscTree &tree, uint32_t f, int i, const QString &prefix)
{
    const DiscTree::File &file = tree.file(f, uint32_t(i));
    return ListedEntry{prefix + tree.fileNameText(file),
                       false,
                       (file.flags & DiscTree::SizeValid) != 0,
                       (file.flags & DiscTree::DateValid) != 0,
                       file.size,
                       file.date,
                       tree.fileTypeText(file),
                       0,
                       0};
}

bool walk(const DiscTree &tree, uint32_t folder, const QString &prefix, bool recursive, int sortColumn,
          Qt::SortOrder order, const std::function<bool(const ListedEntry &)> &each)
{
    FolderListModel entries;
    entries.setTree(&tree);
    entries.sort(sortColumn, order);
    entries.setFolder(folder);
    for (int r = 0; r < entries.rowCount(); ++r) {
        const FolderListModel::Entry e = entries.entry(r);
        if (e.kind == EntryKind::Folder) {
            const ListedEntry listed = listedFolder(tree, e.folder, prefix);
            if (!each(listed))
                return false;
            if (recursive && !walk(tree, e.folder, listed.path, true, sortColumn, order, each))
                return false;
        } else if (!each(listedFileBelow(tree, folder, e.file, prefix))) {
            return false;
        }
    }
    return true;
}

} // namespace

QList<TableExport::Column> archiveExportColumns()
{
    QList<TableExport::Column> columns;
    for (const int c : ExportedArchiveColumns)
        columns.append({columnCaption(c), c == ArchiveListModel::ColDirs || c == ArchiveListModel::ColFiles ||
                                              c == ArchiveListModel::ColSize});
    return columns;
}

bool exportArchives(const ArchiveListModel &model, TableExport &table,
                    const std::function<bool(qint64)> &progress)
{
    const int rows = model.rowCount();
    for (int r = 0; r < rows; ++r) {
        if (progress && r % 256 == 0 && !progress(r))
            return false;
        if (table.wantsShownText()) {
            for (const int c : ExportedArchiveColumns)
                table.cell(model.cellText(r, c));
        } else {
            const ArchiveEntry e = model.entry(r);
            table.cell(e.mark);
            if (e.dateKnown)
                table.cell(dosdate::isoText(e.date));
            else
                table.emptyCell();
            table.cell(e.location);
            numberCell(table, e.dirsKnown, e.dirs);
            numberCell(table, e.filesKnown, e.files);
            numberCell(table, e.sizeKnown, e.size);
            table.cell(e.note);
        }
        table.endRow();
    }
    if (progress)
        progress(rows);
    return true;
}

bool walkEntries(const DiscTree &tree, uint32_t folder, bool recursive, int sortColumn, Qt::SortOrder order,
                 const std::function<bool(const ListedEntry &)> &each)
{
    return walk(tree, folder, QString(), recursive, sortColumn, order, each);
}

ListedEntry listedFile(const DiscTree &tree, uint32_t folder, int file)
{
    return listedFileBelow(tree, folder, file, QString());
}

QList<TableExport::Column> entryExportColumns(bool recursive)
{
    QList<TableExport::Column> columns;
    for (int c = 0; c < FolderListModel::ColumnCount; ++c)
        columns.append(
            {c == FolderListModel::ColName && recursive ? QStringLiteral("Path") : entryColumnCaption(c),
             c == FolderListModel::ColSize});
    return columns;
}

QString folderExportSubject(const DiscTree &tree, uint32_t folder, bool recursive)
{
    return QStringLiteral("%1, %2%3")
        .arg(tree.mark(), tree.folderPathText(folder),
             recursive ? QStringLiteral(" and everything below it") : QString());
}

void exportEntry(TableExport &table, const ListedEntry &e)
{
    const bool shown = table.wantsShownText();
    table.cell(e.path);
    if (shown)
        table.cell(e.sizeKnown ? FormatGroupedNumber(e.size) : QString());
    else
        numberCell(table, e.sizeKnown, e.size);
    if (!e.dateKnown)
        table.emptyCell();
    else
        table.cell(shown ? search::formatPackedDate(e.date) : dosdate::isoText(e.date));
    table.cell(e.type);
    table.endRow();
}

} // namespace browser
