#include "Settings.h"

#include "util/AmbryError.h"

namespace settings {

namespace {

const QString SetText = QStringLiteral("T");

// The stored text, nothing when it is absent or empty, and the reason when it is not text.
std::optional<QString> storedText(const QString &key, const QString &name, QString *problem)
{
    if (problem)
        problem->clear();
    std::optional<QString> text;
    try {
        text = ReadSettingIfPresent(key, name);
    } catch (const AmbryError &e) {
        if (problem)
            *problem = e.message();
        return std::nullopt;
    }
    if (text && text->isEmpty())
        return std::nullopt;
    return text;
}

std::optional<int> storedNumber(const QString &key, const QString &name, QString *problem)
{
    const std::optional<QString> text = storedText(key, name, problem);
    if (!text)
        return std::nullopt;
    bool ok = false;
    const int v = text->trimmed().toInt(&ok);
    if (ok)
        return v;
    if (problem)
        *problem = QStringLiteral("'%1' is not a number").arg(name);
    return std::nullopt;
}

} // namespace

bool get(const Setting<bool> &s, QString *problem)
{
    return storedText(s.key, s.name, problem) ? !s.fallback : s.fallback;
}

int get(const Setting<int> &s, QString *problem)
{
    return storedNumber(s.key, s.name, problem).value_or(s.fallback);
}

std::optional<int> get(const Setting<std::optional<int>> &s, QString *problem)
{
    const std::optional<int> v = storedNumber(s.key, s.name, problem);
    return v ? v : s.fallback;
}

QString get(const Setting<QString> &s, QString *problem)
{
    return storedText(s.key, s.name, problem).value_or(s.fallback);
}

void set(const Setting<bool> &s, bool value)
{
    if (value == s.fallback)
        DeleteSetting(s.key, s.name);
    else
        WriteSetting(s.key, s.name, SetText);
}

void set(const Setting<int> &s, int value)
{
    WriteSetting(s.key, s.name, QString::number(value));
}

void set(const Setting<std::optional<int>> &s, int value)
{
    WriteSetting(s.key, s.name, QString::number(value));
}

void set(const Setting<QString> &s, const QString &value)
{
    WriteSetting(s.key, s.name, value);
}

Setting<bool> placementMaximised(const QString &key, const QString &form)
{
    return {key, form + RegName::PlacementMaximised, false};
}

Setting<std::optional<int>> placementLeft(const QString &key, const QString &form)
{
    return {key, form + RegName::PlacementLeft, std::nullopt};
}

Setting<std::optional<int>> placementTop(const QString &key, const QString &form)
{
    return {key, form + RegName::PlacementTop, std::nullopt};
}

Setting<std::optional<int>> placementWidth(const QString &key, const QString &form)
{
    return {key, form + RegName::PlacementWidth, std::nullopt};
}

Setting<std::optional<int>> placementHeight(const QString &key, const QString &form)
{
    return {key, form + RegName::PlacementHeight, std::nullopt};
}

Setting<QString> folderDrive(char letter)
{
    return {RegKey::Drives, QString(QLatin1Char(letter)), QString()};
}

} // namespace settings
