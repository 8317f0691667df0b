#include "AmbryApplication.h"

#include "util/AmbryError.h"
#include "util/gui/MessageBox.h"

#include <QHelpEvent>
#include <QToolTip>
#include <QWidget>

#include <exception>

bool deliverGuarded(const std::function<bool()> &deliver)
{
    try {
        return deliver();
    } catch (const AmbryError &e) {
        showError(e.message());
    } catch (const std::exception &e) {
        showError(QString::fromLocal8Bit(e.what()));
    }
    return false;
}

AmbryApplication::AmbryApplication(int &argc, char **argv) : QApplication(argc, argv) {}

bool AmbryApplication::notify(QObject *receiver, QEvent *event)
{
    return deliverGuarded([&] { return QApplication::notify(receiver, event); });
}

int TooltipTimingStyle::styleHint(StyleHint hint, const QStyleOption *option, const QWidget *widget,
                                  QStyleHintReturn *returnData) const
{
    switch (hint) {
    case SH_ToolTip_WakeUpDelay:
        return tooltipTiming::WakeUpMs;
    case SH_ToolTip_FallAsleepDelay:
        // While this runs (it starts when a tooltip shows), the next control's tooltip
        // comes up after Qt's short pause instead of the full wake-up delay.
        return tooltipTiming::HideMs;
    default:
        return QProxyStyle::styleHint(hint, option, widget, returnData);
    }
}

bool TooltipTimer::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() != QEvent::ToolTip || !watched->isWidgetType())
        return false;
    auto *widget = static_cast<QWidget *>(watched);
    const QString tip = widget->toolTip();
    // Widgets without a tooltip of their own (menus showing action tips, item views) keep
    // Qt's handling.
    if (tip.isEmpty())
        return false;
    const auto *help = static_cast<QHelpEvent *>(event);
    QToolTip::showText(help->globalPos(), tip, widget, QRect(), tooltipTiming::HideMs);
    return true;
}

void applyTooltipTiming(QApplication &app)
{
    app.setStyle(new TooltipTimingStyle(app.style()->name()));
    app.installEventFilter(new TooltipTimer(&app));
}
