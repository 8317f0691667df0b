#include "CatalogBackup.h"

#include "ArchiveStaging.h"
#include "catalog/Archive.h"
#include "catalog/ArchiveFieldValues.h"
#include "catalog/ArchiveWriter.h"
#include "catalog/Catalog.h"
#include "catalog/CatalogLock.h"
#include "catalog/CatalogSwap.h"
#include "util/AmbryError.h"
#include "util/NativePath.h"
#include "util/OutputFile.h"
#include "util/PosixFile.h"
#include "util/gUtils.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSet>

#include <climits>
#include <optional>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zip.h>

namespace backup {

namespace {

// A name from the command line may hold bytes that are not UTF-8: they reach the system as given.
QByteArray enc(const QString &path)
{
    return nativePath(path);
}


QStringList damagedLines(const QList<DamagedArchive> &damaged)
{
    QStringList lines;
    for (const DamagedArchive &d : damaged)
        lines.append(QStringLiteral("%1 (%2)").arg(d.name, d.reason));
    return lines;
}

// Why the archive reader takes an archive for damaged (records judged too); empty when sound.
QString damageOf(const QString &path)
{
    const ArchiveFieldValues values = readArchiveFields(path, true);
    return values.state == ArchiveFieldValues::State::Sound ? QString() : values.problem;
}

// The staging side of restore and merge: entries written below one folder.
class Unpacker
{
public:
    Unpacker(const ZipReader &zip, const ZipPlan &plan, const Progress &progress)
        : m_zip(zip), m_plan(plan), m_progress(progress)
    {
        for (const ZipEntry &e : plan.archives)
            m_total += e.size;
    }

    // Writes the entry to path (its folders made as needed), with the entry's time. False when
    // cancelled; throws AmbryError on a refused entry or a write error.
    bool unpack(const ZipEntry &entry, const QString &path)
    {
        const QString folder = QFileInfo(path).absolutePath();
        if (!QDir().mkpath(folder))
            throw AmbryError(QStringLiteral("Cannot create the folder \"%1\".").arg(folder));
        const UniqueFd fd(
            openRetrying(enc(path).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0666));
        if (!fd.isValid())
            throw AmbryError(QStringLiteral("Cannot create file \"%1\". %2").arg(path, errnoText(errno)));
        int writeError = 0;
        const bool whole = m_zip.read(entry, m_plan, &m_unpacked, [&](const char *data, qsizetype size) {
            if (!writeFull(fd.get(), data, size_t(size))) {
                writeError = errno;
                return false;
            }
            return !m_progress.stopped();
        });
        if (writeError)
            throw AmbryError(QStringLiteral("Cannot write file \"%1\". %2").arg(path, errnoText(writeError)));
        if (!whole)
            return false;
        if (entry.mtime >= 0) {
            const timespec times[2] = {{0, UTIME_OMIT}, {time_t(entry.mtime), 0}};
            ::futimens(fd.get(), times);
        }
        m_done += entry.size;
        m_progress.show(QStringLiteral("Reading"), m_done, m_total);
        return true;
    }

private:
    const ZipReader &m_zip;
    const ZipPlan &m_plan;
    const Progress &m_progress;
    qint64 m_unpacked = 0;
    qint64 m_done = 0;
    qint64 m_total = 0;
};

QString noArchivesText(const QString &zipPath)
{
    return QStringLiteral("The zip file \"%1\" holds no archives (\"%2\" files).")
        .arg(zipPath, catalog::Catalog::ArchiveMask);
}

// Where the old catalog is kept: beside the folder the catalog path leads to (a link to the
// catalog stays a link, to the restored catalog).
QString keptPath(const catalog::Catalog &catalog, const QDateTime &when)
{
    return QFileInfo(catalog::catalogFolderBehindLinks(catalog.folder())).absolutePath() + QLatin1Char('/') +
           catalog::keptFolderName(when);
}

} // namespace

QString listText(const QString &heading, const QStringList &items, qsizetype shown)
{
    if (items.isEmpty())
        return QString();
    QString text = QStringLiteral("\n\n") + heading;
    for (qsizetype i = 0; i < items.size() && i < shown; ++i)
        text += QLatin1Char('\n') + items.at(i);
    if (items.size() > shown)
        text += QStringLiteral("\n... %1 in all.").arg(items.size());
    return text;
}

// ---------------------------------------------------------------------------------------------
// Backup

QString proposedBackupName(const QDate &date)
{
    return QStringLiteral("Ambrylog backup ") + date.toString(QStringLiteral("yyyy-MM-dd")) +
           QStringLiteral(".zip");
}

QString backupFolder(const QString &documents, const QString &home)
{
    return !documents.isEmpty() && QFileInfo(documents).isDir() ? documents : home;
}

QString BackupResult::summary() const
{
    const QString text =
        listText(QStringLiteral("These archives could not be backed up (their path cannot "
                                "be a name in a zip file):"),
                 skipped) +
        listText(QStringLiteral("These folders of the catalog could not be read; the "
                                "archives in them are not in the backup:"),
                 unlisted) +
        listText(QStringLiteral("These archives are damaged and were backed up as they are:"),
                 damagedLines(damaged));
    return text.trimmed();
}

namespace {

struct CloseState
{
    const Progress *progress;
    bool cancelled = false;
};

void onZipProgress(zip_t *, double done, void *state)
{
    static_cast<CloseState *>(state)->progress->show(QStringLiteral("Writing"), qint64(done * 1000), 1000);
}

int onZipCancel(zip_t *, void *state)
{
    auto *s = static_cast<CloseState *>(state);
    s->cancelled = s->cancelled || s->progress->stopped();
    return s->cancelled ? 1 : 0;
}

} // namespace

BackupResult backupCatalog(const catalog::Catalog &catalog, const QString &zipPath, const Progress &progress,
                           const QDateTime &now, const OutputFile::StandardOutput &standardOutput)
{
    BackupResult result;
    const QString &root = catalog.folder();
    struct Item
    {
        QString path, name;
        qint64 size;
        qint64 mtime;
    };
    QList<Item> items;
    UnreadableArchives unlisted;
    // The walk itself is not cancelled: Cancel counts from the writing on.
    catalog.walk(
        [&](const QString &path) {
            const QString name = path.mid(root.size());
            if (!entryNameProblem(name.toUtf8()).isEmpty()) {
                result.skipped.append(name);
                return true;
            }
            const QFileInfo info(path);
            items.append({path, name, info.size(), info.lastModified().toSecsSinceEpoch()});
            if (const QString reason = damageOf(path); !reason.isEmpty())
                result.damaged.append({name, reason});
            return true;
        },
        {}, &unlisted);
    for (const UnreadableArchive &u : unlisted)
        result.unlisted.append(QStringLiteral("%1 (%2)").arg(u.path, u.reason));
    if (items.isEmpty()) {
        result.error = QStringLiteral("The catalog holds no archives to back up.");
        result.nothingToBackUp = true;
        return result;
    }

    std::optional<OutputFile> target;
    try {
        target.emplace(zipPath, OutputFile::Writing::ByPath, standardOutput);
    } catch (const AmbryError &e) {
        result.error = e.message();
        return result;
    }
    const QString targetPath =
        target->isStandardOutput() ? QStringLiteral("standard output") : target->targetPath();
    const QByteArray tempPath = enc(target->temporaryPath());

    int code = 0;
    zip_t *z = zip_open(tempPath.constData(), ZIP_TRUNCATE, &code);
    if (!z) {
        zip_error_t error;
        zip_error_init_with_code(&error, code);
        result.error = QStringLiteral("Cannot create file \"%1\". %2")
                           .arg(targetPath, QString::fromLocal8Bit(zip_error_strerror(&error)));
        zip_error_fini(&error);
        return result;
    }
    const auto zipFailure = [&](const QString &what) {
        result.error = QStringLiteral("Cannot write \"%1\": %2 %3")
                           .arg(targetPath, what, QString::fromLocal8Bit(zip_strerror(z)));
        zip_discard(z);
        return result;
    };
    for (const Item &item : std::as_const(items)) {
        zip_source_t *source = zip_source_file(z, enc(item.path).constData(), 0, -1);
        if (!source)
            return zipFailure(item.path);
        const zip_int64_t index = zip_file_add(z, item.name.toUtf8().constData(), source, ZIP_FL_ENC_UTF_8);
        if (index < 0) {
            zip_source_free(source);
            return zipFailure(item.name);
        }
        if (zip_set_file_compression(z, zip_uint64_t(index), ZIP_CM_DEFLATE, kBackupCompressionLevel) != 0 ||
            zip_file_set_mtime(z, zip_uint64_t(index), time_t(item.mtime), 0) != 0)
            return zipFailure(item.name);
    }
    const QDateTime at = now.isValid() ? now : QDateTime::currentDateTime();
    const QByteArray comment = QStringLiteral("Ambrylog catalog backup of %1, %2")
                                   .arg(at.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")),
                                        countOf(items.size(), "archive", "archives"))
                                   .toUtf8();
    zip_set_archive_comment(z, comment.constData(), zip_uint16_t(comment.size()));

    CloseState state{&progress};
    zip_register_progress_callback_with_state(z, 0.001, onZipProgress, nullptr, &state);
    zip_register_cancel_callback_with_state(z, onZipCancel, nullptr, &state);
    if (zip_close(z) != 0) {
        if (state.cancelled) {
            zip_discard(z);
            result.outcome = Outcome::Cancelled;
            return result;
        }
        return zipFailure(QString());
    }

    // Read back what was written: every entry, every CRC.
    try {
        const auto written = ZipReader::open(target->temporaryPath());
        ZipLimits limits;
        const ZipPlan plan = written->plan(limits);
        if (plan.archives.size() != items.size())
            throw AmbryError(QStringLiteral("The written zip file holds %1 instead of %2.")
                                 .arg(countOf(plan.archives.size(), "archive", "archives"))
                                 .arg(items.size()));
        qint64 unpacked = 0, done = 0;
        for (const ZipEntry &entry : plan.archives) {
            const bool whole = written->read(entry, plan, &unpacked, [&](const char *, qsizetype size) {
                done += size;
                return !progress.stopped();
            });
            if (!whole) {
                result.outcome = Outcome::Cancelled;
                return result;
            }
            progress.show(QStringLiteral("Checking"), done, plan.declaredTotal);
        }
    } catch (const AmbryError &e) {
        result.error = QStringLiteral("The backup could not be checked, so \"%1\" was not written. %2")
                           .arg(targetPath, e.message());
        return result;
    }

    try {
        target->commit();
    } catch (const AmbryError &e) {
        result.error = e.message();
        return result;
    }
    result.outcome = Outcome::Done;
    result.archives = int(items.size());
    return result;
}

// ---------------------------------------------------------------------------------------------
// Restore

RestoreJob::RestoreJob(catalog::Catalog catalog, QString zipPath, ZipLimits limits)
    : m_catalog(std::move(catalog)), m_zip(std::move(zipPath)), m_limits(limits)
{}

RestoreJob::~RestoreJob() = default;

Outcome RestoreJob::prepare(const Progress &progress)
{
    m_error.clear();
    m_refused.clear();
    m_damaged.clear();
    m_staging.reset();
    try {
        const auto zip = ZipReader::open(m_zip);
        const ZipPlan plan = zip->plan(m_limits);
        if (plan.archives.isEmpty())
            throw AmbryError(noArchivesText(m_zip));
        auto staging = std::make_unique<catalog::StagingFolder>(m_catalog.folder(), "restore");
        Unpacker unpacker(*zip, plan, progress);
        for (const ZipEntry &entry : plan.archives) {
            if (progress.stopped() || !unpacker.unpack(entry, staging->path() + entry.name))
                return Outcome::Cancelled; // the staging folder goes with it
        }
        for (const ZipEntry &entry : plan.archives) {
            const QString reason = damageOf(staging->path() + entry.name);
            if (!reason.isEmpty())
                m_damaged.append({entry.name, reason});
        }
        m_staging = std::move(staging);
        m_archives = int(plan.archives.size());
        m_refused = plan.refused;
        m_kept = keptPath(m_catalog, QDateTime::currentDateTime());
        return Outcome::Done;
    } catch (const AmbryError &e) {
        m_error = e.message();
        return Outcome::Failed;
    }
}

Outcome RestoreJob::commit(const Progress &progress, const QDateTime &now)
{
    if (!m_staging) {
        m_error = QStringLiteral("Nothing to restore.");
        return Outcome::Failed;
    }
    try {
        // The name the question gave, unless the caller says when it is.
        if (now.isValid())
            m_kept = keptPath(m_catalog, now);
        underCatalogLock(m_catalog, progress, [&] {
            const QString staging = m_staging->path();
            m_staging->release(); // the swap owns it now
            m_staging.reset();
            // A catalog folder removed meanwhile is swapped as an empty one.
            QDir().mkpath(m_catalog.folder());
            m_kept = catalog::swapInCatalog(m_catalog.folder(), staging, m_kept);
        });
        return Outcome::Done;
    } catch (const AmbryError &e) {
        m_staging.reset(); // a refused restore leaves nothing behind
        m_error = e.message();
        return Outcome::Failed;
    }
}

QString RestoreJob::question() const
{
    const QString folder = QFileInfo(m_kept).absolutePath();
    return QStringLiteral("The catalog will be replaced by the %1 of the backup \"%2\".\n\n"
                          "The current catalog will be kept as \"%3\" in %4.\n\n"
                          "Restore the catalog?")
        .arg(countOf(m_archives, "archive", "archives"), m_zip, QFileInfo(m_kept).fileName(), folder);
}

QString RestoreJob::summary() const
{
    return QStringLiteral("Restored %1.").arg(countOf(m_archives, "archive", "archives")) +
           listText(QStringLiteral("These entries are no archives and were not restored:"), m_refused) +
           listText(QStringLiteral("These archives are damaged and were restored as they are:"),
                    damagedLines(m_damaged));
}

// ---------------------------------------------------------------------------------------------
// Merge

QString MergeResult::summary() const
{
    QString text = QStringLiteral("Added %1; %2 skipped as already in the catalog.")
                       .arg(countOf(added.size(), "archive", "archives"))
                       .arg(present.size());
    text += listText(QStringLiteral("Skipped:"), present);
    QStringList names;
    for (const auto &[from, to] : placed)
        names.append(QStringLiteral("%1 as %2").arg(from, to));
    text += listText(QStringLiteral("Added under the name of their records' checksum:"), names);
    QStringList marks;
    for (const auto &[from, to] : renamed)
        marks.append(QStringLiteral("\"%1\" is now \"%2\"").arg(from, to));
    text += listText(QStringLiteral("Marks already in use were renamed:"), marks);
    QStringList numbers;
    for (const auto &[from, to] : renumbered)
        numbers.append(QStringLiteral("%1 is now %2").arg(from).arg(to));
    text += listText(QStringLiteral("Archive numbers already in use were changed:"), numbers);
    text += listText(QStringLiteral("These entries were refused:"), refused);
    text += listText(QStringLiteral("These archives are damaged and were added as they are:"),
                     damagedLines(damaged));
    return text;
}

MergeResult mergeArchives(const catalog::Catalog &catalog, const QString &zipPath, const Progress &progress,
                          const ZipLimits &limits)
{
    MergeResult result;
    try {
        const auto zip = ZipReader::open(zipPath);
        const ZipPlan plan = zip->plan(limits);
        result.refused = plan.refused;
        if (plan.archives.isEmpty())
            throw AmbryError(noArchivesText(zipPath));

        result.outcome = underCatalogLock(catalog, progress, [&] {
            ArchiveIntake intake(catalog, "merge");
            Unpacker unpacker(*zip, plan, progress);
            for (const ZipEntry &entry : plan.archives) {
                if (progress.stopped() || !unpacker.unpack(entry, intake.scratchPath()))
                    return Outcome::Cancelled;
                const IntakeVerdict v = intake.offer(entry.name);
                switch (v.kind) {
                case IntakeVerdict::Kind::Present:
                case IntakeVerdict::Kind::Duplicate:
                    result.present.append(QStringLiteral("%1 (%2)").arg(entry.name, v.reason));
                    continue;
                case IntakeVerdict::Kind::Refused:
                    result.refused.append(QStringLiteral("%1 (%2)").arg(entry.name, v.reason));
                    continue;
                case IntakeVerdict::Kind::Added:
                    break;
                }
                result.added.append(entry.name);
                if (v.fileName != entry.name.section(QLatin1Char('/'), -1))
                    result.placed.append({entry.name, v.fileName});
                if (!v.newMark.isEmpty())
                    result.renamed.append({v.oldMark, v.newMark});
                if (v.newNumber > 0)
                    result.renumbered.append({v.oldNumber, v.newNumber});
                if (!v.damage.isEmpty())
                    result.damaged.append({entry.name, v.damage});
            }
            if (progress.stopped())
                return Outcome::Cancelled;
            intake.commit();
            return Outcome::Done;
        });
    } catch (const AmbryError &e) {
        result.outcome = Outcome::Failed;
        result.error = e.message();
    }
    if (result.outcome != Outcome::Done) {
        result.added.clear();
        result.present.clear();
        result.placed.clear();
        result.renamed.clear();
        result.renumbered.clear();
        result.damaged.clear();
    }
    return result;
}

} // namespace backup
