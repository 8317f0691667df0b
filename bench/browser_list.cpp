// uses: browser window
// Figures for the catalog browser: the window's load (from the deferred timer's tick until the
// status line shows the totals), the longest gap between two event runs during it, memory per
// row, sorting by every column, and removing selected rows (the files themselves are left).
//   bench_browser_list CATALOG [REMOVE=5000] [--window-remove]
// --window-remove: instead, remove REMOVE scattered rows through the window's command, with its
// views attached and the files really deleted (use a copy of the catalog).
// Run with QT_QPA_PLATFORM=offscreen.
#include "BenchTiming.h"

#include "browser/ArchiveCommands.h"
#include "browser/ArchiveListModel.h"
#include "browser/CatalogBrowser.h"
#include "browser/gui/fmArchive.h"
#include "settings/gVars.h"
#include "util/gui/MessageBox.h"

#include <QAbstractEventDispatcher>
#include <QAbstractItemView>
#include <QApplication>
#include <QElapsedTimer>
#include <QItemSelectionModel>
#include <QTimer>

#include <cstdio>

using namespace browser;

namespace {

// Times between two runs of the event loop while something runs: the window's answer time.
class GapMeter
{
public:
    GapMeter()
    {
        m_clock.start();
        QObject::connect(QAbstractEventDispatcher::instance(), &QAbstractEventDispatcher::awake, [this] {
            const qint64 now = m_clock.nsecsElapsed();
            if (m_last >= 0)
                m_longest = std::max(m_longest, now - m_last);
            m_last = now;
        });
    }
    void reset()
    {
        m_last = -1;
        m_longest = 0;
    }
    double longestMs() const { return double(m_longest) / 1e6; }

private:
    QElapsedTimer m_clock;
    qint64 m_last = -1;
    qint64 m_longest = 0;
};

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: bench_browser_list CATALOG [REMOVE=5000]\n");
        return 2;
    }
    const QString catalog = QString::fromLocal8Bit(argv[1]) + QLatin1Char('/');
    const int removeCount = argc > 2 ? std::atoi(argv[2]) : 5000;
    gVars().catalogFolder = catalog;

    if (argc > 3 && QByteArrayView(argv[3]) == "--window-remove") {
        setMessageBoxHandler([](MsgKind, const QString &) { return MsgAnswer::Yes; });
        TfrmArchive window;
        window.show();
        while (window.isLoading() || window.statusText() == LoadingText || window.statusText().isEmpty())
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        window.currentView()->setFocus();
        QItemSelection selection;
        for (int r = 0, n = 0; n < removeCount && r < window.model()->rowCount(); r += 2, ++n)
            selection.select(window.model()->index(r, 0),
                             window.model()->index(r, ArchiveListModel::ColumnCount - 1));
        window.selection()->select(selection, QItemSelectionModel::Select);
        window.KeyState();
        QElapsedTimer clock;
        clock.start();
        const double cpuStart = bench::cpuSeconds();
        window.ActDeleteExecute();
        std::printf("window remove of %d scattered rows: %.3f s (cpu %.3f s), %d rows left\n  status: %s\n",
                    removeCount, clock.nsecsElapsed() / 1e9, bench::cpuSeconds() - cpuStart,
                    window.model()->rowCount(), qPrintable(window.statusText()));
        return 0;
    }

    // The window's load, three times (warm cache after the first).
    GapMeter gaps;
    for (int run = 0; run < 3; ++run) {
        TfrmArchive window;
        QTimer *tick = window.findChild<QTimer *>(QStringLiteral("TimScan"));
        QElapsedTimer clock;
        double loadSeconds = 0;
        // The tick's own slot runs first; it reads the stored view style and empties the list
        // before reading any archive, so the emptying marks the start within a millisecond.
        QObject::connect(window.model(), &QAbstractItemModel::modelAboutToBeReset, [&] {
            if (!tick->isActive() && !clock.isValid()) {
                clock.start();
                gaps.reset();
            }
        });
        const double cpuStart = bench::cpuSeconds();
        window.show();
        while (!clock.isValid() || window.isLoading() || window.statusText() == LoadingText ||
               window.statusText().isEmpty())
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        loadSeconds = clock.nsecsElapsed() / 1e9;
        std::printf(
            "window load %d: %.3f s (process cpu since show %.3f s), %d rows, longest gap between event "
            "runs %.1f ms\n",
            run + 1, loadSeconds, bench::cpuSeconds() - cpuStart, window.model()->rowCount(),
            gaps.longestMs());
        std::printf("  status: %s\n", qPrintable(window.statusText()));
        window.close();
    }

    ArchiveListModel model;
    CatalogTotals totals;
    const bench::Timing load = bench::timeRuns(3, [&] {
        CatalogLoader loader(model, totals);
        loader.ScanArchive(catalog::Catalog(catalog));
    });
    const int rows = model.rowCount();
    std::printf("model load: best %.3f s, median %.3f s, cpu %.3f s; %d rows, %.0f bytes per row\n",
                load.best, load.median, load.cpu, rows, double(model.memoryUsed()) / std::max(rows, 1));

    for (int column = 0; column < ArchiveListModel::ColumnCount; ++column) {
        // The direction changes every run: the same sort twice in a row does nothing.
        bool flag = true;
        const bench::Timing t = bench::timeRuns(3, [&] {
            model.sortRows(column, flag);
            flag = !flag;
        });
        std::printf("sort by %-14s best %.3f s, median %.3f s, cpu %.3f s\n",
                    qPrintable(columnCaption(column) + QLatin1Char(':')), t.best, t.median, t.cpu);
    }

    // Every other row of the first 2 * REMOVE rows: as many separate runs as rows.
    for (const bool scattered : {false, true}) {
        CatalogLoader(model, totals).ScanArchive(catalog::Catalog(catalog));
        std::vector<int> selected;
        for (int r = 0; selected.size() < size_t(removeCount) && r < model.rowCount(); r += scattered ? 2 : 1)
            selected.push_back(r);
        RemoveHooks hooks;
        hooks.deleteFile = [](const QString &) { return true; };
        Progress events;
        events.pendingEvents = [] { QCoreApplication::processEvents(); };
        QElapsedTimer clock;
        clock.start();
        const RemoveResult r = removeRows(model, totals, selected, hooks, events);
        std::printf("remove %d %s rows: %.3f s (%d rows left)\n", r.removed,
                    scattered ? "scattered" : "adjacent", clock.nsecsElapsed() / 1e9, model.rowCount());
    }
    return 0;
}
