#pragma once

#include <QColor>
#include <QIcon>
#include <QString>

class QLabel;
class QWidget;

// The look the search and properties windows share: a light client area whatever the desktop
// theme, and the dark blue title band with its near-white heading.
namespace searchlook {

inline constexpr QColor bandColor()
{
    return QColor(0, 95, 140);
}
inline constexpr QColor headingColor()
{
    return QColor(249, 253, 255);
}
inline constexpr QColor advancedPanelColor()
{
    return QColor(125, 154, 189);
}
// Disabled criteria boxes are painted in the button face colour, enabled ones in white.
inline constexpr QColor buttonFaceColor()
{
    return QColor(240, 240, 240);
}

// White background and dark text in every role and colour group, so a dark desktop theme
// cannot leave dark text on white or white text on the light panels.
void applyLightPalette(QWidget *window);

// A 25-pixel band in the title colour; its heading label (16-pixel font, near-white) is returned
// through heading when asked.
QWidget *makeBand(QWidget *parent, const QString &objectName);
QLabel *makeHeading(QWidget *band, const QString &objectName, const QString &text);

// Glyphs of the 25 x 25 flat buttons: each image holds the normal and the greyed state, like an
// image list entry of 42 x 21 pixels that holds both halves side by side.
enum class Glyph { Go, Cancel, Advanced, Simple, CopyFile };
QIcon glyph(Glyph which);

} // namespace searchlook
