#include "EntryPictureDelegate.h"

#include "browser/DiscTreeModels.h"

EntryPictureDelegate::EntryPictureDelegate(const QIcon &folder, const QIcon &file, QObject *parent)
    : QStyledItemDelegate(parent), m_folder(folder), m_file(file)
{}

void EntryPictureDelegate::initStyleOption(QStyleOptionViewItem *option, const QModelIndex &index) const
{
    QStyledItemDelegate::initStyleOption(option, index);
    if (index.column() != 0)
        return;
    option->features |= QStyleOptionViewItem::HasDecoration;
    const bool folder = index.data(browser::EntryKindRole).toInt() == int(browser::EntryKind::Folder);
    option->icon = folder ? m_folder : m_file;
}
