#include "fmMain.h"

#include "AppLinks.h"
#include "TaskbarHint.h"
#include "backup/gui/BackupCommands.h"
#include "drives/gDrives.h"
#include "drives/gui/fmWaitCD.h"
#include "settings/Settings.h"
#include "settings/gVars.h"
#include "settings/gui/FormPlacement.h"
#include "util/gui/KeyReleaseRule.h"
#include "util/gui/MessageBox.h"
#include "util/gui/WindowKeys.h"
#include "util/gui/WindowLook.h"
#include "util/gui/gUtilsGui.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QLayout>
#include <QLoggingCategory>
#include <QMenu>
#include <QMenuBar>
#include <QSessionManager>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QToolButton>

void initAppGuiResources();

Q_LOGGING_CATEGORY(lcMain, "ambrylog.main", QtWarningMsg)

namespace {

const QString ProductName = QStringLiteral("Ambrylog");
const QString ExitQuestion = QStringLiteral("Do you really want to exit Ambrylog?");
const QString NoTrayHint = QStringLiteral("This desktop offers no system tray, so the program keeps its "
                                          "task-bar button to stay reachable.");
constexpr int ClientWidth = 399;
constexpr int ClientHeight = 190;

// A value of the wrong kind is reported and then read as absent, so one damaged value
// cannot keep the program from starting.
template <typename T> T readOrReport(const settings::Setting<T> &setting)
{
    QString problem;
    T value = settings::get(setting, &problem);
    if (!problem.isEmpty())
        showError(problem);
    return value;
}

void makeBold(QAction *action)
{
    QFont font = action->font();
    font.setBold(true);
    action->setFont(font);
}

QToolButton *glyphButton(QWidget *parent, const QString &name, const QRect &geometry, int iconSize)
{
    auto *button = new QToolButton(parent);
    button->setObjectName(name);
    look::styleBandButton(button);
    button->setGeometry(geometry);
    button->setIconSize(QSize(iconSize, iconSize));
    return button;
}

} // namespace

TfrmMain *TfrmMain::s_addDisabler = nullptr;

TfrmMain::TfrmMain(const QStringList &arguments, MainServices services, QWidget *parent)
    : QMainWindow(parent), m_services(std::move(services))
{
    initAppGuiResources();
    setObjectName(FormName::Main);
    setWindowTitle(ProductName);
    setWindowIcon(QIcon(QStringLiteral(":/art/ambrylog.svg")));
    // Fixed border, minimise but no maximise box.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint |
                   Qt::MSWindowsFixedSizeDialogHint);

    m_trayAvailable = m_services.trayAvailable && m_services.trayAvailable();

    m_releaseRule = new KeyReleaseRule(this);
    createActions();
    createClientArea();
    createMenus();
    createTray();
    readPreferences(arguments);
    setReadDevice();

    // A wait that finds no read device at all disables adding for the rest of the run.
    s_addDisabler = this;
    setNoReadDeviceHandler([] {
        if (s_addDisabler)
            s_addDisabler->ActAdd->setEnabled(false);
    });

    // Log-off and shut-down never wait for the exit question.
    connect(qApp, &QGuiApplication::commitDataRequest, this,
            [this](QSessionManager &) { setSessionEnding(true); });

    layout()->setSizeConstraint(QLayout::SetFixedSize);
    adjustSize();
    RestoreFormPlacement(RegKey::Wp, this);
    TrackFormPlacement(RegKey::Wp, this);
}

TfrmMain::~TfrmMain()
{
    if (s_addDisabler == this)
        s_addDisabler = nullptr;
    if (TrayIcon1)
        TrayIcon1->hide();
}

QAction *TfrmMain::newAction(const QString &name, const QString &text)
{
    auto *action = new QAction(text, this);
    action->setObjectName(name);
    action->setIconVisibleInMenu(false);
    return action;
}

void TfrmMain::createActions()
{
    ActAdd = newAction(QStringLiteral("ActAdd"), QStringLiteral("Add New CD/DVD to Catalog"));
    ActAdd->setToolTip(QStringLiteral("Add New CD/DVD to Catalog"));
    ActAdd->setShortcut(QKeySequence(Qt::Key_Insert));
    ActAdd->setIcon(QIcon(QStringLiteral(":/art/add_disc.svg")));
    makeBold(ActAdd);
    connect(ActAdd, &QAction::triggered, this, &TfrmMain::ActAddExecute);

    // No drive and no wait: always there, also on a machine without a read device.
    ActAddImage = newAction(QStringLiteral("ActAddImage"), QStringLiteral("Add Disc Image..."));
    connect(ActAddImage, &QAction::triggered, this, &TfrmMain::ActAddImageExecute);

    ActSearch = newAction(QStringLiteral("ActSearch"), QStringLiteral("Search Files"));
    ActSearch->setToolTip(QStringLiteral("Search Files"));
    ActSearch->setShortcut(QKeySequence(Qt::Key_F3));
    ActSearch->setIcon(QIcon(QStringLiteral(":/art/search.svg")));
    makeBold(ActSearch);
    connect(ActSearch, &QAction::triggered, this, &TfrmMain::ActSearchExecute);

    ActCatalog = newAction(QStringLiteral("ActCatalog"), QStringLiteral("Open Catalog"));
    ActCatalog->setToolTip(QStringLiteral("Open Catalog"));
    connect(ActCatalog, &QAction::triggered, this, &TfrmMain::ActCatalogExecute);

    ActOpenCD = newAction(QStringLiteral("ActOpenCD"), QStringLiteral("Eject CD/DVD"));
    ActOpenCD->setToolTip(QStringLiteral("Eject CD/DVD"));
    ActOpenCD->setIcon(QIcon(QStringLiteral(":/art/eject.svg")));
    connect(ActOpenCD, &QAction::triggered, this, &TfrmMain::ActOpenCDExecute);

    ActCloseCD = newAction(QStringLiteral("ActCloseCD"), QStringLiteral("Close CD/DVD"));
    ActCloseCD->setToolTip(QStringLiteral("Close CD/DVD"));
    ActCloseCD->setIcon(QIcon(QStringLiteral(":/art/close_tray.svg")));
    connect(ActCloseCD, &QAction::triggered, this, &TfrmMain::ActCloseCDExecute);

    mnuExit = newAction(QStringLiteral("mnuExit"), QStringLiteral("Exit"));
    connect(mnuExit, &QAction::triggered, this, &QWidget::close);

    mnuBackup = newAction(QStringLiteral("mnuBackup"), QStringLiteral("Backup Archives to File"));
    makeBold(mnuBackup);
    mnuRestore = newAction(QStringLiteral("mnuRestore"), QStringLiteral("Restore Archives from File"));
    mnuMerge = newAction(QStringLiteral("mnuMerge"), QStringLiteral("Merge Archives from File"));
    mnuImport = newAction(QStringLiteral("mnuImport"), QStringLiteral("Import from Other Catalog..."));
    connect(mnuImport, &QAction::triggered, this, [this] { ImportFromOtherCatalog(this); });
    mnuSetDevice = newAction(QStringLiteral("mnuSetDevice"), QStringLiteral("Set Default Read Device..."));
    mnuAbout = newAction(QStringLiteral("mnuAbout"), QStringLiteral("About..."));
    connect(mnuBackup, &QAction::triggered, this, [this] { BackupArchivesToFile(this); });
    connect(mnuRestore, &QAction::triggered, this, [this] { RestoreArchivesFromFile(this); });
    connect(mnuMerge, &QAction::triggered, this, [this] { MergeArchivesFromFile(this); });
    connect(mnuSetDevice, &QAction::triggered, this, &TfrmMain::mnuSetDeviceClick);
    connect(mnuAbout, &QAction::triggered, this, [this] {
        if (m_services.showAbout)
            m_services.showAbout();
    });

    mnuRunAtStartUp = newAction(QStringLiteral("mnuRunAtStartUp"), QStringLiteral("Run at Start-up"));
    makeBold(mnuRunAtStartUp);
    mnuRunMinimized =
        newAction(QStringLiteral("mnuRunMinimized"), QStringLiteral("Run Minimized (only Start-up)"));
    mnuPromptOnExit = newAction(QStringLiteral("mnuPromptOnExit"), QStringLiteral("Prompt on Exit"));
    mnuShowTrayIcon = newAction(QStringLiteral("mnuShowTrayIcon"), QStringLiteral("Show System Tray Icon"));
    mnuShowInTaskBar = newAction(QStringLiteral("mnuShowInTaskBar"), QStringLiteral("Show in Task Bar"));
    // What the search window's simple search does; the switches are read at each search.
    mnuSearchAllWords =
        newAction(QStringLiteral("mnuSearchAllWords"), QStringLiteral("Simple Search: All Words"));
    mnuSearchIgnoreAccents =
        newAction(QStringLiteral("mnuSearchIgnoreAccents"), QStringLiteral("Simple Search: Ignore Accents"));
    for (QAction *a : {mnuSearchAllWords, mnuSearchIgnoreAccents})
        a->setCheckable(true);
    connect(mnuSearchAllWords, &QAction::triggered, this,
            [](bool on) { settings::set(settings::SearchAllWords, on); });
    connect(mnuSearchIgnoreAccents, &QAction::triggered, this,
            [](bool on) { settings::set(settings::SearchIgnoreAccents, on); });
    // Design state of the check marks; creation then applies the stored switches.
    for (QAction *a : {mnuRunAtStartUp, mnuRunMinimized, mnuPromptOnExit, mnuShowTrayIcon, mnuShowInTaskBar})
        a->setCheckable(true);
    mnuRunMinimized->setChecked(true);
    mnuPromptOnExit->setChecked(true);
    mnuShowTrayIcon->setChecked(true);
    connect(mnuRunAtStartUp, &QAction::triggered, this, &TfrmMain::mnuRunAtStartUpClick);
    connect(mnuRunMinimized, &QAction::triggered, this, &TfrmMain::mnuRunMinimizedClick);
    connect(mnuPromptOnExit, &QAction::triggered, this, &TfrmMain::mnuPromptOnExitClick);
    connect(mnuShowTrayIcon, &QAction::triggered, this, &TfrmMain::mnuShowTrayIconClick);
    connect(mnuShowInTaskBar, &QAction::triggered, this, &TfrmMain::mnuShowInTaskBarClick);

    const auto opener = [this](const QString &target) {
        return [this, target] { OpenWithShell(this, target); };
    };
    mnuProgramHelp = newAction(QStringLiteral("mnuProgramHelp"), QStringLiteral("Program Help"));
    connect(mnuProgramHelp, &QAction::triggered, this,
            [opener] { opener(links::manualUrl(links::HelpAnchor))(); });
    mnuFaq = newAction(QStringLiteral("mnuFaq"), QStringLiteral("FAQ"));
    connect(mnuFaq, &QAction::triggered, this, [opener] { opener(links::manualUrl(links::FaqAnchor))(); });
    mnuHomePage = newAction(QStringLiteral("mnuHomePage"), QStringLiteral("Home Page"));
    connect(mnuHomePage, &QAction::triggered, this, opener(links::HomePage));
    mnuCheckUpdate = newAction(QStringLiteral("mnuCheckUpdate"), QStringLiteral("Check for Update"));
    connect(mnuCheckUpdate, &QAction::triggered, this, opener(links::HomePage));

    mnuOtherProducts =
        newAction(QStringLiteral("mnuOtherProducts"), QStringLiteral("Other Brightfen Products"));
    connect(mnuOtherProducts, &QAction::triggered, this, opener(links::OtherProducts));
    mnuNewsletter = newAction(QStringLiteral("mnuNewsletter"), QStringLiteral("Subscribe to Newsletter"));
    connect(mnuNewsletter, &QAction::triggered, this, opener(links::Newsletter));
    mnuResellers = newAction(QStringLiteral("mnuResellers"), QStringLiteral("Reseller Program"));
    connect(mnuResellers, &QAction::triggered, this, opener(links::Resellers));
    mnuTellFriend = newAction(QStringLiteral("mnuTellFriend"), QStringLiteral("Tell a Friend (Send e-mail)"));
    connect(mnuTellFriend, &QAction::triggered, this,
            [this] { ComposeMail(this, QString(), QStringLiteral("Ambrylog..."), links::HomePage); });

    mnuTrayMinimize = newAction(QStringLiteral("mnuTrayMinimize"), QStringLiteral("Minimize"));
    makeBold(mnuTrayMinimize);
    connect(mnuTrayMinimize, &QAction::triggered, this, &TfrmMain::minimizeApplication);
    mnuTrayShow = newAction(QStringLiteral("mnuTrayShow"), QStringLiteral("Show"));
    connect(mnuTrayShow, &QAction::triggered, this, &TfrmMain::showApplication);

    // The window's own keys (Insert, F3) work while it has the focus.
    addActions({ActAdd, ActSearch});
}

void TfrmMain::createClientArea()
{
    auto *client = new QWidget(this);
    client->setObjectName(QStringLiteral("clientArea"));
    client->setFixedSize(ClientWidth, ClientHeight);
    look::applyLightPalette(client);
    setCentralWidget(client);

    Panel2 = look::makeBand(client, QStringLiteral("Panel2"));
    Panel2->setGeometry(0, 0, ClientWidth, look::BandHeight);
    Label2 = look::makeHeading(Panel2, QStringLiteral("Label2"), QStringLiteral("Main"));
    Label2->adjustSize();
    Label2->move(8, (look::BandHeight - Label2->height()) / 2);

    btnConsecutive = glyphButton(Panel2, QStringLiteral("btnConsecutive"), QRect(295, 0, 25, 25), 21);
    btnConsecutive->setToolTip(QStringLiteral("Enable Consecutive"));
    btnConsecutive->setAccessibleName(QStringLiteral("Enable Consecutive"));
    btnConsecutive->setIcon(QIcon(QStringLiteral(":/art/consecutive_off.svg")));
    connect(btnConsecutive, &QToolButton::clicked, this, &TfrmMain::btnConsecutiveClick);

    btnOpenCD = glyphButton(Panel2, QStringLiteral("btnOpenCD"), QRect(347, 0, 25, 25), 21);
    btnOpenCD->setDefaultAction(ActOpenCD);
    btnOpenCD->setAccessibleName(ActOpenCD->toolTip());
    btnCloseCD = glyphButton(Panel2, QStringLiteral("btnCloseCD"), QRect(373, 0, 25, 25), 21);
    btnCloseCD->setDefaultAction(ActCloseCD);
    btnCloseCD->setAccessibleName(ActCloseCD->toolTip());

    Panel1 = look::makeBand(client, QStringLiteral("Panel1"));
    // Spans the whole width, as the window keeps it on every activation, and the height below the
    // top band but for a one-pixel rule, so no empty strips are left above and below it.
    const int bodyHeight = ClientHeight - look::BandHeight - 1;
    Panel1->setGeometry(0, look::BandHeight + 1, ClientWidth, bodyHeight);
    const int buttonTop = (bodyHeight - 95) / 2;
    btnPlus = glyphButton(Panel1, QStringLiteral("btnPlus"), QRect(92, buttonTop, 95, 95), 80);
    btnPlus->setDefaultAction(ActAdd);
    btnPlus->setAccessibleName(ActAdd->toolTip());
    btnSearch = glyphButton(Panel1, QStringLiteral("btnSearch"), QRect(212, buttonTop, 95, 95), 80);
    btnSearch->setDefaultAction(ActSearch);
    btnSearch->setAccessibleName(ActSearch->toolTip());

    // Tab goes from the two big commands to the band's buttons, left to right.
    setTabOrder(btnPlus, btnSearch);
    setTabOrder(btnSearch, btnConsecutive);
    setTabOrder(btnConsecutive, btnOpenCD);
    setTabOrder(btnOpenCD, btnCloseCD);
    btnPlus->setFocus();
}

void TfrmMain::createMenus()
{
    MainMenu1 = menuBar();
    MainMenu1->setObjectName(QStringLiteral("MainMenu1"));

    QMenu *catalog = MainMenu1->addMenu(QStringLiteral("Catalog"));
    catalog->setObjectName(QStringLiteral("mnuCatalog"));
    catalog->addAction(ActAdd);
    catalog->addAction(ActAddImage);
    catalog->addSeparator();
    catalog->addAction(ActCatalog);
    catalog->addAction(mnuImport);
    catalog->addSeparator();
    catalog->addAction(mnuExit);
    catalog->setDefaultAction(ActAdd);

    QMenu *tools = MainMenu1->addMenu(QStringLiteral("Tools"));
    tools->setObjectName(QStringLiteral("mnuTools"));
    tools->addAction(ActSearch);
    QMenu *backup = tools->addMenu(QStringLiteral("Backup / Restore"));
    backup->setObjectName(QStringLiteral("mnuBackupRestore"));
    backup->addActions({mnuBackup, mnuRestore, mnuMerge});
    backup->setDefaultAction(mnuBackup);
    tools->addSeparator();
    tools->addAction(ActOpenCD);
    tools->addAction(ActCloseCD);
    tools->addSeparator();
    tools->addAction(mnuSetDevice);
    tools->addSeparator();
    QMenu *prefs = tools->addMenu(QStringLiteral("Preferences"));
    prefs->setObjectName(QStringLiteral("mnuPreferences"));
    prefs->setToolTipsVisible(true);
    prefs->addActions({mnuRunAtStartUp, mnuRunMinimized, mnuPromptOnExit});
    prefs->addSeparator();
    prefs->addActions({mnuShowTrayIcon, mnuShowInTaskBar});
    prefs->addSeparator();
    prefs->addActions({mnuSearchAllWords, mnuSearchIgnoreAccents});
    prefs->setDefaultAction(mnuRunAtStartUp);
    tools->setDefaultAction(ActSearch);

    QMenu *help = MainMenu1->addMenu(QStringLiteral("Help"));
    help->setObjectName(QStringLiteral("mnuHelp"));
    help->addActions({mnuProgramHelp, mnuFaq});
    help->addSeparator();
    help->addActions({mnuHomePage, mnuCheckUpdate});
    help->addSeparator();
    help->addAction(mnuAbout);

    QMenu *more = MainMenu1->addMenu(QStringLiteral("More"));
    more->setObjectName(QStringLiteral("mnuMore"));
    more->addActions({mnuOtherProducts, mnuNewsletter, mnuResellers, mnuTellFriend});

    PopupMenu2 = new QMenu(this);
    PopupMenu2->setObjectName(QStringLiteral("PopupMenu2"));
    PopupMenu2->addAction(mnuTrayMinimize);
    PopupMenu2->addAction(mnuTrayShow);
    PopupMenu2->addSeparator();
    PopupMenu2->addAction(mnuExit);
    PopupMenu2->setDefaultAction(mnuTrayMinimize);
    windowkeys::addMnemonics(MainMenu1);
    windowkeys::addMnemonics(PopupMenu2);
}

void TfrmMain::createTray()
{
    if (!m_trayAvailable)
        return;
    TrayIcon1 = new QSystemTrayIcon(QIcon(QStringLiteral(":/art/tray.svg")), this);
    TrayIcon1->setObjectName(QStringLiteral("TrayIcon1"));
    TrayIcon1->setToolTip(ProductName);
    TrayIcon1->setContextMenu(PopupMenu2);
    // Desktops report double clicks unreliably (never under StatusNotifierItem), so only the
    // single click counts; the menu comes with the right button through the context menu.
    connect(TrayIcon1, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason == QSystemTrayIcon::Trigger)
            showApplication();
    });
}

void TfrmMain::readPreferences(const QStringList &arguments)
{
    mnuRunAtStartUp->setChecked(readOrReport(settings::RunEntry).toUpper() == startupCommand().toUpper());
    mnuPromptOnExit->setChecked(readOrReport(settings::PromptOnExit));
    mnuRunMinimized->setChecked(readOrReport(settings::StartUpRunMinimized));
    m_startMinimized = mnuRunMinimized->isChecked() && arguments.size() > 1;
    mnuSearchAllWords->setChecked(readOrReport(settings::SearchAllWords));
    mnuSearchIgnoreAccents->setChecked(readOrReport(settings::SearchIgnoreAccents));
    readTrayPreferences();
    if (!m_trayAvailable)
        watchForTray();
}

void TfrmMain::readTrayPreferences()
{
    if (!m_trayAvailable) {
        // Without a tray the task-bar button is the only way back to the program. The stored
        // switches stay as they are for a desktop that has a tray.
        mnuShowTrayIcon->setChecked(false);
        mnuShowInTaskBar->setChecked(true);
        mnuShowTrayIcon->setEnabled(false);
        mnuShowInTaskBar->setEnabled(false);
        mnuShowTrayIcon->setToolTip(NoTrayHint);
        mnuShowInTaskBar->setToolTip(NoTrayHint);
        return;
    }
    mnuShowTrayIcon->setChecked(readOrReport(settings::Ssti));
    mnuShowInTaskBar->setChecked(readOrReport(settings::Sitb));
    if (!mnuShowTrayIcon->isChecked() && !mnuShowInTaskBar->isChecked())
        mnuShowTrayIcon->setChecked(true);
    switchTrayIcon(mnuShowTrayIcon->isChecked());
    updatePreferenceEnabling();
}

void TfrmMain::watchForTray()
{
    // A panel that starts after the program (late at log-in) brings the tray options to life.
    m_trayWatch = new QTimer(this);
    m_trayWatch->setObjectName(QStringLiteral("TrayWatch"));
    m_trayWatch->setInterval(m_services.trayWatchMs);
    connect(m_trayWatch, &QTimer::timeout, this, [this] {
        if (!m_services.trayAvailable || !m_services.trayAvailable())
            return;
        m_trayWatch->stop();
        m_trayAvailable = true;
        mnuShowTrayIcon->setToolTip(QString());
        mnuShowInTaskBar->setToolTip(QString());
        createTray();
        readTrayPreferences();
        applyTaskbarButton();
    });
    m_trayWatch->start();
}

void TfrmMain::setReadDevice()
{
    bool passedOver = false;
    const char letter = chooseReadDevice(readOrReport(settings::DefaultDeviceDrive), &passedOver);
    if (passedOver)
        settings::remove(settings::DefaultDeviceDrive);
    gVars().readDeviceLetter = letter;
}

void TfrmMain::refreshReadDevice()
{
    // A drive bound while the program runs (a folder drive from the command line or the read
    // device window) counts at once, and a read device that went away is replaced.
    const char letter = gVars().readDeviceLetter;
    if (letter && driveType(letter) == DriveType::CdDvdRom)
        return;
    gVars().readDeviceLetter = FindFirstCdDrive();
    if (gVars().readDeviceLetter)
        ActAdd->setEnabled(true);
}

QString TfrmMain::startupCommand()
{
    return QLatin1Char('"') + QCoreApplication::applicationFilePath() + QStringLiteral("\" tag");
}

bool TfrmMain::trayShown() const
{
    return TrayIcon1 && TrayIcon1->isVisible();
}

void TfrmMain::showAtStart()
{
    if (!m_startMinimized) {
        show();
        // The window manager may keep the keyboard where the welcome window left it.
        activateWindow();
        return;
    }
    // With only the tray icon, a minimised start means no window at all until the user
    // clicks the icon.
    if (!mnuShowInTaskBar->isChecked() && trayShown())
        return;
    showMinimized();
}

void TfrmMain::ActAddExecute()
{
    if (!ActAdd->isEnabled() || m_adding)
        return;
    m_adding = true;
    // In consecutive mode the next disc is asked for after each session; only cancelling a
    // wait ends the chain. Without an add-disc window the command ends after the wait.
    for (;;) {
        refreshReadDevice();
        if (m_services.waitForDisc(QString()) == ModalResult::Cancel)
            break;
        if (!m_services.runAddDiscSession)
            break;
        m_services.runAddDiscSession();
        if (!m_consecutive || !ActAdd->isEnabled())
            break;
    }
    m_adding = false;
}

void TfrmMain::ActAddImageExecute()
{
    if (m_adding || !m_services.chooseDiscImage || !m_services.runAddImageSession)
        return;
    m_adding = true;
    const QString image = m_services.chooseDiscImage(this);
    if (!image.isEmpty())
        m_services.runAddImageSession(image);
    m_adding = false;
}

void TfrmMain::ActSearchExecute()
{
    if (m_services.showSearchWindow)
        m_services.showSearchWindow(QString());
}

void TfrmMain::ActCatalogExecute()
{
    if (m_services.showCatalog)
        m_services.showCatalog();
}

void TfrmMain::ActOpenCDExecute()
{
    QCoreApplication::processEvents();
    if (gVars().readDeviceLetter)
        OpenDriveDoor(gVars().readDeviceLetter);
}

void TfrmMain::ActCloseCDExecute()
{
    QCoreApplication::processEvents();
    if (gVars().readDeviceLetter)
        CloseDriveDoor(gVars().readDeviceLetter);
}

void TfrmMain::btnConsecutiveClick()
{
    m_consecutive = !m_consecutive;
    redrawConsecutive();
}

void TfrmMain::redrawConsecutive()
{
    btnConsecutive->setIcon(QIcon(m_consecutive ? QStringLiteral(":/art/consecutive_on.svg")
                                                : QStringLiteral(":/art/consecutive_off.svg")));
    const QString tip =
        m_consecutive ? QStringLiteral("Disable consecutive") : QStringLiteral("Enable consecutive");
    btnConsecutive->setToolTip(tip);
    btnConsecutive->setAccessibleName(tip);
}

void TfrmMain::mnuSetDeviceClick()
{
    if (m_services.showSetDevice)
        m_services.showSetDevice();
    // Adding follows the read device chosen there; without one the wait says so.
    if (gVars().readDeviceLetter)
        ActAdd->setEnabled(true);
}

void TfrmMain::mnuRunAtStartUpClick()
{
    // The action has flipped its own check mark already.
    if (mnuRunAtStartUp->isChecked())
        settings::set(settings::RunEntry, startupCommand());
    else
        settings::remove(settings::RunEntry);
}

void TfrmMain::mnuRunMinimizedClick()
{
    settings::set(settings::StartUpRunMinimized, mnuRunMinimized->isChecked());
}

void TfrmMain::mnuPromptOnExitClick()
{
    settings::set(settings::PromptOnExit, mnuPromptOnExit->isChecked());
}

void TfrmMain::mnuShowTrayIconClick()
{
    // It may change only while the task-bar button is there, so one of the two always stays.
    const bool old = !mnuShowTrayIcon->isChecked();
    const bool now = old != mnuShowInTaskBar->isChecked();
    mnuShowTrayIcon->setChecked(now);
    settings::set(settings::Ssti, now);
    switchTrayIcon(now);
    updatePreferenceEnabling();
}

void TfrmMain::mnuShowInTaskBarClick()
{
    const bool old = !mnuShowInTaskBar->isChecked();
    const bool now = old != mnuShowTrayIcon->isChecked();
    mnuShowInTaskBar->setChecked(now);
    settings::set(settings::Sitb, now);
    applyTaskbarButton();
    updatePreferenceEnabling();
}

void TfrmMain::updatePreferenceEnabling()
{
    if (!m_trayAvailable)
        return;
    mnuShowInTaskBar->setEnabled(mnuShowTrayIcon->isChecked());
    mnuShowTrayIcon->setEnabled(mnuShowInTaskBar->isChecked());
}

void TfrmMain::switchTrayIcon(bool on)
{
    if (!TrayIcon1)
        return;
    TrayIcon1->setVisible(on && m_trayAvailable);
}

void TfrmMain::applyTaskbarButton()
{
    if (isVisible())
        setSkipTaskbar(this, !mnuShowInTaskBar->isChecked());
}

void TfrmMain::minimizeApplication()
{
    if (!mnuShowInTaskBar->isChecked() && trayShown())
        hide();
    else
        showMinimized();
}

void TfrmMain::showApplication()
{
    // Raise restores from the tray (hidden) as well as from the minimised state.
    showNormal();
    raise();
    activateWindow();
    applyTaskbarButton();
}

void TfrmMain::activateFromAnotherInstance()
{
    qCInfo(lcMain) << "another start asked the running copy to come forward";
    if (isMinimized() || !isVisible())
        showNormal();
    raise();
    activateWindow();
}

void TfrmMain::closeEvent(QCloseEvent *event)
{
    if (!m_sessionEnding && mnuPromptOnExit->isChecked() && !askConfirm(ExitQuestion, this)) {
        event->ignore();
        return;
    }
    event->accept();
    if (TrayIcon1)
        TrayIcon1->hide();
    emit closed();
}

void TfrmMain::changeEvent(QEvent *event)
{
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && isActiveWindow())
        refreshReadDevice();
    if (event->type() != QEvent::WindowStateChange || !isMinimized())
        return;
    // Without a task-bar button the minimised program lives in the tray only.
    if (!mnuShowInTaskBar->isChecked() && trayShown()) {
        QTimer::singleShot(0, this, [this] {
            if (isMinimized())
                hide();
        });
    }
}

void TfrmMain::showEvent(QShowEvent *event)
{
    QMainWindow::showEvent(event);
    if (!mnuShowInTaskBar->isChecked())
        setSkipTaskbar(this, true);
}

void TfrmMain::keyReleaseEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape && m_releaseRule->accepts(event)) {
        minimizeApplication();
        return;
    }
    QMainWindow::keyReleaseEvent(event);
}
