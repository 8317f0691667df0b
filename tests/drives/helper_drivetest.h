#pragma once

#include <QString>

// Removes every folder drive binding, so each test starts from a machine without any.
void clearFolderDrives();
// Binds a letter to a folder in the settings, as "ambrylog-cli drives bind" does.
void bindFolderDrive(char letter, const QString &folder);
