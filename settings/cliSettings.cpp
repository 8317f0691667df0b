#include "cliSettings.h"

#include "gRegistry.h"

QString cliSettingKey(const QString &arg)
{
    if (arg.startsWith(QLatin1Char('\\')))
        return arg;
    const struct
    {
        const char *shortName;
        const QString &path;
    } keys[] = {{"V", RegKey::V},   {"S", RegKey::S},           {"S\\wp", RegKey::Wp},
                {"wp", RegKey::Wp}, {"Drives", RegKey::Drives}, {"Run", RegKey::Run}};
    for (const auto &k : keys) {
        if (arg.compare(QLatin1String(k.shortName), Qt::CaseInsensitive) == 0)
            return k.path;
    }
    return QString();
}

const CliCommand &settingCommand()
{
    static const CliCommand command{
        .name = QStringLiteral("setting"),
        .summary = QStringLiteral("read or change the settings store"),
        .synopsis = {QStringLiteral("get KEY NAME"), QStringLiteral("set KEY NAME VALUE"),
                     QStringLiteral("delete KEY NAME")},
        .description =
            QStringLiteral("KEY is V, S, S\\wp (or wp), Drives, Run or a key path starting with \\."),
        .minArgs = 3,
        .maxArgs = 4,
        .exitCodes = {{0, QStringLiteral("done")},
                      {1, QStringLiteral("get, delete: there is no such value; get: the value is not text")}},
        .arguments = {{QStringLiteral("get|set|delete"),
                       CliArgKind::Word,
                       {QStringLiteral("get"), QStringLiteral("set"), QStringLiteral("delete")}},
                      {QStringLiteral("KEY"),
                       CliArgKind::Word,
                       {QStringLiteral("V"), QStringLiteral("S"), QStringLiteral("wp"),
                        QStringLiteral("Drives"), QStringLiteral("Run")}},
                      {QStringLiteral("NAME")},
                      {QStringLiteral("VALUE")}},
        .run =
            [](CliContext &ctx) {
                const QStringList &a = ctx.args;
                const QString key = cliSettingKey(a.at(1));
                if (key.isEmpty())
                    return ctx.usageError(QStringLiteral("unknown key '%1'").arg(a.at(1)));
                const QString &op = a.at(0);
                if (op == QLatin1String("get") && a.size() == 3) {
                    // A value of another kind throws: exit 1 with its message.
                    const std::optional<QString> value = ReadSettingIfPresent(key, a.at(2));
                    if (!value)
                        return ctx.fail(QStringLiteral("no value '%1' in %2").arg(a.at(2), key));
                    ctx.out(*value);
                    return 0;
                }
                QString error;
                if (op == QLatin1String("set") && a.size() == 4)
                    return WriteSettingChecked(key, a.at(2), a.at(3), &error) ? 0 : ctx.fail(error);
                if (op == QLatin1String("delete") && a.size() == 3) {
                    if (DeleteSettingChecked(key, a.at(2), &error))
                        return 0;
                    return error.isEmpty() ? 1 : ctx.fail(error);
                }
                if (op == QLatin1String("set") || op == QLatin1String("get") || op == QLatin1String("delete"))
                    return ctx.usageError(op == QLatin1String("set")
                                              ? QStringLiteral("set takes KEY NAME VALUE")
                                              : op + QStringLiteral(" takes KEY NAME"));
                return ctx.usageError(QStringLiteral("unknown subcommand '%1' (get, set, delete)").arg(op));
            },
    };
    return command;
}
