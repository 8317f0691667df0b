#pragma once

#include "util/Progress.h"

#include <QString>

#include <functional>
#include <memory>

class FileLock;

// One writer at a time in a catalog folder. Every change of the catalog (saving a new
// archive, editing or removing archives, restoring or merging a backup) runs while holding
// this lock, and everything the change depends on (is the disc archived, the next number,
// is the mark taken) is read again after taking it:
//
//     CatalogLock lock = catalog.lock();
//     if (!lock.acquire(CatalogLock::waitMs(), progress))
//         throw AmbryError(lock.errorText()); // "The catalog is in use by another Ambrylog."
//     ... check again, write with writeFileAtomically(), rename into place ...
//     // released when `lock` goes (or by release())
//
// A window waits with a busy cursor and lets its events run through progress; the command
// line waits waitMs() and then gives up with errorText(). Readers (listing, search, lookups)
// never take it: every change lands by a rename, so a reader sees an archive whole or not
// at all.
//
// The lock is an flock(2) on the hidden file ".ambrylog.lock" in the catalog folder (not an
// archive; a backup need not carry it), so a catalog whose parent folder is not writable still
// has one, and every version of the program excludes every other. The kernel releases it when
// the holder ends, however it ends, so a killed writer never blocks the next one. A restore
// swaps the whole folder, lock file included: a writer that waited for the lock checks, once
// it has it, that its lock file is still the one the catalog path names, and takes the new
// folder's lock when it is not (which the restore holds until the swap is whole). Within one
// process the lock is re-entrant: a change that calls another change which takes it again does
// not wait for itself.
//
// Whoever takes it while no process held it first clears what a killed writer left behind
// (nobody can still be writing it): the hidden temporary archive files (".<name>.dat.tmp-XXXXXX"),
// and beside the catalog folder a restore's or merge's unfinished change (finished from its
// journal) and staging folders whose process is gone.
class CatalogLock
{
public:
    // How long the command line (and a window, with its events running) waits for a writer.
    static constexpr int WaitMs = 30000;
    // WaitMs, unless a test has made it shorter.
    static int waitMs();
    static void setWaitMsForTesting(int ms); // 0 or less: back to WaitMs
    static const QString BusyText;           // "The catalog is in use by another Ambrylog."
    static const QString WaitingText;        // "Waiting for another Ambrylog"
    static const QString LockFileName;

    explicit CatalogLock(const QString &catalogFolder);
    ~CatalogLock();
    CatalogLock(const CatalogLock &) = delete;
    CatalogLock &operator=(const CatalogLock &) = delete;

    // Takes the lock when no other process holds it; never waits.
    bool tryAcquire();
    // Waits up to timeoutMs (negative: for ever). Between tries it shows WaitingText through
    // progress and lets its events run; the wait itself does not stop early, since the change
    // it waits for is already under way.
    bool acquire(int timeoutMs, const Progress &progress = {});
    void release();
    bool isHeld() const { return m_held; }
    // Why the last acquire failed: BusyText when another process kept the lock, else the
    // folder and the system's reason.
    QString errorText() const { return m_errorText; }
    // Temporary files removed when this object took the lock.
    int removedTemporaries() const { return m_removed; }
    // What taking it finished of a change a killed writer left, for the user; usually empty.
    const QString &recoveryNotice() const { return m_notice; }

    struct Shared; // one per folder and process

private:
    bool take(int timeoutMs, const std::function<void()> &whileWaiting);

    QString m_folder;
    std::shared_ptr<Shared> m_shared;
    bool m_held = false;
    int m_removed = 0;
    QString m_notice;
    QString m_errorText;
};
