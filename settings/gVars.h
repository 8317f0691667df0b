#pragma once

#include <QString>

// The few values the whole program shares. Folder paths always end in "/".
struct AppVars
{
    QString programFolder;     // folder of the running executable
    QString dataFolder;        // <XDG data home>/Brightfen/Ambrylog/
    QString catalogFolder;     // dataFolder + "Archive/"
    char readDeviceLetter = 0; // drive letter of the read device, 0 when the machine has none
    QString newArchivePath;    // archive written by the last add-disc save, empty when none
    QString waitMessage;       // request shown by the next wait-for-disc window
};

AppVars &gVars();
