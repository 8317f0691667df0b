#include "WindowLook.h"

#include <QLabel>
#include <QPalette>
#include <QWidget>

namespace look {

void applyLightPalette(QWidget *window)
{
    QPalette pal(QColor(240, 240, 240), Qt::white);
    for (const auto group : {QPalette::Active, QPalette::Inactive}) {
        pal.setColor(group, QPalette::WindowText, Qt::black);
        pal.setColor(group, QPalette::Text, Qt::black);
        pal.setColor(group, QPalette::ButtonText, Qt::black);
        pal.setColor(group, QPalette::Base, Qt::white);
        pal.setColor(group, QPalette::ToolTipBase, QColor(255, 255, 225));
        pal.setColor(group, QPalette::ToolTipText, Qt::black);
    }
    pal.setColor(QPalette::Disabled, QPalette::WindowText, QColor(120, 120, 120));
    pal.setColor(QPalette::Disabled, QPalette::ButtonText, QColor(120, 120, 120));
    pal.setColor(QPalette::Disabled, QPalette::Text, QColor(120, 120, 120));
    window->setPalette(pal);
    window->setAutoFillBackground(true);
}

QWidget *makeBar(QWidget *parent, const QColor &colour, const QString &objectName)
{
    auto *bar = new QWidget(parent);
    bar->setObjectName(objectName);
    QPalette pal = bar->palette();
    pal.setColor(QPalette::Window, colour);
    pal.setColor(QPalette::WindowText, HeadingText);
    pal.setColor(QPalette::Button, colour);
    pal.setColor(QPalette::ButtonText, HeadingText);
    bar->setPalette(pal);
    bar->setAutoFillBackground(true);
    return bar;
}

QLabel *makeHeading(QWidget *bar, const QString &text, const QString &objectName)
{
    auto *label = new QLabel(text, bar);
    label->setObjectName(objectName);
    QFont font = label->font();
    font.setPixelSize(HeadingPixelSize);
    label->setFont(font);
    label->adjustSize();
    label->move(8, (BarHeight - label->height()) / 2);
    return label;
}

} // namespace look
