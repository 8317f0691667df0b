#include "PlacementRules.h"

#include "Settings.h"

#include <optional>

PlacementPlan readFormPlacement(const QString &key, const QString &name, const PlacementFrame &frame)
{
    QRect g = frame.design;
    const auto bounded = [](int v, int lo, int hi) { return qBound(lo, v, qMax(lo, hi)); };
    // The first value that cannot be read ends the reading; what came before it stays applied.
    QString problem;
    const auto number = [&](const settings::Setting<std::optional<int>> &s) {
        return problem.isEmpty() ? settings::get(s, &problem) : std::nullopt;
    };
    if (frame.positions) {
        // Centring uses the design size: the stored size comes only afterwards.
        const std::optional<int> left = number(settings::placementLeft(key, name));
        if (problem.isEmpty())
            g.moveLeft(left ? *left : (frame.screen.width() - g.width()) / 2);
        const std::optional<int> top = number(settings::placementTop(key, name));
        if (problem.isEmpty())
            g.moveTop(top ? *top : (frame.screen.height() - g.height()) / 2);
    }
    if (const std::optional<int> w = number(settings::placementWidth(key, name)))
        g.setWidth(bounded(*w, frame.minimum.width(), frame.maximum.width()));
    if (const std::optional<int> h = number(settings::placementHeight(key, name)))
        g.setHeight(bounded(*h, frame.minimum.height(), frame.maximum.height()));

    PlacementPlan plan;
    plan.maximised = frame.minimum != frame.maximum && settings::get(settings::placementMaximised(key, name));

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
    settings::set(settings::placementMaximised(key, name), maximised);
    if (maximised)
        return;
    if (positions) {
        settings::set(settings::placementLeft(key, name), normal.x());
        settings::set(settings::placementTop(key, name), normal.y());
    }
    settings::set(settings::placementWidth(key, name), normal.width());
    settings::set(settings::placementHeight(key, name), normal.height());
}
