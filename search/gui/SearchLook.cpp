#include "SearchLook.h"

#include <QFont>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPalette>
#include <QPixmap>
#include <QWidget>

namespace searchlook {

void applyLightPalette(QWidget *window)
{
    QPalette pal = window->palette();
    const QColor text(0, 0, 0);
    const QColor greyText(120, 120, 120);
    for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        const bool disabled = group == QPalette::Disabled;
        pal.setColor(group, QPalette::Window, Qt::white);
        pal.setColor(group, QPalette::WindowText, disabled ? greyText : text);
        pal.setColor(group, QPalette::Base, disabled ? buttonFaceColor() : QColor(Qt::white));
        pal.setColor(group, QPalette::AlternateBase, QColor(246, 246, 246));
        pal.setColor(group, QPalette::Text, disabled ? greyText : text);
        pal.setColor(group, QPalette::PlaceholderText, greyText);
        pal.setColor(group, QPalette::Button, buttonFaceColor());
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
    window->setPalette(pal);
    window->setAutoFillBackground(true);
}

QWidget *makeBand(QWidget *parent, const QString &objectName)
{
    auto *band = new QWidget(parent);
    band->setObjectName(objectName);
    band->setFixedHeight(25);
    QPalette pal = band->palette();
    pal.setColor(QPalette::Window, bandColor());
    pal.setColor(QPalette::WindowText, headingColor());
    band->setPalette(pal);
    band->setAutoFillBackground(true);
    return band;
}

QLabel *makeHeading(QWidget *band, const QString &objectName, const QString &text)
{
    auto *label = new QLabel(text, band);
    label->setObjectName(objectName);
    QFont font = label->font();
    font.setPixelSize(16);
    label->setFont(font);
    QPalette pal = label->palette();
    for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled})
        pal.setColor(group, QPalette::WindowText, headingColor());
    label->setPalette(pal);
    label->setAttribute(Qt::WA_TranslucentBackground);
    return label;
}

namespace {

void paintGlyph(QPainter &p, Glyph which, const QColor &ink)
{
    p.setRenderHint(QPainter::Antialiasing);
    QPen pen(ink, 2.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    p.setPen(pen);
    p.setBrush(Qt::NoBrush);
    switch (which) {
    case Glyph::Go: {
        // A lens with its handle: "look for it".
        p.drawEllipse(QRectF(3.5, 3.5, 10, 10));
        pen.setWidthF(3.0);
        p.setPen(pen);
        p.drawLine(QPointF(12.5, 12.5), QPointF(17.5, 17.5));
        break;
    }
    case Glyph::Cancel:
        p.drawEllipse(QRectF(2.5, 2.5, 16, 16));
        p.drawLine(QPointF(7, 7), QPointF(14, 14));
        p.drawLine(QPointF(14, 7), QPointF(7, 14));
        break;
    case Glyph::Advanced:
    case Glyph::Simple: {
        const bool down = which == Glyph::Advanced;
        for (double y : {6.0, 11.0}) {
            const double tip = down ? y + 4 : y;
            const double base = down ? y : y + 4;
            QPainterPath chevron;
            chevron.moveTo(5, base);
            chevron.lineTo(10.5, tip);
            chevron.lineTo(16, base);
            p.drawPath(chevron);
        }
        break;
    }
    case Glyph::CopyFile: {
        pen.setWidthF(1.5);
        p.setPen(pen);
        p.drawRect(QRectF(3.5, 2.5, 9, 11));
        p.setBrush(bandColor());
        p.drawRect(QRectF(8.5, 7.5, 9, 11));
        break;
    }
    }
}

QPixmap glyphImage(Glyph which, const QColor &ink)
{
    QPixmap image(21, 21);
    image.fill(Qt::transparent);
    QPainter p(&image);
    paintGlyph(p, which, ink);
    return image;
}

} // namespace

QIcon glyph(Glyph which)
{
    QIcon icon;
    icon.addPixmap(glyphImage(which, headingColor()), QIcon::Normal);
    icon.addPixmap(glyphImage(which, headingColor()), QIcon::Active);
    icon.addPixmap(glyphImage(which, QColor(110, 150, 175)), QIcon::Disabled);
    return icon;
}

} // namespace searchlook
