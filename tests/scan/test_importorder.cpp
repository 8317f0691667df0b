#include "catalog/Checksum.h"
#include "catalog/import/CatalogImport.h"
#include "scan/DiscWalker.h"

#include "TestSupport.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

namespace {

// The listing find writes for the folder (-mindepth 1, "%y\t%P\t%s\t%T@\n"): every entry in the
// order the folder lists it, each folder's contents right after the folder's own line.
void listLikeFind(const QByteArray &root, const QByteArray &relative, QByteArray &out)
{
    DIR *dir = ::opendir(QByteArray(root + relative).constData());
    ASSERT_NE(dir, nullptr);
    while (const dirent *e = ::readdir(dir)) {
        const QByteArray name(e->d_name);
        if (name == "." || name == "..")
            continue;
        struct stat st;
        ASSERT_EQ(::lstat(QByteArray(root + relative + name).constData(), &st), 0);
        const bool folder = S_ISDIR(st.st_mode);
        out += (folder ? "d\t" : "f\t") + relative + name + '\t' + QByteArray::number(qint64(st.st_size)) +
               '\t' + QByteArray::number(qint64(st.st_mtim.tv_sec)) + '.' +
               QByteArray::number(qint64(st.st_mtim.tv_nsec)).rightJustified(9, '0') + '\n';
        if (folder)
            listLikeFind(root, relative + name + '/', out);
    }
    ::closedir(dir);
}

} // namespace

// A disc imported from find's listing of a folder and the same folder added as a disc give the
// same records, so the add recognises the disc as already archived.
TEST(ImportOrder, AListingOfAFolderGivesTheRecordsItsWalkGives)
{
    const QString root = ambrytest::makeTempDir(QStringLiteral("disc"));
    const QStringList files = {QStringLiteral("z.txt"),
                               QStringLiteral("Music/b.ogg"),
                               QStringLiteral("Music/a.ogg"),
                               QStringLiteral("Music/Live/x.ogg"),
                               QStringLiteral("Docs/Old/Older/y.pdf"),
                               QStringLiteral("a b/c d.txt"),
                               QStringLiteral("m.txt")};
    qint64 when = 1563120131;
    for (const QString &f : files) {
        ambrytest::writeFile(root + QLatin1Char('/') + f, f.toUtf8());
        const timespec times[2] = {{when, 0}, {when, 250000000}};
        ASSERT_EQ(::utimensat(AT_FDCWD, QFile::encodeName(root + QLatin1Char('/') + f).constData(), times, 0),
                  0);
        when += 3601;
    }
    QDir().mkpath(root + QStringLiteral("/Empty/Deeper"));

    QByteArray listing;
    listLikeFind(QFile::encodeName(root + QLatin1Char('/')), QByteArray(), listing);
    QList<catimport::Volume> volumes;
    catimport::readVolumesFromBytes(listing, catimport::Format::Listing, QStringLiteral("disc"), {},
                                    [&](catimport::Volume &&v) {
                                        volumes.append(std::move(v));
                                        return true;
                                    });
    ASSERT_EQ(volumes.size(), 1);
    DiscWalker walker;
    ASSERT_TRUE(walker.walk(root));
    EXPECT_EQ(volumes.front().records, walker.records());
    EXPECT_EQ(checksumOfBytes(volumes.front().records), checksumOfBytes(walker.records()));
    EXPECT_EQ(volumes.front().files, walker.counts().files);
    EXPECT_EQ(volumes.front().folders, walker.counts().folders);
    EXPECT_EQ(volumes.front().bytes, walker.counts().bytes);
}
