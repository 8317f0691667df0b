#include "ArchiveLayout.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <iterator>

QByteArrayView FieldBlock::line(const char *data, qsizetype i) const
{
    const LineSpan &s = m_lines[size_t(i)];
    const QByteArrayView l(data + s.begin, qsizetype(s.end - s.begin));
    const qsizetype nul = l.indexOf('\0');
    return nul < 0 ? l : l.first(nul);
}

qsizetype FieldBlock::find(const char *data, QStringView key) const
{
    qsizetype found = -1;
    for (qsizetype i = 0; i < lineCount(); ++i) {
        const QByteArrayView l = line(data, i);
        const qsizetype eq = l.indexOf('=');
        if (eq >= 0 && sameArchiveKey(l.first(eq), key)) {
            found = i;
            if (!isDamaged())
                break;
        }
    }
    return found;
}

QByteArrayView FieldBlock::value(const char *data, QStringView key) const
{
    const qsizetype i = find(data, key);
    if (i < 0)
        return {};
    const QByteArrayView l = line(data, i);
    return l.sliced(l.indexOf('=') + 1);
}

namespace {

// The keys the rule looks at; the writer's lines first, then the editor's, then APars.
enum Key { End, Date, Crc, Files, Dirs, Size, Number, Source, Picture, Mark, Location, Note, Pars, KeyCount };
constexpr const char16_t *KeyNames[KeyCount] = {u"AEnd",      u"ADate",   u"ACRC",    u"AFiles",   u"ADirs",
                                                u"ASize",     u"ANumber", u"ASource", u"APicture", u"AMark",
                                                u"ALocation", u"ANote",   u"APars"};

// Which of those keys a line's key is, KeyCount for none. ASCII keys (all of the writer's) are
// told apart by length and bytes without building texts; others take the one key rule.
int keyOf(QByteArrayView lineKey)
{
    bool ascii = true;
    for (const char c : lineKey)
        ascii = ascii && uchar(c) < 0x80;
    for (int k = 0; k < KeyCount; ++k) {
        const QStringView name(KeyNames[k]);
        if (ascii) {
            if (lineKey.size() != name.size())
                continue;
            bool same = true;
            for (qsizetype i = 0; i < name.size() && same; ++i)
                same = (uchar(lineKey[i]) | 0x20) == (name[i].unicode() | 0x20);
            if (same)
                return k;
        } else if (sameArchiveKey(lineKey, name)) {
            return k;
        }
    }
    return KeyCount;
}

// A line that is a plain decimal number, blanks aside: a record's size or date-time line.
bool isNumberLine(QByteArrayView l)
{
    const QByteArrayView t = trimControls(l);
    qint64 v = 0;
    return !t.isEmpty() && parseDecimal64(t, &v);
}

constexpr int WriterKeys[] = {End, Date, Crc, Files, Dirs, Size, Number, Source, Picture};

// The block's half of the rule. size is the text's length, recordsPresent whether the record
// section of the file (not only of the text read) holds anything.
RecordPlan judge(const char *data, size_t size, const FieldBlock &block, bool recordsPresent)
{
    RecordPlan plan;
    const auto note = [&plan](const QString &reason) {
        if (plan.damage.isEmpty())
            plan.damage = reason;
    };
    // One pass: the first and last line of each key, and the lines' keys.
    qsizetype first[KeyCount], last[KeyCount];
    std::fill(std::begin(first), std::end(first), qsizetype(-1));
    std::fill(std::begin(last), std::end(last), qsizetype(-1));
    QByteArrayView firstValue[KeyCount], lastValue[KeyCount];
    qsizetype stray = -1;
    std::vector<int> keys(size_t(block.lineCount()), KeyCount);
    for (qsizetype i = 0; i < block.lineCount(); ++i) {
        const QByteArrayView l = block.line(data, i);
        const qsizetype eq = l.indexOf('=');
        if (eq < 0) {
            if (stray < 0)
                stray = i;
            continue;
        }
        const int k = keyOf(l.first(eq));
        keys[size_t(i)] = k;
        if (k < KeyCount) {
            if (first[k] < 0) {
                first[k] = i;
                firstValue[k] = l.sliced(eq + 1);
            }
            last[k] = i;
            lastValue[k] = l.sliced(eq + 1);
        }
    }
    if (block.textEnd() < size)
        note(QStringLiteral("ends in the middle of a line"));
    if (block.lineCount() == 0) {
        note(QStringLiteral("has no archive fields"));
    } else {
        if (first[End] < 0 || trimControls(firstValue[End]) != QByteArrayView("EndTag")) {
            note(QStringLiteral("has no AEnd=EndTag line"));
        } else {
            // The editor appends these three after the end line; nothing else belongs there.
            for (qsizetype i = first[End] + 1; i < block.lineCount(); ++i) {
                const int k = keys[size_t(i)];
                if (k != Mark && k != Location && k != Note)
                    note(QStringLiteral("has a stray line after AEnd=EndTag"));
            }
        }
        if (stray >= 0) {
            const QByteArrayView l = trimControls(block.line(data, stray));
            note(l.isEmpty() ? QStringLiteral("has an empty line among its fields")
                             : QStringLiteral("has a stray line among its fields: \"%1\"")
                                   .arg(decodeArchiveText(l.first(std::min<qsizetype>(l.size(), 60)))));
        }
        for (int k = Date; k <= Picture; ++k) {
            if (first[k] < 0)
                note(QStringLiteral("lacks its %1 line").arg(QStringView(KeyNames[k])));
        }
    }
    // Lookups in a damaged block take a key's last line: so do the counts read here.
    const bool damaged = !plan.damage.isEmpty();
    const QByteArrayView *value = damaged ? lastValue : firstValue;

    if (first[Number] >= 0) {
        qint64 number = 0;
        if (!parseDecimal64(trimControls(value[Number]), &number) || number < 1 || number > INT_MAX)
            note(QStringLiteral("ANumber is not a number from 1 to %1").arg(INT_MAX));
    }
    const QByteArrayView parsText = trimControls(value[Pars]);
    if (!parsText.isEmpty()) {
        qint64 pars = 0;
        if (!parseDecimal64(parsText, &pars) || pars < 1) {
            // Records would overlap or lie before the file's start: none can be placed.
            note(QStringLiteral("APars is not a positive number"));
            return plan;
        }
        plan.linesPerRecord = pars;
    }
    const QByteArrayView filesText = trimControls(value[Files]);
    qint64 files = 0;
    if (filesText.isEmpty()) {
        if (recordsPresent)
            note(QStringLiteral("AFiles is missing or empty"));
        plan.everyWholeRecord = recordsPresent;
    } else if (!parseDecimal64(filesText, &files)) {
        note(QStringLiteral("AFiles is not a number"));
        plan.everyWholeRecord = recordsPresent;
    } else if (files < 0) {
        note(QStringLiteral("AFiles is negative"));
        plan.everyWholeRecord = recordsPresent;
    } else if (files == 0) {
        if (recordsPresent)
            note(QStringLiteral("AFiles is 0 but the archive holds records"));
        plan.everyWholeRecord = recordsPresent;
    } else {
        plan.records = files;
    }
    return plan;
}

// Which of the lines the writer always writes the block holds.
bool holdsEveryWriterLine(const char *data, const FieldBlock &block)
{
    unsigned seen = 0;
    for (qsizetype i = 0; i < block.lineCount(); ++i) {
        const QByteArrayView l = block.line(data, i);
        const qsizetype eq = l.indexOf('=');
        if (eq >= 0) {
            const int k = keyOf(l.first(eq));
            if (k < KeyCount)
                seen |= 1u << k;
        }
    }
    for (const int k : WriterKeys)
        if (!(seen & (1u << k)))
            return false;
    return true;
}

} // namespace

bool FieldBlock::scan(const char *data, bool wholeText, bool overDamage)
{
    m_lines.clear();
    m_begin = m_textEnd;
    if (m_textEnd == 0)
        return wholeText;
    // The last whole line ends before the final line end; CR LF counts once.
    size_t e = m_textEnd - 1;
    if (data[e] == '\n' && e > 0 && data[e - 1] == '\r')
        --e;
    for (;;) {
        size_t b = e;
        while (b > 0 && !isLineEndByte(data[b - 1]))
            --b;
        if (b == 0 && !wholeText) {
            m_lines.clear();
            return false; // this line may be cut
        }
        const bool ends = overDamage ? isNumberLine(QByteArrayView(data + b, qsizetype(e - b)))
                                     : b != e && !std::memchr(data + b, '=', e - b);
        if (ends)
            break;
        m_lines.push_back(LineSpan{uint32_t(b), uint32_t(e)});
        m_begin = b;
        if (b == 0)
            break;
        e = b - 1; // over the previous line's end
        if (data[e] == '\n' && e > 0 && data[e - 1] == '\r')
            --e;
    }
    std::reverse(m_lines.begin(), m_lines.end());
    return true;
}

bool FieldBlock::locate(const char *data, size_t size, bool wholeText)
{
    size_t textEnd = size;
    while (textEnd > 0 && !isLineEndByte(data[textEnd - 1]))
        --textEnd;
    m_textEnd = textEnd;
    m_plan = RecordPlan();
    if (!scan(data, wholeText, false))
        return false;
    if (!holdsEveryWriterLine(data, *this)) {
        // A line that lost its "=" may hide the fields above it: look past it to the records.
        FieldBlock wider;
        wider.m_textEnd = textEnd;
        if (!wider.scan(data, wholeText, true))
            return false;
        if (wider.m_begin < m_begin) {
            m_lines = std::move(wider.m_lines);
            m_begin = wider.m_begin;
        }
    }
    m_plan = judge(data, size, *this, !wholeText || m_begin > 0);
    return true;
}

QString judgeArchive(const RecordPlan &plan, uint64_t wholeRecordLines, bool nul)
{
    if (nul)
        return archivedamage::Nul;
    if (!plan.damage.isEmpty())
        return plan.damage;
    if (plan.records > 0) {
        // The last record needs only its four lines; the others APars lines each.
        const uint64_t pars = uint64_t(plan.linesPerRecord);
        uint64_t fewest = 0;
        uint64_t all = 0;
        if (__builtin_mul_overflow(uint64_t(plan.records - 1), pars, &fewest) ||
            __builtin_add_overflow(fewest, uint64_t(4), &fewest))
            fewest = UINT64_MAX;
        if (__builtin_mul_overflow(uint64_t(plan.records), pars, &all))
            all = UINT64_MAX;
        const uint64_t most = std::max(fewest, all);
        if (wholeRecordLines < fewest)
            return archivedamage::MoreRecordsPromised;
        if (wholeRecordLines > most)
            return QStringLiteral("holds more record lines than AFiles says");
    }
    return QString();
}

qint64 wholeRecords(const RecordPlan &plan, uint64_t wholeRecordLines)
{
    if (wholeRecordLines < 4)
        return 0;
    const qint64 n = qint64((wholeRecordLines - 4) / uint64_t(plan.linesPerRecord)) + 1;
    return plan.everyWholeRecord ? n : std::min(n, plan.records);
}
