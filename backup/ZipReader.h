#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>
#include <QStringList>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>

struct zip;

namespace backup {

// How much a zip may unpack to. A zip whose declared or actual sizes pass these is refused
// whole, so a small file cannot fill the disk.
struct ZipLimits
{
    qint64 perArchive = qint64(1) << 30; // 1 GiB
    qint64 total = qint64(64) << 30;     // 64 GiB
    // All entries together, times the zip's own size. Deflate packs at most about 1032 to 1,
    // so nothing a backup writes is refused; a bomb needs another method or false sizes.
    qint64 ratio = 1032;
};

// Why an entry name (UTF-8, "/" between folders) cannot become a path below the catalog
// folder; empty when it can. A trailing "/" (a folder entry) is allowed here.
QString entryNameProblem(QByteArrayView name);

struct ZipEntry
{
    quint64 index = 0;
    QString name;      // relative path, "/" between folders
    qint64 size = 0;   // as the zip declares it
    qint64 mtime = -1; // seconds since the epoch, -1 when unknown
};

// What a zip holds, once its names, kinds and sizes passed the checks.
struct ZipPlan
{
    QList<ZipEntry> archives; // entries named like archives, in the zip's order
    QStringList refused;      // other files: not restored, named to the user
    qint64 declaredTotal = 0;
    qint64 budget = 0; // the most all entries together may unpack to
};

// A zip opened for reading. Every refusal throws AmbryError with a message that names the
// file and the reason, before anything is written anywhere.
class ZipReader
{
public:
    ~ZipReader();
    ZipReader(const ZipReader &) = delete;
    ZipReader &operator=(const ZipReader &) = delete;

    // Throws when the file cannot be read, is no zip, or is truncated or inconsistent.
    static std::unique_ptr<ZipReader> open(const QString &path);
    // The same over bytes in memory (which must outlive the reader); label names it in messages.
    static std::unique_ptr<ZipReader> fromBytes(QByteArrayView bytes, const QString &label);

    // Checks every entry's name, kind, encryption, method and declared size, and the
    // declared total; throws on the first problem.
    ZipPlan plan(const ZipLimits &limits) const;

    // Streams one entry's data to sink in blocks. Stops and throws when the data runs past
    // its declared size or the plan's budget (counted in *unpacked over all entries), or
    // does not match its CRC. False when sink returned false (cancelled).
    using Sink = std::function<bool(const char *data, qsizetype size)>;
    bool read(const ZipEntry &entry, const ZipPlan &plan, qint64 *unpacked, const Sink &sink) const;

    const QString &label() const { return m_label; }
    QString comment() const;

private:
    ZipReader(struct zip *archive, QString label, qint64 size);

    struct zip *m_zip;
    QString m_label;
    qint64 m_size;
};

// Every check of the zip over arbitrary bytes, nothing written: the fuzzing entry point.
// Returns how many of the reader's promises a zip it did not refuse broke (an unsafe archive
// name, a size past the limits or the budget, data other than declared); 0 when it refused the
// bytes or kept them all. Other faults show as a crash or a sanitizer report.
int checkZipBytes(const uint8_t *data, size_t size);

} // namespace backup
