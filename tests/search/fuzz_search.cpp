// libFuzzer target for the search over one archive: the first bytes choose the criteria (the
// match mode and the accent switch among them), the rest is the archive. Every combination must
// search without a crash, a hang or a sanitizer report, and the quick paths must find exactly
// the rows the plain reading finds.
#include "search/SearchEngine.h"

#include <QDir>
#include <QFile>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <unistd.h>

using namespace search;

namespace {

const QString &scratchFolder()
{
    static const QString path = []() -> QString {
        QByteArray dir = QFile::encodeName(QDir::tempPath()) + "/ambry-fuzz-search-XXXXXX";
        if (!::mkdtemp(dir.data()))
            std::abort();
        return QFile::decodeName(dir);
    }();
    return path;
}

// Reads the criteria from the front of the input; what is left is the archive.
struct Input
{
    const uint8_t *p;
    size_t n;
    uint8_t byte() { return n ? (--n, *p++) : 0; }
    QString text()
    {
        const size_t len = std::min<size_t>(byte() % 12, n);
        const QString s = QString::fromUtf8(reinterpret_cast<const char *>(p), qsizetype(len));
        p += len;
        n -= len;
        return s;
    }
};

qint64 countRows(const SearchCriteria &c, const QString &path, bool fast)
{
    CountingSink sink;
    SearchEngine engine(c, sink);
    engine.setAsciiFastPath(fast);
    engine.AddFile(path);
    return sink.count;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    Input in{data, size};
    SearchCriteria c;
    const uint8_t flags = in.byte();
    c.AdvancedMode = flags & 1;
    c.marks = flags & 2;
    c.dirs = flags & 4;
    c.files = flags & 8;
    c.types = flags & 16;
    c.caseSensitive = flags & 32;
    c.dateActive = flags & 64;
    c.sizeActive = flags & 128;
    const uint8_t more = in.byte();
    c.sizeAtMost = more & 1;
    // Bits 3 to 5 the mode, of the advanced search or, with bit 7, of the simple one; bit 6
    // ignores accents.
    const MatchMode mode = MatchMode((more >> 3 & 7) % 5);
    (more & 128 ? c.simpleMatch : c.match) = mode;
    (more & 128 ? c.simpleIgnoreAccents : c.ignoreAccents) = more & 64;
    c.DateFrom = int32_t(uint32_t(in.byte()) << 24 | uint32_t(in.byte()) << 16);
    c.DateTo = int32_t(uint32_t(in.byte()) << 24 | uint32_t(in.byte()) << 16 | 0xffff);
    c.SizeLimit = qint64(in.byte()) * (more & 2 ? 1000000 : 1);
    c.searchText = in.text();
    if (more & 4)
        c.OnlyMark = in.text();

    const QString path = scratchFolder() + QStringLiteral("/a.dat");
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        file.write(reinterpret_cast<const char *>(in.p), qint64(in.n)) != qint64(in.n))
        std::abort();
    file.close();

    if (countRows(c, path, true) != countRows(c, path, false))
        std::abort(); // the quick scan and the plain reading disagree
    return 0;
}
