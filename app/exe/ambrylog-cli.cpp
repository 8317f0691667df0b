// ambrylog-cli: the program's engine from a terminal, for scripts, tests and benchmarks.
#include <QCoreApplication>

#include "CliCommand.h"
#include "cliAdd.h"
#include "cliBackup.h"
#include "cliBrowser.h"
#include "cliCatalog.h"
#include "cliDrives.h"
#include "cliGet.h"
#include "cliSearch.h"
#include "cliSettings.h"

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("Brightfen"));
    QCoreApplication::setApplicationName(QStringLiteral("Ambrylog"));
    QCoreApplication::setApplicationVersion(QStringLiteral(AMBRY_VERSION));

    // The order of the command list in --help.
    const QList<const CliCommand *> commands = {
        &checksumCommand(), &valueCommand(),   &nextNumberCommand(), &markExistsCommand(), &drivesCommand(),
        &addCommand(),      &searchCommand(),  &getCommand(),        &listCommand(),       &editCommand(),
        &removeCommand(),   &settingCommand(), &backupCommand(),     &restoreCommand(),    &mergeCommand(),
    };
    return runCli(commands, app.arguments().mid(1));
}
