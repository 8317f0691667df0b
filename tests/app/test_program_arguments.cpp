#include "TestSupport.h"

#include "app/ProgramArguments.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>

#include <cstdio>

namespace {

QString exeFolder()
{
    return QDir::cleanPath(QCoreApplication::applicationDirPath() + QStringLiteral("/../app/exe"));
}

struct ProgramRun
{
    int code = -1;
    QString out;
    QString err;
};

// Runs a program with no display at all, as in a plain terminal or an ssh session.
ProgramRun runProgram(const QString &name, const QStringList &args)
{
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char *var : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        env.remove(QString::fromLatin1(var));
    env.insert(QStringLiteral("ASAN_OPTIONS"), QStringLiteral("detect_leaks=0"));
    p.setProcessEnvironment(env);
    p.start(exeFolder() + QLatin1Char('/') + name, args);
    ProgramRun r;
    if (!p.waitForFinished(30000)) {
        p.kill();
        p.waitForFinished();
        ADD_FAILURE() << name.toStdString() << " did not end";
        return r;
    }
    r.code = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -2;
    r.out = QString::fromUtf8(p.readAllStandardOutput());
    r.err = QString::fromUtf8(p.readAllStandardError());
    return r;
}

} // namespace

TEST(ProgramArguments, OnlyHelpAndVersionAreAnswered)
{
    const struct
    {
        QStringList args;
        bool answered;
        const char *says;
    } cases[] = {
        {{}, false, ""},
        {{QStringLiteral("tag")}, false, ""},
        {{QStringLiteral("--minimised")}, false, ""},
        {{QStringLiteral("anything"), QStringLiteral("at"), QStringLiteral("all")}, false, ""},
        {{QStringLiteral("--help")}, true, "usage: ambrylog [ARGUMENT]"},
        {{QStringLiteral("-h")}, true, "usage: ambrylog [ARGUMENT]"},
        {{QStringLiteral("--version")}, true, "ambrylog " AMBRY_VERSION "\n"},
        {{QStringLiteral("tag"), QStringLiteral("--frob"), QStringLiteral("--version")},
         true,
         "ambrylog " AMBRY_VERSION},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.args.join(QLatin1Char(' ')).toStdString());
        std::FILE *out = std::tmpfile();
        const std::optional<int> code = answerInformationArguments(c.args, out);
        const long written = std::ftell(out);
        std::rewind(out);
        QByteArray text(written, '\0');
        EXPECT_EQ(std::fread(text.data(), 1, size_t(written), out), size_t(written));
        std::fclose(out);
        EXPECT_EQ(code.has_value(), c.answered);
        if (c.answered) {
            EXPECT_EQ(*code, 0);
            EXPECT_TRUE(text.contains(c.says)) << text.toStdString();
        } else {
            EXPECT_TRUE(text.isEmpty());
        }
    }
}

TEST(ProgramArguments, BothProgramsAnswerWithoutADisplay)
{
    for (const QString &program : {QStringLiteral("ambrylog"), QStringLiteral("ambrylog-cli")}) {
        SCOPED_TRACE(program.toStdString());
        const ProgramRun version = runProgram(program, {QStringLiteral("--version")});
        EXPECT_EQ(version.code, 0) << version.err.toStdString();
        EXPECT_EQ(version.out, program + QStringLiteral(" " AMBRY_VERSION "\n"));
        const ProgramRun help = runProgram(program, {QStringLiteral("--help")});
        EXPECT_EQ(help.code, 0) << help.err.toStdString();
        EXPECT_TRUE(help.out.startsWith(QStringLiteral("usage: ") + program)) << help.out.toStdString();
        EXPECT_TRUE(help.err.isEmpty()) << help.err.toStdString();
    }
}

TEST(ProgramArguments, EveryCommandHasHelpAndRefusesAnUnknownOption)
{
    const ProgramRun list = runProgram(QStringLiteral("ambrylog-cli"), {QStringLiteral("--complete")});
    ASSERT_EQ(list.code, 0);
    const QStringList commands = list.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_GE(commands.size(), 8) << list.out.toStdString();
    const ProgramRun programHelp = runProgram(QStringLiteral("ambrylog-cli"), {QStringLiteral("help")});
    for (const QString &command : commands) {
        SCOPED_TRACE(command.toStdString());
        EXPECT_TRUE(programHelp.out.contains(QStringLiteral("\n  ") + command + QLatin1Char(' ')))
            << "listed in the help";
        if (command == QLatin1String("help"))
            continue;
        const ProgramRun help = runProgram(QStringLiteral("ambrylog-cli"), {QStringLiteral("help"), command});
        EXPECT_EQ(help.code, 0);
        EXPECT_TRUE(help.out.startsWith(QStringLiteral("usage: ambrylog-cli ") + command))
            << help.out.toStdString();
        EXPECT_TRUE(help.out.contains(QStringLiteral("\nexit codes:\n  0 "))) << help.out.toStdString();
        EXPECT_TRUE(help.out.contains(QStringLiteral("\n  64  the command line is wrong\n")));
        const ProgramRun own =
            runProgram(QStringLiteral("ambrylog-cli"), {command, QStringLiteral("--help")});
        EXPECT_EQ(own.code, 0);
        EXPECT_EQ(own.out, help.out);

        const ProgramRun wrong =
            runProgram(QStringLiteral("ambrylog-cli"), {command, QStringLiteral("--no-such-option")});
        EXPECT_EQ(wrong.code, 64);
        EXPECT_TRUE(wrong.out.isEmpty()) << wrong.out.toStdString();
        EXPECT_EQ(wrong.err,
                  QStringLiteral(
                      "ambrylog-cli %1: unknown option '--no-such-option' (see 'ambrylog-cli help %1')\n")
                      .arg(command));
    }
}

TEST(ProgramArguments, TheManPageNamesEveryCommandAndOption)
{
    QFile page(QStringLiteral(AMBRY_SOURCE_DIR "/docs/ambrylog-cli.1.scd"));
    ASSERT_TRUE(page.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(page.readAll());
    const ProgramRun list = runProgram(QStringLiteral("ambrylog-cli"), {QStringLiteral("--complete")});
    ASSERT_EQ(list.code, 0);
    for (const QString &command : list.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        // A command's entry starts a line: "*name*" or "*name sub*".
        EXPECT_TRUE(text.contains(QStringLiteral("\n*") + command + QLatin1Char('*')) ||
                    text.contains(QStringLiteral("\n*") + command + QLatin1Char(' ')))
            << command.toStdString();
        const ProgramRun words =
            runProgram(QStringLiteral("ambrylog-cli"), {QStringLiteral("--complete"), command});
        for (const QString &line : words.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
            const QString option = line.section(QLatin1Char(' '), 0, 0);
            if (!option.startsWith(QLatin1String("--")) || option == QLatin1String("--help"))
                continue;
            EXPECT_TRUE(text.contains(QLatin1Char('*') + option + QLatin1Char('*')))
                << command.toStdString() << " " << option.toStdString();
        }
    }
}
