#pragma once

#include "util/TableExport.h"

#include <functional>

class QWidget;

// What a list window's Export... takes out.
struct ExportRequest
{
    QString proposedName; // the file name offered, without its ending
    qint64 rows = 0;
    QList<TableExport::Column> columns;
    TableExport::Heading heading;
    // Adds the rows, asking progress(rowsDone) now and then; false when it said stop.
    std::function<bool(TableExport &table, const std::function<bool(qint64)> &progress)> fill;
};

// Export...: asks where (CSV or HTML, by the type chosen or the name's ending), then writes the
// file whole or not at all, under a progress bar with Cancel when the rows are more than a few
// thousand. A failure is told. True when the file was written.
bool exportCommand(QWidget *parent, const ExportRequest &request);

// Tests answer the file dialog: called with the proposed path, an empty answer is Cancel.
using ExportFileChooser = std::function<QString(const QString &proposed)>;
void setExportFileChooserForTesting(ExportFileChooser chooser);
// Rows from which the progress bar is shown.
inline constexpr qint64 ExportProgressFrom = 5000;
