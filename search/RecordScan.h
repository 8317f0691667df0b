#pragma once

// The search's own archive reader: one read per archive into a reused buffer and line spans
// found by scanning bytes, with no object per line. Shared by the engine and the results model.

#include <QByteArrayView>
#include <QString>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace search {

struct LineSpan
{
    uint32_t begin;
    uint32_t end; // one past the last byte, line end excluded
};

// A whole file read into a buffer that is kept and reused for the next file.
class FileBuffer
{
public:
    // Reads the file; the text ends at its first NUL byte. False with a reason when the file
    // cannot be opened or read, or is too large (4 GiB or more) for the spans.
    bool load(const QString &path, QString *error, bool cutAtNul = true);
    // Ends the text at n bytes (at a NUL found later).
    void cut(size_t n) { m_size = std::min(m_size, n); }
    void setBytes(QByteArrayView bytes);
    const char *data() const { return m_view; }
    size_t size() const { return m_size; }

    FileBuffer() = default;
    ~FileBuffer();
    FileBuffer(const FileBuffer &) = delete;
    FileBuffer &operator=(const FileBuffer &) = delete;

private:
    void reserve(size_t n);
    void unmap();
    std::unique_ptr<char[]> m_data;
    const char *m_view = nullptr;
    void *m_map = nullptr;
    size_t m_mapSize = 0;
    size_t m_capacity = 0;
    size_t m_size = 0;
};

// Where the archive fields are: the block of lines at the end of the file that hold an "="
// (or are empty), found by scanning back from the last line. The line that ends the block is
// the last record's date-time line, a plain number, so the block never reaches into records.
struct ArchiveLayout
{
    size_t recordsEnd = 0;        // the record section is [0, recordsEnd)
    std::vector<LineSpan> fields; // the block's lines, top to bottom

    // The value after the first "=" of the first field line whose key equals key without
    // regard to ASCII letter case; empty when there is none.
    QByteArrayView field(const char *base, const char *key) const;
};
ArchiveLayout scanArchiveLayout(const char *data, size_t size);

// The lines of [0, end): CR LF, a lone CR and a lone LF each end a line.
void indexLines(const char *data, size_t end, std::vector<LineSpan> &lines);
// Line ends (CR LF, CR or LF) in [0, end): counts lines the way indexLines splits them.
size_t countLines(const char *data, size_t end);

// Bytes of code 32 or below removed from both ends.
QByteArrayView trimBlanks(QByteArrayView v);
// Optional sign and decimal digits only, within signed 64 bits.
bool parseDecimal64(const char *s, size_t n, qint64 *value);

// Archive text: UTF-8 when the bytes are valid UTF-8, else Windows-1252.
QString decodeArchiveBytes(QByteArrayView bytes);
bool isValidUtf8(const unsigned char *s, size_t n);

// "dd/mm/yyyy hh:mm:ss" with the locale's separators, the time left out at 00:00:00.
QString formatPackedDate(int year, int month, int day, int hour, int minute, int second);
// The date of a packed value in that form, empty when the value does not unpack.
QString formatPackedDate(int32_t packed);

} // namespace search
