#include "KeyReleaseRule.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QMenuBar>
#include <QWidget>

KeyReleaseRule::KeyReleaseRule(QWidget *window) : QObject(window), m_window(window)
{
    QCoreApplication::instance()->installEventFilter(this);
}

KeyReleaseRule::~KeyReleaseRule()
{
    if (QCoreApplication *app = QCoreApplication::instance())
        app->removeEventFilter(this);
}

bool KeyReleaseRule::accepts(const QKeyEvent *release)
{
    if (release->isAutoRepeat())
        return false;
    return m_pressed.remove(release->key());
}

bool KeyReleaseRule::eventFilter(QObject *watched, QEvent *event)
{
    switch (event->type()) {
    case QEvent::KeyPress:
        // Pop-ups (menus, calendars, list drop-downs) are windows of their own, and a key the menu
        // bar takes while the user walks it (Esc leaves it) belongs to the menus.
        if (auto *widget = qobject_cast<QWidget *>(watched); widget && widget->window() == m_window &&
                                                             !qobject_cast<QMenuBar *>(widget) &&
                                                             !qobject_cast<QMenu *>(widget)) {
            const auto *key = static_cast<QKeyEvent *>(event);
            if (!key->isAutoRepeat())
                m_pressed.insert(key->key());
        }
        break;
    case QEvent::WindowDeactivate:
        // A key held while another window came up is released there, not here.
        if (watched == m_window)
            m_pressed.clear();
        break;
    default:
        break;
    }
    return false;
}
