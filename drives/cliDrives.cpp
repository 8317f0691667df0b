#include "cliDrives.h"

#include <QDir>
#include <QFileInfo>

#include "CliCommand.h"
#include "DriveSystem.h"
#include "settings/gRegistry.h"
#include "gDrives.h"

char parseDriveLetterArg(const QString &arg)
{
    QString s = arg.trimmed();
    if (s.endsWith(QLatin1Char(':')))
        s.chop(1);
    if (s.size() != 1)
        return 0;
    const char c = s.at(0).toUpper().toLatin1();
    return (c >= 'A' && c <= 'Z') ? c : 0;
}

namespace {

QString typeName(const DriveInfo &d)
{
    return GetDriveTypeName(QString(QLatin1Char(d.letter)));
}

int listDrives()
{
    DriveSystem &ds = driveSystem();
    const QList<DriveInfo> all = ds.drives();
    for (const DriveInfo &d : all) {
        const bool ready = IsDiscReady(d.letter);
        const bool audio = IsAudioDisc(d.letter);
        // A listing only looks: it does not mount a disc that nobody mounted yet.
        const QString root = ready ? ds.rootPath(d.letter, false) : QString();
        const QString where = d.kind == DriveKind::Optical ? d.device : d.folder;
        cliOut(QString(QLatin1Char(d.letter)) + QLatin1Char('\t') + typeName(d) + QLatin1Char('\t') +
               (ready ? QStringLiteral("yes") : QStringLiteral("no")) + QLatin1Char('\t') +
               (audio ? QStringLiteral("yes") : QStringLiteral("no")) + QLatin1Char('\t') + root +
               QLatin1Char('\t') + where);
    }
    return 0;
}

int refuse(const QString &text)
{
    cliErr(QStringLiteral("ambrylog-cli: ") + text);
    return 1;
}

int bindDrive(const QString &letterArg, const QString &folderArg)
{
    const char letter = parseDriveLetterArg(letterArg);
    if (!letter)
        return refuse(QStringLiteral("'%1' is not a drive letter (A to Z)").arg(letterArg));
    const DriveInfo current = driveSystem().drive(letter);
    if (current.kind == DriveKind::Fixed)
        return refuse(QStringLiteral("%1 is the root file system and cannot be bound to a folder")
                          .arg(QLatin1Char(letter)));
    if (current.kind == DriveKind::Optical)
        return refuse(QStringLiteral("%1 is the optical drive %2 and cannot be bound to a folder")
                          .arg(QLatin1Char(letter))
                          .arg(current.device));
    const QFileInfo fi(folderArg);
    if (folderArg.isEmpty() || !fi.exists())
        return refuse(QStringLiteral("the folder '%1' does not exist").arg(folderArg));
    if (!fi.isDir())
        return refuse(QStringLiteral("'%1' is not a folder").arg(folderArg));
    const QString folder = QDir::cleanPath(fi.absoluteFilePath());
    WriteSetting(RegKey::Drives, QString(QLatin1Char(letter)), folder);
    if (ReadSetting(RegKey::Drives, QString(QLatin1Char(letter))) != folder)
        return refuse(QStringLiteral("the settings could not be written"));
    cliOut(QStringLiteral("%1\t%2").arg(QLatin1Char(letter)).arg(folder));
    return 0;
}

int unbindDrive(const QString &letterArg)
{
    const char letter = parseDriveLetterArg(letterArg);
    if (!letter)
        return refuse(QStringLiteral("'%1' is not a drive letter (A to Z)").arg(letterArg));
    if (!DeleteSetting(RegKey::Drives, QString(QLatin1Char(letter))))
        return refuse(QStringLiteral("no folder is bound to %1").arg(QLatin1Char(letter)));
    return 0;
}

int setDefault(const QString &letterArg)
{
    const char letter = parseDriveLetterArg(letterArg);
    if (!letter)
        return refuse(QStringLiteral("'%1' is not a drive letter (A to Z)").arg(letterArg));
    // The program drops a default that is not a CD/DVD drive when it starts, so refuse it now.
    if (GetDriveTypeName(QString(QLatin1Char(letter))) != QLatin1String("CD/DVD ROM"))
        return refuse(QStringLiteral("%1 is not a CD/DVD drive or folder drive").arg(QLatin1Char(letter)));
    WriteSetting(RegKey::V, RegName::DefaultDeviceDrive, QString(QLatin1Char(letter)));
    return 0;
}

int usage()
{
    cliErr(
        QStringLiteral("usage: ambrylog-cli drives [bind LETTER FOLDER | unbind LETTER | default LETTER]"));
    return 1;
}

} // namespace

int cliDrives(CliContext &ctx)
{
    const QStringList &a = ctx.args;
    if (a.isEmpty())
        return listDrives();
    const QString &sub = a.front();
    if (sub == QLatin1String("bind") && a.size() == 3)
        return bindDrive(a.at(1), a.at(2));
    if (sub == QLatin1String("unbind") && a.size() == 2)
        return unbindDrive(a.at(1));
    if (sub == QLatin1String("default") && a.size() == 2)
        return setDefault(a.at(1));
    return usage();
}
