#pragma once

#include <QList>
#include <QString>

// What the read device window shows and decides, apart from the window: one row per drive
// letter from A to Z that counts as a CD/DVD drive (optical drives and folder drives), and the
// default marker that OK stores.

// What an empty list says: that there is no drive, and how a folder becomes one.
inline const QString NoDeviceText = QStringLiteral("No device installed.");
inline const QString BindFolderHint =
    QStringLiteral("A folder can be read as a drive: right-click here (or press the Menu key) and choose "
                   "\"Bind Folder as Drive...\".");

struct ReadDeviceRow
{
    char letter = 0;
    bool marked = false;      // carries the default marker
    bool folderDrive = false; // a folder bound to the letter, which can be unbound
    QString where;            // the device node and the medium's label, or the bound folder

    // The drive's root as the row shows it: the letter, a colon and a backslash.
    QString caption() const;
};

class ReadDeviceList
{
public:
    // The read device a window starts with: the stored "DefaultDeviceDrive" when it names a
    // letter (in either case), else the first CD/DVD drive; 0 when there is none.
    static char initialReadDevice();

    // Rebuilds the rows from the drives present now. The row of the read device (compared
    // without regard to case) carries the marker; no row does when the read device is not among
    // them.
    void fill(char readDevice);

    const QList<ReadDeviceRow> &rows() const { return m_rows; }
    int count() const { return int(m_rows.size()); }
    // The row that carries the marker, -1 when none does.
    int markedRow() const;
    // Moves the marker to the row, so at most one row carries it; an index outside the rows
    // changes nothing.
    void setDefault(int row);
    // What OK makes the read device: the letter of the first marked row, 0 when none is marked.
    char chosenLetter() const;

private:
    QList<ReadDeviceRow> m_rows;
};
