#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

// The catalog: every file matching the mask ("*.dat", any letter case) in the catalog
// folder and, at any depth, below it. Nothing is cached; every call reads the files afresh.

// Called with the full path of each archive; return false to stop the walk.
using ArchiveVisitor = std::function<bool(const QString &path)>;

// An archive a reader of the whole catalog could not open or read (no permission, an I/O
// error), or a folder it could not list: it is skipped, and the caller tells the user.
struct UnreadableArchive
{
    QString path;
    QString reason;
};
using UnreadableArchives = QList<UnreadableArchive>;
// The user's message for them: the first few paths with their reasons and how many in all;
// empty when there are none.
QString unreadableArchivesMessage(const UnreadableArchives &list, int maxPaths = 5);

// The one walk every reader of the catalog shares. A folder's own files come first, by
// name (hidden ones included), then its subfolders by name, depth first. A symbolic link
// to a file counts like the file; a symbolic link to a folder is never entered, so a link
// cycle cannot trap the walk. Folders that cannot be listed are skipped, and noted in unlisted
// (with the reason) when given; a folder that is gone is not. The mask matches whole names
// without regard to letter case ("*" and "?"). Returns false when the visitor stopped the walk.
bool forEachArchive(const QString &folder, const QString &mask, const ArchiveVisitor &visit,
                    UnreadableArchives *unlisted = nullptr);

// One folder of that walk, for readers that walk with progress and cancelling of their own
// and must still meet the archives in the same order: the folder's archives and its
// subfolders (paths ending in "/"), each by name, with the same rules for links, hidden
// entries and the mask.
struct CatalogFolderListing
{
    QStringList archives;
    QStringList subfolders;
    QString error; // why the folder could not be listed (wholly); empty when listed or gone
};
CatalogFolderListing listCatalogFolder(const QString &folder, const QString &mask);

// Whether a file name matches a mask such as "*.dat" without regard to letter case.
bool matchesArchiveMask(const QString &name, const QString &mask);

// The value of an archive field, untrimmed; empty when missing. Throws AmbryError when
// the file cannot be read.
QString ReadArchiveValue(const QString &path, const QString &key);

// Whether an archive in the tree carries the mark, compared without regard to letter case
// and as given (not trimmed). Archives whose mark is blank are skipped; a damaged archive
// counts with whatever mark it still shows. Archives that cannot be read are skipped and
// added to *unreadable (when given): the answer may then miss their marks.
bool MarkExists(const QString &mark, const QString &folder, const QString &mask,
                UnreadableArchives *unreadable = nullptr);
// Every archive in the tree that carries the mark, compared as MarkExists compares; archives
// that cannot be read are skipped.
QStringList archivesWithMark(const QString &mark, const QString &folder, const QString &mask);

// The highest valid, positive "ANumber" in the tree (signed 32-bit), 0 when there is none.
// Damaged and unreadable archives as for MarkExists.
int GetHighestArchiveNumber(const QString &folder, const QString &mask,
                            UnreadableArchives *unreadable = nullptr);

// The number the next saved archive gets: the highest in the catalog plus one, else
// "LastArchiveNumber" plus one (1 when that is missing or not a number).
int nextArchiveNumber(const QString &catalogFolder, UnreadableArchives *unreadable = nullptr);

// Parses a signed 32-bit decimal number (optional sign, digits only).
bool parseArchiveInt(QStringView text, int *value);
