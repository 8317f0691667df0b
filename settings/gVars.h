#pragma once

#include <QString>

// The few values the whole program shares, each set in one place and read by windows that are
// opened without arguments. Folder paths always end in "/". Nothing else belongs here: a value
// one part hands to another goes through the objects in between (the add-disc window returns
// the archive it saved; the walk and the wait share a HostageFile; numbering reads its store).
struct AppVars
{
    // Set once at start-up; the About window shows them.
    QString programFolder; // folder of the running executable
    QString dataFolder;    // <XDG data home>/Brightfen/Ambrylog/
    // dataFolder + "Archive/", or ambrylog-cli's --catalog: what catalog::programCatalog()
    // builds the windows' catalog from.
    QString catalogFolder;
    // The drive the program scans, waits on and reads from, 0 when the machine has none; chosen
    // at start-up and changed by the read device window, so every window must see the change.
    char readDeviceLetter = 0;
    // The request the wait-for-disc window shows; it outlives the window until the next wait.
    QString waitMessage;
};

AppVars &gVars();
