// Archive checksum throughput over a 512 MiB buffer in memory and over the same bytes read
// from a file in the page cache:
//   bench_catalog_checksum [FILE=/work/bench-data/checksum-512M.bin] [MiB=512]
#include "Checksum.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <vector>

namespace {

double seconds(const std::function<void()> &run)
{
    const auto start = std::chrono::steady_clock::now();
    run();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

struct Timing
{
    double best, median;
};

Timing timeRuns(int runs, const std::function<void()> &run)
{
    std::vector<double> t;
    for (int i = 0; i < runs; ++i)
        t.push_back(seconds(run));
    std::sort(t.begin(), t.end());
    return {t.front(), t[t.size() / 2]};
}

// A plain byte loop as a compiler makes it of the rule, for comparison.
__attribute__((noinline)) int64_t plainLoop(const QByteArray &bytes)
{
    uint64_t sum = uint64_t(-1);
    int64_t consumed = 0;
    for (qsizetype start = 0; start < bytes.size(); start += 65536) {
        const qsizetype n = std::min<qsizetype>(65536, bytes.size() - start);
        consumed += n;
        const auto *p = reinterpret_cast<const uchar *>(bytes.constData() + start);
        for (qsizetype i = 0; i < n; ++i)
            sum += uint64_t(int64_t(int32_t(uint32_t(consumed + i) * p[i])));
    }
    return int64_t(sum);
}

} // namespace

int main(int argc, char **argv)
{
    const QString path =
        argc > 1 ? QFile::decodeName(argv[1]) : QStringLiteral("/work/bench-data/checksum-512M.bin");
    const qsizetype mib = argc > 2 ? std::atoi(argv[2]) : 512;
    const qsizetype size = mib << 20;

    QByteArray bytes(size, Qt::Uninitialized);
    uint64_t x = 88172645463325252ull;
    for (char &c : bytes) { // xorshift: text-like and binary bytes alike
        x ^= x << 13;
        x ^= x >> 7;
        x ^= x << 17;
        c = char(x);
    }
    const double gb = double(size) / 1e9;

    int64_t memSum = 0;
    checksumSum(bytes); // fault the pages in
    const Timing mem = timeRuns(7, [&] { memSum = checksumSum(bytes); });
    int64_t plainSum = 0;
    const Timing plain = timeRuns(3, [&] { plainSum = plainLoop(bytes); });

    QDir().mkpath(QFileInfo(path).path());
    if (QFileInfo(path).size() != size) {
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(bytes) != size) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
            return 1;
        }
    }
    int64_t fileSum = fileChecksumSum(path); // warm the page cache
    const Timing file = timeRuns(7, [&] { fileSum = fileChecksumSum(path); });

    std::printf("bytes: %lld (%lld MiB)\n", static_cast<long long>(size), static_cast<long long>(mib));
    std::printf("memory:     best %.1f ms = %.2f GB/s, median %.1f ms = %.2f GB/s\n", mem.best * 1e3,
                gb / mem.best, mem.median * 1e3, gb / mem.median);
    std::printf("file:       best %.1f ms = %.2f GB/s, median %.1f ms = %.2f GB/s (%s)\n", file.best * 1e3,
                gb / file.best, file.median * 1e3, gb / file.median, qPrintable(path));
    std::printf("plain loop: best %.1f ms = %.2f GB/s\n", plain.best * 1e3, gb / plain.best);
    std::printf("file / memory throughput (median): %.0f%%\n", 100.0 * mem.median / file.median);
    const bool same = memSum == fileSum && memSum == plainSum;
    std::printf("sums agree: %s (%s)\n", same ? "yes" : "NO", qPrintable(checksumText(memSum)));
    return same ? 0 : 1;
}
