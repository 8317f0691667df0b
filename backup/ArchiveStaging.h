#pragma once

#include "CatalogBackup.h"
#include "catalog/ArchiveWriter.h"
#include "catalog/Catalog.h"
#include "catalog/CatalogLock.h"
#include "util/AmbryError.h"

#include <QSet>
#include <QString>

#include <memory>

// Archives coming into the catalog from elsewhere (a merged zip, an imported catalog): what
// the catalog holds that they must not repeat, and new archives written beside the catalog
// and moved in together.

namespace catalog {
class StagingFolder;
}

namespace backup {

// Runs change while holding the catalog lock; waiting for another writer lets progress show.
template <class Change>
auto underCatalogLock(const catalog::Catalog &catalog, const Progress &progress, Change &&change)
{
    CatalogLock lock = catalog.lock();
    if (!lock.acquire(CatalogLock::waitMs(), progress))
        throw AmbryError(lock.errorText());
    return change();
}

// A mark as the catalog's lookup compares it: upper case, then without regard to case.
QString markKey(const QString &mark);

// What the catalog holds, read while holding the catalog lock and kept up to date with what
// comes in.
struct CatalogState
{
    QSet<QString> names; // archive file names, folded
    QSet<QString> marks; // markKey()
    QSet<int> numbers;   // valid, positive
    int highest = 0;

    static CatalogState read(const catalog::Catalog &catalog);
    // The mark, trimmed, when no archive carries it; else the first of "mark (2)", "mark (3)",
    // ... that none does. Marks longer than an archive holds lose their end first.
    QString freeMark(const QString &mark) const;
    void addMark(const QString &mark) { marks.insert(markKey(mark)); }
};

// New archives saved as an added disc is saved (named by their records' checksum, numbered
// after the catalog's highest number, with a mark no archive carries), but into a staging
// folder beside the catalog; commit() moves them in together. A failure or Cancel before that
// leaves the catalog as it was. The caller holds the catalog lock from construction until
// after commit().
class NewArchiveStaging
{
public:
    // kind names the staging folder ("import"). Throws AmbryError when it cannot be made.
    // Without write, nothing is written: stage() only tells what it would do (a dry run).
    NewArchiveStaging(const catalog::Catalog &catalog, const char *kind, bool write = true);
    ~NewArchiveStaging();
    NewArchiveStaging(const NewArchiveStaging &) = delete;
    NewArchiveStaging &operator=(const NewArchiveStaging &) = delete;

    struct Staged
    {
        bool present = false; // the catalog, or this staging, holds an archive of these records
        QString fileName;     // "<checksum>.dat"
        QString mark;         // present: the mark of the archive that holds them; else the new one's
        int number = 0;
    };
    // Stages an archive of the records with the fields given, but for the mark, which is made
    // free, and the number, which is the next one; a checksum already archived stages nothing.
    // Throws AmbryError when the archive cannot be written.
    Staged stage(const QByteArray &records, ArchiveFields fields);
    int stagedCount() const { return m_count; }

    // Moves the staged archives into the catalog folder and records the last number given.
    void commit();

private:
    catalog::Catalog m_catalog;
    std::unique_ptr<catalog::StagingFolder> m_folder;
    CatalogState m_state;
    QHash<QString, QString> m_stagedMarks; // by file name, folded
    int m_next = 0;
    int m_last = 0;
    int m_count = 0;
};

} // namespace backup
