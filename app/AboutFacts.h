#pragma once

#include <QByteArray>
#include <QList>
#include <QRect>
#include <QString>

// What the About window shows, apart from the window.

// The machine's memory as the kernel reports it.
struct MemoryStatus
{
    qint64 totalKb = 0;     // physical memory
    qint64 availableKb = 0; // what programs can still get without swapping
    int loadPercent = 0;    // the part in use, rounded to a whole per cent
    bool known = false;
};

// From the text of /proc/meminfo: MemTotal and MemAvailable, or on kernels without
// MemAvailable the free, buffer and page-cache memory.
MemoryStatus memoryStatusFromMeminfo(const QByteArray &meminfo);
// The machine's memory now (from /proc/meminfo, else from sysinfo(2)).
MemoryStatus readMemoryStatus();

// "Memory available:" and "System resources:" as the window shows them: "16,314,396 KB" and
// "37 %".
QString memoryTotalText(const MemoryStatus &status);
QString memoryLoadText(const MemoryStatus &status);

// The project's version as four numbers, major.minor.patch.tweak, missing parts as 0.
QString fourPartVersion(const QString &projectVersion);

// The three lines under the title: version and platform, rights notice, rights holder.
QStringList aboutLines(const QString &projectVersion);

// The background pattern: 9 x 9 squares in six rows, as many columns as the width allows,
// lighter towards the right.
struct PatternSquare
{
    QRect rect;
    int grey = 255;
};
QList<PatternSquare> aboutPattern(int clientWidth);
