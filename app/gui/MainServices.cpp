#include "fmMain.h"

#include "TaskbarHint.h"
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
    // Qt's own test settles which kind of tray it uses at its first call: it is asked only once
    // a tray is there.
    s.trayAvailable = [] { return trayPresent() && QSystemTrayIcon::isSystemTrayAvailable(); };
    return s;
}
