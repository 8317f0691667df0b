#include "Startup.h"

#include "Settings.h"
#include "gVars.h"
#include "util/gUtils.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace {

QString executablePath()
{
    if (QCoreApplication::instance())
        return QCoreApplication::applicationFilePath();
    return QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath();
}

} // namespace

bool establishFolders(QString *error)
{
    AppVars &vars = gVars();
    vars.programFolder = AddTrailingSlash(QFileInfo(executablePath()).absolutePath());

    // Never a relative folder: without a data home the program does not start.
    const QString roaming = GetRoamingAppDataFolder();
    const QString dataFolder =
        roaming.isEmpty() ? QString() : AddTrailingSlash(roaming) + QStringLiteral("Brightfen/Ambrylog/");
    if (dataFolder.isEmpty() || !QDir().mkpath(dataFolder)) {
        if (error)
            *error = kNoDataFolderMessage;
        return false;
    }
    vars.dataFolder = dataFolder;
    vars.catalogFolder = dataFolder + QStringLiteral("Archive/");
    QDir().mkpath(vars.catalogFolder);
    return true;
}

void writeProgramLocation()
{
    settings::set(settings::ProgramLocation, executablePath());
}
