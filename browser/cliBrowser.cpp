#include "cliBrowser.h"

#include "ArchiveCommands.h"
#include "ArchiveListModel.h"
#include "BrowserExport.h"
#include "CatalogBrowser.h"

#include "catalog/Archive.h"
#include "catalog/ArchiveWriter.h"
#include "catalog/Catalog.h"
#include "catalog/DosDateTime.h"
#include "catalog/ProgramCatalog.h"
#include "util/AmbryError.h"
#include "util/gUtils.h"

#include <QFileInfo>
#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTextStream>

#include <cstdio>
#include <optional>
#include <unistd.h>

using namespace browser;

namespace {

constexpr int ExitDamaged = 3;
constexpr int ExitMarkExists = 5;
constexpr int ExitNoSuchMark = 8;

const QStringList SortNames = {QStringLiteral("archive"), QStringLiteral("date"),  QStringLiteral("location"),
                               QStringLiteral("dirs"),    QStringLiteral("files"), QStringLiteral("size"),
                               QStringLiteral("note")};
// The list's column for each sort name.
constexpr int SortColumns[] = {ArchiveListModel::ColArchive,  ArchiveListModel::ColDate,
                               ArchiveListModel::ColLocation, ArchiveListModel::ColDirs,
                               ArchiveListModel::ColFiles,    ArchiveListModel::ColSize,
                               ArchiveListModel::ColNote};

QString tsvCell(QString text)
{
    // A tab (only a hand-made archive holds one) must not split the row.
    return text.replace(QLatin1Char('\t'), QLatin1Char(' '));
}

QJsonValue count(bool known, qint64 value)
{
    return known ? QJsonValue(value) : QJsonValue();
}

QJsonObject jsonRow(const ArchiveEntry &e)
{
    QJsonValue date;
    if (e.dateKnown)
        date = dosdate::isoText(e.date);
    return QJsonObject{
        {QStringLiteral("mark"), e.mark},
        {QStringLiteral("date"), date},
        {QStringLiteral("location"), e.location},
        {QStringLiteral("dirs"), count(e.dirsKnown, e.dirs)},
        {QStringLiteral("files"), count(e.filesKnown, e.files)},
        {QStringLiteral("size"), count(e.sizeKnown, e.size)},
        {QStringLiteral("note"), e.note},
        {QStringLiteral("path"), e.path},
    };
}

int runList(CliContext &ctx)
{
    ArchiveListModel model;
    CatalogTotals totals;
    const catalog::Catalog catalog = catalog::commandLineCatalog(ctx.catalogFolder);
    CatalogLoader loader(model, totals);
    loader.ScanArchive(catalog);

    // The window's first-open order, then the clicks the options stand for.
    int column = 1;
    bool flag = true;
    if (ctx.isSet(QStringLiteral("sort")))
        columnClick(SortColumns[SortNames.indexOf(ctx.value(QStringLiteral("sort")))], &column, &flag);
    if (ctx.isSet(QStringLiteral("reverse")))
        columnClick(column, &column, &flag);
    model.sortRows(column, flag);

    const QString format = ctx.value(QStringLiteral("format"));
    const bool json = format == QLatin1String("json");
    const std::optional<ExportFormat> table = exportFormatNamed(format);
    if (table) {
        TableExport out(*table, archiveExportColumns(),
                        {QStringLiteral("Ambrylog catalog"), QDir::toNativeSeparators(catalog.folder()),
                         QDateTime::currentDateTime()},
                        [&ctx](QByteArrayView bytes) {
                            std::fwrite(bytes.data(), 1, size_t(bytes.size()), ctx.outFile);
                        });
        exportArchives(model, out);
        out.finish();
    }
    for (int r = 0; r < model.rowCount() && !table; ++r) {
        if (json) {
            ctx.out(QString::fromUtf8(QJsonDocument(jsonRow(model.entry(r))).toJson(QJsonDocument::Compact)));
            continue;
        }
        QStringList cells;
        for (int c : {0, 1, 2, 3, 4, 5, 7})
            cells << tsvCell(model.cellText(r, c));
        ctx.out(cells.join(QLatin1Char('\t')));
    }
    if (ctx.isSet(QStringLiteral("totals")) && !table)
        ctx.out(statusLine(totals, model.rowCount()));
    for (const UnreadableArchive &u : loader.unlisted())
        ctx.err(QStringLiteral("ambrylog-cli list: unreadable folder, its archives are not listed: %1 (%2)")
                    .arg(u.path, u.reason));
    if (totals.damaged > 0)
        ctx.err(QStringLiteral("ambrylog-cli list: %1 listed")
                    .arg(countOf(totals.damaged, "damaged archive", "damaged archives")));
    return totals.damaged > 0 || !loader.unlisted().isEmpty() ? ExitDamaged : CliOk;
}

int runEdit(CliContext &ctx)
{
    for (const char *option : {"mark", "location", "note"}) {
        const QString name = QString::fromLatin1(option);
        if (ctx.isSet(name))
            if (const QString problem = fieldLengthProblem(name, ctx.value(name)); !problem.isEmpty())
                return ctx.usageError(problem);
    }
    if (ctx.isSet(QStringLiteral("mark")) && !edit::okEnabled(ctx.value(QStringLiteral("mark"))))
        return ctx.usageError(QStringLiteral("the mark cannot be empty"));
    const catalog::Catalog catalog = catalog::commandLineCatalog(ctx.catalogFolder);
    int code = CliOk;
    // The archive is looked up under the lock: another writer may remove or change it up to then.
    withCatalogLock(catalog, [&] {
        QString path;
        if ((code = findArchiveByMark(ctx, catalog, ctx.args.at(0), &path)))
            return;
        const std::optional<ArchiveEntry> e = readArchiveEntry(path);
        if (!e) {
            code = ctx.fail(edit::CannotChangeText);
            return;
        }
        // As the edit window starts: the row's texts; an option not given keeps its value.
        const auto value = [&](const char *option, const QString &current) {
            const QString name = QString::fromLatin1(option);
            return ctx.isSet(name) ? ctx.value(name) : current;
        };
        QString damage;
        switch (edit::saveFields(catalog, path, e->mark, value("mark", e->mark),
                                 value("location", e->location), value("note", e->note), {}, &damage)) {
        case edit::SaveResult::Saved:
            return;
        case edit::SaveResult::MarkExists:
            ctx.err(edit::MarkExistsText);
            code = ExitMarkExists;
            return;
        case edit::SaveResult::Damaged:
            ctx.err(
                QStringLiteral("ambrylog-cli edit: damaged archive, not changed: %1 (%2)").arg(path, damage));
            code = ExitDamaged;
            return;
        case edit::SaveResult::Failed:
            break;
        }
        code = ctx.fail(edit::CannotChangeText);
    });
    return code;
}

bool confirmOnTerminal(const CliContext &ctx, const QStringList &marks)
{
    if (!::isatty(STDIN_FILENO))
        return false;
    QString question = removeQuestion(marks);
    question.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    std::fputs(question.toUtf8().constData(), ctx.errFile);
    std::fputs(" [y/N] ", ctx.errFile);
    std::fflush(ctx.errFile);
    char answer[64] = {};
    if (!std::fgets(answer, sizeof answer, stdin))
        return false;
    const QString a = QString::fromUtf8(answer).trimmed().toLower();
    return a == QLatin1String("y") || a == QLatin1String("yes");
}

int runRemove(CliContext &ctx)
{
    const catalog::Catalog catalog = catalog::commandLineCatalog(ctx.catalogFolder);
    // A mark given twice, in any letter case, is one archive.
    QStringList marks, seen;
    for (const QString &mark : ctx.args)
        if (!seen.contains(mark.toUpper())) {
            seen << mark.toUpper();
            marks << mark;
        }
    if (!ctx.isSet(QStringLiteral("yes"))) {
        if (!::isatty(STDIN_FILENO))
            return ctx.fail(QStringLiteral("standard input is not a terminal: confirm with --yes"));
        // What the question names must exist now; what is removed is looked up again below.
        for (const QString &mark : std::as_const(marks)) {
            QString path;
            if (const int code = findArchiveByMark(ctx, catalog, mark, &path))
                return code;
        }
        if (!confirmOnTerminal(ctx, marks))
            return ctx.fail(QStringLiteral("nothing removed"));
    }
    // Each mark is looked up under the lock: one that another writer removed meanwhile is told
    // (exit 8) and the others are still removed.
    bool failed = false, missing = false;
    withCatalogLock(catalog, [&] {
        for (const QString &mark : std::as_const(marks)) {
            QString path;
            const int found = findArchiveByMark(ctx, catalog, mark, &path);
            missing = missing || found == ExitNoSuchMark;
            failed = failed || (found != CliOk && found != ExitNoSuchMark);
            if (found != CliOk)
                continue;
            if (!deleteArchiveFile(path)) {
                if (!QFileInfo(path).exists() && !QFileInfo(path).isSymLink()) {
                    missing = true; // gone by a writer that does not take the lock
                    ctx.err(QStringLiteral("ambrylog-cli remove: no archive has the mark '%1'").arg(mark));
                    continue;
                }
                failed = true;
                ctx.fail(CannotDeleteText + mark);
            }
        }
    });
    return failed ? CliFailed : missing ? ExitNoSuchMark : CliOk;
}

} // namespace

int findArchiveByMark(const CliContext &ctx, const catalog::Catalog &catalog, const QString &mark,
                      QString *path)
{
    const QStringList found = catalog.archivesWithMark(mark);
    if (found.isEmpty()) {
        ctx.err(QStringLiteral("ambrylog-cli %1: no archive has the mark '%2'").arg(ctx.command->name, mark));
        return ExitNoSuchMark;
    }
    if (found.size() > 1) {
        ctx.err(QStringLiteral("ambrylog-cli %1: %2 archives have the mark '%3':")
                    .arg(ctx.command->name)
                    .arg(found.size())
                    .arg(mark));
        for (const QString &p : found)
            ctx.err(QStringLiteral("  ") + p);
        return CliFailed;
    }
    *path = found.first();
    return CliOk;
}

const CliCommand &listCommand()
{
    static const CliCommand command{
        .name = QStringLiteral("list"),
        .summary = QStringLiteral("every archive with its totals, as the catalog browser lists them"),
        .synopsis = {QStringLiteral("[--sort COLUMN] [--reverse] [--format tsv|json|csv|html] [--totals]")},
        .description = QStringLiteral(
            "One line per archive in the browser's first-open order (archived date, oldest first), or\n"
            "sorted as a click on that column would sort it (--reverse: a second click). tsv prints the\n"
            "cells as the window shows them: mark, archived date, location, directories, files, size,\n"
            "note. json prints one object per line with raw values (null when unknown). csv prints the\n"
            "same columns under a header row with raw values (empty when unknown; RFC 4180 quoting),\n"
            "html one page with the cells as the window shows them. --totals prints the status line\n"
            "last (tsv and json)."),
        .options = {{{QStringLiteral("sort")},
                     QStringLiteral("COLUMN"),
                     QStringLiteral("the column to sort by"),
                     SortNames},
                    {{QStringLiteral("reverse")}, QString(), QStringLiteral("the other direction")},
                    {{QStringLiteral("format")},
                     QStringLiteral("FORMAT"),
                     QStringLiteral("tsv (default), json, csv or html"),
                     {QStringLiteral("tsv"), QStringLiteral("json"), QStringLiteral("csv"),
                      QStringLiteral("html")}},
                    {{QStringLiteral("totals")}, QString(), QStringLiteral("print the status line last")}},
        .exitCodes = {{0, QStringLiteral("the list was printed")},
                      {1, QStringLiteral("the catalog cannot be read")},
                      {3, QStringLiteral("listed, but some archives are damaged, or folders of the catalog "
                                         "could not be read (named on standard error)")}},
        .run = runList,
    };
    return command;
}

const CliCommand &editCommand()
{
    static const CliCommand command{
        .name = QStringLiteral("edit"),
        .summary = QStringLiteral("change an archive's mark, location or note"),
        .synopsis = {QStringLiteral("MARK [--mark NEW] [--location TEXT] [--note TEXT]")},
        .description = QStringLiteral(
            "An option not given keeps its value; an empty --location or --note removes the field.\n"
            "A change of letter case only is always accepted; another archive's mark is refused."),
        .options = {{{QStringLiteral("mark")}, QStringLiteral("NEW"), QStringLiteral("the new mark")},
                    {{QStringLiteral("location")},
                     QStringLiteral("TEXT"),
                     QStringLiteral("the new location")},
                    {{QStringLiteral("note")}, QStringLiteral("TEXT"), QStringLiteral("the new note")}},
        .minArgs = 1,
        .maxArgs = 1,
        .exitCodes = {{0, QStringLiteral("the archive was changed")},
                      {1, QStringLiteral("the archive cannot be changed, or several archives have the mark")},
                      {3, QStringLiteral("the archive is damaged and was not changed")},
                      {5, QStringLiteral("the new mark is in use")},
                      {8, QStringLiteral("no archive has the mark")}},
        .arguments = {{QStringLiteral("MARK")}},
        .run = runEdit,
    };
    return command;
}

const CliCommand &removeCommand()
{
    static const CliCommand command{
        .name = QStringLiteral("remove"),
        .summary = QStringLiteral("remove archives from the catalog"),
        .synopsis = {QStringLiteral("MARK... [--yes]")},
        .description = QStringLiteral(
            "Deletes the archive file of each mark. Without --yes the question is asked on the terminal;\n"
            "when standard input is no terminal nothing is removed."),
        .options = {{{QStringLiteral("yes")}, QString(), QStringLiteral("remove without asking")}},
        .minArgs = 1,
        .maxArgs = -1,
        .exitCodes = {{0, QStringLiteral("every archive was removed")},
                      {1,
                       QStringLiteral("not confirmed, an archive cannot be deleted, or several have a mark")},
                      {8, QStringLiteral("no archive has a mark given (the others were removed)")}},
        .arguments = {{QStringLiteral("MARK")}},
        .run = runRemove,
    };
    return command;
}
