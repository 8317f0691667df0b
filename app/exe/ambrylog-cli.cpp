// ambrylog-cli: the program's engine from a terminal, for scripts, tests and benchmarks.
#include <QCoreApplication>

#include "backup/cliBackup.h"
#include "browser/cliBrowser.h"
#include "catalog/cliCatalog.h"
#include "drives/cliDrives.h"
#include "scan/cliAdd.h"
#include "search/cliGet.h"
#include "search/cliSearch.h"
#include "settings/cliSettings.h"
#include "util/CliCommand.h"

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("Brightfen"));
    QCoreApplication::setApplicationName(QStringLiteral("Ambrylog"));
    QCoreApplication::setApplicationVersion(QStringLiteral(AMBRY_VERSION));

    // The order of the command list in --help.
    const QList<const CliCommand *> commands = {
        &checksumCommand(), &valueCommand(),  &nextNumberCommand(), &markExistsCommand(), &drivesCommand(),
        &addCommand(),      &searchCommand(), &getCommand(),        &listCommand(),       &lsCommand(),
        &treeCommand(),     &editCommand(),   &removeCommand(),     &settingCommand(),    &backupCommand(),
        &restoreCommand(),  &mergeCommand(),  &importCommand(),
    };
    return runCli(commands, app.arguments().mid(1));
}
