#pragma once

#include "gUtilsGui.h"
#include "util/Progress.h"

#include <QApplication>
#include <QDialog>
#include <QString>

#include <initializer_list>

class KeyReleaseRule;
class QAction;
class QKeyEvent;
class QLabel;
class QProgressBar;
class QStatusBar;
class QTimer;

// What the catalog browser and the search window share: a resizable modal window named for its
// stored placement; a band and controls above one or more list views (one shown at a time);
// the status bar with the status line in panel 0 and the progress bar over panel 1. A run over
// the catalog moves the bar one step per archive; it shows 100 when the run ends and drops back
// to 0 150 ms later (TimProgressToZero). Every control's events pass the window's eventFilter
// first, and Esc closes the window when it is released.
class ListWindow : public QDialog
{
    Q_OBJECT
public:
    QString statusText() const;
    void done(int result) override;

protected:
    // statusMayGrow: panel 0 may grow beyond its 420 pixels for a long status line.
    ListWindow(QWidget *parent, const QString &formName, bool statusMayGrow);

    // Once the controls exist: adds the status bar and lays the window out top to bottom (the
    // widgets above, the lists sharing what is left, the status bar), then lets the window see
    // every control's events first.
    void assemble(std::initializer_list<QWidget *> above, std::initializer_list<QWidget *> lists);

    // A named command of the window, kept out of the menus' icon column.
    QAction *addNamedAction(const char *name, const char *text, const char *hint, bool enabled);

    void setStatusText(const QString &text);
    void progressStart();
    void progressStep();
    void progressEnd();
    // A run over the catalog under this window: stopped by *cancel or when the program closes,
    // its events let through, each step a step of the progress bar.
    Progress runProgress(const bool *cancel);
    // A change of the catalog from this window: its events let through while it waits for the
    // catalog lock and between its steps.
    static Progress changeProgress();

    // Asked by every close request and by done(): stops a run in progress.
    virtual void FormCloseQuery() {}

    // A control of this window, not of a pop-up (calendar, drop-down, menu), which is a window
    // of its own.
    bool isOwnControl(const QObject *watched) const;
    // The release of one of keys in a control of this window, ending a press made here.
    bool acceptsRelease(const QObject *watched, const QKeyEvent *key, std::initializer_list<int> keys);

    bool eventFilter(QObject *watched, QEvent *e) override;
    void closeEvent(QCloseEvent *e) override;
    void resizeEvent(QResizeEvent *e) override;

    QStatusBar *sb1 = nullptr;
    QLabel *sbPanel0 = nullptr;
    QProgressBar *ProgressBar1 = nullptr;
    QTimer *TimProgressToZero = nullptr;

private:
    void TimProgressToZeroTimer();

    bool m_statusMayGrow;
    KeyReleaseRule *m_releaseRule;
};

// One window of a kind at a time: instance() is that window while it exists.
template <class Window> class SingleListWindow : public ListWindow
{
public:
    static Window *instance() { return static_cast<Window *>(s_open); }

protected:
    SingleListWindow(QWidget *parent, const QString &formName, bool statusMayGrow)
        : ListWindow(parent, formName, statusMayGrow)
    {
        s_open = this;
    }
    ~SingleListWindow() override
    {
        if (s_open == this)
            s_open = nullptr;
    }

private:
    static inline ListWindow *s_open = nullptr;
};

// The entry operation of a list window: returns 0 at once while one of its kind is open;
// otherwise opens one over the active window and returns as runModalWindow does.
template <class Window> int showListWindow()
{
    if (Window::instance())
        return 0;
    return runModalWindow(new Window(QApplication::activeWindow()));
}
