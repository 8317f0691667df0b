#include "ArchiveLayout.h"

#include <algorithm>
#include <cstring>

bool FieldBlock::locate(const char *data, size_t size, bool wholeText)
{
    m_lines.clear();
    size_t textEnd = size;
    while (textEnd > 0 && !isLineEndByte(data[textEnd - 1]))
        --textEnd;
    m_textEnd = textEnd;
    m_begin = textEnd;
    if (textEnd == 0)
        return wholeText;
    // The last whole line ends before the final line end; CR LF counts once.
    size_t e = textEnd - 1;
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
        if (b != e && !std::memchr(data + b, '=', e - b))
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

QByteArrayView FieldBlock::line(const char *data, qsizetype i) const
{
    const LineSpan &s = m_lines[size_t(i)];
    const QByteArrayView l(data + s.begin, qsizetype(s.end - s.begin));
    const qsizetype nul = l.indexOf('\0');
    return nul < 0 ? l : l.first(nul);
}

qsizetype FieldBlock::find(const char *data, QStringView key) const
{
    for (qsizetype i = 0; i < lineCount(); ++i) {
        const QByteArrayView l = line(data, i);
        const qsizetype eq = l.indexOf('=');
        if (eq >= 0 && sameArchiveKey(l.first(eq), key))
            return i;
    }
    return -1;
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

bool hasKey(QByteArrayView line, QStringView key)
{
    const qsizetype eq = line.indexOf('=');
    return eq >= 0 && sameArchiveKey(line.first(eq), key);
}

} // namespace

RecordPlan judgeFieldBlock(const char *data, size_t size, const FieldBlock &block, bool recordsPresent)
{
    RecordPlan plan;
    const auto note = [&plan](const QString &reason) {
        if (plan.damage.isEmpty())
            plan.damage = reason;
    };
    if (block.textEnd() < size)
        note(QStringLiteral("ends in the middle of a line"));
    if (block.lineCount() == 0) {
        note(QStringLiteral("has no archive fields"));
    } else {
        const qsizetype endLine = block.find(data, u"AEnd");
        if (endLine < 0 || trimControls(block.value(data, u"AEnd")) != QByteArrayView("EndTag")) {
            note(QStringLiteral("has no AEnd=EndTag line"));
        } else {
            // The editor appends these three after the end line; nothing else belongs there.
            for (qsizetype i = endLine + 1; i < block.lineCount(); ++i) {
                const QByteArrayView l = block.line(data, i);
                if (!hasKey(l, u"AMark") && !hasKey(l, u"ALocation") && !hasKey(l, u"ANote"))
                    note(QStringLiteral("has a stray line after AEnd=EndTag"));
            }
        }
        for (qsizetype i = 0; i < block.lineCount(); ++i) {
            if (block.line(data, i).indexOf('=') < 0)
                note(QStringLiteral("has a stray line among its fields"));
        }
        for (const char16_t *key :
             {u"ADate", u"ACRC", u"AFiles", u"ADirs", u"ASize", u"ANumber", u"ASource", u"APicture"}) {
            if (block.find(data, QStringView(key)) < 0)
                note(QStringLiteral("lacks its %1 line").arg(QStringView(key)));
        }
    }

    const QByteArrayView parsText = trimControls(block.value(data, u"APars"));
    if (!parsText.isEmpty()) {
        qint64 pars = 0;
        if (!parseDecimal64(parsText, &pars) || pars < 1) {
            // Records would overlap or lie before the file's start: none can be placed.
            note(QStringLiteral("APars is not a positive number"));
            return plan;
        }
        plan.linesPerRecord = pars;
    }
    const QByteArrayView filesText = trimControls(block.value(data, u"AFiles"));
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
