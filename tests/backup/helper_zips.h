#pragma once

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QString>

#include <cstdint>

// Catalogs and crafted zip files for the backup tests.
namespace ziptest {

// A small, sound archive: `records` file records, then the fields.
QByteArray archiveBytes(const QString &mark, int number, int records = 2, const QByteArray &salt = "x");

// Writes archives into a catalog folder; returns relative path -> bytes.
using Tree = QMap<QString, QByteArray>;
void writeTree(const QString &folder, const Tree &tree);
// Every file below folder (hidden ones too, the catalog lock's file aside), by relative path.
Tree readTree(const QString &folder);

// One entry of a zip the tests build with the zip library.
struct Entry
{
    QByteArray name;
    QByteArray data;
    uint32_t unixMode = 0100644; // 0: no attributes recorded
};
QByteArray makeZip(const QList<Entry> &entries);

// Replaces every occurrence of from (same length) in the zip's bytes: names in both the
// local and the central headers.
QByteArray patchAll(QByteArray zip, const QByteArray &from, const QByteArray &to);
// Sets the uncompressed size of the first entry in both headers (a lie about its size).
QByteArray patchFirstSize(QByteArray zip, uint32_t size);

} // namespace ziptest
