#pragma once

// Scans archives on worker threads for the search, ahead of the thread that hands the rows out,
// which takes them strictly in the order it asked for them. Each archive is scanned by an
// engine of its own against a copy of the criteria taken when it was handed out, so nothing
// the workers touch is shared with the caller's live criteria.

#include "RowBlock.h"
#include "SearchEngine.h"
#include "catalog/ArchiveFile.h"

#include <QString>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace search {

// What one worker made of one archive.
struct ScannedArchive
{
    QString path;
    SearchCriteria criteria; // as they were when the archive was handed out
    QString mark;            // set when the archive gave rows
    std::shared_ptr<const RowBlock> rows;
    SearchProblems problems;
    qint64 onlyMarkArchives = 0;
    // The worker could not keep the rows (more than one block holds) or could not finish at all
    // (out of memory, say): the taking thread reads the archive again itself, and meets what a
    // one-thread search would, instead of the program ending on a worker thread.
    bool readAgain = false;

    size_t bytes() const { return rows ? rows->bytes() : 0; }
};

class ArchivePool
{
public:
    // threads >= 1 workers. Read-ahead stops at maxAhead archives handed out but not yet taken,
    // or when the rows waiting to be taken hold more than maxBytes. keepBlocks: the rows' blocks
    // are kept by the one who takes them (see ResultSink::keepsBlocks).
    ArchivePool(int threads, bool keepRowText, bool keepBlocks, int maxAhead, size_t maxBytes);
    ~ArchivePool(); // stops the workers (see stop())

    // Whether another archive may be handed out now.
    bool canTakeMore() const;
    // Hands out the next archive; returns its ticket (0, 1, 2, ... in call order).
    qint64 submit(const QString &path, const SearchCriteria &criteria);
    // The archive of the ticket once it is scanned, or null when wait ran out first. Tickets are
    // taken in order, each once.
    std::unique_ptr<ScannedArchive> take(qint64 ticket, int waitMs);
    // Stops every worker at its next record; returns once they have all ended.
    void stop();

private:
    void work();

    const bool m_keepText;
    const bool m_keepBlocks;
    const int m_maxAhead;
    const size_t m_maxBytes;
    mutable std::mutex m_mutex;
    std::condition_variable m_jobReady;
    std::condition_variable m_done;
    struct Job
    {
        qint64 ticket = 0;
        QString path;
        SearchCriteria criteria;
    };
    std::deque<Job> m_jobs;
    std::deque<std::unique_ptr<ScannedArchive>> m_results; // index: ticket - m_firstResult
    qint64 m_firstResult = 0;
    qint64 m_nextTicket = 0;
    size_t m_pendingBytes = 0;
    std::atomic<bool> m_stop{false};
    // Outlives the workers: what they leave mapped is unmapped once they have ended.
    BatchedUnmaps m_unmaps{size_t(8) << 20};
    std::vector<std::thread> m_workers;
};

} // namespace search
