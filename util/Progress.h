#pragma once

#include <QString>

#include <functional>

// How a long run is stopped and what it tells while it runs: the one shape for the catalog walk
// and the search, the catalog browser's loading, backup, restore and merge, removing archives and
// the wait for the catalog lock, whether a window or the command line drives them. Every part
// is optional; a default Progress neither stops nor tells anything.
struct Progress
{
    // Set by a Cancel button or a close request; read wherever the run can stop.
    const bool *cancel = nullptr;
    // True stops the run as well: the program is closing, a progress window was cancelled, the
    // command line was interrupted.
    std::function<bool()> stopRequested;
    // Where a window lets its pending events run, so that a click on Cancel gets through.
    std::function<void()> pendingEvents;
    // One more unit of the run done (an archive).
    std::function<void()> stepDone;
    // What is being done ("Reading", "Waiting for another Ambrylog") and how far: done of
    // total, total 0 when not known.
    std::function<void(const QString &what, qint64 done, qint64 total)> report;

    // The flag alone, cheap enough for every record of a search.
    bool cancelled() const { return cancel && *cancel; }
    bool stopped() const { return cancelled() || (stopRequested && stopRequested()); }
    void events() const
    {
        if (pendingEvents)
            pendingEvents();
    }
    void step() const
    {
        if (stepDone)
            stepDone();
    }
    void show(const QString &what, qint64 done, qint64 total) const
    {
        if (report)
            report(what, done, total);
    }
};
