#include "cliCatalog.h"

#include "AmbryError.h"
#include "Catalog.h"
#include "Checksum.h"
#include "Startup.h"

namespace {

bool wantArgs(const CliContext &ctx, qsizetype count, const char *usage)
{
    if (ctx.args.size() == count)
        return true;
    cliErr(QStringLiteral("usage: ambrylog-cli ") + QString::fromLatin1(usage));
    return false;
}

} // namespace

int cliChecksum(CliContext &ctx)
{
    if (!wantArgs(ctx, 1, "checksum FILE"))
        return 2;
    cliOut(CalcFileChecksum(ctx.args.at(0)));
    return 0;
}

int cliValue(CliContext &ctx)
{
    if (!wantArgs(ctx, 2, "value ARCHIVE KEY"))
        return 2;
    cliOut(ReadArchiveValue(ctx.args.at(0), ctx.args.at(1)));
    return 0;
}

int cliNextNumber(CliContext &ctx)
{
    if (!wantArgs(ctx, 0, "next-number"))
        return 2;
    cliOut(QString::number(nextArchiveNumber(resolveCatalogFolder(ctx.catalogFolder))));
    return 0;
}

int cliMarkExists(CliContext &ctx)
{
    if (!wantArgs(ctx, 1, "mark-exists MARK"))
        return 2;
    // Exit code 1 means "no", so a failure needs a code of its own.
    try {
        const bool exists =
            MarkExists(ctx.args.at(0), resolveCatalogFolder(ctx.catalogFolder), QStringLiteral("*.dat"));
        cliOut(exists ? QStringLiteral("yes") : QStringLiteral("no"));
        return exists ? 0 : 1;
    } catch (const AmbryError &e) {
        cliErr(QStringLiteral("ambrylog-cli: ") + e.message());
        return 2;
    }
}
