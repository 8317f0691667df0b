#pragma once

// The catalog browser's lists taken out as tables (see util/TableExport.h): the archives of the
// catalog, and the entries of a disc's folder as the Explore window shows them (folders first)
// with, when asked, every folder's entries right after its own row (also `ambrylog-cli ls`).

#include "ArchiveListModel.h"
#include "DiscTree.h"

#include "util/TableExport.h"

#include <Qt>

#include <functional>

namespace browser {

// The browser's columns as shown (the file name column stays out).
QList<TableExport::Column> archiveExportColumns();
// Every row in the order shown: raw counts and ISO dates in a CSV ("Unknown" cells empty), the
// window's texts on a page. progress(rowsDone) is asked now and then; false stops there.
bool exportArchives(const ArchiveListModel &model, TableExport &table,
                    const std::function<bool(qint64)> &progress = {});

struct ListedEntry
{
    // The path below the folder listed ("/" between names; a folder's ends in "/").
    QString path;
    bool folder = false;
    bool sizeKnown = false, dateKnown = false;
    qint64 size = 0;  // a folder's: the total of everything below it
    int32_t date = 0; // a folder's: the newest date below it
    QString type;
    qint64 files = 0, folders = 0; // below a folder
};

// Hands each entry to each until it returns false; false then.
bool walkEntries(const DiscTree &tree, uint32_t folder, bool recursive, int sortColumn, Qt::SortOrder order,
                 const std::function<bool(const ListedEntry &)> &each);
// One entry as a listing shows it alone (ls of a file's path).
ListedEntry listedFile(const DiscTree &tree, uint32_t folder, int file);

// Name (the path below the folder when recursive), Size, Date Modified, Type.
QList<TableExport::Column> entryExportColumns(bool recursive);
// The heading's subject: the disc's mark and the folder.
QString folderExportSubject(const DiscTree &tree, uint32_t folder, bool recursive);
// One entry as a table row: raw values in a CSV, as the window shows them on a page.
void exportEntry(TableExport &table, const ListedEntry &e);

} // namespace browser
