// Archive checksum throughput over a 512 MiB buffer in memory and over the same bytes read
// from a file in the page cache:
//   bench_catalog_checksum [FILE=/work/bench-data/checksum-512M.bin] [MiB=512]
#include "BenchTiming.h"
#include "catalog/Checksum.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <vector>

using bench::timeRuns;
using bench::Timing;

namespace {

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
    const auto show = [gb](const char *what, const Timing &t) {
        std::printf(
            "%-11s best %6.1f ms = %5.2f GB/s, median %6.1f ms = %5.2f GB/s, cpu %6.1f ms = %5.2f GB/s\n",
            what, t.best * 1e3, gb / t.best, t.median * 1e3, gb / t.median, t.cpu * 1e3, gb / t.cpu);
    };
    show("memory:", mem);
    show("file:", file);
    show("plain loop:", plain);
    std::printf("file / memory throughput: best %.0f%%, median %.0f%%, cpu %.0f%% (%s)\n",
                100.0 * mem.best / file.best, 100.0 * mem.median / file.median, 100.0 * mem.cpu / file.cpu,
                qPrintable(path));
    const bool same = memSum == fileSum && memSum == plainSum;
    std::printf("sums agree: %s (%s)\n", same ? "yes" : "NO", qPrintable(checksumText(memSum)));
    return same ? 0 : 1;
}
