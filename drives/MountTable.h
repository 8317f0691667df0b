#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

// One line of /proc/self/mountinfo, with the kernel's octal escapes undone.
struct MountEntry
{
    QString mountPoint; // "/media/ann/My Disc"
    QString fsType;     // "iso9660"
    QString source;     // "/dev/sr0"
};

// Parses mountinfo text; lines that do not have the expected shape are skipped.
QList<MountEntry> parseMountInfo(const QByteArray &text);
// Undoes "\040" (blank), "\011", "\012", "\134" and every other three-digit octal escape.
QString decodeMountField(const QByteArray &field);
// The current process's mount table (empty when it cannot be read).
QList<MountEntry> readMountTable();
