#pragma once

// A list taken out of the program as a table: CSV for a spreadsheet (RFC 4180, UTF-8, a header
// row, lines ending in CR LF) or one self-contained HTML page to read, print or keep (title,
// what the list is, the date it was made, the table; a style sheet inside and no script). Rows
// are added a cell at a time and the bytes handed on in large pieces, so a million rows cost no
// more than their text.

#include <QByteArrayView>
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <QStringView>

#include <functional>
#include <optional>
#include <string>

enum class ExportFormat { Csv, Html };

// "csv" or "html" (any case); nothing for another word.
std::optional<ExportFormat> exportFormatNamed(QStringView name);
// The format a file name's ending asks for (".csv", ".htm", ".html"); nothing for another.
std::optional<ExportFormat> exportFormatOfName(QStringView fileName);

class TableExport
{
public:
    struct Column
    {
        QString caption;
        bool number = false; // right-aligned on the page
    };
    // What the page says above the table; CSV has only the header row.
    struct Heading
    {
        QString title;   // the page's title and first heading
        QString subject; // the criteria, the catalog or the folder the rows come from
        QDateTime made;
    };
    // Takes the bytes as they are ready; throws what it throws (the export stops there).
    using Sink = std::function<void(QByteArrayView bytes)>;

    TableExport(ExportFormat format, const QList<Column> &columns, const Heading &heading, Sink sink);

    ExportFormat format() const { return m_format; }
    // The page shows cells as the window shows them; the CSV holds raw values (bytes, ISO 8601
    // dates). Callers that make both use this to make only the one needed.
    bool wantsShownText() const { return m_format == ExportFormat::Html; }

    // The next cell of the row; the row ends with endRow().
    void cell(QStringView text);
    void cell(QLatin1StringView text);
    // Text already in UTF-8 (archive names are passed through when they are).
    void cellUtf8(QByteArrayView utf8);
    void cell(qint64 number);
    void emptyCell();
    void endRow();
    // Ends the page and hands on what is left. Rows counted so far: rows().
    void finish();
    qint64 rows() const { return m_rows; }

private:
    void beginCell();
    void appendEscaped(QByteArrayView utf8);
    void maybeFlush();

    ExportFormat m_format;
    QList<Column> m_columns;
    Sink m_sink;
    std::string m_buf;
    int m_column = 0;
    qint64 m_rows = 0;
};

// Writes a table into the file the user named ("-": standard output) through OutputFile: the file
// appears whole or not at all, an existing one stays as it was until then. fill adds the rows and
// returns false to stop (the export is then dropped and false returned). Throws AmbryError when
// the file cannot be written.
bool writeTableFile(const QString &fileName, ExportFormat format, const QList<TableExport::Column> &columns,
                    const TableExport::Heading &heading, const std::function<bool(TableExport &)> &fill);
