#pragma once

// Builders for archive files as the disc walk writes them (and as damaged or foreign ones look),
// and a sink that keeps every row a search hands out.

#include "search/SearchEngine.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <cstdint>

namespace searchtest {

// A small repeatable generator for randomised tests: the same seed gives the same archives on
// every machine.
class Random
{
public:
    explicit Random(uint32_t seed) : m_seed(seed) {}
    uint32_t operator()(uint32_t n)
    {
        m_seed = m_seed * 1103515245u + 12345u;
        return (m_seed >> 8) % n;
    }

private:
    uint32_t m_seed;
};

struct Rec
{
    QByteArray folder;
    QByteArray name;
    QByteArray size = "100";
    QByteArray date = "950948495"; // 14/05/2008 10:20:30
};

struct Fields
{
    QByteArray mark = "CD No: 1";
    QByteArray files; // empty: the number of records
    QByteArray pars;  // empty: no APars line
    bool writeFiles = true;
};

// Records, then the archive fields in the writer's order; every line ends with eol.
QByteArray archiveBytes(const QList<Rec> &records, const Fields &fields = Fields(),
                        const QByteArray &eol = "\r\n");

// Writes an archive into folder/<name> and returns its full path.
QString writeArchive(const QString &folder, const QString &name, const QList<Rec> &records,
                     const Fields &fields = Fields(), const QByteArray &eol = "\r\n");

struct Row
{
    QString mark;
    QString path;
    QByteArray folder;
    QByteArray name;
    qint64 record = 0;
    qint64 size = 0;
    int32_t date = 0;
    bool sizeValid = false;
    bool dateValid = false;
};

class CollectSink : public search::ResultSink
{
public:
    void beginArchive(int id, const search::ArchiveInfo &archive) override;
    void addRow(const search::FoundRecord &row) override;
    QList<Row> rows;
    // "name" of every row, in order, for compact comparisons.
    QStringList names() const;

private:
    QList<search::ArchiveInfo> m_archives;
};

// Runs one search over a folder with the given criteria and returns the rows.
QList<Row> searchFolder(const QString &folder, const search::SearchCriteria &criteria,
                        search::SearchProblems *problems = nullptr, bool asciiFastPath = true);

} // namespace searchtest
