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

} // namespace retrieval
