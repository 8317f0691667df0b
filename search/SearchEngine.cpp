#include "SearchEngine.h"

#include "catalog/Catalog.h"

#include "ArchivePool.h"
#include "DateText.h"
#include "RowBlock.h"
#include "SkimKernel.h"
#include "catalog/ArchiveFile.h"
#include "catalog/ArchiveLayout.h"
#include "catalog/DosDateTime.h"

#include <QDir>
#include <QFile>
#include <QLocale>

#include <algorithm>
#include <cstring>
#include <deque>
#include <vector>

namespace search {

namespace {

// Fields of a match text are joined by a line feed: no record line can hold one, and a search
// text that does can never match, so a match never reaches across two fields.
constexpr char kSeparator = '\n';
constexpr QChar kSeparatorChar = QChar(u'\n');
constexpr qint64 kEventsEvery = 300;

struct AsciiUpper
{
    uchar map[256];
    constexpr AsciiUpper() : map()
    {
        for (int i = 0; i < 256; ++i)
            map[i] = uchar((i >= 'a' && i <= 'z') ? i - 32 : i);
    }
};
constexpr AsciiUpper kUpper;

// Whether the user's locale upper-cases plain ASCII letters to plain ASCII letters (not so in
// Turkish, where "i" becomes a dotted capital I) and has no rule that joins a letter with the
// next character (Lithuanian drops a dot above): only then may records skip the Unicode case
// mapping.
bool localeKeepsAsciiUpper(const QLocale &locale)
{
    if (locale.language() == QLocale::Turkish || locale.language() == QLocale::Azerbaijani ||
        locale.language() == QLocale::Lithuanian)
        return false;
    const QString lower = QStringLiteral("abcdefghijklmnopqrstuvwxyz");
    return locale.toUpper(lower) == QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZ");
}

// Substring search over bytes for a needle fixed for a whole archive.
inline bool containsBytes(const char *hay, size_t hayLen, const char *needle, size_t needleLen)
{
    if (needleLen == 0)
        return true;
    if (hayLen < needleLen)
        return false;
    const char first = needle[0];
    const char *p = hay;
    const char *last = hay + (hayLen - needleLen);
    while (p <= last) {
        p = static_cast<const char *>(std::memchr(p, first, size_t(last - p) + 1));
        if (!p)
            return false;
        if (std::memcmp(p + 1, needle + 1, needleLen - 1) == 0)
            return true;
        ++p;
    }
    return false;
}

} // namespace

bool hasAsciiUpperCase(const unsigned char *s, size_t n)
{
    // In UTF-8: U+00DF C3 9F, U+0131 C4 B1, U+0149 C5 89, U+017F C5 BF, U+01F0 C7 B0,
    // U+1E96..U+1E9A E1 BA 96..9A, U+FB00..U+FB06 EF AC 80..86; in Windows-1252: DF.
    for (size_t i = 0; i < n; ++i) {
        const unsigned char b = s[i];
        if (b < 0xC3)
            continue;
        if (b == 0xDF)
            return true;
        const unsigned char next = i + 1 < n ? s[i + 1] : 0;
        const unsigned char third = i + 2 < n ? s[i + 2] : 0;
        switch (b) {
        case 0xC3:
            if (next == 0x9F)
                return true;
            break;
        case 0xC4:
            if (next == 0xB1)
                return true;
            break;
        case 0xC5:
            if (next == 0x89 || next == 0xBF)
                return true;
            break;
        case 0xC7:
            if (next == 0xB0)
                return true;
            break;
        case 0xE1:
            if (next == 0xBA && third >= 0x96 && third <= 0x9A)
                return true;
            break;
        case 0xEF:
            if (next == 0xAC && third >= 0x80 && third <= 0x86)
                return true;
            break;
        default:
            break;
        }
    }
    return false;
}

size_t upperExpanded(const unsigned char *s, size_t n, char *out)
{
    char *const start = out;
    // Outside ASCII only the characters with an ASCII upper case matter to an ASCII text; every
    // other byte stays as it is and can never meet one. 0x80 stands in for the non-ASCII part
    // of an upper case such as "J" + combining caron.
    if (isValidUtf8(s, n)) {
        for (size_t i = 0; i < n; ++i) {
            const unsigned char b = s[i];
            const unsigned char b1 = i + 1 < n ? s[i + 1] : 0;
            const unsigned char b2 = i + 2 < n ? s[i + 2] : 0;
            const auto put = [&](const char *text, size_t used) {
                while (*text)
                    *out++ = *text++;
                i += used - 1;
            };
            if (b < 0x80)
                *out++ = char(kUpper.map[b]);
            else if (b == 0xC3 && b1 == 0x9F)
                put("SS", 2);
            else if (b == 0xC4 && b1 == 0xB1)
                put("I", 2);
            else if (b == 0xC5 && b1 == 0x89)
                put("\x80N", 2);
            else if (b == 0xC5 && b1 == 0xBF)
                put("S", 2);
            else if (b == 0xC7 && b1 == 0xB0)
                put("J\x80", 2);
            else if (b == 0xE1 && b1 == 0xBA && b2 >= 0x96 && b2 <= 0x9A) {
                static const char *const letters[] = {"H\x80", "T\x80", "W\x80", "Y\x80", "A\x80"};
                put(letters[b2 - 0x96], 3);
            } else if (b == 0xEF && b1 == 0xAC && b2 >= 0x80 && b2 <= 0x86) {
                static const char *const ligatures[] = {"FF", "FI", "FL", "FFI", "FFL", "ST", "ST"};
                put(ligatures[b2 - 0x80], 3);
            } else
                *out++ = char(b);
        }
    } else {
        // Windows-1252: only the sharp s has an ASCII upper case.
        for (size_t i = 0; i < n; ++i) {
            if (s[i] == 0xDF) {
                *out++ = 'S';
                *out++ = 'S';
            } else {
                *out++ = char(kUpper.map[s[i]]);
            }
        }
    }
    return size_t(out - start);
}

namespace {

// The first character of s[0, n) spelt in capitals as upperExpandedAnyEncoding spells it:
// writes its letters to out and returns their number; *used is the number of bytes it takes.
inline size_t spellOne(const unsigned char *s, size_t n, char *out, size_t *used)
{
    const unsigned char b = s[0];
    *used = 1;
    if (b < 0x80) {
        out[0] = char(kUpper.map[b]);
        return 1;
    }
    const unsigned char b1 = 1 < n ? s[1] : 0;
    const unsigned char b2 = 2 < n ? s[2] : 0;
    const auto put = [&](const char *text, size_t bytes) {
        size_t k = 0;
        while (text[k]) {
            out[k] = text[k];
            ++k;
        }
        *used = bytes;
        return k;
    };
    if (b == 0xDF)
        return put("SS", 1);
    if (b == 0xC3 && b1 == 0x9F)
        return put("SS", 2);
    if (b == 0xC4 && b1 == 0xB1)
        return put("I", 2);
    if (b == 0xC5 && b1 == 0x89)
        return put("\x80N", 2);
    if (b == 0xC5 && b1 == 0xBF)
        return put("S", 2);
    if (b == 0xC7 && b1 == 0xB0)
        return put("J\x80", 2);
    if (b == 0xE1 && b1 == 0xBA && b2 >= 0x96 && b2 <= 0x9A) {
        static const char *const letters[] = {"H\x80", "T\x80", "W\x80", "Y\x80", "A\x80"};
        return put(letters[b2 - 0x96], 3);
    }
    if (b == 0xEF && b1 == 0xAC && b2 >= 0x80 && b2 <= 0x86) {
        static const char *const ligatures[] = {"FF", "FI", "FL", "FFI", "FFL", "ST", "ST"};
        return put(ligatures[b2 - 0x80], 3);
    }
    out[0] = char(b);
    return 1;
}

} // namespace

size_t upperExpandedAnyEncoding(const unsigned char *s, size_t n, char *out)
{
    char *const start = out;
    size_t i = 0;
    while (i < n) {
        size_t used = 1;
        out += spellOne(s + i, n - i, out, &used);
        i += used;
    }
    return size_t(out - start);
}

// ---------------------------------------------------------------------------------------------
// Criteria helpers

QString normaliseSearchText(const QString &typed, bool caseSensitive)
{
    QString t = typed;
    t.remove(QLatin1Char('*'));
    t.remove(QLatin1Char('?'));
    return caseSensitive ? t : QLocale().toUpper(t);
}

int32_t packSearchDate(const QDate &date, int hour, int minute, int second)
{
    if (!date.isValid() || date.year() < 1980 || date.year() > 2107)
        return 0;
    const uint32_t v = (uint32_t(date.year() - 1980) << 25) | (uint32_t(date.month()) << 21) |
                       (uint32_t(date.day()) << 16) | (uint32_t(hour) << 11) | (uint32_t(minute) << 5) |
                       uint32_t(second / 2);
    return static_cast<int32_t>(v);
}

void DateChange(const QDate &a, const QDate &b, SearchCriteria &c)
{
    const QDate lower = a <= b ? a : b;
    const QDate upper = a <= b ? b : a;
    c.DateFrom = packSearchDate(lower, 0, 0, 0);
    // 23:59:59.999 packs to 23:59:58: the packing keeps two-second steps.
    c.DateTo = packSearchDate(upper, 23, 59, 59);
}

qint64 sizeMultiplier(const QString &unitText)
{
    if (unitText == QLatin1String("Bytes"))
        return 1;
    if (unitText == QLatin1String("KiloBytes"))
        return 1000;
    if (unitText == QLatin1String("MegaBytes"))
        return 1000 * 1000;
    if (unitText == QLatin1String("GigaBytes"))
        return 1000 * 1000 * 1000;
    return 0;
}

void SizeChange(int position, const QString &unitText, SearchCriteria &c)
{
    c.SizeLimit = qint64(position) * sizeMultiplier(unitText);
}

bool parseInt64(QByteArrayView text, qint64 *value)
{
    return parseDecimal64(text.data(), size_t(text.size()), value);
}

namespace {
inline bool parseLine(QByteArrayView text, qint64 *value)
{
    return parseDecimal64(text.data(), size_t(text.size()), value);
}
} // namespace

bool DateInRange(QByteArrayView dateLine, const SearchCriteria &c)
{
    qint64 v = 0;
    if (!parseInt64(dateLine, &v))
        v = 0;
    return dosdate::inRange(v, c.DateFrom, c.DateTo);
}

bool SizeMatches(QByteArrayView sizeLine, const SearchCriteria &c)
{
    qint64 v = 0;
    if (sizeLine.contains('.')) {
        char tmp[64];
        size_t n = 0;
        bool fits = true;
        for (char ch : sizeLine) {
            if (ch == '.')
                continue;
            if (n == sizeof tmp) {
                fits = false;
                break;
            }
            tmp[n++] = ch;
        }
        if (!fits || !parseDecimal64(tmp, n, &v))
            v = 0;
    } else if (!parseInt64(sizeLine, &v)) {
        v = 0;
    }
    return c.sizeAtMost ? v <= c.SizeLimit : v >= c.SizeLimit;
}

QByteArrayView namePart(QByteArrayView nameLine)
{
    const qsizetype dot = nameLine.lastIndexOf('.');
    return dot < 0 ? nameLine : nameLine.first(dot);
}

QByteArrayView typePart(QByteArrayView nameLine)
{
    const qsizetype dot = nameLine.lastIndexOf('.');
    return dot < 0 ? QByteArrayView() : nameLine.sliced(dot);
}

QString formatDateModified(const QDateTime &dt)
{
    if (!dt.isValid())
        return QString();
    const QDate d = dt.date();
    const QTime t = dt.time();
    return formatPackedDate(d.year(), d.month(), d.day(), t.hour(), t.minute(), t.second());
}

QString damagedArchivesMessage(const SearchProblems &p, int maxPaths)
{
    const qsizetype n = p.damagedArchives.size();
    if (n == 0)
        return QString();
    QString text =
        n == 1
            ? QStringLiteral("This archive is damaged; only the whole records it still holds were searched:")
            : QStringLiteral(
                  "These archives are damaged; only the whole records they still hold were searched:");
    for (qsizetype i = 0; i < n && i < maxPaths; ++i)
        text += QLatin1Char('\n') + p.damagedArchives.at(i);
    if (n > maxPaths)
        text += QStringLiteral("\n... %1 damaged archives in all.").arg(n);
    return text;
}

QString unfilledRowsMessage(const SearchProblems &p)
{
    if (p.unfilledRows == 0)
        return QString();
    if (p.unfilledRows == 1)
        return p.firstUnfilled;
    return p.firstUnfilled +
           QStringLiteral("\n(and %1 more records whose row could not be filled)").arg(p.unfilledRows - 1);
}

// ---------------------------------------------------------------------------------------------
// The engine

struct SearchEngine::Impl
{
    Impl(const SearchCriteria &criteria, ResultSink &s) : c(criteria), sink(s)
    {
        asciiFast = localeKeepsAsciiUpper(locale);
    }

    const SearchCriteria &c;
    ResultSink &sink;
    std::function<void()> pendingEvents;
    const bool *cancel = nullptr;
    std::function<bool()> terminating;
    std::function<void()> archiveDone;

    SearchProblems problems;
    QList<ArchiveInfo> archives;
    qint64 rows = 0;
    qint64 archivesRead = 0;
    qint64 onlyMarkArchives = 0;
    int threads = 1;

    QLocale locale;
    bool asciiFast = true;

    ArchiveBuffer file;
    FieldBlock block;
    std::vector<LineSpan> lines; // the record section's lines
    std::vector<char> match;     // reused ASCII match text
    QString umatch;              // reused Unicode match text

    // Per archive
    QString archivePath;
    QString mark;
    int archiveId = -1;          // -1 until the archive gives its first row
    QString archiveText;         // the search text as the archive's reading began
    bool needleAdvanced = false; // the mode the needle below was set up for
    QString needle;
    QByteArray needleBytes;
    bool needleEmpty = true;
    bool needleHasSep = false;
    bool needleAscii = true;
    bool markOk = true;
    bool markHolds = false; // the mark field alone holds the text (advanced mode, chkMarked)

    void events()
    {
        if (pendingEvents)
            pendingEvents();
    }
    bool cancelled() const { return cancel && *cancel; }

    void damaged(const QString &reason)
    {
        problems.damagedArchives.append(archivePath);
        problems.damagedReasons.append(reason);
    }

    // from > 0: the archive's rows before record from were handed out already (under archiveId).
    void addFile(const QString &path, qint64 from = 0);
    // Tells the sink about the archive before its first row.
    void beginArchive();
    void emitFound(FoundRecord &r);
    bool searchParallel(const QString &folder, const QString &mask);
    void deliver(const ScannedArchive &a);
    // Rows of the block to the sink, counted as emitFound counts them.
    void handOut(const std::shared_ptr<const RowBlock> &block, size_t first, size_t count);
    bool testRecord(QByteArrayView folder, QByteArrayView name, QByteArrayView size, QByteArrayView date,
                    bool advanced);
    int textHoldsBytes(QByteArrayView folder, QByteArrayView name, bool advanced);
    bool textHoldsUnicode(QByteArrayView folder, QByteArrayView name, bool advanced);
    void emitRow(qint64 k, QByteArrayView folder, QByteArrayView name, QByteArrayView size,
                 QByteArrayView date);
    bool searchFolder(const QString &folder, const QString &mask);

    void setUpNeedle(bool advanced);
    struct Reading
    {
        uint64_t wholeLines = 0; // whole lines of the record section before any NUL
        bool nul = false;        // the record section holds a NUL
        bool cancelled = false;  // stopped before the end: no verdict
    };
    Reading readRecords(const RecordPlan &plan, size_t recordsEnd, qint64 from);
    // Records from..count - 1 one after another (the ones before are passed over).
    Reading readInOrder(qint64 count, qint64 pars, size_t recordsEnd, qint64 from);
    bool canSkipByHits() const;
    // Resume: the mode changed so that records can no longer be skipped; *resumeFrom is the
    // first record not yet tested.
    enum class SkimResult { Done, NotPossible, Nul, Resume };
    SkimResult skimArchive(qint64 count, size_t recordsEnd, Reading *reading, qint64 *resumeFrom);
    struct Pending
    {
        qint64 k;
        QByteArrayView folder, name, size, date;
    };
    std::vector<Pending> pending; // rows of a skim, handed out when it ends without a NUL
    bool skimRecord(qint64 k, size_t hit, int role, size_t recordsEnd, bool textFound);
    bool lineMayHold(size_t pos, size_t recordsEnd, const uchar *folded, size_t m);
};

// Whether the text, spelt as upperExpandedAnyEncoding spells the line, may occur where it
// overlaps the special character at pos: when it cannot, that character cannot make the record
// match (a place of the text that needs no such character is a candidate of its own), and the
// record's lines need not be taken apart. Each way the character's letters can lie in the text
// is checked by spelling the neighbours one character at a time, most failing at the first.
bool SearchEngine::Impl::lineMayHold(size_t pos, size_t recordsEnd, const uchar *folded, size_t m)
{
    const uchar *data = reinterpret_cast<const uchar *>(file.data());
    const auto lineEnd = [&](size_t p) { return p >= recordsEnd || data[p] == '\n' || data[p] == '\r'; };
    // Bytes of the line after p, at most 3 (the longest special character).
    const auto bytesAfter = [&](size_t p) {
        size_t k = 0;
        while (k < 3 && !lineEnd(p + k))
            ++k;
        return k;
    };
    char own[4];
    size_t ownUsed = 1;
    const size_t len = spellOne(data + pos, bytesAfter(pos), own, &ownUsed);
    for (ptrdiff_t a = 1 - ptrdiff_t(len); a < ptrdiff_t(m); ++a) {
        // The character's letters at text index a.
        bool fits = true;
        for (size_t t = 0; t < len && fits; ++t) {
            const ptrdiff_t j = a + ptrdiff_t(t);
            if (j >= 0 && j < ptrdiff_t(m))
                fits = uchar(own[t]) == folded[j];
        }
        if (!fits)
            continue;
        // The rest of the text after the character, one spelt character at a time.
        size_t j = size_t(a + ptrdiff_t(len));
        size_t p = pos + ownUsed;
        while (fits && j < m) {
            if (lineEnd(p)) {
                fits = false;
                break;
            }
            char next[4];
            size_t used = 1;
            const size_t k = spellOne(data + p, bytesAfter(p), next, &used);
            for (size_t t = 0; t < k && j < m && fits; ++t, ++j)
                fits = uchar(next[t]) == folded[j];
            p += used;
        }
        if (!fits)
            continue;
        if (a <= 0)
            return true;
        // The text before the character: its last a letters, spelt from at most 3 a bytes
        // before pos (no special character starts inside another, so the cut changes nothing
        // nearer than that).
        const size_t want = size_t(a);
        const size_t low = pos > 3 * want + 3 ? pos - 3 * want - 3 : 0;
        size_t b = pos;
        while (b > low && data[b - 1] != '\n' && data[b - 1] != '\r')
            --b;
        char spelt[2 * (3 * 64 + 3) + 8];
        const size_t n = upperExpandedAnyEncoding(data + b, pos - b, spelt);
        if (n >= want && std::memcmp(spelt + n - want, folded, want) == 0)
            return true;
    }
    return false;
}

// With a text to find, a record can only match when the text occurs in its folder or name line
// (ignoring ASCII letter case), or when those lines hold a character whose upper case is ASCII.
// The records that pass neither test are skipped without being split into lines; this holds in
// both modes, whatever the fields and the case switch, as long as the mark alone does not hold
// the text.
bool SearchEngine::Impl::canSkipByHits() const
{
    if (!asciiFast || needleEmpty || needleHasSep || !needleAscii || markHolds || !markOk)
        return false;
    if (cancelled() || needleBytes.size() > 64)
        return false;
    for (char ch : needleBytes) {
        if (uchar(ch) < 0x20)
            return false;
    }
    return true;
}

bool SearchEngine::Impl::skimRecord(qint64 k, size_t hit, int role, size_t recordsEnd, bool textFound)
{
    const char *data = file.data();
    const char *const stop = data + recordsEnd;
    // Back to the start of the record: the start of the hit's line, one more line for a name.
    const char *start = findLineStart(data, data + hit);
    if (role == 1 && start > data) {
        // Step over the previous line's end (CR LF counts once).
        --start;
        if (*start == '\n' && start > data && start[-1] == '\r')
            --start;
        start = findLineStart(data, start);
    }
    QByteArrayView line[4];
    const char *p = start;
    for (int j = 0; j < 4; ++j) {
        if (p >= stop)
            return false;
        const char *e = findLineEnd(p, stop);
        if (e == stop)
            return false; // not a whole record
        line[j] = QByteArrayView(p, e - p);
        p = e + 1;
        if (*e == '\r' && p < stop && *p == '\n')
            ++p;
    }
    // In simple mode the match text holds the folder and name lines whole: a place of the text
    // there, letter case aside, is a match (characters outside ASCII upper-case to characters
    // outside ASCII or, for the few that do not, spell out letters beside it).
    const bool advanced = c.AdvancedMode;
    if ((textFound && !advanced) || testRecord(line[0], line[1], line[2], line[3], advanced))
        pending.push_back(Pending{k, line[0], line[1], line[2], line[3]});
    return true;
}

SearchEngine::Impl::SkimResult SearchEngine::Impl::skimArchive(qint64 count, size_t recordsEnd,
                                                               Reading *reading, qint64 *resumeFrom)
{
    const SkimFunction scan = skimFunction();
    if (!scan)
        return SkimResult::NotPossible;
    pending.clear();
    const char *data = file.data();
    const size_t m = size_t(needleBytes.size());
    const uchar *needle = reinterpret_cast<const uchar *>(needleBytes.constData());
    uchar folded[64];
    bool letter[26] = {};
    for (size_t i = 0; i < m; ++i) {
        folded[i] = kUpper.map[needle[i]];
        if (folded[i] >= 'A' && folded[i] <= 'Z')
            letter[folded[i] - 'A'] = true;
    }
    const auto isLetter = [](uchar ch) { return ch >= 'A' && ch <= 'Z'; };
    SkimQuery q;
    q.m = m;
    // Letters compare after OR 0x20 (both cases meet the lower case); other bytes as they are.
    q.firstFold = isLetter(folded[0]) ? 0x20 : 0;
    q.firstWant = isLetter(folded[0]) ? folded[0] | 0x20 : folded[0];
    q.lastFold = isLetter(folded[m - 1]) ? 0x20 : 0;
    q.lastWant = isLetter(folded[m - 1]) ? folded[m - 1] | 0x20 : folded[m - 1];
    // Only the characters whose upper case shares a letter with the text can make it match.
    struct Special
    {
        uint8_t lead, second;
        const char *letters;
    };
    static constexpr Special specials[] = {{0xC3, 0x9F, "S"},    {0xC4, 0xB1, "I"}, {0xC5, 0x89, "N"},
                                           {0xC5, 0xBF, "S"},    {0xC7, 0xB0, "J"}, {0xE1, 0xBA, "HTWYA"},
                                           {0xEF, 0xAC, "FILST"}};
    for (const Special &sp : specials) {
        bool relevant = false;
        for (const char *l = sp.letters; *l; ++l)
            relevant = relevant || letter[*l - 'A'];
        if (!relevant)
            continue;
        q.lead[q.pairs] = sp.lead;
        q.second[q.pairs] = sp.second;
        ++q.pairs;
        bool known = false;
        for (int i = 0; i < q.probes; ++i)
            known = known || q.probe[i] == sp.second;
        if (!known)
            q.probe[q.probes++] = sp.second;
    }
    q.singleDF = letter['S' - 'A'];

    // Lines past AFiles' records are not looked at for the text, only counted.
    const uint64_t lineLimit = count > qint64(UINT64_MAX / 8) ? UINT64_MAX : uint64_t(count) * 4;
    qint64 lastK = -1;
    qint64 nextEvent = 0; // the first record index, a multiple of 300, whose events are still due
    SkimState st;

    // Rows are handed out only once the record section up to them is known to hold no NUL:
    // with one, the archive is read again record by record up to it.
    const auto nulBefore = [&](size_t end) {
        if (st.nulAt != SIZE_MAX)
            return true;
        if (st.offset < end) {
            if (const void *nul = std::memchr(data + st.offset, 0, end - st.offset))
                st.nulAt = size_t(static_cast<const char *>(nul) - data);
        }
        return st.nulAt != SIZE_MAX;
    };
    const auto handOut = [&]() {
        for (const Pending &p : pending)
            emitRow(p.k, p.folder, p.name, p.size, p.date);
        pending.clear();
    };
    const auto finish = [&](bool cancelledNow) {
        if (nulBefore(recordsEnd)) {
            pending.clear();
            return SkimResult::Nul;
        }
        handOut();
        reading->cancelled = cancelledNow;
        if (cancelledNow)
            return SkimResult::Done;
        reading->wholeLines =
            st.lines + (st.offset < recordsEnd ? countLineEnds(data, st.offset, recordsEnd) : 0);
        const qint64 available = std::min(count, qint64(reading->wholeLines / 4));
        if (nextEvent < available)
            events();
        return SkimResult::Done;
    };
    // After the pending events the mode may have changed: from record k on it may need every
    // record tested.
    const auto mustResume = [&](qint64 k) {
        if (c.AdvancedMode == needleAdvanced)
            return false;
        setUpNeedle(c.AdvancedMode);
        if (canSkipByHits())
            return false;
        *resumeFrom = k;
        return true;
    };
    const auto resume = [&](size_t upTo) {
        if (nulBefore(upTo)) {
            pending.clear();
            return SkimResult::Nul;
        }
        handOut();
        return SkimResult::Resume;
    };
    const auto pendingEnd = [&]() {
        return pending.empty() ? size_t(0)
                               : size_t(pending.back().date.data() + pending.back().date.size() - data);
    };

    constexpr size_t kBatch = 1024;
    SkimCandidate found[kBatch];
    while (st.offset < recordsEnd && st.lines < lineLimit && st.nulAt == SIZE_MAX) {
        const size_t n = scan(q, st, data, recordsEnd, lineLimit, found, kBatch);
        for (size_t i = 0; i < n; ++i) {
            const SkimCandidate &cand = found[i];
            if (cand.line >= lineLimit)
                return finish(false);
            const int role = int(cand.line & 3);
            const qint64 k = qint64(cand.line >> 2);
            if (role > 1 || k == lastK)
                continue;
            if (cand.special && !lineMayHold(cand.pos, recordsEnd, folded, m))
                continue;
            if (!cand.special) {
                // Confirm the whole text at this place.
                if (cand.pos + m > recordsEnd)
                    continue;
                const uchar *at = reinterpret_cast<const uchar *>(data + cand.pos);
                size_t j = 0;
                while (j < m && kUpper.map[at[j]] == folded[j])
                    ++j;
                if (j < m)
                    continue;
            }
            // Events that the skipped records would have run: one call covers them all.
            if (nextEvent < k) {
                const qint64 boundary = (k - 1) / kEventsEvery * kEventsEvery;
                events();
                nextEvent = boundary + kEventsEvery;
                if (cancelled()) {
                    // The record after the boundary is the last one tested.
                    if (k == boundary + 1)
                        skimRecord(k, cand.pos, role, recordsEnd, !cand.special);
                    return finish(true);
                }
                if (mustResume(boundary + 1))
                    return resume(std::max(pendingEnd(), size_t(cand.pos)));
            }
            lastK = k;
            if (!skimRecord(k, cand.pos, role, recordsEnd, !cand.special))
                return finish(false);
            if (cancelled())
                return finish(true);
            if (k % kEventsEvery == 0) {
                events();
                nextEvent = k + kEventsEvery;
                if (mustResume(k + 1))
                    return resume(pendingEnd());
            }
        }
    }
    return finish(false);
}

int SearchEngine::Impl::textHoldsBytes(QByteArrayView folder, QByteArrayView name, bool advanced)
{
    const bool upper = !(advanced && c.caseSensitive);
    const size_t need = size_t(folder.size() + name.size()) + 4;
    if (match.size() < need)
        match.resize(need * 2);
    char *out = match.data();
    uchar high = 0;
    const auto put = [&](QByteArrayView v) {
        const uchar *s = reinterpret_cast<const uchar *>(v.data());
        const qsizetype n = v.size();
        if (upper) {
            for (qsizetype i = 0; i < n; ++i) {
                high |= s[i];
                *out++ = char(kUpper.map[s[i]]);
            }
        } else {
            for (qsizetype i = 0; i < n; ++i)
                high |= s[i];
            if (n)
                std::memcpy(out, s, size_t(n));
            out += n;
        }
        *out++ = kSeparator;
    };
    if (!advanced) {
        put(folder);
        put(name);
    } else {
        if (c.dirs)
            put(folder);
        const qsizetype dot = name.lastIndexOf('.');
        if (c.files)
            put(dot < 0 ? name : name.first(dot));
        if (c.types)
            put(dot < 0 ? QByteArrayView() : name.sliced(dot));
    }
    const size_t len = size_t(out - match.data());
    if (high & 0x80) {
        // A character outside ASCII upper-cases to characters outside ASCII (so its bytes,
        // left as they are, can never meet an ASCII text) unless it is one of the few that
        // hasAsciiUpperCase knows; those, and texts outside ASCII, take the Unicode path.
        if (!needleAscii)
            return -1;
        if (upper && hasAsciiUpperCase(reinterpret_cast<const uchar *>(match.data()), len)) {
            // Build the text again with those characters spelt out in capitals.
            if (match.size() < need * 2)
                match.resize(need * 2);
            out = match.data();
            const auto expand = [&](QByteArrayView v) {
                out += upperExpanded(reinterpret_cast<const uchar *>(v.data()), size_t(v.size()), out);
                *out++ = kSeparator;
            };
            if (!advanced) {
                expand(folder);
                expand(name);
            } else {
                if (c.dirs)
                    expand(folder);
                const qsizetype dot = name.lastIndexOf('.');
                if (c.files)
                    expand(dot < 0 ? name : name.first(dot));
                if (c.types)
                    expand(dot < 0 ? QByteArrayView() : name.sliced(dot));
            }
            return containsBytes(match.data(), size_t(out - match.data()), needleBytes.constData(),
                                 size_t(needleBytes.size()))
                       ? 1
                       : 0;
        }
    }
    return containsBytes(match.data(), len, needleBytes.constData(), size_t(needleBytes.size())) ? 1 : 0;
}

bool SearchEngine::Impl::textHoldsUnicode(QByteArrayView folder, QByteArrayView name, bool advanced)
{
    umatch.clear();
    if (!advanced) {
        umatch += decodeArchiveText(folder);
        umatch += kSeparatorChar;
        umatch += decodeArchiveText(name);
        umatch += kSeparatorChar;
    } else {
        // The mark was tested once for the whole archive (markHolds).
        const qsizetype dot = name.lastIndexOf('.');
        if (c.dirs) {
            umatch += decodeArchiveText(folder);
            umatch += kSeparatorChar;
        }
        if (c.files) {
            umatch += decodeArchiveText(dot < 0 ? name : name.first(dot));
            umatch += kSeparatorChar;
        }
        if (c.types) {
            if (dot >= 0)
                umatch += decodeArchiveText(name.sliced(dot));
            umatch += kSeparatorChar;
        }
    }
    const bool upper = !(advanced && c.caseSensitive);
    if (upper)
        return locale.toUpper(umatch).contains(needle);
    return umatch.contains(needle);
}

bool SearchEngine::Impl::testRecord(QByteArrayView folder, QByteArrayView name, QByteArrayView size,
                                    QByteArrayView date, bool advanced)
{
    if (!markOk)
        return false;
    if (advanced != needleAdvanced)
        setUpNeedle(advanced); // the mode changed during the search: it counts from this record
    if (advanced) {
        if (c.dateActive && !DateInRange(date, c))
            return false;
        if (c.sizeActive && !SizeMatches(size, c))
            return false;
    }
    if (needleEmpty)
        return true;
    if (needleHasSep)
        return false;
    if (advanced && markHolds)
        return true;
    if (advanced && !c.dirs && !c.files && !c.types)
        return false;
    if (asciiFast) {
        const int holds = textHoldsBytes(folder, name, advanced);
        if (holds >= 0)
            return holds == 1;
    }
    return textHoldsUnicode(folder, name, advanced);
}

void SearchEngine::Impl::emitRow(qint64 k, QByteArrayView folder, QByteArrayView name, QByteArrayView size,
                                 QByteArrayView date)
{
    FoundRecord r;
    r.folder = folder;
    r.name = name;
    r.record = k;
    // The row's cells are filled in column order: a date that cannot be shown leaves the size
    // cell empty as well.
    qint64 dv = 0;
    r.dateValid = parseLine(date, &dv) && dosdate::isValid(static_cast<int32_t>(uint32_t(uint64_t(dv))));
    if (r.dateValid)
        r.date = static_cast<int32_t>(uint32_t(uint64_t(dv)));
    r.sizeValid = parseLine(size, &r.size);
    if (!r.sizeValid)
        r.size = 0;
    emitFound(r);
}

void SearchEngine::Impl::beginArchive()
{
    if (archiveId < 0) {
        archiveId = int(archives.size());
        archives.append(ArchiveInfo{archivePath, mark});
        sink.beginArchive(archiveId, archives.constLast());
    }
}

void SearchEngine::Impl::emitFound(FoundRecord &r)
{
    if (archiveId < 0)
        beginArchive();
    r.archiveId = archiveId;
    if (!r.dateValid || !r.sizeValid) {
        if (problems.unfilledRows++ == 0)
            problems.firstUnfilled = archivePath + QLatin1Char(' ') + QString::number(r.record);
    }
    ++rows;
    sink.addRow(r);
}

void SearchEngine::Impl::addFile(const QString &path, qint64 from)
{
    archivePath = path;
    if (from == 0) {
        archiveId = -1;
        ++archivesRead;
    }

    QString error;
    if (!file.load(path, &error)) {
        problems.unreadable.append(UnreadableArchive{path, error});
        return;
    }
    const char *data = file.data();
    const size_t size = file.size();
    block.locate(data, size, true);
    const size_t recordsEnd = block.begin();
    const RecordPlan plan = judgeFieldBlock(data, size, block, recordsEnd > 0);

    const QByteArrayView markBytes = trimControls(block.value(data, u"AMark"));
    mark = markBytes.isEmpty() ? QStringLiteral("Unknown") : decodeArchiveText(markBytes);
    markOk = c.OnlyMark.isEmpty() || mark == c.OnlyMark;
    if (markOk && !c.OnlyMark.isEmpty())
        ++onlyMarkArchives;
    archiveText = c.searchText;
    setUpNeedle(c.AdvancedMode);

    const Reading r = readRecords(plan, recordsEnd, from);
    if (r.cancelled)
        return;
    // A NUL among the fields, or in a last line cut short.
    const bool nulAfter = size > recordsEnd && std::memchr(data + recordsEnd, 0, size - recordsEnd);
    const QString verdict = judgeArchive(plan, r.wholeLines, r.nul || nulAfter);
    if (!verdict.isEmpty())
        damaged(verdict);
}

void SearchEngine::Impl::setUpNeedle(bool advanced)
{
    needleAdvanced = advanced;
    needle = normaliseSearchText(archiveText, advanced && c.caseSensitive);
    needleBytes = needle.toUtf8();
    needleEmpty = needle.isEmpty();
    needleHasSep = needle.contains(kSeparatorChar);
    needleAscii = true;
    for (QChar ch : needle)
        needleAscii = needleAscii && ch.unicode() < 0x80;
    markHolds = false;
    if (c.marks && !needleEmpty && !needleHasSep)
        markHolds = (c.caseSensitive ? mark : locale.toUpper(mark)).contains(needle);
}

SearchEngine::Impl::Reading SearchEngine::Impl::readRecords(const RecordPlan &plan, size_t recordsEnd,
                                                            qint64 from)
{
    const char *data = file.data();
    // Without a usable count every whole record is read: no more than a line end per line.
    const qint64 count = plan.everyWholeRecord ? qint64(recordsEnd / 4 + 1) : plan.records;
    if (count <= 0) {
        // Nothing to read; a NUL still names the damage first, as every reader names it.
        Reading r;
        r.nul = recordsEnd > 0 && std::memchr(data, 0, recordsEnd);
        return r;
    }
    if (from == 0 && plan.linesPerRecord == 4 && canSkipByHits()) {
        Reading r;
        switch (skimArchive(count, recordsEnd, &r, &from)) {
        case SkimResult::Done:
            return r;
        case SkimResult::Nul:
            // Read again up to the NUL, record by record.
            from = 0;
            break;
        case SkimResult::NotPossible:
        case SkimResult::Resume:
            break;
        }
    }
    return readInOrder(count, plan.linesPerRecord, recordsEnd, from);
}

SearchEngine::Impl::Reading SearchEngine::Impl::readInOrder(qint64 count, qint64 pars, size_t recordsEnd,
                                                            qint64 from)
{
    Reading r;
    const char *data = file.data();
    // Records end at the first NUL.
    size_t end = recordsEnd;
    if (const void *nul = std::memchr(data, 0, recordsEnd)) {
        end = size_t(static_cast<const char *>(nul) - data);
        r.nul = true;
    }
    if (pars == 4) {
        // Records one after another: their lines are taken as they come, not indexed first.
        LineCursor cursor(data, end);
        QByteArrayView line[4];
        qint64 k = 0;
        size_t recordStart = 0;
        for (; k < count; ++k) {
            recordStart = cursor.position();
            bool ended = false;
            if (!cursor.next(&line[0]) || !cursor.next(&line[1]) || !cursor.next(&line[2]) ||
                !cursor.next(&line[3], &ended) || !ended)
                break; // not a whole record
            if (k < from)
                continue; // tested before the mode changed
            if (testRecord(line[0], line[1], line[2], line[3], c.AdvancedMode))
                emitRow(k, line[0], line[1], line[2], line[3]);
            if (cancelled()) {
                r.cancelled = true;
                return r;
            }
            if (k % kEventsEvery == 0)
                events();
        }
        if (k == count)
            recordStart = cursor.position();
        r.wholeLines = uint64_t(k) * 4 + countLineEnds(data, recordStart, end);
        return r;
    }
    indexLines(data, end, lines);
    qint64 whole = qint64(lines.size());
    if (end > 0 && !isLineEndByte(data[end - 1]))
        --whole; // a last line cut short
    r.wholeLines = uint64_t(whole);
    const auto view = [&](qint64 i) {
        const LineSpan &s = lines[size_t(i)];
        return QByteArrayView(data + s.begin, qsizetype(s.end - s.begin));
    };
    for (qint64 k = from; k < count; ++k) {
        qint64 first = 0;
        if (__builtin_mul_overflow(k, pars, &first) || first > whole - 4)
            break;
        const QByteArrayView folder = view(first);
        const QByteArrayView name = view(first + 1);
        const QByteArrayView size = view(first + 2);
        const QByteArrayView date = view(first + 3);
        if (testRecord(folder, name, size, date, c.AdvancedMode))
            emitRow(k, folder, name, size, date);
        if (cancelled()) {
            r.cancelled = true;
            return r;
        }
        if (k % kEventsEvery == 0)
            events();
    }
    return r;
}

bool SearchEngine::Impl::searchFolder(const QString &folder, const QString &mask)
{
    // The catalog's own listing, so the search meets the archives in the order every other
    // reader of the catalog does.
    const CatalogFolderListing listing = listCatalogFolder(folder, mask);
    if (!listing.error.isEmpty())
        problems.unreadable.append(UnreadableArchive{folder, listing.error});
    for (const QString &archive : listing.archives) {
        addFile(archive);
        if (archiveDone)
            archiveDone();
        events();
    }
    if (cancelled() || (terminating && terminating()))
        return false;
    events();

    bool last = true;
    for (const QString &sub : listing.subfolders) {
        if (!last)
            break;
        last = searchFolder(sub, mask);
    }
    return last;
}

bool SearchEngine::Impl::searchParallel(const QString &root, const QString &mask)
{
    // Enough archives ahead to keep every worker busy past a slow one; rows waiting are bounded
    // too, so a search that finds everything stays within a flat amount of memory.
    constexpr size_t kAheadBytes = size_t(32) << 20;
    ArchivePool pool(threads, sink.keepsRowText(), sink.keepsBlocks(), std::max(16, threads * 8),
                     kAheadBytes);

    // The walk in searchFolder's order: a folder's archives, then its subfolders, depth first.
    struct Level
    {
        QStringList archives, subfolders;
        qsizetype nextArchive = 0, nextSub = 0;
    };
    std::vector<Level> walk;
    qint64 submitted = 0;
    // A folder that cannot be listed is told where the one-thread walk would meet it: before the
    // archive that was handed out next.
    std::deque<std::pair<qint64, UnreadableArchive>> unlisted;
    const auto enter = [&](const QString &folder) {
        CatalogFolderListing l = listCatalogFolder(folder, mask);
        if (!l.error.isEmpty())
            unlisted.emplace_back(submitted, UnreadableArchive{folder, l.error});
        walk.push_back(Level{std::move(l.archives), std::move(l.subfolders)});
    };
    const auto tellUnlisted = [&](qint64 before) {
        while (!unlisted.empty() && unlisted.front().first <= before) {
            problems.unreadable.append(unlisted.front().second);
            unlisted.pop_front();
        }
    };
    const auto nextPath = [&]() -> QString {
        while (!walk.empty()) {
            Level &top = walk.back();
            if (top.nextArchive < top.archives.size())
                return top.archives.at(top.nextArchive++);
            if (top.nextSub < top.subfolders.size()) {
                const QString sub = top.subfolders.at(top.nextSub++);
                enter(sub);
                continue;
            }
            walk.pop_back();
        }
        return QString();
    };
    enter(root);

    bool walkEnded = false;
    const auto feed = [&] {
        while (!walkEnded && pool.canTakeMore()) {
            const QString path = nextPath();
            if (path.isEmpty())
                walkEnded = true;
            else {
                pool.submit(path, c);
                ++submitted;
            }
        }
    };
    const auto stopAsked = [&] { return cancelled() || (terminating && terminating()); };
    for (qint64 next = 0;; ++next) {
        feed();
        if (next == submitted) {
            // The walk has ended and every archive is handed out.
            tellUnlisted(next);
            return true;
        }
        std::unique_ptr<ScannedArchive> a;
        while (!(a = pool.take(next, 10))) {
            events();
            if (stopAsked())
                return false;
            feed();
        }
        tellUnlisted(next);
        deliver(*a);
        if (cancelled())
            return false;
        if (archiveDone)
            archiveDone();
        events();
        if (stopAsked())
            return false;
    }
}

void SearchEngine::Impl::deliver(const ScannedArchive &a)
{
    if (a.criteria != c || a.readAgain) {
        addFile(a.path);
        return;
    }
    ++archivesRead;
    archivePath = a.path;
    archiveId = -1;
    mark = a.mark;
    const RowBlock &block = *a.rows;
    // Handed out up to each point where the pending events are due, as rows found here are.
    for (size_t i = 0; i < block.size();) {
        const size_t n = std::min(block.size() - i, size_t(kEventsEvery) - i % size_t(kEventsEvery));
        handOut(a.rows, i, n);
        i += n;
        if (cancelled())
            return;
        if (i % kEventsEvery == 0) {
            events();
            if (a.criteria != c) {
                // The rest of the archive under the criteria as they are now.
                addFile(a.path, block.row(i - 1).record() + 1);
                return;
            }
        }
    }
    problems.damagedArchives += a.problems.damagedArchives;
    problems.damagedReasons += a.problems.damagedReasons;
    problems.unreadable += a.problems.unreadable;
    onlyMarkArchives += a.onlyMarkArchives;
}

void SearchEngine::Impl::handOut(const std::shared_ptr<const RowBlock> &block, size_t first, size_t count)
{
    beginArchive();
    if (block->unfilledRows() > 0) {
        for (size_t i = first; i < first + count; ++i) {
            const RowBlock::Row &r = block->row(i);
            if (r.flags() != (RowBlock::DateValid | RowBlock::SizeValid) && problems.unfilledRows++ == 0)
                problems.firstUnfilled = archivePath + QLatin1Char(' ') + QString::number(r.record());
        }
    }
    rows += qint64(count);
    sink.addRows(archiveId, block, first, count);
}

SearchEngine::SearchEngine(const SearchCriteria &criteria, ResultSink &sink)
    : d(std::make_unique<Impl>(criteria, sink))
{}

SearchEngine::~SearchEngine() = default;

void SearchEngine::setPendingEvents(std::function<void()> callback)
{
    d->pendingEvents = std::move(callback);
}

void SearchEngine::setCancelFlag(const bool *CancelRequested)
{
    d->cancel = CancelRequested;
}

void SearchEngine::setTerminating(std::function<bool()> callback)
{
    d->terminating = std::move(callback);
}

void SearchEngine::setArchiveDone(std::function<void()> callback)
{
    d->archiveDone = std::move(callback);
}

void SearchEngine::AddFile(const QString &archivePath)
{
    d->addFile(archivePath);
}

void SearchEngine::setThreads(int threads)
{
    d->threads = std::max(1, threads);
}

bool SearchEngine::SearchFolder(const QString &folder, const QString &mask)
{
    if (d->threads > 1)
        return d->searchParallel(folder.endsWith(QLatin1Char('/')) ? folder : folder + QLatin1Char('/'),
                                 mask);
    return d->searchFolder(folder.endsWith(QLatin1Char('/')) ? folder : folder + QLatin1Char('/'), mask);
}

void SearchEngine::SearchArchive(const QString &folder, const QString &mask)
{
    d->events();
    if (!QFileInfo(folder).isDir())
        return;
    SearchFolder(folder, mask);
}

const SearchProblems &SearchEngine::problems() const
{
    return d->problems;
}

qint64 SearchEngine::archivesWithOnlyMark() const
{
    return d->onlyMarkArchives;
}

const QList<ArchiveInfo> &SearchEngine::archives() const
{
    return d->archives;
}

qint64 SearchEngine::rowsFound() const
{
    return d->rows;
}

qint64 SearchEngine::archivesRead() const
{
    return d->archivesRead;
}

void SearchEngine::setAsciiFastPath(bool on)
{
    d->asciiFast = on && localeKeepsAsciiUpper(d->locale);
}

} // namespace search
