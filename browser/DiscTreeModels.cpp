#include "DiscTreeModels.h"

#include "search/DateText.h"
#include "search/ResultsModel.h"
#include "util/gUtils.h"

#include <algorithm>

namespace browser {

namespace {

quintptr idOf(uint32_t folder)
{
    return quintptr(folder);
}

} // namespace

QString entryColumnCaption(int column)
{
    switch (column) {
    case FolderListModel::ColName:
        return QStringLiteral("Name");
    case FolderListModel::ColSize:
        return QStringLiteral("Size");
    case FolderListModel::ColDate:
        return QStringLiteral("Date Modified");
    case FolderListModel::ColType:
        return QStringLiteral("Type");
    default:
        return QString();
    }
}

// ---- The folder tree ----------------------------------------------------------------------

FolderTreeModel::FolderTreeModel(QObject *parent) : QAbstractItemModel(parent) {}

void FolderTreeModel::setTree(const DiscTree *tree)
{
    beginResetModel();
    m_tree = tree;
    endResetModel();
}

QModelIndex FolderTreeModel::indexOf(uint32_t folder) const
{
    if (!m_tree || folder >= m_tree->folderCount())
        return QModelIndex();
    return createIndex(folder == DiscTree::Root ? 0 : int(m_tree->folder(folder).row), 0, idOf(folder));
}

uint32_t FolderTreeModel::folderAt(const QModelIndex &index) const
{
    return index.isValid() && index.model() == this ? uint32_t(index.internalId()) : DiscTree::NoFolder;
}

QModelIndex FolderTreeModel::index(int row, int column, const QModelIndex &parent) const
{
    if (!m_tree || column != 0 || row < 0)
        return QModelIndex();
    if (!parent.isValid())
        return row == 0 ? createIndex(0, 0, idOf(DiscTree::Root)) : QModelIndex();
    const uint32_t f = folderAt(parent);
    if (f == DiscTree::NoFolder || uint32_t(row) >= m_tree->folder(f).childCount)
        return QModelIndex();
    return createIndex(row, 0, idOf(m_tree->child(f, uint32_t(row))));
}

QModelIndex FolderTreeModel::parent(const QModelIndex &child) const
{
    const uint32_t f = folderAt(child);
    if (!m_tree || f == DiscTree::NoFolder || f == DiscTree::Root)
        return QModelIndex();
    return indexOf(m_tree->folder(f).parent);
}

int FolderTreeModel::rowCount(const QModelIndex &parent) const
{
    if (!m_tree)
        return 0;
    if (!parent.isValid())
        return 1;
    if (parent.column() != 0)
        return 0;
    const uint32_t f = folderAt(parent);
    return f == DiscTree::NoFolder ? 0 : int(m_tree->folder(f).childCount);
}

int FolderTreeModel::columnCount(const QModelIndex &) const
{
    return 1;
}

bool FolderTreeModel::hasChildren(const QModelIndex &parent) const
{
    return rowCount(parent) > 0;
}

QVariant FolderTreeModel::data(const QModelIndex &index, int role) const
{
    const uint32_t f = folderAt(index);
    if (!m_tree || f == DiscTree::NoFolder)
        return QVariant();
    switch (role) {
    case Qt::DisplayRole:
        return m_tree->folderNameText(f);
    case Qt::ToolTipRole:
        return m_tree->folderPathText(f);
    case EntryKindRole:
        return int(EntryKind::Folder);
    default:
        return QVariant();
    }
}

QVariant FolderTreeModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (section == 0 && orientation == Qt::Horizontal && role == Qt::DisplayRole)
        return QStringLiteral("Folders");
    return QVariant();
}

// ---- The entries of one folder ------------------------------------------------------------

FolderListModel::FolderListModel(QObject *parent) : QAbstractTableModel(parent) {}

void FolderListModel::setTree(const DiscTree *tree)
{
    beginResetModel();
    m_tree = tree;
    m_folder = DiscTree::NoFolder;
    m_order.clear();
    endResetModel();
}

void FolderListModel::setFolder(uint32_t folder)
{
    beginResetModel();
    m_folder = m_tree && folder < m_tree->folderCount() ? folder : DiscTree::NoFolder;
    arrange();
    endResetModel();
}

FolderListModel::Entry FolderListModel::entry(int row) const
{
    if (m_folder == DiscTree::NoFolder || row < 0 || size_t(row) >= m_order.size())
        return Entry{};
    const uint32_t e = m_order[size_t(row)];
    const uint32_t folders = m_tree->folder(m_folder).childCount;
    if (e < folders)
        return Entry{EntryKind::Folder, m_tree->child(m_folder, e), -1};
    return Entry{EntryKind::File, m_folder, int(e - folders)};
}

int FolderListModel::rowOfFolder(uint32_t folder) const
{
    for (size_t r = 0; r < m_order.size(); ++r) {
        const Entry e = entry(int(r));
        if (e.kind == EntryKind::Folder && e.folder == folder)
            return int(r);
    }
    return -1;
}

int FolderListModel::rowOfFile(int file) const
{
    if (m_folder == DiscTree::NoFolder)
        return -1;
    const uint32_t wanted = m_tree->folder(m_folder).childCount + uint32_t(file);
    const auto it = std::find(m_order.begin(), m_order.end(), wanted);
    return it == m_order.end() ? -1 : int(it - m_order.begin());
}

void FolderListModel::sort(int column, Qt::SortOrder order)
{
    if (column < 0 || column >= ColumnCount)
        return;
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    const QModelIndexList persistent = persistentIndexList();
    std::vector<uint32_t> before;
    before.reserve(size_t(persistent.size()));
    for (const QModelIndex &p : persistent)
        before.push_back(m_order[size_t(p.row())]);
    m_sortColumn = column;
    m_sortOrder = order;
    arrange();
    if (!persistent.isEmpty()) {
        std::vector<uint32_t> rowOf(m_order.size());
        for (size_t r = 0; r < m_order.size(); ++r)
            rowOf[m_order[r]] = uint32_t(r);
        QModelIndexList to;
        to.reserve(persistent.size());
        for (qsizetype i = 0; i < persistent.size(); ++i)
            to.append(index(int(rowOf[before[size_t(i)]]), persistent.at(i).column()));
        changePersistentIndexList(persistent, to);
    }
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

void FolderListModel::arrange()
{
    m_order.clear();
    if (m_folder == DiscTree::NoFolder)
        return;
    const DiscTree::Folder &f = m_tree->folder(m_folder);
    const uint32_t folders = f.childCount;
    const uint32_t n = folders + f.fileCount;
    m_order.resize(n);
    const auto fileOf = [&](uint32_t e) -> const DiscTree::File & {
        return m_tree->file(m_folder, e - folders);
    };
    const auto folderOf = [&](uint32_t e) -> const DiscTree::Folder & {
        return m_tree->folder(m_tree->child(m_folder, e));
    };

    std::vector<QString> texts(n);
    for (uint32_t e = 0; e < n; ++e)
        texts[e] = e < folders ? m_tree->folderNameText(m_tree->child(m_folder, e))
                               : m_tree->fileNameText(fileOf(e));
    const std::vector<uint32_t> nameRank = search::rankTexts(texts);

    // One number per entry whose order is the column's ascending order.
    std::vector<uint64_t> key(n, 0);
    switch (m_sortColumn) {
    case ColSize:
        for (uint32_t e = 0; e < n; ++e) {
            if (e < folders) {
                key[e] = uint64_t(folderOf(e).bytes) ^ (uint64_t(1) << 63);
            } else {
                const DiscTree::File &file = fileOf(e);
                // An unknown size below every size.
                key[e] = (file.flags & DiscTree::SizeValid) ? (uint64_t(file.size) ^ (uint64_t(1) << 63)) : 0;
            }
        }
        break;
    case ColDate:
        for (uint32_t e = 0; e < n; ++e) {
            if (e < folders) {
                const DiscTree::Folder &sub = folderOf(e);
                key[e] = sub.newestValid ? uint64_t(uint32_t(sub.newest)) + 1 : 0;
            } else {
                const DiscTree::File &file = fileOf(e);
                key[e] = (file.flags & DiscTree::DateValid) ? uint64_t(uint32_t(file.date)) + 1 : 0;
            }
        }
        break;
    case ColType: {
        std::vector<QString> types(n);
        for (uint32_t e = folders; e < n; ++e)
            types[e] = m_tree->fileTypeText(fileOf(e));
        const std::vector<uint32_t> rank = search::rankTexts(types);
        for (uint32_t e = folders; e < n; ++e)
            key[e] = rank[e];
        break;
    }
    default:
        for (uint32_t e = 0; e < n; ++e)
            key[e] = nameRank[e];
        break;
    }
    for (uint32_t e = 0; e < n; ++e)
        m_order[e] = e;
    const bool descending = m_sortOrder == Qt::DescendingOrder;
    std::sort(m_order.begin(), m_order.end(), [&](uint32_t a, uint32_t b) {
        const bool folderA = a < folders, folderB = b < folders;
        if (folderA != folderB)
            return folderA;
        if (key[a] != key[b])
            return descending ? key[a] > key[b] : key[a] < key[b];
        if (nameRank[a] != nameRank[b])
            return nameRank[a] < nameRank[b];
        return a < b;
    });
}

QString FolderListModel::cellText(int row, int column) const
{
    const Entry e = entry(row);
    if (e.folder == DiscTree::NoFolder)
        return QString();
    if (e.kind == EntryKind::Folder) {
        const DiscTree::Folder &f = m_tree->folder(e.folder);
        switch (column) {
        case ColName:
            return m_tree->folderNameText(e.folder);
        case ColSize:
            return FormatGroupedNumber(f.bytes);
        case ColDate:
            return f.newestValid ? search::formatPackedDate(f.newest) : QString();
        case ColType:
            return FolderTypeText;
        default:
            return QString();
        }
    }
    const DiscTree::File &file = m_tree->file(e.folder, uint32_t(e.file));
    switch (column) {
    case ColName:
        return m_tree->fileNameText(file);
    case ColSize:
        return (file.flags & DiscTree::SizeValid) ? FormatGroupedNumber(file.size) : QString();
    case ColDate:
        return (file.flags & DiscTree::DateValid) ? search::formatPackedDate(file.date) : QString();
    case ColType:
        return m_tree->fileTypeText(file);
    default:
        return QString();
    }
}

int FolderListModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_order.size());
}

int FolderListModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(ColumnCount);
}

QVariant FolderListModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.parent().isValid() || index.row() >= rowCount() ||
        index.column() >= ColumnCount)
        return QVariant();
    switch (role) {
    case Qt::DisplayRole:
        return cellText(index.row(), index.column());
    case Qt::TextAlignmentRole:
        return QVariant::fromValue(index.column() == ColSize ? Qt::AlignRight | Qt::AlignVCenter
                                                             : Qt::AlignLeft | Qt::AlignVCenter);
    case EntryKindRole:
        return int(entry(index.row()).kind);
    default:
        return QVariant();
    }
}

QVariant FolderListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal)
        return QVariant();
    if (role == Qt::TextAlignmentRole)
        return QVariant::fromValue(section == ColSize ? Qt::AlignRight | Qt::AlignVCenter
                                                      : Qt::AlignLeft | Qt::AlignVCenter);
    if (role == Qt::DisplayRole)
        return entryColumnCaption(section);
    return QVariant();
}

} // namespace browser
