#include "MountTable.h"

#include <QFile>

QString decodeMountField(const QByteArray &field)
{
    QByteArray out;
    out.reserve(field.size());
    for (qsizetype i = 0; i < field.size(); ++i) {
        const char c = field.at(i);
        if (c == '\\' && i + 3 < field.size()) {
            const char a = field.at(i + 1), b = field.at(i + 2), d = field.at(i + 3);
            const auto octal = [](char x) { return x >= '0' && x <= '7'; };
            if (octal(a) && octal(b) && octal(d) && a <= '3') {
                out.append(char(((a - '0') << 6) | ((b - '0') << 3) | (d - '0')));
                i += 3;
                continue;
            }
        }
        out.append(c);
    }
    return QString::fromUtf8(out);
}

QList<MountEntry> parseMountInfo(const QByteArray &text)
{
    QList<MountEntry> out;
    for (const QByteArray &line : text.split('\n')) {
        // id parent major:minor root mountpoint options [optional...] - fstype source superoptions
        const QList<QByteArray> fields = line.split(' ');
        if (fields.size() < 10)
            continue;
        const qsizetype dash = fields.indexOf(QByteArrayLiteral("-"), 6);
        if (dash < 0 || dash + 2 >= fields.size())
            continue;
        MountEntry e;
        e.mountPoint = decodeMountField(fields.at(4));
        e.fsType = decodeMountField(fields.at(dash + 1));
        e.source = decodeMountField(fields.at(dash + 2));
        if (e.mountPoint.isEmpty())
            continue;
        out.append(e);
    }
    return out;
}

QList<MountEntry> readMountTable()
{
    QFile f(QStringLiteral("/proc/self/mountinfo"));
    if (!f.open(QIODevice::ReadOnly))
        return {};
    // A proc file has no size; readAll reads until the end.
    return parseMountInfo(f.readAll());
}
