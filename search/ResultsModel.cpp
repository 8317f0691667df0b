#include "ResultsModel.h"

#include "DateText.h"
#include "RowBlock.h"
#include "util/gUtils.h"

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

constexpr uint32_t DateShown = RowBlock::DateValid;
constexpr uint32_t SizeValid = RowBlock::SizeValid;

// The Size cell is filled in column order after the date: a date that cannot be shown leaves
// it empty as well.
inline bool sizeShownIn(const RowBlock::Row &r)
{
    return r.flags() == (DateShown | SizeValid);
}

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
    // A run of rows of one archive in one block; the rows of a search are the segments' rows in
    // order. Blocks built by the search's workers are kept as they come.
    struct Segment
    {
        std::shared_ptr<const RowBlock> block;
        size_t first;      // the stored row of the segment's first row
        size_t blockFirst; // its index in the block
        size_t count;
        uint32_t archive;
    };
    std::vector<Segment> segments;
    RowBlockBuilder open;        // fills the last segment's block from addRow
    size_t rowCount = 0;         // stored rows
    size_t visibleRows = 0;      // rows the views know about
    std::vector<uint32_t> order; // view row -> stored row; empty while unsorted
    bool filling = false;
    // The extremes of the shown sizes, found once for the rows of a fill.
    mutable size_t sizesSeenUpTo = 0;
    mutable qint64 largestSize = 0, smallestSize = 0;

    std::vector<ArchiveInfo> archives;
    uint32_t currentArchive = 0;

    struct RowRef
    {
        const RowBlock &block;
        const RowBlock::Row &row;
        uint32_t archive;
    };
    RowRef at(size_t i) const
    {
        const auto it = std::upper_bound(segments.begin(), segments.end(), i,
                                         [](size_t i, const Segment &s) { return i < s.first; });
        const Segment &s = *(it - 1);
        return RowRef{*s.block, s.block->row(s.blockFirst + (i - s.first)), s.archive};
    }
    RowRef viewRow(int r) const { return at(order.empty() ? size_t(r) : order[size_t(r)]); }

    // f(stored row, segment, row) for every stored row, in order.
    template <typename F> void forEachRow(F f) const
    {
        for (const Segment &s : segments) {
            for (size_t j = 0; j < s.count; ++j)
                f(s.first + j, s, s.block->row(s.blockFirst + j));
        }
    }

    void closeOpen() { open.finish(); }

    void startOpen()
    {
        closeOpen();
        segments.push_back(Segment{open.block(), rowCount, 0, 0, currentArchive});
    }

    void append(const FoundRecord &found)
    {
        if (!open.building() || segments.back().archive != currentArchive)
            startOpen();
        if (!open.append(found)) {
            // The block's text is full.
            startOpen();
            if (!open.append(found))
                return;
        }
        ++segments.back().count;
        ++rowCount;
    }

    void adopt(const std::shared_ptr<const RowBlock> &block, size_t first, size_t count)
    {
        closeOpen();
        if (!segments.empty()) {
            Segment &last = segments.back();
            if (last.block == block && last.archive == currentArchive &&
                last.blockFirst + last.count == first) {
                last.count += count;
                rowCount += count;
                return;
            }
        }
        segments.push_back(Segment{block, rowCount, first, count, currentArchive});
        rowCount += count;
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
    d->closeOpen();
    announceRows();
}

void ResultsModel::announceRows()
{
    if (d->rowCount > d->visibleRows) {
        beginInsertRows(QModelIndex(), int(d->visibleRows), int(d->rowCount - 1));
        d->visibleRows = d->rowCount;
        endInsertRows();
    }
}

void ResultsModel::beginArchive(int, const ArchiveInfo &archive)
{
    d->closeOpen();
    d->currentArchive = uint32_t(d->archives.size());
    d->archives.push_back(archive);
}

void ResultsModel::addRow(const FoundRecord &found)
{
    if (d->archives.empty())
        d->archives.push_back(ArchiveInfo{QString(), QStringLiteral("Unknown")});
    if (d->rowCount >= size_t(std::numeric_limits<int>::max()))
        return; // a view cannot address more rows
    const size_t before = d->rowCount;
    d->append(found);
    if (d->rowCount == before)
        return;
    if (!d->order.empty())
        d->order.push_back(uint32_t(before));
    if (!d->filling)
        announceRows();
}

void ResultsModel::addRows(int, const std::shared_ptr<const RowBlock> &block, size_t first, size_t count)
{
    if (d->archives.empty())
        d->archives.push_back(ArchiveInfo{QString(), QStringLiteral("Unknown")});
    count = std::min(count, size_t(std::numeric_limits<int>::max()) - d->rowCount);
    if (count == 0)
        return; // a view cannot address more rows
    const size_t before = d->rowCount;
    d->adopt(block, first, count);
    for (size_t i = before; !d->order.empty() && i < d->rowCount; ++i)
        d->order.push_back(uint32_t(i));
    if (!d->filling)
        announceRows();
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
        const RowBlock::Row &r = d->viewRow(row).row;
        return (r.flags() & DateShown) ? formatPackedDate(r.date) : QString();
    }
    case ColSize: {
        const RowBlock::Row &r = d->viewRow(row).row;
        return sizeShownIn(r) ? FormatGroupedNumber(r.size) : QString();
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
    const Impl::RowRef r = d->viewRow(row);
    return r.block.folder(r.row).toByteArray();
}

QString ResultsModel::folderLine(int row) const
{
    const Impl::RowRef r = d->viewRow(row);
    return decodeArchiveText(r.block.folder(r.row));
}

QByteArray ResultsModel::nameBytes(int row) const
{
    const Impl::RowRef r = d->viewRow(row);
    return r.block.name(r.row).toByteArray();
}

QString ResultsModel::name(int row) const
{
    const Impl::RowRef r = d->viewRow(row);
    return decodeArchiveText(r.block.name(r.row));
}

QString ResultsModel::type(int row) const
{
    const Impl::RowRef r = d->viewRow(row);
    const QByteArrayView t = typePart(r.block.name(r.row));
    return t.isEmpty() ? QString() : decodeArchiveText(t.sliced(1));
}

qint64 ResultsModel::size(int row) const
{
    return d->viewRow(row).row.size;
}

bool ResultsModel::sizeShown(int row) const
{
    return sizeShownIn(d->viewRow(row).row);
}

int32_t ResultsModel::packedDate(int row) const
{
    return d->viewRow(row).row.date;
}

QDateTime ResultsModel::dateModified(int row) const
{
    const RowBlock::Row &r = d->viewRow(row).row;
    if (!(r.flags() & DateShown))
        return QDateTime();
    const uint32_t v = uint32_t(r.date);
    return QDateTime(QDate(int(v >> 25) + 1980, int((v >> 21) & 0xF), int((v >> 16) & 0x1F)),
                     QTime(int((v >> 11) & 0x1F), int((v >> 5) & 0x3F), int(v & 0x1F) * 2), Qt::LocalTime);
}

QString ResultsModel::widestSizeText() const
{
    if (d->sizesSeenUpTo < d->visibleRows) {
        d->forEachRow([&](size_t i, const Impl::Segment &, const RowBlock::Row &r) {
            if (i < d->sizesSeenUpTo || i >= d->visibleRows || !sizeShownIn(r))
                return;
            d->largestSize = std::max(d->largestSize, r.size);
            d->smallestSize = std::min(d->smallestSize, r.size);
        });
        d->sizesSeenUpTo = d->visibleRows;
    }
    if (d->visibleRows == 0)
        return QString();
    // Digits are equally wide in the fonts lists use: the most digits, with a sign if any.
    const QString largest = FormatGroupedNumber(d->largestSize);
    const QString smallest = FormatGroupedNumber(d->smallestSize);
    return smallest.size() > largest.size() ? smallest : largest;
}

qint64 ResultsModel::recordIndex(int row) const
{
    return d->viewRow(row).row.record();
}

qint64 ResultsModel::memoryUsed() const
{
    qint64 bytes = qint64(d->segments.capacity() * sizeof(Impl::Segment));
    const RowBlock *last = nullptr;
    for (const Impl::Segment &s : d->segments) {
        if (s.block.get() != last)
            bytes += qint64(s.block->bytes());
        last = s.block.get();
    }
    bytes += qint64(d->order.capacity() * sizeof(uint32_t));
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
    using Segment = Impl::Segment;
    using Row = RowBlock::Row;
    switch (SortColumn) {
    case ColArchive: {
        std::vector<QString> marks;
        marks.reserve(d->archives.size());
        for (const ArchiveInfo &a : d->archives)
            marks.push_back(a.mark);
        const std::vector<uint32_t> rank = rankTexts(marks);
        d->forEachRow([&](size_t i, const Segment &s, const Row &) { key[i] = rank[s.archive]; });
        break;
    }
    case ColDirectory: {
        // Every block has folders of its own; the same text in two blocks gets one rank.
        std::unordered_map<std::string_view, uint32_t> ids;
        std::vector<QString> texts;
        std::vector<uint32_t> textOf;                    // the blocks' folders one after another
        std::vector<size_t> base(d->segments.size(), 0); // the segment's block's first folder there
        for (size_t k = 0; k < d->segments.size(); ++k) {
            const RowBlock &block = *d->segments[k].block;
            if (k > 0 && d->segments[k - 1].block.get() == &block) {
                base[k] = base[k - 1];
                continue;
            }
            base[k] = textOf.size();
            for (uint32_t f = 0; f < block.folderCount(); ++f) {
                const QByteArrayView v = block.folderText(f);
                const auto [it, added] =
                    ids.try_emplace(std::string_view(v.data(), size_t(v.size())), uint32_t(texts.size()));
                if (added)
                    texts.push_back(decodeArchiveText(v));
                textOf.push_back(it->second);
            }
        }
        const std::vector<uint32_t> rank = rankTexts(texts);
        const Segment *first = d->segments.data();
        d->forEachRow([&](size_t i, const Segment &s, const Row &r) {
            key[i] = rank[textOf[base[size_t(&s - first)] + r.folder()]];
        });
        break;
    }
    case ColFile:
    case ColType: {
        const auto text = [&](const Segment &s, const Row &r) {
            QByteArrayView v = s.block->name(r);
            if (SortColumn == ColType) {
                v = typePart(v);
                if (!v.isEmpty())
                    v = v.sliced(1);
            }
            return v;
        };
        if (SortColumn == ColFile && collatesLikeC()) {
            FoldedKeys keys(d->rowCount);
            d->forEachRow([&](size_t, const Segment &s, const Row &r) { keys.add(text(s, r)); });
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
        d->forEachRow([&](size_t i, const Segment &s, const Row &r) {
            const QByteArrayView v = text(s, r);
            const auto [it, added] =
                ids.try_emplace(std::string_view(v.data(), size_t(v.size())), uint32_t(texts.size()));
            if (added)
                texts.push_back(decodeArchiveText(v));
            textOf[i] = it->second;
        });
        const std::vector<uint32_t> rank = rankTexts(texts);
        for (size_t i = 0; i < d->rowCount; ++i)
            key[i] = rank[textOf[i]];
        break;
    }
    case ColDate:
        // Packed date-times grow with time when read unsigned; empty cells come first.
        d->forEachRow([&](size_t i, const Segment &, const Row &r) {
            key[i] = (r.flags() & DateShown) ? uint64_t(uint32_t(r.date)) + 1 : 0;
        });
        break;
    case ColSize:
        // Signed sizes mapped onto unsigned order; empty cells below every size.
        d->forEachRow([&](size_t i, const Segment &, const Row &r) {
            key[i] = sizeShownIn(r) ? (uint64_t(r.size) ^ (uint64_t(1) << 63)) : 0;
        });
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
