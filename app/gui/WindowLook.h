#pragma once

#include <QColor>
#include <QString>

class QLabel;
class QWidget;

// The program's window look: white client areas with coloured bars and a near-white heading.
namespace look {

inline const QColor BarBlue(0, 95, 140);
inline const QColor BarRed(191, 10, 48);
inline const QColor HeadingText(249, 253, 255);
constexpr int BarHeight = 25;
constexpr int HeadingPixelSize = 16;

// Gives the window light colours of its own (white background, dark text), so it stays
// readable when the desktop runs a dark theme.
void applyLightPalette(QWidget *window);
// A filled bar in the given colour; its text colour is the near-white heading colour.
QWidget *makeBar(QWidget *parent, const QColor &colour, const QString &objectName);
// The heading label at the left of a bar.
QLabel *makeHeading(QWidget *bar, const QString &text, const QString &objectName);

} // namespace look
