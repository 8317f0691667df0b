#include "IsoImage.h"

#include "catalog/RecordSection.h"

#include <QFile>
#include <QList>
#include <QSaveFile>

#include <cdio/iso9660.h>
#include <cdio/logging.h>
#include <cdio/rock.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The library reports what it meets on standard error; the reader says what went wrong
// in its own words, so the command line's output stays the program's.
void quietLog(cdio_log_level_t, const char[]) {}

void silenceLibrary()
{
    static const bool done = [] {
        cdio_log_set_handler(quietLog);
        return true;
    }();
    (void)done;
}

constexpr qint64 kBlock = ISO_BLOCKSIZE;
// Linux gives up on a chain of links after this many.
constexpr int kMaxLinkHops = 40;

qint64 secondsOfParts(int year, int month, int day, int hour, int minute, int second, int offset)
{
    tm t{};
    t.tm_year = year - 1900;
    t.tm_mon = month - 1;
    t.tm_mday = day;
    t.tm_hour = hour;
    t.tm_min = minute;
    t.tm_sec = second;
    qint64 s = timegm(&t);
    // Images record local time and its distance from GMT; a distance beyond 13 hours is
    // taken for garbage.
    if (offset >= -52 && offset <= 52)
        s -= qint64(offset) * 15 * 60;
    return s;
}

int digits(const unsigned char *p, int n)
{
    int v = 0;
    for (int i = 0; i < n; ++i)
        v = v * 10 + (p[i] >= '0' && p[i] <= '9' ? p[i] - '0' : 0);
    return v;
}

bool hasRockRidge(const iso9660_stat_t *s)
{
    return s->rr.b3_rock == yep;
}

qint64 timeOf(const iso9660_stat_t *s)
{
    if (hasRockRidge(s) && s->rr.modify.b_used) {
        const iso_rock_time_t &m = s->rr.modify;
        if (m.b_longdate)
            return isoimage::longTime(reinterpret_cast<const unsigned char *>(&m.t.ltime));
        return isoimage::recordingTime(reinterpret_cast<const unsigned char *>(&m.t.dtime));
    }
    // The library hands the record's time over as broken-down local time.
    tm t = s->tm;
    return qint64(timegm(&t)) - s->tm.tm_gmtoff;
}

struct ListFree
{
    void operator()(CdioList_t *l) const { iso9660_filelist_free(l); }
};

QByteArray joined(const QList<QByteArray> &parts, qsizetype count)
{
    QByteArray out;
    for (qsizetype i = 0; i < count; ++i) {
        if (i)
            out += '\\';
        out += parts.at(i);
    }
    return out;
}

} // namespace

namespace isoimage {

QByteArray plainName(QByteArrayView id)
{
    QByteArray out;
    out.reserve(id.size());
    const qsizetype n = id.size();
    for (qsizetype i = 0; i < n; ++i) {
        char c = id[i];
        if (c == 0)
            break;
        if (c >= 'A' && c <= 'Z')
            c = char(c | 0x20);
        if (c == '.' && i == n - 3 && id[i + 1] == ';' && id[i + 2] == '1')
            break;
        if (c == ';' && i == n - 2 && id[i + 1] == '1')
            break;
        if (c == ';' || c == '/')
            c = '.';
        out += c;
    }
    return out;
}

QByteArray jolietName(QByteArrayView name)
{
    qsizetype n = name.size();
    if (n > 2 && name[n - 2] == ';' && name[n - 1] == '1')
        n -= 2;
    while (n >= 2 && name[n - 1] == '.')
        --n;
    return name.first(n).toByteArray();
}

void joinParts(std::vector<IsoImage::Entry> &entries)
{
    using Kind = IsoImage::Entry::Kind;
    std::vector<IsoImage::Entry> out;
    out.reserve(entries.size());
    for (IsoImage::Entry &e : entries) {
        // The standard allows one name once per folder; only the parts of a file repeat it.
        if (!out.empty() && e.kind == Kind::File && out.back().kind == Kind::File &&
            out.back().key == e.key) {
            IsoImage::Entry &first = out.back();
            first.size += e.size;
            first.extents.insert(first.extents.end(), e.extents.begin(), e.extents.end());
            continue;
        }
        out.push_back(std::move(e));
    }
    entries.swap(out);
}

qint64 recordingTime(const unsigned char raw[7])
{
    return secondsOfParts(1900 + raw[0], raw[1], raw[2], raw[3], raw[4], raw[5],
                          static_cast<signed char>(raw[6]));
}

qint64 longTime(const unsigned char raw[17])
{
    return secondsOfParts(digits(raw, 4), digits(raw + 4, 2), digits(raw + 6, 2), digits(raw + 8, 2),
                          digits(raw + 10, 2), digits(raw + 12, 2), static_cast<signed char>(raw[16]));
}

QString notAnImage(const QString &path)
{
    return QStringLiteral("'%1' is not an ISO 9660 disc image.").arg(path);
}

QString damaged(const QString &path, const QString &why)
{
    return QStringLiteral("The disc image '%1' is damaged: %2.").arg(path, why);
}

} // namespace isoimage

IsoImage::~IsoImage()
{
    if (m_iso)
        iso9660_close(m_iso);
}

std::unique_ptr<IsoImage> IsoImage::open(const QString &path, QString *error)
{
    silenceLibrary();
    const QByteArray encoded = QFile::encodeName(path);
    // The library says no more than "cannot open"; the system says why.
    struct stat st;
    const int fd = ::open(encoded.constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0 || ::fstat(fd, &st) != 0) {
        *error =
            QStringLiteral("Cannot read '%1': %2").arg(path, QString::fromLocal8Bit(std::strerror(errno)));
        if (fd >= 0)
            ::close(fd);
        return nullptr;
    }
    ::close(fd);
    if (!S_ISREG(st.st_mode) && !S_ISBLK(st.st_mode)) {
        *error = isoimage::notAnImage(path);
        return nullptr;
    }

    std::unique_ptr<IsoImage> image(new IsoImage);
    image->m_path = path;
    image->m_fileSize = st.st_size;
    image->m_iso = iso9660_open_ext(encoded.constData(), ISO_EXTENSION_NONE);
    if (!image->m_iso) {
        *error = isoimage::notAnImage(path);
        return nullptr;
    }
    // Linux takes Rock Ridge when the root's own record carries it, else Joliet when the
    // image has a Joliet tree, else the plain names.
    std::unique_ptr<CdioList_t, ListFree> root(iso9660_ifs_readdir(image->m_iso, "/"));
    if (!root) {
        *error = isoimage::damaged(path, QStringLiteral("its root folder cannot be read"));
        return nullptr;
    }
    bool rockRidge = false;
    for (CdioListNode_t *n = _cdio_list_begin(root.get()); n; n = _cdio_list_node_next(n)) {
        const auto *s = static_cast<const iso9660_stat_t *>(_cdio_list_node_data(n));
        if (std::strcmp(s->filename, ".") == 0) {
            rockRidge = hasRockRidge(s);
            break;
        }
    }
    if (rockRidge) {
        image->m_names = Names::RockRidge;
        return image;
    }
    iso9660_t *joliet = iso9660_open_ext(encoded.constData(), ISO_EXTENSION_JOLIET);
    if (joliet && iso9660_ifs_get_joliet_level(joliet) > 0) {
        std::unique_ptr<CdioList_t, ListFree> jolietRoot(iso9660_ifs_readdir(joliet, "/"));
        if (jolietRoot) {
            iso9660_close(image->m_iso);
            image->m_iso = joliet;
            image->m_names = Names::Joliet;
            return image;
        }
    }
    if (joliet)
        iso9660_close(joliet);
    image->m_names = Names::Plain;
    return image;
}

bool IsoImage::list(const QByteArray &folderKeys, std::vector<Entry> *out) const
{
    if (!listRaw(folderKeys, out))
        return false;
    for (Entry &e : *out)
        if (e.kind == Entry::Kind::Link)
            resolveLink(folderKeys, e);
    return true;
}

bool IsoImage::listRaw(const QByteArray &folderKeys, std::vector<Entry> *out) const
{
    out->clear();
    const QByteArray path = '/' + folderKeys;
    std::unique_ptr<CdioList_t, ListFree> listed(iso9660_ifs_readdir(m_iso, path.constData()));
    if (!listed)
        return false;
    for (CdioListNode_t *n = _cdio_list_begin(listed.get()); n; n = _cdio_list_node_next(n)) {
        const auto *s = static_cast<const iso9660_stat_t *>(_cdio_list_node_data(n));
        const QByteArray key(s->filename);
        if (key == "." || key == "..")
            continue;
        Entry e;
        e.key = key;
        const bool rock = hasRockRidge(s);
        switch (m_names) {
        case Names::RockRidge:
            e.name = rock ? key : isoimage::plainName(key);
            break;
        case Names::Joliet:
            e.name = isoimage::jolietName(key);
            break;
        case Names::Plain:
            e.name = isoimage::plainName(key);
            break;
        }
        if (s->type == iso9660_stat_s::_STAT_DIR)
            e.kind = Entry::Kind::Folder;
        else if (rock && S_ISLNK(s->rr.st_mode))
            e.kind = Entry::Kind::Link;
        else if (rock && S_ISDIR(s->rr.st_mode))
            e.kind = Entry::Kind::MovedFolder;
        e.mtime = timeOf(s);
        if (e.kind == Entry::Kind::File) {
            e.size = s->size;
            e.extents.push_back({quint32(s->lsn), s->size});
        } else if (e.kind == Entry::Kind::Link && s->rr.psz_symlink && s->rr.i_symlink > 0) {
            e.linkTarget = QByteArray(s->rr.psz_symlink, s->rr.i_symlink);
        }
        out->push_back(std::move(e));
    }
    isoimage::joinParts(*out);
    return true;
}

void IsoImage::resolveLink(const QByteArray &folderKeys, Entry &link) const
{
    QByteArray at = folderKeys;
    QByteArray target = link.linkTarget;
    for (int hop = 0; hop < kMaxLinkHops; ++hop) {
        // A target from the root leads out of the image: a mount would read it from the
        // system it is mounted on.
        if (target.isEmpty() || target.startsWith('/'))
            return;
        const QList<QByteArray> parts = target.split('/');
        std::optional<Entry> last;
        for (qsizetype i = 0; i < parts.size(); ++i) {
            const QByteArray &part = parts.at(i);
            const bool isLast = i == parts.size() - 1;
            if (part.isEmpty() || part == ".") {
                if (isLast)
                    return; // a folder
                continue;
            }
            if (part == "..") {
                // Above the root is the root, as on a mount.
                if (!at.isEmpty()) {
                    at.chop(1);
                    at.truncate(at.lastIndexOf('/') + 1);
                }
                if (isLast)
                    return;
                continue;
            }
            std::vector<Entry> entries;
            if (!listRaw(at, &entries))
                return;
            const auto it =
                std::find_if(entries.begin(), entries.end(), [&](const Entry &e) { return e.name == part; });
            if (it == entries.end())
                return;
            if (isLast) {
                last = std::move(*it);
                break;
            }
            // A link on the way is not followed: such a link counts as one that leads nowhere.
            if (it->kind != Entry::Kind::Folder)
                return;
            at += it->key + '/';
        }
        if (!last || last->kind == Entry::Kind::Folder || last->kind == Entry::Kind::MovedFolder)
            return;
        if (last->kind == Entry::Kind::File) {
            link.size = last->size;
            link.mtime = last->mtime;
            link.extents = std::move(last->extents);
            return;
        }
        target = last->linkTarget;
    }
}

bool IsoImage::holdsData(const Entry &entry) const
{
    for (const Extent &x : entry.extents)
        if (x.bytes > 0 && qint64(x.block) * kBlock + x.bytes > m_fileSize)
            return false;
    return true;
}

bool IsoImage::findFolder(const QByteArray &keys, const QByteArray &relative, const QList<QByteArray> &parts,
                          qsizetype depth, QByteArray *found) const
{
    if (depth == parts.size()) {
        if (filerecord::folderLine(relative) != joined(parts, parts.size()))
            return false;
        *found = keys;
        return true;
    }
    std::vector<Entry> entries;
    if (!listRaw(keys, &entries))
        return false;
    // Names are compared as recorded; the exact folder line decides at the end, since it
    // is trimmed as a whole and not name by name.
    const QByteArray wanted = filerecord::recordName(parts.at(depth));
    for (const Entry &e : entries)
        if (e.kind == Entry::Kind::Folder && filerecord::recordName(e.name) == wanted &&
            findFolder(keys + e.key + '/', relative + e.name + '/', parts, depth + 1, found))
            return true;
    return false;
}

std::optional<IsoImage::Entry> IsoImage::findRecorded(QByteArrayView folderLine, QByteArrayView name) const
{
    QByteArray keys;
    if (folderLine != QByteArrayView("\\")) {
        const QList<QByteArray> parts = folderLine.toByteArray().split('\\');
        if (!findFolder(QByteArray(), QByteArray(), parts, 0, &keys))
            return std::nullopt;
    }
    std::vector<Entry> entries;
    if (!list(keys, &entries))
        return std::nullopt;
    for (Entry &e : entries) {
        const bool data = e.kind == Entry::Kind::File || (e.kind == Entry::Kind::Link && !e.extents.empty());
        if (data && filerecord::recordName(e.name) == name)
            return std::move(e);
    }
    return std::nullopt;
}

bool IsoImage::copyOut(const Entry &entry, const QString &destination, QString *error) const
{
    if (!holdsData(entry)) {
        *error = isoimage::damaged(m_path, QStringLiteral("the file's data lies beyond its end"));
        return false;
    }
    QSaveFile out(destination);
    if (!out.open(QIODevice::WriteOnly)) {
        *error = QStringLiteral("Cannot write '%1': %2").arg(destination, out.errorString());
        return false;
    }
    constexpr long kChunkBlocks = 32;
    QByteArray buffer(kChunkBlocks * kBlock, Qt::Uninitialized);
    for (const Extent &x : entry.extents) {
        qint64 left = x.bytes;
        lsn_t block = lsn_t(x.block);
        while (left > 0) {
            const long blocks = long(std::min<qint64>((left + kBlock - 1) / kBlock, kChunkBlocks));
            const qint64 wanted = std::min<qint64>(left, blocks * kBlock);
            const long got = iso9660_iso_seek_read(m_iso, buffer.data(), block, blocks);
            if (got < wanted) {
                out.cancelWriting();
                *error = isoimage::damaged(m_path, QStringLiteral("a file's data cannot be read"));
                return false;
            }
            if (out.write(buffer.constData(), wanted) != wanted) {
                out.cancelWriting();
                *error = QStringLiteral("Cannot write '%1': %2").arg(destination, out.errorString());
                return false;
            }
            left -= wanted;
            block += lsn_t(blocks);
        }
    }
    if (!out.commit()) {
        *error = QStringLiteral("Cannot write '%1': %2").arg(destination, out.errorString());
        return false;
    }
    // The copy keeps the time the image gives the file, as a copy from the mounted disc would.
    const timespec times[2] = {{0, UTIME_OMIT}, {time_t(entry.mtime), 0}};
    ::utimensat(AT_FDCWD, QFile::encodeName(destination).constData(), times, 0);
    return true;
}
