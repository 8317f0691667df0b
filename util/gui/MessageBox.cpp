#include "MessageBox.h"

#include <QApplication>
#include <QFontMetrics>
#include <QGridLayout>
#include <QMessageBox>
#include <QPushButton>

namespace {

MessageBoxHandler &handler()
{
    static MessageBoxHandler h;
    return h;
}

// A box as narrow as a short text leaves the window manager too little room for the title
// beside its buttons ("Am...log"); the title's width plus room for those buttons is the least.
// Added last: the box lays itself out anew when its text, icon or buttons change.
void keepTitleWhole(QMessageBox &box)
{
    QFont bold = QApplication::font();
    bold.setBold(true);
    const int least = QFontMetrics(bold).horizontalAdvance(box.windowTitle()) * 3 / 2 + 160;
    if (auto *grid = qobject_cast<QGridLayout *>(box.layout()))
        grid->addItem(new QSpacerItem(least, 0, QSizePolicy::Minimum, QSizePolicy::Minimum), grid->rowCount(),
                      0, 1, grid->columnCount());
}

MsgAnswer run(MsgKind kind, const QString &text, QWidget *parent)
{
    if (handler())
        return handler()(kind, text);
    QMessageBox box(parent);
    box.setObjectName(QStringLiteral("MessageBox"));
    box.setWindowTitle(kind == MsgKind::Confirm ? QStringLiteral("Confirm") : QStringLiteral("Ambrylog"));
    box.setText(text);
    if (kind == MsgKind::Confirm) {
        box.setIcon(QMessageBox::Question);
        QPushButton *yes = box.addButton(QStringLiteral("&Yes"), QMessageBox::YesRole);
        QPushButton *no = box.addButton(QStringLiteral("&No"), QMessageBox::NoRole);
        // Enter after Delete must not remove anything: Yes takes a deliberate key or click.
        box.setDefaultButton(no);
        box.setEscapeButton(no);
        keepTitleWhole(box);
        box.exec();
        return box.clickedButton() == yes ? MsgAnswer::Yes : MsgAnswer::No;
    }
    box.setIcon(kind == MsgKind::Error ? QMessageBox::Critical : QMessageBox::NoIcon);
    box.setStandardButtons(QMessageBox::Ok);
    keepTitleWhole(box);
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
