#include "SearchEngine.h"

#include "SearchEngineImpl.h"

#include "ArchivePool.h"
#include "CaseFold.h"
#include "RowBlock.h"
#include "catalog/Catalog.h"

#include <algorithm>
#include <deque>

namespace search {

SearchEngine::Impl::Impl(const SearchCriteria &criteria, ResultSink &s) : c(criteria), sink(s)
{
    asciiFast = localeKeepsAsciiUpper(locale);
}

bool SearchEngine::Impl::searchFolder(const catalog::Catalog &catalog)
{
    return catalog.walk(
        [this](const QString &archive) {
            addFile(archive);
            progress.step();
            return true;
        },
        progress, &problems.unreadable);
}

bool SearchEngine::Impl::searchParallel(const catalog::Catalog &catalog)
{
    // Enough archives ahead to keep every worker busy past a slow one; rows waiting are bounded
    // too, so a search that finds everything stays within a flat amount of memory.
    constexpr size_t kAheadBytes = size_t(32) << 20;
    ArchivePool pool(threads, sink.keepsRowText(), sink.keepsBlocks(), std::max(16, threads * 8),
                     kAheadBytes);

    // Archives are handed out in the order of the one-thread walk.
    catalog::WalkCursor walk = catalog.cursor();
    qint64 submitted = 0;
    // A folder that cannot be listed is told where the one-thread walk would meet it: before the
    // archive that was handed out next.
    std::deque<std::pair<qint64, UnreadableArchive>> unlisted;
    const auto tellUnlisted = [&](qint64 before) {
        while (!unlisted.empty() && unlisted.front().first <= before) {
            problems.unreadable.append(unlisted.front().second);
            unlisted.pop_front();
        }
    };
    const auto nextPath = [&]() -> QString {
        for (;;) {
            switch (walk.next()) {
            case catalog::WalkCursor::Step::Archive:
                return walk.path();
            case catalog::WalkCursor::Step::Unlisted:
                unlisted.emplace_back(submitted, UnreadableArchive{walk.path(), walk.reason()});
                break;
            case catalog::WalkCursor::Step::FolderDone:
                break;
            case catalog::WalkCursor::Step::End:
                return QString();
            }
        }
    };

    bool walkEnded = false;
    const auto feed = [&] {
        while (!walkEnded && pool.canTakeMore()) {
            const QString path = nextPath();
            if (path.isEmpty())
                walkEnded = true;
            else {
                pool.submit(path, c);
                ++submitted;
            }
        }
    };
    const auto stopAsked = [&] { return progress.stopped(); };
    for (qint64 next = 0;; ++next) {
        feed();
        if (next == submitted) {
            // The walk has ended and every archive is handed out.
            tellUnlisted(next);
            return true;
        }
        std::unique_ptr<ScannedArchive> a;
        while (!(a = pool.take(next, 10))) {
            events();
            if (stopAsked())
                return false;
            feed();
        }
        tellUnlisted(next);
        deliver(*a);
        if (cancelled())
            return false;
        progress.step();
        events();
        if (stopAsked())
            return false;
    }
}

void SearchEngine::Impl::deliver(const ScannedArchive &a)
{
    if (a.criteria != c || a.readAgain) {
        addFile(a.path);
        return;
    }
    ++archivesRead;
    archivePath = a.path;
    archiveId = -1;
    mark = a.mark;
    const RowBlock &block = *a.rows;
    // Handed out up to each point where the pending events are due, as rows found here are.
    for (size_t i = 0; i < block.size();) {
        const size_t n = std::min(block.size() - i, size_t(kEventsEvery) - i % size_t(kEventsEvery));
        handOut(a.rows, i, n);
        i += n;
        if (cancelled())
            return;
        if (i % kEventsEvery == 0) {
            events();
            if (a.criteria != c) {
                // The rest of the archive under the criteria as they are now.
                addFile(a.path, block.row(i - 1).record() + 1);
                return;
            }
        }
    }
    problems.addLater(a.problems);
    onlyMarkArchives += a.onlyMarkArchives;
}

void SearchEngine::Impl::handOut(const std::shared_ptr<const RowBlock> &block, size_t first, size_t count)
{
    beginArchive();
    if (block->unfilledRows() > 0) {
        for (size_t i = first; i < first + count; ++i) {
            const RowBlock::Row &r = block->row(i);
            if (r.flags() != (RowBlock::DateValid | RowBlock::SizeValid))
                problems.noteUnfilled(archivePath, r.record());
        }
    }
    rows += qint64(count);
    sink.addRows(archiveId, block, first, count);
}

SearchEngine::SearchEngine(const SearchCriteria &criteria, ResultSink &sink)
    : d(std::make_unique<Impl>(criteria, sink))
{}

SearchEngine::~SearchEngine() = default;

void SearchEngine::setProgress(const Progress &progress)
{
    d->progress = progress;
}

void SearchEngine::AddFile(const QString &archivePath)
{
    d->addFile(archivePath);
}

void SearchEngine::setThreads(int threads)
{
    d->threads = std::max(1, threads);
}

bool SearchEngine::SearchFolder(const catalog::Catalog &catalog)
{
    return d->threads > 1 ? d->searchParallel(catalog) : d->searchFolder(catalog);
}

void SearchEngine::SearchArchive(const catalog::Catalog &catalog)
{
    d->events();
    if (!catalog.exists())
        return;
    SearchFolder(catalog);
}

const SearchProblems &SearchEngine::problems() const
{
    return d->problems;
}

qint64 SearchEngine::archivesWithOnlyMark() const
{
    return d->onlyMarkArchives;
}

const QList<ArchiveInfo> &SearchEngine::archives() const
{
    return d->archives;
}

qint64 SearchEngine::rowsFound() const
{
    return d->rows;
}

qint64 SearchEngine::archivesRead() const
{
    return d->archivesRead;
}

void SearchEngine::setAsciiFastPath(bool on)
{
    d->asciiFast = on && localeKeepsAsciiUpper(d->locale);
}

} // namespace search
