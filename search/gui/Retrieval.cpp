#include "Retrieval.h"

#include "util/AmbryError.h"
#include "util/gui/ShellService.h"
#include "util/gui/gUtilsGui.h"

#include <QCoreApplication>
#include <QFile>
#include <QMimeData>

#include <sys/stat.h>

namespace retrieval {

QByteArray relativePath(QByteArrayView folderLine, QByteArrayView name)
{
    QByteArray path;
    path.reserve(folderLine.size() + name.size() + 1);
    if (folderLine != QByteArrayView("\\")) {
        path.append(folderLine.data(), folderLine.size());
        path.replace('\\', '/');
        path.append('/');
    }
    path.append(name.data(), name.size());
    return path;
}

QByteArray joinRoot(const QString &root, const QByteArray &relative)
{
    return QFile::encodeName(root) + relative;
}

bool fileExists(const QByteArray &path)
{
    if (path.isEmpty())
        return false;
    struct stat info;
    if (::stat(path.constData(), &info) != 0)
        return false;
    return !S_ISDIR(info.st_mode);
}

QByteArray locate(const QString &root, QByteArrayView folderLine, QByteArrayView name,
                  const QString &folderText, const QString &nameText)
{
    if (root.isEmpty())
        return QByteArray();
    const QByteArray asStored = joinRoot(root, relativePath(folderLine, name));
    if (fileExists(asStored))
        return asStored;
    const QByteArray folderUtf8 = folderText.toUtf8();
    const QByteArray nameUtf8 = nameText.toUtf8();
    if (folderUtf8 != folderLine || nameUtf8 != name) {
        const QByteArray shown = joinRoot(root, relativePath(folderUtf8, nameUtf8));
        if (fileExists(shown))
            return shown;
    }
    return asStored;
}

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

void openWithShell(const QByteArray &path)
{
    if (roundTrips(path)) {
        OpenWithShell(nullptr, QFile::decodeName(path));
        return;
    }
    QCoreApplication::processEvents();
    shell().openUrl(fileUrl(path));
}

} // namespace retrieval
