// Figures for the search: the record count of a text, every record of the catalog into the
// results model (time, peak memory per row), and sorting a million rows by each column.
//   bench_search_model CATALOG [TEXT=song] [SORTROWS=1000000] [THREADS=every core]
#include "search/ResultsModel.h"
#include "search/SearchEngine.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QThread>

#include <cstdio>
#include <ctime>

using namespace search;

namespace {

// Peak resident memory of the process so far, in KiB.
long peakRssKiB()
{
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : f.readAll().split('\n')) {
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toLong();
    }
    return -1;
}

// CPU time of the process (user + system), in seconds: the machine may be shared, and wall
// time then says more about the neighbours than about this program.
double cpuSeconds()
{
    timespec ts;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) / 1e9;
}

// Passes rows on until it holds enough, then asks the search to stop.
class LimitSink : public ResultSink
{
public:
    LimitSink(ResultsModel &model, qint64 limit) : m_model(model), m_limit(limit) {}
    void beginArchive(int id, const ArchiveInfo &a) override { m_model.beginArchive(id, a); }
    void addRow(const FoundRecord &r) override
    {
        if (rows < m_limit)
            m_model.addRow(r);
        cancel = ++rows >= m_limit;
    }
    qint64 rows = 0;
    bool cancel = false;

private:
    ResultsModel &m_model;
    qint64 m_limit;
};

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s CATALOG [TEXT=song] [SORTROWS=1000000] [THREADS]\n", argv[0]);
        return 1;
    }
    const catalog::Catalog catalog(QString::fromLocal8Bit(argv[1]));
    const QString text = argc > 2 ? QString::fromLocal8Bit(argv[2]) : QStringLiteral("song");
    const qint64 sortRows = argc > 3 ? QByteArray(argv[3]).toLongLong() : 1000000;
    const int threads = argc > 4 ? QByteArray(argv[4]).toInt() : QThread::idealThreadCount();
    std::printf("threads: %d\n", threads);
    QElapsedTimer t;
    double countSecs = 0, countCpu = 0; // the empty text's count, the fill's yardstick

    {
        SearchCriteria c;
        c.searchText = text;
        CountingSink counter;
        SearchEngine engine(c, counter);
        engine.setThreads(threads);
        t.start();
        const double cpu = cpuSeconds();
        engine.SearchArchive(catalog);
        std::printf("count '%s': %lld rows in %.3f s (CPU %.3f s)\n", qPrintable(text), counter.count,
                    t.nsecsElapsed() / 1e9, cpuSeconds() - cpu);
    }
    {
        SearchCriteria c;
        CountingSink counter;
        SearchEngine engine(c, counter);
        engine.setThreads(threads);
        t.start();
        const double cpu = cpuSeconds();
        engine.SearchArchive(catalog);
        countSecs = t.nsecsElapsed() / 1e9;
        countCpu = cpuSeconds() - cpu;
        std::printf("count of every record: %lld rows in %.3f s (CPU %.3f s)\n", counter.count, countSecs,
                    countCpu);
    }
    {
        const long before = peakRssKiB();
        ResultsModel model;
        SearchCriteria c;
        SearchEngine engine(c, model);
        engine.setThreads(threads);
        t.start();
        const double cpu = cpuSeconds();
        model.beginFill();
        engine.SearchArchive(catalog);
        model.endFill();
        const double secs = t.nsecsElapsed() / 1e9;
        const double cpuSecs = cpuSeconds() - cpu;
        const long after = peakRssKiB();
        const double rows = model.rowCount();
        std::printf(
            "fill: %d rows in %.3f s (CPU %.3f s); peak RSS %ld KiB before, %ld KiB after: %.1f bytes/row "
            "(model's own count %.1f bytes/row)\n",
            model.rowCount(), secs, cpuSecs, before, after, (after - before) * 1024.0 / rows,
            double(model.memoryUsed()) / rows);
        std::printf("fill / count of every record: %.2fx (CPU %.2fx)\n", secs / countSecs,
                    cpuSecs / countCpu);
    }
    {
        ResultsModel model;
        SearchCriteria c;
        LimitSink sink(model, sortRows);
        SearchEngine engine(c, sink);
        Progress stopping;
        stopping.cancel = &sink.cancel;
        engine.setProgress(stopping);
        engine.SearchArchive(catalog);
        std::printf("sort %d rows:\n", model.rowCount());
        const struct
        {
            int column;
            const char *name;
        } columns[] = {{ResultsModel::ColFile, "File"},          {ResultsModel::ColSize, "Size"},
                       {ResultsModel::ColDate, "Date Modified"}, {ResultsModel::ColDirectory, "Directory"},
                       {ResultsModel::ColType, "Type"},          {ResultsModel::ColArchive, "Archive"}};
        for (const auto &col : columns) {
            for (bool ascending : {true, false}) {
                t.start();
                const double cpu = cpuSeconds();
                model.sortRows(col.column, ascending);
                std::printf("  %-13s %-10s %.3f s (CPU %.3f s)  first row: %s\n", col.name,
                            ascending ? "ascending" : "descending", t.nsecsElapsed() / 1e9,
                            cpuSeconds() - cpu, qPrintable(model.cellText(0, col.column)));
            }
        }
    }
    return 0;
}
