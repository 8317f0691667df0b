// Disc walk against find(1) on the same tree, warm cache, in the same run; and what the record
// section costs in memory against its text size.
//   bench_scan_walk ROOT [rounds=5]
#include "scan/DiscWalker.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <malloc.h>

namespace {

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

double timeFind(const std::string &root)
{
    const std::string cmd = "find '" + root + "' -printf '%h %f %s %T@\\n' > /dev/null";
    QElapsedTimer t;
    t.start();
    if (std::system(cmd.c_str()) != 0)
        std::fputs("bench_scan_walk: find failed\n", stderr);
    return double(t.nsecsElapsed()) / 1e6;
}

// Both small blocks and the large ones malloc hands out as separate mappings.
size_t heapInUse()
{
    const struct mallinfo2 m = mallinfo2();
    return m.uordblks + m.hblkhd;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc < 2) {
        std::fputs("usage: bench_scan_walk ROOT [rounds=5]\n", stderr);
        return 1;
    }
    const QString root = QString::fromLocal8Bit(argv[1]);
    const std::string rootBytes = argv[1];
    const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;

    DiscWalker walker;
    // Warm the cache with both tools before any timing.
    walker.walk(root);
    timeFind(rootBytes);

    // Memory: the heap the walk holds afterwards, and its peak while the buffer grows.
    size_t peakHeap = 0;
    size_t heldHeap = 0;
    {
        walker = DiscWalker();
        const size_t before = heapInUse();
        size_t peak = before;
        walker.setProgressCallback([&](const DiscWalker &) { peak = std::max(peak, heapInUse()); }, 1);
        walker.walk(root);
        heldHeap = heapInUse() - before;
        peakHeap = std::max(peak, heapInUse()) - before;
    }

    std::vector<double> walkMs;
    std::vector<double> findMs;
    for (int i = 0; i < rounds; ++i) {
        // Alternate so that neither tool profits from running second.
        findMs.push_back(timeFind(rootBytes));
        walker = DiscWalker();
        int reports = 0;
        walker.setProgressCallback([&](const DiscWalker &) { ++reports; }); // as the window runs it
        QElapsedTimer t;
        t.start();
        walker.walk(root);
        walkMs.push_back(double(t.nsecsElapsed()) / 1e6);
    }

    const auto &c = walker.counts();
    const double textMiB = double(walker.records().size()) / (1024.0 * 1024.0);
    std::printf("tree: %lld files, %lld folders, %lld bytes\n", c.files, c.folders, c.bytes);
    std::printf("walk (median of %zu): %.1f ms   find (median of %zu): %.1f ms   ratio %.2f\n", walkMs.size(),
                median(walkMs), findMs.size(), median(findMs), median(walkMs) / median(findMs));
    std::printf(
        "record section: %.2f MiB text, heap held after the walk %.2f MiB (%.2fx), peak during the walk "
        "%.2f MiB (%.2fx)\n",
        textMiB, double(heldHeap) / 1048576.0, double(heldHeap) / double(walker.records().size()),
        double(peakHeap) / 1048576.0, double(peakHeap) / double(walker.records().size()));
    return 0;
}
