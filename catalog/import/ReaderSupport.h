#pragma once

#include "catalog/RecordSection.h"
#include "catalog/import/ImportTypes.h"
#include "catalog/import/VolumeTree.h"

#include <QByteArrayView>

#include <optional>

class InputStream;

// What every reader shares: reading numbers and dates the way the records need them, and
// handing a finished volume on.
namespace catimport {

// A byte count written as decimal digits. Refuses (with the reason) a sign, a fraction or
// a value beyond 64 bits.
std::optional<qint64> parseSize(QByteArrayView text, const char **problem);

// Dates as the records hold them, with what had to be changed counted per volume.
class DatePacker
{
public:
    // Seconds since the epoch (a fraction is cut off, as the walk reads whole seconds).
    int32_t fromEpoch(double seconds);
    int32_t fromEpoch(qint64 seconds);
    // A local date and time given by its fields; fields that make no date are counted as
    // unreadable.
    int32_t fromLocal(int year, int month, int day, int hour, int minute, int second);
    // No date, or one that cannot be read: the first moment an archive holds.
    int32_t missing();
    // Adds the warnings for what was changed and starts counting afresh.
    void addWarnings(QStringList &warnings);

private:
    filerecord::LocalTimePacker m_packer;
    qint64 m_clamped = 0;
    qint64 m_missing = 0;
};

// Reads "YYYY-MM-DD HH:MM:SS" (also with "/" or "T", seconds optional).
bool parseIsoLocal(QByteArrayView text, int *fields);

// Finishes a volume: builds its records (or only its counts), adds the date warnings and
// hands it to the sink. Returns what the sink said; the tree is emptied for the next volume.
bool finishVolume(Volume &v, VolumeTree &tree, DatePacker &dates, const Options &options,
                  const VolumeSink &sink);

// Shows how far the reading is and answers whether it is to stop.
bool reportProgress(const InputStream &in, const Options &options);

// What a volume's note says about where it came from.
QString importedNote(Format format, const QString &rest);

} // namespace catimport
