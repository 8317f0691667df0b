#pragma once

#include "CatalogBackup.h"
#include "catalog/ArchiveWriter.h"
#include "catalog/Catalog.h"
#include "catalog/CatalogLock.h"
#include "util/AmbryError.h"

#include <QByteArray>
#include <QHash>
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
// comes in. Damaged archives count with the mark and number they still show.
struct CatalogState
{
    QHash<QString, QString> names; // archive file names, folded -> where (its path, or a label)
    QSet<QString> marks;           // markKey()
    catalog::ArchiveNumbers numbers;

    static CatalogState read(const catalog::Catalog &catalog);
    // The mark, trimmed, when no archive carries it; else the first of "mark (2)", "mark (3)",
    // ... that none does. Marks longer than an archive holds lose their end first.
    QString freeMark(const QString &mark) const;
    void addMark(const QString &mark) { marks.insert(markKey(mark)); }
};

// New archives saved as an added disc is saved (named by their records' checksum, numbered by
// the catalog's numbering rule, with a mark no archive carries), but into a staging
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
    int m_last = 0;
    int m_count = 0;
};

// Whole archives coming in (the archives of a merged zip), judged by their content: an archive
// is "already in the catalog" when its records have the checksum that names an archive of the
// catalog (in any of its folders) or one taken in before; it is then skipped, with the reason.
// Otherwise it is staged under the name of that checksum, where a save would put it; a mark in
// use gets a free one (CatalogState::freeMark), a number in use the next by the catalog's rule.
// The caller holds the catalog lock from construction until after commit(); without commit()
// nothing is left behind.
struct IntakeVerdict
{
    enum class Kind {
        Added,
        Present,   // the same records are in the catalog
        Duplicate, // the same records were taken in before
        Refused,   // cannot be taken in; reason says why
    };
    Kind kind = Kind::Refused;
    QString reason;   // all but Added: why, for the user ("already in the catalog as ...")
    QString fileName; // Added: its name in the catalog folder
    QString oldMark;  // Added: set when the mark was changed, with newMark
    QString newMark;
    int oldNumber = 0; // Added: set when the number was changed, with newNumber
    int newNumber = 0;
    QString damage; // Added: the archive is damaged (taken in as it is, fields aside)
};

class ArchiveIntake
{
public:
    // kind names the staging folder ("merge"). Throws AmbryError when it cannot be made.
    ArchiveIntake(const catalog::Catalog &catalog, const char *kind);
    ~ArchiveIntake();
    ArchiveIntake(const ArchiveIntake &) = delete;
    ArchiveIntake &operator=(const ArchiveIntake &) = delete;

    // Where to write the next archive before offer().
    QString scratchPath() const;
    // Judges the archive written to scratchPath(); label (its name in the zip) names it in the
    // reasons. Throws AmbryError when the archive cannot be read or staged.
    IntakeVerdict offer(const QString &label);
    // The same for an archive held in memory.
    IntakeVerdict offerBytes(const QString &label, const QByteArray &bytes);

    int added() const { return m_added; }
    // Moves every archive added into the catalog.
    void commit();

private:
    catalog::Catalog m_catalog;
    std::unique_ptr<catalog::StagingFolder> m_staging;
    CatalogState m_state;
    int m_added = 0;
};

} // namespace backup
