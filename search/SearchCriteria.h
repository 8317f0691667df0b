#pragma once

// What a search looks for, and the rules that hold one record's lines against it. No widgets:
// the search window, ambrylog-cli and the engine share them.

#include "TextQuery.h"

#include <QByteArrayView>
#include <QDate>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>

namespace search {

// Everything a search reads. The engine keeps a reference to the caller's object, so a window
// may change it from the pending-events callback: searchText and OnlyMark are read at the start
// of every archive, AdvancedMode before every record. The advanced fields (marks .. SizeLimit)
// only count in advanced mode; the search text is normalised by normaliseWord (TextQuery.h).
struct SearchCriteria
{
    bool operator==(const SearchCriteria &) const = default;

    QString searchText; // edtSearch as typed (not trimmed; "*" and "?" are dropped)
    bool AdvancedMode = false;
    QString OnlyMark; // the one archive mark to search; empty: all archives

    bool marks = false;         // chkMarked
    bool dirs = true;           // chkDir
    bool files = true;          // chkFile (the name part)
    bool types = true;          // chkType (the type with its dot)
    bool caseSensitive = false; // chkCase
    MatchMode match = MatchMode::Phrase; // cmbMatch
    bool ignoreAccents = false;          // chkAccents

    // What the simple search does (the Preferences in the window, the options on the command
    // line): the phrase or all words, accents heeded or not.
    MatchMode simpleMatch = MatchMode::Phrase;
    bool simpleIgnoreAccents = false;

    bool dateActive = false; // chkDate
    int32_t DateFrom = 0;    // packed bounds, both included (see DateChange)
    int32_t DateTo = 0;

    bool sizeActive = false; // chkSize
    bool sizeAtMost = false; // cmbSize shows exactly "at most"; anything else is "at least"
    qint64 SizeLimit = 0;    // bytes (see SizeChange)
};

// ---- The text ------------------------------------------------------------------------------

// A record's name line split at its last "." (the type keeps the dot; no dot, no type).
struct NameParts
{
    QByteArrayView name;
    QByteArrayView type;
};
inline NameParts splitName(QByteArrayView nameLine)
{
    const qsizetype dot = nameLine.lastIndexOf('.');
    if (dot < 0)
        return {nameLine, QByteArrayView()};
    return {nameLine.first(dot), nameLine.sliced(dot)};
}
inline QByteArrayView namePart(QByteArrayView nameLine)
{
    return splitName(nameLine).name;
}
inline QByteArrayView typePart(QByteArrayView nameLine)
{
    return splitName(nameLine).type;
}

// Hands put the fields of a record the text is looked for in, in order: in simple mode the
// folder and name lines whole; in advanced mode the folder, the name and the type as chkDir,
// chkFile and chkType choose (the mark is held against the text once per archive). Every
// reading of a record's text goes through here, so each path joins the same fields.
template <typename Put>
inline void forEachMatchField(const SearchCriteria &c, bool advanced, QByteArrayView folder,
                              QByteArrayView nameLine, Put &&put)
{
    if (!advanced) {
        put(folder);
        put(nameLine);
        return;
    }
    if (c.dirs)
        put(folder);
    const NameParts parts = splitName(nameLine);
    if (c.files)
        put(parts.name);
    if (c.types)
        put(parts.type);
}

// ---- Dates ---------------------------------------------------------------------------------

// The date bounds for the two pickers' dates, given in either order: the earlier day from
// 00:00:00, the later day to 23:59:58; a year outside 1980..2107 gives the bound 0.
void DateChange(const QDate &a, const QDate &b, SearchCriteria &c);

// Whether a record's date-time line lies within the bounds; a line that is not an integer
// counts as 0.
bool DateInRange(QByteArrayView dateLine, const SearchCriteria &c);

// ---- Sizes ---------------------------------------------------------------------------------

// The units of cmbMultipler, in the order it lists them; decimal steps, not 1,024.
enum class SizeUnit { Bytes, KiloBytes, MegaBytes, GigaBytes };
inline constexpr SizeUnit kDefaultSizeUnit = SizeUnit::KiloBytes;

// "Bytes", "KiloBytes", "MegaBytes", "GigaBytes": the captions the window lists and the command
// line takes.
QStringList sizeUnitCaptions();
QString sizeUnitCaption(SizeUnit unit);
// The unit with this caption, or the one at this place of the list; none for anything else.
std::optional<SizeUnit> sizeUnitNamed(QStringView caption);
std::optional<SizeUnit> sizeUnitAt(int index);
// 1, 1,000, 1,000,000 or 1,000,000,000.
qint64 sizeMultiplier(SizeUnit unit);
// SizeLimit = position (the number shown, 0..32767) x the unit's multiplier; no unit gives 0.
void SizeChange(int position, std::optional<SizeUnit> unit, SearchCriteria &c);

// Whether a record's size line passes the size criterion; a line that is not an integer (once
// its dots are dropped) counts as 0.
bool SizeMatches(QByteArrayView sizeLine, const SearchCriteria &c);

} // namespace search
