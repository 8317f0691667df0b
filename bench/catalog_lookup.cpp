// Catalog-wide lookups over a generated catalog (see bench_gencatalog), warm page cache:
//   bench_catalog_lookup [CATALOG=/work/bench-data/catalog]
// Times the mark lookup for a mark that is not there (the whole catalog is walked), for one
// that is, the highest number, and for comparison reading every archive whole.
#include "BenchTiming.h"
#include "catalog/Archive.h"
#include "catalog/Catalog.h"

#include <QFile>

#include <algorithm>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>
#include <vector>

using bench::timeRuns;
using bench::Timing;

int main(int argc, char **argv)
{
    const QString folder = argc > 1 ? QFile::decodeName(argv[1]) : QStringLiteral("/work/bench-data/catalog");
    const catalog::Catalog catalog(folder);

    qint64 archives = 0, bytes = 0, records = 0;
    QString someMark;
    catalog.walk([&](const QString &path) {
        ++archives;
        const Archive a = Archive::loadFields(path);
        records += a.value(QStringLiteral("AFiles")).toLongLong();
        if (archives == 1000)
            someMark = a.value(QStringLiteral("AMark")).toLower();
        return true;
    });
    // Reading every byte, as a full scan would (and as "cat" does).
    const Timing all = timeRuns(3, [&] {
        std::vector<char> buffer(1 << 20);
        bytes = 0;
        catalog.walk([&](const QString &path) {
            const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
            for (ssize_t got; fd >= 0 && (got = ::read(fd, buffer.data(), buffer.size())) > 0;)
                bytes += got;
            if (fd >= 0)
                ::close(fd);
            return true;
        });
    });
    bool missing = true, present = false;
    int highest = 0;
    const Timing absent =
        timeRuns(7, [&] { missing = catalog.markExists(QStringLiteral("No such mark anywhere")); });
    const Timing found = timeRuns(7, [&] { present = catalog.markExists(someMark); });
    const Timing number = timeRuns(7, [&] { highest = catalog.highestNumber(); });
    const Timing walk = timeRuns(7, [&] { catalog.walk([](const QString &) { return true; }); });

    std::printf("catalog: %s: %lld archives, %lld records, %lld bytes\n", qPrintable(folder),
                static_cast<long long>(archives), static_cast<long long>(records),
                static_cast<long long>(bytes));
    const auto show = [](const char *what, const Timing &t, const QString &result) {
        std::printf("%-34s median %7.1f ms, cpu %7.1f ms  %s\n", what, t.median * 1e3, t.cpu * 1e3,
                    qPrintable(result));
    };
    show("read every archive whole:", all, QString());
    show("walk only (no file opened):", walk, QString());
    show("MarkExists, absent mark:", absent, missing ? QStringLiteral("found?!") : QStringLiteral("no"));
    show("MarkExists, present mark:", found,
         (present ? QStringLiteral("yes: ") : QStringLiteral("not found?! ")) + someMark);
    show("GetHighestArchiveNumber:", number, QString::number(highest));
    return !missing && present ? 0 : 1;
}
