#include "ProgramArguments.h"

#include <QCommandLineParser>

QString programHelpText()
{
    return QStringLiteral(
        "usage: ambrylog [ARGUMENT]\n"
        "       ambrylog --help | --version\n"
        "\n"
        "Ambrylog keeps a catalog of the contents of optical discs and other volumes.\n"
        "\n"
        "Started with any other argument (the start-up entry passes \"tag\"), the program starts\n"
        "minimised, unless \"Run Minimized (only Start-up)\" is unchecked in Preferences. A second\n"
        "start brings the running copy forward.\n"
        "\n"
        "options:\n"
        "  -h, --help  show this help\n"
        "  --version   show the version\n"
        "\n"
        "The command-line companion is ambrylog-cli; see ambrylog(1) and ambrylog-cli(1).\n");
}

std::optional<int> answerInformationArguments(const QStringList &arguments, std::FILE *out)
{
    const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")});
    const QCommandLineOption version(QStringLiteral("version"));
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.addOptions({help, version});
    // Other options are not errors here: they are arguments like any other.
    parser.parse(QStringList{QStringLiteral("ambrylog")} + arguments);
    QByteArray text;
    if (parser.isSet(help))
        text = programHelpText().toUtf8();
    else if (parser.isSet(version))
        text = QByteArrayLiteral("ambrylog " AMBRY_VERSION "\n");
    else
        return std::nullopt;
    std::fwrite(text.constData(), 1, size_t(text.size()), out);
    std::fflush(out);
    return 0;
}
