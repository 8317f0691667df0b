#pragma once

class QWidget;

// Asks the window manager to leave the window out of the task bar (or to list it again).
// Works on X11; elsewhere (Wayland, offscreen) it does nothing and returns false.
bool setSkipTaskbar(QWidget *window, bool skip);
