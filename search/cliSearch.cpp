#include "cliSearch.h"

#include "RecordScan.h"
#include "SearchEngine.h"
#include "Startup.h"
#include "gUtils.h"

#include <QDate>

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
    const QByteArray utf8 = decodeArchiveBytes(bytes).toUtf8();
    out.append(utf8.constData(), size_t(utf8.size()));
}

void appendText(std::string &out, const QString &text)
{
    const QByteArray utf8 = text.toUtf8();
    out.append(utf8.constData(), size_t(utf8.size()));
}

void appendJsonString(std::string &out, const std::string &utf8)
{
    out += '"';
    for (const char ch : utf8) {
        const unsigned char c = static_cast<unsigned char>(ch);
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            if (c < 0x20) {
                char esc[8];
                std::snprintf(esc, sizeof esc, "\\u%04x", c);
                out += esc;
            } else {
                out += ch;
            }
        }
    }
    out += '"';
}

class TsvSink : public ResultSink
{
public:
    explicit TsvSink(Out &out) : m_out(out) {}
    void beginArchive(int, const ArchiveInfo &archive) override
    {
        m_mark.clear();
        appendText(m_mark, archive.mark);
    }
    void addRow(const FoundRecord &r) override
    {
        std::string &o = m_out.buf();
        o += m_mark;
        o += '\t';
        appendText(o, r.folder);
        o += '\t';
        appendText(o, r.name);
        o += '\t';
        const QByteArrayView type = typePart(r.name);
        if (!type.isEmpty())
            appendText(o, type.sliced(1));
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
        std::string s;
        m_mark.clear();
        appendText(s, archive.mark);
        appendJsonString(m_mark, s);
        s.clear();
        m_path.clear();
        appendText(s, archive.path);
        appendJsonString(m_path, s);
    }
    void addRow(const FoundRecord &r) override
    {
        std::string &o = m_out.buf();
        std::string s;
        o += "{\"archive\":";
        o += m_mark;
        o += ",\"directory\":";
        appendText(s, r.folder);
        appendJsonString(o, s);
        o += ",\"file\":";
        s.clear();
        appendText(s, r.name);
        appendJsonString(o, s);
        o += ",\"type\":";
        s.clear();
        const QByteArrayView type = typePart(r.name);
        if (!type.isEmpty())
            appendText(s, type.sliced(1));
        appendJsonString(o, s);
        o += ",\"date\":";
        if (r.dateValid) {
            const uint32_t v = uint32_t(r.date);
            char iso[32];
            std::snprintf(iso, sizeof iso, "\"%04u-%02u-%02uT%02u:%02u:%02u\"", (v >> 25) + 1980,
                          (v >> 21) & 0xF, (v >> 16) & 0x1F, (v >> 11) & 0x1F, (v >> 5) & 0x3F,
                          (v & 0x1F) * 2);
            o += iso;
        } else {
            o += "null";
        }
        o += ",\"size\":";
        o += r.sizeValid ? std::to_string(r.size) : std::string("null");
        o += ",\"path\":";
        o += m_path;
        o += ",\"record\":";
        o += std::to_string(r.record);
        o += "}\n";
        m_out.maybeFlush();
    }

private:
    Out &m_out;
    std::string m_mark;
    std::string m_path;
};

void printErr(std::FILE *err, const QString &line)
{
    const QByteArray b = line.toUtf8();
    std::fwrite(b.constData(), 1, size_t(b.size()), err);
    std::fputc('\n', err);
    std::fflush(err);
}

} // namespace
} // namespace search

int runSearchCommand(const QStringList &args, const QString &catalogFolder, std::FILE *out, std::FILE *err)
{
    using namespace search;
    SearchCriteria c;
    bool count = false;
    bool json = false;
    bool haveText = false;
    bool advancedOption = false;
    QDate from;
    QDate to;
    bool sizeGiven = false;
    int sizePosition = 0;
    QString unit = QStringLiteral("KiloBytes");

    const auto fail = [&](const QString &message) {
        printErr(err, QStringLiteral("ambrylog-cli search: ") + message);
        return 1;
    };
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString &a = args.at(i);
        const auto value = [&](QString *v) {
            if (i + 1 >= args.size())
                return false;
            *v = args.at(++i);
            return true;
        };
        QString v;
        if (a == QLatin1String("--advanced")) {
            c.AdvancedMode = true;
        } else if (a == QLatin1String("--case")) {
            c.caseSensitive = true;
            advancedOption = true;
        } else if (a == QLatin1String("--count")) {
            count = true;
        } else if (a == QLatin1String("--fields")) {
            if (!value(&v))
                return fail(QStringLiteral("--fields needs a list"));
            c.marks = c.dirs = c.files = c.types = false;
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
                    return fail(QStringLiteral("unknown field '%1' (marks, dirs, files, types)").arg(f));
            }
            advancedOption = true;
        } else if (a == QLatin1String("--from") || a == QLatin1String("--to")) {
            if (!value(&v))
                return fail(a + QStringLiteral(" needs a date DD/MM/YYYY"));
            const QDate d = QDate::fromString(v, QStringLiteral("d/M/yyyy"));
            if (!d.isValid())
                return fail(QStringLiteral("not a date DD/MM/YYYY: '%1'").arg(v));
            (a == QLatin1String("--from") ? from : to) = d;
            advancedOption = true;
        } else if (a == QLatin1String("--at-least") || a == QLatin1String("--at-most")) {
            if (sizeGiven)
                return fail(QStringLiteral("give either --at-least or --at-most"));
            if (!value(&v))
                return fail(a + QStringLiteral(" needs a number"));
            bool ok = false;
            sizePosition = v.toInt(&ok);
            if (!ok || sizePosition < 0 || sizePosition > 32767)
                return fail(QStringLiteral("the size must be a number from 0 to 32767: '%1'").arg(v));
            sizeGiven = true;
            c.sizeAtMost = a == QLatin1String("--at-most");
            advancedOption = true;
        } else if (a == QLatin1String("--unit")) {
            if (!value(&v) || sizeMultiplier(v) == 0)
                return fail(QStringLiteral("--unit takes Bytes, KiloBytes, MegaBytes or GigaBytes"));
            unit = v;
            advancedOption = true;
        } else if (a == QLatin1String("--only-mark")) {
            if (!value(&v))
                return fail(QStringLiteral("--only-mark needs a mark"));
            c.OnlyMark = v;
        } else if (a == QLatin1String("--format")) {
            if (!value(&v) || (v != QLatin1String("tsv") && v != QLatin1String("json")))
                return fail(QStringLiteral("--format takes tsv or json"));
            json = v == QLatin1String("json");
        } else if (a.startsWith(QLatin1String("--")) && a != QLatin1String("--")) {
            return fail(QStringLiteral("unknown option '%1'").arg(a));
        } else {
            if (a == QLatin1String("--")) {
                if (++i >= args.size())
                    break;
            }
            if (haveText)
                return fail(QStringLiteral("give one search text (quote it when it holds blanks)"));
            c.searchText = args.at(i);
            haveText = true;
        }
    }
    // The advanced criteria only count in advanced mode, as in the window; giving one asks for it.
    if (advancedOption)
        c.AdvancedMode = true;
    if (from.isValid() || to.isValid()) {
        const QDate today = QDate::currentDate();
        c.dateActive = true;
        DateChange(from.isValid() ? from : today, to.isValid() ? to : today, c);
    }
    if (sizeGiven) {
        c.sizeActive = true;
        SizeChange(sizePosition, unit, c);
    }

    SearchProblems problems;
    {
        Out o(out);
        CountingSink counter;
        TsvSink tsv(o);
        JsonSink js(o);
        ResultSink &sink = count ? static_cast<ResultSink &>(counter)
                                 : (json ? static_cast<ResultSink &>(js) : static_cast<ResultSink &>(tsv));
        SearchEngine engine(c, sink);
        engine.SearchArchive(catalogFolder);
        problems = engine.problems();
        if (count)
            o.buf() += std::to_string(counter.count) + '\n';
    }
    if (problems.unfilledRows > 0)
        printErr(err,
                 QStringLiteral("ambrylog-cli search: rows not filled: ") + unfilledRowsMessage(problems));
    for (qsizetype i = 0; i < problems.damagedArchives.size(); ++i)
        printErr(err, QStringLiteral("ambrylog-cli search: damaged archive: %1 (%2)")
                          .arg(problems.damagedArchives.at(i), problems.damagedReasons.value(i)));
    return problems.damagedArchives.isEmpty() ? 0 : 3;
}

int cliSearch(CliContext &ctx)
{
    const QString folder = resolveCatalogFolder(ctx.catalogFolder);
    return runSearchCommand(ctx.args, folder, stdout, stderr);
}
