#include "catalog/import/InputStream.h"
#include "catalog/import/ReaderSupport.h"
#include "catalog/import/Readers.h"

#include <QRegularExpression>
#include <QXmlStreamReader>

#include <cerrno>
#include <cmath>

#include <iconv.h>

// CdCat's .hcf: gzip-compressed XML. Media are volumes, directories nest, files carry a size
// rounded to two decimals of the largest unit that fits (so byte counts are approximate).
namespace catimport {

namespace {

// Turns the file's own encoding into UTF-8 on the way to the XML reader, which knows few
// encodings by itself.
class Recoder
{
public:
    ~Recoder()
    {
        if (m_cd != iconv_t(-1))
            iconv_close(m_cd);
    }
    bool open(const QByteArray &encoding)
    {
        m_cd = iconv_open("UTF-8", encoding.constData());
        return m_cd != iconv_t(-1);
    }
    bool active() const { return m_cd != iconv_t(-1); }
    // Appends the converted bytes; a sequence cut at the end waits for the next block. A byte
    // that is no character of the encoding becomes "?".
    void convert(QByteArrayView in, QByteArray &out)
    {
        m_pending.append(in.data(), in.size());
        char *src = m_pending.data();
        size_t left = size_t(m_pending.size());
        char buffer[16384];
        while (left > 0) {
            char *dst = buffer;
            size_t room = sizeof buffer;
            const size_t rc = iconv(m_cd, &src, &left, &dst, &room);
            out.append(buffer, qsizetype(dst - buffer));
            if (rc != size_t(-1))
                break;
            if (errno == E2BIG)
                continue;
            if (errno == EINVAL)
                break; // incomplete: keep it for the next block
            // EILSEQ: not a character of the encoding.
            out += '?';
            ++src;
            --left;
        }
        m_pending = QByteArray(src, qsizetype(left));
    }

private:
    iconv_t m_cd = iconv_t(-1);
    QByteArray m_pending;
};

int monthNumber(QByteArrayView name)
{
    static const char *const months[] = {"jan", "feb", "mar", "apr", "may", "jun",
                                         "jul", "aug", "sep", "oct", "nov", "dec"};
    const QByteArray lower = name.toByteArray().toLower();
    for (int i = 0; i < 12; ++i)
        if (lower == months[i])
            return i + 1;
    return 0;
}

// "2019-07-14 18:02:11", or the older "Jul 14 18:02 2019" and "Jul.14 18:02 2019".
int32_t packCdCatTime(QByteArrayView text, DatePacker &dates)
{
    int f[6];
    if (parseIsoLocal(text.trimmed(), f))
        return dates.fromLocal(f[0], f[1], f[2], f[3], f[4], f[5]);
    static const QRegularExpression legacy(
        QStringLiteral("^([A-Za-z]{3})[ .]\\s*(\\d{1,2})\\s+(\\d{1,2}):(\\d{2})(?::(\\d{2}))?\\s+(\\d{4})$"));
    const QRegularExpressionMatch m = legacy.match(QString::fromLatin1(text.trimmed()));
    if (m.hasMatch()) {
        const int month = monthNumber(m.captured(1).toLatin1());
        if (month > 0)
            return dates.fromLocal(m.captured(6).toInt(), month, m.captured(2).toInt(), m.captured(3).toInt(),
                                   m.captured(4).toInt(), m.captured(5).toInt());
    }
    return dates.missing();
}

// The nearest byte count to "3.42 Mb". Units are powers of 1,024.
std::optional<qint64> cdcatSize(QStringView text, const char **problem)
{
    *problem = nullptr;
    const QStringView t = text.trimmed();
    qsizetype split = 0;
    while (split < t.size() &&
           (t[split].isDigit() || t[split] == u'.' || t[split] == u',' || t[split] == u'-'))
        ++split;
    QString number = t.first(split).toString();
    number.replace(QLatin1Char(','), QLatin1Char('.'));
    const QString unit = t.sliced(split).trimmed().toString().toLower();
    if (number.startsWith(QLatin1Char('-'))) {
        *problem = "a negative size";
        return std::nullopt;
    }
    bool ok = false;
    const double value = number.toDouble(&ok);
    double factor = 0;
    if (unit.isEmpty() || unit == u"byte" || unit == u"bytes" || unit == u"b")
        factor = 1;
    else if (unit == u"kb")
        factor = 1024.0;
    else if (unit == u"mb")
        factor = 1024.0 * 1024;
    else if (unit == u"gb")
        factor = 1024.0 * 1024 * 1024;
    else if (unit == u"tb")
        factor = 1024.0 * 1024 * 1024 * 1024;
    if (!ok || factor == 0 || !std::isfinite(value)) {
        *problem = "a size that cannot be read";
        return std::nullopt;
    }
    const double bytes = std::round(value * factor);
    if (bytes >= 9.2e18) {
        *problem = "a size beyond 64 bits";
        return std::nullopt;
    }
    return qint64(bytes);
}

class CdCatReader
{
public:
    CdCatReader(InputStream &in, const Options &options, const VolumeSink &sink)
        : m_in(in), m_options(options), m_sink(sink)
    {}
    ReadOutcome run();

private:
    bool prepareEncoding(QString *error);
    bool feed();
    bool handle();
    void startElement();
    bool endElement();
    void refuse(const QString &why)
    {
        if (m_volume.refusal.isEmpty())
            m_volume.refusal = why;
    }

    InputStream &m_in;
    const Options &m_options;
    const VolumeSink &m_sink;
    QXmlStreamReader m_xml;
    Recoder m_recoder;
    QByteArray m_declaredEncoding;
    bool m_first = true;
    qint64 m_fedSinceToken = 0;

    VolumeTree m_tree;
    DatePacker m_dates;
    Volume m_volume;
    bool m_inMedia = false;
    std::vector<int> m_folders; // open directories, innermost last
    std::vector<QString> m_elements;
    int m_fileDepth = 0; // elements open inside a <file>
    QString m_mediaComment, m_mediaBorrow;
    QString *m_collect = nullptr;
    ReadOutcome m_outcome;
};

bool CdCatReader::prepareEncoding(QString *error)
{
    // The declaration names the encoding; what is not UTF-8 goes through iconv, and the
    // declaration then says UTF-8 so the XML reader does not decode it again.
    const QByteArray head = m_in.peek(256);
    static const QRegularExpression decl(
        QStringLiteral("^\\s*<\\?xml[^>]*encoding\\s*=\\s*[\"']([^\"']*)[\"']"));
    const QRegularExpressionMatch m = decl.match(QString::fromLatin1(head));
    if (!m.hasMatch())
        return true;
    m_declaredEncoding = m.captured(1).toLatin1();
    const QByteArray lower = m_declaredEncoding.toLower();
    if (lower == "utf-8" || lower == "utf8" || lower == "us-ascii")
        return true;
    if (!m_recoder.open(m_declaredEncoding)) {
        *error = QStringLiteral("The catalog's encoding \"%1\" is not known.")
                     .arg(QString::fromLatin1(m_declaredEncoding));
        return false;
    }
    return true;
}

bool CdCatReader::feed()
{
    QByteArray block(1 << 16, Qt::Uninitialized);
    const qsizetype n = m_in.read(block.data(), block.size());
    if (n == 0)
        return false;
    block.truncate(n);
    QByteArray data;
    if (m_recoder.active())
        m_recoder.convert(block, data);
    else
        data = block;
    if (m_first && m_recoder.active()) {
        const QByteArray from = "encoding=\"" + m_declaredEncoding + '"';
        const QByteArray fromSingle = "encoding='" + m_declaredEncoding + '\'';
        const qsizetype end = data.indexOf("?>");
        if (end > 0) {
            QByteArray prolog = data.left(end);
            prolog.replace(from, "encoding=\"UTF-8\"");
            prolog.replace(fromSingle, "encoding=\"UTF-8\"");
            data = prolog + data.mid(end);
        }
    }
    m_first = false;
    m_fedSinceToken += data.size();
    m_xml.addData(data);
    return true;
}

void CdCatReader::startElement()
{
    const QStringView name = m_xml.name();
    const QXmlStreamAttributes a = m_xml.attributes();
    const QString parent = m_elements.empty() ? QString() : m_elements.back();
    m_elements.push_back(name.toString());
    if (!m_inMedia) {
        if (name == u"media") {
            m_inMedia = true;
            m_volume = Volume();
            m_volume.line = m_xml.lineNumber();
            m_volume.name = a.value(QStringLiteral("name")).toString();
            const QByteArray time = a.value(QStringLiteral("time")).toUtf8();
            int f[6];
            if (parseIsoLocal(time.trimmed(), f))
                m_volume.archivedAt = QDateTime(QDate(f[0], f[1], f[2]), QTime(f[3], f[4], f[5]));
            m_folders.assign(1, VolumeTree::kRoot);
            m_mediaComment.clear();
            m_mediaBorrow.clear();
        } else if (name == u"catlnk") {
            // Links to other catalogs: nothing of a disc.
        }
        return;
    }
    if (m_fileDepth > 0) {
        ++m_fileDepth;
        if (name == u"comment")
            ++m_volume.dropped.comments;
        else if (name == u"category" || name == u"mp3tag")
            ++m_volume.dropped.tags;
        else
            ++m_volume.dropped.other;
        return;
    }
    if (name == u"directory") {
        const int parentNode = m_folders.back();
        if (parentNode < 0 || !m_volume.sound()) {
            m_folders.push_back(-1);
            return;
        }
        if (m_tree.heldBytes() > (qint64(2) << 30)) {
            refuse(QStringLiteral("The volume holds more entries than an archive can take."));
            m_folders.push_back(-1);
            return;
        }
        m_folders.push_back(m_tree.addFolder(parentNode, a.value(QStringLiteral("name")).toUtf8()));
        return;
    }
    if (name == u"file") {
        m_fileDepth = 1;
        const int parentNode = m_folders.back();
        if (parentNode < 0 || !m_volume.sound())
            return;
        const QString fileName = a.value(QStringLiteral("name")).toString();
        const char *problem = nullptr;
        const std::optional<qint64> size = cdcatSize(a.value(QStringLiteral("size")), &problem);
        if (!size) {
            refuse(
                QStringLiteral("%1 (\"%2\") at \"%3\".")
                    .arg(QString::fromLatin1(problem), a.value(QStringLiteral("size")).toString(), fileName));
            return;
        }
        m_tree.addFile(parentNode, fileName.toUtf8(), *size,
                       packCdCatTime(a.value(QStringLiteral("time")).toUtf8(), m_dates));
        return;
    }
    if (parent == u"media" && name == u"comment") {
        m_collect = &m_mediaComment;
        return;
    }
    if (parent == u"media" && name == u"borrow") {
        m_collect = &m_mediaBorrow;
        return;
    }
    if (name == u"category")
        ++m_volume.dropped.tags;
    else if (name == u"comment")
        ++m_volume.dropped.comments;
    else
        ++m_volume.dropped.other;
}

bool CdCatReader::endElement()
{
    if (!m_elements.empty())
        m_elements.pop_back();
    m_collect = nullptr;
    if (!m_inMedia)
        return true;
    const QStringView name = m_xml.name();
    if (m_fileDepth > 0) {
        --m_fileDepth;
        return true;
    }
    if (name == u"directory") {
        if (m_folders.size() > 1)
            m_folders.pop_back();
        return true;
    }
    if (name != u"media")
        return true;
    m_inMedia = false;
    // Older files use "#" for a line break in comments.
    QString note = QStringLiteral("sizes are approximate");
    QString comment = m_mediaComment;
    comment.replace(QLatin1Char('#'), QLatin1Char(' '));
    if (!comment.trimmed().isEmpty())
        note += QStringLiteral("; ") + comment;
    if (!m_mediaBorrow.trimmed().isEmpty())
        note += QStringLiteral("; borrowed: ") + m_mediaBorrow;
    m_volume.note = importedNote(Format::CdCat, note);
    if (m_volume.name.trimmed().isEmpty())
        refuse(QStringLiteral("The media has no name."));
    ++m_outcome.volumes;
    if (!finishVolume(m_volume, m_tree, m_dates, m_options, m_sink)) {
        m_outcome.stopped = true;
        return false;
    }
    return true;
}

bool CdCatReader::handle()
{
    switch (m_xml.tokenType()) {
    case QXmlStreamReader::DTD:
        // A plain <!DOCTYPE HyperCDCatalogFile> is what the program writes; entity declarations
        // and references to outside files could make the reader expand text without bound or
        // reach beyond the file.
        if (!m_xml.entityDeclarations().isEmpty() || !m_xml.dtdSystemId().isEmpty() ||
            !m_xml.dtdPublicId().isEmpty() || m_xml.text().contains(u'[')) {
            m_outcome.error = QStringLiteral("The catalog declares entities or refers to other files; "
                                             "such a file is not read.");
            return false;
        }
        return true;
    case QXmlStreamReader::EntityReference:
        m_outcome.error =
            QStringLiteral("The catalog refers to an entity \"%1\" at line %2; such a file is not read.")
                .arg(m_xml.name().toString())
                .arg(m_xml.lineNumber());
        return false;
    case QXmlStreamReader::StartElement:
        startElement();
        return true;
    case QXmlStreamReader::EndElement:
        return endElement();
    case QXmlStreamReader::Characters:
        if (m_collect && m_collect->size() < 4096)
            m_collect->append(m_xml.text());
        return true;
    default:
        return true;
    }
}

ReadOutcome CdCatReader::run()
{
    QString error;
    if (!prepareEncoding(&error)) {
        m_outcome.error = error;
        return m_outcome;
    }
    bool more = feed();
    for (;;) {
        m_xml.readNext();
        if (m_xml.error() == QXmlStreamReader::PrematureEndOfDocumentError) {
            if (m_fedSinceToken > (qint64(16) << 20)) {
                m_outcome.error =
                    QStringLiteral("The catalog holds an element of more than 16 MiB at line %1.")
                        .arg(m_xml.lineNumber());
                break;
            }
            if (!more || !(more = feed())) {
                if (!m_in.error().isEmpty())
                    m_outcome.error = m_in.error();
                else
                    m_outcome.error =
                        QStringLiteral("The catalog ends early, at line %1.").arg(m_xml.lineNumber());
                break;
            }
            if (reportProgress(m_in, m_options)) {
                m_outcome.cancelled = true;
                return m_outcome;
            }
            continue;
        }
        if (m_xml.error() != QXmlStreamReader::NoError) {
            m_outcome.error =
                QStringLiteral("XML: %1 at line %2.").arg(m_xml.errorString()).arg(m_xml.lineNumber());
            break;
        }
        m_fedSinceToken = 0;
        if (m_xml.tokenType() == QXmlStreamReader::EndDocument)
            return m_outcome;
        if (!handle()) {
            if (m_outcome.stopped)
                return m_outcome;
            break;
        }
    }
    if (m_inMedia) {
        m_volume.refusal = m_outcome.error;
        m_volume.note = importedNote(Format::CdCat, QString());
        ++m_outcome.volumes;
        finishVolume(m_volume, m_tree, m_dates, m_options, m_sink);
    }
    return m_outcome;
}

} // namespace

ReadOutcome readCdCat(InputStream &in, const Options &options, const VolumeSink &sink)
{
    return CdCatReader(in, options, sink).run();
}

} // namespace catimport
