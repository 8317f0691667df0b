#pragma once

#include "CatalogImportJob.h"

#include <QAbstractTableModel>

// The volumes an import found, for the user to choose from: a row per volume with its mark
// (ticked and editable), its files, its size and its note, or why it cannot be taken (such a
// row can be neither ticked nor edited). Every volume that can be taken starts ticked, marked
// with its name.
class ImportVolumeList : public QAbstractTableModel
{
    Q_OBJECT
public:
    enum Column { MarkColumn, FilesColumn, SizeColumn, NoteColumn, ColumnCount };

    explicit ImportVolumeList(QObject *parent = nullptr);
    void setVolumes(const QList<catimport::Volume> &volumes);

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex &index, const QVariant &value, int role = Qt::EditRole) override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    // The ticked volumes with their marks, as the import takes them.
    backup::ImportChoice choice() const;
    int tickedCount() const;

private:
    struct Row
    {
        QString name, mark, note, refusal;
        qint64 files = 0, bytes = 0;
        bool ticked = false;
    };
    QList<Row> m_rows;
};
