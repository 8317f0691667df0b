#pragma once

#include <QRect>
#include <QSize>
#include <QString>

// The placement rules of the windows that remember where they were left, apart from any
// widget so they can be checked against any screen. Values live under `key` as <name>-l, -t
// (the frame's top-left corner), -w, -h (the size inside the frame, which is what a window is
// given before its frame exists; the outer size would grow by the frame at every reopening)
// and -m ("T" while maximised).

struct PlacementFrame
{
    static constexpr int SizeMax = (1 << 24) - 1; // a widget's "no limit"
    QRect design;                                 // geometry the window was built with
    QSize minimum = QSize(0, 0);                  // size limits of the window
    QSize maximum = QSize(SizeMax, SizeMax);
    QSize screen;          // the primary screen's size
    bool positions = true; // false where the desktop keeps window positions to itself
};

struct PlacementPlan
{
    QRect geometry; // normal-state geometry to apply
    bool maximised = false;
};

// Reads the stored values in the order left, top, width, height; the first value that is not
// a number (or not text) ends the reading, and what was read before it stays. A missing left
// or top centres the window with its design size. The maximised flag counts only for a window
// that can change its size. Last, a window wholly beyond the screen's top-left, or with an
// edge beyond the screen's width or height, is brought back to 0 on that axis.
PlacementPlan readFormPlacement(const QString &key, const QString &name, const PlacementFrame &frame);

// Writes a placement: while maximised only the flag, so the numbers keep describing the
// normal state; otherwise the flag is removed and the four numbers written (left and top
// only where positions count).
void writeFormPlacement(const QString &key, const QString &name, const QRect &normal, bool maximised,
                        bool positions = true);
