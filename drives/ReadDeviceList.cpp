#include "ReadDeviceList.h"

#include "DriveSystem.h"
#include "gDrives.h"
#include "settings/Settings.h"

namespace {

char upper(char c)
{
    return (c >= 'a' && c <= 'z') ? char(c - 'a' + 'A') : c;
}

} // namespace

QString ReadDeviceRow::caption() const
{
    return QString(QLatin1Char(letter)) + QStringLiteral(":\\");
}

char ReadDeviceList::initialReadDevice()
{
    const QString stored = settings::get(settings::DefaultDeviceDrive).trimmed();
    if (!stored.isEmpty()) {
        const char c = upper(stored.at(0).toLatin1());
        if (c >= 'A' && c <= 'Z')
            return c;
    }
    return FindFirstCdDrive();
}

void ReadDeviceList::fill(char readDevice)
{
    m_rows.clear();
    DriveSystem &ds = driveSystem();
    const char wanted = upper(readDevice);
    for (char c = 'A'; c <= 'Z'; ++c) {
        if (driveType(c) != DriveType::CdDvdRom)
            continue;
        const DriveInfo info = ds.drive(c);
        ReadDeviceRow row;
        row.letter = c;
        row.marked = c == wanted;
        row.folderDrive = info.kind == DriveKind::Folder;
        if (row.folderDrive) {
            row.where = info.folder;
        } else {
            const QString label = ds.volumeLabel(c);
            row.where = label.isEmpty() ? info.device : info.device + QStringLiteral(" \u2013 ") + label;
        }
        m_rows.append(row);
    }
}

int ReadDeviceList::markedRow() const
{
    for (int i = 0; i < m_rows.size(); ++i)
        if (m_rows.at(i).marked)
            return i;
    return -1;
}

void ReadDeviceList::setDefault(int row)
{
    if (row < 0 || row >= m_rows.size())
        return;
    for (ReadDeviceRow &r : m_rows)
        r.marked = false;
    m_rows[row].marked = true;
}

char ReadDeviceList::chosenLetter() const
{
    const int row = markedRow();
    return row < 0 ? 0 : m_rows.at(row).letter;
}
