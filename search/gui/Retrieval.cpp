#include "Retrieval.h"

#include "util/AmbryError.h"
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

} // namespace retrieval
