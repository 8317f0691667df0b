#include "CliCommand.h"

#include "AmbryError.h"

#include <QCommandLineParser>

namespace {

const QString kProgram = QStringLiteral("ambrylog-cli");

void writeLine(std::FILE *f, const QString &line)
{
    const QByteArray b = line.toUtf8();
    std::fwrite(b.constData(), 1, size_t(b.size()), f);
    std::fputc('\n', f);
}

void writeText(std::FILE *f, const QString &text)
{
    const QByteArray b = text.toUtf8();
    std::fwrite(b.constData(), 1, size_t(b.size()), f);
}

QString dashed(const QString &name)
{
    return (name.size() == 1 ? QStringLiteral("-") : QStringLiteral("--")) + name;
}

QString optionLabel(const CliOption &o)
{
    QStringList names;
    for (const QString &n : o.names)
        names.append(dashed(n));
    QString label = names.join(QStringLiteral(", "));
    if (!o.valueName.isEmpty())
        label += QLatin1Char(' ') + o.valueName;
    return label;
}

// Two columns: labels padded to the widest, the text after them.
QString table(const QList<std::pair<QString, QString>> &rows)
{
    qsizetype width = 0;
    for (const auto &[label, text] : rows)
        width = std::max(width, label.size());
    QString s;
    for (const auto &[label, text] : rows)
        s += QStringLiteral("  ") + label.leftJustified(width + 2) + text + QLatin1Char('\n');
    return s;
}

const CliOption kHelpOption{
    {QStringLiteral("h"), QStringLiteral("help")}, {}, QStringLiteral("show this help"), {}};

QCommandLineOption toQt(const CliOption &o)
{
    return QCommandLineOption(o.names, o.description, o.valueName);
}

// The parser's own error text, made to read like the rest of the program's messages.
QString parseError(const QCommandLineParser &parser)
{
    const QStringList unknown = parser.unknownOptionNames();
    if (!unknown.isEmpty())
        return QStringLiteral("unknown option '%1'").arg(dashed(unknown.front()));
    QString text = parser.errorText();
    if (text.endsWith(QLatin1Char('.')))
        text.chop(1);
    if (!text.isEmpty())
        text[0] = text.at(0).toLower();
    return text;
}

QString orList(const QStringList &words)
{
    if (words.size() < 2)
        return words.join(QString());
    return words.mid(0, words.size() - 1).join(QStringLiteral(", ")) + QStringLiteral(" or ") + words.back();
}

// Breaks a synopsis before the option groups so that no line passes 100 columns.
QString wrapSynopsis(const QString &head, const QString &text)
{
    const qsizetype width = 100;
    const QString indent(head.size() + 1, QLatin1Char(' '));
    QString s = head;
    qsizetype lineLength = s.size();
    const QStringList words = text.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    for (qsizetype i = 0; i < words.size(); ++i) {
        // Keep "[--opt VALUE]" and "(--a X | --b Y)" groups whole.
        QString group = words.at(i);
        const auto open = [](const QString &g) {
            return g.count(QLatin1Char('[')) + g.count(QLatin1Char('(')) - g.count(QLatin1Char(']')) -
                   g.count(QLatin1Char(')'));
        };
        while (open(group) > 0 && i + 1 < words.size())
            group += QLatin1Char(' ') + words.at(++i);
        if (lineLength + 1 + group.size() > width && lineLength > head.size()) {
            s += QLatin1Char('\n') + indent + group;
            lineLength = indent.size() + group.size();
        } else {
            s += QLatin1Char(' ') + group;
            lineLength += 1 + group.size();
        }
    }
    return s;
}

// Lines longer than the width broken at blanks; shorter lines and their breaks kept.
QString wrapText(const QString &text, qsizetype width)
{
    QStringList out;
    for (const QString &line : text.split(QLatin1Char('\n'))) {
        QString current;
        for (const QString &word : line.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
            if (!current.isEmpty() && current.size() + 1 + word.size() > width) {
                out.append(current);
                current.clear();
            }
            current += (current.isEmpty() ? QString() : QStringLiteral(" ")) + word;
        }
        out.append(current);
    }
    return out.join(QLatin1Char('\n'));
}

int usageLine(std::FILE *err, const QString &who, const QString &message, const QString &helpCommand)
{
    writeLine(err, who + QStringLiteral(": ") + message + QStringLiteral(" (see '") + kProgram +
                       QStringLiteral(" ") + helpCommand + QStringLiteral("')"));
    return CliUsage;
}

const char *kindWord(CliArgKind kind)
{
    switch (kind) {
    case CliArgKind::File:
        return "file";
    case CliArgKind::Folder:
        return "folder";
    case CliArgKind::DriveLetter:
        return "drive";
    case CliArgKind::Word:
        return "word";
    case CliArgKind::Text:
        break;
    }
    return "text";
}

// What an option's value is, told by its value name.
CliArgKind valueKind(const CliOption &o)
{
    if (!o.choices.isEmpty())
        return CliArgKind::Word;
    if (o.valueName == QLatin1String("LETTER"))
        return CliArgKind::DriveLetter;
    if (o.valueName == QLatin1String("DIR") || o.valueName == QLatin1String("FOLDER") ||
        o.valueName == QLatin1String("PATH"))
        return CliArgKind::Folder;
    if (o.valueName == QLatin1String("FILE") || o.valueName == QLatin1String("ARCHIVE"))
        return CliArgKind::File;
    return CliArgKind::Text;
}

// The words the shell completion scripts offer, one line each: "NAME" for a switch,
// "NAME KIND [CHOICE...]" for an option that takes a value, "@N KIND [CHOICE...]" for the
// N-th positional argument (from 1). KIND is text, file, folder, drive or word.
QString completionWords(const CliCommand &command)
{
    QString s;
    const auto line = [&](const QString &head, CliArgKind kind, const QStringList &choices) {
        s += head + QLatin1Char(' ') + QLatin1String(kindWord(kind));
        for (const QString &c : choices)
            s += QLatin1Char(' ') + c;
        s += QLatin1Char('\n');
    };
    for (const CliOption &o : command.options + QList<CliOption>{kHelpOption}) {
        for (const QString &n : o.names) {
            if (o.valueName.isEmpty())
                s += dashed(n) + QLatin1Char('\n');
            else
                line(dashed(n), valueKind(o), o.choices);
        }
    }
    for (qsizetype i = 0; i < command.arguments.size(); ++i) {
        const CliArgument &a = command.arguments.at(i);
        line(QLatin1Char('@') + QString::number(i + 1), a.kind, a.choices);
    }
    return s;
}

} // namespace

bool CliContext::isSet(const QString &option) const
{
    return parser && parser->isSet(option);
}

QString CliContext::value(const QString &option) const
{
    return parser ? parser->value(option) : QString();
}

void CliContext::out(const QString &line) const
{
    writeLine(outFile, line);
}

void CliContext::err(const QString &line) const
{
    writeLine(errFile, line);
}

int CliContext::fail(const QString &message) const
{
    err(kProgram + QLatin1Char(' ') + (command ? command->name : QString()) + QStringLiteral(": ") + message);
    return CliFailed;
}

int CliContext::usageError(const QString &message) const
{
    const QString name = command ? command->name : QString();
    return usageLine(errFile, kProgram + QLatin1Char(' ') + name, message, QStringLiteral("help ") + name);
}

QString cliCommandHelp(const CliCommand &command)
{
    QString s;
    const QStringList forms = command.synopsis.isEmpty() ? QStringList{QString()} : command.synopsis;
    for (qsizetype i = 0; i < forms.size(); ++i) {
        const QString head = (i == 0 ? QStringLiteral("usage: ") : QStringLiteral("       ")) + kProgram +
                             QLatin1Char(' ') + command.name;
        s += wrapSynopsis(head, forms.at(i)) + QLatin1Char('\n');
    }
    QString summary = command.summary;
    if (!summary.isEmpty())
        summary[0] = summary.at(0).toUpper();
    s += QLatin1Char('\n') + summary + QStringLiteral(".\n");
    if (!command.description.isEmpty())
        s += QLatin1Char('\n') + wrapText(command.description, 92) + QLatin1Char('\n');

    QList<std::pair<QString, QString>> rows;
    for (const CliOption &o : command.options) {
        QString text = o.description;
        if (!o.choices.isEmpty())
            text += QStringLiteral(" (") + o.choices.join(QStringLiteral(", ")) + QLatin1Char(')');
        rows.append({optionLabel(o), text});
    }
    rows.append({optionLabel(kHelpOption), kHelpOption.description});
    s += QStringLiteral("\noptions:\n") + table(rows);

    rows.clear();
    for (const CliExitCode &e : command.exitCodes)
        rows.append({QString::number(e.code), e.meaning});
    rows.append({QString::number(CliUsage), QStringLiteral("the command line is wrong")});
    s += QStringLiteral("\nexit codes:\n") + table(rows);
    return s;
}

QString cliProgramHelp(const QList<const CliCommand *> &commands)
{
    QString s = QStringLiteral("usage: ambrylog-cli [--catalog DIR] COMMAND [ARGS]\n"
                               "       ambrylog-cli help COMMAND\n"
                               "       ambrylog-cli COMMAND --help\n"
                               "       ambrylog-cli --version\n"
                               "\n"
                               "Ambrylog's catalog engine from a terminal.\n"
                               "\ncommands:\n");
    QList<std::pair<QString, QString>> rows;
    for (const CliCommand *c : commands)
        rows.append({c->name, c->summary});
    rows.append(
        {QStringLiteral("help"), QStringLiteral("show a command's synopsis, options and exit codes")});
    s += table(rows);
    s += QStringLiteral("\noptions:\n") +
         table(
             {{QStringLiteral("--catalog DIR"), QStringLiteral("the catalog folder (default: the user's, "
                                                               "~/.local/share/Brightfen/Ambrylog/Archive)")},
              {optionLabel(kHelpOption), kHelpOption.description},
              {QStringLiteral("--version"), QStringLiteral("show the version")}});
    s += QStringLiteral("\nexit codes:\n") +
         table({{QStringLiteral("0"), QStringLiteral("done")},
                {QStringLiteral("1"), QStringLiteral("the command failed")},
                {QString::number(CliUsage), QStringLiteral("the command line is wrong")}});
    s += QStringLiteral("\nSome commands have codes of their own: see 'ambrylog-cli help COMMAND'.\n");
    return s;
}

int runCliCommand(const CliCommand &command, const QString &catalogFolder, const QStringList &args,
                  std::FILE *out, std::FILE *err)
{
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    for (const CliOption &o : command.options)
        parser.addOption(toQt(o));
    parser.addOption(toQt(kHelpOption));

    CliContext ctx;
    ctx.command = &command;
    ctx.catalogFolder = catalogFolder;
    ctx.outFile = out;
    ctx.errFile = err;
    ctx.parser = &parser;

    if (!parser.parse(QStringList{kProgram} + args))
        return ctx.usageError(parseError(parser));
    if (parser.isSet(QStringLiteral("help"))) {
        writeText(out, cliCommandHelp(command));
        return CliOk;
    }
    for (const CliOption &o : command.options) {
        if (o.choices.isEmpty())
            continue;
        for (const QString &v : parser.values(o.names.back())) {
            if (!o.choices.contains(v))
                return ctx.usageError(QStringLiteral("%1 takes %2, not '%3'")
                                          .arg(dashed(o.names.back()), orList(o.choices), v));
        }
    }
    ctx.args = parser.positionalArguments();
    if (ctx.args.size() < command.minArgs) {
        const qsizetype missing = ctx.args.size();
        return ctx.usageError(missing < command.arguments.size()
                                  ? QStringLiteral("%1 is missing").arg(command.arguments.at(missing).name)
                                  : QStringLiteral("too few arguments"));
    }
    if (command.maxArgs >= 0 && ctx.args.size() > command.maxArgs)
        return ctx.usageError(QStringLiteral("unexpected argument '%1'").arg(ctx.args.at(command.maxArgs)));

    int code = CliFailed;
    try {
        code = command.run(ctx);
    } catch (const AmbryError &e) {
        code = ctx.fail(e.message());
    }
    std::fflush(out);
    std::fflush(err);
    return code;
}

int runCli(const QList<const CliCommand *> &commands, const QStringList &arguments, std::FILE *out,
           std::FILE *err)
{
    const QCommandLineOption catalog(QStringLiteral("catalog"), QString(), QStringLiteral("DIR"));
    const QCommandLineOption help = toQt(kHelpOption);
    const QCommandLineOption version(QStringLiteral("version"));
    const QCommandLineOption complete(QStringLiteral("complete")); // for the completion scripts
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    // Options after the command name are the command's own.
    parser.setOptionsAfterPositionalArgumentsMode(QCommandLineParser::ParseAsPositionalArguments);
    parser.addOptions({catalog, help, version, complete});

    const auto usage = [&](const QString &message, const QString &helpCommand = QStringLiteral("--help")) {
        return usageLine(err, kProgram, message, helpCommand);
    };
    const auto find = [&](const QString &name) -> const CliCommand * {
        for (const CliCommand *c : commands)
            if (c->name == name)
                return c;
        return nullptr;
    };

    if (!parser.parse(QStringList{kProgram} + arguments))
        return usage(parseError(parser));
    if (parser.isSet(version)) {
        writeLine(out, kProgram + QStringLiteral(" ") + QStringLiteral(AMBRY_VERSION));
        return CliOk;
    }
    QStringList rest = parser.positionalArguments();
    if (parser.isSet(complete)) {
        if (rest.isEmpty()) {
            for (const CliCommand *c : commands)
                writeLine(out, c->name);
            writeLine(out, QStringLiteral("help"));
            return CliOk;
        }
        const CliCommand *c = rest.size() == 1 ? find(rest.front()) : nullptr;
        if (!c)
            return CliUsage;
        writeText(out, completionWords(*c));
        return CliOk;
    }
    if (parser.isSet(help)) {
        writeText(out, cliProgramHelp(commands));
        return CliOk;
    }
    if (rest.isEmpty())
        return usage(QStringLiteral("no command given"));
    const QString name = rest.takeFirst();
    if (name == QLatin1String("help")) {
        if (rest.isEmpty()) {
            writeText(out, cliProgramHelp(commands));
            return CliOk;
        }
        const CliCommand *c = rest.size() == 1 ? find(rest.front()) : nullptr;
        if (!c)
            return usage(rest.size() == 1 ? QStringLiteral("unknown command '%1'").arg(rest.front())
                                          : QStringLiteral("help takes one command name"));
        writeText(out, cliCommandHelp(*c));
        return CliOk;
    }
    const CliCommand *c = find(name);
    if (!c)
        return usage(QStringLiteral("unknown command '%1'").arg(name));
    return runCliCommand(*c, parser.value(catalog), rest, out, err);
}

void cliOut(const QString &line)
{
    writeLine(stdout, line);
}

void cliErr(const QString &line)
{
    writeLine(stderr, line);
}
