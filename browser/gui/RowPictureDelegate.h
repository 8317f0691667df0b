#pragma once

#include <QIcon>
#include <QStyledItemDelegate>

// The catalog browser's rows: every row shows the one picture in its archive column, in the
// size of the current view style; the details view draws grid lines between its cells.
class RowPictureDelegate : public QStyledItemDelegate
{
public:
    RowPictureDelegate(const QIcon &icon, bool gridLines, QObject *parent);

    void paint(QPainter *painter, const QStyleOptionViewItem &option,
               const QModelIndex &index) const override;

protected:
    void initStyleOption(QStyleOptionViewItem *option, const QModelIndex &index) const override;

private:
    QIcon m_icon;
    bool m_gridLines;
};
