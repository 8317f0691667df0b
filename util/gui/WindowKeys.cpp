#include "WindowKeys.h"

#include "util/Mnemonics.h"

#include <QAbstractButton>
#include <QApplication>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
#include <QPushButton>
#include <QToolButton>

namespace {

bool isEnter(const QKeyEvent *key)
{
    return key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter;
}

QAbstractButton *pressableButton(QObject *receiver)
{
    if (!qobject_cast<QPushButton *>(receiver) && !qobject_cast<QToolButton *>(receiver))
        return nullptr;
    auto *button = static_cast<QAbstractButton *>(receiver);
    return button->hasFocus() ? button : nullptr;
}

void openContextMenu(QWidget *target)
{
    // Where the Menu key would put it: at the control's text cursor or current item.
    QRect anchor = target->inputMethodQuery(Qt::ImCursorRectangle).toRect();
    if (!anchor.isValid() || !target->rect().contains(anchor.center()))
        anchor = target->rect();
    const QPoint pos = anchor.center();
    QContextMenuEvent menuEvent(QContextMenuEvent::Keyboard, pos, target->mapToGlobal(pos));
    QApplication::sendEvent(target, &menuEvent);
}

bool openMenuBar(QWidget *window)
{
    auto *bar = window ? window->findChild<QMenuBar *>(QString(), Qt::FindDirectChildrenOnly) : nullptr;
    if (!bar || !bar->isVisible() || !bar->isEnabled())
        return false;
    for (QAction *menu : bar->actions()) {
        if (menu->isVisible() && menu->isEnabled() && !menu->isSeparator()) {
            bar->setActiveAction(menu);
            return true;
        }
    }
    return false;
}

class KeyHabits : public QObject
{
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() != QEvent::KeyPress || !watched->isWidgetType())
            return false;
        const auto *key = static_cast<QKeyEvent *>(event);
        const Qt::KeyboardModifiers mods = key->modifiers() & ~Qt::KeypadModifier;
        if (isEnter(key) && mods == Qt::NoModifier) {
            QAbstractButton *button = pressableButton(watched);
            if (!button)
                return false;
            // A held Enter presses once, not once per repeat.
            if (!key->isAutoRepeat() && button->isEnabled())
                button->animateClick();
            return true;
        }
        if (key->key() == Qt::Key_F10 && !key->isAutoRepeat()) {
            auto *widget = static_cast<QWidget *>(watched);
            if (mods == Qt::ShiftModifier && widget->hasFocus()) {
                openContextMenu(widget);
                return true;
            }
            if (mods == Qt::NoModifier && (widget->hasFocus() || widget->isWindow()))
                return openMenuBar(widget->window());
        }
        return false;
    }
};

} // namespace

namespace windowkeys {

void install(QApplication &app)
{
    static QPointer<KeyHabits> installed;
    if (installed && installed->parent() == &app)
        return;
    installed = new KeyHabits(&app);
    app.installEventFilter(installed);
}

void addMnemonics(QWidget *menuOrBar)
{
    QList<QAction *> entries;
    QStringList texts;
    for (QAction *action : menuOrBar->actions()) {
        if (action->isSeparator())
            continue;
        entries << action;
        texts << action->text();
        if (QMenu *sub = action->menu())
            addMnemonics(sub);
    }
    const QStringList marked = withMnemonics(texts);
    for (qsizetype i = 0; i < entries.size(); ++i) {
        if (marked.at(i) != texts.at(i))
            entries.at(i)->setText(marked.at(i));
    }
}

} // namespace windowkeys
