#include "fmMain.h"

#include "fmAbout.h"
#include "fmArchive.h"
#include "fmScan.h"
#include "fmSearch.h"
#include "fmSetDevice.h"
#include "fmWaitCD.h"

#include <QSystemTrayIcon>

MainServices MainServices::defaults()
{
    MainServices s;
    s.waitForDisc = [](const QString &message) { return WaitForDisc(message); };
    s.runAddDiscSession = RunAddDiscSession;
    s.showSearchWindow = ShowSearchWindow;
    s.showCatalog = ShowArchiveWindow;
    s.showSetDevice = ShowSetDeviceWindow;
    s.showAbout = ShowAboutWindow;
    s.trayAvailable = [] { return QSystemTrayIcon::isSystemTrayAvailable(); };
    return s;
}
