#pragma once

#include <QString>
#include <QUrl>

class QAbstractItemView;
class QDialog;
class QKeyEvent;
class QLabel;
class QMimeData;
class QProgressBar;
class QStatusBar;
class QWidget;

// The shell, clipboard and widget helpers shared by the windows. The shell and the clipboard
// are reached through ShellService.h, so tests can watch them.

// Lets pending events run, then opens the target with its associated program: a web or mail
// address as it is, anything else as a local file (a relative path from the current folder).
// Never through a shell command line. When the desktop cannot open it (no program for the file
// type, no browser, no mail program), an error box over owner says what and why, with the
// address or path so the user can copy it; false then.
bool OpenWithShell(QWidget *owner, const QString &target);
// The desktop's open of an address, with OpenWithShell's box when it fails.
bool openUrlOrSay(const QUrl &url, QWidget *owner);
// The text of that box.
QString openFailureText(const QUrl &url);
// The address OpenWithShell hands over for a target.
QUrl shellTargetUrl(const QString &target);

// Lets pending events run, then opens a new mail: "mailto:" + address + "?subject=" + subject
// + "&Body=" + body, both separators always present. Subject and body are percent-encoded
// in the address handed over, so '&', '#' or '+' in them reach the mail program unchanged.
// Without a mail program the user is told as OpenWithShell tells it.
bool ComposeMail(QWidget *owner, const QString &address, const QString &subject, const QString &body);
QString composeMailText(const QString &address, const QString &subject, const QString &body);
QUrl composeMailUrl(const QString &address, const QString &subject, const QString &body);

// Puts one file on the clipboard so that file managers paste a copy of it: text/uri-list,
// x-special/gnome-copied-files ("copy" and the file URL), application/x-kde-cutselection "0"
// and the path as plain text. Throws AmbryError "Could not allocate memory." when the
// clipboard does not take it. The clipboard data lives in this process: it is gone when the
// program ends.
void CopyFileToClipboard(const QString &path);
QMimeData *fileClipboardData(const QString &path);

// A status bar's panels are the widgets added to it with addWidget() or addPermanentWidget(),
// in the order they were added (panel 0 first); the size grip is no panel. Give the first
// panel a fixed width (setFixedWidth on a QLabel) and add a second panel (an empty QLabel
// with stretch 1): the progress bar is a child of the status bar that is NOT added with
// addWidget, and this sets its geometry over the second panel with a one-pixel margin on
// every side, and raises it. Without a second panel the bar covers what lies right of the
// first panel (the whole status bar when there is no panel at all).
void PlaceProgressBarInStatusBar(QStatusBar *statusBar, QProgressBar *bar);
// Places the bar now and again whenever the status bar or its second panel moves or resizes.
void installProgressBarPlacement(QStatusBar *statusBar, QProgressBar *bar);

// The status bar of the catalog windows: panel 0 "sbPanel0" (420 pixels; at least that with
// textMayGrow, else exactly), panel 1 "sbPanel1" (120 pixels) under the progress bar
// "ProgressBar1" (0..100, no text; placed by PlaceProgressBarInStatusBar) and a last panel that
// takes the rest. The size grip is on.
struct StatusPanels
{
    QStatusBar *bar = nullptr;
    QLabel *text = nullptr;
    QProgressBar *progress = nullptr;
};
StatusPanels buildStatusPanels(QWidget *window, bool textMayGrow);

// Lets the window messages that are waiting run: the points where a long loop on the
// user-interface thread keeps the windows alive and sees a Cancel.
void processPendingEvents();

// Return or keypad Enter.
bool isEnterKey(const QKeyEvent *key);

// Enter (Return or keypad Enter) moves the focus to the next control, Shift+Enter to the
// previous one; the edit does not receive the key. Returns true when the key was Enter and
// was used. window is the window whose focus widget receives the move.
bool EnterMovesFocus(QWidget *window, QKeyEvent *event);
// Applies EnterMovesFocus to one single-line edit, or to every single-line edit below a
// window (not the edit fields inside spin boxes, date edits or combo boxes).
void installEnterMovesFocus(QWidget *editOrWindow);

// Selects or deselects every row of the view (one selection change, not one per row).
void SetAllItemsSelected(QAbstractItemView *view, bool selected);

// The common end of a window's entry operation: shows the window modally, lets pending events
// run once it has closed, deletes it (also when an error passes) and returns its result.
int runModalWindow(QDialog *window);
