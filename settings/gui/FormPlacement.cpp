#include "FormPlacement.h"

#include "settings/PlacementRules.h"

#include <QApplication>
#include <QEvent>
#include <QWindowStateChangeEvent>
#include <QGuiApplication>
#include <QPointer>
#include <QScreen>
#include <QTimer>
#include <QWidget>

namespace {

bool positionsWork()
{
    return !QGuiApplication::platformName().startsWith(QLatin1String("wayland"));
}

QSize primaryScreenSize()
{
    const QScreen *screen = QGuiApplication::primaryScreen();
    return screen ? screen->geometry().size() : QSize(1024, 768);
}

bool isProgramWindow(const QWidget *w)
{
    const Qt::WindowType type = w->windowType();
    return w->isWindow() && (type == Qt::Window || type == Qt::Dialog);
}

// Minimising one window minimises every window of the program, modal ones included, and
// restoring one brings the others back: a modal window left minimised would otherwise block
// the window the user restored.
class ProgramMinimiser : public QObject
{
public:
    using QObject::QObject;

    static void ensureInstalled()
    {
        static QPointer<ProgramMinimiser> instance;
        if (instance || !qApp)
            return;
        instance = new ProgramMinimiser(qApp);
        qApp->installEventFilter(instance);
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() != QEvent::WindowStateChange || m_busy || !watched->isWidgetType())
            return false;
        auto *w = static_cast<QWidget *>(watched);
        if (!isProgramWindow(w))
            return false;
        const bool was = static_cast<QWindowStateChangeEvent *>(event)->oldState() & Qt::WindowMinimized;
        const bool now = w->isMinimized();
        if (was == now)
            return false;
        // After the window has taken its own state.
        QTimer::singleShot(0, this, [this, now] { now ? minimiseAll() : restoreAll(); });
        return false;
    }

private:
    void minimiseAll()
    {
        m_busy = true;
        const QWidgetList windows = QApplication::topLevelWidgets();
        for (QWidget *w : windows) {
            if (!isProgramWindow(w) || !w->isVisible())
                continue;
            if (!m_minimised.contains(w))
                m_minimised.append(w);
            if (!w->isMinimized())
                w->setWindowState(w->windowState() | Qt::WindowMinimized);
        }
        m_busy = false;
    }

    void restoreAll()
    {
        m_busy = true;
        const QList<QPointer<QWidget>> windows = std::exchange(m_minimised, {});
        for (const QPointer<QWidget> &w : windows) {
            if (w && w->isVisible() && w->isMinimized())
                w->setWindowState(w->windowState() & ~Qt::WindowMinimized);
        }
        m_busy = false;
    }

    QList<QPointer<QWidget>> m_minimised;
    bool m_busy = false;
};

class PlacementTracker : public QObject
{
public:
    PlacementTracker(const QString &key, QWidget *window) : QObject(window), m_key(key), m_window(window)
    {
        // A drag or a resize reports many steps; the placement is written once it has come to
        // rest, and also after a maximise or restore, whose geometry arrives some time after
        // the new state.
        m_timer.setSingleShot(true);
        m_timer.setInterval(250);
        connect(&m_timer, &QTimer::timeout, this, [this] { SaveFormPlacement(m_key, m_window); });
        window->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (watched != m_window)
            return false;
        switch (event->type()) {
        case QEvent::Move:
        case QEvent::Resize:
        case QEvent::WindowStateChange:
            if (m_window->isVisible() && !m_window->isMinimized())
                m_timer.start();
            else if (m_window->isMinimized())
                m_timer.stop();
            break;
        case QEvent::Hide:
            // A placement that came to rest just before the window closed is still written.
            if (m_timer.isActive()) {
                m_timer.stop();
                SaveFormPlacement(m_key, m_window);
            }
            break;
        default:
            break;
        }
        return false;
    }

private:
    QString m_key;
    QWidget *m_window;
    QTimer m_timer;
};

} // namespace

void RestoreFormPlacement(const QString &key, QWidget *window)
{
    PlacementFrame frame;
    frame.design = QRect(window->pos(), window->size());
    frame.minimum = window->minimumSize();
    frame.maximum = window->maximumSize();
    frame.screen = primaryScreenSize();
    frame.positions = positionsWork();
    const PlacementPlan plan = readFormPlacement(key, window->objectName(), frame);
    if (frame.positions)
        window->move(plan.geometry.topLeft());
    window->resize(plan.geometry.size());
    if (plan.maximised)
        window->setWindowState(window->windowState() | Qt::WindowMaximized);
}

void SaveFormPlacement(const QString &key, QWidget *window)
{
    if (window->isMinimized())
        return; // a minimised window's geometry is not where the user left it
    writeFormPlacement(key, window->objectName(), QRect(window->pos(), window->size()), window->isMaximized(),
                       positionsWork());
}

void TrackFormPlacement(const QString &key, QWidget *window)
{
    ProgramMinimiser::ensureInstalled();
    new PlacementTracker(key, window);
}
