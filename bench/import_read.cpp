// Reads a catalog of another program or a file listing as the import does, keeping every
// volume's records as the import holds them before writing, and prints the time, the records'
// size and the process's peak memory (to compare with the largest volume's records).
//   bench_import_read FILE [--count-only]
#include "catalog/import/CatalogImport.h"

#include <QElapsedTimer>

#include <cstdio>
#include <cstring>

#include <sys/resource.h>

int main(int argc, char **argv)
{
    if (argc < 2) {
        std::fputs("usage: bench_import_read FILE [--count-only]\n", stderr);
        return 1;
    }
    const QString path = QString::fromLocal8Bit(argv[1]);
    QString why;
    const std::optional<catimport::Format> format = catimport::detectFormat(path, &why);
    if (!format) {
        std::fprintf(stderr, "bench_import_read: %s\n", qPrintable(why));
        return 1;
    }
    catimport::Options options;
    options.countOnly = argc > 2 && std::strcmp(argv[2], "--count-only") == 0;
    qint64 volumes = 0, files = 0, largestRecords = 0;
    QElapsedTimer clock;
    clock.start();
    const catimport::ReadOutcome outcome =
        catimport::readVolumes(path, *format, options, [&](catimport::Volume &&v) {
            ++volumes;
            files += v.files;
            largestRecords = std::max<qint64>(largestRecords, v.records.size());
            if (!v.sound())
                std::fprintf(stderr, "refused: %s\n", qPrintable(v.refusal));
            return true;
        });
    const double seconds = double(clock.nsecsElapsed()) / 1e9;
    if (!outcome.error.isEmpty())
        std::fprintf(stderr, "error: %s\n", qPrintable(outcome.error));
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    std::printf("%lld volumes, %lld files in %.2f s; largest record section %.1f MiB; peak memory %.1f MiB\n",
                (long long)volumes, (long long)files, seconds, double(largestRecords) / 1048576.0,
                double(usage.ru_maxrss) / 1024.0);
    return outcome.error.isEmpty() ? 0 : 1;
}
