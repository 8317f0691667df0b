#include "FormPlacement.h"

#include "AmbryError.h"
#include "gRegistry.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

namespace {

// Thrown inside the guarded block to end it, like a conversion error would.
struct StopReading
{
};

// The stored number, or nothing when the value is absent; StopReading when it is bad.
bool storedNumber(const QString &key, const QString &name, int *value)
{
    QString text;
    try {
        text = ReadSetting(key, name);
    } catch (const AmbryError &) {
        throw StopReading();
    }
    if (text.isEmpty())
        return false;
    bool ok = false;
    const int v = text.trimmed().toInt(&ok);
    if (!ok)
        throw StopReading();
    *value = v;
    return true;
}

} // namespace

void RestoreFormPlacement(const QString &key, QWidget *window)
{
    const QString name = window->objectName();
    const QScreen *screen = QGuiApplication::primaryScreen();
    const QSize screenSize = screen ? screen->geometry().size() : QSize(1024, 768);
    int left = window->x();
    int top = window->y();
    try {
        int v = 0;
        left = storedNumber(key, name + RegName::PlacementLeft, &v)
                   ? v
                   : (screenSize.width() - window->width()) / 2;
        window->move(left, top);
        top = storedNumber(key, name + RegName::PlacementTop, &v)
                  ? v
                  : (screenSize.height() - window->height()) / 2;
        window->move(left, top);
        if (storedNumber(key, name + RegName::PlacementWidth, &v))
            window->resize(v, window->height());
        if (storedNumber(key, name + RegName::PlacementHeight, &v))
            window->resize(window->width(), v);
    } catch (const StopReading &) {
        // What was applied before the bad value stays applied.
    }
    bool maximised = false;
    try {
        maximised = !ReadSetting(key, name + RegName::PlacementMaximised).isEmpty();
    } catch (const AmbryError &) {
    }
    if (maximised && window->maximumSize() == QSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX))
        window->setWindowState(window->windowState() | Qt::WindowMaximized);

    // Keep the window reachable; a window only partly off the screen stays where it is.
    const int width = window->width();
    const int height = window->height();
    if (left + width < 0)
        left = 0;
    if (top + height < 0)
        top = 0;
    if (screenSize.width() < left)
        left = 0;
    if (screenSize.height() < top)
        top = 0;
    window->move(left, top);
}

void SaveFormPlacement(const QString &key, QWidget *window)
{
    if (window->isMinimized())
        return; // a minimised window's geometry is not where the user left it
    const QString name = window->objectName();
    if (window->isMaximized()) {
        WriteSetting(key, name + RegName::PlacementMaximised, QStringLiteral("T"));
        return;
    }
    DeleteSetting(key, name + RegName::PlacementMaximised);
    WriteSetting(key, name + RegName::PlacementLeft, QString::number(window->x()));
    WriteSetting(key, name + RegName::PlacementTop, QString::number(window->y()));
    WriteSetting(key, name + RegName::PlacementWidth, QString::number(window->width()));
    WriteSetting(key, name + RegName::PlacementHeight, QString::number(window->height()));
}
