#include "ImportVolumeList.h"

#include "util/gUtils.h"

ImportVolumeList::ImportVolumeList(QObject *parent) : QAbstractTableModel(parent) {}

void ImportVolumeList::setVolumes(const QList<catimport::Volume> &volumes)
{
    beginResetModel();
    m_rows.clear();
    for (const catimport::Volume &v : volumes)
        m_rows.append(
            {v.name, v.name.trimmed(), v.note, v.refusal, v.files, v.bytes, v.sound() && v.files > 0});
    endResetModel();
}

int ImportVolumeList::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_rows.size());
}

int ImportVolumeList::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant ImportVolumeList::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= m_rows.size())
        return {};
    const Row &r = m_rows.at(index.row());
    const bool takeable = r.refusal.isEmpty() && r.files > 0;
    switch (index.column()) {
    case MarkColumn:
        if (role == Qt::DisplayRole || role == Qt::EditRole)
            return r.mark;
        if (role == Qt::CheckStateRole)
            return r.ticked ? Qt::Checked : Qt::Unchecked;
        if (role == Qt::ToolTipRole && r.mark != r.name)
            return QStringLiteral("Called \"%1\" in the file").arg(r.name);
        break;
    case FilesColumn:
        if (role == Qt::DisplayRole)
            return FormatGroupedNumber(r.files);
        if (role == Qt::TextAlignmentRole)
            return int(Qt::AlignRight | Qt::AlignVCenter);
        break;
    case SizeColumn:
        if (role == Qt::DisplayRole)
            return FormatFileSize(r.bytes);
        if (role == Qt::TextAlignmentRole)
            return int(Qt::AlignRight | Qt::AlignVCenter);
        break;
    case NoteColumn:
        if (role == Qt::DisplayRole || role == Qt::ToolTipRole) {
            if (!r.refusal.isEmpty())
                return QString(QStringLiteral("Cannot be imported: ") + r.refusal);
            return takeable ? r.note : QStringLiteral("Holds no files.");
        }
        break;
    default:
        break;
    }
    return {};
}

bool ImportVolumeList::setData(const QModelIndex &index, const QVariant &value, int role)
{
    if (!index.isValid() || index.column() != MarkColumn || !(flags(index) & Qt::ItemIsEnabled))
        return false;
    Row &r = m_rows[index.row()];
    if (role == Qt::CheckStateRole) {
        r.ticked = value.toInt() == Qt::Checked;
    } else if (role == Qt::EditRole) {
        const QString mark = value.toString().trimmed();
        if (mark.isEmpty())
            return false; // an archive needs a mark
        r.mark = mark;
    } else {
        return false;
    }
    emit dataChanged(index, index, {role});
    return true;
}

Qt::ItemFlags ImportVolumeList::flags(const QModelIndex &index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    const Row &r = m_rows.at(index.row());
    if (!r.refusal.isEmpty() || r.files == 0)
        return Qt::ItemIsSelectable; // shown, but not to be taken
    Qt::ItemFlags f = Qt::ItemIsSelectable | Qt::ItemIsEnabled;
    if (index.column() == MarkColumn)
        f |= Qt::ItemIsUserCheckable | Qt::ItemIsEditable;
    return f;
}

QVariant ImportVolumeList::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    switch (section) {
    case MarkColumn:
        return QStringLiteral("Mark");
    case FilesColumn:
        return QStringLiteral("Files");
    case SizeColumn:
        return QStringLiteral("Size");
    case NoteColumn:
        return QStringLiteral("Note");
    default:
        return {};
    }
}

backup::ImportChoice ImportVolumeList::choice() const
{
    backup::ImportChoice c;
    c.all = false;
    for (qsizetype i = 0; i < m_rows.size(); ++i)
        if (m_rows.at(i).ticked)
            c.marks.insert(i, m_rows.at(i).mark);
    return c;
}

int ImportVolumeList::tickedCount() const
{
    return int(std::count_if(m_rows.cbegin(), m_rows.cend(), [](const Row &r) { return r.ticked; }));
}
