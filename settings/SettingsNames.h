#pragma once

#include <QString>

// Every key path and value name the program keeps in the settings store, in one place. The
// stored names are part of users' settings files: never change their text.

namespace RegKey {
inline const QString V = QStringLiteral("\\SoftWare\\Brightfen\\Ambrylog\\V");
inline const QString S = QStringLiteral("\\SoftWare\\Brightfen\\Ambrylog\\S");
inline const QString Wp = QStringLiteral("\\SoftWare\\Brightfen\\Ambrylog\\S\\wp");
// Folder drives: value name is the drive letter, value the bound folder.
inline const QString Drives = QStringLiteral("\\SoftWare\\Brightfen\\Ambrylog\\Drives");
// The start-up list; stored as the freedesktop autostart entry, not in the file.
inline const QString Run = QStringLiteral("\\Software\\Microsoft\\Windows\\CurrentVersion\\Run");
} // namespace RegKey

namespace RegName {
// Key V
inline const QString ProgramLocation = QStringLiteral("ProgramLocation");
inline const QString DefaultDeviceDrive = QStringLiteral("DefaultDeviceDrive");
inline const QString LastArchiveNumber = QStringLiteral("LastArchiveNumber");
inline const QString HostageFile = QStringLiteral("HostageFile");
// The catalog browser's view style is stored under its window name + this suffix.
inline const QString ViewStyleSuffix = QStringLiteral("_ViewStyle");
// Key S: switches, "T" or absent.
inline const QString PromptOnExit = QStringLiteral("PromptOnExit");
inline const QString StartUpRunMinimized = QStringLiteral("StartUpRunMinimized");
inline const QString Ssti = QStringLiteral("Ssti");
inline const QString Sitb = QStringLiteral("Sitb");
inline const QString MsgThanx = QStringLiteral("MsgThanx");
inline const QString SearchAllWords = QStringLiteral("SearchAllWords");
inline const QString SearchIgnoreAccents = QStringLiteral("SearchIgnoreAccents");
// Key Run
inline const QString RunEntry = QStringLiteral("Ambrylog");
// Key S\wp: window name + one of these suffixes.
inline const QString PlacementMaximised = QStringLiteral("-m");
inline const QString PlacementLeft = QStringLiteral("-l");
inline const QString PlacementTop = QStringLiteral("-t");
inline const QString PlacementWidth = QStringLiteral("-w");
inline const QString PlacementHeight = QStringLiteral("-h");
} // namespace RegName

// Window names under which placement (and the browser's view style) are stored.
namespace FormName {
inline const QString Main = QStringLiteral("frmMain");
inline const QString Search = QStringLiteral("frmSearch");
inline const QString Archive = QStringLiteral("frmArchive");
inline const QString Explore = QStringLiteral("frmExplore");
} // namespace FormName
