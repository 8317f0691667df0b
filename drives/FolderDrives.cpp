#include "FolderDrives.h"

#include "DriveSystem.h"
#include "settings/gRegistry.h"
#include "settings/gVars.h"
#include "util/AmbryError.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>

namespace folderdrives {

namespace {

QString letterName(char letter)
{
    return QString(QLatin1Char(letter));
}

} // namespace

BindOutcome bind(char letter, const QString &folder)
{
    BindOutcome out;
    if (letter < 'A' || letter > 'Z') {
        out.error = QStringLiteral("'%1' is not a drive letter (A to Z)").arg(QLatin1Char(letter));
        return out;
    }
    const DriveInfo current = driveSystem().drive(letter);
    if (current.kind == DriveKind::Fixed) {
        out.error = QStringLiteral("%1 is the root file system and cannot be bound to a folder")
                        .arg(letterName(letter));
        return out;
    }
    if (current.kind == DriveKind::Optical) {
        out.error = QStringLiteral("%1 is the optical drive %2 and cannot be bound to a folder")
                        .arg(letterName(letter), current.device);
        return out;
    }
    const QFileInfo fi(folder);
    if (folder.isEmpty() || !fi.exists()) {
        out.error = QStringLiteral("the folder '%1' does not exist").arg(folder);
        return out;
    }
    if (!fi.isDir()) {
        out.error = QStringLiteral("'%1' is not a folder").arg(folder);
        return out;
    }
    out.folder = QDir::cleanPath(fi.absoluteFilePath());
    WriteSetting(RegKey::Drives, letterName(letter), out.folder);
    if (ReadSetting(RegKey::Drives, letterName(letter)) != out.folder) {
        out.error = QStringLiteral("the settings could not be written");
        return out;
    }
    out.bound = true;
    return out;
}

bool unbind(char letter)
{
    if (letter < 'A' || letter > 'Z' || !DeleteSetting(RegKey::Drives, letterName(letter)))
        return false;
    QString stored;
    try {
        stored = ReadSetting(RegKey::V, RegName::DefaultDeviceDrive).trimmed();
    } catch (const AmbryError &) {
        // Not a letter, so not this one.
    }
    if (!stored.isEmpty() && stored.at(0).toUpper() == QLatin1Char(letter))
        DeleteSetting(RegKey::V, RegName::DefaultDeviceDrive);
    char &readDevice = gVars().readDeviceLetter;
    if (QChar::fromLatin1(readDevice).toUpper() == QLatin1Char(letter))
        readDevice = 0;
    return true;
}

char firstFreeLetter()
{
    const QList<DriveInfo> taken = driveSystem().drives();
    for (char c = 'Z'; c >= 'A'; --c) {
        const bool used =
            std::any_of(taken.cbegin(), taken.cend(), [c](const DriveInfo &d) { return d.letter == c; });
        if (!used)
            return c;
    }
    return 0;
}

} // namespace folderdrives
