#pragma once

#include <QDateTime>
#include <QString>

namespace catalog {
class Catalog;
}

// Changing the whole catalog at once. New archives are first written to a staging folder
// beside the catalog folder (the same file system, so that a rename moves them), then put in
// place by renames. A journal beside the catalog folder, written before the first rename,
// lets the next start finish a change that a crash interrupted, so the catalog is always
// either the old one or the new one, whole.

namespace backup {

// A fresh staging folder beside the catalog folder, removed again unless released. Its name
// carries the process id, so a later start can tell a leftover from a folder still in use.
class StagingFolder
{
public:
    // kind: "restore" or "merge". Throws AmbryError when the folder cannot be made.
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
// with two renames. Takes staging over: on failure with nothing changed it is removed; on a
// failure past the point of no return the journal is left for the next start. Throws
// AmbryError in both cases. Returns where the old catalog is (keptFolder, or keptFolder
// with " (2)", " (3)"... when that name is taken).
QString swapInCatalog(const QString &catalogFolder, const QString &staging, const QString &keptFolder);

// Moves every file of staging to the same relative path in the catalog folder (never over
// an existing file), then removes staging. Takes staging over like swapInCatalog().
void moveIntoCatalog(const QString &catalogFolder, const QString &staging);

// Completes a swap or move that a crash interrupted (from its journal) and removes staging
// folders that no running process owns. Call at start, before anything reads the catalog.
// Returns a notice for the user when it finished something, else an empty text.
QString finishInterruptedChange(const catalog::Catalog &catalog);

// Tests: take the two-rename way even where the file system could exchange.
void setExchangeUnavailableForTesting(bool unavailable);
// Tests: runs at each step of a swap or move (the step's name), to stop it there.
void setSwapStepHookForTesting(void (*hook)(const char *step));

} // namespace backup
