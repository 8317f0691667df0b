#include "gDrives.h"

#include "DriveSystem.h"
#include "util/AmbryError.h"

namespace {

char upper(char letter)
{
    return (letter >= 'a' && letter <= 'z') ? char(letter - 'a' + 'A') : letter;
}

bool valid(char letter)
{
    return letter >= 'A' && letter <= 'Z';
}

} // namespace

void OpenDriveDoor(char letter)
{
    letter = upper(letter);
    if (!valid(letter))
        return;
    try {
        driveSystem().eject(letter);
    } catch (...) {
        // Door commands are silent by design.
    }
}

void CloseDriveDoor(char letter)
{
    letter = upper(letter);
    if (!valid(letter))
        return;
    try {
        driveSystem().closeTray(letter);
    } catch (...) {
    }
}

char FindFirstCdDrive()
{
    const QList<DriveInfo> all = driveSystem().drives();
    for (const DriveInfo &d : all)
        if (d.kind == DriveKind::Optical || d.kind == DriveKind::Folder)
            return d.letter;
    return 0;
}

DriveType driveType(char letter)
{
    letter = upper(letter);
    if (!valid(letter))
        return DriveType::NoDrive;
    switch (driveSystem().drive(letter).kind) {
    case DriveKind::Fixed:
        return DriveType::Local;
    case DriveKind::Optical:
    case DriveKind::Folder:
        return DriveType::CdDvdRom;
    case DriveKind::None:
        break;
    }
    return DriveType::NoDrive;
}

QString driveTypeName(DriveType type)
{
    switch (type) {
    case DriveType::Local:
        return QStringLiteral("LOCAL");
    case DriveType::CdDvdRom:
        return QStringLiteral("CD/DVD ROM");
    case DriveType::NoDrive:
        break;
    }
    return QStringLiteral("1");
}

QString GetDriveTypeName(const QString &letter)
{
    return driveTypeName(letter.isEmpty() ? DriveType::NoDrive : driveType(letter.at(0).toLatin1()));
}

bool IsDiscReady(char letter)
{
    letter = upper(letter);
    if (!valid(letter))
        throw AmbryError(QStringLiteral("Not a valid drive ID"));
    return driveSystem().isReady(letter);
}

bool IsAudioDisc(char letter)
{
    letter = upper(letter);
    return valid(letter) && driveSystem().isAudio(letter);
}

QString DriveRootPath(char letter)
{
    letter = upper(letter);
    return valid(letter) ? driveSystem().rootPath(letter, true) : QString();
}

char chooseReadDevice(const QString &stored, bool *passedOver)
{
    const QString text = stored.trimmed();
    char letter = 0;
    if (!text.isEmpty()) {
        // Drive letters carry no case; anything but a letter names no drive.
        const QChar c = text.at(0).toUpper();
        letter = (c >= QLatin1Char('A') && c <= QLatin1Char('Z')) ? c.toLatin1() : '?';
    } else {
        letter = FindFirstCdDrive();
    }
    const bool usable = letter != 0 && driveType(letter) == DriveType::CdDvdRom;
    if (passedOver)
        *passedOver = !usable;
    return usable ? letter : FindFirstCdDrive();
}
