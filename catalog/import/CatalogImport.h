#pragma once

#include "catalog/import/ImportTypes.h"

#include <QByteArrayView>

namespace catimport {

// The format of a catalog file, judged from its content (its name does not count). Empty,
// with the reason in *why, when it is none of the formats read.
std::optional<Format> detectFormat(const QString &path, QString *why);
std::optional<Format> detectFormatOfText(const QByteArray &head, QString *why);

// Reads the file's volumes one after the other into the sink. Files that are one volume take
// its name from the file's name and its archived date from the file's time. The path "-"
// reads standard input; a volume that takes its name from the file then has none.
ReadOutcome readVolumes(const QString &path, Format format, const Options &options, const VolumeSink &sink);
// The same over bytes in memory, with the name and time given.
ReadOutcome readVolumesFromBytes(QByteArrayView bytes, Format format, const QString &volumeName,
                                 const Options &options, const VolumeSink &sink);

} // namespace catimport
