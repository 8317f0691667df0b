#include "SearchLook.h"

#include "util/gui/WindowLook.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace searchlook {

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
        p.setBrush(look::BandBlue);
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
    icon.addPixmap(glyphImage(which, look::HeadingText), QIcon::Normal);
    icon.addPixmap(glyphImage(which, look::HeadingText), QIcon::Active);
    icon.addPixmap(glyphImage(which, QColor(110, 150, 175)), QIcon::Disabled);
    return icon;
}

} // namespace searchlook
