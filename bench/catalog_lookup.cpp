// Catalog-wide lookups over a generated catalog (see bench_gencatalog), warm page cache:
//   bench_catalog_lookup [CATALOG=/work/bench-data/catalog]
// Times MarkExists for a mark that is not there (the whole catalog is walked), for one that
// is, GetHighestArchiveNumber, and for comparison reading every archive whole.
#include "Archive.h"
#include "Catalog.h"

#include <QFile>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <functional>
#include <unistd.h>
#include <vector>

namespace {

double medianSeconds(int runs, const std::function<void()> &run)
{
    std::vector<double> t;
    for (int i = 0; i < runs; ++i) {
        const auto start = std::chrono::steady_clock::now();
        run();
        t.push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
    std::sort(t.begin(), t.end());
    return t[t.size() / 2];
}

} // namespace

int main(int argc, char **argv)
{
    const QString folder = argc > 1 ? QFile::decodeName(argv[1]) : QStringLiteral("/work/bench-data/catalog");
    const QString mask = QStringLiteral("*.dat");

    qint64 archives = 0, bytes = 0, records = 0;
    QString someMark;
    forEachArchive(folder, mask, [&](const QString &path) {
        ++archives;
        const Archive a = Archive::loadFields(path);
        records += a.value(QStringLiteral("AFiles")).toLongLong();
        if (archives == 1000)
            someMark = a.value(QStringLiteral("AMark")).toLower();
        return true;
    });
    // Reading every byte, as a full scan would (and as "cat" does).
    const double all = medianSeconds(3, [&] {
        std::vector<char> buffer(1 << 20);
        bytes = 0;
        forEachArchive(folder, mask, [&](const QString &path) {
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
    const double absent = medianSeconds(
        7, [&] { missing = MarkExists(QStringLiteral("No such mark anywhere"), folder, mask); });
    const double found = medianSeconds(7, [&] { present = MarkExists(someMark, folder, mask); });
    const double number = medianSeconds(7, [&] { highest = GetHighestArchiveNumber(folder, mask); });
    const double walk =
        medianSeconds(7, [&] { forEachArchive(folder, mask, [](const QString &) { return true; }); });

    std::printf("catalog: %s: %lld archives, %lld records, %lld bytes\n", qPrintable(folder),
                static_cast<long long>(archives), static_cast<long long>(records),
                static_cast<long long>(bytes));
    std::printf("read every archive whole:        %7.1f ms\n", all * 1e3);
    std::printf("walk only (no file opened):      %7.1f ms\n", walk * 1e3);
    std::printf("MarkExists, absent mark:         %7.1f ms (%s)\n", absent * 1e3, missing ? "found?!" : "no");
    std::printf("MarkExists, \"%s\" (lower case): %7.1f ms (%s)\n", qPrintable(someMark), found * 1e3,
                present ? "yes" : "not found?!");
    std::printf("GetHighestArchiveNumber:         %7.1f ms (%d)\n", number * 1e3, highest);
    return !missing && present ? 0 : 1;
}
