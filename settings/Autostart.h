#pragma once

#include <QString>
#include <QStringList>

// The program's start-up entry is the freedesktop autostart file
// $XDG_CONFIG_HOME/autostart/ambrylog.desktop. The settings store maps the value "Ambrylog"
// of the Run key onto it, so callers keep working with the command text
//     "<full path of the executable>" tag
// (the path in double quotes, a blank, then the arguments, which never contain quotes).

QString autostartEntryPath();

// The command text of the entry, or the empty text when there is no entry, it is hidden or
// switched off. Reading back what writeAutostartCommand wrote gives exactly the same text.
QString readAutostartCommand();
// Writes (atomically) an entry that runs the command; false when the file cannot be written.
bool writeAutostartCommand(const QString &command);
// Removes the entry; true when it existed and is gone.
bool removeAutostartEntry();

// One Exec argument quoted by the Desktop Entry rules, before the file's general escaping:
// quoted when empty or holding a reserved character, with " ` $ \ escaped inside the quotes
// and % doubled.
QString quoteExecArg(const QString &arg);
// The Exec value as written in the file (general escaping applied) for these arguments.
QString execLineFor(const QStringList &args);
// The inverse: the arguments of an Exec value as read from the file; field codes such as %f
// expand to nothing. ok is false when a quote is left open.
QStringList splitExecLine(const QString &fileValue, bool *ok = nullptr);
