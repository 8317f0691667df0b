#include "DriveSystem.h"

#include "LinuxDriveSystem.h"

namespace {
DriveSystem *g_testSystem = nullptr;
}

DriveInfo DriveSystem::drive(char letter)
{
    const QList<DriveInfo> all = drives();
    for (const DriveInfo &d : all)
        if (d.letter == letter)
            return d;
    DriveInfo none;
    none.letter = letter;
    return none;
}

DriveSystem &driveSystem()
{
    if (g_testSystem)
        return *g_testSystem;
    // Created on first use and kept to the end: the monitor inside holds sockets and timers.
    static LinuxDriveSystem *linuxSystem = new LinuxDriveSystem;
    return *linuxSystem;
}

void setDriveSystemForTesting(DriveSystem *ds)
{
    g_testSystem = ds;
}
