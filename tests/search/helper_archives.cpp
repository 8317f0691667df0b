#include "helper_archives.h"

#include "TestSupport.h"

#include <QDir>

namespace searchtest {

QByteArray archiveBytes(const QList<Rec> &records, const Fields &fields, const QByteArray &eol)
{
    QByteArray out;
    qint64 total = 0;
    for (const Rec &r : records) {
        out += r.folder + eol + r.name + eol + r.size + eol + r.date + eol;
        total += r.size.toLongLong();
    }
    out += "ADate=979544548" + eol;
    out += "AMark=" + fields.mark + eol;
    out += "ALocation=Shelf A" + eol;
    out += "ACRC=450495" + eol;
    if (fields.writeFiles)
        out += "AFiles=" + (fields.files.isNull() ? QByteArray::number(records.size()) : fields.files) + eol;
    out += "ADirs=1" + eol;
    out += "ANote=" + eol;
    out += "ASize=" + QByteArray::number(total) + eol;
    out += "ANumber=7" + eol;
    if (!fields.pars.isNull())
        out += "APars=" + fields.pars + eol;
    out += "ASource=CD/DVD" + eol + "APicture=" + eol + "AEnd=EndTag" + eol;
    return out;
}

QString writeArchive(const QString &folder, const QString &name, const QList<Rec> &records,
                     const Fields &fields, const QByteArray &eol)
{
    const QString path = QDir(folder).filePath(name);
    ambrytest::writeFile(path, archiveBytes(records, fields, eol));
    return path;
}

void CollectSink::beginArchive(int id, const search::ArchiveInfo &archive)
{
    while (m_archives.size() <= id)
        m_archives.append(search::ArchiveInfo());
    m_archives[id] = archive;
}

void CollectSink::addRow(const search::FoundRecord &r)
{
    Row row;
    row.mark = m_archives.value(r.archiveId).mark;
    row.path = m_archives.value(r.archiveId).path;
    row.folder = r.folder.toByteArray();
    row.name = r.name.toByteArray();
    row.record = r.record;
    row.size = r.size;
    row.date = r.date;
    row.sizeValid = r.sizeValid;
    row.dateValid = r.dateValid;
    rows.append(row);
}

QStringList CollectSink::names() const
{
    QStringList out;
    for (const Row &r : rows)
        out.append(QString::fromUtf8(r.name));
    return out;
}

QList<Row> searchFolder(const QString &folder, const search::SearchCriteria &criteria,
                        search::SearchProblems *problems, bool asciiFastPath)
{
    CollectSink sink;
    search::SearchEngine engine(criteria, sink);
    engine.setAsciiFastPath(asciiFastPath);
    engine.SearchArchive(catalog::Catalog(folder));
    if (problems)
        *problems = engine.problems();
    return sink.rows;
}

} // namespace searchtest
