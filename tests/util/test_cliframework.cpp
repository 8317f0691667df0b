#include <gtest/gtest.h>

#include "CliRun.h"
#include "TestSupport.h"
#include "util/AmbryError.h"
#include "util/CliCommand.h"

#include <cstdio>

using ambrytest::CliRun;

namespace {

// Two small commands that record what reached them.
struct Seen
{
    QStringList args;
    QString catalog;
    bool flag = false;
    QString colour;
};
Seen seen;

const CliCommand &paintCommand()
{
    static const CliCommand command{
        .name = QStringLiteral("paint"),
        .summary = QStringLiteral("paint a wall"),
        .synopsis = {QStringLiteral("[--colour COLOUR] [--glossy] WALL [WALL]")},
        .options = {{{QStringLiteral("colour")},
                     QStringLiteral("COLOUR"),
                     QStringLiteral("the paint"),
                     {QStringLiteral("red"), QStringLiteral("blue")}},
                    {{QStringLiteral("g"), QStringLiteral("glossy")}, {}, QStringLiteral("shiny")}},
        .minArgs = 1,
        .maxArgs = 2,
        .exitCodes = {{0, QStringLiteral("painted")}, {7, QStringLiteral("out of paint")}},
        .arguments = {{QStringLiteral("WALL")}},
        .run =
            [](CliContext &ctx) {
                seen.args = ctx.args;
                seen.catalog = ctx.catalogFolder;
                seen.flag = ctx.isSet(QStringLiteral("glossy"));
                seen.colour = ctx.value(QStringLiteral("colour"));
                if (ctx.args.front() == QLatin1String("empty"))
                    return ctx.fail(QStringLiteral("no paint left")), 7;
                if (ctx.args.front() == QLatin1String("throw"))
                    throw AmbryError(QStringLiteral("the ladder broke"));
                if (ctx.args.front() == QLatin1String("odd"))
                    return ctx.usageError(QStringLiteral("walls are even"));
                ctx.out(QStringLiteral("painted"));
                return 0;
            },
    };
    return command;
}

const CliCommand &waitCommand()
{
    static const CliCommand command{
        .name = QStringLiteral("wait"),
        .summary = QStringLiteral("do nothing"),
        .exitCodes = {{0, QStringLiteral("done")}},
        .run = [](CliContext &) { return 0; },
    };
    return command;
}

CliRun run(const QStringList &args)
{
    seen = Seen();
    return ambrytest::runCapturing([&](std::FILE *out, std::FILE *err) {
        return runCli({&paintCommand(), &waitCommand()}, args, out, err);
    });
}

} // namespace

TEST(CliFramework, HelpAndVersionGoToStandardOutput)
{
    const struct
    {
        QStringList args;
        QStringList says;
    } cases[] = {
        {{QStringLiteral("--version")}, {QStringLiteral("ambrylog-cli " AMBRY_VERSION "\n")}},
        {{QStringLiteral("--help")},
         {QStringLiteral("paint "), QStringLiteral("wait "), QStringLiteral("--catalog DIR")}},
        {{QStringLiteral("-h")}, {QStringLiteral("paint a wall")}},
        {{QStringLiteral("help")}, {QStringLiteral("do nothing")}},
        {{QStringLiteral("help"), QStringLiteral("paint")},
         {QStringLiteral("usage: ambrylog-cli paint [--colour COLOUR] [--glossy] WALL [WALL]\n"),
          QStringLiteral("Paint a wall."), QStringLiteral("--colour COLOUR"), QStringLiteral("(red, blue)"),
          QStringLiteral("-g, --glossy"), QStringLiteral("7   out of paint"),
          QStringLiteral("64  the command line is wrong")}},
        {{QStringLiteral("paint"), QStringLiteral("--help")}, {QStringLiteral("usage: ambrylog-cli paint ")}},
        // Help wins over what else is wrong with the line.
        {{QStringLiteral("paint"), QStringLiteral("-h"), QStringLiteral("a"), QStringLiteral("b"),
          QStringLiteral("c")},
         {QStringLiteral("usage: ambrylog-cli paint ")}},
        {{QStringLiteral("--catalog"), QStringLiteral("/x"), QStringLiteral("wait"),
          QStringLiteral("--help")},
         {QStringLiteral("usage: ambrylog-cli wait\n")}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.args.join(QLatin1Char(' ')).toStdString());
        const CliRun r = run(c.args);
        EXPECT_EQ(r.code, 0);
        EXPECT_TRUE(r.err.isEmpty()) << r.err.toStdString();
        for (const QString &s : c.says)
            EXPECT_TRUE(r.out.contains(s)) << s.toStdString() << " in:\n" << r.out.toStdString();
        EXPECT_TRUE(seen.args.isEmpty()) << "the command ran";
    }
}

TEST(CliFramework, AWrongCommandLineIsOneLineAndExit64)
{
    const struct
    {
        QStringList args;
        const char *says;
    } cases[] = {
        {{}, "ambrylog-cli: no command given (see 'ambrylog-cli --help')"},
        {{QStringLiteral("--frob")}, "ambrylog-cli: unknown option '--frob'"},
        {{QStringLiteral("--catalog")}, "ambrylog-cli: missing value after '--catalog'"},
        {{QStringLiteral("sand")}, "ambrylog-cli: unknown command 'sand'"},
        {{QStringLiteral("help"), QStringLiteral("sand")}, "unknown command 'sand'"},
        {{QStringLiteral("help"), QStringLiteral("paint"), QStringLiteral("wait")},
         "help takes one command name"},
        {{QStringLiteral("paint")}, "ambrylog-cli paint: WALL is missing (see 'ambrylog-cli help paint')"},
        {{QStringLiteral("paint"), QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c")},
         "ambrylog-cli paint: unexpected argument 'c'"},
        {{QStringLiteral("paint"), QStringLiteral("a"), QStringLiteral("--brush")},
         "unknown option '--brush'"},
        {{QStringLiteral("paint"), QStringLiteral("a"), QStringLiteral("-x")}, "unknown option '-x'"},
        {{QStringLiteral("paint"), QStringLiteral("a"), QStringLiteral("--colour")},
         "missing value after '--colour'"},
        {{QStringLiteral("paint"), QStringLiteral("a"), QStringLiteral("--glossy=yes")}, "--glossy"},
        {{QStringLiteral("paint"), QStringLiteral("a"), QStringLiteral("--colour"), QStringLiteral("green")},
         "--colour takes red or blue, not 'green'"},
        {{QStringLiteral("paint"), QStringLiteral("odd")},
         "ambrylog-cli paint: walls are even (see 'ambrylog-cli help paint')"},
        {{QStringLiteral("wait"), QStringLiteral("now")}, "ambrylog-cli wait: unexpected argument 'now'"},
        // The program's options stand before the command.
        {{QStringLiteral("wait"), QStringLiteral("--catalog"), QStringLiteral("/x")},
         "unknown option '--catalog'"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.args.join(QLatin1Char(' ')).toStdString());
        const CliRun r = run(c.args);
        EXPECT_EQ(r.code, CliUsage);
        EXPECT_TRUE(r.out.isEmpty()) << r.out.toStdString();
        EXPECT_TRUE(r.err.contains(QString::fromLatin1(c.says))) << r.err.toStdString();
        EXPECT_EQ(r.err.count(QLatin1Char('\n')), 1) << r.err.toStdString();
    }
}

TEST(CliFramework, ArgumentsAndOptionsReachTheCommand)
{
    CliRun r = run({QStringLiteral("--catalog"), QStringLiteral("/cat"), QStringLiteral("paint"),
                    QStringLiteral("north"), QStringLiteral("-g"), QStringLiteral("--colour=blue"),
                    QStringLiteral("--"), QStringLiteral("--south")});
    EXPECT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_EQ(r.out, QStringLiteral("painted\n"));
    EXPECT_EQ(seen.args, QStringList({QStringLiteral("north"), QStringLiteral("--south")}));
    EXPECT_EQ(seen.catalog, QStringLiteral("/cat"));
    EXPECT_TRUE(seen.flag);
    EXPECT_EQ(seen.colour, QStringLiteral("blue"));

    // A failure is the command's own code with its message on standard error; an error thrown
    // by the command is exit 1 with its text.
    r = run({QStringLiteral("paint"), QStringLiteral("empty")});
    EXPECT_EQ(r.code, 7);
    EXPECT_EQ(r.err, QStringLiteral("ambrylog-cli paint: no paint left\n"));
    r = run({QStringLiteral("paint"), QStringLiteral("throw")});
    EXPECT_EQ(r.code, CliFailed);
    EXPECT_EQ(r.err, QStringLiteral("ambrylog-cli paint: the ladder broke\n"));
    EXPECT_TRUE(r.out.isEmpty());
}
