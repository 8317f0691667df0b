#include "RowPictureDelegate.h"

#include "browser/ArchiveListModel.h"

#include <QPainter>

RowPictureDelegate::RowPictureDelegate(const QIcon &icon, bool gridLines, QObject *parent)
    : QStyledItemDelegate(parent), m_icon(icon), m_gridLines(gridLines)
{}

void RowPictureDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option,
                               const QModelIndex &index) const
{
    QStyledItemDelegate::paint(painter, option, index);
    if (!m_gridLines)
        return;
    painter->save();
    painter->setPen(QColor(228, 228, 228));
    const QRect r = option.rect;
    painter->drawLine(r.bottomLeft(), r.bottomRight());
    painter->drawLine(r.topRight(), r.bottomRight());
    painter->restore();
}

void RowPictureDelegate::initStyleOption(QStyleOptionViewItem *option, const QModelIndex &index) const
{
    QStyledItemDelegate::initStyleOption(option, index);
    if (index.column() == browser::ArchiveListModel::ColArchive) {
        option->features |= QStyleOptionViewItem::HasDecoration;
        option->icon = m_icon;
    }
}
