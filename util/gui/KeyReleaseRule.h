#pragma once

#include <QObject>
#include <QSet>

class QKeyEvent;
class QWidget;

// A window that acts on a key's release acts only when the key's press reached that same window.
// The press of an Esc that closed a message box or a dialog above it lands there; without this
// rule its release would then reach the window below and act there as well (minimise the
// program, close the search). Presses the window's menu bar takes while the user walks its
// menus with the keys (the Esc that leaves it) do not count either.
//
// Create one per window (the window is its parent); it watches the presses through the
// application, so presses that a child control keeps to itself count as well.
class KeyReleaseRule : public QObject
{
public:
    explicit KeyReleaseRule(QWidget *window);
    ~KeyReleaseRule() override;

    // True when this release ends a press that reached the window, which is then forgotten.
    // A held key's repeated releases never count, only the final one.
    bool accepts(const QKeyEvent *release);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QWidget *m_window;
    QSet<int> m_pressed; // keys pressed in the window and not yet released
};
