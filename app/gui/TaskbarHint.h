#pragma once

class QWidget;

// Asks the window manager to leave the window out of the task bar (or to list it again).
// Works on X11; elsewhere (Wayland, offscreen) it does nothing and returns false.
bool setSkipTaskbar(QWidget *window, bool skip);

// Whether the desktop shows a system tray now: a panel on the session bus that hosts status
// notifier items, or an X11 tray that docks icons. Asked without Qt's own test, which remembers
// its first answer for the whole run, so a panel that starts after the program is still seen.
bool trayPresent();
