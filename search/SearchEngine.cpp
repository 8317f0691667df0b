#include "SearchEngine.h"

#include "RecordScan.h"

#include <QDir>
#include <QFile>
#include <QLocale>

#include <cstring>
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
// Turkish, where "i" becomes a dotted capital I): only then may ASCII records skip the
// Unicode case mapping.
bool localeKeepsAsciiUpper(const QLocale &locale)
{
    const QString lower = QStringLiteral("abcdefghijklmnopqrstuvwxyz");
    return locale.toUpper(lower) == QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZ");
}

bool packedDateValid(uint32_t v)
{
    const int year = int(v >> 25) + 1980;
    const int month = int((v >> 21) & 0xF);
    const int day = int((v >> 16) & 0x1F);
    const int hour = int((v >> 11) & 0x1F);
    const int minute = int((v >> 5) & 0x3F);
    const int second = int(v & 0x1F) * 2;
    if (month < 1 || month > 12 || day < 1 || hour > 23 || minute > 59 || second > 59)
        return false;
    static constexpr int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return day <= days[month - 1] + ((month == 2 && leap) ? 1 : 0);
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

bool DateInRange(QByteArrayView dateLine, const SearchCriteria &c)
{
    qint64 v = 0;
    if (!parseInt64(dateLine, &v))
        v = 0;
    return qint64(c.DateFrom) <= v && v <= qint64(c.DateTo);
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
    QString text = n == 1 ? QStringLiteral("This archive is damaged and was skipped in part or whole:")
                          : QStringLiteral("These archives are damaged and were skipped in part or whole:");
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

    QLocale locale;
    bool asciiFast = true;
    bool asciiAllowed = true;

    FileBuffer file;
    std::vector<LineSpan> lines; // the record section's lines
    std::vector<char> match;     // reused ASCII match text
    QString umatch;              // reused Unicode match text

    // Per archive
    QString archivePath;
    QString mark;
    int archiveId = -1; // -1 until the archive gives its first row
    QString needle;
    QByteArray needleBytes;
    bool needleEmpty = true;
    bool needleHasSep = false;
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

    void addFile(const QString &path);
    bool testRecord(QByteArrayView folder, QByteArrayView name, QByteArrayView size, QByteArrayView date,
                    bool advanced);
    bool textHoldsAscii(QByteArrayView folder, QByteArrayView name, bool advanced, bool *nonAscii);
    bool textHoldsUnicode(QByteArrayView folder, QByteArrayView name, bool advanced);
    void emitRow(qint64 k, QByteArrayView folder, QByteArrayView name, QByteArrayView size,
                 QByteArrayView date);
    bool searchFolder(const QString &folder, const QString &mask);
};

bool SearchEngine::Impl::textHoldsAscii(QByteArrayView folder, QByteArrayView name, bool advanced,
                                        bool *nonAscii)
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
    if (high & 0x80) {
        *nonAscii = true;
        return false;
    }
    *nonAscii = false;
    return containsBytes(match.data(), size_t(out - match.data()), needleBytes.constData(),
                         size_t(needleBytes.size()));
}

bool SearchEngine::Impl::textHoldsUnicode(QByteArrayView folder, QByteArrayView name, bool advanced)
{
    umatch.clear();
    if (!advanced) {
        umatch += decodeArchiveBytes(folder);
        umatch += kSeparatorChar;
        umatch += decodeArchiveBytes(name);
        umatch += kSeparatorChar;
    } else {
        // The mark was tested once for the whole archive (markHolds).
        const qsizetype dot = name.lastIndexOf('.');
        if (c.dirs) {
            umatch += decodeArchiveBytes(folder);
            umatch += kSeparatorChar;
        }
        if (c.files) {
            umatch += decodeArchiveBytes(dot < 0 ? name : name.first(dot));
            umatch += kSeparatorChar;
        }
        if (c.types) {
            if (dot >= 0)
                umatch += decodeArchiveBytes(name.sliced(dot));
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
    if (asciiFast && asciiAllowed) {
        bool nonAscii = false;
        const bool holds = textHoldsAscii(folder, name, advanced, &nonAscii);
        if (!nonAscii)
            return holds;
    }
    return textHoldsUnicode(folder, name, advanced);
}

void SearchEngine::Impl::emitRow(qint64 k, QByteArrayView folder, QByteArrayView name, QByteArrayView size,
                                 QByteArrayView date)
{
    if (archiveId < 0) {
        archiveId = int(archives.size());
        archives.append(ArchiveInfo{archivePath, mark});
        sink.beginArchive(archiveId, archives.constLast());
    }
    FoundRecord r;
    r.archiveId = archiveId;
    r.folder = folder;
    r.name = name;
    r.record = k;
    // The row's cells are filled in column order: a date that cannot be shown leaves the size
    // cell empty as well.
    qint64 dv = 0;
    r.dateValid = parseInt64(date, &dv) && packedDateValid(uint32_t(uint64_t(dv)));
    if (r.dateValid)
        r.date = static_cast<int32_t>(uint32_t(uint64_t(dv)));
    r.sizeValid = parseInt64(size, &r.size);
    if (!r.sizeValid)
        r.size = 0;
    if (!r.dateValid || !r.sizeValid) {
        if (problems.unfilledRows++ == 0)
            problems.firstUnfilled = archivePath + QLatin1Char(' ') + QString::number(k);
    }
    ++rows;
    sink.addRow(r);
}

void SearchEngine::Impl::addFile(const QString &path)
{
    archivePath = path;
    archiveId = -1;
    ++archivesRead;

    QString error;
    if (!file.load(path, &error)) {
        damaged(error);
        return;
    }
    const ArchiveLayout layout = scanArchiveLayout(file.data(), file.size());

    qint64 pars = 4;
    const QByteArrayView parsText = trimBlanks(layout.field(file.data(), "APars"));
    if (!parsText.isEmpty() && !parseInt64(parsText, &pars)) {
        damaged(QStringLiteral("APars is not a number"));
        return;
    }
    if (pars < 1) {
        // Records would overlap or lie before the file's start.
        damaged(QStringLiteral("APars is not a positive number"));
        return;
    }
    const QByteArrayView filesText = trimBlanks(layout.field(file.data(), "AFiles"));
    if (filesText.isEmpty())
        return;
    qint64 count = 0;
    if (!parseInt64(filesText, &count)) {
        damaged(QStringLiteral("AFiles is not a number"));
        return;
    }
    const QByteArrayView markBytes = trimBlanks(layout.field(file.data(), "AMark"));
    mark = markBytes.isEmpty() ? QStringLiteral("Unknown") : decodeArchiveBytes(markBytes);

    const bool caseSensitiveNow = c.AdvancedMode && c.caseSensitive;
    needle = normaliseSearchText(c.searchText, caseSensitiveNow);
    needleBytes = needle.toUtf8();
    needleEmpty = needle.isEmpty();
    needleHasSep = needle.contains(kSeparatorChar);
    markOk = c.OnlyMark.isEmpty() || mark == c.OnlyMark;
    markHolds = false;
    if (c.marks && !needleEmpty && !needleHasSep)
        markHolds = (c.caseSensitive ? mark : locale.toUpper(mark)).contains(needle);
    asciiAllowed = true;

    if (count <= 0)
        return;
    indexLines(file.data(), layout.recordsEnd, lines);
    const qint64 lineCount = qint64(lines.size());
    const char *base = file.data();
    const auto view = [&](qint64 i) {
        const LineSpan &s = lines[size_t(i)];
        return QByteArrayView(base + s.begin, qsizetype(s.end - s.begin));
    };

    for (qint64 k = 0; k < count; ++k) {
        qint64 first = 0;
        if (__builtin_mul_overflow(k, pars, &first) || first < 0 || first > lineCount - 4) {
            damaged(pars == 4 ? QStringLiteral("AFiles promises more records than the archive holds")
                              : QStringLiteral("APars places records outside the archive"));
            break;
        }
        const QByteArrayView folder = view(first);
        const QByteArrayView name = view(first + 1);
        const QByteArrayView size = view(first + 2);
        const QByteArrayView date = view(first + 3);
        if (testRecord(folder, name, size, date, c.AdvancedMode))
            emitRow(k, folder, name, size, date);
        if (cancelled())
            break;
        if (k % kEventsEvery == 0)
            events();
    }
}

bool SearchEngine::Impl::searchFolder(const QString &folder, const QString &mask)
{
    QDir dir(folder);
    dir.setNameFilters({mask});
    dir.setSorting(QDir::Name);
    dir.setFilter(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System);
    const QFileInfoList entries = dir.entryInfoList();
    for (const QFileInfo &e : entries) {
        if (e.isDir()) {
            events();
            continue;
        }
        addFile(e.filePath());
        if (archiveDone)
            archiveDone();
        events();
    }
    if (cancelled() || (terminating && terminating()))
        return false;
    events();

    QDir subs(folder);
    subs.setSorting(QDir::Name);
    subs.setFilter(QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden | QDir::NoSymLinks);
    bool last = true;
    const QFileInfoList folders = subs.entryInfoList();
    for (const QFileInfo &f : folders) {
        if (!last)
            break;
        last = searchFolder(f.filePath() + QLatin1Char('/'), mask);
    }
    return last;
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

bool SearchEngine::SearchFolder(const QString &folder, const QString &mask)
{
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
