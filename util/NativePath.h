#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

// File names on Linux are bytes, and need not be UTF-8; Qt's QFile::encodeName and decodeName
// turn every byte outside valid UTF-8 into U+FFFD, after which the name leads nowhere. These two
// keep such a name whole: valid UTF-8 reads as its text, and each byte outside it is held as the
// unpaired surrogate U+DC80..U+DCFF (a code point no valid text holds), which nativePath turns
// back into that byte. A name typed on the command line, passed around as QString and handed to
// a system call through nativePath reaches the file the shell named.
QString pathFromNative(QByteArrayView bytes);
QByteArray nativePath(QStringView text);

// Whether the text holds bytes that are not UTF-8 (kept as above); such a path cannot go
// through Qt's file classes, which would open another name.
bool holdsRawBytes(QStringView text);
