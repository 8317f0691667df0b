#include "fmMain.h"

#include "browser/gui/fmArchive.h"
#include "drives/gui/fmSetDevice.h"
#include "drives/gui/fmWaitCD.h"
#include "fmAbout.h"
#include "scan/gui/fmScan.h"
#include "search/gui/fmSearch.h"

#include <QDir>
#include <QFileDialog>
#include <QSystemTrayIcon>

MainServices MainServices::defaults()
{
    MainServices s;
    s.waitForDisc = [](const QString &message) { return WaitForDisc(message); };
    s.runAddDiscSession = RunAddDiscSession;
    s.runAddImageSession = RunAddImageSession;
    s.chooseDiscImage = [](QWidget *parent) {
        return QFileDialog::getOpenFileName(parent, QStringLiteral("Add Disc Image"), QDir::homePath(),
                                            QStringLiteral("Disc images (*.iso *.ISO);;All files (*)"));
    };
    s.showSearchWindow = ShowSearchWindow;
    s.showCatalog = ShowArchiveWindow;
    s.showSetDevice = ShowSetDeviceWindow;
    s.showAbout = ShowAboutWindow;
    s.trayAvailable = [] { return QSystemTrayIcon::isSystemTrayAvailable(); };
    return s;
}
