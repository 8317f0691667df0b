#pragma once

// The Explore window's two views of one DiscTree: the folder tree (folders only, the root named
// by the mark) and the entries of the chosen folder (its folders first, then its files). Both
// read the tree's storage; neither copies a name. Cells are formatted when a view asks.

#include "DiscTree.h"

#include <QAbstractItemModel>
#include <QAbstractTableModel>

#include <vector>

namespace browser {

// What a row is, for the views' pictures.
inline constexpr int EntryKindRole = Qt::UserRole + 1;
enum class EntryKind { Folder, File };

class FolderTreeModel : public QAbstractItemModel
{
    Q_OBJECT
public:
    explicit FolderTreeModel(QObject *parent = nullptr);

    // The tree must outlive the model or be replaced before it goes.
    void setTree(const DiscTree *tree);
    const DiscTree *tree() const { return m_tree; }

    QModelIndex indexOf(uint32_t folder) const;
    // DiscTree::NoFolder for an invalid index.
    uint32_t folderAt(const QModelIndex &index) const;

    QModelIndex index(int row, int column, const QModelIndex &parent = QModelIndex()) const override;
    QModelIndex parent(const QModelIndex &child) const override;
    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    bool hasChildren(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    const DiscTree *m_tree = nullptr;
};

class FolderListModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    enum Column { ColName = 0, ColSize, ColDate, ColType, ColumnCount };

    explicit FolderListModel(QObject *parent = nullptr);

    void setTree(const DiscTree *tree);
    const DiscTree *tree() const { return m_tree; }
    // Shows a folder's entries in the current order.
    void setFolder(uint32_t folder);
    uint32_t folder() const { return m_folder; }

    // Rows in the order of a column: names, types and dates ascending are A to Z and oldest
    // first, sizes smallest first; text by the user's locale without regard to case. Folders
    // always come before files; entries that are equal in the column keep the order of their
    // names.
    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;
    int sortColumn() const { return m_sortColumn; }
    Qt::SortOrder sortOrder() const { return m_sortOrder; }

    struct Entry
    {
        EntryKind kind = EntryKind::File;
        uint32_t folder = DiscTree::NoFolder; // the subfolder, or the folder the file is in
        int file = -1;                        // index among the folder's files
    };
    Entry entry(int row) const;
    int rowOfFolder(uint32_t folder) const;
    int rowOfFile(int file) const;
    QString cellText(int row, int column) const;

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    void arrange();

    const DiscTree *m_tree = nullptr;
    uint32_t m_folder = DiscTree::NoFolder;
    int m_sortColumn = ColName;
    Qt::SortOrder m_sortOrder = Qt::AscendingOrder;
    // Entries are numbered folders first (0 .. childCount - 1), then files; m_order maps rows to
    // them.
    std::vector<uint32_t> m_order;
};

// The column captions of the entries, in order.
QString entryColumnCaption(int column);
// "Folder": the Type cell of a folder.
inline const QString FolderTypeText = QStringLiteral("Folder");

} // namespace browser
