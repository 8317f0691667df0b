// The engine's reading of one archive: its record section read record by record, or skimmed
// for the places that may hold the text, and the test of one record against the criteria.

#include "SearchEngineImpl.h"

#include "AccentFold.h"
#include "CaseFold.h"
#include "RowBlock.h"
#include "SkimKernel.h"
#include "catalog/ArchiveText.h"
#include "catalog/DosDateTime.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace search {

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
    const size_t len = spellFirstUpper(data + pos, bytesAfter(pos), own, &ownUsed);
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
            const size_t k = spellFirstUpper(data + p, bytesAfter(p), next, &used);
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

// With a text that every matching record holds, a record can only match when the text occurs in
// its folder or name line (ignoring ASCII letter case), or when those lines hold a character
// whose upper case (or, accents ignored, whose fold) is ASCII. The records that pass neither
// test are skipped without being split into lines; this holds in both modes, whatever the
// fields and the case switch, as long as the mark alone does not hold the text (TextCriterion).
bool SearchEngine::Impl::canSkipByHits() const
{
    return markOk && !text.isEmpty() && !text.skimText().isEmpty() && !cancelled();
}

// Accents ignored, a character outside ASCII at pos may fold to a letter of the text. Its line's
// encoding is read once, the character's fold looked up, and when it may take part the line is
// folded and looked at whole; a line looked at is passed over for the rest of its characters.
bool SearchEngine::Impl::foldedLineMayHold(size_t pos, size_t recordsEnd, FoldedLine &line)
{
    const char *data = file.data();
    const auto *bytes = reinterpret_cast<const uchar *>(data);
    const size_t start = size_t(findLineStart(data, data + pos) - data);
    if (start != line.start) {
        line.start = start;
        line.end = size_t(findLineEnd(data + pos, data + recordsEnd) - data);
        line.utf8 = isValidUtf8(bytes + start, line.end - start);
        line.done = false;
    }
    if (line.done)
        return false;
    const AccentFolder &folder = AccentFolder::instance(true);
    if (!(folder.charBits(bytes + start, bytes + pos, bytes + line.end, line.utf8) & text.skimBits()))
        return false;
    line.done = true;
    return text.foldedLineHolds(QByteArrayView(data + start, qsizetype(line.end - start)));
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
    // In simple mode the match text holds the folder and name lines whole: a place of the
    // phrase there, letter case aside, is a match (characters outside ASCII upper-case to
    // characters outside ASCII or, for the few that do not, spell out letters beside it).
    const bool advanced = c.AdvancedMode;
    const bool found = textFound && advanced == text.advanced() && text.skimTextIsMatch();
    if (found || testRecord(k, line[0], line[1], line[2], line[3], advanced))
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
    // The skim text, and whether accents are ignored, as the query below is built for them.
    const QByteArray skimText = text.skimText();
    const bool folds = text.skimFolds();
    const size_t m = size_t(skimText.size());
    const uchar *needle = reinterpret_cast<const uchar *>(skimText.constData());
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
    if (folds) {
        // Every character that may fold to a letter of the text, in place of the pairs.
        q.pairs = q.probes = 0;
        q.singleDF = false;
        q.accent = true;
        AccentFolder::instance(true).highBytesFor(text.skimBits(), q.highSet);
    }
    FoldedLine foldedLine;

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
        if (c.AdvancedMode == text.advanced())
            return false;
        setUpNeedle(c.AdvancedMode);
        if (canSkipByHits() && text.skimText() == skimText && text.skimFolds() == folds)
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
            if (cand.special && !(folds ? foldedLineMayHold(cand.pos, recordsEnd, foldedLine)
                                        : lineMayHold(cand.pos, recordsEnd, folded, m)))
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

bool SearchEngine::Impl::testRecord(qint64 k, QByteArrayView folder, QByteArrayView name, QByteArrayView size,
                                    QByteArrayView date, bool advanced)
{
    if (!markOk)
        return false;
    if (advanced != text.advanced())
        setUpNeedle(advanced); // the mode changed during the search: it counts from this record
    if (advanced) {
        if (c.dateActive && !DateInRange(date, c))
            return false;
        if (c.sizeActive && !SizeMatches(size, c))
            return false;
    }
    bool gaveUp = false;
    const bool holds = text.holds(folder, name, &gaveUp);
    if (gaveUp)
        gaveUpOn(k);
    return holds;
}

void SearchEngine::Impl::gaveUpOn(qint64 k)
{
    if (problems.gaveUp++ == 0)
        problems.firstGaveUp = archivePath + QLatin1Char(' ') + QString::number(k);
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
    r.dateValid = parseDecimal64(date, &dv) && dosdate::isValid(static_cast<int32_t>(uint32_t(uint64_t(dv))));
    if (r.dateValid)
        r.date = static_cast<int32_t>(uint32_t(uint64_t(dv)));
    r.sizeValid = parseDecimal64(size, &r.size);
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
    if (!r.dateValid || !r.sizeValid)
        problems.noteUnfilled(archivePath, r.record);
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
    int err = 0;
    if (!file.load(path, &error, &err)) {
        // Removed since the walk listed it: it is no longer in the catalog, and nothing is missed.
        if (err == ENOENT) {
            if (from == 0)
                --archivesRead;
            return;
        }
        problems.unreadable.append(UnreadableArchive{path, error});
        return;
    }
    const char *data = file.data();
    const size_t size = file.size();
    block.locate(data, size, true);
    const size_t recordsEnd = block.begin();
    const RecordPlan &plan = block.plan();

    const QByteArrayView markBytes = trimControls(block.value(data, u"AMark"));
    mark = markBytes.isEmpty() ? QStringLiteral("Unknown") : decodeArchiveText(markBytes);
    markOk = c.OnlyMark.isEmpty() || mark == c.OnlyMark;
    if (!markOk)
        return; // another disc's archive: it gives no row, and its damage is not this search's news
    if (!c.OnlyMark.isEmpty())
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
    text.setUp(c, archiveText, mark, advanced, asciiFast);
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
            if (testRecord(k, line[0], line[1], line[2], line[3], c.AdvancedMode))
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
        if (testRecord(k, folder, name, size, date, c.AdvancedMode))
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

} // namespace search
