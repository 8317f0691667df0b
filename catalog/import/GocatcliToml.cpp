#include "catalog/import/InputStream.h"
#include "catalog/import/ReaderSupport.h"
#include "catalog/import/Readers.h"

#include <toml++/toml.h>

#include <sstream>

// gocatcli writes its catalog as TOML when the file's name ends in ".toml": the same tree as
// its JSON. The TOML library reads a document whole, so such a catalog is read only up to a
// size whose document fits in memory many times over; it is turned into JSON text and read
// as gocatcli's JSON, so both layouts follow one set of rules.
namespace catimport {

namespace {

// Deeper tables than a folder tree of this depth are refused before the library builds them:
// it walks nested tables by recursion.
constexpr int kMaxKeyParts = 256;

// The parts of the longest dotted key or table header, counted outside quotes.
int deepestKey(QByteArrayView text)
{
    int deepest = 0;
    qsizetype i = 0;
    while (i < text.size()) {
        // Past leading blanks: a header or a key, up to "]" or "=".
        while (i < text.size() && (text[i] == ' ' || text[i] == '\t'))
            ++i;
        int parts = 1;
        char quote = 0;
        for (; i < text.size() && text[i] != '\n'; ++i) {
            const char c = text[i];
            if (quote) {
                if (c == quote)
                    quote = 0;
                else if (c == '\\' && quote == '"')
                    ++i;
                continue;
            }
            if (c == '"' || c == '\'')
                quote = c;
            else if (c == '.')
                ++parts;
            else if (c == '=' || c == ']' || c == '#')
                break;
        }
        deepest = std::max(deepest, parts);
        while (i < text.size() && text[i] != '\n')
            ++i;
        ++i;
    }
    return deepest;
}

} // namespace

ReadOutcome readGocatcliToml(InputStream &in, const Options &options, const VolumeSink &sink)
{
    ReadOutcome outcome;
    QByteArray text;
    QByteArray block(1 << 16, Qt::Uninitialized);
    while (const qsizetype n = in.read(block.data(), block.size())) {
        text.append(block.constData(), n);
        if (text.size() > kMaxTomlBytes) {
            outcome.error = QStringLiteral("TOML catalogs of more than %1 MiB are not read: the TOML reader "
                                           "holds a whole document. A JSON catalog of any size is.")
                                .arg(kMaxTomlBytes >> 20);
            return outcome;
        }
        if (reportProgress(in, options)) {
            outcome.cancelled = true;
            return outcome;
        }
    }
    if (!in.error().isEmpty()) {
        outcome.error = in.error();
        return outcome;
    }
    if (deepestKey(text) > kMaxKeyParts) {
        outcome.error = QStringLiteral("TOML: tables nested deeper than %1 levels.").arg(kMaxKeyParts);
        return outcome;
    }
    std::ostringstream json;
    try {
        const toml::table table = toml::parse(std::string_view(text.constData(), size_t(text.size())));
        text = QByteArray();
        json << toml::json_formatter(table);
    } catch (const toml::parse_error &e) {
        outcome.error = QStringLiteral("TOML: %1 at line %2.")
                            .arg(QString::fromUtf8(e.description().data(), qsizetype(e.description().size())))
                            .arg(e.source().begin.line);
        return outcome;
    }
    InputStream asJson;
    const std::string bytes = std::move(json).str();
    asJson.openBytes(QByteArrayView(bytes.data(), qsizetype(bytes.size())));
    return readGocatcliJson(asJson, options, sink);
}

} // namespace catimport
