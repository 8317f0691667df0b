#pragma once

#include <QDateTime>
#include <QString>

// Changing the whole catalog at once. New archives are first written to a staging folder
// beside the catalog folder (the same file system, so that a rename moves them), then put in
// place by renames. A journal beside the catalog folder, written before the first rename,
// lets the next writer finish a change that a crash interrupted, so the catalog is always
// either the old one or the new one, whole. Everything here runs under the catalog lock.

namespace catalog {

class Catalog;

// A fresh staging folder beside the catalog folder, removed again unless released. Its name
// carries the process id, so that a later writer can tell a leftover from a folder in use.
class StagingFolder
{
public:
    // kind: "restore" or "merge" (or another change's name). Throws AmbryError when the
    // folder cannot be made.
    StagingFolder(const QString &catalogFolder, const char *kind);
    ~StagingFolder();
    StagingFolder(const StagingFolder &) = delete;
    StagingFolder &operator=(const StagingFolder &) = delete;

    // Ends in "/".
    const QString &path() const { return m_path; }
    // The folder now belongs to the catalog (or its journal): it is not removed.
    void release() { m_path.clear(); }

private:
    QString m_path;
};

// "Archive before restore YYYY-MM-DD HH-MM-SS".
QString keptFolderName(const QDateTime &when);

// Makes staging the catalog folder and keeps the old catalog as keptFolder (a full path
// beside it). Exchanges the two folders in one step where the file system can; elsewhere
// with two renames. The staging folder's own lock file is held from before the swap to the
// end, so a writer that waited for the old folder's lock and finds the new one in place waits
// on until the swap is whole. Takes staging over: on failure with nothing changed it is
// removed; on a failure past the point of no return the journal is left for the next writer.
// Throws AmbryError in both cases. Returns where the old catalog is (keptFolder, or keptFolder
// with " (2)", " (3)"... when that name is taken). The catalog folder may be reached through a
// symbolic link: the folder it leads to is swapped and the link stays.
QString swapInCatalog(const QString &catalogFolder, const QString &staging, const QString &keptFolder);

// Moves every file of staging to the same relative path in the catalog folder (never over
// an existing file), then removes staging. Takes staging over like swapInCatalog().
void moveIntoCatalog(const QString &catalogFolder, const QString &staging);

// What a writer killed in the middle of a change left, cleared by the next writer as the first
// thing it does under the lock (CatalogLock does it): the change its journal names is finished,
// staging folders whose process is gone and the journal's temporary files are removed.
// Returns a notice for the user when it finished a change, else an empty text.
QString clearInterruptedChange(const QString &catalogFolder);

// A catalog folder that is missing because a restore was killed between moving the old catalog
// aside and moving the new one in is put in place, under the new catalog's own lock (the
// catalog's lock file went with the old folder). True when it did so. CatalogLock calls it
// when the catalog folder is missing.
bool finishSwapOfMissingFolder(const QString &catalogFolder);

// Takes the catalog lock without waiting (so clearing what an interrupted change left) and
// returns its notice; empty when there was nothing to finish or another writer holds the lock
// (it finishes its own change). For the program's start, before anything reads the catalog.
QString finishInterruptedChange(const Catalog &catalog);

// The folder a catalog path leads to: the target of a symbolic link (followed to the end),
// else the path itself; without a trailing "/".
QString catalogFolderBehindLinks(const QString &catalogFolder);

// Tests: take the two-rename way even where the file system could exchange.
void setExchangeUnavailableForTesting(bool unavailable);
// Tests: runs at each step of a swap or move (the step's name), to stop it there.
void setSwapStepHookForTesting(void (*hook)(const char *step));

} // namespace catalog
