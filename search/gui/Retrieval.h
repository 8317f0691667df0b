#pragma once

#include <QByteArray>
#include <QString>
#include <QUrl>

class QWidget;

#include "search/RetrievalSession.h"

// Handing a found file over to the clipboard and the shell.
namespace retrieval {

// Whether the path survives the trip through QString (QFile::decodeName / encodeName); only
// then can it be handed to services that take text.
bool roundTrips(const QByteArray &path);
// The file URL of an absolute path, exact for any bytes.
QUrl fileUrl(const QByteArray &path);

// Copy File's and Execute File's hand-over of a path of any bytes: through CopyFileToClipboard and
// OpenWithShell when the path survives QString, otherwise with the exact file URL.
// copyToClipboard throws AmbryError "Could not allocate memory." like CopyFileToClipboard.
// openWithShell tells the user in a box over owner when no program opens the file.
void copyToClipboard(const QByteArray &path);
void openWithShell(const QByteArray &path, QWidget *owner = nullptr);

// The commands on a catalogued file, for every window that shows one: the file comes out of
// the disc image its archive was added from, or the disc is asked for by its mark (with where
// it is kept) when the file is not on the read device. Failures are told in a box over owner;
// a cancelled wait ends the command without a word.
void copyFileCommand(QWidget *owner, const CataloguedFile &file, const QString &archivePath);
void executeFileCommand(QWidget *owner, const CataloguedFile &file, const QString &archivePath);
// Copy Folder: the folder on the clipboard as one entry, after asking for the disc once.
void copyFolderCommand(QWidget *owner, const CataloguedFolder &folder, const QString &archivePath);

inline const QString FileReady =
    QStringLiteral("Your file is ready in clipboard, paste it where you desire.");
inline const QString FolderReady =
    QStringLiteral("Your folder is ready in clipboard, paste it where you desire.");

} // namespace retrieval
