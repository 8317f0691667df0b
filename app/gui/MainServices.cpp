#include "fmMain.h"

#include "MessageBox.h"
#include "fmWaitCD.h"

#include <QDesktopServices>
#include <QSystemTrayIcon>
#include <QUrl>
#include <QUrlQuery>

MainServices MainServices::defaults()
{
    MainServices s;
    s.waitForDisc = WaitForDisc;
    s.showSearchWindow = [](const QString &) {
        showMessage(QStringLiteral("This command is not available yet."));
        return 0;
    };
    s.trayAvailable = [] { return QSystemTrayIcon::isSystemTrayAvailable(); };
    s.openWithShell = [](QWidget *, const QString &target) { QDesktopServices::openUrl(QUrl(target)); };
    s.composeMail = [](QWidget *, const QString &address, const QString &subject, const QString &body) {
        QUrl url(QStringLiteral("mailto:") + address);
        QUrlQuery query;
        query.addQueryItem(QStringLiteral("subject"), subject);
        query.addQueryItem(QStringLiteral("body"), body);
        url.setQuery(query);
        QDesktopServices::openUrl(url);
    };
    return s;
}
