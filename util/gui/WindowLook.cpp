#include "WindowLook.h"

#include <QAbstractButton>
#include <QFont>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPalette>
#include <QStyleOption>
#include <QToolButton>
#include <QWidget>

#include <algorithm>

namespace look {

namespace {

QPalette lightPalette(QPalette pal)
{
    const QColor text(0, 0, 0);
    const QColor greyText(120, 120, 120);
    for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        const bool disabled = group == QPalette::Disabled;
        pal.setColor(group, QPalette::Window, Qt::white);
        pal.setColor(group, QPalette::WindowText, disabled ? greyText : text);
        pal.setColor(group, QPalette::Base, disabled ? ButtonFace : QColor(Qt::white));
        pal.setColor(group, QPalette::AlternateBase, QColor(246, 246, 246));
        pal.setColor(group, QPalette::Text, disabled ? greyText : text);
        pal.setColor(group, QPalette::PlaceholderText, greyText);
        pal.setColor(group, QPalette::Button, ButtonFace);
        pal.setColor(group, QPalette::ButtonText, disabled ? greyText : text);
        pal.setColor(group, QPalette::BrightText, Qt::white);
        pal.setColor(group, QPalette::Light, Qt::white);
        pal.setColor(group, QPalette::Midlight, QColor(227, 227, 227));
        pal.setColor(group, QPalette::Mid, QColor(160, 160, 160));
        pal.setColor(group, QPalette::Dark, QColor(105, 105, 105));
        pal.setColor(group, QPalette::Shadow, QColor(64, 64, 64));
        pal.setColor(group, QPalette::ToolTipBase, QColor(255, 255, 225));
        pal.setColor(group, QPalette::ToolTipText, text);
        pal.setColor(group, QPalette::Highlight, disabled ? QColor(200, 200, 200) : QColor(0, 120, 215));
        pal.setColor(group, QPalette::HighlightedText, disabled ? text : QColor(Qt::white));
        pal.setColor(group, QPalette::Link, QColor(0, 0, 238));
    }
    // A window that lost the focus keeps showing its selection as a selection.
    pal.setColor(QPalette::Inactive, QPalette::Highlight, QColor(205, 232, 255));
    pal.setColor(QPalette::Inactive, QPalette::HighlightedText, text);
    return pal;
}

} // namespace

void applyLightPalette(QWidget *window)
{
    window->setPalette(lightPalette(window->palette()));
    window->setAutoFillBackground(true);
}

void setDialogFrame(QWidget *window, bool stayOnTop)
{
    Qt::WindowFlags flags = Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                            Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                            Qt::MSWindowsFixedSizeDialogHint;
    if (stayOnTop)
        flags |= Qt::WindowStaysOnTopHint;
    window->setWindowFlags(flags);
}

void ProgramStyle::drawControl(ControlElement element, const QStyleOption *option, QPainter *painter,
                               const QWidget *widget) const
{
    QProxyStyle::drawControl(element, option, painter, widget);
    if (element != CE_PushButton || !(option->state & State_HasFocus))
        return;
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    painter->setPen(QPen(option->palette.color(QPalette::Active, QPalette::Highlight), 2));
    painter->setBrush(Qt::NoBrush);
    painter->drawRoundedRect(QRectF(option->rect).adjusted(2, 2, -2, -2), 2, 2);
    painter->restore();
}

void ProgramStyle::drawPrimitive(PrimitiveElement element, const QStyleOption *option, QPainter *painter,
                                 const QWidget *widget) const
{
    if (element != PE_FrameFocusRect) {
        QProxyStyle::drawPrimitive(element, option, painter, widget);
        return;
    }
    // Around the text of a check box or radio button, and wherever else the style asks for it.
    painter->save();
    painter->setPen(QPen(option->palette.color(QPalette::Active, QPalette::Highlight), 1.5));
    painter->setBrush(Qt::NoBrush);
    painter->drawRect(QRectF(option->rect).adjusted(0.75, 0.75, -0.75, -0.75));
    painter->restore();
}

void setSizableFrame(QWidget *window)
{
    window->setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                           Qt::WindowMinMaxButtonsHint | Qt::WindowCloseButtonHint);
}

QWidget *makeBand(QWidget *parent, const QString &objectName, const QColor &colour)
{
    auto *band = new QWidget(parent);
    band->setObjectName(objectName);
    QPalette pal = band->palette();
    for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        pal.setColor(group, QPalette::Window, colour);
        pal.setColor(group, QPalette::WindowText, HeadingText);
    }
    band->setPalette(pal);
    band->setAutoFillBackground(true);
    return band;
}

QLabel *makeHeading(QWidget *band, const QString &objectName, const QString &text)
{
    auto *label = new QLabel(text, band);
    label->setObjectName(objectName);
    QFont font = label->font();
    font.setPixelSize(HeadingPixelSize);
    label->setFont(font);
    QPalette pal = label->palette();
    for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled})
        pal.setColor(group, QPalette::WindowText, HeadingText);
    label->setPalette(pal);
    label->setAttribute(Qt::WA_TranslucentBackground);
    if (QWidget *window = band->window(); window->accessibleName().isEmpty()) {
        window->setAccessibleName(text);
        window->setAccessibleDescription(QStringLiteral("Ambrylog: ") + text);
    }
    return label;
}

QWidget *makeTopBand(QWidget *window, const QString &bandName, const QString &headingName,
                     const QString &text, const QColor &colour, QLabel **heading)
{
    QWidget *band = makeBand(window, bandName, colour);
    band->setFixedHeight(BandHeight);
    QLabel *label = makeHeading(band, headingName, text);
    auto *row = new QHBoxLayout(band);
    row->setContentsMargins(8, 0, 8, 0);
    row->addWidget(label);
    row->addStretch(1);
    if (heading)
        *heading = label;
    return band;
}

QWidget *makeButtonBand(QWidget *window, const QString &objectName,
                        std::initializer_list<QAbstractButton *> buttons, const QColor &colour)
{
    QWidget *band = makeBand(window, objectName, colour);
    auto *row = new QHBoxLayout(band);
    row->setContentsMargins(8, 2, 2, 2);
    row->setSpacing(4);
    row->addStretch(1);
    // The design's 21-pixel buttons on a 25-pixel band, taller only where the font needs it.
    const int buttonHeight = std::max(BandHeight - 4, window->fontMetrics().height() + 7);
    for (QAbstractButton *button : buttons) {
        button->setParent(band);
        button->setPalette(lightPalette(button->palette()));
        button->setFixedHeight(buttonHeight);
        row->addWidget(button);
    }
    band->setFixedHeight(buttonHeight + 4);
    return band;
}

void styleBandButton(QToolButton *button)
{
    button->setAutoRaise(true);
    button->setFocusPolicy(Qt::TabFocus);
    button->setStyleSheet(QStringLiteral("QToolButton { border: 1px solid transparent; border-radius: 3px; }"
                                         "QToolButton:hover { background: rgba(255, 255, 255, 48); }"
                                         "QToolButton:pressed { background: rgba(0, 0, 0, 48); }"
                                         "QToolButton:focus { border: 1px solid rgb(249, 253, 255); }"));
}

} // namespace look
