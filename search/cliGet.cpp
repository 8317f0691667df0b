#include "cliGet.h"

#include "RetrievalSession.h"
#include "SearchEngine.h"
#include "catalog/Archive.h"
#include "catalog/Catalog.h"
#include "catalog/ProgramCatalog.h"
#include "drives/DiscWait.h"
#include "drives/HostageFile.h"
#include "drives/gDrives.h"
#include "settings/SettingsNames.h"
#include "settings/gRegistry.h"
#include "util/AmbryError.h"
#include "util/PosixFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {

const int kDefaultWaitSeconds = 120;
// A day: enough for any wait, small enough for the timer.
const int kMaxWaitSeconds = 24 * 60 * 60;

// A folder line or the folder part of a path, compared as "\"-separated text without a
// separator at either end; the root is empty.
QString folderKey(QString folder)
{
    folder.replace(QLatin1Char('/'), QLatin1Char('\\'));
    qsizetype begin = 0;
    qsizetype end = folder.size();
    while (begin < end && folder.at(begin) == QLatin1Char('\\'))
        ++begin;
    while (end > begin && folder.at(end - 1) == QLatin1Char('\\'))
        --end;
    return folder.mid(begin, end - begin);
}

// Whether a file of this size is recorded with that size line: the line holds the size's low 32
// bits as a signed number (files of 2 GiB and more wrap).
bool sameRecordedSize(qint64 actual, qint64 recorded)
{
    return actual == recorded || int32_t(uint32_t(quint64(actual) & 0xFFFFFFFFu)) == recorded;
}

// Finds one file among the records of the archives it is given.
class FileFinder : public search::ResultSink
{
public:
    FileFinder(const QString &folder, const QString &name) : m_folder(folderKey(folder)), m_name(name) {}
    void beginArchive(int, const search::ArchiveInfo &archive) override
    {
        m_mark = archive.mark;
        m_archive = archive.path;
    }
    void addRow(const search::FoundRecord &r) override
    {
        if (found || decodeArchiveText(r.name) != m_name ||
            folderKey(decodeArchiveText(r.folder)) != m_folder)
            return;
        found = true;
        archivePath = m_archive;
        size = r.size;
        sizeKnown = r.sizeValid;
        file = {r.folder.toByteArray(), r.name.toByteArray(), decodeArchiveText(r.folder),
                decodeArchiveText(r.name), m_mark};
    }
    bool found = false;
    qint64 size = 0;
    bool sizeKnown = false;
    CataloguedFile file;
    QString archivePath;

private:
    QString m_folder;
    QString m_name;
    QString m_mark;
    QString m_archive;
};

// The request on standard error, then the wait on the drive layer's media arrivals.
class TerminalRequester : public DiscRequester
{
public:
    TerminalRequester(const CliContext &ctx, char letter, int waitMs)
        : m_ctx(ctx), m_letter(letter), m_waitMs(waitMs)
    {}
    Answer waitForDisc(const QString &request) override
    {
        m_ctx.err(request);
        switch (DiscWait(m_letter, settingsHostageFile()).run(m_waitMs)) {
        case DiscWait::Result::Arrived:
            return Answer::Inserted;
        case DiscWait::Result::TimedOut:
            return Answer::TimedOut;
        case DiscWait::Result::NoDevice:
            break;
        }
        return Answer::Cancelled;
    }
    void tell(const QString &text) override { m_ctx.err(QStringLiteral("ambrylog-cli get: ") + text); }

private:
    const CliContext &m_ctx;
    char m_letter;
    int m_waitMs;
};

int runGet(CliContext &ctx)
{
    const QString mark = ctx.args.at(0).trimmed();
    const QString path = ctx.args.at(1);
    if (mark.isEmpty())
        return ctx.usageError(QStringLiteral("the mark is blank"));
    QString normalised = path;
    normalised.replace(QLatin1Char('/'), QLatin1Char('\\'));
    const qsizetype cut = normalised.lastIndexOf(QLatin1Char('\\'));
    const QString name = normalised.mid(cut + 1);
    if (name.isEmpty())
        return ctx.usageError(QStringLiteral("'%1' names no file").arg(path));
    int waitSeconds = kDefaultWaitSeconds;
    if (ctx.isSet(QStringLiteral("wait"))) {
        bool ok = false;
        waitSeconds = ctx.value(QStringLiteral("wait")).trimmed().toInt(&ok);
        if (!ok || waitSeconds < 0 || waitSeconds > kMaxWaitSeconds)
            return ctx.usageError(
                QStringLiteral("--wait takes whole seconds from 0 to %1").arg(kMaxWaitSeconds));
    }
    const QString dirArg =
        ctx.isSet(QStringLiteral("to")) ? ctx.value(QStringLiteral("to")) : QDir::currentPath();
    const QFileInfo dir(dirArg);
    if (dirArg.isEmpty() || !dir.isDir())
        return ctx.fail(QStringLiteral("'%1' is not a folder").arg(dirArg));

    const QStringList archives = catalog::commandLineCatalog(ctx.catalogFolder).archivesWithMark(mark);
    if (archives.isEmpty()) {
        ctx.err(QStringLiteral("ambrylog-cli get: no archive has the mark '%1'").arg(mark));
        return CliGetNotCatalogued;
    }
    search::SearchCriteria everything;
    FileFinder finder(normalised.left(std::max<qsizetype>(cut, 0)), name);
    search::SearchEngine engine(everything, finder);
    for (const QString &archive : archives) {
        engine.AddFile(archive);
        if (finder.found)
            break;
    }
    if (!finder.found) {
        ctx.err(QStringLiteral("ambrylog-cli get: the disc marked '%1' has no file '%2'").arg(mark, path));
        return CliGetNotCatalogued;
    }

    // The disc is asked for only when the file can be put down.
    const QString target = QDir(dir.absoluteFilePath()).filePath(finder.file.nameText);
    if (QFileInfo::exists(target) || QFileInfo(target).isSymLink())
        return ctx.fail(QStringLiteral("'%1' already exists; nothing was copied").arg(target));
    const char letter = chooseReadDevice(ReadSetting(RegKey::V, RegName::DefaultDeviceDrive));
    RetrievalSession session(letter, finder.file);
    session.setArchive(finder.archivePath);
    bool fromImage = false;
    try {
        fromImage = session.takeFromImage();
    } catch (const AmbryError &e) {
        return ctx.fail(e.message());
    }
    if (!fromImage && letter == 0)
        return ctx.fail(QStringLiteral("there is no read device: bind a folder drive or choose one with "
                                       "'ambrylog-cli drives default LETTER'"));

    TerminalRequester requester(ctx, letter, waitSeconds * 1000);
    switch (fromImage ? RetrievalSession::Outcome::Found : session.run(requester)) {
    case RetrievalSession::Outcome::Found:
        break;
    case RetrievalSession::Outcome::WrongDisc:
        return CliGetWrongDisc;
    case RetrievalSession::Outcome::TimedOut:
        ctx.err(QStringLiteral("ambrylog-cli get: no disc arrived within %1 s").arg(waitSeconds));
        return CliGetTimedOut;
    case RetrievalSession::Outcome::Cancelled:
        return ctx.fail(QStringLiteral("the wait ended without a disc"));
    }
    const bool copied = copyFileWithoutReplacing(session.path(), target);
    // The copy taken out of an image waited only for this one.
    if (fromImage)
        QDir(QFileInfo(QFile::decodeName(session.path())).absolutePath()).removeRecursively();
    if (!copied)
        return ctx.fail(QStringLiteral("'%1' already exists; nothing was copied").arg(target));
    ctx.out(target);
    // Copied all the same: it is the file the user asked for, only not as it was catalogued.
    const qint64 copiedSize = QFileInfo(target).size();
    if (finder.sizeKnown && !sameRecordedSize(copiedSize, finder.size))
        ctx.err(QStringLiteral("ambrylog-cli get: the file has %1 bytes, the catalog says %2: it changed "
                               "since the disc was catalogued")
                    .arg(copiedSize)
                    .arg(finder.size));
    return CliGetCopied;
}

} // namespace

const CliCommand &getCommand()
{
    static const CliCommand command{
        .name = QStringLiteral("get"),
        .summary = QStringLiteral("copy one file of a catalogued disc, asking for the disc when needed"),
        .synopsis = {QStringLiteral("MARK PATH [--to DIR] [--wait SECONDS]")},
        .description = QStringLiteral(
            "MARK is the disc's mark (letter case and blanks around it do not count); PATH the\n"
            "file's path on the disc as search prints it, folder and name, with \"\\\" or \"/\".\n"
            "When the file is not on the read device, prints \"Insert CD/DVD marked: \" and the\n"
            "mark on standard error, opens the tray and waits for a disc. A disc added from a disc\n"
            "image comes out of the image, with no wait, while the image is at the archive's\n"
            "location. The copy goes into DIR (the current folder unless given) under the file's\n"
            "name and never replaces a file; its path is printed on standard output."),
        .options = {{{QStringLiteral("to")},
                     QStringLiteral("DIR"),
                     QStringLiteral("the folder to copy into")},
                    {{QStringLiteral("wait")},
                     QStringLiteral("SECONDS"),
                     QStringLiteral("how long to wait for the disc, 120 unless given")}},
        .minArgs = 2,
        .maxArgs = 2,
        .exitCodes = {{CliGetCopied, QStringLiteral("copied")},
                      {CliGetError, QStringLiteral("error (the file exists in DIR, no read device, ...)")},
                      {CliGetWrongDisc,
                       QStringLiteral("the disc that arrived does not hold the file; the tray opens")},
                      {CliGetTimedOut, QStringLiteral("no disc arrived in time")},
                      {CliGetNotCatalogued,
                       QStringLiteral("no archive has the mark, or it has no such file")}},
        .arguments = {{QStringLiteral("MARK")}, {QStringLiteral("PATH")}},
        .run = runGet,
    };
    return command;
}
