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

QByteArray takeOutFolder(const QString &imagePath, const CataloguedFolder &folder)
{
    QString error;
    const std::unique_ptr<IsoImage> image = IsoImage::open(imagePath, &error);
    if (!image)
        throw AmbryError(error);
    if (folder.files.empty())
        return {};
    const CataloguedFile &probe = folder.files.front();
    if (!image->findRecorded(probe.folderLine, probe.name))
        return {};

    const QString copies = copiesFolder();
    if (!QDir().mkpath(copies))
        throw AmbryError(QStringLiteral("Cannot create the folder '%1'.").arg(copies));
    removeOldCopies(copies);
    QByteArray pattern = QFile::encodeName(copies) + "XXXXXX";
    if (!::mkdtemp(pattern.data()))
        throw AmbryError(QStringLiteral("Cannot create a folder in '%1'.").arg(copies));
    const QString own = QFile::decodeName(pattern);
    // A half-made copy must not be pasted: it goes when anything fails.
    struct Discard
    {
        QString folder;
        ~Discard()
        {
            if (!folder.isEmpty())
                QDir(folder).removeRecursively();
        }
    } discard{own};

    QString name = folder.name;
    name.replace(QLatin1Char('/'), QLatin1Char('_'));
    if (name.isEmpty() || name == QLatin1String(".") || name == QLatin1String(".."))
        name = QStringLiteral("Disc");
    const QString top = own + QLatin1Char('/') + name;
    const int depth = retrieval::folderDepth(folder.folderLine);
    for (const CataloguedFile &file : folder.files) {
        const std::optional<IsoImage::Entry> entry = image->findRecorded(file.folderLine, file.name);
        if (!entry)
            throw AmbryError(
                QStringLiteral("The disc image '%1' does not hold '%2'.")
                    .arg(imagePath, QFile::decodeName(retrieval::relativePath(file.folderLine, file.name))));
        // The folders between the copied folder and the file.
        QString dir = top;
        int level = 0;
        for (const QByteArray &part : file.folderLine.split('\\')) {
            if (part.isEmpty() || level++ < depth)
                continue;
            dir += QLatin1Char('/') + QFile::decodeName(part);
        }
        if (!QDir().mkpath(dir))
            throw AmbryError(QStringLiteral("Cannot create the folder '%1'.").arg(dir));
        if (!image->copyOut(*entry, dir + QLatin1Char('/') + QFile::decodeName(entry->name), &error))
            throw AmbryError(error);
    }
    discard.folder.clear();
    return QFile::encodeName(top);
}

} // namespace imageretrieval
