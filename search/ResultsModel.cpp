#include "ResultsModel.h"

#include "DateText.h"
#include "gUtils.h"

#include <QCollator>
#include <QCollatorSortKey>
#include <QHash>
#include <QLocale>

#include <algorithm>
#include <cstring>
#include <limits>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace search {

namespace {

constexpr int kRowChunkBits = 16;
constexpr size_t kRowChunk = size_t(1) << kRowChunkBits;
constexpr size_t kArenaChunk = size_t(1) << 20;

constexpr uint32_t DateShown = 1;
constexpr uint32_t SizeShown = 2;

// 40 bytes per row; the strings live elsewhere.
struct Row
{
    qint64 size;
    uint64_t nameRef; // arena chunk << 32 | offset in chunk
    uint32_t nameLen;
    uint32_t record;
    uint32_t folder;
    uint32_t archive;
    int32_t date;
    uint32_t flags;
};
static_assert(sizeof(Row) == 40);

// Keys for the C locale, whose collator compares case-folded code units: the folded units of
// every text in one arena, and the first four of them as one number.
class FoldedKeys
{
public:
    explicit FoldedKeys(size_t n)
    {
        m_begin.reserve(n + 1);
        m_items.reserve(n);
        m_units.reserve(n * 16);
        m_begin.push_back(0);
    }
    void add(QByteArrayView bytes)
    {
        bool ascii = true;
        for (char ch : bytes)
            ascii = ascii && uchar(ch) < 0x80;
        if (ascii) {
            for (char ch : bytes)
                m_units.push_back(char16_t((ch >= 'A' && ch <= 'Z') ? ch + 32 : ch));
        } else {
            const QString folded = decodeArchiveText(bytes).toCaseFolded();
            for (QChar ch : folded)
                m_units.push_back(ch.unicode());
        }
        close();
    }
    void add(const QString &text)
    {
        for (QChar ch : text.toCaseFolded())
            m_units.push_back(ch.unicode());
        close();
    }
    size_t size() const { return m_items.size(); }

    // The ranks of the texts: equal texts share one.
    std::vector<uint32_t> ranks()
    {
        // Sorting the items themselves keeps the first eight units of both sides at hand;
        // only texts that agree on them are compared in the arena.
        const auto less = [this](const Item &a, const Item &b) {
            if (a.p0 != b.p0)
                return a.p0 < b.p0;
            if (a.p1 != b.p1)
                return a.p1 < b.p1;
            return view(a.index) < view(b.index);
        };
        std::sort(m_items.begin(), m_items.end(), less);
        std::vector<uint32_t> rank(m_items.size());
        uint32_t r = 0;
        for (size_t i = 0; i < m_items.size(); ++i) {
            if (i > 0 && less(m_items[i - 1], m_items[i]))
                ++r;
            rank[m_items[i].index] = r;
        }
        return rank;
    }

private:
    struct Item
    {
        uint64_t p0, p1;
        uint32_t index;
    };
    std::u16string_view view(uint32_t i) const
    {
        return std::u16string_view(m_units.data() + m_begin[i], m_begin[i + 1] - m_begin[i]);
    }
    void close()
    {
        const size_t b = m_begin.back();
        const size_t n = m_units.size() - b;
        uint64_t p[2] = {0, 0};
        for (size_t i = 0; i < 8; ++i)
            p[i / 4] = (p[i / 4] << 16) | (i < n ? m_units[b + i] : 0u);
        m_items.push_back(Item{p[0], p[1], uint32_t(m_items.size())});
        m_begin.push_back(m_units.size());
    }
    std::vector<char16_t> m_units;
    std::vector<size_t> m_begin;
    std::vector<Item> m_items;
};

bool collatesLikeC()
{
    return QLocale().language() == QLocale::C;
}

struct Entry
{
    uint64_t key;
    uint32_t row;
};

// Stable sort by key, 16 bits at a time from the lowest; digits that are the same in every
// entry cost nothing.
void radixSort(std::vector<Entry> &entries)
{
    std::vector<Entry> other(entries.size());
    std::vector<uint32_t> counts(65536);
    for (int shift = 0; shift < 64; shift += 16) {
        std::fill(counts.begin(), counts.end(), 0);
        for (const Entry &e : entries)
            ++counts[(e.key >> shift) & 0xFFFF];
        if (!entries.empty() && counts[(entries.front().key >> shift) & 0xFFFF] == entries.size())
            continue;
        uint32_t sum = 0;
        for (uint32_t &c : counts) {
            const uint32_t n = c;
            c = sum;
            sum += n;
        }
        for (const Entry &e : entries)
            other[counts[(e.key >> shift) & 0xFFFF]++] = e;
        entries.swap(other);
    }
}

} // namespace

std::vector<uint32_t> rankTexts(const std::vector<QString> &texts)
{
    std::vector<uint32_t> order(texts.size());
    for (size_t i = 0; i < order.size(); ++i)
        order[i] = uint32_t(i);
    std::vector<uint32_t> rank(texts.size());
    const auto assign = [&](const auto &same) {
        uint32_t r = 0;
        for (size_t i = 0; i < order.size(); ++i) {
            if (i > 0 && !same(order[i - 1], order[i]))
                ++r;
            rank[order[i]] = r;
        }
    };
    const QLocale locale;
    if (locale.language() == QLocale::C) {
        // The C locale's collator compares like QString::compare without regard to case: code
        // units after case folding.
        FoldedKeys keys(texts.size());
        for (const QString &t : texts)
            keys.add(t);
        return keys.ranks();
    }
    QCollator collator{locale};
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    std::vector<QCollatorSortKey> keys;
    keys.reserve(texts.size());
    for (const QString &t : texts)
        keys.push_back(collator.sortKey(t));
    // Equal texts get one rank, so their order here does not matter.
    std::sort(order.begin(), order.end(),
              [&](uint32_t a, uint32_t b) { return keys[a].compare(keys[b]) < 0; });
    assign([&](uint32_t a, uint32_t b) { return keys[a].compare(keys[b]) == 0; });
    return rank;
}

struct ResultsModel::Impl
{
    std::vector<std::unique_ptr<Row[]>> rowChunks;
    size_t rowCount = 0;         // stored rows
    size_t visibleRows = 0;      // rows the views know about
    std::vector<uint32_t> order; // view row -> stored row; empty while unsorted
    bool filling = false;

    std::vector<std::unique_ptr<char[]>> arena;
    std::vector<size_t> arenaSize; // capacity of each chunk
    size_t arenaUsed = 0;          // bytes used in the last chunk

    std::vector<QByteArray> folders;
    QHash<QByteArray, uint32_t> folderIds;
    uint32_t lastFolder = UINT32_MAX;

    std::vector<ArchiveInfo> archives;
    uint32_t currentArchive = 0;

    Row &row(size_t i) { return rowChunks[i >> kRowChunkBits][i & (kRowChunk - 1)]; }
    const Row &row(size_t i) const { return rowChunks[i >> kRowChunkBits][i & (kRowChunk - 1)]; }
    const Row &viewRow(int r) const { return row(order.empty() ? size_t(r) : order[size_t(r)]); }

    QByteArrayView name(const Row &r) const
    {
        return QByteArrayView(arena[r.nameRef >> 32].get() + (r.nameRef & 0xFFFFFFFFu), qsizetype(r.nameLen));
    }

    uint64_t storeName(QByteArrayView bytes)
    {
        const size_t n = size_t(bytes.size());
        if (arena.empty() || arenaUsed + n > arenaSize.back()) {
            const size_t cap = std::max(kArenaChunk, n);
            arena.emplace_back(new char[cap]);
            arenaSize.push_back(cap);
            arenaUsed = 0;
        }
        const uint64_t ref = (uint64_t(arena.size() - 1) << 32) | arenaUsed;
        if (n)
            std::memcpy(arena.back().get() + arenaUsed, bytes.data(), n);
        arenaUsed += n;
        return ref;
    }

    uint32_t internFolder(QByteArrayView bytes)
    {
        if (lastFolder != UINT32_MAX) {
            const QByteArray &last = folders[lastFolder];
            if (last.size() == bytes.size() &&
                std::memcmp(last.constData(), bytes.data(), size_t(bytes.size())) == 0)
                return lastFolder;
        }
        // Looked up without a copy; copied once when new.
        const QByteArray probe = QByteArray::fromRawData(bytes.data(), bytes.size());
        auto it = folderIds.constFind(probe);
        if (it == folderIds.constEnd()) {
            const QByteArray key = bytes.toByteArray();
            it = folderIds.insert(key, uint32_t(folders.size()));
            folders.push_back(key);
        }
        lastFolder = it.value();
        return lastFolder;
    }

    Row &appendRow()
    {
        if ((rowCount & (kRowChunk - 1)) == 0 && (rowCount >> kRowChunkBits) == rowChunks.size())
            rowChunks.emplace_back(new Row[kRowChunk]);
        return row(rowCount++);
    }
};

ResultsModel::ResultsModel(QObject *parent) : QAbstractTableModel(parent), d(std::make_unique<Impl>()) {}

ResultsModel::~ResultsModel() = default;

void ResultsModel::clear()
{
    beginResetModel();
    d = std::make_unique<Impl>();
    endResetModel();
}

void ResultsModel::beginFill()
{
    d->filling = true;
}

void ResultsModel::endFill()
{
    d->filling = false;
    if (d->rowCount > d->visibleRows) {
        beginInsertRows(QModelIndex(), int(d->visibleRows), int(d->rowCount - 1));
        d->visibleRows = d->rowCount;
        endInsertRows();
    }
}

void ResultsModel::beginArchive(int, const ArchiveInfo &archive)
{
    d->currentArchive = uint32_t(d->archives.size());
    d->archives.push_back(archive);
}

void ResultsModel::addRow(const FoundRecord &found)
{
    if (d->archives.empty())
        d->archives.push_back(ArchiveInfo{QString(), QStringLiteral("Unknown")});
    if (d->rowCount >= size_t(std::numeric_limits<int>::max()))
        return; // a view cannot address more rows
    Row &r = d->appendRow();
    r.size = found.sizeValid ? found.size : 0;
    r.nameRef = d->storeName(found.name);
    r.nameLen = uint32_t(found.name.size());
    r.record = uint32_t(found.record);
    r.folder = d->internFolder(found.folder);
    r.archive = d->currentArchive;
    r.date = found.dateValid ? found.date : 0;
    r.flags = (found.dateValid ? DateShown : 0u) | (found.dateValid && found.sizeValid ? SizeShown : 0u);
    if (!d->order.empty())
        d->order.push_back(uint32_t(d->rowCount - 1));
    if (!d->filling) {
        beginInsertRows(QModelIndex(), int(d->visibleRows), int(d->rowCount - 1));
        d->visibleRows = d->rowCount;
        endInsertRows();
    }
}

int ResultsModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(d->visibleRows);
}

int ResultsModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(ColumnCount);
}

QVariant ResultsModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal)
        return QVariant();
    if (role == Qt::TextAlignmentRole)
        return QVariant::fromValue(section == ColSize ? Qt::AlignRight | Qt::AlignVCenter
                                                      : Qt::AlignLeft | Qt::AlignVCenter);
    if (role != Qt::DisplayRole)
        return QVariant();
    switch (section) {
    case ColArchive:
        return QStringLiteral("Archive");
    case ColDirectory:
        return QStringLiteral("Directory");
    case ColFile:
        return QStringLiteral("File");
    case ColType:
        return QStringLiteral("Type");
    case ColDate:
        return QStringLiteral("Date Modified");
    case ColSize:
        return QStringLiteral("Size");
    default:
        return QVariant();
    }
}

QVariant ResultsModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.parent().isValid() || index.row() < 0 || index.row() >= rowCount() ||
        index.column() < 0 || index.column() >= ColumnCount)
        return QVariant();
    if (role == Qt::DisplayRole)
        return cellText(index.row(), index.column());
    if (role == Qt::TextAlignmentRole)
        return QVariant::fromValue(index.column() == ColSize ? Qt::AlignRight | Qt::AlignVCenter
                                                             : Qt::AlignLeft | Qt::AlignVCenter);
    return QVariant();
}

QString ResultsModel::cellText(int row, int column) const
{
    switch (column) {
    case ColArchive:
        return mark(row);
    case ColDirectory:
        return folderLine(row);
    case ColFile:
        return name(row);
    case ColType:
        return type(row);
    case ColDate: {
        const Row &r = d->viewRow(row);
        return (r.flags & DateShown) ? formatPackedDate(r.date) : QString();
    }
    case ColSize: {
        const Row &r = d->viewRow(row);
        return (r.flags & SizeShown) ? FormatGroupedNumber(r.size) : QString();
    }
    default:
        return QString();
    }
}

QString ResultsModel::mark(int row) const
{
    return d->archives[d->viewRow(row).archive].mark;
}

QString ResultsModel::archivePath(int row) const
{
    return d->archives[d->viewRow(row).archive].path;
}

QByteArray ResultsModel::folderBytes(int row) const
{
    return d->folders[d->viewRow(row).folder];
}

QString ResultsModel::folderLine(int row) const
{
    return decodeArchiveText(d->folders[d->viewRow(row).folder]);
}

QByteArray ResultsModel::nameBytes(int row) const
{
    return d->name(d->viewRow(row)).toByteArray();
}

QString ResultsModel::name(int row) const
{
    return decodeArchiveText(d->name(d->viewRow(row)));
}

QString ResultsModel::type(int row) const
{
    const QByteArrayView t = typePart(d->name(d->viewRow(row)));
    return t.isEmpty() ? QString() : decodeArchiveText(t.sliced(1));
}

qint64 ResultsModel::size(int row) const
{
    return d->viewRow(row).size;
}

bool ResultsModel::sizeShown(int row) const
{
    return d->viewRow(row).flags & SizeShown;
}

int32_t ResultsModel::packedDate(int row) const
{
    return d->viewRow(row).date;
}

QDateTime ResultsModel::dateModified(int row) const
{
    const Row &r = d->viewRow(row);
    if (!(r.flags & DateShown))
        return QDateTime();
    const uint32_t v = uint32_t(r.date);
    return QDateTime(QDate(int(v >> 25) + 1980, int((v >> 21) & 0xF), int((v >> 16) & 0x1F)),
                     QTime(int((v >> 11) & 0x1F), int((v >> 5) & 0x3F), int(v & 0x1F) * 2), Qt::LocalTime);
}

qint64 ResultsModel::recordIndex(int row) const
{
    return d->viewRow(row).record;
}

qint64 ResultsModel::memoryUsed() const
{
    qint64 bytes = qint64(d->rowChunks.size() * kRowChunk * sizeof(Row));
    for (size_t s : d->arenaSize)
        bytes += qint64(s);
    bytes += qint64(d->order.capacity() * sizeof(uint32_t));
    for (const QByteArray &f : d->folders)
        bytes += f.capacity() + 2 * qint64(sizeof(QByteArray)) + 16;
    return bytes;
}

void ResultsModel::sort(int column, Qt::SortOrder order)
{
    sortRows(column, order == Qt::AscendingOrder);
}

void ResultsModel::sortRows(int SortColumn, bool SortAscending)
{
    if (SortColumn < 0 || SortColumn >= ColumnCount)
        return;
    const size_t n = d->visibleRows;

    // One number per row whose order is the column's order: ranks for texts, the numbers
    // themselves for sizes and dates.
    std::vector<uint64_t> key(d->rowCount);
    switch (SortColumn) {
    case ColArchive: {
        std::vector<QString> marks;
        marks.reserve(d->archives.size());
        for (const ArchiveInfo &a : d->archives)
            marks.push_back(a.mark);
        const std::vector<uint32_t> rank = rankTexts(marks);
        for (size_t i = 0; i < d->rowCount; ++i)
            key[i] = rank[d->row(i).archive];
        break;
    }
    case ColDirectory: {
        std::vector<QString> texts;
        texts.reserve(d->folders.size());
        for (const QByteArray &f : d->folders)
            texts.push_back(decodeArchiveText(f));
        const std::vector<uint32_t> rank = rankTexts(texts);
        for (size_t i = 0; i < d->rowCount; ++i)
            key[i] = rank[d->row(i).folder];
        break;
    }
    case ColFile:
    case ColType: {
        const auto text = [&](size_t i) {
            QByteArrayView v = d->name(d->row(i));
            if (SortColumn == ColType) {
                v = typePart(v);
                if (!v.isEmpty())
                    v = v.sliced(1);
            }
            return v;
        };
        if (SortColumn == ColFile && collatesLikeC()) {
            FoldedKeys keys(d->rowCount);
            for (size_t i = 0; i < d->rowCount; ++i)
                keys.add(text(i));
            const std::vector<uint32_t> rank = keys.ranks();
            for (size_t i = 0; i < d->rowCount; ++i)
                key[i] = rank[i];
            break;
        }
        // Distinct texts first: names and types repeat, and a collation key is the costly part.
        std::unordered_map<std::string_view, uint32_t> ids;
        ids.reserve(SortColumn == ColType ? 1024 : d->rowCount);
        std::vector<QString> texts;
        std::vector<uint32_t> textOf(d->rowCount);
        for (size_t i = 0; i < d->rowCount; ++i) {
            const QByteArrayView v = text(i);
            const auto [it, added] =
                ids.try_emplace(std::string_view(v.data(), size_t(v.size())), uint32_t(texts.size()));
            if (added)
                texts.push_back(decodeArchiveText(v));
            textOf[i] = it->second;
        }
        const std::vector<uint32_t> rank = rankTexts(texts);
        for (size_t i = 0; i < d->rowCount; ++i)
            key[i] = rank[textOf[i]];
        break;
    }
    case ColDate:
        // Packed date-times grow with time when read unsigned; empty cells come first.
        for (size_t i = 0; i < d->rowCount; ++i) {
            const Row &r = d->row(i);
            key[i] = (r.flags & DateShown) ? uint64_t(uint32_t(r.date)) + 1 : 0;
        }
        break;
    case ColSize:
        // Signed sizes mapped onto unsigned order; empty cells below every size.
        for (size_t i = 0; i < d->rowCount; ++i) {
            const Row &r = d->row(i);
            key[i] = (r.flags & SizeShown) ? (uint64_t(r.size) ^ (uint64_t(1) << 63)) : 0;
        }
        break;
    }
    // "Size" runs the other way: larger sizes first when SortAscending.
    const bool increasing = SortColumn == ColSize ? !SortAscending : SortAscending;

    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    const QModelIndexList persistent = persistentIndexList();
    std::vector<uint32_t> stored(n);
    for (size_t i = 0; i < n; ++i)
        stored[i] = d->order.empty() ? uint32_t(i) : d->order[i];
    std::vector<uint32_t> persistentRows;
    persistentRows.reserve(size_t(persistent.size()));
    for (const QModelIndex &p : persistent)
        persistentRows.push_back(stored[size_t(p.row())]);

    std::vector<Entry> entries(n);
    for (size_t i = 0; i < n; ++i)
        entries[i] = Entry{increasing ? key[stored[i]] : ~key[stored[i]], stored[i]};
    std::vector<uint64_t>().swap(key);
    radixSort(entries);
    d->order.resize(d->rowCount);
    for (size_t i = 0; i < n; ++i)
        d->order[i] = entries[i].row;
    for (size_t i = n; i < d->rowCount; ++i)
        d->order[i] = uint32_t(i);
    std::vector<Entry>().swap(entries);

    if (!persistent.isEmpty()) {
        std::vector<uint32_t> viewOf(d->rowCount);
        for (size_t i = 0; i < n; ++i)
            viewOf[d->order[i]] = uint32_t(i);
        QModelIndexList to;
        to.reserve(persistent.size());
        for (qsizetype i = 0; i < persistent.size(); ++i)
            to.append(index(int(viewOf[persistentRows[size_t(i)]]), persistent.at(i).column()));
        changePersistentIndexList(persistent, to);
    }
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

} // namespace search
