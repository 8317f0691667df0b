#pragma once

#include "ZipReader.h"
#include "catalog/Catalog.h"
#include "util/OutputFile.h"
#include "util/Progress.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <utility>

// Backup of the catalog to a zip file, restore of the catalog from one, and merge of a zip's
// archives into the catalog. Widget-free: the main window and ambrylog-cli both drive these
// and show the texts they return.

namespace catalog {
class StagingFolder;
}

namespace backup {

// A long step shows through progress what it is doing ("Writing", "Checking", "Reading", and
// the catalog lock's wait) with done of total units, and asks it between blocks whether to
// stop (stopRequested or the cancel flag), which leaves everything as it was.

enum class Outcome { Done, Cancelled, Failed };

// A long list in a closing message: a blank line, the heading, the first few items and how
// many there are in all; empty for no items.
QString listText(const QString &heading, const QStringList &items, qsizetype shown = 10);

// The compression level of backups (zlib's scale, 1 fastest to 9 smallest).
inline constexpr int kBackupCompressionLevel = 6;

// Why an archive was put in as it is: the reader found it damaged.
struct DamagedArchive
{
    QString name; // relative path in the zip
    QString reason;
};

struct BackupResult
{
    Outcome outcome = Outcome::Failed;
    QString error;                 // when Failed
    bool nothingToBackUp = false;  // Failed because the catalog holds no archive
    int archives = 0;              // archives in the zip
    QStringList skipped;           // archives whose path cannot be stored as a zip entry name
    QStringList unlisted;          // catalog folders that could not be listed, with the reason
    QList<DamagedArchive> damaged; // backed up as they are
    // What was left out or found damaged, for the user; empty when nothing was.
    QString summary() const;
    // The command line's exit code 3.
    bool hasNotes() const { return !skipped.isEmpty() || !unlisted.isEmpty() || !damaged.isEmpty(); }
};

// Writes every archive of the catalog (the catalog walk) to zipPath: under its path relative
// to the catalog folder, with its modification time, and a comment that names the program,
// the date and the number of archives. Written by the rules of OutputFile (a link's target is
// written, what is no regular file is refused, "-" is standard output through standardOutput):
// to a temporary file beside zipPath, read back with every entry's CRC checked, then renamed
// over zipPath; a failure or Cancel leaves any earlier file of that name as it was and no
// temporary file behind.
BackupResult backupCatalog(const catalog::Catalog &catalog, const QString &zipPath, const Progress &progress,
                           const QDateTime &now = QDateTime(),
                           const OutputFile::StandardOutput &standardOutput = {});

// The name the save dialog proposes: "Ambrylog backup YYYY-MM-DD.zip".
QString proposedBackupName(const QDate &date);
// Where the file dialogs open: the documents folder when it exists (a fresh home may have
// none), otherwise the home folder.
QString backupFolder(const QString &documents, const QString &home);

// Restore in two steps: prepare() checks the zip and unpacks it into a staging folder beside
// the catalog, then the caller asks the user, then commit() swaps the catalog. Dropping the
// job without commit() leaves the catalog as it was.
class RestoreJob
{
public:
    RestoreJob(catalog::Catalog catalog, QString zipPath, ZipLimits limits = ZipLimits());
    ~RestoreJob();

    Outcome prepare(const Progress &progress);
    // progress shows a wait for another writer of the catalog. The old catalog is kept under
    // the name the question gave (or, when now is given, the name for that moment).
    Outcome commit(const Progress &progress = Progress(), const QDateTime &now = QDateTime());

    const QString &error() const { return m_error; }
    int archiveCount() const { return m_archives; }
    const QStringList &refused() const { return m_refused; }
    const QList<DamagedArchive> &damaged() const { return m_damaged; }
    // Where the old catalog will be (before commit) or was kept (after).
    QString keptFolder() const { return m_kept; }
    // The question for the confirmation box.
    QString question() const;
    // "Restored N archives." and what was refused or found damaged.
    QString summary() const;
    // Entries were refused or damaged archives restored: the command line's exit code 3.
    bool hasNotes() const { return !m_refused.isEmpty() || !m_damaged.isEmpty(); }

private:
    catalog::Catalog m_catalog;
    QString m_zip;
    ZipLimits m_limits;
    std::unique_ptr<catalog::StagingFolder> m_staging;
    QString m_error, m_kept;
    int m_archives = 0;
    QStringList m_refused;
    QList<DamagedArchive> m_damaged;
};

struct MergeResult
{
    Outcome outcome = Outcome::Failed;
    QString error;
    QStringList added;                          // relative paths, in the zip's order
    QStringList present;                        // skipped, each with why: "x.dat (already in ...)"
    QList<std::pair<QString, QString>> placed;  // added under another name: entry, file name
    QList<std::pair<QString, QString>> renamed; // marks: old, new
    QList<std::pair<int, int>> renumbered;      // numbers: old, new
    QStringList refused;                        // entries that are no archives
    QList<DamagedArchive> damaged;              // added as they are
    QString summary() const;
    bool hasNotes() const { return !refused.isEmpty() || !damaged.isEmpty(); }
};

// Adds the zip's archives to the catalog by the rules of ArchiveIntake: by content
// (the records' checksum), the same archive twice taken once, every skip named with its reason,
// marks and numbers in use changed. Staged first, then moved in; a failure or Cancel before the
// move changes nothing.
MergeResult mergeArchives(const catalog::Catalog &catalog, const QString &zipPath, const Progress &progress,
                          const ZipLimits &limits = ZipLimits());

} // namespace backup
