#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include "MediaMonitor.h"

// The machine's drives as the program sees them: one-letter names mapped to Linux volumes.
// gDrives.h is the program's way in; this interface is what it runs on, so tests can swap in
// their double (drives/testing/FakeDriveSystem.h). Letters passed here are already upper case 'A'..'Z'.

enum class DriveKind {
    None,    // no drive behind the letter
    Fixed,   // "C", the root file system
    Optical, // a CD/DVD drive, /dev/srN
    Folder,  // a folder the user bound to a letter; handled like a CD/DVD drive
};

struct DriveInfo
{
    char letter = 0;
    DriveKind kind = DriveKind::None;
    QString device; // "/dev/sr0" for an optical drive
    QString folder; // the bound folder of a folder drive, "/" for the root file system
};

class DriveSystem
{
public:
    virtual ~DriveSystem() = default;

    // Every letter that has a drive, in letter order.
    virtual QList<DriveInfo> drives() = 0;
    // The drive behind one letter (kind None when there is none).
    DriveInfo drive(char letter);

    virtual bool isReady(char letter) = 0;
    virtual bool isAudio(char letter) = 0;
    // Where the medium's files are, ending in "/"; empty when there is none. With mount set, a
    // medium that has a file system but is not mounted yet gets mounted first.
    virtual QString rootPath(char letter, bool mount) = 0;
    // The label of the medium in an optical drive; empty when there is none or it is unknown.
    virtual QString volumeLabel(char letter)
    {
        Q_UNUSED(letter)
        return {};
    }
    virtual void eject(char letter) = 0;
    virtual void closeTray(char letter) = 0;
    // Owned by the drive system; lives as long as it does.
    virtual MediaMonitor *mediaMonitor() = 0;
};

// The drive system gDrives uses: the Linux one unless a test installed another.
DriveSystem &driveSystem();
// Makes gDrives use ds (not owned); nullptr goes back to the Linux drive system.
void setDriveSystemForTesting(DriveSystem *ds);
