#include "Retrieval.h"

#include "catalog/Catalog.h"
#include "drives/DiscWait.h"
#include "drives/gui/fmWaitCD.h"
#include "settings/gVars.h"
#include "util/AmbryError.h"
#include "util/gui/MessageBox.h"
#include "util/gui/ShellService.h"
#include "util/gui/gUtilsGui.h"

#include <QCoreApplication>
#include <QFile>
#include <QMimeData>

namespace retrieval {

bool roundTrips(const QByteArray &path)
{
    return QFile::encodeName(QFile::decodeName(path)) == path;
}

QUrl fileUrl(const QByteArray &path)
{
    return QUrl::fromEncoded(QByteArrayLiteral("file://") + path.toPercentEncoding("/"), QUrl::StrictMode);
}

void copyToClipboard(const QByteArray &path)
{
    if (roundTrips(path)) {
        CopyFileToClipboard(QFile::decodeName(path));
        return;
    }
    QMimeData *data = fileClipboardData(QFile::decodeName(path));
    const QUrl url = fileUrl(path);
    data->setUrls({url});
    data->setData(QStringLiteral("x-special/gnome-copied-files"),
                  QByteArrayLiteral("copy\n") + url.toEncoded());
    if (!shell().setClipboard(data))
        throw AmbryError(QStringLiteral("Could not allocate memory."));
}

void openWithShell(const QByteArray &path, QWidget *owner)
{
    if (roundTrips(path)) {
        OpenWithShell(owner, QFile::decodeName(path));
        return;
    }
    QCoreApplication::processEvents();
    openUrlOrSay(fileUrl(path), owner);
}

namespace {

// Where the disc is kept is what the user needs while asked for it.
WaitWindowRequester requesterFor(QWidget *owner, const QString &archivePath)
{
    return WaitWindowRequester(owner,
                               DiscWait::keptAt(ReadArchiveValue(archivePath, QStringLiteral("ALocation")),
                                                ReadArchiveValue(archivePath, QStringLiteral("ANote"))));
}

// The file on a disc or out of its image; empty when the command ends.
QByteArray fetchFile(QWidget *owner, const CataloguedFile &file, const QString &archivePath)
{
    RetrievalSession session(gVars().readDeviceLetter, file);
    session.setArchive(archivePath);
    if (session.takeFromImage())
        return session.path();
    WaitWindowRequester requester = requesterFor(owner, archivePath);
    return session.run(requester) == RetrievalSession::Outcome::Found ? session.path() : QByteArray();
}

} // namespace

void copyFileCommand(QWidget *owner, const CataloguedFile &file, const QString &archivePath)
{
    try {
        const QByteArray path = fetchFile(owner, file, archivePath);
        if (path.isEmpty())
            return;
        try {
            processPendingEvents();
            copyToClipboard(path);
            showMessage(FileReady, owner);
        } catch (const std::exception &) {
            // A failed copy ends the command without a word; the success message must not show.
        }
    } catch (const AmbryError &e) {
        showError(e.message(), owner);
    }
}

void executeFileCommand(QWidget *owner, const CataloguedFile &file, const QString &archivePath)
{
    try {
        const QByteArray path = fetchFile(owner, file, archivePath);
        if (path.isEmpty())
            return;
        try {
            openWithShell(path, owner);
        } catch (const std::exception &) {
            // Only the desktop's refusal is told; nothing else is known about the failure.
        }
    } catch (const AmbryError &e) {
        showError(e.message(), owner);
    }
}

void copyFolderCommand(QWidget *owner, const CataloguedFolder &folder, const QString &archivePath)
{
    try {
        FolderRetrieval retrieval(gVars().readDeviceLetter, folder);
        retrieval.setArchive(archivePath);
        if (!retrieval.takeFromImage()) {
            WaitWindowRequester requester = requesterFor(owner, archivePath);
            if (retrieval.run(requester) != RetrievalSession::Outcome::Found)
                return;
        }
        try {
            processPendingEvents();
            copyToClipboard(retrieval.path());
            showMessage(FolderReady, owner);
        } catch (const std::exception &) {
            // As Copy File: a failed copy ends the command without a word.
        }
    } catch (const AmbryError &e) {
        showError(e.message(), owner);
    }
}

} // namespace retrieval
