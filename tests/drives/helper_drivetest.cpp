#include "helper_drivetest.h"

#include "app/gRegistry.h"

void clearFolderDrives()
{
    for (char c = 'A'; c <= 'Z'; ++c)
        DeleteSetting(RegKey::Drives, QString(QLatin1Char(c)));
}

void bindFolderDrive(char letter, const QString &folder)
{
    WriteSetting(RegKey::Drives, QString(QLatin1Char(letter)), folder);
}
