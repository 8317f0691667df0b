#pragma once

#include "util/gui/ModalResult.h"

#include <QMainWindow>
#include <QString>
#include <QStringList>

#include <functional>

class KeyReleaseRule;
class QAction;
class QLabel;
class QMenu;
class QMenuBar;
class QSystemTrayIcon;
class QTimer;
class QToolButton;
class QWidget;

// What the main window's commands call in the other subsystems; tests put counting
// stand-ins here.
struct MainServices
{
    std::function<ModalResult(const QString &message)> waitForDisc;
    std::function<void()> runAddDiscSession; // empty: no add-disc window (yet)
    std::function<void(const QString &image)> runAddImageSession;
    std::function<QString(QWidget *parent)> chooseDiscImage; // empty text: none chosen
    std::function<int(const QString &mark)> showSearchWindow;
    std::function<int()> showCatalog;
    std::function<bool()> trayAvailable;
    // How often the main window looks for a tray while there is none (a panel that starts later).
    int trayWatchMs = 3000;
    std::function<int()> showSetDevice;
    std::function<int()> showAbout;

    static MainServices defaults();
};

class TfrmMain : public QMainWindow
{
    Q_OBJECT
public:
    // arguments: the process's command line, program name first (any further argument asks
    // for a minimised start).
    explicit TfrmMain(const QStringList &arguments, MainServices services = MainServices::defaults(),
                      QWidget *parent = nullptr);
    ~TfrmMain() override;

    // Shows the window as creation decided: normally, minimised, or only as the tray icon.
    void showAtStart();

    // The start-up command stored in the start-up list: the quoted executable path and "tag".
    static QString startupCommand();

    bool startsMinimized() const { return m_startMinimized; }
    bool consecutive() const { return m_consecutive; }
    bool sessionEnding() const { return m_sessionEnding; }
    bool trayShown() const;
    QSystemTrayIcon *trayIcon() const { return TrayIcon1; }

public slots:
    void ActAddExecute();
    void ActAddImageExecute();
    void ActSearchExecute();
    void ActCatalogExecute();
    void ActOpenCDExecute();
    void ActCloseCDExecute();
    void btnConsecutiveClick();
    void mnuSetDeviceClick();

    // The running copy was started again: bring it back.
    void activateFromAnotherInstance();
    // Minimise the program; without a task-bar button it then lives in the tray only.
    void minimizeApplication();
    // Restore and raise the program (tray click, tray menu "Show").
    void showApplication();
    // The desktop session is ending (or the end was cancelled): no exit prompt meanwhile.
    void setSessionEnding(bool ending) { m_sessionEnding = ending; }

signals:
    // The main window accepted its close; the program ends.
    void closed();

protected:
    void closeEvent(QCloseEvent *event) override;
    void changeEvent(QEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void keyReleaseEvent(QKeyEvent *event) override;

private:
    void createActions();
    void createClientArea();
    void createMenus();
    void createTray();
    void readPreferences(const QStringList &arguments);
    void setReadDevice();
    void refreshReadDevice();

    void mnuRunAtStartUpClick();
    void mnuRunMinimizedClick();
    void mnuPromptOnExitClick();
    void mnuShowTrayIconClick();
    void mnuShowInTaskBarClick();
    void updatePreferenceEnabling();
    void switchTrayIcon(bool on);
    void readTrayPreferences();
    void watchForTray();
    void applyTaskbarButton();
    void redrawConsecutive();

    QAction *newAction(const QString &name, const QString &text);

    static TfrmMain *s_addDisabler; // the main window whose add command a wait disables

    MainServices m_services;
    bool m_consecutive = false;
    bool m_sessionEnding = false;
    bool m_startMinimized = false;
    bool m_trayAvailable = false;
    QTimer *m_trayWatch = nullptr;
    bool m_adding = false;

    QAction *ActAdd;
    QAction *ActAddImage;
    QAction *ActSearch;
    QAction *ActCatalog;
    QAction *ActOpenCD;
    QAction *ActCloseCD;
    QAction *mnuExit;
    QAction *mnuBackup;
    QAction *mnuRestore;
    QAction *mnuMerge;
    QAction *mnuImport;
    QAction *mnuSetDevice;
    QAction *mnuRunAtStartUp;
    QAction *mnuRunMinimized;
    QAction *mnuPromptOnExit;
    QAction *mnuShowTrayIcon;
    QAction *mnuShowInTaskBar;
    QAction *mnuSearchAllWords;
    QAction *mnuSearchIgnoreAccents;
    QAction *mnuProgramHelp;
    QAction *mnuFaq;
    QAction *mnuHomePage;
    QAction *mnuCheckUpdate;
    QAction *mnuAbout;
    QAction *mnuOtherProducts;
    QAction *mnuNewsletter;
    QAction *mnuResellers;
    QAction *mnuTellFriend;
    QAction *mnuTrayMinimize;
    QAction *mnuTrayShow;

    QMenuBar *MainMenu1;
    QMenu *PopupMenu2;
    QSystemTrayIcon *TrayIcon1 = nullptr;

    QWidget *Panel2;
    QLabel *Label2;
    QToolButton *btnConsecutive;
    QToolButton *btnOpenCD;
    QToolButton *btnCloseCD;
    QWidget *Panel1;
    QToolButton *btnPlus;
    QToolButton *btnSearch;
    KeyReleaseRule *m_releaseRule = nullptr;
};
