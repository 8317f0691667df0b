#include "cliAdd.h"

#include "AddDiscSession.h"
#include "settings/Startup.h"
#include "drives/cliDrives.h"
#include "drives/gDrives.h"
#include "util/AmbryError.h"
#include "util/CliCommand.h"

#include <QDir>
#include <QFileInfo>

namespace {

const QString kUsage =
    QStringLiteral("usage: ambrylog-cli add (--drive LETTER | --folder PATH) [--mark MARK] "
                   "[--location TEXT] [--note TEXT] [--eject]");

const int kMaxFieldLength = 255;

int refuse(const QString &text)
{
    cliErr(QStringLiteral("ambrylog-cli add: ") + text);
    return CliAddError;
}

// A terminal line per line of the message.
void say(const QString &message)
{
    QString s = message;
    cliOut(s.replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
}

struct Options
{
    char letter = 0;
    QString folder;
    bool haveFolder = false;
    QString mark;
    bool haveMark = false;
    QString location;
    QString note;
    bool eject = false;
};

// Empty text when the arguments are fine, else what is wrong with them.
QString parse(const QStringList &args, Options *o)
{
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString &a = args.at(i);
        const bool hasValue = i + 1 < args.size();
        if (a == QLatin1String("--eject")) {
            o->eject = true;
            continue;
        }
        if (a != QLatin1String("--drive") && a != QLatin1String("--folder") && a != QLatin1String("--mark") &&
            a != QLatin1String("--location") && a != QLatin1String("--note"))
            return QStringLiteral("unknown argument '%1'").arg(a);
        if (!hasValue)
            return QStringLiteral("%1 needs a value").arg(a);
        const QString v = args.at(++i);
        if (a == QLatin1String("--drive")) {
            o->letter = parseDriveLetterArg(v);
            if (!o->letter)
                return QStringLiteral("'%1' is not a drive letter (A to Z)").arg(v);
        } else if (a == QLatin1String("--folder")) {
            o->folder = v;
            o->haveFolder = true;
        } else if (a == QLatin1String("--mark")) {
            o->mark = v;
            o->haveMark = true;
        } else if (a == QLatin1String("--location")) {
            o->location = v;
        } else {
            o->note = v;
        }
    }
    if ((o->letter != 0) == o->haveFolder)
        return QStringLiteral("give either --drive or --folder");
    if (o->haveMark && o->mark.trimmed().isEmpty())
        return QStringLiteral("the mark is blank");
    // The window's fields hold no more than this either.
    const std::pair<const char *, const QString *> fields[] = {
        {"mark", &o->mark}, {"location", &o->location}, {"note", &o->note}};
    for (const auto &[name, text] : fields)
        if (text->trimmed().size() > kMaxFieldLength)
            return QStringLiteral("the %1 is longer than %2 characters")
                .arg(QString::fromLatin1(name))
                .arg(kMaxFieldLength);
    return {};
}

} // namespace

int cliAdd(CliContext &ctx)
{
    Options o;
    const QString wrong = parse(ctx.args, &o);
    if (!wrong.isEmpty()) {
        cliErr(kUsage);
        return refuse(wrong);
    }
    QString folder;
    if (o.haveFolder) {
        const QFileInfo fi(o.folder);
        if (o.folder.isEmpty() || !fi.isDir())
            return refuse(QStringLiteral("'%1' is not a folder").arg(o.folder));
        folder = QDir::cleanPath(fi.absoluteFilePath());
    }
    if (o.letter && GetDriveTypeName(QString(QLatin1Char(o.letter))) == QLatin1String("1"))
        return refuse(QStringLiteral("there is no drive %1").arg(QLatin1Char(o.letter)));
    const QString catalog = resolveCatalogFolder(ctx.catalogFolder);

    AddDiscSession session =
        o.haveFolder ? AddDiscSession::forFolder(folder, catalog) : AddDiscSession(o.letter, catalog);
    const auto finish = [&](int code) {
        if (o.eject && session.ejectOnClose())
            session.eject();
        return code;
    };

    if (session.checkAudioDisc()) {
        say(session.message());
        return finish(CliAddAudioDisc);
    }
    switch (session.scan()) {
    case AddDiscSession::Outcome::Empty:
        say(session.message());
        return finish(CliAddEmpty);
    case AddDiscSession::Outcome::AlreadyArchived:
        say(session.message());
        return finish(CliAddAlreadyArchived);
    case AddDiscSession::Outcome::MarkEntry:
        break;
    default:
        say(session.message());
        return CliAddError;
    }

    const QString mark = o.haveMark ? o.mark : session.proposedMark();
    if (session.markExists(mark)) {
        say(scantext::MarkExists);
        return CliAddMarkUsed; // the user may try another mark: the disc stays in
    }
    say(session.save(mark, o.location, o.note));
    return finish(CliAddSaved);
}
