// libFuzzer target for the archive reader: any bytes, read whole from memory and through the
// file lookups, must give a result or a clean refusal, never a crash or a sanitizer report,
// and the lookups must agree with the reader on the fields they share.
#include "catalog/Archive.h"
#include "catalog/Catalog.h"
#include "util/AmbryError.h"

#include <QDir>
#include <QFile>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <unistd.h>

namespace {

const QString &scratchFile()
{
    static const QString path = []() -> QString {
        QByteArray dir = QFile::encodeName(QDir::tempPath()) + "/ambry-fuzz-archive-XXXXXX";
        if (!::mkdtemp(dir.data()))
            std::abort();
        return QFile::decodeName(dir) + QStringLiteral("/1.dat");
    }();
    return path;
}

const QStringView kKeys[] = {u"ADate", u"AMark",   u"ALocation", u"ACRC",     u"AFiles", u"ADirs", u"ANote",
                             u"ASize", u"ANumber", u"ASource",   u"APicture", u"AEnd",   u"APars", u"amark"};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    const Archive whole = Archive::fromBytes(bytes);
    (void)whole.damage();
    for (qsizetype i = 0; i < whole.lineCount(); i += 1 + whole.lineCount() / 16)
        (void)whole.lineText(i);
    for (const QStringView key : kKeys) {
        (void)whole.findField(key);
        (void)whole.value(key);
    }

    QFile file(scratchFile());
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size())
        std::abort();
    file.close();
    try {
        const Archive tail = Archive::loadFields(scratchFile());
        (void)tail.damage();
        for (const QStringView key : {u"AMark", u"ANumber", u"AFiles"}) {
            // One reader: the field lookups see what the whole-file reader sees.
            if (ReadArchiveValue(scratchFile(), key.toString()) != whole.value(key))
                std::abort();
        }
    } catch (const AmbryError &) {
        // A refusal with a reason is a result.
    }
    return 0;
}
