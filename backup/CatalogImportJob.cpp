#include "CatalogImportJob.h"

#include "ArchiveStaging.h"
#include "catalog/ArchiveText.h"
#include "catalog/import/CatalogImport.h"
#include "util/AmbryError.h"
#include "util/gUtils.h"

#include <QDateTime>

namespace backup {

namespace {

catimport::Options readOptions(const ImportSource &source, const Progress &progress, bool countOnly)
{
    catimport::Options options;
    options.dateOrder = source.dateOrder;
    options.countOnly = countOnly;
    options.progress = progress;
    return options;
}

QString counted(qint64 n, const char *one, const char *many)
{
    return FormatGroupedNumber(n) + QLatin1Char(' ') + QLatin1String(n == 1 ? one : many);
}

} // namespace

std::optional<catimport::Format> recogniseImportFormat(const QString &path, QString *why)
{
    if (path == QLatin1String("-")) {
        *why = QStringLiteral("Standard input is read only once, so its format cannot be recognised: "
                              "name it with --format.");
        return std::nullopt;
    }
    return catimport::detectFormat(path, why);
}

ImportSurvey surveyImport(const ImportSource &source, const Progress &progress)
{
    ImportSurvey survey;
    const catimport::ReadOutcome read = catimport::readVolumes(
        source.path, source.format, readOptions(source, progress, true), [&](catimport::Volume &&v) {
            survey.ambiguousDates = survey.ambiguousDates || v.ambiguousDates;
            survey.volumes.append(std::move(v));
            return true;
        });
    if (read.cancelled) {
        survey.outcome = Outcome::Cancelled;
        survey.volumes.clear();
        return survey;
    }
    if (!read.error.isEmpty() && survey.volumes.isEmpty()) {
        survey.error = read.error;
        return survey;
    }
    survey.damage = read.error;
    if (survey.volumes.isEmpty()) {
        survey.error = QStringLiteral("The file holds no volumes.");
        return survey;
    }
    survey.outcome = Outcome::Done;
    return survey;
}

qint64 ImportResult::files() const
{
    qint64 n = 0;
    for (const Disc &d : added)
        n += d.files;
    return n;
}

QString ImportResult::summary() const
{
    QString text = QStringLiteral("Imported %1 (%2).")
                       .arg(counted(added.size(), "disc", "discs"), counted(files(), "file", "files"));
    if (!present.isEmpty())
        text += QStringLiteral(" %1 skipped: already in the catalog.").arg(present.size());
    QStringList refusedLines;
    for (const Disc &d : refused)
        refusedLines << QStringLiteral("%1: %2").arg(d.name.isEmpty() ? QStringLiteral("(no name)") : d.name,
                                                     d.mark);
    text += listText(QStringLiteral("These volumes were not imported:"), refusedLines);
    if (!damage.isEmpty())
        text += QStringLiteral("\n\nThe file is damaged; only the volumes before the damage were read: ") +
                damage;
    const QString dropped = catimport::droppedText(this->dropped);
    if (!dropped.isEmpty())
        text +=
            QStringLiteral("\n\nLeft out, as archives have no place for them: ") + dropped + QLatin1Char('.');
    text += listText(QStringLiteral("Taken, but not as the file has it:"), warnings, 5);
    return text;
}

ImportResult importCatalog(const catalog::Catalog &catalog, const ImportSource &source,
                           const ImportChoice &choice, const Progress &progress)
{
    ImportResult result;
    const QDateTime now = QDateTime::currentDateTime();
    auto run = [&]() -> Outcome {
        NewArchiveStaging staging(catalog, "import", !choice.dryRun);
        qint64 index = -1;
        const catimport::ReadOutcome read = catimport::readVolumes(
            source.path, source.format, readOptions(source, progress, false), [&](catimport::Volume &&v) {
                ++index;
                if (!choice.all && !choice.marks.contains(index))
                    return true;
                ImportResult::Disc disc{v.name, QString(), v.files};
                if (!v.sound()) {
                    disc.mark = v.refusal;
                    result.refused.append(disc);
                    return true;
                }
                QString mark = choice.marks.value(index);
                if (trimControls(mark).isEmpty())
                    mark = choice.markPrefix + v.name;
                if (trimControls(mark).isEmpty()) {
                    disc.mark =
                        QStringLiteral("The volume has no name to mark it with (give a mark prefix).");
                    result.refused.append(disc);
                    return true;
                }
                if (v.files == 0) {
                    disc.mark = QStringLiteral("It holds no files.");
                    result.refused.append(disc);
                    return true;
                }
                ArchiveFields fields;
                fields.mark = mark;
                fields.location = v.location;
                fields.note = v.note;
                fields.files = v.files;
                fields.dirs = v.folders;
                fields.size = v.bytes;
                fields.savedAt = v.archivedAt.isValid() ? v.archivedAt : now;
                fields.source = archivesource::Imported;
                const NewArchiveStaging::Staged staged = staging.stage(v.records, fields);
                disc.mark = staged.mark;
                (staged.present ? result.present : result.added).append(disc);
                if (!staged.present) {
                    result.dropped += v.dropped;
                    for (const QString &w : std::as_const(v.warnings))
                        result.warnings << QStringLiteral("%1: %2").arg(staged.mark, w);
                }
                return true;
            });
        if (read.cancelled || progress.stopped())
            return Outcome::Cancelled;
        if (!read.error.isEmpty()) {
            if (index < 0)
                throw AmbryError(read.error);
            result.damage = read.error;
        }
        if (!choice.dryRun) {
            progress.show(QStringLiteral("Moving the new archives into the catalog"), 0, 0);
            staging.commit();
        }
        return Outcome::Done;
    };
    try {
        result.outcome = choice.dryRun ? run() : underCatalogLock(catalog, progress, run);
    } catch (const AmbryError &e) {
        result.outcome = Outcome::Failed;
        result.error = e.message();
    }
    if (result.outcome != Outcome::Done) {
        result.added.clear();
        result.present.clear();
        result.refused.clear();
        result.warnings.clear();
        result.dropped = {};
        result.damage.clear();
    }
    return result;
}

} // namespace backup
