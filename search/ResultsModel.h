#pragma once

// The search results: one row per matching file record, kept compactly (in the blocks of
// RowBlock.h, marks stored once per archive, sizes and dates as numbers) and formatted only
// when a cell is asked for. Sorting happens here, with typed comparisons.

#include "SearchEngine.h"

#include <QAbstractTableModel>
#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <memory>
#include <vector>

namespace search {

// The rank of every text when compared by the user's locale without regard to letter case;
// equal texts share one, so rows that compare equal can keep their order.
std::vector<uint32_t> rankTexts(const std::vector<QString> &texts);

class ResultsModel : public QAbstractTableModel, public ResultSink
{
    Q_OBJECT
public:
    enum Column { ColArchive = 0, ColDirectory, ColFile, ColType, ColDate, ColSize, ColumnCount };

    explicit ResultsModel(QObject *parent = nullptr);
    ~ResultsModel() override;

    // Removes every row (the next search's rows replace them).
    void clear();

    // While a search runs, rows are collected without telling views about each one; end()
    // announces them all at once. Rows added outside begin/end are announced one by one.
    void beginFill();
    void endFill();

    // ResultSink
    void beginArchive(int id, const ArchiveInfo &archive) override;
    void addRow(const FoundRecord &row) override;
    // Keeps the block: its rows are not copied.
    void addRows(int archiveId, const std::shared_ptr<const RowBlock> &block, size_t first,
                 size_t count) override;
    bool keepsBlocks() const override { return true; }

    // QAbstractItemModel
    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    // Qt::AscendingOrder stands for the window's SortAscending = true (see sortRows).
    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;

    // The window's sort: "Archive", "Directory", "File", "Type" A to Z and "Date Modified"
    // oldest first when SortAscending; "Size" the other way round (largest first). Text is
    // compared by the user's locale without regard to letter case. Stable: equal rows keep
    // their order.
    void sortRows(int SortColumn, bool SortAscending);

    // Row access (row = view row, after sorting) for retrieval and properties.
    QString mark(int row) const;                 // the caption ("Unknown" for an empty mark)
    QString folderLine(int row) const;           // decoded folder line ("\" for the root)
    QByteArray folderBytes(int row) const;       // the folder line's bytes as stored
    QString name(int row) const;                 // decoded name line with its type
    QByteArray nameBytes(int row) const;         // the name line's bytes as stored
    QString type(int row) const;                 // the type without its dot
    qint64 size(int row) const;                  // 0 when the size could not be read
    bool sizeShown(int row) const;               // the Size cell is filled
    int32_t packedDate(int row) const;           // the date-time line's low 32 bits
    QDateTime dateModified(int row) const;       // invalid when the date cell is empty
    QString archivePath(int row) const;          // the archive file's full path
    qint64 recordIndex(int row) const;           // the record's index in its archive (from 0)
    QString cellText(int row, int column) const; // the text a cell shows
    // The longest text the Size column shows in any row (not only in the rows in view), so the
    // column can be sized never to cut a number; empty without rows.
    QString widestSizeText() const;

    // Bytes the rows take (storage, arena, shared strings), for the figures.
    qint64 memoryUsed() const;

private:
    void announceRows();

    struct Impl;
    std::unique_ptr<Impl> d;
};

} // namespace search
