// Tables taken out as CSV and HTML, read back by readers that are not ours: Python's csv module
// and its XML parser.

#include "TestSupport.h"

#include "util/AmbryError.h"
#include "util/TableExport.h"

#include <QDir>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>

#include <gtest/gtest.h>

namespace {

const QList<TableExport::Column> kColumns = {{QStringLiteral("Name"), false}, {QStringLiteral("Size"), true}};

// Names as archives hold them: a line break is recorded as "?", so only the other troubles stay.
const QStringList kNames = {
    QStringLiteral("plain.txt"),
    QStringLiteral("comma, inside.txt"),
    QStringLiteral("\"quoted\" name"),
    QStringLiteral("line?break"),
    QStringLiteral("tab\there"),
    QString::fromUtf8("naïve – 日本語.mp3"),
    QStringLiteral("=1+2"),
    QStringLiteral("<b>&amp; 'x'</b>"),
    QStringLiteral(" padded "),
    QString(),
    QStringLiteral("raw\r\nbreak"),
};

QByteArray exportTable(ExportFormat format)
{
    QByteArray out;
    TableExport table(
        format, kColumns,
        {QStringLiteral("Search <all>"), QStringLiteral("Criteria: a & b"), QDateTime::currentDateTime()},
        [&out](QByteArrayView bytes) { out.append(bytes); });
    qint64 size = 0;
    for (const QString &name : kNames) {
        table.cell(name);
        table.cell(size);
        table.endRow();
        size += 1000;
    }
    table.cell(QStringLiteral("short row")); // filled up to every column
    table.endRow();
    table.finish();
    EXPECT_EQ(table.rows(), kNames.size() + 1);
    return out;
}

// Runs a Python script on a file; its standard output, or the test fails with its error.
QByteArray python(const QString &script, const QString &file)
{
    QProcess p;
    p.start(QStringLiteral("python3"), {QStringLiteral("-c"), script, file});
    EXPECT_TRUE(p.waitForFinished(30000));
    EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
    return p.readAllStandardOutput();
}

TEST(TableExport, CsvReadsBackInPythonsCsvModuleToTheSameCells)
{
    const QByteArray csv = exportTable(ExportFormat::Csv);
    EXPECT_TRUE(csv.startsWith("Name,Size\r\nplain.txt,0\r\n\"comma, inside.txt\",1000\r\n"))
        << csv.constData();
    const QString file = ambrytest::makeTempDir(QStringLiteral("export")) + QStringLiteral("/t.csv");
    ambrytest::writeFile(file, csv);
    const QByteArray json =
        python(QStringLiteral("import csv, json, sys\n"
                              "with open(sys.argv[1], newline='', encoding='utf-8') as f:\n"
                              "    print(json.dumps(list(csv.reader(f))))\n"),
               file);
    const QJsonArray rows = QJsonDocument::fromJson(json).array();
    ASSERT_EQ(rows.size(), kNames.size() + 2) << json.constData();
    EXPECT_EQ(rows.at(0).toArray(), QJsonArray({QStringLiteral("Name"), QStringLiteral("Size")}));
    for (int i = 0; i < kNames.size(); ++i)
        EXPECT_EQ(rows.at(i + 1).toArray(), QJsonArray({kNames.at(i), QString::number(i * 1000)})) << i;
    EXPECT_EQ(rows.last().toArray(), QJsonArray({QStringLiteral("short row"), QString()}));
}

TEST(TableExport, HtmlIsWellFormedAndEscapesEveryName)
{
    const QByteArray html = exportTable(ExportFormat::Html);
    EXPECT_FALSE(html.contains("<script"));
    EXPECT_FALSE(html.contains("<b>"));
    const QString file = ambrytest::makeTempDir(QStringLiteral("export")) + QStringLiteral("/t.html");
    ambrytest::writeFile(file, html);
    // An XML parser is stricter than a browser: what it reads, every HTML reader reads.
    const QByteArray json =
        python(QStringLiteral("import json, sys, xml.etree.ElementTree as ET\n"
                              "root = ET.parse(sys.argv[1]).getroot()\n"
                              "rows = [[''.join(c.itertext()) for c in tr] for tr in root.iter('tr')]\n"
                              "print(json.dumps({'title': root.find('head/title').text, 'rows': rows}))\n"),
               file);
    const QJsonObject page = QJsonDocument::fromJson(json).object();
    EXPECT_EQ(page.value(QStringLiteral("title")).toString(), QStringLiteral("Search <all>"));
    const QJsonArray rows = page.value(QStringLiteral("rows")).toArray();
    ASSERT_EQ(rows.size(), kNames.size() + 2) << json.constData();
    EXPECT_EQ(rows.at(0).toArray(), QJsonArray({QStringLiteral("Name"), QStringLiteral("Size")}));
    for (int i = 0; i < kNames.size(); ++i) {
        // An XML reader gives a CR LF back as a line feed.
        QString name = kNames.at(i);
        name.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
        EXPECT_EQ(rows.at(i + 1).toArray().at(0).toString(), name) << i;
    }
    EXPECT_TRUE(html.contains("<td class=\"n\">1000</td>"));
}

TEST(TableExport, ControlCharactersNoPageReaderTakesAreReplaced)
{
    QByteArray html;
    TableExport table(ExportFormat::Html, kColumns, {}, [&html](QByteArrayView b) { html.append(b); });
    table.cellUtf8("a\x01z");
    table.finish();
    EXPECT_TRUE(html.contains("<td>a\xEF\xBF\xBDz</td>"));
}

TEST(TableExport, FormatsByNameAndByFileEnding)
{
    EXPECT_EQ(exportFormatNamed(u"CSV"), ExportFormat::Csv);
    EXPECT_EQ(exportFormatNamed(u"html"), ExportFormat::Html);
    EXPECT_EQ(exportFormatNamed(u"tsv"), std::nullopt);
    EXPECT_EQ(exportFormatOfName(u"/tmp/list.CSV"), ExportFormat::Csv);
    EXPECT_EQ(exportFormatOfName(u"page.htm"), ExportFormat::Html);
    EXPECT_EQ(exportFormatOfName(u"page.html"), ExportFormat::Html);
    EXPECT_EQ(exportFormatOfName(u"list.txt"), std::nullopt);
}

} // namespace

TEST(TableExportFile, ACancelledOrFailedExportLeavesNoPartialFile)
{
    const QString dir = ambrytest::makeTempDir(QStringLiteral("exportfile"));
    const QString file = dir + QStringLiteral("/list.csv");
    const auto rows = [](int n, bool stop) {
        return [n, stop](TableExport &table) {
            for (int i = 0; i < n; ++i) {
                table.cell(QStringLiteral("row %1").arg(i));
                table.endRow();
            }
            return !stop;
        };
    };
    ASSERT_TRUE(writeTableFile(file, ExportFormat::Csv, kColumns, {}, rows(3, false)));
    const QByteArray first = ambrytest::readFile(file);
    EXPECT_TRUE(first.startsWith("Name,Size\r\nrow 0,\r\n"));

    // Cancelled after a million bytes went out: the first file stands, nothing is left beside it.
    EXPECT_FALSE(writeTableFile(file, ExportFormat::Csv, kColumns, {}, rows(200000, true)));
    EXPECT_EQ(ambrytest::readFile(file), first);
    EXPECT_EQ(QDir(dir).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("list.csv")});

    // A row that fails midway: the same.
    EXPECT_THROW(writeTableFile(file, ExportFormat::Html, kColumns, {},
                                [](TableExport &table) -> bool {
                                    for (int i = 0; i < 100000; ++i) {
                                        table.cell(QStringLiteral("row"));
                                        table.endRow();
                                    }
                                    throw AmbryError(QStringLiteral("stopped"));
                                }),
                 AmbryError);
    EXPECT_EQ(ambrytest::readFile(file), first);
    EXPECT_EQ(QDir(dir).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("list.csv")});

    // A folder where the file should go is refused before anything is written.
    EXPECT_THROW(writeTableFile(dir, ExportFormat::Csv, kColumns, {}, rows(1, false)), AmbryError);
}
