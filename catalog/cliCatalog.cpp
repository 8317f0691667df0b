#include "cliCatalog.h"

#include "Archive.h"
#include "Catalog.h"
#include "Checksum.h"
#include "ProgramCatalog.h"
#include "util/AmbryError.h"

namespace {

// An archive that cannot be read is skipped, not fatal: the answer goes out and the paths
// follow on standard error, since the answer may have missed their marks and numbers.
void tellUnreadable(const CliContext &ctx, const UnreadableArchives &unreadable)
{
    for (const UnreadableArchive &u : unreadable)
        ctx.err(QStringLiteral("ambrylog-cli %1: unreadable archive skipped: %2 (%3)")
                    .arg(ctx.command ? ctx.command->name : QString(), u.path, u.reason));
}

// Damaged archives still count with what they show, but the user should know of them.
void tellDamaged(const CliContext &ctx, const UnreadableArchives &damaged)
{
    for (const UnreadableArchive &d : damaged)
        ctx.err(QStringLiteral("ambrylog-cli %1: damaged archive: %2 (%3)")
                    .arg(ctx.command ? ctx.command->name : QString(), d.path, d.reason));
}

} // namespace

const CliCommand &checksumCommand()
{
    static const CliCommand command{
        .name = QStringLiteral("checksum"),
        .summary = QStringLiteral("the archive checksum of a file"),
        .synopsis = {QStringLiteral("FILE")},
        .minArgs = 1,
        .maxArgs = 1,
        .exitCodes = {{0, QStringLiteral("the checksum was printed")},
                      {1, QStringLiteral("the file cannot be read")}},
        .arguments = {{QStringLiteral("FILE"), CliArgKind::File}},
        .run =
            [](CliContext &ctx) {
                ctx.out(CalcFileChecksum(ctx.args.at(0)));
                return 0;
            },
    };
    return command;
}

const CliCommand &valueCommand()
{
    static const CliCommand command{
        .name = QStringLiteral("value"),
        .summary = QStringLiteral("one archive field's value"),
        .synopsis = {QStringLiteral("ARCHIVE KEY")},
        .minArgs = 2,
        .maxArgs = 2,
        .exitCodes = {{0, QStringLiteral("the value was printed")},
                      {1, QStringLiteral("the archive cannot be read or has no such field")}},
        .arguments = {{QStringLiteral("ARCHIVE"), CliArgKind::File},
                      {QStringLiteral("KEY"),
                       CliArgKind::Word,
                       {QStringLiteral("ADate"), QStringLiteral("AMark"), QStringLiteral("ALocation"),
                        QStringLiteral("ACRC"), QStringLiteral("AFiles"), QStringLiteral("ADirs"),
                        QStringLiteral("ANote"), QStringLiteral("ASize"), QStringLiteral("ANumber"),
                        QStringLiteral("ASource"), QStringLiteral("APicture"), QStringLiteral("AEnd")}}},
        .run =
            [](CliContext &ctx) {
                const Archive archive = Archive::loadFields(ctx.args.at(0));
                if (archive.findField(ctx.args.at(1)) < 0)
                    return ctx.fail(
                        QStringLiteral("no field '%1' in %2").arg(ctx.args.at(1), ctx.args.at(0)));
                ctx.out(archive.value(ctx.args.at(1)));
                return 0;
            },
    };
    return command;
}

const CliCommand &nextNumberCommand()
{
    static const CliCommand command{
        .name = QStringLiteral("next-number"),
        .summary = QStringLiteral("the number the next saved archive gets"),
        .exitCodes = {{0, QStringLiteral("the number was printed")},
                      {1, QStringLiteral("the catalog cannot be read")}},
        .run =
            [](CliContext &ctx) {
                UnreadableArchives unreadable, damaged;
                bool wrapped = false;
                const int next = catalog::commandLineCatalog(ctx.catalogFolder)
                                     .nextNumber(&unreadable, &damaged, &wrapped);
                ctx.out(QString::number(next));
                tellUnreadable(ctx, unreadable);
                tellDamaged(ctx, damaged);
                if (wrapped)
                    ctx.err(QStringLiteral("ambrylog-cli next-number: the archive numbers have reached "
                                           "2147483647; the lowest free number is given"));
                return 0;
            },
    };
    return command;
}

const CliCommand &markExistsCommand()
{
    static const CliCommand command{
        .name = QStringLiteral("mark-exists"),
        .summary = QStringLiteral("whether an archive carries a mark (letter case aside)"),
        .synopsis = {QStringLiteral("MARK")},
        .minArgs = 1,
        .maxArgs = 1,
        .exitCodes = {{0, QStringLiteral("yes: an archive carries the mark")},
                      {1, QStringLiteral("no: no archive carries it")},
                      {2, QStringLiteral("the catalog cannot be read")}},
        .arguments = {{QStringLiteral("MARK")}},
        .run =
            [](CliContext &ctx) {
                // Exit code 1 means "no", so a failure needs a code of its own.
                try {
                    UnreadableArchives unreadable;
                    const bool exists = catalog::commandLineCatalog(ctx.catalogFolder)
                                            .markExists(ctx.args.at(0), &unreadable);
                    ctx.out(exists ? QStringLiteral("yes") : QStringLiteral("no"));
                    tellUnreadable(ctx, unreadable);
                    return exists ? 0 : 1;
                } catch (const AmbryError &e) {
                    ctx.fail(e.message());
                    return 2;
                }
            },
    };
    return command;
}
