#include "ArchiveListModel.h"

#include "search/ResultsModel.h"
#include "util/gUtils.h"

#include <QFileInfo>
#include <QHash>
#include <QSet>

#include <algorithm>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace browser {

namespace {

enum RowFlag : uint32_t {
    DateKnown = 1,
    DirsKnown = 2,
    FilesKnown = 4,
    SizeKnown = 8,
    Damaged = 16,
};

// 64 bytes per row; the texts live in the arena.
struct Row
{
    qint64 dirs, files, size;
    uint64_t text; // arena offset of mark, location, note and file name, one after the other
    uint32_t markLen, locationLen, noteLen, nameLen;
    uint32_t folder;
    int32_t date;
    uint32_t flags;
};

const char *const Captions[] = {"Archive", "Archived date", "Location", "Directories",
                                "Files",   "Size",          "FileName", "Note"};

} // namespace

QString columnCaption(int column)
{
    if (column < 0 || column >= ArchiveListModel::ColumnCount)
        return QString();
    return QString::fromLatin1(Captions[column]);
}

struct ArchiveListModel::Impl
{
    std::vector<Row> rows;       // every row ever added since the last clear
    std::vector<uint32_t> order; // list row -> stored row; announced rows first
    size_t announced = 0;        // rows the views know about
    bool filling = false;
    // The order the rows are in, while no row has been added or changed since: sorting again
    // by the same column and direction would give the same order (the sort is stable).
    int sortedColumn = -1;
    bool sortedFlag = false;
    std::vector<char> arena;
    QStringList folders;
    QHash<QString, uint32_t> folderIds;

    const Row &at(int r) const { return rows[order[size_t(r)]]; }
    Row &at(int r) { return rows[order[size_t(r)]]; }

    uint64_t store(const QByteArray &bytes)
    {
        const uint64_t offset = arena.size();
        arena.insert(arena.end(), bytes.constData(), bytes.constData() + bytes.size());
        return offset;
    }
    std::string_view bytes(uint64_t offset, uint32_t length) const
    {
        return std::string_view(arena.data() + offset, length);
    }
    QString text(uint64_t offset, uint32_t length) const
    {
        return QString::fromUtf8(arena.data() + offset, qsizetype(length));
    }
    QString mark(const Row &r) const { return text(r.text, r.markLen); }
    QString location(const Row &r) const { return text(r.text + r.markLen, r.locationLen); }
    QString note(const Row &r) const { return text(r.text + r.markLen + r.locationLen, r.noteLen); }
    QString path(const Row &r) const
    {
        return folders.at(qsizetype(r.folder)) +
               text(r.text + r.markLen + r.locationLen + r.noteLen, r.nameLen);
    }

    void setTexts(Row &r, const QString &mark, const QString &location, const QString &note,
                  const QString &name)
    {
        const QByteArray m = mark.toUtf8(), l = location.toUtf8(), n = note.toUtf8(), f = name.toUtf8();
        r.text = store(m);
        store(l);
        store(n);
        store(f);
        r.markLen = uint32_t(m.size());
        r.locationLen = uint32_t(l.size());
        r.noteLen = uint32_t(n.size());
        r.nameLen = uint32_t(f.size());
    }

    uint32_t internFolder(const QString &folder)
    {
        auto it = folderIds.constFind(folder);
        if (it == folderIds.constEnd()) {
            it = folderIds.insert(folder, uint32_t(folders.size()));
            folders.append(folder);
        }
        return it.value();
    }
};

ArchiveListModel::ArchiveListModel(QObject *parent) : QAbstractTableModel(parent), d(new Impl) {}

ArchiveListModel::~ArchiveListModel() = default;

void ArchiveListModel::clear()
{
    beginResetModel();
    const bool filling = d->filling;
    d.reset(new Impl);
    d->filling = filling;
    endResetModel();
}

void ArchiveListModel::beginFill()
{
    d->filling = true;
}

void ArchiveListModel::flush()
{
    if (d->order.size() <= d->announced)
        return;
    beginInsertRows(QModelIndex(), int(d->announced), int(d->order.size()) - 1);
    d->announced = d->order.size();
    endInsertRows();
}

void ArchiveListModel::endFill()
{
    d->filling = false;
    flush();
}

bool ArchiveListModel::filling() const
{
    return d->filling;
}

int ArchiveListModel::append(const ArchiveEntry &e)
{
    Row r{};
    r.dirs = e.dirs;
    r.files = e.files;
    r.size = e.size;
    r.date = e.date;
    const auto bit = [](bool on, RowFlag flag) { return on ? uint32_t(flag) : 0u; };
    r.flags = bit(e.dateKnown, DateKnown) | bit(e.dirsKnown, DirsKnown) | bit(e.filesKnown, FilesKnown) |
              bit(e.sizeKnown, SizeKnown) | bit(e.damaged, Damaged);
    const qsizetype slash = e.path.lastIndexOf(QLatin1Char('/'));
    r.folder = d->internFolder(e.path.left(slash + 1));
    d->setTexts(r, e.mark, e.location, e.note, e.path.mid(slash + 1));
    d->rows.push_back(r);
    d->order.push_back(uint32_t(d->rows.size() - 1));
    d->sortedColumn = -1;
    if (d->filling)
        return -1;
    flush();
    return int(d->order.size()) - 1;
}

int ArchiveListModel::appendNow(const ArchiveEntry &entry)
{
    const bool filling = d->filling;
    d->filling = false;
    const int row = append(entry);
    d->filling = filling;
    return row;
}

void ArchiveListModel::removeRun(int first, int count)
{
    if (count <= 0 || first < 0 || size_t(first) + size_t(count) > d->announced)
        return;
    beginRemoveRows(QModelIndex(), first, first + count - 1);
    d->order.erase(d->order.begin() + first, d->order.begin() + first + count);
    d->announced -= size_t(count);
    endRemoveRows();
}

void ArchiveListModel::setTexts(int row, const QString &mark, const QString &location, const QString &note)
{
    if (row < 0 || size_t(row) >= d->announced)
        return;
    Row &r = d->at(row);
    const QString name = QFileInfo(d->path(r)).fileName();
    d->setTexts(r, mark, location, note, name);
    d->sortedColumn = -1;
    emit dataChanged(index(row, 0), index(row, ColumnCount - 1), {Qt::DisplayRole});
}

void ArchiveListModel::sort(int column, Qt::SortOrder order)
{
    sortRows(column, order == Qt::AscendingOrder);
}

void ArchiveListModel::sortRows(int column, bool flag)
{
    if (column < 0 || column >= ColumnCount)
        return;
    flush();
    if (column == d->sortedColumn && flag == d->sortedFlag)
        return; // a resize sorts again; nothing would move
    d->sortedColumn = column;
    d->sortedFlag = flag;
    const size_t n = d->announced;

    // One number per row in the column's natural order (ranks for texts).
    struct Key
    {
        uint64_t key;
        uint32_t stored;
        bool unknown;
    };
    std::vector<Key> keys(n);
    for (size_t i = 0; i < n; ++i)
        keys[i] = Key{0, d->order[i], false};
    // Distinct texts only (locations and notes repeat; a collation key is the costly part),
    // found by their bytes without decoding every row.
    const auto rankBy = [&](auto bytesOf) {
        std::unordered_map<std::string_view, uint32_t> ids;
        ids.reserve(n);
        std::vector<QString> texts;
        std::vector<uint32_t> textOf(n);
        for (size_t i = 0; i < n; ++i) {
            const std::string_view bytes = bytesOf(d->rows[keys[i].stored]);
            const auto [it, added] = ids.try_emplace(bytes, uint32_t(texts.size()));
            if (added)
                texts.push_back(QString::fromUtf8(bytes.data(), qsizetype(bytes.size())));
            textOf[i] = it->second;
        }
        const std::vector<uint32_t> rank = search::rankTexts(texts);
        for (size_t i = 0; i < n; ++i)
            keys[i].key = rank[textOf[i]];
    };
    const auto number = [&](RowFlag known, qint64 Row::*field) {
        for (Key &k : keys) {
            const Row &r = d->rows[k.stored];
            k.unknown = !(r.flags & known);
            // Signed values mapped onto unsigned order.
            k.key = uint64_t(r.*field) ^ (uint64_t(1) << 63);
        }
    };
    bool increasing = flag;
    switch (column) {
    case ColArchive:
        rankBy([&](const Row &r) { return d->bytes(r.text, r.markLen); });
        break;
    case ColLocation:
        rankBy([&](const Row &r) { return d->bytes(r.text + r.markLen, r.locationLen); });
        break;
    case ColNote:
        rankBy([&](const Row &r) { return d->bytes(r.text + r.markLen + r.locationLen, r.noteLen); });
        break;
    case ColFileName: {
        // The folder's rank first, then the name's: the folders are few.
        std::vector<QString> folders(d->folders.cbegin(), d->folders.cend());
        const std::vector<uint32_t> folderRank = search::rankTexts(folders);
        rankBy([&](const Row &r) {
            return d->bytes(r.text + r.markLen + r.locationLen + r.noteLen, r.nameLen);
        });
        for (Key &k : keys)
            k.key |= uint64_t(folderRank[d->rows[k.stored].folder]) << 32;
        break;
    }
    case ColDate:
        // Packed date-times grow with time when read unsigned.
        for (Key &k : keys) {
            const Row &r = d->rows[k.stored];
            k.unknown = !(r.flags & DateKnown);
            k.key = uint32_t(r.date);
        }
        break;
    case ColDirs:
        number(DirsKnown, &Row::dirs);
        increasing = !flag;
        break;
    case ColFiles:
        number(FilesKnown, &Row::files);
        increasing = !flag;
        break;
    case ColSize:
        number(SizeKnown, &Row::size);
        increasing = !flag;
        break;
    }
    for (Key &k : keys)
        if (!increasing)
            k.key = ~k.key;

    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    const QModelIndexList persistent = persistentIndexList();
    std::vector<uint32_t> persistentStored;
    persistentStored.reserve(size_t(persistent.size()));
    for (const QModelIndex &p : persistent)
        persistentStored.push_back(d->order[size_t(p.row())]);

    std::stable_sort(keys.begin(), keys.end(), [](const Key &a, const Key &b) {
        if (a.unknown != b.unknown)
            return b.unknown;
        return a.key < b.key;
    });
    for (size_t i = 0; i < n; ++i)
        d->order[i] = keys[i].stored;

    if (!persistent.isEmpty()) {
        std::vector<uint32_t> rowOf(d->rows.size());
        for (size_t i = 0; i < n; ++i)
            rowOf[d->order[i]] = uint32_t(i);
        QModelIndexList to;
        to.reserve(persistent.size());
        for (qsizetype i = 0; i < persistent.size(); ++i)
            to.append(index(int(rowOf[persistentStored[size_t(i)]]), persistent.at(i).column()));
        changePersistentIndexList(persistent, to);
    }
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

ArchiveEntry ArchiveListModel::entry(int row) const
{
    const Row &r = d->at(row);
    ArchiveEntry e;
    e.path = d->path(r);
    e.mark = d->mark(r);
    e.location = d->location(r);
    e.note = d->note(r);
    e.date = r.date;
    e.dirs = r.dirs;
    e.files = r.files;
    e.size = r.size;
    e.dateKnown = r.flags & DateKnown;
    e.dirsKnown = r.flags & DirsKnown;
    e.filesKnown = r.flags & FilesKnown;
    e.sizeKnown = r.flags & SizeKnown;
    e.damaged = r.flags & Damaged;
    return e;
}

QString ArchiveListModel::mark(int row) const
{
    return d->mark(d->at(row));
}

QString ArchiveListModel::location(int row) const
{
    return d->location(d->at(row));
}

QString ArchiveListModel::note(int row) const
{
    return d->note(d->at(row));
}

QString ArchiveListModel::path(int row) const
{
    return d->path(d->at(row));
}

bool ArchiveListModel::damaged(int row) const
{
    return d->at(row).flags & Damaged;
}

QString ArchiveListModel::widestNumberText(int column) const
{
    uint32_t known = 0;
    qint64 Row::*value = nullptr;
    switch (column) {
    case ColDirs:
        known = DirsKnown, value = &Row::dirs;
        break;
    case ColFiles:
        known = FilesKnown, value = &Row::files;
        break;
    case ColSize:
        known = SizeKnown, value = &Row::size;
        break;
    default:
        return QString();
    }
    QString widest;
    const auto consider = [&widest](const QString &text) {
        if (text.size() > widest.size())
            widest = text;
    };
    qint64 largest = 0, smallest = 0;
    for (size_t i = 0; i < d->announced; ++i) {
        const Row &r = d->rows[d->order[i]];
        if (!(r.flags & known)) {
            consider(UnknownText);
            continue;
        }
        largest = std::max(largest, r.*value);
        smallest = std::min(smallest, r.*value);
    }
    if (d->announced > 0) {
        // Digits are equally wide in the fonts lists use: the most digits, with a sign if any.
        consider(FormatGroupedNumber(largest));
        consider(FormatGroupedNumber(smallest));
    }
    return widest;
}

QList<int> ArchiveListModel::rowsOf(const QStringList &paths) const
{
    const QSet<QString> wanted(paths.cbegin(), paths.cend());
    QList<int> rows;
    for (size_t i = 0; i < d->announced && rows.size() < wanted.size(); ++i) {
        if (wanted.contains(d->path(d->rows[d->order[i]])))
            rows << int(i);
    }
    return rows;
}

QString ArchiveListModel::cellText(int row, int column) const
{
    const Row &r = d->at(row);
    const auto count = [&](RowFlag known, qint64 value) {
        return (r.flags & known) ? FormatGroupedNumber(value) : UnknownText;
    };
    switch (column) {
    case ColArchive:
        return d->mark(r);
    case ColDate: {
        ArchiveEntry e;
        e.date = r.date;
        e.dateKnown = r.flags & DateKnown;
        return dateText(e);
    }
    case ColLocation:
        return d->location(r);
    case ColDirs:
        return count(DirsKnown, r.dirs);
    case ColFiles:
        return count(FilesKnown, r.files);
    case ColSize:
        return count(SizeKnown, r.size);
    case ColFileName:
        return d->path(r);
    case ColNote:
        return d->note(r);
    default:
        return QString();
    }
}

qint64 ArchiveListModel::memoryUsed() const
{
    qint64 bytes = qint64(d->rows.capacity() * sizeof(Row) + d->order.capacity() * sizeof(uint32_t) +
                          d->arena.capacity());
    for (const QString &f : d->folders)
        bytes += 2 * (f.capacity() + 32) + 16; // the list entry and the hash key
    return bytes;
}

int ArchiveListModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(d->announced);
}

int ArchiveListModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant ArchiveListModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= int(d->announced))
        return QVariant();
    switch (role) {
    case Qt::DisplayRole:
    case Qt::AccessibleTextRole:
        return cellText(index.row(), index.column());
    case Qt::TextAlignmentRole:
        if (index.column() == ColDirs || index.column() == ColFiles || index.column() == ColSize)
            return QVariant::fromValue(Qt::Alignment(Qt::AlignRight | Qt::AlignVCenter));
        return QVariant();
    default:
        return QVariant();
    }
}

QVariant ArchiveListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal)
        return QVariant();
    if (role == Qt::DisplayRole)
        return columnCaption(section);
    if (role == Qt::TextAlignmentRole && (section == ColDirs || section == ColFiles || section == ColSize))
        return QVariant::fromValue(Qt::Alignment(Qt::AlignRight | Qt::AlignVCenter));
    return QVariant();
}

Qt::ItemFlags ArchiveListModel::flags(const QModelIndex &index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
}

} // namespace browser
