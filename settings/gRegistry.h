#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

// The settings store: a per-user tree of keys holding text values, kept in
// $XDG_CONFIG_HOME/Brightfen/Ambrylog/settings.reg (the layout of a registry export).
// Key paths and value names compare without regard to letter case.
//
// Every call reads the file afresh; every write replaces it atomically while holding a lock on
// settings.reg.lock (kept beside it), so two running copies never lose each other's values.
// Keys and values the program does not know are kept as they are. Reading never creates the
// file or a key: an absent key reads like an empty one, so nothing is gained by writing it.

#include "settings/SettingsNames.h"

// The value's text, or the empty text when it does not exist. Throws AmbryError
// "Invalid data type for '<name>'" when the value exists but is not text.
QString ReadSetting(const QString &key, const QString &name);
// The same, telling a value that is not there from an empty one.
std::optional<QString> ReadSettingIfPresent(const QString &key, const QString &name);
// Creates the key when needed; a failure to write is silent.
void WriteSetting(const QString &key, const QString &name, const QString &value);
// True when the value existed and was deleted.
bool DeleteSetting(const QString &key, const QString &name);
// The same, saying why nothing was saved: a key path or value name holding CR, LF, NUL or
// "]" (refused: it cannot be stored safely), a lock another copy kept, a folder that cannot
// be written, a full disk. The file is never replaced by text its reader would not read back
// as meant. WriteSettingChecked is true when saved; DeleteSettingChecked is true when the
// value existed and was deleted, and leaves error empty when it merely did not exist.
bool WriteSettingChecked(const QString &key, const QString &name, const QString &value, QString *error);
bool DeleteSettingChecked(const QString &key, const QString &name, QString *error);

// The reader and the writer on bytes instead of the file, for checks that need no file: the
// text value a read would find (nullopt when the bytes do not read as a settings file or hold
// no such text value), and the bytes a write would store (nullopt, with the reason, when
// refused). The file functions above go through the same code.
std::optional<QString> readSettingFromBytes(const QByteArray &bytes, const QString &key, const QString &name);
std::optional<QByteArray> writeSettingToBytes(const QByteArray &bytes, const QString &key,
                                              const QString &name, const QString &value, QString *error);

// Full path of the settings file; empty when no configuration folder can be determined.
QString settingsFilePath();

// When a settings file could not be understood it is moved aside (settings.reg.corrupt-<time>)
// and the program goes on with defaults. This returns the one notice for the user about it
// (the empty text when there is none) and clears it, so the window shows it once.
QString takeSettingsNotice();
