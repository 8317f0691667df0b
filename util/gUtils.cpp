#include "gUtils.h"

#include <QDate>
#include <QDir>
#include <QFile>
#include <QLocale>

#include <pwd.h>
#include <unistd.h>

#include <vector>

namespace {

// The default locale with group separators switched on: the C locale omits them unless asked.
QLocale groupingLocale()
{
    QLocale loc;
    loc.setNumberOptions(loc.numberOptions() & ~QLocale::OmitGroupSeparator);
    return loc;
}

// "##,##0.00" of bytes / divisor, computed in integers so that rounding is exact on the
// decimal expansion (half away from zero) and no value near 2^63 loses digits.
QString formatScaled(qint64 bytes, qint64 divisor)
{
    const qint64 whole = bytes / divisor;
    const qint64 rest = bytes % divisor; // < 2^40, so rest * 200 cannot overflow
    const qint64 hundredths = whole * 100 + (rest * 200 + divisor) / (2 * divisor);
    const int cents = int(hundredths % 100);
    const QLocale loc = groupingLocale();
    QString frac = loc.toString(cents);
    if (cents < 10)
        frac.prepend(loc.zeroDigit());
    return loc.toString(hundredths / 100) + loc.decimalPoint() + frac;
}

bool isBlankOrControl(QChar c)
{
    return c.unicode() <= 0x20;
}

QString trimBlanksAndControls(const QString &s)
{
    qsizetype begin = 0, end = s.size();
    while (begin < end && isBlankOrControl(s.at(begin)))
        ++begin;
    while (end > begin && isBlankOrControl(s.at(end - 1)))
        --end;
    return s.mid(begin, end - begin);
}

// Steps 2 and 3 of the folder-line rule on what is left after the root.
QString folderLineFromRemainder(QString rest, QChar separator)
{
    if (trimBlanksAndControls(rest).isEmpty())
        return QStringLiteral("\\");
    if (rest.endsWith(separator))
        rest.chop(1);
    return rest;
}

QString withoutTrailingSlashes(QString path)
{
    while (path.size() > 1 && path.endsWith(QLatin1Char('/')))
        path.chop(1);
    return path;
}

} // namespace

QString FormatFileSize(qint64 bytes)
{
    if (bytes > Q_INT64_C(999999999999))
        return formatScaled(bytes, Q_INT64_C(1) << 40) + QStringLiteral(" TB");
    if (bytes > Q_INT64_C(999999999))
        return formatScaled(bytes, Q_INT64_C(1) << 30) + QStringLiteral(" GB");
    if (bytes > Q_INT64_C(999999))
        return formatScaled(bytes, Q_INT64_C(1) << 20) + QStringLiteral(" MB");
    if (bytes > 999)
        return formatScaled(bytes, 1024) + QStringLiteral(" KB");
    if (bytes == 0)
        return QStringLiteral("Zero Bytes");
    return QString::number(bytes) + QStringLiteral(" Bytes");
}

QString FormatGroupedNumber(qint64 value)
{
    if (value == 0)
        return QStringLiteral("0");
    return groupingLocale().toString(value);
}

QString countOf(qint64 n, const char *one, const char *many)
{
    return FormatGroupedNumber(n) + QLatin1Char(' ') + QLatin1String(n == 1 ? one : many);
}

QString YearRangeText(int firstYear, int currentYear)
{
    if (firstYear < currentYear)
        return QString::number(firstYear) + QLatin1Char('-') + QString::number(currentYear);
    return QString::number(firstYear);
}

QString YearRangeText(int firstYear)
{
    return YearRangeText(firstYear, QDate::currentDate().year());
}

QString AddTrailingBackslash(const QString &path)
{
    if (path.isEmpty() || path.endsWith(QLatin1Char('\\')))
        return path;
    return path + QLatin1Char('\\');
}

QString AddTrailingSlash(const QString &path)
{
    if (path.isEmpty() || path.endsWith(QLatin1Char('/')))
        return path;
    return path + QLatin1Char('/');
}

QString DiscRelativeFolder(const QString &root, const QString &folder)
{
    const QString base = AddTrailingSlash(withoutTrailingSlashes(root));
    QString rest;
    if (folder.startsWith(base))
        rest = folder.mid(base.size());
    else if (folder == withoutTrailingSlashes(root))
        rest.clear(); // the root itself, given without its "/"
    else
        rest = folder; // not below the root: keep the whole path rather than cut an arbitrary part
    while (rest.startsWith(QLatin1Char('/')))
        rest.remove(0, 1);
    rest = folderLineFromRemainder(rest, QLatin1Char('/'));
    if (rest == QLatin1String("\\"))
        return rest;
    rest.replace(QLatin1Char('/'), QLatin1Char('\\'));
    return rest;
}

QString DiscRelativeFolder(const QString &driveFolder)
{
    return folderLineFromRemainder(driveFolder.mid(3), QLatin1Char('\\'));
}

namespace {

// Environment paths are bytes; decode them the way file names are decoded.
QString pathFromEnvironment(const char *name)
{
    return QFile::decodeName(qgetenv(name));
}

QString homeFolder()
{
    QString home = pathFromEnvironment("HOME");
    if (home.isEmpty() || !QDir::isAbsolutePath(home)) {
        long size = sysconf(_SC_GETPW_R_SIZE_MAX);
        std::vector<char> buffer(size > 0 ? size_t(size) : 16384);
        passwd pw{};
        passwd *found = nullptr;
        if (getpwuid_r(getuid(), &pw, buffer.data(), buffer.size(), &found) == 0 && found && found->pw_dir)
            home = QFile::decodeName(found->pw_dir);
    }
    if (home.isEmpty() || !QDir::isAbsolutePath(home))
        return QString(); // never fall back to a relative folder
    return withoutTrailingSlashes(QDir::cleanPath(home));
}

// The base-directory rules: an absolute $<variable>, else the home's fallback folder.
QString baseDirectory(const char *variable, const QString &fallback)
{
    const QString xdg = pathFromEnvironment(variable);
    if (!xdg.isEmpty() && QDir::isAbsolutePath(xdg))
        return withoutTrailingSlashes(QDir::cleanPath(xdg));
    const QString home = homeFolder();
    return home.isEmpty() ? QString() : (home == QLatin1String("/") ? QString() : home) + fallback;
}

} // namespace

QString GetRoamingAppDataFolder()
{
    return baseDirectory("XDG_DATA_HOME", QStringLiteral("/.local/share"));
}

QString GetConfigHomeFolder()
{
    return baseDirectory("XDG_CONFIG_HOME", QStringLiteral("/.config"));
}

QString DriveLetterFromVolumeMask(const VolumeNotice &notice)
{
    if (!(notice.flags & VolumeNoticeMediaFlag))
        return QString();
    QString result;
    for (int bit = 0; bit <= 25; ++bit) {
        if (notice.unitMask & (quint32(1) << bit))
            result = QChar(char16_t(u'A' + bit)) + QStringLiteral(":");
    }
    return result;
}

QByteArray UnscrambleText(const QByteArray &scrambled)
{
    QByteArray out(scrambled);
    for (qsizetype i = 0; i < out.size(); ++i)
        out[i] = char(quint8(quint8(out[i]) - quint8((i + 88) & 0xFF)));
    return out;
}

QByteArray ScrambleText(const QByteArray &plain)
{
    QByteArray out(plain);
    for (qsizetype i = 0; i < out.size(); ++i)
        out[i] = char(quint8(quint8(out[i]) + quint8((i + 88) & 0xFF)));
    return out;
}

QString UnscrambleText(const QString &scrambled)
{
    QString out(scrambled);
    for (qsizetype i = 0; i < out.size(); ++i)
        out[i] = QChar(char16_t((out.at(i).unicode() - (i + 88)) & 0xFF));
    return out;
}
