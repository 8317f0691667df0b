#include "FolderDrives.h"

#include "DriveSystem.h"
#include "settings/Settings.h"
#include "settings/gVars.h"

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
    settings::set(settings::folderDrive(letter), out.folder);
    if (settings::get(settings::folderDrive(letter)) != out.folder) {
        out.error = QStringLiteral("the settings could not be written");
        return out;
    }
    out.bound = true;
    return out;
}

bool unbind(char letter)
{
    if (letter < 'A' || letter > 'Z' || !settings::remove(settings::folderDrive(letter)))
        return false;
    const QString stored = settings::get(settings::DefaultDeviceDrive).trimmed();
    if (!stored.isEmpty() && stored.at(0).toUpper() == QLatin1Char(letter))
        settings::remove(settings::DefaultDeviceDrive);
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
