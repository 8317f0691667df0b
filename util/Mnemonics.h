#pragma once

#include <QChar>
#include <QString>
#include <QStringList>

// Keyboard mnemonics for the entries of one menu: each entry gets one underlined letter ("&"
// before it), unique within the menu without regard to case, while the text shown stays the
// same. A letter already marked is kept and reserved. The first letters of words are taken
// before the letters inside them; an entry whose letters are all taken stays without one.
QStringList withMnemonics(const QStringList &texts);

// The text as shown: the mnemonic marks taken out, a doubled "&&" shown as one "&".
QString shownText(const QString &text);
// The marked letter, or a null character when the text has none.
QChar mnemonicOf(const QString &text);
