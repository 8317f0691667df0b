#include "AppLinks.h"

#include "settings/gVars.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QUrl>

namespace links {

QString manualPath()
{
    QString exeDir = gVars().programFolder;
    if (exeDir.isEmpty())
        exeDir = QCoreApplication::applicationDirPath() + QLatin1Char('/');
    const QStringList candidates = {
        exeDir + ManualFileName,
        exeDir + QStringLiteral("../share/ambrylog/") + ManualFileName,
        QStringLiteral(AMBRY_MANUAL_INSTALL_PATH),
    };
    for (const QString &path : candidates) {
        if (QFileInfo(path).isFile())
            return QDir::cleanPath(QFileInfo(path).absoluteFilePath());
    }
    return QString();
}

QString manualUrl(const QString &anchor)
{
    const QString path = manualPath();
    QUrl url = path.isEmpty() ? QUrl(HomePage) : QUrl::fromLocalFile(path);
    url.setFragment(anchor);
    return url.toString();
}

} // namespace links
