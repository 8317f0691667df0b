#pragma once

#include <QString>

// Drive routines over one-letter drive names. "C" is the root file system; "D" + N is the
// optical drive srN; other letters may be folder drives bound by the user (settings key
// RegKey::Drives). Every letter without a drive has the type name "1".

void OpenDriveDoor(char letter);                 // unmount and eject; silent
void CloseDriveDoor(char letter);                // close the tray; silent
char FindFirstCdDrive();                         // 0 when there is none
QString GetDriveTypeName(const QString &letter); // "CD/DVD ROM", "LOCAL", "1", ...
// The type GetDriveTypeName names, for code to compare: a folder drive is a CD/DVD ROM.
enum class DriveType { NoDrive, Local, CdDvdRom };
DriveType driveType(char letter); // any letter case; NoDrive for anything but a letter
QString driveTypeName(DriveType type);
bool IsDiscReady(char letter);                   // throws AmbryError "Not a valid drive ID"
bool IsAudioDisc(char letter);
// Real folder where the medium in the drive is mounted (ending in "/"), mounting it when a
// medium with a file system is present but not mounted; empty when there is none.
QString DriveRootPath(char letter);
// The read device for the stored "DefaultDeviceDrive" text: the letter it starts with when that
// names a CD/DVD or folder drive, else the first such drive (0 when there is none).
// *passedOver tells whether the stored choice (an empty one included) named no such drive.
char chooseReadDevice(const QString &stored, bool *passedOver = nullptr);
