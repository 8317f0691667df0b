#pragma once

// Search results taken out as a table (see util/TableExport.h): the columns of the results list,
// the rows of a finished search in the window, or the rows of a search as the engine finds them.

#include "ResultsModel.h"
#include "SearchCriteria.h"
#include "SearchEngine.h"

#include "util/TableExport.h"

#include <functional>
#include <string>

namespace search {

// The results list's columns: Archive, Directory, File, Type, Date Modified, Size.
QList<TableExport::Column> resultColumns();
// What was looked for, in words, for the page's heading.
QString criteriaSummary(const SearchCriteria &c);

// Every row of the model in the order shown. progress(rowsDone) is asked now and then; false
// stops the export there and returns false.
bool exportResults(const ResultsModel &model, TableExport &table,
                   const std::function<bool(qint64)> &progress = {});

// Writes each row as the engine hands it on.
class ExportSink : public ResultSink
{
public:
    explicit ExportSink(TableExport &table) : m_table(table) {}
    void beginArchive(int id, const ArchiveInfo &archive) override;
    void addRow(const FoundRecord &row) override;

private:
    void text(QByteArrayView bytes);

    TableExport &m_table;
    QString m_mark;
};

} // namespace search
