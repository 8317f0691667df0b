#pragma once

#include <QByteArray>
#include <QString>

struct CataloguedFile;
struct CataloguedFolder;

// Files of a disc that was added from a disc image come out of that image, with no wait for
// the disc, while the image is still at the path the archive's location gives.
namespace imageretrieval {

// The image the archive at archivePath was added from, when it is still a file at the
// archive's location; empty for a disc read from a drive, or when the image is gone.
QString imageOf(const QString &archivePath);

// Copies the file out of the image into a folder of its own below copiesFolder() and
// returns the copy's path; empty when the image does not hold the file. Throws AmbryError
// when the image cannot be read or the copy cannot be written.
QByteArray takeOut(const QString &imagePath, const CataloguedFile &file);

// Copies every file below a folder out of the image into a folder named as the catalogued
// folder (below a folder of its own in copiesFolder()), keeping the folders between, and
// returns that folder's path; empty when the image does not hold the first of the files.
// Throws AmbryError when the image cannot be read, holds the first file but not another, or a
// copy cannot be written; nothing of the copy is left then.
QByteArray takeOutFolder(const QString &imagePath, const CataloguedFolder &folder);

// Where the copies wait for the clipboard's paste or the program that opens them:
// <cache>/Brightfen/Ambrylog/From images/. A copy is kept for a day after it was taken, then
// the next copy taken removes it.
QString copiesFolder();

} // namespace imageretrieval
