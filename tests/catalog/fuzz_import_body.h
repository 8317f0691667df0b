// The body every import reader's fuzz target shares: any bytes give volumes or a reason,
// never a crash, and what the reader hands on holds together.
#pragma once

#include "catalog/import/CatalogImport.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

inline int fuzzImportReader(catimport::Format format, const uint8_t *data, size_t size)
{
    using namespace catimport;
    const QByteArrayView bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    struct Seen
    {
        qint64 files, folders, bytes;
        bool sound;
    };
    QList<Seen> full;
    readVolumesFromBytes(bytes, format, QStringLiteral("fuzz"), Options(), [&](Volume &&v) {
        if (v.sound()) {
            // Four lines per file, every line ending in CR LF, none split inside.
            if (v.records.count("\r\n") != v.files * 4 || v.records.count('\n') != v.files * 4)
                std::abort();
            if (v.files > 0 && !v.records.endsWith("\r\n"))
                std::abort();
        } else if (!v.records.isEmpty()) {
            std::abort();
        }
        full.append({v.files, v.folders, v.bytes, v.sound()});
        return true;
    });
    // Counting only sees the same volumes.
    Options count;
    count.countOnly = true;
    qsizetype i = 0;
    readVolumesFromBytes(bytes, format, QStringLiteral("fuzz"), count, [&](Volume &&v) {
        if (i >= full.size() || full[i].sound != v.sound() ||
            (v.sound() &&
             (full[i].files != v.files || full[i].folders != v.folders || full[i].bytes != v.bytes)))
            std::abort();
        ++i;
        return true;
    });
    if (i != full.size())
        std::abort();
    QString why;
    (void)detectFormatOfText(bytes.toByteArray(), &why);
    return 0;
}
