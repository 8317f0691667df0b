#pragma once

#include "settings/SettingsNames.h"
#include "settings/gRegistry.h"

#include <QString>

#include <optional>

// Every value the program keeps in the settings store, declared once with its key, name, type
// and the value it has when absent. Callers read and write typed values through get() and
// set(); the stored text stays what it has always been:
//   bool: a switch, "T" for the state that is not the default, absent for the default; any
//         non-empty text reads as "T";
//   int, std::optional<int>: decimal text (an optional one is absent when nothing is stored);
//   QString: the text itself.
// A stored value that cannot be read as its type (not text, not a number) reads as the
// default; get() says why through `problem` when asked, so a caller can show it.

namespace settings {

template <typename T> struct Setting
{
    QString key;
    QString name;
    T fallback{};
};

bool get(const Setting<bool> &s, QString *problem = nullptr);
int get(const Setting<int> &s, QString *problem = nullptr);
std::optional<int> get(const Setting<std::optional<int>> &s, QString *problem = nullptr);
QString get(const Setting<QString> &s, QString *problem = nullptr);

// A switch set to its default is deleted. Text is written as given, the empty text included.
void set(const Setting<bool> &s, bool value);
void set(const Setting<int> &s, int value);
void set(const Setting<std::optional<int>> &s, int value);
void set(const Setting<QString> &s, const QString &value);

// True when the value existed and was deleted.
template <typename T> bool remove(const Setting<T> &s)
{
    return DeleteSetting(s.key, s.name);
}

// Key V
inline const Setting<QString> ProgramLocation{RegKey::V, RegName::ProgramLocation};
inline const Setting<QString> DefaultDeviceDrive{RegKey::V, RegName::DefaultDeviceDrive}; // a drive letter
inline const Setting<int> LastArchiveNumber{RegKey::V, RegName::LastArchiveNumber, 0};
inline const Setting<QString> HostageFile{RegKey::V, RegName::HostageFile};
inline const Setting<QString> ArchiveViewStyle{RegKey::V, FormName::Archive + RegName::ViewStyleSuffix};
// Key S: the defaults are what a user who never touched the switch gets.
inline const Setting<bool> PromptOnExit{RegKey::S, RegName::PromptOnExit, true};
inline const Setting<bool> StartUpRunMinimized{RegKey::S, RegName::StartUpRunMinimized, true};
inline const Setting<bool> Ssti{RegKey::S, RegName::Ssti, true};          // tray icon shown
inline const Setting<bool> Sitb{RegKey::S, RegName::Sitb, false};         // task-bar button shown
inline const Setting<bool> MsgThanx{RegKey::S, RegName::MsgThanx, false}; // welcome window seen
// What the simple search does: all words rather than the phrase; accents ignored.
inline const Setting<bool> SearchAllWords{RegKey::S, RegName::SearchAllWords, false};
inline const Setting<bool> SearchIgnoreAccents{RegKey::S, RegName::SearchIgnoreAccents, false};
// Key Run: the quoted executable path and the argument tag.
inline const Setting<QString> RunEntry{RegKey::Run, RegName::RunEntry};

// Window placement under `key` (S\wp) for the window `form`.
Setting<bool> placementMaximised(const QString &key, const QString &form);
Setting<std::optional<int>> placementLeft(const QString &key, const QString &form);
Setting<std::optional<int>> placementTop(const QString &key, const QString &form);
Setting<std::optional<int>> placementWidth(const QString &key, const QString &form);
Setting<std::optional<int>> placementHeight(const QString &key, const QString &form);

// The folder bound to a folder drive's letter.
Setting<QString> folderDrive(char letter);

} // namespace settings
