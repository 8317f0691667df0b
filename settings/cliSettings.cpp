#include "cliSettings.h"

#include "gRegistry.h"

namespace {

int usage()
{
    cliErr(QStringLiteral("usage: ambrylog-cli setting get KEY NAME | set KEY NAME VALUE | delete KEY NAME\n"
                          "KEY: V, S, S\\wp, Drives, Run or a key path starting with \\"));
    return 2;
}

} // namespace

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

int cliSetting(CliContext &ctx)
{
    const QStringList &a = ctx.args;
    if (a.size() < 3)
        return usage();
    const QString key = cliSettingKey(a.at(1));
    if (key.isEmpty()) {
        cliErr(QStringLiteral("ambrylog-cli: unknown key '%1'").arg(a.at(1)));
        return usage();
    }
    const QString &op = a.at(0);
    if (op == QLatin1String("get") && a.size() == 3) {
        cliOut(ReadSetting(key, a.at(2))); // a value of another kind throws; the caller reports it
        return 0;
    }
    if (op == QLatin1String("set") && a.size() == 4) {
        WriteSetting(key, a.at(2), a.at(3));
        return 0;
    }
    if (op == QLatin1String("delete") && a.size() == 3)
        return DeleteSetting(key, a.at(2)) ? 0 : 1;
    return usage();
}
