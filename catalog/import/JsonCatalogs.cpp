#include "catalog/import/Readers.h"

#include "catalog/import/InputStream.h"
#include "catalog/import/JsonReader.h"
#include "catalog/import/ReaderSupport.h"

#include <QDateTime>

#include <charconv>
#include <cmath>

// catcli and gocatcli catalogs: a tree of JSON objects. catcli writes its keys sorted, so an
// object's children come before its name and type; every entry is therefore made at its
// opening brace and given its name and kind at its closing one.
namespace catimport {

namespace {

struct Layout
{
    Format format;
    const char *volumesKey; // the root's list of volumes
    const char *kindKey;    // an entry's kind
    const char *noteKey;    // a volume's note
};

constexpr Layout kCatcli{Format::CatcliJson, "children", "type", "attr"};
constexpr Layout kGocatcli{Format::GocatcliJson, "storages", "filetype", "meta"};

struct Frame
{
    int level = 0; // 0 the root, 1 a volume, 2 and more an entry
    int node = -1; // the entry in the volume's tree
    bool childrenOpen = false;
    QByteArray name, kind, note, tags;
    QByteArray size;
    bool haveSize = false;
    double maccess = NAN;
    double ts = NAN;
};

double toDouble(const QByteArray &text)
{
    double v = NAN;
    const auto [end, ec] = std::from_chars(text.constData(), text.constData() + text.size(), v);
    if (ec != std::errc() || end != text.constData() + text.size())
        return NAN;
    return v;
}

// Seconds since the epoch, or a date-time as TOML writes one (the TOML layout comes here as
// JSON text).
double toSeconds(JsonReader::Token t, const QByteArray &text)
{
    if (t == JsonReader::Number)
        return toDouble(text);
    if (t != JsonReader::String)
        return NAN;
    const QDateTime at = QDateTime::fromString(QString::fromLatin1(text), Qt::ISODateWithMs);
    return at.isValid() ? double(at.toSecsSinceEpoch()) : NAN;
}

class JsonCatalogReader
{
public:
    JsonCatalogReader(const Layout &layout, InputStream &in, const Options &options, const VolumeSink &sink)
        : m_layout(layout), m_in(in), m_json(in), m_options(options), m_sink(sink)
    {}
    ReadOutcome run();

private:
    bool openObject();
    bool closeObject();
    bool readKey();
    void refuse(const QString &why)
    {
        if (m_volume.refusal.isEmpty())
            m_volume.refusal = why;
    }
    bool finishEntry(Frame &f);
    bool finishVolume(Frame &f);

    const Layout &m_layout;
    InputStream &m_in;
    JsonReader m_json;
    const Options &m_options;
    const VolumeSink &m_sink;
    std::vector<Frame> m_frames;
    VolumeTree m_tree;
    DatePacker m_dates;
    Volume m_volume;
    bool m_inVolume = false;
    ReadOutcome m_outcome;
    qint64 m_counter = 0;
};

bool JsonCatalogReader::openObject()
{
    Frame f;
    if (m_frames.empty()) {
        m_frames.push_back(f);
        return true;
    }
    Frame &parent = m_frames.back();
    f.level = parent.level + 1;
    if (f.level == 1) {
        m_volume = Volume();
        m_volume.line = m_json.line();
        m_inVolume = true;
    } else if (m_volume.sound()) {
        if (m_tree.heldBytes() > (qint64(2) << 30)) {
            refuse(QStringLiteral("The volume holds more entries than an archive can take."));
        } else {
            f.node = m_tree.add(parent.node < 0 ? VolumeTree::kRoot : parent.node);
        }
    }
    m_frames.push_back(f);
    return true;
}

bool JsonCatalogReader::finishEntry(Frame &f)
{
    if (f.node < 0)
        return true;
    const QByteArray &kind = f.kind;
    m_tree.setName(f.node, f.name);
    const bool folder = kind == "dir";
    const bool file = kind == "file" || (m_layout.format == Format::GocatcliJson && kind == "archive");
    if (kind == "arc" || kind == "archived") {
        m_tree.setSkipped(f.node);
        ++m_volume.dropped.archiveMembers;
        return true;
    }
    if (folder) {
        m_tree.setFolder(f.node);
        return true;
    }
    if (!file) {
        m_tree.setSkipped(f.node);
        refuse(kind.isEmpty()
                   ? QStringLiteral("An entry has no kind (at \"%1\").").arg(QString::fromUtf8(f.name))
                   : QStringLiteral("An entry has the unknown kind \"%1\" (at \"%2\").")
                         .arg(QString::fromUtf8(kind), QString::fromUtf8(f.name)));
        return true;
    }
    qint64 size = 0;
    if (f.haveSize) {
        const char *problem = nullptr;
        const std::optional<qint64> parsed = parseSize(f.size, &problem);
        if (!parsed) {
            refuse(
                QStringLiteral("%1 (\"%2\") at \"%3\".")
                    .arg(QString::fromLatin1(problem), QString::fromUtf8(f.size), QString::fromUtf8(f.name)));
            return true;
        }
        size = *parsed;
    }
    m_tree.setFile(f.node, size, std::isnan(f.maccess) ? m_dates.missing() : m_dates.fromEpoch(f.maccess));
    return true;
}

bool JsonCatalogReader::finishVolume(Frame &f)
{
    m_inVolume = false;
    // catcli's own details of the catalog sit beside the volumes.
    if (m_layout.format == Format::CatcliJson && f.kind != "storage") {
        m_tree.clear();
        return true;
    }
    m_volume.name = QString::fromUtf8(f.name);
    QString note = QString::fromUtf8(f.note);
    if (!f.tags.isEmpty())
        note += (note.isEmpty() ? QString() : QStringLiteral("; ")) + QStringLiteral("tags: ") +
                QString::fromUtf8(f.tags);
    m_volume.note = importedNote(m_layout.format, note);
    if (!std::isnan(f.ts) && std::fabs(f.ts) < 1e12)
        m_volume.archivedAt = QDateTime::fromSecsSinceEpoch(qint64(f.ts));
    if (m_volume.name.trimmed().isEmpty())
        refuse(QStringLiteral("The volume has no name."));
    ++m_outcome.volumes;
    if (!catimport::finishVolume(m_volume, m_tree, m_dates, m_options, m_sink)) {
        m_outcome.stopped = true;
        return false;
    }
    return true;
}

bool JsonCatalogReader::closeObject()
{
    Frame f = std::move(m_frames.back());
    m_frames.pop_back();
    if (f.level >= 2)
        return finishEntry(f);
    if (f.level == 1)
        return finishVolume(f);
    return true;
}

bool JsonCatalogReader::readKey()
{
    Frame &f = m_frames.back();
    const QByteArray key = m_json.text();
    const bool isChildren = key == (f.level == 0 ? m_layout.volumesKey : "children");
    const JsonReader::Token t = m_json.next();
    if (t == JsonReader::Error)
        return false;
    if (t == JsonReader::BeginArray && isChildren) {
        f.childrenOpen = true;
        return true;
    }
    if (t == JsonReader::BeginArray && key == "tags") {
        // A volume's tags: strings, kept for its note.
        for (;;) {
            const JsonReader::Token e = m_json.next();
            if (e == JsonReader::EndArray)
                return true;
            if (e == JsonReader::String) {
                if (!f.tags.isEmpty())
                    f.tags += ", ";
                f.tags += m_json.text();
            } else if (e == JsonReader::Error || !m_json.skipValue()) {
                return false;
            }
            if (f.tags.size() > 4096)
                f.tags.truncate(4096);
        }
    }
    if (t == JsonReader::BeginArray || t == JsonReader::BeginObject) {
        // Details an archive has no place for.
        if (key == "attr" || key == "extra" || key == "meta")
            ++m_volume.dropped.other;
        int depth = 1;
        while (depth > 0) {
            const JsonReader::Token e = m_json.next();
            if (e == JsonReader::Error || e == JsonReader::End)
                return false;
            if (e == JsonReader::BeginArray || e == JsonReader::BeginObject)
                ++depth;
            else if (e == JsonReader::EndArray || e == JsonReader::EndObject)
                --depth;
        }
        return true;
    }
    if (t == JsonReader::Null)
        return true;
    const QByteArray &value = m_json.text();
    if (key == "name")
        f.name = value;
    else if (key == m_layout.kindKey)
        f.kind = value;
    else if (key == m_layout.noteKey && f.level == 1)
        f.note = value.left(4096);
    else if (key == "size" && f.level >= 2) {
        f.size = value;
        f.haveSize = true;
    } else if (key == "maccess")
        f.maccess = toSeconds(t, value);
    else if (key == "ts" && f.level == 1)
        f.ts = toSeconds(t, value);
    else if ((key == "md5" || key == "checksum") && f.level >= 2 && t == JsonReader::String &&
             !value.isEmpty())
        ++m_volume.dropped.checksums;
    else if (key == "extra" && f.level >= 2 && t == JsonReader::String && !value.isEmpty())
        ++m_volume.dropped.other;
    return true;
}

ReadOutcome JsonCatalogReader::run()
{
    for (;;) {
        const JsonReader::Token t = m_json.next();
        if (t == JsonReader::Error)
            break;
        if (t == JsonReader::End)
            return m_outcome;
        if (++m_counter % 4096 == 0 && reportProgress(m_in, m_options)) {
            m_outcome.cancelled = true;
            return m_outcome;
        }
        switch (t) {
        case JsonReader::BeginObject:
            // Objects are the root, or entries of a list of children.
            if (!m_frames.empty() && !m_frames.back().childrenOpen) {
                if (!m_json.skipValue())
                    break;
                continue;
            }
            openObject();
            continue;
        case JsonReader::EndObject:
            if (!closeObject())
                return m_outcome;
            continue;
        case JsonReader::EndArray:
            if (!m_frames.empty())
                m_frames.back().childrenOpen = false;
            continue;
        case JsonReader::Key:
            if (!readKey())
                break;
            continue;
        case JsonReader::BeginArray:
            if (m_frames.empty()) {
                m_json.skipValue();
                break;
            }
            continue;
        default:
            // A scalar in a list of children: some gocatcli versions list children by number.
            if (!m_frames.empty() && m_frames.back().childrenOpen) {
                refuse(QStringLiteral("Entries are listed by number, a layout this import does not read."));
                continue;
            }
            m_outcome.error = QStringLiteral("This is not a %1 catalog: its top is not an object.")
                                  .arg(QString::fromLatin1(formatInfo(m_layout.format).title));
            return m_outcome;
        }
        if (!m_json.error().isEmpty())
            break;
        if (m_frames.empty()) {
            m_outcome.error = QStringLiteral("This is not a %1 catalog: its top is not an object.")
                                  .arg(QString::fromLatin1(formatInfo(m_layout.format).title));
            return m_outcome;
        }
    }
    m_outcome.error = m_json.error();
    if (m_inVolume) {
        // The volume being read when the text broke off is named, not imported.
        m_volume.refusal = m_outcome.error;
        for (const Frame &f : m_frames)
            if (f.level == 1)
                m_volume.name = QString::fromUtf8(f.name);
        m_volume.note = importedNote(m_layout.format, QString());
        ++m_outcome.volumes;
        catimport::finishVolume(m_volume, m_tree, m_dates, m_options, m_sink);
    }
    return m_outcome;
}

} // namespace

ReadOutcome readCatcli(InputStream &in, const Options &options, const VolumeSink &sink)
{
    return JsonCatalogReader(kCatcli, in, options, sink).run();
}

ReadOutcome readGocatcliJson(InputStream &in, const Options &options, const VolumeSink &sink)
{
    return JsonCatalogReader(kGocatcli, in, options, sink).run();
}

} // namespace catimport
