#include "app/ProgramArguments.h"
#include "app/gui/Entry.h"

#include <QString>

int main(int argc, char **argv)
{
    // Before the application object: --help and --version need no display.
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));
    if (const std::optional<int> code = answerInformationArguments(arguments, stdout))
        return *code;
    return runAmbrylog(argc, argv);
}
