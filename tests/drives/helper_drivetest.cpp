#include "helper_drivetest.h"

#include "settings/gRegistry.h"

void clearFolderDrives()
{
    // Deleting writes the settings file; only touch the letters that are bound.
    for (char c = 'A'; c <= 'Z'; ++c)
        if (!ReadSetting(RegKey::Drives, QString(QLatin1Char(c))).isEmpty())
            DeleteSetting(RegKey::Drives, QString(QLatin1Char(c)));
}

void bindFolderDrive(char letter, const QString &folder)
{
    WriteSetting(RegKey::Drives, QString(QLatin1Char(letter)), folder);
}
