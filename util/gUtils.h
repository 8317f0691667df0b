#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>

// Small stateless helpers shared by every window: how sizes, counts and years are shown,
// path normalisation, and drive letters from volume notices. No widgets here; the shell and
// clipboard wrappers live in util/gui/gUtilsGui.h.
//
// Numbers shown to the user take their separators from the default QLocale (the system
// locale unless something called QLocale::setDefault).

// "Zero Bytes", "999 Bytes", "0.98 KB", "1.00 MB", "1,024.00 TB": decimal thresholds,
// binary divisors, two decimals rounded half away from zero.
QString FormatFileSize(qint64 bytes);

// All digits with thousands separators: "1,234,567", "-1,234", "0".
QString FormatGroupedNumber(qint64 value);

// A count with its noun in the number it needs: "1 archive", "1,234 archives", "0 archives".
QString countOf(qint64 n, const char *one, const char *many);

// "2005-2026" when firstYear lies before the current year, else just the year.
QString YearRangeText(int firstYear);
QString YearRangeText(int firstYear, int currentYear);

// The path with one trailing separator; the empty path stays empty.
QString AddTrailingBackslash(const QString &path);
QString AddTrailingSlash(const QString &path);

// The folder line of an archive record for a folder on a disc: relative to the disc root,
// with "\" as separator, "\" for the root itself, never a trailing "\".
// root and folder are real paths ending in "/" (folder lies below root), for example
// ("/media/u/DISC/", "/media/u/DISC/Music/Rock/") gives "Music\Rock".
QString DiscRelativeFolder(const QString &root, const QString &folder);
// The same for a drive-letter path such as "E:\Music\" (the first three characters are the root).
QString DiscRelativeFolder(const QString &driveFolder);

// The user's data home ($XDG_DATA_HOME when absolute, else ~/.local/share) without a
// trailing separator; the empty text when neither can be determined.
QString GetRoamingAppDataFolder();
// The user's configuration home ($XDG_CONFIG_HOME when absolute, else ~/.config) without a
// trailing separator; the empty text when neither can be determined.
QString GetConfigHomeFolder();

// A volume-arrival notice: bit 0 of unitMask is drive A, bit 25 drive Z; flags bit 0 marks media.
struct VolumeNotice
{
    quint32 unitMask = 0;
    quint16 flags = 0;
};
inline constexpr quint16 VolumeNoticeMediaFlag = 0x0001;

// "E:" for the highest drive letter in the mask when the notice concerns media, else "".
QString DriveLetterFromVolumeMask(const VolumeNotice &notice);

// Lowers every byte by its position plus 88 (mod 256); ScrambleText is the inverse, for
// producing the stored forms of fixed texts.
QByteArray UnscrambleText(const QByteArray &scrambled);
QByteArray ScrambleText(const QByteArray &plain);
// Works on Latin-1 code units; the result is read back as Latin-1.
QString UnscrambleText(const QString &scrambled);
