#include "cliSearch.h"

#include "DateText.h"
#include "ResultsExport.h"
#include "SearchEngine.h"
#include "TextCriterion.h"
#include "catalog/DosDateTime.h"
#include "catalog/ProgramCatalog.h"
#include "util/gUtils.h"

#include <QDate>
#include <QJsonDocument>
#include <QJsonObject>
#include <QThread>

#include <algorithm>
#include <optional>
#include <string>

namespace search {
namespace {

// Output collected in a large buffer: millions of rows must not cost one write each.
class Out
{
public:
    explicit Out(std::FILE *f) : m_file(f) { m_buf.reserve(1 << 20); }
    ~Out() { flush(); }
    void flush()
    {
        if (!m_buf.empty())
            std::fwrite(m_buf.data(), 1, m_buf.size(), m_file);
        m_buf.clear();
        std::fflush(m_file);
    }
    void maybeFlush()
    {
        if (m_buf.size() > (1 << 20) - 4096) {
            std::fwrite(m_buf.data(), 1, m_buf.size(), m_file);
            m_buf.clear();
        }
    }
    std::string &buf() { return m_buf; }

private:
    std::FILE *m_file;
    std::string m_buf;
};

// Archive bytes as UTF-8: passed through when already UTF-8, else decoded from Windows-1252.
void appendText(std::string &out, QByteArrayView bytes)
{
    if (isValidUtf8(reinterpret_cast<const unsigned char *>(bytes.data()), size_t(bytes.size()))) {
        out.append(bytes.data(), size_t(bytes.size()));
        return;
    }
    const QByteArray utf8 = decodeArchiveText(bytes).toUtf8();
    out.append(utf8.constData(), size_t(utf8.size()));
}

void appendText(std::string &out, const QString &text)
{
    const QByteArray utf8 = text.toUtf8();
    out.append(utf8.constData(), size_t(utf8.size()));
}

// A cell of a TSV row: a tab inside it would start the next column, so it becomes a blank.
template <typename Text> void appendCell(std::string &out, const Text &text)
{
    const size_t from = out.size();
    appendText(out, text);
    std::replace(out.begin() + std::ptrdiff_t(from), out.end(), '\t', ' ');
}

class TsvSink : public ResultSink
{
public:
    explicit TsvSink(Out &out) : m_out(out) {}
    void beginArchive(int, const ArchiveInfo &archive) override
    {
        m_mark.clear();
        appendCell(m_mark, archive.mark);
    }
    void addRow(const FoundRecord &r) override
    {
        std::string &o = m_out.buf();
        o += m_mark;
        o += '\t';
        appendCell(o, r.folder);
        o += '\t';
        appendCell(o, r.name);
        o += '\t';
        const QByteArrayView type = typePart(r.name);
        if (!type.isEmpty())
            appendCell(o, type.sliced(1));
        o += '\t';
        // The cells are filled in column order, so a date that cannot be shown empties the size too.
        if (r.dateValid) {
            appendText(o, formatPackedDate(r.date));
            o += '\t';
            if (r.sizeValid)
                appendText(o, FormatGroupedNumber(r.size));
        } else {
            o += '\t';
        }
        o += '\n';
        m_out.maybeFlush();
    }

private:
    Out &m_out;
    std::string m_mark;
};

class JsonSink : public ResultSink
{
public:
    explicit JsonSink(Out &out) : m_out(out) {}
    void beginArchive(int, const ArchiveInfo &archive) override
    {
        // One object for every row: the keys stay, only the values change, which saves most
        // of an object's cost.
        m_row[QLatin1StringView("archive")] = archive.mark;
        m_row[QLatin1StringView("path")] = archive.path;
    }
    void addRow(const FoundRecord &r) override
    {
        const QByteArrayView type = typePart(r.name);
        m_row[QLatin1StringView("directory")] = decodeArchiveText(r.folder);
        m_row[QLatin1StringView("file")] = decodeArchiveText(r.name);
        m_row[QLatin1StringView("type")] = type.isEmpty() ? QString() : decodeArchiveText(type.sliced(1));
        m_row[QLatin1StringView("date")] = r.dateValid ? QJsonValue(dosdate::isoText(r.date)) : QJsonValue();
        m_row[QLatin1StringView("size")] = r.sizeValid ? QJsonValue(r.size) : QJsonValue();
        m_row[QLatin1StringView("record")] = QJsonValue(r.record);
        const QByteArray line = QJsonDocument(m_row).toJson(QJsonDocument::Compact);
        std::string &o = m_out.buf();
        o.append(line.constData(), size_t(line.size()));
        o += '\n';
        m_out.maybeFlush();
    }

private:
    Out &m_out;
    QJsonObject m_row;
};

} // namespace
} // namespace search

namespace {

// Day first, as the window shows dates, or ISO.
QDate parseDate(const QString &text)
{
    const QDate iso = QDate::fromString(text, Qt::ISODate);
    if (iso.isValid() && text.size() == 10)
        return iso;
    return QDate::fromString(text, QStringLiteral("d/M/yyyy"));
}

int runSearch(CliContext &ctx)
{
    using namespace search;
    SearchCriteria c;
    const bool count = ctx.isSet(QStringLiteral("count"));
    const bool json = ctx.value(QStringLiteral("format")) == QLatin1String("json");
    const std::optional<ExportFormat> table = exportFormatNamed(ctx.value(QStringLiteral("format")));
    bool advancedOption = false;
    QDate from;
    QDate to;
    int sizePosition = 0;

    if (ctx.args.size() > 1)
        return ctx.usageError(QStringLiteral("give one search text (quote it when it holds blanks)"));
    if (!ctx.args.isEmpty())
        c.searchText = ctx.args.front();
    c.AdvancedMode = ctx.isSet(QStringLiteral("advanced"));
    if (ctx.isSet(QStringLiteral("case"))) {
        c.caseSensitive = true;
        advancedOption = true;
    }
    if (ctx.isSet(QStringLiteral("fields"))) {
        c.marks = c.dirs = c.files = c.types = false;
        const QString v = ctx.value(QStringLiteral("fields"));
        for (const QString &f : v.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
            if (f == QLatin1String("marks"))
                c.marks = true;
            else if (f == QLatin1String("dirs"))
                c.dirs = true;
            else if (f == QLatin1String("files"))
                c.files = true;
            else if (f == QLatin1String("types"))
                c.types = true;
            else
                return ctx.usageError(
                    QStringLiteral("unknown field '%1' (marks, dirs, files, types)").arg(f));
        }
        advancedOption = true;
    }
    for (const char *bound : {"from", "to"}) {
        const QString name = QString::fromLatin1(bound);
        if (!ctx.isSet(name))
            continue;
        const QString v = ctx.value(name);
        const QDate d = parseDate(v);
        if (!d.isValid())
            return ctx.usageError(QStringLiteral("not a date DD/MM/YYYY or YYYY-MM-DD: '%1'").arg(v));
        (name == QLatin1String("from") ? from : to) = d;
        advancedOption = true;
    }
    const bool atLeast = ctx.isSet(QStringLiteral("at-least"));
    const bool atMost = ctx.isSet(QStringLiteral("at-most"));
    if (atLeast && atMost)
        return ctx.usageError(QStringLiteral("give either --at-least or --at-most"));
    if (atLeast || atMost) {
        const QString v = ctx.value(atMost ? QStringLiteral("at-most") : QStringLiteral("at-least"));
        bool ok = false;
        sizePosition = v.toInt(&ok);
        if (!ok || sizePosition < 0 || sizePosition > 32767)
            return ctx.usageError(QStringLiteral("the size must be a number from 0 to 32767: '%1'").arg(v));
        c.sizeAtMost = atMost;
        advancedOption = true;
    }
    std::optional<SizeUnit> unit = kDefaultSizeUnit;
    if (ctx.isSet(QStringLiteral("unit"))) {
        unit = sizeUnitNamed(ctx.value(QStringLiteral("unit")));
        advancedOption = true;
    }
    c.OnlyMark = ctx.value(QStringLiteral("only-mark"));
    // How the text is matched, in either mode; the window's Preferences play no part here.
    if (ctx.isSet(QStringLiteral("match")))
        matchModeFromName(ctx.value(QStringLiteral("match")), &c.match);
    c.simpleMatch = c.match;
    c.ignoreAccents = c.simpleIgnoreAccents = ctx.isSet(QStringLiteral("ignore-accents"));

    // The advanced criteria only count in advanced mode, as in the window; giving one asks for it.
    if (advancedOption)
        c.AdvancedMode = true;
    if (const QString problem = searchTextProblem(c); !problem.isEmpty())
        return ctx.usageError(problem);
    if (from.isValid() || to.isValid()) {
        const QDate today = QDate::currentDate();
        c.dateActive = true;
        DateChange(from.isValid() ? from : today, to.isValid() ? to : today, c);
    }
    if (atLeast || atMost) {
        c.sizeActive = true;
        SizeChange(sizePosition, unit, c);
    }
    int threads = QThread::idealThreadCount();
    if (ctx.isSet(QStringLiteral("threads"))) {
        const QString v = ctx.value(QStringLiteral("threads"));
        bool ok = false;
        threads = v.toInt(&ok);
        if (!ok || threads < 1 || threads > 256)
            return ctx.usageError(
                QStringLiteral("the thread count must be a number from 1 to 256: '%1'").arg(v));
    }
    const catalog::Catalog catalog = catalog::commandLineCatalog(ctx.catalogFolder);

    SearchProblems problems;
    bool onlyMarkMet = false;
    {
        Out o(ctx.outFile);
        CountingSink counter;
        TsvSink tsv(o);
        JsonSink js(o);
        std::optional<TableExport> exported;
        std::optional<ExportSink> exportSink;
        if (table && !count) {
            exported.emplace(*table, resultColumns(),
                             TableExport::Heading{QStringLiteral("Ambrylog search"), criteriaSummary(c),
                                                  QDateTime::currentDateTime()},
                             [&o](QByteArrayView bytes) {
                                 o.buf().append(bytes.data(), size_t(bytes.size()));
                                 o.maybeFlush();
                             });
            exportSink.emplace(*exported);
        }
        ResultSink &sink = count        ? static_cast<ResultSink &>(counter)
                           : exportSink ? static_cast<ResultSink &>(*exportSink)
                           : json       ? static_cast<ResultSink &>(js)
                                        : static_cast<ResultSink &>(tsv);
        SearchEngine engine(c, sink);
        engine.setThreads(threads);
        engine.SearchArchive(catalog);
        problems = engine.problems();
        onlyMarkMet = engine.archivesWithOnlyMark() > 0;
        if (count)
            o.buf() += std::to_string(counter.count) + '\n';
        if (exported)
            exported->finish();
    }
    if (problems.unfilledRows > 0)
        ctx.err(QStringLiteral("ambrylog-cli search: rows not filled: ") + unfilledRowsMessage(problems));
    for (qsizetype i = 0; i < problems.damagedArchives.size(); ++i)
        ctx.err(QStringLiteral("ambrylog-cli search: damaged archive: %1 (%2)")
                    .arg(problems.damagedArchives.at(i), problems.damagedReasons.value(i)));
    for (const UnreadableArchive &u : std::as_const(problems.unreadable))
        ctx.err(QStringLiteral("ambrylog-cli search: unreadable archive: %1 (%2)").arg(u.path, u.reason));
    if (!c.OnlyMark.isEmpty() && !onlyMarkMet) {
        ctx.err(QStringLiteral("ambrylog-cli search: no archive has the mark '%1'").arg(c.OnlyMark));
        return CliSearchNoSuchMark;
    }
    if (problems.gaveUp > 0)
        ctx.err(QStringLiteral("ambrylog-cli search: ") + gaveUpMessage(problems));
    if (!problems.damagedArchives.isEmpty() || !problems.unreadable.isEmpty())
        return CliSearchDamaged;
    return problems.gaveUp > 0 ? CliSearchGaveUp : 0;
}

} // namespace

const CliCommand &searchCommand()
{
    static const CliCommand command{
        .name = QStringLiteral("search"),
        .summary = QStringLiteral("search the file records of every archive"),
        .synopsis = {QStringLiteral(
            "[TEXT] [--advanced] [--match MODE] [--ignore-accents] [--fields marks,dirs,files,types] "
            "[--case] [--from DATE] "
            "[--to DATE] [--at-least N | --at-most N] [--unit UNIT] [--only-mark MARK] "
            "[--count] [--format tsv|json|csv|html] [--threads N]")},
        .description = QStringLiteral(
            "The search window's engine with the window's defaults. Rows are tab-separated: mark,\n"
            "folder, name, type, date, size (a tab inside a cell is written as a blank); --format json "
            "writes one object per line. --format csv writes the list's columns under a header row\n"
            "(RFC 4180: a cell holding a comma, a quote or a line break is quoted) with sizes in bytes\n"
            "and dates as YYYY-MM-DDThh:mm:ss; --format html writes one page with the criteria and the\n"
            "list's columns as the window shows them. An advanced\n"
            "option (fields, case, dates, size) switches to advanced mode. DATE is DD/MM/YYYY or\n"
            "YYYY-MM-DD; a missing bound is today. MODE: phrase (the default), all or any word (a\n"
            "word starting with - excludes, a \"quoted phrase\" is one word), begins (the file name\n"
            "starts with the text) or regex (PCRE2, each field on its own)."),
        .options =
            {{{QStringLiteral("advanced")},
              {},
              QStringLiteral("advanced mode: wildcards and the criteria below")},
             {{QStringLiteral("match")},
              QStringLiteral("MODE"),
              QStringLiteral("how the text is matched, phrase unless given"),
              search::matchModeNames()},
             {{QStringLiteral("ignore-accents")}, {}, QStringLiteral("letters match whatever their accents")},
             {{QStringLiteral("fields")},
              QStringLiteral("LIST"),
              QStringLiteral("fields the text is looked for in: marks,dirs,files,types")},
             {{QStringLiteral("case")}, {}, QStringLiteral("letter case counts")},
             {{QStringLiteral("from")}, QStringLiteral("DATE"), QStringLiteral("modified on or after")},
             {{QStringLiteral("to")}, QStringLiteral("DATE"), QStringLiteral("modified on or before")},
             {{QStringLiteral("at-least")},
              QStringLiteral("N"),
              QStringLiteral("size at least N units (0 to 32767)")},
             {{QStringLiteral("at-most")},
              QStringLiteral("N"),
              QStringLiteral("size at most N units (0 to 32767)")},
             {{QStringLiteral("unit")},
              QStringLiteral("UNIT"),
              QStringLiteral("the size unit, ") + search::sizeUnitCaption(search::kDefaultSizeUnit) +
                  QStringLiteral(" unless given"),
              search::sizeUnitCaptions()},
             {{QStringLiteral("only-mark")},
              QStringLiteral("MARK"),
              QStringLiteral("search only the archive with this mark")},
             {{QStringLiteral("count")}, {}, QStringLiteral("print only the number of rows")},
             {{QStringLiteral("format")},
              QStringLiteral("FORMAT"),
              QStringLiteral("output format, tsv unless given"),
              {QStringLiteral("tsv"), QStringLiteral("json"), QStringLiteral("csv"), QStringLiteral("html")}},
             {{QStringLiteral("threads")},
              QStringLiteral("N"),
              QStringLiteral("archives scanned at once, every core unless given; the output is the same "
                             "for every N")}},
        .maxArgs = -1,
        .exitCodes = {{0, QStringLiteral("done")},
                      {1, QStringLiteral("error")},
                      {CliSearchDamaged,
                       QStringLiteral(
                           "damaged archives were read in part, or unreadable ones skipped (named on "
                           "standard error)")},
                      {CliSearchNoSuchMark, QStringLiteral("no archive has the --only-mark mark")},
                      {CliSearchGaveUp,
                       QStringLiteral("the regular expression took too long on some records, which are not "
                                      "listed (named on standard error)")}},
        .arguments = {{QStringLiteral("TEXT")}},
        .run = runSearch,
    };
    return command;
}

int runSearchCommand(const QStringList &args, const QString &catalogFolder, std::FILE *out, std::FILE *err)
{
    return runCliCommand(searchCommand(), catalogFolder, args, out, err);
}
