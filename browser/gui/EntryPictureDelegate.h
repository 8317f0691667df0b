#pragma once

#include <QIcon>
#include <QStyledItemDelegate>

// The Explore window's rows: a folder or a file picture before the name, by the row's kind.
class EntryPictureDelegate : public QStyledItemDelegate
{
public:
    EntryPictureDelegate(const QIcon &folder, const QIcon &file, QObject *parent);

protected:
    void initStyleOption(QStyleOptionViewItem *option, const QModelIndex &index) const override;

private:
    QIcon m_folder;
    QIcon m_file;
};
