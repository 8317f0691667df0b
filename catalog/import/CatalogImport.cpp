#include "catalog/import/CatalogImport.h"

#include "catalog/import/CsvReader.h"
#include "catalog/import/InputStream.h"
#include "catalog/import/Readers.h"

#include <QFileInfo>
#include <QLocale>
#include <QRegularExpression>

namespace catimport {

const QList<FormatInfo> &formats()
{
    static const QList<FormatInfo> list = {
        {Format::CatcliJson, "catcli", "catcli", "*.catalog *.json"},
        {Format::GocatcliJson, "gocatcli", "gocatcli", "*.catalog *.json"},
        {Format::GocatcliToml, "gocatcli-toml", "gocatcli", "*.toml"},
        {Format::CdCat, "cdcat", "CdCat", "*.hcf"},
        {Format::GWhere, "gwhere", "GWhere", "*.ctg"},
        {Format::Katalog, "katalog", "Katalog", "*.idx"},
        {Format::VvvCsv, "vvv", "VVV", "*.csv *.txt"},
        {Format::Listing, "listing", "a file listing", "*.tsv *.csv *.txt *.lst"},
    };
    return list;
}

std::optional<Format> formatByName(QStringView name)
{
    for (const FormatInfo &f : formats())
        if (name.compare(QLatin1String(f.name), Qt::CaseInsensitive) == 0)
            return f.format;
    return std::nullopt;
}

const FormatInfo &formatInfo(Format format)
{
    for (const FormatInfo &f : formats())
        if (f.format == format)
            return f;
    return formats().front();
}

std::optional<DateOrder> dateOrderByName(QStringView name)
{
    if (name.compare(u"dmy", Qt::CaseInsensitive) == 0)
        return DateOrder::DayMonthYear;
    if (name.compare(u"mdy", Qt::CaseInsensitive) == 0)
        return DateOrder::MonthDayYear;
    if (name.compare(u"ymd", Qt::CaseInsensitive) == 0)
        return DateOrder::YearMonthDay;
    return std::nullopt;
}

DateOrder systemDateOrder()
{
    const QString f = QLocale::system().dateFormat(QLocale::ShortFormat);
    for (const QChar c : f) {
        if (c == u'd')
            return DateOrder::DayMonthYear;
        if (c == u'M')
            return DateOrder::MonthDayYear;
        if (c == u'y')
            return DateOrder::YearMonthDay;
    }
    return DateOrder::DayMonthYear;
}

Dropped &Dropped::operator+=(const Dropped &o)
{
    checksums += o.checksums;
    tags += o.tags;
    comments += o.comments;
    archiveMembers += o.archiveMembers;
    other += o.other;
    return *this;
}

QString droppedText(const Dropped &d)
{
    QStringList parts;
    auto add = [&](qint64 n, const char *one, const char *many) {
        if (n > 0)
            parts << QStringLiteral("%1 %2").arg(n).arg(QString::fromLatin1(n == 1 ? one : many));
    };
    add(d.checksums, "checksum", "checksums");
    add(d.tags, "tag or category", "tags and categories");
    add(d.comments, "comment", "comments");
    add(d.archiveMembers, "file inside an archive", "files inside archives");
    add(d.other, "other detail", "other details");
    return parts.join(QStringLiteral(", "));
}

std::optional<Format> detectFormatOfText(const QByteArray &head, QString *why)
{
    QByteArray text = head;
    if (text.startsWith("\xEF\xBB\xBF"))
        text.remove(0, 3);
    const QByteArray start = text.left(4096).trimmed();
    if (start.isEmpty()) {
        *why = QStringLiteral("The file is empty.");
        return std::nullopt;
    }
    if (start.startsWith("GWhere:"))
        return Format::GWhere;
    if (start.startsWith("<?xml") || start.contains("HyperCDCatalogFile"))
        return Format::CdCat;
    if (start.startsWith("<catalog"))
        return Format::Katalog;
    if (start.startsWith('{')) {
        if (text.contains("\"storages\"") || text.contains("\"gocatcli\""))
            return Format::GocatcliJson;
        return Format::CatcliJson;
    }
    // gocatcli's TOML: "key = value" lines and table headers, its volumes under "storages".
    static const QRegularExpression tomlLine(
        QStringLiteral("^(?:#[^\\n]*\\n\\s*)*(?:\\[\\[?\\s*\"?storages|[A-Za-z0-9_-]+\\s*=)"));
    if (start.contains("storages") && tomlLine.match(QString::fromUtf8(start)).hasMatch())
        return Format::GocatcliToml;
    const qsizetype end = start.indexOf('\n');
    QByteArray firstLine = end < 0 ? start : start.left(end);
    if (firstLine.endsWith('\r'))
        firstLine.chop(1);
    if (firstLine.startsWith("Volume") || firstLine.startsWith("\"Volume\""))
        return Format::VvvCsv;
    const char separator = guessSeparator(firstLine);
    const qsizetype fields = firstLine.count(separator) + 1;
    if (fields >= 3 && fields <= 4)
        return Format::Listing;
    if (fields >= 6 && fields <= 7)
        return Format::VvvCsv;
    // A tab inside a name adds fields to a listing's line; its type and the two numbers at
    // its end still tell.
    static const QRegularExpression listing(
        QStringLiteral("^[fdlpscbD]\\t.*\\t\\d+\\t-?[0-9][0-9T:.+\\-Z]*$"));
    if (separator == '\t' && listing.match(QString::fromUtf8(firstLine)).hasMatch())
        return Format::Listing;
    *why = QStringLiteral("The file is in none of the formats Ambrylog imports.");
    return std::nullopt;
}

std::optional<Format> detectFormat(const QString &path, QString *why)
{
    InputStream in;
    if (!in.open(path)) {
        *why = in.error();
        return std::nullopt;
    }
    const QByteArray head = in.peek(65536);
    if (!in.error().isEmpty()) {
        *why = in.error();
        return std::nullopt;
    }
    return detectFormatOfText(head, why);
}

namespace {

ReadOutcome readStream(InputStream &in, InputStream *companion, Format format, const QString &volumeName,
                       const QDateTime &fileTime, const Options &options, const VolumeSink &sink)
{
    switch (format) {
    case Format::CatcliJson:
        return readCatcli(in, options, sink);
    case Format::GocatcliJson:
        return readGocatcliJson(in, options, sink);
    case Format::GocatcliToml:
        return readGocatcliToml(in, options, sink);
    case Format::CdCat:
        return readCdCat(in, options, sink);
    case Format::GWhere:
        return readGWhere(in, options, sink);
    case Format::Katalog:
        return readKatalog(in, companion, volumeName, fileTime, options, sink);
    case Format::VvvCsv:
        return readVvv(in, options, sink);
    case Format::Listing:
        return readListing(in, volumeName, fileTime, options, sink);
    }
    return {};
}

} // namespace

ReadOutcome readVolumes(const QString &path, Format format, const Options &options, const VolumeSink &sink)
{
    if (path == QLatin1String("-")) {
        InputStream in;
        in.openStandardInput();
        Options opts = options;
        if (format == Format::VvvCsv && opts.dateOrder == DateOrder::Unknown) {
            // Standard input is read once: the order is judged from its first lines.
            InputStream head;
            head.openBytes(in.peek(1 << 20));
            opts.dateOrder = detectVvvDateOrder(head);
        }
        return readStream(in, nullptr, format, QString(), QDateTime(), opts, sink);
    }
    Options opts = options;
    if (format == Format::VvvCsv && opts.dateOrder == DateOrder::Unknown) {
        // Dates in the user's locale: the first one that can only be read one way decides for
        // the whole file.
        InputStream first;
        if (first.open(path))
            opts.dateOrder = detectVvvDateOrder(first);
    }
    InputStream in;
    if (!in.open(path)) {
        ReadOutcome outcome;
        outcome.error = in.error();
        return outcome;
    }
    const QFileInfo info(path);
    // Katalog keeps a catalog's folders in "<name>.folders.idx" beside its "<name>.idx".
    InputStream folders;
    bool haveFolders = false;
    if (format == Format::Katalog && path.endsWith(QLatin1String(".idx"), Qt::CaseInsensitive)) {
        const QString foldersPath = path.chopped(4) + QStringLiteral(".folders.idx");
        haveFolders = QFileInfo::exists(foldersPath) && folders.open(foldersPath);
    }
    return readStream(in, haveFolders ? &folders : nullptr, format, info.completeBaseName(),
                      info.lastModified(), opts, sink);
}

ReadOutcome readVolumesFromBytes(QByteArrayView bytes, Format format, const QString &volumeName,
                                 const Options &options, const VolumeSink &sink)
{
    Options opts = options;
    if (format == Format::VvvCsv && opts.dateOrder == DateOrder::Unknown) {
        InputStream first;
        first.openBytes(bytes);
        opts.dateOrder = detectVvvDateOrder(first);
    }
    InputStream in;
    in.openBytes(bytes);
    return readStream(in, nullptr, format, volumeName, QDateTime(), opts, sink);
}

} // namespace catimport
