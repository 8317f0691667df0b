#pragma once

#include <QString>

class QWidget;

// Where a window was left, kept under `key` as <window name>-l, -t, -w, -h (normal-state
// geometry, outer frame, screen pixels) and -m ("T" when maximised). The window name is the
// widget's objectName.

// Applies the stored placement to a window that is created but not shown yet. A missing
// edge is centred on the primary screen; a value that is not a number ends the reading
// silently; a window that would lie wholly off the primary screen's top-left or beyond its
// far edges is moved back to 0.
void RestoreFormPlacement(const QString &key, QWidget *window);
// Writes the current placement (only "-m" while maximised; nothing while minimised).
void SaveFormPlacement(const QString &key, QWidget *window);
