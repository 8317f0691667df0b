// Writes a deterministic test catalog of archives with realistic folder and file names, sizes
// and dates, for the search and lookup benchmarks:
//   bench_gencatalog OUTDIR [archives=2000] [records=10000000]
// Most archives land directly in OUTDIR, some in subfolders (as users file them away); a few
// are written in Windows-1252 as archives made on Windows are. The same arguments always give
// the same files.
#include "catalog/Checksum.h"
#include "catalog/DosDateTime.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

// splitmix64: tiny, fast and identical on every platform (std distributions are not).
class Rng
{
public:
    explicit Rng(uint64_t seed) : m_state(seed) {}
    uint64_t next()
    {
        uint64_t z = (m_state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    int below(int n) { return int(next() % uint64_t(n)); }
    int between(int lo, int hi) { return lo + below(hi - lo + 1); }
    double unit() { return double(next() >> 11) / double(1ull << 53); }
    template <typename T, size_t N> const T &pick(const T (&items)[N]) { return items[below(int(N))]; }

private:
    uint64_t m_state;
};

const char *const Artists[] = {"Björk",
                               "Dvořák",
                               "Beethoven",
                               "Miles Davis",
                               "Sigur Rós",
                               "Édith Piaf",
                               "The Beatles",
                               "Queen",
                               "Mötley Crüe",
                               "Nina Simone",
                               "Café Tacvba",
                               "Chopin",
                               "Daft Punk",
                               "Ludovico Einaudi",
                               "Ennio Morricone",
                               "Röyksopp",
                               "Héroes del Silencio",
                               "Kraftwerk",
                               "ABBA",
                               "Radiohead"};
const char *const Albums[] = {"Greatest Hits",      "Live in Paris", "Homogenic",      "New World Symphony",
                              "Kind of Blue",       "Ágætis byrjun", "La Vie en rose", "Abbey Road",
                              "Night at the Opera", "Discovery",     "Melody AM",      "Ein Abend in Wien",
                              "Noches de Verano",   "OK Computer",   "Autobahn",       "Arrival",
                              "Nocturnes"};
const char *const Words[] = {
    "Holiday",  "Summer",    "Winter",  "Family",       "Garden",    "Office",    "Report", "Budget",
    "Invoice",  "Letter",    "Project", "Backup",       "Drivers",   "Setup",     "Manual", "Photos",
    "Été",      "Noël",      "Straße",  "Ærø",          "Señor",     "Zürich",    "Málaga", "Kraków",
    "Göteborg", "Renée",     "naïve",   "Crème brûlée", "Übersicht", "Documents", "Images", "Video",
    "Music",    "Old stuff", "Misc",    "Work",         "School",    "Wedding"};
const char *const TopFolders[] = {"Music",  "Photos",       "Documents",     "Software", "Video",
                                  "Backup", "My Documents", "Program Files", "Install",  "Data"};
const char *const DocExt[] = {"doc", "pdf", "txt", "xls", "rtf", "odt", "htm", "ppt", "csv"};
const char *const SoftExt[] = {"exe", "dll", "ini", "cab", "inf", "sys", "hlp", "dat", "msi", "ocx"};
const char *const Locations[] = {"Shelf A",         "Shelf B",  "Box 3", "Drawer",  "Attic",
                                 "Office cupboard", "Wallet 2", "Büro",  "Spindle", ""};
const char *const Notes[] = {"",
                             "",
                             "Holiday music",
                             "Backup of old PC",
                             "Copy for Renée",
                             "Drivers",
                             "Photos from the trip to Málaga",
                             "Do not lend",
                             "Scratched, still reads"};

QByteArray b(const char *s)
{
    return QByteArray(s);
}

// The 8-bit form an archive written on Windows would hold; characters outside
// Windows-1252 fall back to "?".
QByteArray toWindows1252(const QByteArray &utf8)
{
    const QString text = QString::fromUtf8(utf8);
    QByteArray out;
    out.reserve(text.size());
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (u < 0x80 || (u >= 0xA0 && u <= 0xFF))
            out.append(char(u));
        else if (u == 0x0160)
            out.append(char(0x8A));
        else if (u == 0x0161)
            out.append(char(0x9A));
        else if (u == 0x0152)
            out.append(char(0x8C));
        else if (u == 0x0153)
            out.append(char(0x9C));
        else
            out.append('?');
    }
    return out;
}

struct Disc
{
    QByteArray records;
    qint64 files = 0, dirs = 0, size = 0;
};

class DiscMaker
{
public:
    DiscMaker(Rng &rng, bool windows) : m_rng(rng), m_windows(windows) {}

    Disc make(int records)
    {
        m_left = records;
        m_kind = m_rng.below(4);
        m_yearBase = m_rng.between(1996, 2011);
        folder(QByteArray(), 0);
        while (m_left > 0) // a disc whose tree filled early gets one more top folder
            folder(QByteArray(), 0);
        return std::move(m_disc);
    }

private:
    QByteArray text(const QByteArray &utf8) const { return m_windows ? toWindows1252(utf8) : utf8; }

    QByteArray folderName(int depth)
    {
        switch (m_kind) {
        case 0: // music
            if (depth == 0)
                return b(m_rng.pick(TopFolders));
            if (depth == 1)
                return b(m_rng.pick(Artists));
            return QByteArray::number(m_rng.between(1965, 2011)) + " - " + b(m_rng.pick(Albums));
        case 1: // photos
            if (depth == 0)
                return "Photos " + QByteArray::number(m_yearBase);
            return QByteArray::number(m_yearBase) + '-' + QByteArray::number(m_rng.between(10, 12)).right(2) +
                   ' ' + b(m_rng.pick(Words));
        default:
            return b(depth == 0 ? m_rng.pick(TopFolders) : m_rng.pick(Words)) +
                   (m_rng.below(3) == 0 ? ' ' + QByteArray::number(m_rng.between(1, 99)) : QByteArray());
        }
    }

    QByteArray fileName(int index, qint64 *size)
    {
        const double r = m_rng.unit();
        switch (m_kind) {
        case 0:
            *size = 2'000'000 + qint64(r * 9'000'000);
            return QByteArray::number(index + 1).rightJustified(2, '0') + " - " + b(m_rng.pick(Artists)) +
                   " - " + b(m_rng.pick(Words)) + ' ' + b(m_rng.pick(Words)) +
                   (m_rng.below(5) ? ".mp3" : ".flac");
        case 1:
            *size = 600'000 + qint64(r * 4'000'000);
            return (m_rng.below(2) ? "IMG_" : "DSC0") + QByteArray::number(1000 + m_rng.below(9000)) + ".JPG";
        default: {
            // Sizes spread over several orders of magnitude; now and then a DVD image larger
            // than 2 GiB, whose size line is negative.
            *size = qint64(std::exp(4.0 + r * 14.0));
            if (m_rng.below(4000) == 0)
                *size = 2'200'000'000ll + m_rng.below(1'500'000'000);
            const char *ext = m_kind == 2 ? m_rng.pick(DocExt) : m_rng.pick(SoftExt);
            return b(m_rng.pick(Words)) + (m_rng.below(2) ? ' ' + b(m_rng.pick(Words)) : QByteArray()) +
                   (m_rng.below(3) ? QByteArray() : '_' + QByteArray::number(m_rng.below(500))) + '.' + ext;
        }
        }
    }

    void folder(const QByteArray &line, int depth)
    {
        if (m_left <= 0)
            return;
        const QByteArray folderLine = line.isEmpty() ? QByteArray("\\") : text(line);
        const int files =
            std::min(m_left, depth == 0 && line.isEmpty() ? m_rng.between(0, 4) : m_rng.between(3, 40));
        for (int i = 0; i < files; ++i) {
            qint64 size = 0;
            const QByteArray name = text(fileName(i, &size));
            const int year = std::min(m_yearBase - m_rng.below(4), 2011);
            const int32_t date =
                dosdate::pack(year, m_rng.between(1, 12), m_rng.between(1, 28), m_rng.between(0, 23),
                              m_rng.between(0, 59), m_rng.between(0, 59));
            const int32_t sizeLine = int32_t(uint32_t(uint64_t(size)));
            m_disc.records += folderLine + "\r\n" + name + "\r\n" + QByteArray::number(sizeLine) + "\r\n" +
                              QByteArray::number(date) + "\r\n";
            ++m_disc.files;
            m_disc.size += sizeLine;
            --m_left;
        }
        const int subfolders = depth >= 3 ? 0 : m_rng.between(depth == 0 ? 2 : 0, depth == 0 ? 6 : 4);
        for (int i = 0; i < subfolders && m_left > 0; ++i) {
            ++m_disc.dirs;
            const QByteArray sub = folderName(depth);
            folder(line.isEmpty() ? sub : line + '\\' + sub, depth + 1);
        }
    }

    Rng &m_rng;
    bool m_windows;
    int m_left = 0;
    int m_kind = 0;
    int m_yearBase = 2000;
    Disc m_disc;
};

} // namespace

int main(int argc, char **argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: bench_gencatalog OUTDIR [archives=2000] [records=10000000]\n");
        return 2;
    }
    const QString out = QFile::decodeName(argv[1]);
    const int archives = argc > 2 ? std::atoi(argv[2]) : 2000;
    const qint64 records = argc > 3 ? std::atoll(argv[3]) : 10'000'000;
    if (archives <= 0 || records < 0) {
        std::fprintf(stderr, "bench_gencatalog: archives must be positive, records not negative\n");
        return 2;
    }
    const QStringList subfolders = {QString(),
                                    QString(),
                                    QString(),
                                    QString(),
                                    QString(),
                                    QString(),
                                    QString(),
                                    QStringLiteral("Old discs"),
                                    QStringLiteral("Backup 2009/Ärger"),
                                    QStringLiteral(".hidden")};
    if (!QDir().mkpath(out)) {
        std::fprintf(stderr, "bench_gencatalog: cannot create %s\n", argv[1]);
        return 1;
    }

    Rng rng(20090302);
    // Record counts vary a lot between discs (a few large, many small) but add up exactly.
    std::vector<double> weight(static_cast<size_t>(archives));
    double total = 0;
    for (double &w : weight) {
        w = 0.2 + rng.unit() * rng.unit() * 4.0;
        total += w;
    }
    qint64 assigned = 0, bytes = 0;
    for (int a = 0; a < archives; ++a) {
        const qint64 count =
            a + 1 == archives ? records - assigned : qint64(double(records) * weight[size_t(a)] / total);
        assigned += count;
        const bool windows = rng.below(20) == 0;
        DiscMaker maker(rng, windows);
        const Disc disc = maker.make(int(count));
        const QString crc = checksumOfBytes(disc.records);
        const int number = a + 1;
        const QByteArray mark = rng.below(5)
                                    ? QByteArray("CD No: " + QByteArray::number(number))
                                    : QByteArray(b(rng.pick(Words)) + ' ' + QByteArray::number(number));
        const int year = rng.between(2003, 2012);
        const int32_t saved = dosdate::pack(year, rng.between(1, 12), rng.between(1, 28), rng.between(8, 23),
                                            rng.between(0, 59), rng.between(0, 59));
        const auto enc = [windows](const char *s) { return windows ? toWindows1252(b(s)) : b(s); };
        QByteArray file = disc.records;
        file += "ADate=" + QByteArray::number(saved) + "\r\nAMark=" + (windows ? toWindows1252(mark) : mark) +
                "\r\nALocation=" + enc(rng.pick(Locations)) + "\r\nACRC=" + crc.toLatin1() +
                "\r\nAFiles=" + QByteArray::number(disc.files) +
                "\r\nADirs=" + QByteArray::number(disc.dirs) + "\r\nANote=" + enc(rng.pick(Notes)) +
                "\r\nASize=" + QByteArray::number(disc.size) + "\r\nANumber=" + QByteArray::number(number) +
                "\r\nASource=CD/DVD\r\nAPicture=\r\nAEnd=EndTag\r\n";
        const QString sub = subfolders.at(rng.below(int(subfolders.size())));
        const QString dir = sub.isEmpty() ? out : out + QLatin1Char('/') + sub;
        QDir().mkpath(dir);
        QFile f(dir + QLatin1Char('/') + crc + QStringLiteral(".dat"));
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(file) != file.size()) {
            std::fprintf(stderr, "bench_gencatalog: cannot write %s\n", qPrintable(f.fileName()));
            return 1;
        }
        bytes += file.size();
    }
    std::printf("%d archives, %lld records, %lld bytes in %s\n", archives, static_cast<long long>(records),
                static_cast<long long>(bytes), argv[1]);
    return 0;
}
