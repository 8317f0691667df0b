#pragma once

#include "CatalogLock.h"
#include "util/Progress.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>

#include <climits>
#include <functional>
#include <memory>
#include <vector>

// An archive a reader of the whole catalog could not open or read (no permission, an I/O
// error), or a folder it could not list (its path ends in "/"): it is skipped, and the caller
// tells the user.
struct UnreadableArchive
{
    QString path;
    QString reason;
};
using UnreadableArchives = QList<UnreadableArchive>;
// The user's message for them: the first few paths with their reasons and how many in all;
// empty when there are none.
QString unreadableArchivesMessage(const UnreadableArchives &list, int maxPaths = 5);

// Whether a file name matches a wildcard mask without regard to letter case ("*" and "?";
// "*" and "*.*" take every name).
bool matchesArchiveMask(const QString &name, const QString &mask);

// The value of an archive field, untrimmed; empty when missing. Throws AmbryError when
// the file cannot be read.
QString ReadArchiveValue(const QString &path, const QString &key);

// Parses a signed 32-bit decimal number (optional sign, digits only).
bool parseArchiveInt(QStringView text, int *value);

namespace catalog {

// Where the number of the last saved archive ("LastArchiveNumber") is kept. Numbering falls
// back on it when the catalog holds no numbered archive; every save writes it.
class NumberStore
{
public:
    virtual ~NumberStore() = default;
    // The stored number; 0 when there is none or it is not a number.
    virtual int lastNumber() const = 0;
    virtual void setLastNumber(int number) = 0;
};

// The archive numbers in use, and the one rule that gives the next: one above the highest in
// use; when that would pass the largest number an "ANumber" holds (2147483647), the lowest number
// that is free.
class ArchiveNumbers
{
public:
    // A number from 1 to 2147483647 (others are no archive number: the archive is damaged).
    static bool isValid(qint64 number) { return number >= 1 && number <= INT_MAX; }
    // The valid number an archive's "ANumber" value holds (blanks aside); false when none.
    static bool parse(QByteArrayView value, int *number);

    void add(int number);
    bool contains(int number) const { return m_used.contains(number); }
    bool isEmpty() const { return m_used.isEmpty(); }
    int highest() const { return m_highest; }
    // The next number; lastStored ("LastArchiveNumber") counts as the highest when none is in
    // use. *wrapped tells that the lowest free number was taken. Throws AmbryError when every
    // number is in use.
    int next(int lastStored = 0, bool *wrapped = nullptr) const;

private:
    QSet<int> m_used;
    int m_highest = 0;
};

// Called with the full path of each archive; return false to stop the walk.
using ArchiveVisitor = std::function<bool(const QString &path)>;

class Catalog;

// The walk one step at a time, for a reader that hands archives out ahead of using them (the
// parallel search). It meets everything in the order Catalog::walk() does: Unlisted when a
// folder cannot be listed, then the folder's archives, then FolderDone, then its subfolders.
class WalkCursor
{
public:
    enum class Step { Archive, Unlisted, FolderDone, End };

    explicit WalkCursor(const Catalog &catalog);
    ~WalkCursor();
    WalkCursor(WalkCursor &&) noexcept;
    WalkCursor &operator=(WalkCursor &&) noexcept;

    Step next();
    // Archive: its full path; Unlisted and FolderDone: the folder, ending in "/".
    const QString &path() const { return m_path; }
    // Unlisted: why the folder could not be listed.
    const QString &reason() const { return m_reason; }

private:
    friend class Catalog;
    enum class Take { Archives, Temporaries };
    WalkCursor(const QString &root, Take take);
    struct Level;
    std::vector<Level> m_levels;
    Take m_take;
    QString m_path;
    QString m_reason;
};

// The catalog: the archives (ArchiveMask, any letter case) in one folder and, at any depth, below
// it. Built once from the folder as the user gave it, with one trailing "/" added: no link in
// it is resolved, so a catalog reached through a symbolic link stays reached through it. The
// object is cheap to copy and holds no archive: every call reads the files afresh.
//
// Readers never take the lock (every change lands by a rename, so a reader sees an archive
// whole or not at all); writers change the catalog only while holding lock().
class Catalog
{
public:
    // The one mask every reader of the catalog goes by.
    static const QString ArchiveMask;
    // The suffix of the archives new saves write: "<checksum>.dat".
    static const QString ArchiveSuffix;

    // numbers: where "LastArchiveNumber" is kept. Without one, numbering reads no stored
    // number and a save records none (readers that never number need none).
    explicit Catalog(const QString &folder, std::shared_ptr<NumberStore> numbers = nullptr);

    // The folder, ending in "/" (empty for an empty path).
    const QString &folder() const { return m_folder; }
    bool exists() const;

    // Whether a file name is an archive's (the mask).
    static bool isArchiveName(const QString &fileName);

    // The one walk every reader of the catalog shares. A folder's own archives come first, by
    // name without regard to letter case (hidden ones included), then its subfolders by name,
    // depth first. A symbolic link to a file counts like the file; a symbolic link to a folder
    // is never entered, so a link cycle cannot trap the walk. A name that is not valid in the
    // file name encoding is left out (no path text leads back to it).
    //
    // A walk under a window lets its events run after each archive and after each folder's own
    // archives; progress is asked whether to stop once per folder, after its own archives, so
    // the archives already visited stay visited. Counting the archives (progress.step()) is the
    // visitor's business: it knows which of them count. Folders that cannot be listed are
    // skipped and added to *unlisted when met, with the reason (a folder that is gone holds
    // nothing to miss and is not named). Returns false when the visitor or progress stopped it.
    bool walk(const ArchiveVisitor &visit, const Progress &progress = {},
              UnreadableArchives *unlisted = nullptr) const;
    WalkCursor cursor() const { return WalkCursor(*this); }

    // Where the archive of records with this checksum is written: the catalog folder itself
    // (never a subfolder), named "<checksum>.dat".
    QString archivePath(const QString &checksum) const;

    // The archive of the records with this checksum: named "<checksum>.dat" (the suffix in any
    // letter case) anywhere in the catalog, since the user may move archives into subfolders.
    // Empty when there is none.
    QString archiveWithChecksum(const QString &checksum) const;

    // Whether an archive carries the mark, compared without regard to letter case and as given
    // (not trimmed). Archives whose mark is blank are skipped; a damaged archive counts with
    // whatever mark it still shows. Archives that cannot be read are skipped and added to
    // *unreadable (when given), with the folders that cannot be listed: the answer may then
    // miss their marks.
    bool markExists(const QString &mark, UnreadableArchives *unreadable = nullptr) const;
    // Every archive that carries the mark, compared as markExists compares; archives that
    // cannot be read are skipped.
    QStringList archivesWithMark(const QString &mark) const;
    // The numbers in use: every valid "ANumber", those of damaged archives included (read by the
    // damaged block's rule). Archives that cannot be read are skipped and added to *unreadable;
    // damaged archives are added to *damaged (both when given).
    ArchiveNumbers numbersInUse(UnreadableArchives *unreadable = nullptr,
                                UnreadableArchives *damaged = nullptr) const;
    // The highest number in use, 0 when there is none.
    int highestNumber(UnreadableArchives *unreadable = nullptr) const;
    // The number the next saved archive gets (ArchiveNumbers::next over the numbers in use and
    // the stored "LastArchiveNumber"). *wrapped: the numbers ran past the largest and the lowest
    // free one was taken.
    int nextNumber(UnreadableArchives *unreadable = nullptr, UnreadableArchives *damaged = nullptr,
                   bool *wrapped = nullptr) const;
    // The stored "LastArchiveNumber", 0 when there is none.
    int storedNumber() const { return m_numbers ? m_numbers->lastNumber() : 0; }
    // Records the number of an archive just saved as "LastArchiveNumber".
    void recordNumber(int number) const;

    // The one writer's lock on this catalog (see CatalogLock); not yet taken.
    CatalogLock lock() const { return CatalogLock(m_folder); }
    // Removes the hidden temporary archive files a killed writer left (any depth, links not
    // followed) and returns how many. Only safe while holding the lock: taking it does this.
    int removeStaleTemporaries() const;

private:
    QString m_folder;
    std::shared_ptr<NumberStore> m_numbers;
};

} // namespace catalog
