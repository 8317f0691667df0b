#include "cliDrives.h"

#include "DriveSystem.h"
#include "FolderDrives.h"
#include "gDrives.h"
#include "settings/Settings.h"

char parseDriveLetterArg(const QString &arg)
{
    QString s = arg.trimmed();
    if (s.endsWith(QLatin1Char(':')))
        s.chop(1);
    if (s.size() != 1)
        return 0;
    const char c = s.at(0).toUpper().toLatin1();
    return (c >= 'A' && c <= 'Z') ? c : 0;
}

namespace {

QString typeName(const DriveInfo &d)
{
    return driveTypeName(driveType(d.letter));
}

int listDrives(const CliContext &ctx)
{
    DriveSystem &ds = driveSystem();
    const QList<DriveInfo> all = ds.drives();
    for (const DriveInfo &d : all) {
        const bool ready = IsDiscReady(d.letter);
        const bool audio = IsAudioDisc(d.letter);
        // A listing only looks: it does not mount a disc that nobody mounted yet.
        const QString root = ready ? ds.rootPath(d.letter, false) : QString();
        const QString where = d.kind == DriveKind::Optical ? d.device : d.folder;
        ctx.out(QString(QLatin1Char(d.letter)) + QLatin1Char('\t') + typeName(d) + QLatin1Char('\t') +
                (ready ? QStringLiteral("yes") : QStringLiteral("no")) + QLatin1Char('\t') +
                (audio ? QStringLiteral("yes") : QStringLiteral("no")) + QLatin1Char('\t') + root +
                QLatin1Char('\t') + where);
    }
    return 0;
}

int bindDrive(const CliContext &ctx, const QString &letterArg, const QString &folderArg)
{
    const char letter = parseDriveLetterArg(letterArg);
    if (!letter)
        return ctx.usageError(QStringLiteral("'%1' is not a drive letter (A to Z)").arg(letterArg));
    const folderdrives::BindOutcome outcome = folderdrives::bind(letter, folderArg);
    if (!outcome.bound)
        return ctx.fail(outcome.error);
    ctx.out(QStringLiteral("%1\t%2").arg(QLatin1Char(letter)).arg(outcome.folder));
    return 0;
}

int unbindDrive(const CliContext &ctx, const QString &letterArg)
{
    const char letter = parseDriveLetterArg(letterArg);
    if (!letter)
        return ctx.usageError(QStringLiteral("'%1' is not a drive letter (A to Z)").arg(letterArg));
    if (!folderdrives::unbind(letter))
        return ctx.fail(QStringLiteral("no folder is bound to %1").arg(QLatin1Char(letter)));
    return 0;
}

int setDefault(const CliContext &ctx, const QString &letterArg)
{
    const char letter = parseDriveLetterArg(letterArg);
    if (!letter)
        return ctx.usageError(QStringLiteral("'%1' is not a drive letter (A to Z)").arg(letterArg));
    // The program drops a default that is not a CD/DVD drive when it starts, so refuse it now.
    if (driveType(letter) != DriveType::CdDvdRom)
        return ctx.fail(QStringLiteral("%1 is not a CD/DVD drive or folder drive").arg(QLatin1Char(letter)));
    settings::set(settings::DefaultDeviceDrive, QString(QLatin1Char(letter)));
    return 0;
}

} // namespace

const CliCommand &drivesCommand()
{
    static const CliCommand command{
        .name = QStringLiteral("drives"),
        .summary = QStringLiteral("list the drives; bind folder drives; choose the read device"),
        .synopsis = {QString(), QStringLiteral("bind LETTER FOLDER"), QStringLiteral("unbind LETTER"),
                     QStringLiteral("default LETTER")},
        .description = QStringLiteral(
            "Without arguments, one line per drive letter, tab-separated: letter, type, ready,\n"
            "audio disc, root path, device or folder. A folder drive is a letter bound to a\n"
            "folder, catalogued like a disc. default sets the read device."),
        .minArgs = 0,
        .maxArgs = 3,
        .exitCodes = {{0, QStringLiteral("done")},
                      {1, QStringLiteral(
                              "refused: no such folder, a drive that cannot be bound, nothing bound, ...")}},
        .arguments = {{QStringLiteral("bind|unbind|default"),
                       CliArgKind::Word,
                       {QStringLiteral("bind"), QStringLiteral("unbind"), QStringLiteral("default")}},
                      {QStringLiteral("LETTER"), CliArgKind::DriveLetter},
                      {QStringLiteral("FOLDER"), CliArgKind::Folder}},
        .run =
            [](CliContext &ctx) {
                const QStringList &a = ctx.args;
                if (a.isEmpty())
                    return listDrives(ctx);
                const QString &sub = a.front();
                if (sub == QLatin1String("bind"))
                    return a.size() == 3 ? bindDrive(ctx, a.at(1), a.at(2))
                                         : ctx.usageError(QStringLiteral("bind takes LETTER FOLDER"));
                if (sub == QLatin1String("unbind") || sub == QLatin1String("default")) {
                    if (a.size() != 2)
                        return ctx.usageError(sub + QStringLiteral(" takes LETTER"));
                    return sub == QLatin1String("unbind") ? unbindDrive(ctx, a.at(1))
                                                          : setDefault(ctx, a.at(1));
                }
                return ctx.usageError(
                    QStringLiteral("unknown subcommand '%1' (bind, unbind, default)").arg(sub));
            },
    };
    return command;
}
