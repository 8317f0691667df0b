#include "ImageRetrieval.h"

#include "RetrievalSession.h"
#include "catalog/ArchiveWriter.h"
#include "catalog/Catalog.h"
#include "scan/IsoImage.h"
#include "util/AmbryError.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

#include <cstdlib>

namespace {

constexpr qint64 kKeepSeconds = 24 * 60 * 60;

void removeOldCopies(const QString &folder)
{
    const QDateTime before = QDateTime::currentDateTime().addSecs(-kKeepSeconds);
    const QFileInfoList copies = QDir(folder).entryInfoList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden);
    for (const QFileInfo &copy : copies)
        if (copy.lastModified() < before)
            QDir(copy.absoluteFilePath()).removeRecursively();
}

} // namespace

namespace imageretrieval {

QString imageOf(const QString &archivePath)
{
    QString source;
    QString location;
    try {
        source = ReadArchiveValue(archivePath, QStringLiteral("ASource")).trimmed();
        location = ReadArchiveValue(archivePath, QStringLiteral("ALocation")).trimmed();
    } catch (const AmbryError &) {
        return {}; // an archive that cannot be read names no image
    }
    if (source.compare(archivesource::Image, Qt::CaseInsensitive) != 0)
        return {};
    const QFileInfo image(location);
    return image.isAbsolute() && image.isFile() ? image.absoluteFilePath() : QString();
}

QString copiesFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) +
           QStringLiteral("/Brightfen/Ambrylog/From images/");
}

QByteArray takeOut(const QString &imagePath, const CataloguedFile &file)
{
    QString error;
    const std::unique_ptr<IsoImage> image = IsoImage::open(imagePath, &error);
    if (!image)
        throw AmbryError(error);
    const std::optional<IsoImage::Entry> entry = image->findRecorded(file.folderLine, file.name);
    if (!entry)
        return {};

    const QString folder = copiesFolder();
    if (!QDir().mkpath(folder))
        throw AmbryError(QStringLiteral("Cannot create the folder '%1'.").arg(folder));
    removeOldCopies(folder);
    // A folder of its own for each copy, so that it keeps the file's name beside others of
    // the same name.
    QByteArray pattern = QFile::encodeName(folder) + "XXXXXX";
    if (!::mkdtemp(pattern.data()))
        throw AmbryError(QStringLiteral("Cannot create a folder in '%1'.").arg(folder));
    const QString copy = QFile::decodeName(pattern) + QLatin1Char('/') + QFile::decodeName(entry->name);
    if (!image->copyOut(*entry, copy, &error))
        throw AmbryError(error);
    return QFile::encodeName(copy);
}

} // namespace imageretrieval
