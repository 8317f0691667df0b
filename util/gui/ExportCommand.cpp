#include "ExportCommand.h"

#include "MessageBox.h"

#include "util/AmbryError.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QProgressDialog>
#include <QStandardPaths>

#include <memory>

namespace {

ExportFileChooser &chooser()
{
    static ExportFileChooser c;
    return c;
}

const QString CsvFilter = QStringLiteral("CSV for a spreadsheet (*.csv)");
const QString HtmlFilter = QStringLiteral("HTML page (*.html *.htm)");

QString chooseFile(QWidget *parent, const QString &proposed)
{
    if (chooser())
        return chooser()(proposed);
    QFileDialog dialog(parent, QStringLiteral("Export"));
    dialog.setObjectName(QStringLiteral("ExportDialog1"));
    dialog.setNameFilters({CsvFilter, HtmlFilter});
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setDefaultSuffix(QStringLiteral("csv"));
    // The ending follows the type chosen, so the name says what the file holds.
    QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog, [&dialog](const QString &filter) {
        dialog.setDefaultSuffix(filter == HtmlFilter ? QStringLiteral("html") : QStringLiteral("csv"));
    });
    dialog.selectFile(proposed);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return QString();
    QString name = dialog.selectedFiles().constFirst();
    if (!exportFormatOfName(name))
        name += dialog.selectedNameFilter() == HtmlFilter ? QStringLiteral(".html") : QStringLiteral(".csv");
    return name;
}

QString documentsFolder()
{
    const QString docs = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    return docs.isEmpty() ? QDir::homePath() : docs;
}

} // namespace

void setExportFileChooserForTesting(ExportFileChooser c)
{
    chooser() = std::move(c);
}

bool exportCommand(QWidget *parent, const ExportRequest &request)
{
    const QString fileName =
        chooseFile(parent, documentsFolder() + QLatin1Char('/') +
                               QString(request.proposedName).replace(QLatin1Char('/'), QLatin1Char('-')) +
                               QStringLiteral(".csv"));
    if (fileName.isEmpty())
        return false;
    // A name without a known ending is written as CSV, the dialog's first type.
    const ExportFormat format = exportFormatOfName(fileName).value_or(ExportFormat::Csv);

    std::unique_ptr<QProgressDialog> bar;
    if (request.rows > ExportProgressFrom) {
        bar = std::make_unique<QProgressDialog>(QStringLiteral("Exporting %1 rows...").arg(request.rows),
                                                QStringLiteral("Cancel"), 0, 1000, parent);
        bar->setObjectName(QStringLiteral("frmExportProgress"));
        bar->setWindowTitle(QStringLiteral("Ambrylog"));
        bar->setWindowModality(Qt::WindowModal);
        bar->setMinimumDuration(300);
        bar->setAutoClose(false);
        bar->setAutoReset(false);
        bar->setValue(0);
    }
    QElapsedTimer clock;
    clock.start();
    const auto progress = [&](qint64 done) {
        if (!bar)
            return true;
        if (clock.elapsed() >= 50) {
            clock.restart();
            bar->setValue(request.rows > 0 ? int(qMin(done, request.rows) * 1000 / request.rows) : 0);
            QCoreApplication::processEvents();
        }
        return !bar->wasCanceled();
    };
    try {
        const bool written =
            writeTableFile(fileName, format, request.columns, request.heading,
                           [&](TableExport &table) { return request.fill(table, progress); });
        return written;
    } catch (const AmbryError &e) {
        bar.reset();
        showError(e.message(), parent);
        return false;
    }
}
