// uses: browser window
// Figures for the Explore window: from the window's creation until its folder tree and the
// root's entries are shown, against reading the same archive's bytes as `cat` does; and the
// bytes the disc's storage takes per record.
//   bench_explore_open ARCHIVE [RUNS=5]
// ARCHIVE: one disc of many files, e.g. bench_gencatalog OUT 1 60000 then OUT/<the one .dat>.
// Run with QT_QPA_PLATFORM=offscreen.
#include "BenchTiming.h"

#include "browser/DiscTree.h"
#include "browser/DiscTreeModels.h"
#include "browser/gui/fmExplore.h"

#include <QApplication>
#include <QFile>
#include <QTreeView>

#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: bench_explore_open ARCHIVE [RUNS=5]\n");
        return 2;
    }
    const QString archive = QString::fromLocal8Bit(argv[1]);
    const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;

    // What `cat ARCHIVE > /dev/null` does: read every byte in large pieces.
    const bench::Timing cat = bench::timeRuns(runs, [&] {
        const int fd = ::open(argv[1], O_RDONLY);
        static char buffer[1 << 17];
        while (::read(fd, buffer, sizeof buffer) > 0) {
        }
        ::close(fd);
    });

    qint64 records = 0, folders = 0, bytes = 0;
    int rootRows = 0;
    const bench::Timing open = bench::timeRuns(runs, [&] {
        TfrmExplore window(nullptr, archive);
        window.show();
        while (!window.isLoaded())
            QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
        // Shown: the views have laid out their rows.
        QCoreApplication::processEvents();
        window.findChild<QTreeView *>(QStringLiteral("ListView1"))->viewport()->repaint();
        window.findChild<QTreeView *>(QStringLiteral("TreeView1"))->viewport()->repaint();
        records = window.tree()->fileCount();
        folders = window.tree()->folderCount();
        bytes = window.tree()->memoryUsed();
        rootRows = window.entryModel()->rowCount();
    });
    std::printf("archive: %s, %.1f MB, %lld records in %lld folders, %d entries in the root\n", argv[1],
                double(QFile(archive).size()) / 1e6, static_cast<long long>(records),
                static_cast<long long>(folders), rootRows);
    std::printf("cat:           best %.3f s  median %.3f s  cpu %.3f s\n", cat.best, cat.median, cat.cpu);
    std::printf("Explore open:  best %.3f s  median %.3f s  cpu %.3f s  (tree and root listing shown)\n",
                open.best, open.median, open.cpu);
    std::printf("storage: %lld bytes, %.1f bytes per record\n", static_cast<long long>(bytes),
                records ? double(bytes) / double(records) : 0.0);
    return 0;
}
