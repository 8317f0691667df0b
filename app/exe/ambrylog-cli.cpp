// ambrylog-cli: the program's engine from a terminal, for scripts, tests and benchmarks.
#include <QCoreApplication>
#include <QStringList>

#include <cstdio>
#include <functional>
#include <map>

#include "AmbryError.h"
#include "CliCommand.h"
#include "cliAdd.h"
#include "cliCatalog.h"
#include "cliDrives.h"
#include "cliSearch.h"
#include "cliSettings.h"

namespace {

void usage()
{
    std::fputs("usage: ambrylog-cli [--catalog DIR] COMMAND [ARGS]\n"
               "commands:\n"
               "  checksum FILE          archive checksum of a file\n"
               "  value ARCHIVE KEY      value of an archive field\n"
               "  next-number            number the next saved archive gets\n"
               "  mark-exists MARK       yes (exit 0) or no (exit 1)\n"
               "  drives [bind LETTER FOLDER | unbind LETTER | default LETTER]\n"
               "  add (--drive LETTER | --folder PATH) [--mark M] [--location T] [--note T] [--eject]\n"
               "  search [TEXT] [--advanced] [--fields marks,dirs,files,types] [--case]\n"
               "         [--from DD/MM/YYYY --to DD/MM/YYYY] [--at-least N | --at-most N]\n"
               "         [--unit Bytes|KiloBytes|MegaBytes|GigaBytes] [--only-mark MARK]\n"
               "         [--count] [--format tsv|json]\n"
               "  setting (get KEY NAME | set KEY NAME VALUE | delete KEY NAME)\n",
               stderr);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("Brightfen"));
    QCoreApplication::setApplicationName(QStringLiteral("Ambrylog"));

    QStringList args = app.arguments().mid(1);
    CliContext ctx;
    if (args.size() >= 2 && args.front() == QLatin1String("--catalog")) {
        ctx.catalogFolder = args.at(1);
        args = args.mid(2);
    }
    if (args.isEmpty() || args.front() == QLatin1String("--help")) {
        usage();
        return args.isEmpty() ? 1 : 0;
    }
    const QString command = args.takeFirst();
    ctx.args = args;

    const std::map<QString, std::function<int(CliContext &)>> commands = {
        {QStringLiteral("checksum"), cliChecksum},      {QStringLiteral("value"), cliValue},
        {QStringLiteral("next-number"), cliNextNumber}, {QStringLiteral("mark-exists"), cliMarkExists},
        {QStringLiteral("drives"), cliDrives},          {QStringLiteral("add"), cliAdd},
        {QStringLiteral("search"), cliSearch},          {QStringLiteral("setting"), cliSetting},
    };
    const auto it = commands.find(command);
    if (it == commands.end()) {
        std::fprintf(stderr, "ambrylog-cli: unknown command '%s'\n", qPrintable(command));
        usage();
        return 1;
    }
    try {
        return it->second(ctx);
    } catch (const AmbryError &e) {
        std::fprintf(stderr, "ambrylog-cli: %s\n", e.what());
        return 1;
    }
}
