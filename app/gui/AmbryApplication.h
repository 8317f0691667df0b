#pragma once

#include <QApplication>
#include <QObject>
#include <QProxyStyle>

#include "util/gui/WindowLook.h"

#include <functional>

// The application object. An error that a handler lets through goes to the general error
// display (a message box with its text) and the program goes on.
class AmbryApplication : public QApplication
{
    Q_OBJECT
public:
    AmbryApplication(int &argc, char **argv);
    bool notify(QObject *receiver, QEvent *event) override;
};

// Runs one delivery; an AmbryError or other std::exception thrown inside it is shown with
// showError and counts as "not handled". Shared by the application object and its tests.
bool deliverGuarded(const std::function<bool()> &deliver);

// Tooltip timing for the whole program: the first tooltip after 500 ms, the next one at
// once while a tooltip shows, each one hidden after 3 seconds.
namespace tooltipTiming {
constexpr int WakeUpMs = 500;
constexpr int HideMs = 3000;
} // namespace tooltipTiming

class TooltipTimingStyle : public look::ProgramStyle
{
    Q_OBJECT
public:
    using look::ProgramStyle::ProgramStyle;
    int styleHint(StyleHint hint, const QStyleOption *option, const QWidget *widget,
                  QStyleHintReturn *returnData) const override;
};

// Shows widget tooltips itself so they hide after tooltipTiming::HideMs.
class TooltipTimer : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;
    bool eventFilter(QObject *watched, QEvent *event) override;
};

// Installs the style and the tooltip filter on the running application.
void applyTooltipTiming(QApplication &app);
