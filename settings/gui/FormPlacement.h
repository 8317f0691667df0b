#pragma once

#include <QString>

class QWidget;

// Where a window was left, kept under `key` by the window's objectName (settings/PlacementRules.h
// has the values and their rules). On Wayland a program can neither read nor set its window's
// position: there only the size and the maximised state are kept.

// Applies the stored placement to a window that is created but not shown yet.
void RestoreFormPlacement(const QString &key, QWidget *window);
// Writes the current placement (only "-m" while maximised; nothing while minimised).
void SaveFormPlacement(const QString &key, QWidget *window);

// Keeps the stored placement up to date from now on: written once a move or resize by the
// user has come to rest and after the window is maximised or restored. Minimising the window
// saves nothing and minimises the whole program, which comes back as a whole when any of its
// windows is restored. Call once, after RestoreFormPlacement.
void TrackFormPlacement(const QString &key, QWidget *window);
