#include "helper_zips.h"

#include "TestSupport.h"
#include "catalog/CatalogLock.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QDirIterator>
#include <QFile>

#include <cstring>
#include <zip.h>

namespace ziptest {

QByteArray archiveBytes(const QString &mark, int number, int records, const QByteArray &salt)
{
    QByteArray out;
    for (int i = 0; i < records; ++i)
        out += "Folder " + salt + "\r\nfile" + QByteArray::number(i) + ".txt\r\n" +
               QByteArray::number(i * 7) + "\r\n950948495\r\n";
    out += "ADate=979544548\r\nAMark=" + mark.toUtf8() +
           "\r\nALocation=Shelf\r\nACRC=1\r\nAFiles=" + QByteArray::number(records) +
           "\r\nADirs=1\r\nANote=\r\nASize=7\r\nANumber=" + QByteArray::number(number) +
           "\r\nASource=CD/DVD\r\nAPicture=\r\nAEnd=EndTag\r\n";
    return out;
}

void writeTree(const QString &folder, const Tree &tree)
{
    for (auto it = tree.begin(); it != tree.end(); ++it)
        ambrytest::writeFile(folder + QLatin1Char('/') + it.key(), it.value());
}

Tree readTree(const QString &folder)
{
    Tree tree;
    QDirIterator it(folder, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        if (it.fileName() == CatalogLock::LockFileName)
            continue; // the writers' lock, not part of the catalog's content
        tree.insert(path.mid(folder.size() + 1), ambrytest::readFile(path));
    }
    return tree;
}

QByteArray makeZip(const QList<Entry> &entries)
{
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t *out = zip_source_buffer_create(nullptr, 0, 0, &error);
    zip_t *z = zip_open_from_source(out, ZIP_TRUNCATE, &error);
    EXPECT_NE(z, nullptr);
    zip_source_keep(out);
    for (const Entry &e : entries) {
        // The zip library copies nothing until it closes; keep the data alive until then.
        zip_source_t *src = zip_source_buffer(z, e.data.constData(), zip_uint64_t(e.data.size()), 0);
        const zip_int64_t index = zip_file_add(z, e.name.constData(), src, 0);
        EXPECT_GE(index, 0) << e.name.constData();
        if (e.unixMode)
            zip_file_set_external_attributes(z, zip_uint64_t(index), 0, ZIP_OPSYS_UNIX, e.unixMode << 16);
    }
    EXPECT_EQ(zip_close(z), 0);
    QByteArray bytes;
    zip_stat_t st;
    zip_source_stat(out, &st);
    EXPECT_EQ(zip_source_open(out), 0);
    bytes.resize(qsizetype(st.size));
    EXPECT_EQ(zip_source_read(out, bytes.data(), st.size), zip_int64_t(st.size));
    zip_source_close(out);
    zip_source_free(out);
    zip_error_fini(&error);
    return bytes;
}

QByteArray patchAll(QByteArray zip, const QByteArray &from, const QByteArray &to)
{
    EXPECT_EQ(from.size(), to.size());
    EXPECT_TRUE(zip.contains(from));
    zip.replace(from, to);
    return zip;
}

QByteArray patchFirstSize(QByteArray zip, uint32_t size)
{
    const auto put = [&](qsizetype at) {
        for (int i = 0; i < 4; ++i)
            zip[at + i] = char((size >> (8 * i)) & 0xff);
    };
    const qsizetype local = zip.indexOf("PK\x03\x04");
    const qsizetype central = zip.indexOf("PK\x01\x02");
    EXPECT_GE(local, 0);
    EXPECT_GE(central, 0);
    put(local + 22);
    put(central + 24);
    return zip;
}

} // namespace ziptest
