#include "ArchivePool.h"

#include <algorithm>
#include <exception>

namespace search {

namespace {

// Copies each row into the archive's block: the engine's views die with its buffer.
class KeepingSink : public ResultSink
{
public:
    KeepingSink(ScannedArchive &out, RowBlockBuilder &rows) : m_out(out), m_rows(rows) { m_rows.block(); }
    void beginArchive(int, const ArchiveInfo &) override {}
    void addRow(const FoundRecord &row) override
    {
        if (!m_out.readAgain && !m_rows.append(row))
            m_out.readAgain = true;
    }

private:
    ScannedArchive &m_out;
    RowBlockBuilder &m_rows;
};

} // namespace

ArchivePool::ArchivePool(int threads, bool keepRowText, bool keepBlocks, int maxAhead, size_t maxBytes)
    : m_keepText(keepRowText), m_keepBlocks(keepBlocks), m_maxAhead(std::max(1, maxAhead)),
      m_maxBytes(maxBytes)
{
    threads = std::max(1, threads);
    m_workers.reserve(size_t(threads));
    for (int i = 0; i < threads; ++i)
        m_workers.emplace_back([this] { work(); });
}

ArchivePool::~ArchivePool()
{
    stop();
}

bool ArchivePool::canTakeMore() const
{
    std::lock_guard lock(m_mutex);
    return m_nextTicket - m_firstResult < m_maxAhead && m_pendingBytes < m_maxBytes;
}

qint64 ArchivePool::submit(const QString &path, const SearchCriteria &criteria)
{
    qint64 ticket;
    {
        std::lock_guard lock(m_mutex);
        ticket = m_nextTicket++;
        m_results.emplace_back();
        m_jobs.push_back(Job{ticket, path, criteria});
    }
    m_jobReady.notify_one();
    return ticket;
}

std::unique_ptr<ScannedArchive> ArchivePool::take(qint64 ticket, int waitMs)
{
    std::unique_lock lock(m_mutex);
    if (ticket != m_firstResult || m_results.empty())
        return nullptr;
    if (!m_done.wait_for(lock, std::chrono::milliseconds(waitMs),
                         [&] { return m_results.front() != nullptr; }))
        return nullptr;
    std::unique_ptr<ScannedArchive> out = std::move(m_results.front());
    m_results.pop_front();
    ++m_firstResult;
    m_pendingBytes -= std::min(m_pendingBytes, out->bytes());
    return out;
}

void ArchivePool::stop()
{
    {
        std::lock_guard lock(m_mutex);
        m_stop = true;
        m_jobs.clear();
    }
    m_jobReady.notify_all();
    for (std::thread &t : m_workers) {
        if (t.joinable())
            t.join();
    }
    m_workers.clear();
}

void ArchivePool::work()
{
    // Kept from one archive to the next. Blocks that are dropped once handed out would pin the
    // regions they share with kept ones: they get memory of their own.
    RowBlockBuilder rows(m_keepText, m_keepBlocks);
    for (;;) {
        Job job;
        {
            std::unique_lock lock(m_mutex);
            m_jobReady.wait(lock, [&] { return m_stop || !m_jobs.empty(); });
            if (m_stop)
                return;
            job = std::move(m_jobs.front());
            m_jobs.pop_front();
        }
        auto out = std::make_unique<ScannedArchive>();
        out->path = job.path;
        out->criteria = job.criteria;
        bool cancel = false;
        try {
            KeepingSink sink(*out, rows);
            SearchEngine engine(out->criteria, sink);
            // The engine asks at every 300th record: a stop reaches it within a few records.
            Progress progress;
            progress.cancel = &cancel;
            progress.pendingEvents = [&] { cancel = m_stop.load(std::memory_order_relaxed); };
            engine.setProgress(progress);
            engine.AddFile(job.path);
            if (!cancel) {
                out->problems = engine.problems();
                out->onlyMarkArchives = engine.archivesWithOnlyMark();
                if (!engine.archives().isEmpty())
                    out->mark = engine.archives().constFirst().mark;
            }
        } catch (const std::exception &) {
            out->readAgain = true;
        }
        if (cancel)
            return;
        if (out->readAgain) {
            rows.discard();
        } else {
            out->rows = rows.block();
            rows.finish();
        }
        const size_t bytes = out->bytes();
        bool awaited;
        {
            std::lock_guard lock(m_mutex);
            if (m_stop)
                return;
            m_results[size_t(job.ticket - m_firstResult)] = std::move(out);
            m_pendingBytes += bytes;
            // Only the oldest archive can be taken next: waking the taker for any other costs
            // a switch of threads per archive for nothing.
            awaited = job.ticket == m_firstResult;
        }
        if (awaited)
            m_done.notify_all();
    }
}

} // namespace search
