#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QUrl>

// Finding a catalogued file on the disc in the read device. Paths are bytes, as Linux names
// files: a name that is not valid UTF-8 must be found under exactly the bytes the archive holds.
namespace retrieval {

// The file's path below the disc root: the folder line with "/" for "\" and a "/" after it
// (nothing for the root folder line "\"), then the name. "Music\Rock" + "song.mp3" gives
// "Music/Rock/song.mp3"; "\" + "readme.txt" gives "readme.txt".
QByteArray relativePath(QByteArrayView folderLine, QByteArrayView name);

// root (a real folder ending in "/", may be empty) followed by the relative path.
QByteArray joinRoot(const QString &root, const QByteArray &relative);

// True when a file (not a folder) exists at the path.
bool fileExists(const QByteArray &path);

// The path to use for a row (empty when root is empty: no medium, nothing to find): the bytes as
// stored when a file is there. Lines that are not
// UTF-8 came from another system's code page; a Linux mount shows such names in UTF-8, so the
// text the list shows is tried next. When neither exists, the bytes as stored.
QByteArray locate(const QString &root, QByteArrayView folderLine, QByteArrayView name,
                  const QString &folderText, const QString &nameText);

// Whether the path survives the trip through QString (QFile::decodeName / encodeName); only
// then can it be handed to services that take text.
bool roundTrips(const QByteArray &path);
// The file URL of an absolute path, exact for any bytes.
QUrl fileUrl(const QByteArray &path);

// Copy File's and Execute File's hand-over of a path of any bytes: through CopyFileToClipboard and
// OpenWithShell when the path survives QString, otherwise with the exact file URL.
// copyToClipboard throws AmbryError "Could not allocate memory." like CopyFileToClipboard.
void copyToClipboard(const QByteArray &path);
void openWithShell(const QByteArray &path);

} // namespace retrieval
