#include "Entry.h"

#include "AmbryApplication.h"
#include "app/SingleInstance.h"
#include "browser/gui/fmExplore.h"
#include "catalog/CatalogSwap.h"
#include "catalog/ProgramCatalog.h"
#include "fmMain.h"
#include "fmThanx.h"
#include "settings/Startup.h"
#include "settings/gRegistry.h"
#include "util/AmbryError.h"
#include "util/gui/MessageBox.h"
#include "util/gui/WindowKeys.h"

#include <QIcon>

void initAppGuiResources();

int runAmbrylog(int &argc, char **argv)
{
    AmbryApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("Brightfen"));
    QCoreApplication::setApplicationName(QStringLiteral("Ambrylog"));
    QCoreApplication::setApplicationVersion(QStringLiteral(AMBRY_VERSION));
    QGuiApplication::setDesktopFileName(QStringLiteral(AMBRY_APP_ID));
    // The main window may live in the tray with no window shown; the program ends when the
    // main window closes, not when the last visible window does.
    QGuiApplication::setQuitOnLastWindowClosed(false);

    // 1. A copy already runs: ask it to come forward and leave everything untouched.
    SingleInstance instance;
    if (instance.start() == SingleInstance::Role::Secondary)
        return 0;

    // 2.-5. Program, data and catalog folders.
    QString error;
    if (!establishFolders(&error)) {
        showMessage(QStringLiteral("Cannot establish Roaming Application Data folder!"));
        return 1;
    }
    // A restore or merge that a crash interrupted is finished before anything reads the catalog.
    QString finished;
    deliverGuarded([&finished] {
        finished = catalog::finishInterruptedChange(catalog::programCatalog());
        return true;
    });
    // 6.
    deliverGuarded([] {
        writeProgramLocation();
        return true;
    });
    // 7.
    applyTooltipTiming(app);
    windowkeys::install(app);
    installExploreOpener();
    initAppGuiResources();
    QGuiApplication::setWindowIcon(QIcon(QStringLiteral(":/art/ambrylog.svg")));

    // 8.
    TfrmMain frmMain(QCoreApplication::arguments());
    QObject::connect(&instance, &SingleInstance::activationRequested, &frmMain,
                     &TfrmMain::activateFromAnotherInstance);
    QObject::connect(&frmMain, &TfrmMain::closed, &app, &QCoreApplication::quit, Qt::QueuedConnection);

    // 9. The welcome window, then a settings file that had to be set aside.
    deliverGuarded([] {
        ShowThanx(RegKey::S, RegName::MsgThanx, QStringLiteral("Ambrylog"));
        return true;
    });
    if (!finished.isEmpty())
        showMessage(finished);
    const QString notice = takeSettingsNotice();
    if (!notice.isEmpty())
        showMessage(notice);

    // 10.-11.
    frmMain.showAtStart();
    app.exec();
    return 0;
}
