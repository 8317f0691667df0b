#pragma once

#include <QColor>
#include <QIcon>
#include <QString>

// What only the search window adds to the program's look (util/gui/WindowLook.h): the advanced
// panel's colour and the glyphs of its flat buttons.
namespace searchlook {

inline constexpr QColor advancedPanelColor()
{
    return QColor(125, 154, 189);
}

// Glyphs of the 25 x 25 flat buttons: each image holds the normal and the greyed state, like an
// image list entry of 42 x 21 pixels that holds both halves side by side.
enum class Glyph { Go, Cancel, Advanced, Simple, CopyFile };
QIcon glyph(Glyph which);

} // namespace searchlook
