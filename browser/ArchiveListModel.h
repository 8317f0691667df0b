#pragma once

#include "ArchiveEntry.h"

#include <QAbstractTableModel>

#include <memory>

namespace browser {

// The catalog browser's rows: one per archive, stored compactly (numbers as numbers, the texts
// of all rows in one UTF-8 arena, folders once) and formatted only when a cell is asked for.
// Sorting happens here with typed keys. The large-icon, small-icon, list and details views
// all show this one model.
class ArchiveListModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    enum Column {
        ColArchive = 0,
        ColDate,
        ColLocation,
        ColDirs,
        ColFiles,
        ColSize,
        ColFileName, // never visible: how the commands find the file behind a row
        ColNote,
        ColumnCount
    };

    explicit ArchiveListModel(QObject *parent = nullptr);
    ~ArchiveListModel() override;

    void clear();

    // While the catalog loads, rows are collected without telling views about each one;
    // flush() announces what was collected so far, endFill() the rest.
    void beginFill();
    void flush();
    void endFill();
    bool filling() const;

    // Adds a row at the end and returns its index; while filling, the row is announced by the
    // next flush and -1 is returned.
    int append(const ArchiveEntry &entry);
    // Adds a row at the end and announces it (and everything collected before) at once.
    int appendNow(const ArchiveEntry &entry);

    // Removes count rows from first on in one step.
    void removeRun(int first, int count);
    // Replaces the three texts of a row in place.
    void setTexts(int row, const QString &mark, const QString &location, const QString &note);

    // The browser's sort: the texts ("Archive", "Location", "FileName", "Note") A to Z without
    // regard to case in the locale's order, "Archived date" oldest first and "Size", "Files",
    // "Directories" largest first when the flag is set; every order reversed when it is clear.
    // Cells that show "Unknown" come after every cell with a value, whatever the flag. Stable.
    void sortRows(int column, bool flag);

    ArchiveEntry entry(int row) const;
    QString mark(int row) const;
    QString location(int row) const;
    QString note(int row) const;
    QString path(int row) const;
    bool damaged(int row) const;
    QString cellText(int row, int column) const;
    // The longest text a number column ("Directories", "Files", "Size") shows in any row, so the
    // column can be sized never to cut a number; empty for other columns and without rows.
    QString widestNumberText(int column) const;
    // The rows of the archives at these paths, in list order (those still listed).
    QList<int> rowsOf(const QStringList &paths) const;

    // Bytes the rows take, for the figures.
    qint64 memoryUsed() const;

    // QAbstractItemModel
    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    // Qt::AscendingOrder stands for the flag set.
    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

// The column captions, in order.
QString columnCaption(int column);

} // namespace browser
