#include "Autostart.h"

#include "util/gUtils.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace {

const QString kEnv = QStringLiteral("/usr/bin/env");

bool isReserved(QChar c)
{
    static const QString reserved = QStringLiteral(" \t\n\"'\\><~|&;$*?#()`");
    return reserved.contains(c);
}

// The string escaping every desktop-entry value gets, on top of the Exec quoting.
QString escapeValue(const QString &s)
{
    QString out;
    out.reserve(s.size() + 8);
    for (const QChar c : s) {
        switch (c.unicode()) {
        case '\\':
            out += QLatin1String("\\\\");
            break;
        case '\n':
            out += QLatin1String("\\n");
            break;
        case '\t':
            out += QLatin1String("\\t");
            break;
        case '\r':
            out += QLatin1String("\\r");
            break;
        default:
            out += c;
        }
    }
    return out;
}

QString unescapeValue(const QString &s)
{
    QString out;
    out.reserve(s.size());
    for (qsizetype i = 0; i < s.size(); ++i) {
        const QChar c = s.at(i);
        if (c != QLatin1Char('\\') || i + 1 == s.size()) {
            out += c;
            continue;
        }
        const QChar n = s.at(++i);
        switch (n.unicode()) {
        case 's':
            out += QLatin1Char(' ');
            break;
        case 'n':
            out += QLatin1Char('\n');
            break;
        case 't':
            out += QLatin1Char('\t');
            break;
        case 'r':
            out += QLatin1Char('\r');
            break;
        case '\\':
            out += QLatin1Char('\\');
            break;
        default:
            out += c + QString(n); // not an escape: both characters stay
        }
    }
    return out;
}

// "%%" is a literal percent sign; any other field code expands to nothing at start-up.
QString expandFieldCodes(const QString &arg, bool *onlyCodes)
{
    QString out;
    bool sawCode = false;
    for (qsizetype i = 0; i < arg.size(); ++i) {
        if (arg.at(i) == QLatin1Char('%') && i + 1 < arg.size()) {
            if (arg.at(i + 1) == QLatin1Char('%'))
                out += QLatin1Char('%');
            else
                sawCode = true;
            ++i;
        } else {
            out += arg.at(i);
        }
    }
    *onlyCodes = sawCode && out.isEmpty();
    return out;
}

// Splits the command text kept by callers: a quoted program path, then blank-separated words.
QStringList splitCommand(const QString &command)
{
    const QString c = command.trimmed();
    QString program, rest;
    if (c.startsWith(QLatin1Char('"'))) {
        // The path ends at the last quote: the arguments never hold one, a path may.
        const qsizetype close = c.lastIndexOf(QLatin1Char('"'));
        if (close > 0) {
            program = c.mid(1, close - 1);
            rest = c.mid(close + 1);
        } else {
            program = c.mid(1);
        }
    } else {
        const qsizetype blank = c.indexOf(QLatin1Char(' '));
        program = blank < 0 ? c : c.left(blank);
        rest = blank < 0 ? QString() : c.mid(blank + 1);
    }
    QStringList args{program};
    args += rest.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    return args;
}

struct EntryFields
{
    QString exec;
    bool hasExec = false;
    bool hidden = false;
    bool disabled = false;
};

EntryFields readEntry(const QString &path)
{
    EntryFields fields;
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return fields;
    const QString content = QString::fromUtf8(f.readAll());
    bool inMainGroup = false;
    for (QString line : content.split(QLatin1Char('\n'))) {
        if (line.endsWith(QLatin1Char('\r')))
            line.chop(1);
        if (line.startsWith(QLatin1Char('['))) {
            inMainGroup = line.trimmed() == QLatin1String("[Desktop Entry]");
            continue;
        }
        if (!inMainGroup || line.startsWith(QLatin1Char('#')))
            continue;
        const qsizetype eq = line.indexOf(QLatin1Char('='));
        if (eq <= 0)
            continue;
        const QString key = line.left(eq).trimmed();
        QString value = line.mid(eq + 1);
        while (value.startsWith(QLatin1Char(' ')) || value.startsWith(QLatin1Char('\t')))
            value.remove(0, 1);
        if (key == QLatin1String("Exec")) {
            fields.exec = value;
            fields.hasExec = true;
        } else if (key == QLatin1String("Hidden")) {
            fields.hidden = value.trimmed() == QLatin1String("true");
        } else if (key == QLatin1String("X-GNOME-Autostart-enabled")) {
            fields.disabled = value.trimmed() == QLatin1String("false");
        }
    }
    return fields;
}

} // namespace

QString autostartEntryPath()
{
    const QString home = GetConfigHomeFolder();
    return home.isEmpty() ? QString() : home + QStringLiteral("/autostart/ambrylog.desktop");
}

QString quoteExecArg(const QString &arg)
{
    QString escaped;
    bool needsQuotes = arg.isEmpty();
    for (const QChar c : arg) {
        if (isReserved(c))
            needsQuotes = true;
        if (c == QLatin1Char('%'))
            escaped += QLatin1String("%%");
        else
            escaped += c;
    }
    if (!needsQuotes)
        return escaped;
    QString out = QStringLiteral("\"");
    for (const QChar c : escaped) {
        if (c == QLatin1Char('"') || c == QLatin1Char('`') || c == QLatin1Char('$') || c == QLatin1Char('\\'))
            out += QLatin1Char('\\');
        out += c;
    }
    return out + QLatin1Char('"');
}

QString execLineFor(const QStringList &args)
{
    QStringList quoted;
    for (const QString &a : args)
        quoted << quoteExecArg(a);
    return escapeValue(quoted.join(QLatin1Char(' ')));
}

QStringList splitExecLine(const QString &fileValue, bool *ok)
{
    const QString line = unescapeValue(fileValue);
    QStringList raw;
    QString current;
    bool inQuotes = false, inArg = false;
    for (qsizetype i = 0; i < line.size(); ++i) {
        const QChar c = line.at(i);
        if (inQuotes) {
            if (c == QLatin1Char('\\') && i + 1 < line.size()) {
                const QChar n = line.at(i + 1);
                if (n == QLatin1Char('"') || n == QLatin1Char('`') || n == QLatin1Char('$') ||
                    n == QLatin1Char('\\')) {
                    current += n;
                    ++i;
                    continue;
                }
            }
            if (c == QLatin1Char('"'))
                inQuotes = false;
            else
                current += c;
        } else if (c == QLatin1Char(' ') || c == QLatin1Char('\t') || c == QLatin1Char('\n')) {
            if (inArg)
                raw << current;
            current.clear();
            inArg = false;
        } else if (c == QLatin1Char('"')) {
            inQuotes = true;
            inArg = true;
        } else {
            current += c;
            inArg = true;
        }
    }
    if (inArg)
        raw << current;
    if (ok)
        *ok = !inQuotes;

    QStringList args;
    for (const QString &a : raw) {
        bool onlyCodes = false;
        const QString expanded = expandFieldCodes(a, &onlyCodes);
        if (!onlyCodes)
            args << expanded;
    }
    return args;
}

QString readAutostartCommand()
{
    const QString path = autostartEntryPath();
    if (path.isEmpty())
        return QString();
    const EntryFields fields = readEntry(path);
    if (!fields.hasExec || fields.hidden || fields.disabled)
        return QString();
    bool ok = false;
    QStringList args = splitExecLine(fields.exec, &ok);
    if (!ok || args.isEmpty())
        return unescapeValue(fields.exec); // not ours: the caller sees it does not match
    if (args.size() > 1 && args.front() == kEnv)
        args.removeFirst();
    QString command = QLatin1Char('"') + args.takeFirst() + QLatin1Char('"');
    if (!args.isEmpty())
        command += QLatin1Char(' ') + args.join(QLatin1Char(' '));
    return command;
}

bool writeAutostartCommand(const QString &command)
{
    const QString path = autostartEntryPath();
    if (path.isEmpty() || !QDir().mkpath(QFileInfo(path).absolutePath()))
        return false;
    QStringList args = splitCommand(command);
    // Launchers look for the program before they undo "%%", so a path with a percent sign is
    // started through env.
    if (args.front().contains(QLatin1Char('%')))
        args.prepend(kEnv);
    const QString content = QStringLiteral("[Desktop Entry]\n"
                                           "Type=Application\n"
                                           "Name=Ambrylog\n"
                                           "Comment=Catalog of optical discs\n"
                                           "Exec=") +
                            execLineFor(args) +
                            QStringLiteral("\n"
                                           "Terminal=false\n"
                                           "X-GNOME-Autostart-enabled=true\n");
    QSaveFile f(path);
    if (!f.open(QIODevice::WriteOnly))
        return false;
    const QByteArray bytes = content.toUtf8();
    if (f.write(bytes) != bytes.size() || !f.flush()) {
        f.cancelWriting();
        return false;
    }
    return f.commit();
}

bool removeAutostartEntry()
{
    const QString path = autostartEntryPath();
    return !path.isEmpty() && QFileInfo::exists(path) && QFile::remove(path);
}
