#include "MessageBox.h"

#include <QMessageBox>
#include <QPushButton>

namespace {

MessageBoxHandler &handler()
{
    static MessageBoxHandler h;
    return h;
}

MsgAnswer run(MsgKind kind, const QString &text, QWidget *parent)
{
    if (handler())
        return handler()(kind, text);
    QMessageBox box(parent);
    box.setWindowTitle(kind == MsgKind::Confirm ? QStringLiteral("Confirm") : QStringLiteral("Ambrylog"));
    box.setText(text);
    if (kind == MsgKind::Confirm) {
        box.setIcon(QMessageBox::Question);
        QPushButton *yes = box.addButton(QStringLiteral("&Yes"), QMessageBox::YesRole);
        QPushButton *no = box.addButton(QStringLiteral("&No"), QMessageBox::NoRole);
        box.setDefaultButton(yes);
        box.setEscapeButton(no);
        box.exec();
        return box.clickedButton() == yes ? MsgAnswer::Yes : MsgAnswer::No;
    }
    box.setIcon(kind == MsgKind::Error ? QMessageBox::Critical : QMessageBox::NoIcon);
    box.setStandardButtons(QMessageBox::Ok);
    box.exec();
    return MsgAnswer::Ok;
}

} // namespace

void showMessage(const QString &text, QWidget *parent)
{
    run(MsgKind::Notice, text, parent);
}
void showError(const QString &text, QWidget *parent)
{
    run(MsgKind::Error, text, parent);
}
bool askConfirm(const QString &text, QWidget *parent)
{
    return run(MsgKind::Confirm, text, parent) == MsgAnswer::Yes;
}
void setMessageBoxHandler(MessageBoxHandler h)
{
    handler() = std::move(h);
}
