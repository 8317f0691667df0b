#pragma once

// Date texts of the results: the packed record dates in the window's short date and long time.
// The archive text itself (lines, decoding, numbers) is read through catalog/ArchiveText.h.

#include "catalog/ArchiveText.h"

#include <QString>

#include <cstdint>

namespace search {

// "dd/mm/yyyy hh:mm:ss" with the locale's separators, the time left out at 00:00:00.
QString formatPackedDate(int year, int month, int day, int hour, int minute, int second);
// The date of a packed value in that form, empty when the value does not unpack.
QString formatPackedDate(int32_t packed);

} // namespace search
