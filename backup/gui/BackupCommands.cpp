#include "BackupCommands.h"

#include "backup/CatalogBackup.h"
#include "backup/CatalogImportJob.h"
#include "catalog/ProgramCatalog.h"
#include "catalog/import/CatalogImport.h"
#include "fmImport.h"
#include "util/gUtils.h"
#include "util/gui/MessageBox.h"

#include <QCoreApplication>
#include <QDate>
#include <QDir>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QProgressDialog>
#include <QStandardPaths>

namespace {

ZipFileChooser &chooser()
{
    static ZipFileChooser c;
    return c;
}

// One of these commands at a time: the progress dialog lets events run, menus included.
bool g_running = false;

struct RunGuard
{
    RunGuard() { g_running = true; }
    ~RunGuard() { g_running = false; }
};

QString chooseZip(QWidget *parent, bool save, const QString &proposed)
{
    if (chooser())
        return chooser()(save, proposed);
    QFileDialog dialog(parent, QStringLiteral("Ambrylog"));
    dialog.setObjectName(save ? QStringLiteral("SaveDialog1") : QStringLiteral("OpenDialog1"));
    dialog.setNameFilter(QStringLiteral("Zip files (*.zip)"));
    dialog.setDefaultSuffix(QStringLiteral("zip"));
    dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    if (save)
        dialog.selectFile(proposed);
    else
        dialog.setDirectory(proposed);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return QString();
    return dialog.selectedFiles().constFirst();
}

std::function<int(TfrmImport &)> &importWindowHandler()
{
    static std::function<int(TfrmImport &)> h;
    return h;
}

// One filter per format, and all of them together first; the content decides in the end.
QString chooseCatalogFile(QWidget *parent, const QString &folder)
{
    if (chooser())
        return chooser()(false, folder);
    QStringList filters;
    QStringList all;
    for (const catimport::FormatInfo &f : catimport::formats()) {
        filters << QStringLiteral("%1 (%2)").arg(QString::fromLatin1(f.title),
                                                 QString::fromLatin1(f.patterns));
        for (const QString &p : QString::fromLatin1(f.patterns).split(QLatin1Char(' ')))
            if (!all.contains(p))
                all << p;
    }
    filters.removeDuplicates();
    filters.prepend(QStringLiteral("All supported (%1)").arg(all.join(QLatin1Char(' '))));
    filters << QStringLiteral("All files (*)");
    QFileDialog dialog(parent, QStringLiteral("Ambrylog"));
    dialog.setObjectName(QStringLiteral("OpenDialog1"));
    dialog.setNameFilters(filters);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setDirectory(folder);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return QString();
    return dialog.selectedFiles().constFirst();
}

QString documentsFolder()
{
    return backup::backupFolder(QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation),
                                QDir::homePath());
}

// A modal progress dialog with Cancel that the work reports to; events run between blocks,
// a few times a second.
class ProgressWindow
{
public:
    ProgressWindow(QWidget *parent, const QString &text)
        : m_dialog(text, QStringLiteral("Cancel"), 0, 1000, parent)
    {
        m_dialog.setObjectName(QStringLiteral("frmBackupProgress"));
        m_dialog.setWindowTitle(QStringLiteral("Ambrylog"));
        m_dialog.setWindowModality(Qt::WindowModal);
        m_dialog.setMinimumDuration(300);
        m_dialog.setAutoClose(false);
        m_dialog.setAutoReset(false);
        m_dialog.setValue(0);
        m_clock.start();
        m_progress.report = [this](const QString &step, qint64 done, qint64 total) {
            if (m_clock.elapsed() < 50 && step == m_step)
                return;
            m_clock.restart();
            if (step != m_step) {
                m_step = step;
                m_dialog.setLabelText(m_text.arg(step));
            }
            m_dialog.setValue(total > 0 ? int(qMin<qint64>(done, total) * 1000 / total) : 0);
            QCoreApplication::processEvents();
        };
        m_progress.stopRequested = [this] { return m_dialog.wasCanceled(); };
        m_text = text + QStringLiteral("\n%1...");
    }

    const Progress &progress() const { return m_progress; }
    void close() { m_dialog.close(); }

private:
    QProgressDialog m_dialog;
    QElapsedTimer m_clock;
    QString m_text, m_step;
    Progress m_progress;
};

// Runs work(progress) under a progress window and returns what it returns.
template <typename Work> auto withProgress(QWidget *parent, const QString &text, Work work)
{
    ProgressWindow window(parent, text);
    auto result = work(window.progress());
    window.close();
    return result;
}

// Whether the command goes on after a step: a failure is shown, Cancel ends it quietly.
bool goesOn(backup::Outcome outcome, const QString &error, QWidget *parent)
{
    if (outcome == backup::Outcome::Failed)
        showError(error, parent);
    return outcome == backup::Outcome::Done;
}

} // namespace

void setZipFileChooserForTesting(ZipFileChooser c)
{
    chooser() = std::move(c);
}

void setImportWindowHandlerForTesting(std::function<int(TfrmImport &)> handler)
{
    importWindowHandler() = std::move(handler);
}

void BackupArchivesToFile(QWidget *parent)
{
    if (g_running)
        return;
    RunGuard guard;
    QString zip = documentsFolder() + QLatin1Char('/') + backup::proposedBackupName(QDate::currentDate());
    backup::BackupResult result;
    for (;;) {
        zip = chooseZip(parent, true, zip);
        if (zip.isEmpty())
            return;
        result = withProgress(
            parent, QStringLiteral("Backing up the catalog to %1").arg(zip),
            [&](const Progress &p) { return backup::backupCatalog(catalog::programCatalog(), zip, p); });
        if (result.outcome != backup::Outcome::Failed)
            break;
        showError(result.error, parent);
        // A file that could not be written: the dialog comes back with the same choice, so the
        // user can pick another folder or name.
        if (result.nothingToBackUp)
            return;
    }
    if (result.outcome != backup::Outcome::Done)
        return;
    QString text = QStringLiteral("Backed up %1 to %2.")
                       .arg(countOf(result.archives, "archive", "archives"), QDir::toNativeSeparators(zip));
    if (!result.summary().isEmpty())
        text += QStringLiteral("\n\n") + result.summary();
    showMessage(text, parent);
}

void RestoreArchivesFromFile(QWidget *parent)
{
    if (g_running)
        return;
    RunGuard guard;
    const QString zip = chooseZip(parent, false, documentsFolder());
    if (zip.isEmpty())
        return;
    backup::RestoreJob job(catalog::programCatalog(), zip);
    const backup::Outcome outcome = withProgress(parent, QStringLiteral("Checking the backup %1").arg(zip),
                                                 [&](const Progress &p) { return job.prepare(p); });
    if (!goesOn(outcome, job.error(), parent))
        return;
    if (!askConfirm(job.question(), parent))
        return;
    Progress waiting; // another writer may hold the catalog for a moment
    waiting.report = [](const QString &, qint64, qint64) { QCoreApplication::processEvents(); };
    if (job.commit(waiting) != backup::Outcome::Done) {
        showError(job.error(), parent);
        return;
    }
    showMessage(job.summary(), parent);
}

void MergeArchivesFromFile(QWidget *parent)
{
    if (g_running)
        return;
    RunGuard guard;
    const QString zip = chooseZip(parent, false, documentsFolder());
    if (zip.isEmpty())
        return;
    const backup::MergeResult result =
        withProgress(parent, QStringLiteral("Merging archives from %1").arg(zip), [&](const Progress &p) {
            return backup::mergeArchives(catalog::programCatalog(), zip, p);
        });
    if (!goesOn(result.outcome, result.error, parent))
        return;
    showMessage(result.summary(), parent);
}

void ImportFromOtherCatalog(QWidget *parent)
{
    if (g_running)
        return;
    RunGuard guard;
    const QString path = chooseCatalogFile(parent, documentsFolder());
    if (path.isEmpty())
        return;
    QString why;
    const std::optional<catimport::Format> format = backup::recogniseImportFormat(path, &why);
    if (!format) {
        showError(why, parent);
        return;
    }
    backup::ImportSource source{path, *format, catimport::DateOrder::Unknown};
    const backup::ImportSurvey survey =
        withProgress(parent, QStringLiteral("Reading %1").arg(QDir::toNativeSeparators(path)),
                     [&](const Progress &p) { return backup::surveyImport(source, p); });
    if (!goesOn(survey.outcome, survey.error, parent))
        return;

    TfrmImport window(survey, QString::fromLatin1(catimport::formatInfo(*format).title), path, parent);
    const int answer = importWindowHandler() ? importWindowHandler()(window) : window.exec();
    if (answer != QDialog::Accepted)
        return;
    source.dateOrder = window.dateOrder();
    const backup::ImportChoice choice = window.choice();
    const backup::ImportResult result =
        withProgress(parent, QStringLiteral("Importing from %1").arg(QDir::toNativeSeparators(path)),
                     [&](const Progress &p) {
                         return backup::importCatalog(catalog::programCatalog(), source, choice, p);
                     });
    if (!goesOn(result.outcome, result.error, parent))
        return;
    showMessage(result.summary(), parent);
}
