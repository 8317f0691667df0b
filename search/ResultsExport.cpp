#include "ResultsExport.h"

#include "DateText.h"

#include "catalog/DosDateTime.h"
#include "util/gUtils.h"

namespace search {

QList<TableExport::Column> resultColumns()
{
    QList<TableExport::Column> columns;
    for (int c = 0; c < ResultsModel::ColumnCount; ++c)
        columns.append({ResultsModel().headerData(c, Qt::Horizontal).toString(), c == ResultsModel::ColSize});
    return columns;
}

QString criteriaSummary(const SearchCriteria &c)
{
    QStringList parts;
    parts << (c.searchText.trimmed().isEmpty() ? QStringLiteral("Every file")
                                               : QStringLiteral("Searched for \"%1\"").arg(c.searchText));
    if (!c.OnlyMark.isEmpty())
        parts << QStringLiteral("only on \"%1\"").arg(c.OnlyMark);
    if (c.AdvancedMode) {
        QStringList in;
        if (c.marks)
            in << QStringLiteral("marks");
        if (c.dirs)
            in << QStringLiteral("directories");
        if (c.files)
            in << QStringLiteral("files");
        if (c.types)
            in << QStringLiteral("types");
        parts << QStringLiteral("in ") + in.join(QStringLiteral(", "));
        if (c.caseSensitive)
            parts << QStringLiteral("letter case counts");
        if (c.dateActive)
            parts << QStringLiteral("modified %1 to %2")
                         .arg(formatPackedDate(c.DateFrom), formatPackedDate(c.DateTo));
        if (c.sizeActive)
            parts << QStringLiteral("size %1 %2 bytes")
                         .arg(c.sizeAtMost ? QStringLiteral("at most") : QStringLiteral("at least"),
                              FormatGroupedNumber(c.SizeLimit));
    }
    return parts.join(QStringLiteral("; "));
}

bool exportResults(const ResultsModel &model, TableExport &table, const std::function<bool(qint64)> &progress)
{
    const bool shown = table.wantsShownText();
    const int rows = model.rowCount();
    for (int r = 0; r < rows; ++r) {
        if (progress && r % 2048 == 0 && !progress(r))
            return false;
        for (int c : {ResultsModel::ColArchive, ResultsModel::ColDirectory, ResultsModel::ColFile,
                      ResultsModel::ColType})
            table.cell(model.cellText(r, c));
        const bool dateShown = model.dateModified(r).isValid();
        if (shown) {
            table.cell(model.cellText(r, ResultsModel::ColDate));
            table.cell(model.cellText(r, ResultsModel::ColSize));
        } else {
            if (dateShown)
                table.cell(dosdate::isoText(model.packedDate(r)));
            else
                table.emptyCell();
            if (model.sizeShown(r))
                table.cell(model.size(r));
            else
                table.emptyCell();
        }
        table.endRow();
    }
    if (progress)
        progress(rows);
    return true;
}

void ExportSink::beginArchive(int, const ArchiveInfo &archive)
{
    m_mark = archive.mark;
}

// Archive bytes go out as they are when they are UTF-8, else decoded as every reader decodes.
void ExportSink::text(QByteArrayView bytes)
{
    if (isValidUtf8(reinterpret_cast<const unsigned char *>(bytes.data()), size_t(bytes.size())))
        m_table.cellUtf8(bytes);
    else
        m_table.cell(decodeArchiveText(bytes));
}

void ExportSink::addRow(const FoundRecord &r)
{
    m_table.cell(m_mark);
    text(r.folder);
    text(r.name);
    const QByteArrayView type = typePart(r.name);
    if (type.isEmpty())
        m_table.emptyCell();
    else
        text(type.sliced(1));
    // As the list shows them: a date that cannot be shown empties the size too.
    if (!r.dateValid) {
        m_table.emptyCell();
        m_table.emptyCell();
    } else if (m_table.wantsShownText()) {
        m_table.cell(formatPackedDate(r.date));
        m_table.cell(r.sizeValid ? FormatGroupedNumber(r.size) : QString());
    } else {
        m_table.cell(dosdate::isoText(r.date));
        if (r.sizeValid)
            m_table.cell(r.size);
        else
            m_table.emptyCell();
    }
    m_table.endRow();
}

} // namespace search
