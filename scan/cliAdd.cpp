#include "cliAdd.h"

#include "AddDiscSession.h"
#include "catalog/ArchiveWriter.h"
#include "catalog/ProgramCatalog.h"
#include "drives/HostageFile.h"
#include "drives/cliDrives.h"
#include "drives/gDrives.h"
#include "util/AmbryError.h"
#include "util/CliCommand.h"

#include <QDir>
#include <QFileInfo>

namespace {

// What went wrong or was refused goes to standard error, a terminal line per line of the
// message, so that standard output holds only the saved archive.
void say(const CliContext &ctx, const QString &message)
{
    QString s = message;
    ctx.err(s.replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
}

struct Options
{
    char letter = 0;
    QString folder;
    bool haveFolder = false;
    QString image;
    bool haveImage = false;
    bool haveLocation = false;
    QString mark;
    bool haveMark = false;
    QString location;
    QString note;
    bool eject = false;
};

// Empty text when the arguments are fine, else what is wrong with them.
QString parse(const CliContext &ctx, Options *o)
{
    if (ctx.isSet(QStringLiteral("drive"))) {
        const QString v = ctx.value(QStringLiteral("drive"));
        o->letter = parseDriveLetterArg(v);
        if (!o->letter)
            return QStringLiteral("'%1' is not a drive letter (A to Z)").arg(v);
    }
    o->haveFolder = ctx.isSet(QStringLiteral("folder"));
    o->folder = ctx.value(QStringLiteral("folder"));
    o->haveMark = ctx.isSet(QStringLiteral("mark"));
    o->mark = ctx.value(QStringLiteral("mark"));
    o->haveImage = ctx.isSet(QStringLiteral("image"));
    o->image = ctx.value(QStringLiteral("image"));
    o->haveLocation = ctx.isSet(QStringLiteral("location"));
    o->location = ctx.value(QStringLiteral("location"));
    o->note = ctx.value(QStringLiteral("note"));
    o->eject = ctx.isSet(QStringLiteral("eject"));
    if (int(o->letter != 0) + int(o->haveFolder) + int(o->haveImage) != 1)
        return QStringLiteral("give one of --drive, --folder or --image");
    if (o->haveMark && o->mark.trimmed().isEmpty())
        return QStringLiteral("the mark is blank");
    // The window's fields hold no more than this either.
    const std::pair<const char *, const QString *> fields[] = {
        {"mark", &o->mark}, {"location", &o->location}, {"note", &o->note}};
    for (const auto &[name, text] : fields)
        if (const QString problem = fieldLengthProblem(QString::fromLatin1(name), *text); !problem.isEmpty())
            return problem;
    return {};
}

int runAdd(CliContext &ctx)
{
    Options o;
    const QString wrong = parse(ctx, &o);
    if (!wrong.isEmpty())
        return ctx.usageError(wrong);
    QString folder;
    if (o.haveFolder) {
        const QFileInfo fi(o.folder);
        if (o.folder.isEmpty() || !fi.isDir())
            return ctx.fail(QStringLiteral("'%1' is not a folder").arg(o.folder));
        folder = QDir::cleanPath(fi.absoluteFilePath());
    }
    if (o.letter && driveType(o.letter) == DriveType::NoDrive)
        return ctx.fail(QStringLiteral("there is no drive %1").arg(QLatin1Char(o.letter)));
    if (o.haveImage && (o.image.isEmpty() || QFileInfo(o.image).isDir()))
        return ctx.fail(QStringLiteral("'%1' is not a disc image file").arg(o.image));
    const catalog::Catalog catalog = catalog::commandLineCatalog(ctx.catalogFolder);

    AddDiscSession session = o.haveFolder  ? AddDiscSession::forFolder(folder, catalog, settingsHostageFile())
                             : o.haveImage ? AddDiscSession::forImage(o.image, catalog)
                                           : AddDiscSession(o.letter, catalog, settingsHostageFile());
    const auto finish = [&](int code) {
        if (o.eject && session.ejectOnClose())
            session.eject();
        return code;
    };

    if (session.checkAudioDisc()) {
        say(ctx, session.message());
        return finish(CliAddAudioDisc);
    }
    const AddDiscSession::Outcome outcome = session.scan();
    const QString incomplete = session.incompleteNote();
    if (!incomplete.isEmpty() && outcome != AddDiscSession::Outcome::Aborted)
        ctx.err(incomplete);
    switch (outcome) {
    case AddDiscSession::Outcome::Empty:
        say(ctx, session.message());
        return finish(CliAddEmpty);
    case AddDiscSession::Outcome::AlreadyArchived:
        say(ctx, session.message());
        return finish(CliAddAlreadyArchived);
    case AddDiscSession::Outcome::MarkEntry:
        break;
    case AddDiscSession::Outcome::Unreadable:
        ctx.err(QStringLiteral("ambrylog-cli add: ") + session.message());
        return CliAddError;
    default:
        say(ctx, session.message());
        return CliAddError;
    }

    const AddDiscSession::SaveResult saved =
        session.save(o.haveMark ? std::optional<QString>(o.mark) : std::nullopt,
                     o.haveLocation ? o.location : session.defaultLocation(), o.note);
    if (saved == AddDiscSession::SaveResult::NoChecksum)
        return ctx.fail(scantext::CannotGetCrc);
    // Told, not refused: one unreadable archive must not stop every add.
    for (const UnreadableArchive &u : session.unreadableArchives())
        ctx.err(QStringLiteral(
                    "ambrylog-cli add: unreadable archive, its mark and number were not checked: %1 (%2)")
                    .arg(u.path, u.reason));
    for (const UnreadableArchive &d : session.damagedArchives())
        ctx.err(QStringLiteral("ambrylog-cli add: damaged archive: %1 (%2)").arg(d.path, d.reason));
    if (saved == AddDiscSession::SaveResult::Saved && session.numberWrapped())
        ctx.err(QStringLiteral("ambrylog-cli add: ") + scantext::NumberWrapped.arg(session.archiveNumber()));
    switch (saved) {
    case AddDiscSession::SaveResult::AlreadyArchived:
        say(ctx, session.message()); // another add saved the same disc while this one walked
        return finish(CliAddAlreadyArchived);
    case AddDiscSession::SaveResult::MarkInUse:
        say(ctx, scantext::MarkExists);
        return CliAddMarkUsed; // the user may try another mark: the disc stays in
    case AddDiscSession::SaveResult::NoChecksum: // told above
    case AddDiscSession::SaveResult::Saved:
        break;
    }
    ctx.out(session.savedMark() + QLatin1Char('\t') + QString::number(session.archiveNumber()) +
            QLatin1Char('\t') + session.savedPath());
    return finish(incomplete.isEmpty() ? CliAddSaved : CliAddIncomplete);
}

} // namespace

const CliCommand &addCommand()
{
    static const CliCommand command{
        .name = QStringLiteral("add"),
        .summary = QStringLiteral("add the disc in a drive, a folder or a disc image to the catalog"),
        .synopsis = {QStringLiteral("(--drive LETTER | --folder PATH | --image FILE) [--mark MARK] "
                                    "[--location TEXT] [--note TEXT] [--eject]")},
        .description = QStringLiteral(
            "Walks the disc and saves its archive with the add-disc window's rules. The mark\n"
            "defaults to \"CD No: \" and the next archive number. Prints the mark, number and\n"
            "path of the saved archive, tab-separated; what was refused goes to standard error.\n"
            "An ISO 9660 disc image is read without mounting it and records as the same image\n"
            "mounted would; its location defaults to the image file's path."),
        .options =
            {{{QStringLiteral("drive")},
              QStringLiteral("LETTER"),
              QStringLiteral("the drive that holds the disc")},
             {{QStringLiteral("folder")},
              QStringLiteral("PATH"),
              QStringLiteral("a folder, walked as a folder drive would be")},
             {{QStringLiteral("image")},
              QStringLiteral("FILE"),
              QStringLiteral("an ISO 9660 disc image (.iso), read without mounting it")},
             {{QStringLiteral("mark")}, QStringLiteral("MARK"), QStringLiteral("the disc's mark")},
             {{QStringLiteral("location")}, QStringLiteral("TEXT"), QStringLiteral("where the disc is kept")},
             {{QStringLiteral("note")}, QStringLiteral("TEXT"), QStringLiteral("a note on the disc")},
             {{QStringLiteral("eject")}, {}, QStringLiteral("open the tray when done, as the window does")}},
        .exitCodes = {{CliAddSaved, QStringLiteral("saved")},
                      {CliAddError,
                       QStringLiteral("error (no such drive or folder, the disc cannot be read, the "
                                      "image is damaged or no ISO 9660 image)")},
                      {CliAddAlreadyArchived, QStringLiteral("already archived")},
                      {CliAddEmpty, QStringLiteral("the disc is empty")},
                      {CliAddAudioDisc, QStringLiteral("an audio disc")},
                      {CliAddMarkUsed, QStringLiteral("the mark is in use")},
                      {CliAddIncomplete,
                       QStringLiteral("saved, but incomplete: folders that could not be "
                                      "read are missing (their count is on standard error)")}},
        .run = runAdd,
    };
    return command;
}
