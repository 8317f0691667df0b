#include "TableExport.h"

#include "OutputFile.h"

#include <QLocale>

#include <charconv>

namespace {

constexpr size_t FlushAt = (1 << 20) - 8192;

// A CSV cell is quoted when it holds what would end it early: the separator, a quote or a line
// break (a quote inside is doubled).
bool needsQuotes(QByteArrayView utf8)
{
    for (const char c : utf8)
        if (c == ',' || c == '"' || c == '\n' || c == '\r')
            return true;
    return false;
}

const char *const PageStyle = "body{font-family:sans-serif;font-size:10pt;margin:1.5em}"
                              "h1{font-size:14pt;margin:0 0 .3em}"
                              "p{margin:.1em 0}"
                              "table{border-collapse:collapse;margin-top:1em}"
                              "th,td{border:1px solid #999;padding:.15em .5em;text-align:left;"
                              "vertical-align:top;white-space:pre-wrap}"
                              "th{background:#e4e4e4}"
                              "td.n{text-align:right;white-space:nowrap}"
                              "tr:nth-child(even) td{background:#f4f4f4}"
                              "@media print{body{margin:0}thead{display:table-header-group}"
                              "tr{page-break-inside:avoid}}";

} // namespace

std::optional<ExportFormat> exportFormatNamed(QStringView name)
{
    if (name.compare(QLatin1String("csv"), Qt::CaseInsensitive) == 0)
        return ExportFormat::Csv;
    if (name.compare(QLatin1String("html"), Qt::CaseInsensitive) == 0)
        return ExportFormat::Html;
    return std::nullopt;
}

std::optional<ExportFormat> exportFormatOfName(QStringView fileName)
{
    if (fileName.endsWith(QLatin1String(".csv"), Qt::CaseInsensitive))
        return ExportFormat::Csv;
    if (fileName.endsWith(QLatin1String(".html"), Qt::CaseInsensitive) ||
        fileName.endsWith(QLatin1String(".htm"), Qt::CaseInsensitive))
        return ExportFormat::Html;
    return std::nullopt;
}

TableExport::TableExport(ExportFormat format, const QList<Column> &columns, const Heading &heading, Sink sink)
    : m_format(format), m_columns(columns), m_sink(std::move(sink))
{
    m_buf.reserve(1 << 20);
    if (m_format == ExportFormat::Csv) {
        for (const Column &c : m_columns)
            cell(c.caption);
        endRow();
        m_rows = 0;
        return;
    }
    m_buf += "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\"/>\n<title>";
    appendEscaped(heading.title.toUtf8());
    m_buf += "</title>\n<style>";
    m_buf += PageStyle;
    m_buf += "</style>\n</head>\n<body>\n<h1>";
    appendEscaped(heading.title.toUtf8());
    m_buf += "</h1>\n";
    if (!heading.subject.isEmpty()) {
        m_buf += "<p>";
        appendEscaped(heading.subject.toUtf8());
        m_buf += "</p>\n";
    }
    if (heading.made.isValid()) {
        m_buf += "<p>Made ";
        appendEscaped(QLocale().toString(heading.made, QLocale::LongFormat).toUtf8());
        m_buf += "</p>\n";
    }
    m_buf += "<table>\n<thead><tr>";
    for (const Column &c : m_columns) {
        m_buf += "<th>";
        appendEscaped(c.caption.toUtf8());
        m_buf += "</th>";
    }
    m_buf += "</tr></thead>\n<tbody>\n";
}

void TableExport::beginCell()
{
    if (m_format == ExportFormat::Csv) {
        if (m_column > 0)
            m_buf += ',';
    } else {
        if (m_column == 0)
            m_buf += "<tr>";
        const bool number = m_column < m_columns.size() && m_columns.at(m_column).number;
        m_buf += number ? "<td class=\"n\">" : "<td>";
    }
    ++m_column;
}

// Text of a cell: CSV quotes it when needed; the page escapes every character that means
// something to a parser and replaces the control characters no HTML or XML reader takes.
void TableExport::appendEscaped(QByteArrayView utf8)
{
    if (m_format == ExportFormat::Csv) {
        if (!needsQuotes(utf8)) {
            m_buf.append(utf8.data(), size_t(utf8.size()));
            return;
        }
        m_buf += '"';
        for (const char c : utf8) {
            if (c == '"')
                m_buf += '"';
            m_buf += c;
        }
        m_buf += '"';
        return;
    }
    for (const char c : utf8) {
        switch (c) {
        case '&':
            m_buf += "&amp;";
            break;
        case '<':
            m_buf += "&lt;";
            break;
        case '>':
            m_buf += "&gt;";
            break;
        case '"':
            m_buf += "&quot;";
            break;
        case '\'':
            m_buf += "&#39;";
            break;
        case '\t':
        case '\n':
        case '\r':
            m_buf += c;
            break;
        default:
            if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f)
                m_buf += "\xEF\xBF\xBD"; // U+FFFD
            else
                m_buf += c;
        }
    }
}

void TableExport::cell(QStringView text)
{
    beginCell();
    appendEscaped(text.toUtf8());
    if (m_format == ExportFormat::Html)
        m_buf += "</td>";
}

void TableExport::cell(QLatin1StringView text)
{
    cell(QString(text));
}

void TableExport::cellUtf8(QByteArrayView utf8)
{
    beginCell();
    appendEscaped(utf8);
    if (m_format == ExportFormat::Html)
        m_buf += "</td>";
}

void TableExport::cell(qint64 number)
{
    beginCell();
    char digits[24];
    const auto end = std::to_chars(digits, digits + sizeof digits, number).ptr;
    m_buf.append(digits, size_t(end - digits));
    if (m_format == ExportFormat::Html)
        m_buf += "</td>";
}

void TableExport::emptyCell()
{
    beginCell();
    if (m_format == ExportFormat::Html)
        m_buf += "</td>";
}

void TableExport::endRow()
{
    // A row given fewer cells than columns is filled up, so every row has them all.
    while (m_column < m_columns.size())
        emptyCell();
    m_buf += m_format == ExportFormat::Csv ? "\r\n" : "</tr>\n";
    m_column = 0;
    ++m_rows;
    maybeFlush();
}

void TableExport::maybeFlush()
{
    if (m_buf.size() < FlushAt)
        return;
    m_sink(QByteArrayView(m_buf.data(), qsizetype(m_buf.size())));
    m_buf.clear();
}

void TableExport::finish()
{
    if (m_column > 0)
        endRow();
    if (m_format == ExportFormat::Html)
        m_buf += "</tbody>\n</table>\n</body>\n</html>\n";
    if (!m_buf.empty())
        m_sink(QByteArrayView(m_buf.data(), qsizetype(m_buf.size())));
    m_buf.clear();
}

bool writeTableFile(const QString &fileName, ExportFormat format, const QList<TableExport::Column> &columns,
                    const TableExport::Heading &heading, const std::function<bool(TableExport &)> &fill)
{
    OutputFile out(fileName);
    TableExport table(format, columns, heading, [&out](QByteArrayView bytes) { out.write(bytes); });
    if (!fill(table)) {
        out.discard();
        return false;
    }
    table.finish();
    out.commit();
    return true;
}
