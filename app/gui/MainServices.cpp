#include "fmMain.h"

#include "MessageBox.h"
#include "fmScan.h"
#include "fmWaitCD.h"

#include <QSystemTrayIcon>

MainServices MainServices::defaults()
{
    MainServices s;
    s.waitForDisc = WaitForDisc;
    s.runAddDiscSession = RunAddDiscSession;
    s.showSearchWindow = [](const QString &) {
        showMessage(QStringLiteral("This command is not available yet."));
        return 0;
    };
    s.trayAvailable = [] { return QSystemTrayIcon::isSystemTrayAvailable(); };
    return s;
}
