#include "AboutFacts.h"

#include "util/gUtils.h"

#include <QFile>
#include <QStringList>

#include <sys/sysinfo.h>

namespace {

// The rights holder's name, kept only in scrambled form.
const QByteArray ScrambledHolder("\x9a\xcb\xc3\xc2\xc4\xd1\xc4\xc4\xce");

int percentInUse(qint64 total, qint64 available)
{
    if (total <= 0)
        return 0;
    const qint64 used = qBound<qint64>(0, total - available, total);
    return int((used * 100 + total / 2) / total);
}

} // namespace

MemoryStatus memoryStatusFromMeminfo(const QByteArray &meminfo)
{
    qint64 total = -1, available = -1, free = -1, buffers = 0, cached = 0;
    for (const QByteArray &line : meminfo.split('\n')) {
        const int colon = line.indexOf(':');
        if (colon <= 0)
            continue;
        const QByteArray name = line.left(colon);
        QByteArray value = line.mid(colon + 1).trimmed();
        if (value.endsWith(" kB"))
            value.chop(3);
        bool ok = false;
        const qint64 kb = value.trimmed().toLongLong(&ok);
        if (!ok || kb < 0)
            continue;
        if (name == "MemTotal")
            total = kb;
        else if (name == "MemAvailable")
            available = kb;
        else if (name == "MemFree")
            free = kb;
        else if (name == "Buffers")
            buffers = kb;
        else if (name == "Cached")
            cached = kb;
    }
    MemoryStatus s;
    if (total <= 0)
        return s;
    if (available < 0) {
        if (free < 0)
            return s;
        available = free + buffers + cached;
    }
    s.totalKb = total;
    s.availableKb = qMin(available, total);
    s.loadPercent = percentInUse(total, available);
    s.known = true;
    return s;
}

MemoryStatus readMemoryStatus()
{
    QFile file(QStringLiteral("/proc/meminfo"));
    if (file.open(QIODevice::ReadOnly)) {
        const MemoryStatus s = memoryStatusFromMeminfo(file.readAll());
        if (s.known)
            return s;
    }
    struct sysinfo info = {};
    MemoryStatus s;
    if (sysinfo(&info) != 0 || info.totalram == 0)
        return s;
    const qint64 unit = info.mem_unit ? info.mem_unit : 1;
    s.totalKb = qint64(info.totalram) * unit / 1024;
    s.availableKb = qint64(info.freeram + info.bufferram) * unit / 1024;
    s.loadPercent = percentInUse(s.totalKb, s.availableKb);
    s.known = true;
    return s;
}

QString memoryTotalText(const MemoryStatus &status)
{
    return FormatGroupedNumber(status.totalKb) + QStringLiteral(" KB");
}

QString memoryLoadText(const MemoryStatus &status)
{
    return QString::asprintf("%d %%", status.loadPercent);
}

QString fourPartVersion(const QString &projectVersion)
{
    QStringList parts = projectVersion.trimmed().split(QLatin1Char('.'));
    QStringList out;
    for (int i = 0; i < 4; ++i) {
        bool ok = false;
        const uint n = i < parts.size() ? parts.at(i).toUInt(&ok) : 0;
        out << QString::number(ok ? n : 0);
    }
    return out.join(QLatin1Char('.'));
}

QStringList aboutLines(const QString &projectVersion)
{
    return {QStringLiteral("Version ") + fourPartVersion(projectVersion) + QStringLiteral(" for Linux\u00ae"),
            QStringLiteral("Copyright \u00a9 ") + YearRangeText(2005) +
                QStringLiteral(". All rights reserved."),
            QString::fromLatin1(UnscrambleText(ScrambledHolder))};
}

QList<PatternSquare> aboutPattern(int clientWidth)
{
    QList<PatternSquare> out;
    const int columns = (clientWidth - 36) / 36;
    for (int c = 0; c < columns; ++c) {
        const int grey = (255 - 2 * (columns - 1) + 2 * c) & 0xFF;
        for (int r = 0; r < 6; ++r)
            out.append({QRect(36 * c + 4, 36 * r + 37, 9, 9), grey});
    }
    return out;
}
