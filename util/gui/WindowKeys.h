#pragma once

class QApplication;
class QWidget;

// The keyboard habits every window of the program shares, whatever the window:
// - Enter and keypad Enter press the focused push or tool button (Space already does). Edit
//   fields and check boxes keep their own Enter.
// - Shift+F10 opens the focused control's context menu, as the Menu key does.
// - F10 opens the menu bar of a window that has one.
// Installed once on the application; later calls do nothing.
namespace windowkeys {
void install(QApplication &app);

// Gives every entry of a menu bar or menu, and of the menus below it, its mnemonic
// (util/Mnemonics.h), so Alt+letter and the letter in an open menu reach it. Call again after
// an entry's text changed.
void addMnemonics(QWidget *menuOrBar);
} // namespace windowkeys
