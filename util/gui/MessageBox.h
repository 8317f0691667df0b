#pragma once

#include <QString>

#include <functional>

class QWidget;

// Every message box of the program goes through here, so tests can answer them.
enum class MsgKind { Notice, Error, Confirm };
enum class MsgAnswer { Ok, Yes, No };

// Plain box with OK; the caption is the program's name.
void showMessage(const QString &text, QWidget *parent = nullptr);
// Error box with OK (same look as showMessage, error icon).
void showError(const QString &text, QWidget *parent = nullptr);
// The standard confirmation box titled "Confirm" with "&Yes" and "&No"; true for Yes.
bool askConfirm(const QString &text, QWidget *parent = nullptr);

// Tests install a handler that records the text and answers instead of a modal box.
using MessageBoxHandler = std::function<MsgAnswer(MsgKind, const QString &text)>;
void setMessageBoxHandler(MessageBoxHandler handler);
