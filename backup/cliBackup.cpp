#include "cliBackup.h"

#include "CatalogBackup.h"
#include "CatalogImportJob.h"
#include "catalog/CatalogSwap.h"
#include "catalog/ProgramCatalog.h"
#include "util/AmbryError.h"
#include "util/gUtils.h"

#include <QTextStream>

#include <csignal>
#include <cstdio>
#include <unistd.h>

namespace {

constexpr int kNotes = 3;

volatile std::sig_atomic_t g_interrupted = 0;

// Ctrl+C cancels between blocks, so that nothing is left half done.
class InterruptCancels
{
public:
    InterruptCancels()
    {
        g_interrupted = 0;
        m_old = std::signal(SIGINT, [](int) { g_interrupted = 1; });
    }
    ~InterruptCancels() { std::signal(SIGINT, m_old); }

private:
    void (*m_old)(int) = SIG_DFL;
};

// A progress line on standard error, when that is a terminal.
Progress terminalProgress()
{
    Progress progress;
    progress.stopRequested = [] { return g_interrupted != 0; };
    if (::isatty(STDERR_FILENO)) {
        progress.report = [last = -1](const QString &step, qint64 done, qint64 total) mutable {
            const int percent = total > 0 ? int(done * 100 / total) : 0;
            if (percent == last)
                return;
            last = percent;
            std::fprintf(stderr, "\r%s %3d%%", qPrintable(step), percent);
            std::fflush(stderr);
        };
    }
    return progress;
}

void endProgressLine()
{
    if (::isatty(STDERR_FILENO))
        std::fputs("\r\033[K", stderr);
}

catalog::Catalog catalogOf(const CliContext &ctx)
{
    const catalog::Catalog catalog = catalog::commandLineCatalog(ctx.catalogFolder);
    const QString notice = catalog::finishInterruptedChange(catalog);
    if (!notice.isEmpty())
        ctx.err(notice);
    return catalog;
}

int failed(const CliContext &ctx, const QString &error)
{
    endProgressLine();
    return ctx.fail(error);
}

int cancelled(const CliContext &ctx)
{
    return failed(ctx, QStringLiteral("Cancelled; nothing was changed."));
}

bool askOnTerminal(const CliContext &ctx, const QString &question)
{
    ctx.err(question + QStringLiteral(" [y/N] "));
    QTextStream in(stdin);
    const QString answer = in.readLine().trimmed();
    return answer.startsWith(QLatin1Char('y'), Qt::CaseInsensitive);
}

const QList<CliExitCode> kExitCodes = {
    {0, QStringLiteral("done")},
    {1, QStringLiteral("an error or Cancel; nothing was changed")},
    {3,
     QStringLiteral("done, with entries refused, folders that could not be read or damaged archives named")},
};

const CliArgument kZipArgument{QStringLiteral("FILE.zip"), CliArgKind::File};

int runBackup(CliContext &ctx)
{
    const QString zip = ctx.args.at(0);
    const catalog::Catalog catalog = catalogOf(ctx);
    InterruptCancels interrupt;
    const auto toStandardOutput = [&ctx](QByteArrayView bytes) {
        return std::fwrite(bytes.data(), 1, size_t(bytes.size()), ctx.outFile) == size_t(bytes.size());
    };
    const backup::BackupResult result =
        backup::backupCatalog(catalog, zip, terminalProgress(), QDateTime(), toStandardOutput);
    if (result.outcome == backup::Outcome::Cancelled)
        return cancelled(ctx);
    if (result.outcome == backup::Outcome::Failed)
        return failed(ctx, result.error);
    endProgressLine();
    // Standard output holds the zip itself.
    const QString archives = countOf(result.archives, "archive", "archives");
    if (zip == QLatin1String("-"))
        ctx.err(QStringLiteral("ambrylog-cli backup: backed up %1 to standard output.").arg(archives));
    else
        ctx.out(QStringLiteral("Backed up %1 to %2.").arg(archives, zip));
    if (result.hasNotes()) {
        ctx.err(result.summary());
        return kNotes;
    }
    return 0;
}

int runRestore(CliContext &ctx)
{
    const QString zip = ctx.args.at(0);
    const bool yes = ctx.isSet(QStringLiteral("yes"));
    if (!yes && !::isatty(STDIN_FILENO))
        return failed(ctx,
                      QStringLiteral("restore replaces the catalog and asks first, but standard input is "
                                     "not a terminal; add --yes to restore without asking."));
    const catalog::Catalog catalog = catalogOf(ctx);
    InterruptCancels interrupt;
    backup::RestoreJob job(catalog, zip);
    const backup::Outcome prepared = job.prepare(terminalProgress());
    if (prepared == backup::Outcome::Cancelled)
        return cancelled(ctx);
    if (prepared == backup::Outcome::Failed)
        return failed(ctx, job.error());
    endProgressLine();
    if (!yes && !askOnTerminal(ctx, job.question()))
        return cancelled(ctx);
    if (job.commit() != backup::Outcome::Done)
        return failed(ctx, job.error());
    ctx.out(job.summary());
    return job.hasNotes() ? kNotes : 0;
}

int runMerge(CliContext &ctx)
{
    const QString zip = ctx.args.at(0);
    const catalog::Catalog catalog = catalogOf(ctx);
    InterruptCancels interrupt;
    const backup::MergeResult result = backup::mergeArchives(catalog, zip, terminalProgress());
    if (result.outcome == backup::Outcome::Cancelled)
        return cancelled(ctx);
    if (result.outcome == backup::Outcome::Failed)
        return failed(ctx, result.error);
    endProgressLine();
    ctx.out(result.summary());
    return result.hasNotes() ? kNotes : 0;
}

int runImport(CliContext &ctx)
{
    backup::ImportSource source;
    source.path = ctx.args.at(0);
    if (ctx.isSet(QStringLiteral("format"))) {
        source.format = *catimport::formatByName(ctx.value(QStringLiteral("format")));
    } else {
        QString why;
        const std::optional<catimport::Format> format = backup::recogniseImportFormat(source.path, &why);
        if (!format)
            return source.path == QLatin1String("-") ? ctx.usageError(why) : failed(ctx, why);
        source.format = *format;
    }
    if (ctx.isSet(QStringLiteral("date-format")))
        source.dateOrder = *catimport::dateOrderByName(ctx.value(QStringLiteral("date-format")));
    backup::ImportChoice choice;
    choice.markPrefix = ctx.value(QStringLiteral("mark-prefix"));
    choice.dryRun = ctx.isSet(QStringLiteral("dry-run"));
    const catalog::Catalog catalog = catalogOf(ctx);
    InterruptCancels interrupt;
    const backup::ImportResult result = backup::importCatalog(catalog, source, choice, terminalProgress());
    if (result.outcome == backup::Outcome::Cancelled)
        return cancelled(ctx);
    if (result.outcome == backup::Outcome::Failed)
        return failed(ctx, result.error);
    endProgressLine();
    // One line per disc: its mark, its files, and what became of it.
    const QString added = choice.dryRun ? QStringLiteral("new") : QStringLiteral("imported");
    for (const backup::ImportResult::Disc &d : result.added)
        ctx.out(QStringLiteral("%1\t%2\t%3").arg(d.mark).arg(d.files).arg(added));
    for (const backup::ImportResult::Disc &d : result.present)
        ctx.out(QStringLiteral("%1\t%2\talready in the catalog").arg(d.mark).arg(d.files));
    QString summary = result.summary();
    if (choice.dryRun)
        summary.replace(0, 8, QStringLiteral("Would import")); // "Imported"
    const qsizetype firstEnd = summary.indexOf(QLatin1Char('\n'));
    ctx.out(summary.left(firstEnd));
    if (firstEnd >= 0)
        ctx.err(summary.mid(firstEnd).trimmed());
    if (result.added.isEmpty())
        return CliFailed;
    return result.hasNotes() ? kNotes : 0;
}

QStringList formatNames()
{
    QStringList names;
    for (const catimport::FormatInfo &f : catimport::formats())
        names << QLatin1String(f.name);
    return names;
}

} // namespace

const CliCommand &importCommand()
{
    static const CliCommand command{
        .name = QStringLiteral("import"),
        .summary = QStringLiteral("bring in another disc cataloguer's catalog or a file listing"),
        .synopsis = {QStringLiteral(
            "FILE [--format NAME] [--dry-run] [--mark-prefix TEXT] [--date-format ORDER]")},
        .description = QStringLiteral(
            "Each volume of FILE becomes an archive, saved as an added disc would be: volumes already in "
            "the catalog are skipped, and a mark in use gets \" (2)\", \" (3)\", ... The format is "
            "recognised from the content unless --format names it; \"-\" reads standard input, whose "
            "format must be named (a listing read from there is one disc, marked with --mark-prefix). "
            "Prints a line per disc (mark, files, what became of it) and the summary."),
        .options = {{{QStringLiteral("format")},
                     QStringLiteral("NAME"),
                     QStringLiteral("the file's format, when it is not to be recognised"),
                     formatNames()},
                    {{QStringLiteral("dry-run")},
                     {},
                     QStringLiteral("read and judge everything, change nothing")},
                    {{QStringLiteral("mark-prefix")},
                     QStringLiteral("TEXT"),
                     QStringLiteral("put before every mark made from a volume's name")},
                    {{QStringLiteral("date-format")},
                     QStringLiteral("ORDER"),
                     QStringLiteral("how VVV's dates are written, when the file cannot tell"),
                     {QStringLiteral("dmy"), QStringLiteral("mdy"), QStringLiteral("ymd")}}},
        .minArgs = 1,
        .maxArgs = 1,
        .exitCodes =
            {{0, QStringLiteral("imported")},
             {1, QStringLiteral("nothing imported (an error, Cancel, or no volume that could be taken)")},
             {3, QStringLiteral("imported, with volumes skipped or refused or damaged input named")}},
        .arguments = {{QStringLiteral("FILE"), CliArgKind::File}},
        .run = runImport,
    };
    return command;
}

const CliCommand &backupCommand()
{
    static const CliCommand command{
        .name = QStringLiteral("backup"),
        .summary = QStringLiteral("write every archive of the catalog to a zip file"),
        .synopsis = {QStringLiteral("FILE.zip")},
        .description =
            QStringLiteral("The zip is written beside FILE.zip under a temporary name, read back with "
                           "every entry's CRC checked, and only then renamed over FILE.zip. A symbolic "
                           "link is followed to the file it names; anything that is not a regular file "
                           "(a folder, FIFO or device) is refused. \"-\" writes the zip to standard "
                           "output."),
        .minArgs = 1,
        .maxArgs = 1,
        .exitCodes = kExitCodes,
        .arguments = {kZipArgument},
        .run = runBackup,
    };
    return command;
}

const CliCommand &restoreCommand()
{
    static const CliCommand command{
        .name = QStringLiteral("restore"),
        .summary = QStringLiteral("replace the catalog by a backup; the old one is kept beside it"),
        .synopsis = {QStringLiteral("FILE.zip [--yes]")},
        .description =
            QStringLiteral("The zip is checked and unpacked beside the catalog first; then the catalog "
                           "is swapped for it and the old one is kept as \"Archive before restore "
                           "YYYY-MM-DD HH-MM-SS\". Without --yes it asks on the terminal."),
        .options = {{{QStringLiteral("yes")}, {}, QStringLiteral("restore without asking")}},
        .minArgs = 1,
        .maxArgs = 1,
        .exitCodes = kExitCodes,
        .arguments = {kZipArgument},
        .run = runRestore,
    };
    return command;
}

const CliCommand &mergeCommand()
{
    static const CliCommand command{
        .name = QStringLiteral("merge"),
        .summary = QStringLiteral("add a zip file's archives to the catalog"),
        .synopsis = {QStringLiteral("FILE.zip")},
        .description =
            QStringLiteral("Archives already in the catalog are skipped; marks and numbers in use are "
                           "renamed and renumbered."),
        .minArgs = 1,
        .maxArgs = 1,
        .exitCodes = kExitCodes,
        .arguments = {kZipArgument},
        .run = runMerge,
    };
    return command;
}
