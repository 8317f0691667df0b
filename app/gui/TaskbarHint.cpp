#include "TaskbarHint.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusInterface>
#include <QGuiApplication>
#include <QWidget>

#ifdef AMBRY_HAVE_XCB
#include <QtGui/qguiapplication_platform.h>

#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

xcb_atom_t internAtom(xcb_connection_t *c, const char *name)
{
    const xcb_intern_atom_cookie_t cookie =
        xcb_intern_atom(c, 0, static_cast<uint16_t>(std::strlen(name)), name);
    xcb_intern_atom_reply_t *reply = xcb_intern_atom_reply(c, cookie, nullptr);
    if (!reply)
        return XCB_ATOM_NONE;
    const xcb_atom_t atom = reply->atom;
    std::free(reply);
    return atom;
}

} // namespace

bool setSkipTaskbar(QWidget *window, bool skip)
{
    // Other platforms may answer the X11 interface too (offscreen does) without a connection.
    if (!qGuiApp || !window || QGuiApplication::platformName() != QLatin1String("xcb"))
        return false;
    auto *x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    xcb_connection_t *c = x11 ? x11->connection() : nullptr;
    if (!c)
        return false;
    const xcb_window_t win = static_cast<xcb_window_t>(window->winId());
    const xcb_atom_t state = internAtom(c, "_NET_WM_STATE");
    const xcb_atom_t skipTaskbar = internAtom(c, "_NET_WM_STATE_SKIP_TASKBAR");
    if (state == XCB_ATOM_NONE || skipTaskbar == XCB_ATOM_NONE)
        return false;

    // A window that is not mapped yet carries the state in its property; the window manager
    // reads it when the window maps (Qt keeps atoms it does not manage itself).
    std::vector<xcb_atom_t> atoms;
    const xcb_get_property_cookie_t pc = xcb_get_property(c, 0, win, state, XCB_ATOM_ATOM, 0, 1024);
    if (xcb_get_property_reply_t *reply = xcb_get_property_reply(c, pc, nullptr)) {
        if (reply->format == 32 && reply->type == XCB_ATOM_ATOM) {
            const auto *data = static_cast<const xcb_atom_t *>(xcb_get_property_value(reply));
            const int n = xcb_get_property_value_length(reply) / 4;
            for (int i = 0; i < n; ++i) {
                if (data[i] != skipTaskbar)
                    atoms.push_back(data[i]);
            }
        }
        std::free(reply);
    }
    if (skip)
        atoms.push_back(skipTaskbar);
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, win, state, XCB_ATOM_ATOM, 32,
                        static_cast<uint32_t>(atoms.size()), atoms.data());

    // A mapped window changes state only through a request to the window manager.
    const xcb_screen_t *screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
    if (screen) {
        xcb_client_message_event_t ev;
        std::memset(&ev, 0, sizeof ev);
        ev.response_type = XCB_CLIENT_MESSAGE;
        ev.format = 32;
        ev.window = win;
        ev.type = state;
        ev.data.data32[0] = skip ? 1 : 0; // _NET_WM_STATE_ADD / _REMOVE
        ev.data.data32[1] = skipTaskbar;
        ev.data.data32[2] = 0;
        ev.data.data32[3] = 1; // request from a normal application
        xcb_send_event(c, 0, screen->root,
                       XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                       reinterpret_cast<const char *>(&ev));
    }
    xcb_flush(c);
    return true;
}

namespace {

bool xembedTrayPresent()
{
    if (!qGuiApp || QGuiApplication::platformName() != QLatin1String("xcb"))
        return false;
    auto *x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    xcb_connection_t *c = x11 ? x11->connection() : nullptr;
    if (!c)
        return false;
    int screen = 0;
    const QByteArray display = qgetenv("DISPLAY");
    if (const qsizetype dot = display.lastIndexOf('.'); dot > display.lastIndexOf(':'))
        screen = display.mid(dot + 1).toInt();
    const QByteArray name = QByteArrayLiteral("_NET_SYSTEM_TRAY_S") + QByteArray::number(screen);
    const xcb_atom_t selection = internAtom(c, name.constData());
    if (selection == XCB_ATOM_NONE)
        return false;
    xcb_get_selection_owner_reply_t *reply =
        xcb_get_selection_owner_reply(c, xcb_get_selection_owner(c, selection), nullptr);
    const bool owned = reply && reply->owner != XCB_WINDOW_NONE;
    std::free(reply);
    return owned;
}

} // namespace

#else

bool setSkipTaskbar(QWidget *, bool)
{
    return false;
}

namespace {
bool xembedTrayPresent()
{
    return false;
}
} // namespace

#endif

bool trayPresent()
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (bus.isConnected() && bus.interface() &&
        bus.interface()->isServiceRegistered(QStringLiteral("org.kde.StatusNotifierWatcher"))) {
        QDBusInterface watcher(QStringLiteral("org.kde.StatusNotifierWatcher"),
                               QStringLiteral("/StatusNotifierWatcher"),
                               QStringLiteral("org.kde.StatusNotifierWatcher"), bus);
        if (watcher.property("IsStatusNotifierHostRegistered").toBool())
            return true;
    }
    return xembedTrayPresent();
}
