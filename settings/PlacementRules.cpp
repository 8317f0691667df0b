#include "PlacementRules.h"

#include "gRegistry.h"
#include "util/AmbryError.h"

#include <optional>

namespace {

// Ends the guarded reading, as a conversion error would.
struct StopReading
{
};

// The stored number, or nothing when the value is absent or empty.
std::optional<int> storedNumber(const QString &key, const QString &name)
{
    QString text;
    try {
        text = ReadSetting(key, name);
    } catch (const AmbryError &) {
        throw StopReading();
    }
    if (text.isEmpty())
        return std::nullopt;
    bool ok = false;
    const int v = text.trimmed().toInt(&ok);
    if (!ok)
        throw StopReading();
    return v;
}

} // namespace

PlacementPlan readFormPlacement(const QString &key, const QString &name, const PlacementFrame &frame)
{
    QRect g = frame.design;
    const auto bounded = [](int v, int lo, int hi) { return qBound(lo, v, qMax(lo, hi)); };
    try {
        if (frame.positions) {
            // Centring uses the design size: the stored size comes only afterwards.
            const std::optional<int> left = storedNumber(key, name + RegName::PlacementLeft);
            g.moveLeft(left ? *left : (frame.screen.width() - g.width()) / 2);
            const std::optional<int> top = storedNumber(key, name + RegName::PlacementTop);
            g.moveTop(top ? *top : (frame.screen.height() - g.height()) / 2);
        }
        if (const std::optional<int> w = storedNumber(key, name + RegName::PlacementWidth))
            g.setWidth(bounded(*w, frame.minimum.width(), frame.maximum.width()));
        if (const std::optional<int> h = storedNumber(key, name + RegName::PlacementHeight))
            g.setHeight(bounded(*h, frame.minimum.height(), frame.maximum.height()));
    } catch (const StopReading &) {
        // What was applied before the bad value stays applied.
    }

    PlacementPlan plan;
    try {
        plan.maximised =
            frame.minimum != frame.maximum && !ReadSetting(key, name + RegName::PlacementMaximised).isEmpty();
    } catch (const AmbryError &) {
    }

    if (frame.positions) {
        // Only a window that cannot be reached is moved; one partly off the screen stays.
        if (g.left() + g.width() < 0)
            g.moveLeft(0);
        if (g.top() + g.height() < 0)
            g.moveTop(0);
        if (frame.screen.width() < g.left())
            g.moveLeft(0);
        if (frame.screen.height() < g.top())
            g.moveTop(0);
    }
    plan.geometry = g;
    return plan;
}

void writeFormPlacement(const QString &key, const QString &name, const QRect &normal, bool maximised,
                        bool positions)
{
    if (maximised) {
        WriteSetting(key, name + RegName::PlacementMaximised, QStringLiteral("T"));
        return;
    }
    DeleteSetting(key, name + RegName::PlacementMaximised);
    if (positions) {
        WriteSetting(key, name + RegName::PlacementLeft, QString::number(normal.x()));
        WriteSetting(key, name + RegName::PlacementTop, QString::number(normal.y()));
    }
    WriteSetting(key, name + RegName::PlacementWidth, QString::number(normal.width()));
    WriteSetting(key, name + RegName::PlacementHeight, QString::number(normal.height()));
}
