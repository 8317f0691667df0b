#pragma once

#include "catalog/import/ImportTypes.h"

class InputStream;

// One reader per format; each reads the stream front to back and hands on each volume as
// soon as it is complete. Catalog.h's readVolumes picks one.
namespace catimport {

ReadOutcome readCatcli(InputStream &in, const Options &options, const VolumeSink &sink);
ReadOutcome readGocatcliJson(InputStream &in, const Options &options, const VolumeSink &sink);
// The TOML layout is read whole, so only up to this size.
constexpr qsizetype kMaxTomlBytes = qsizetype(16) << 20;
ReadOutcome readGocatcliToml(InputStream &in, const Options &options, const VolumeSink &sink);
ReadOutcome readCdCat(InputStream &in, const Options &options, const VolumeSink &sink);
ReadOutcome readGWhere(InputStream &in, const Options &options, const VolumeSink &sink);
// The volume's name and archived date come from the file's name and time, which the stream
// does not know; `folders` is the catalog's folders file when there is one.
ReadOutcome readKatalog(InputStream &in, InputStream *folders, const QString &volumeName,
                        const QDateTime &fileTime, const Options &options, const VolumeSink &sink);
// The order of day and month in VVV's dates, from the first date that tells; Unknown when none does.
DateOrder detectVvvDateOrder(InputStream &in);
ReadOutcome readVvv(InputStream &in, const Options &options, const VolumeSink &sink);
ReadOutcome readListing(InputStream &in, const QString &volumeName, const QDateTime &fileTime,
                        const Options &options, const VolumeSink &sink);

} // namespace catimport
