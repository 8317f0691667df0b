#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <cstdio>
#include <functional>

class QCommandLineParser;

// How to add a command to ambrylog-cli: in your subsystem's cli<Name>.cpp write a function that
// returns a function-local static CliCommand (designated initialisers keep it readable):
// .name, .summary (one line for the command list), .synopsis (the arguments after the name, one
// line per form), .options (each with its value name, and the allowed values when there is a
// fixed set: the framework refuses others, and completion offers them), .minArgs/.maxArgs
// (positional arguments; the framework refuses other counts), .exitCodes (what 0, 1 and every
// other code the command returns mean; 64 is added for you), .arguments (what each positional
// argument is, for completion), and .run. Declare the function in cli<Name>.h and add it to the
// list in app/exe/ambrylog-cli.cpp; help, "help COMMAND", "COMMAND --help" and usage errors
// (exit 64) come for free. Inside run, read ctx.args, ctx.isSet()/ctx.value(), get the catalog
// with catalog::commandLineCatalog(ctx.catalogFolder) (catalog/ProgramCatalog.h; it throws
// AmbryError when a given folder is missing), write results with ctx.out() and what went wrong or was
// refused with ctx.err(); return ctx.usageError(text) for a wrong command line and
// ctx.fail(text) for a failure. An AmbryError thrown by run prints its message and exits 1. Tests run a
// command with runCliCommand() and catch its output in files. Document the command in README.md's table and
// in the man page docs/ambrylog-cli.1.scd (a test checks that the man page names every command and long
// option); the bash and zsh completion scripts need nothing: they ask "ambrylog-cli --complete [COMMAND]".

enum CliExit {
    CliOk = 0,
    CliFailed = 1,
    CliUsage = 64, // the command line is wrong (EX_USAGE)
};

struct CliOption
{
    QStringList names{}; // "drive", or {"c", "count"}: long names get "--", one letter "-"
    // Empty: a switch that takes no value. LETTER completes as a drive letter, DIR, FOLDER and
    // PATH as folders, FILE and ARCHIVE as files.
    QString valueName{};
    QString description{}; // one line
    QStringList choices{}; // the values it accepts when there is a fixed set
};

// What a positional argument is, so completion can offer the right words.
enum class CliArgKind {
    Text,
    File,
    Folder,
    DriveLetter,
    Word, // one of CliArgument::choices
};

struct CliArgument
{
    QString name{};
    CliArgKind kind = CliArgKind::Text;
    QStringList choices{};
};

struct CliExitCode
{
    int code = 0;
    QString meaning{};
};

struct CliContext;

struct CliCommand
{
    QString name{};
    QString summary{};
    QStringList synopsis{};
    QString description{}; // optional paragraph for --help
    QList<CliOption> options{};
    int minArgs = 0;
    int maxArgs = 0; // -1: any number
    QList<CliExitCode> exitCodes{};
    QList<CliArgument> arguments{};
    std::function<int(CliContext &)> run{};
};

// What a command's run function receives.
struct CliContext
{
    const CliCommand *command = nullptr;
    QString catalogFolder; // --catalog as given; empty for the user's catalog folder
    QStringList args;      // the positional arguments
    std::FILE *outFile = stdout;
    std::FILE *errFile = stderr;
    const QCommandLineParser *parser = nullptr;

    bool isSet(const QString &option) const;
    QString value(const QString &option) const;

    void out(const QString &line) const;          // a result line on standard output
    void err(const QString &line) const;          // a message line on standard error
    int fail(const QString &message) const;       // "ambrylog-cli NAME: message", returns 1
    int usageError(const QString &message) const; // the same with a pointer to help, returns 64
};

// Runs a whole command line (arguments without the program name) against the given commands.
int runCli(const QList<const CliCommand *> &commands, const QStringList &arguments, std::FILE *out = stdout,
           std::FILE *err = stderr);

// Runs one command with its own arguments, as "ambrylog-cli [--catalog C] NAME ARGS" would.
int runCliCommand(const CliCommand &command, const QString &catalogFolder, const QStringList &args,
                  std::FILE *out = stdout, std::FILE *err = stderr);

// The help text of one command, and of the program with its command list.
QString cliCommandHelp(const CliCommand &command);
QString cliProgramHelp(const QList<const CliCommand *> &commands);

// Prints to standard output / standard error as UTF-8 with a line end.
void cliOut(const QString &line);
void cliErr(const QString &line);
