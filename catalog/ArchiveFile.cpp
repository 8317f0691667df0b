#include "ArchiveFile.h"

#include "util/PosixFile.h"

#include <QFile>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <new>
#include <vector>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int kTooLarge = -1;

QString reasonText(int err)
{
    if (err == kTooLarge)
        return QStringLiteral("The file is too large for an archive.");
    if (err == EINVAL)
        return QStringLiteral("Not a regular file.");
    return errnoText(err);
}

struct SpentMapping
{
    char *at;
    size_t length; // whole pages
};

// The spent mappings while a BatchedUnmaps lives.
struct UnmapBatch
{
    std::mutex mutex;
    int users = 0;
    size_t limit = 0;
    size_t held = 0;
    std::vector<SpentMapping> spent;

    static UnmapBatch &instance()
    {
        static UnmapBatch batch;
        return batch;
    }
    static void unmapAll(std::vector<SpentMapping> spent)
    {
        std::sort(spent.begin(), spent.end(),
                  [](const SpentMapping &a, const SpentMapping &b) { return a.at < b.at; });
        for (size_t i = 0; i < spent.size();) {
            char *const at = spent[i].at;
            char *end = at + spent[i].length;
            for (++i; i < spent.size() && spent[i].at == end; ++i)
                end += spent[i].length;
            ::munmap(at, size_t(end - at));
        }
    }
    // False when no batch is open: the caller unmaps at once.
    bool take(void *at, size_t length)
    {
        static const size_t page = size_t(::sysconf(_SC_PAGESIZE));
        std::vector<SpentMapping> full;
        {
            std::lock_guard lock(mutex);
            if (users == 0)
                return false;
            const size_t pages = (length + page - 1) / page * page;
            try {
                spent.push_back(SpentMapping{static_cast<char *>(at), pages});
            } catch (const std::bad_alloc &) {
                return false; // called from destructors: unmapped at once instead
            }
            held += pages;
            if (held < limit)
                return true;
            full.swap(spent);
            held = 0;
        }
        unmapAll(std::move(full));
        return true;
    }
};

} // namespace

BatchedUnmaps::BatchedUnmaps(size_t bytes)
{
    UnmapBatch &b = UnmapBatch::instance();
    std::lock_guard lock(b.mutex);
    ++b.users;
    b.limit = std::max(b.limit, bytes);
}

BatchedUnmaps::~BatchedUnmaps()
{
    UnmapBatch &b = UnmapBatch::instance();
    std::vector<SpentMapping> rest;
    {
        std::lock_guard lock(b.mutex);
        if (--b.users > 0)
            return;
        rest.swap(b.spent);
        b.held = 0;
        b.limit = 0;
    }
    UnmapBatch::unmapAll(std::move(rest));
}

ArchiveFile::ArchiveFile(const QString &path)
{
    const QByteArray name = QFile::encodeName(path);
    // Non-blocking so that a pipe put in place of an archive cannot hang the reader.
    m_fd = openRetrying(name.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (m_fd < 0) {
        m_error = errno;
        return;
    }
    struct stat st;
    if (::fstat(m_fd, &st) != 0)
        m_error = errno;
    else if (S_ISDIR(st.st_mode))
        m_error = EISDIR;
    else if (!S_ISREG(st.st_mode))
        m_error = EINVAL;
    else
        m_size = st.st_size;
}

ArchiveFile::~ArchiveFile()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

QString ArchiveFile::errorText() const
{
    return m_error ? reasonText(m_error) : QString();
}

bool ArchiveFile::read(qint64 offset, qint64 length, QByteArray *out)
{
    out->resize(qsizetype(length));
    const ssize_t got = preadFull(m_fd, out->data(), size_t(length), off_t(offset));
    if (got < 0) {
        m_error = errno;
        out->clear();
        return false;
    }
    out->truncate(qsizetype(got));
    return true;
}

bool ArchiveFile::readAll(QByteArray *out)
{
    if (m_size > kLargestArchive) {
        m_error = kTooLarge;
        return false;
    }
    if (!read(0, m_size, out))
        return false;
    QByteArray more;
    for (;;) {
        if (!read(out->size(), 1 << 16, &more))
            return false;
        if (more.isEmpty())
            break;
        *out += more;
        if (out->size() > kLargestArchive) {
            m_error = kTooLarge;
            return false;
        }
    }
    return true;
}

void ArchiveBuffer::reserve(size_t n)
{
    if (n <= m_capacity)
        return;
    const size_t cap = std::max(n, m_capacity + m_capacity / 2);
    // Uninitialised on purpose: every byte used is read from the file first.
    m_data.reset(new char[cap]);
    m_capacity = cap;
}

ArchiveBuffer::~ArchiveBuffer()
{
    unmap();
}

void ArchiveBuffer::unmap()
{
    if (m_map && !UnmapBatch::instance().take(m_map, m_mapSize))
        ::munmap(m_map, m_mapSize);
    m_map = nullptr;
    m_mapSize = 0;
}

void ArchiveBuffer::setBytes(QByteArrayView bytes)
{
    unmap();
    reserve(size_t(bytes.size()) + 1);
    m_view = m_data.get();
    if (!bytes.isEmpty())
        std::memcpy(m_data.get(), bytes.data(), size_t(bytes.size()));
    m_size = size_t(bytes.size());
}

bool ArchiveBuffer::load(const QString &path, QString *error, int *errOut)
{
    unmap();
    m_size = 0;
    m_view = m_data.get();
    const auto fail = [&](int err) {
        *error = reasonText(err);
        if (errOut)
            *errOut = err == kTooLarge ? 0 : err;
        m_size = 0;
        return false;
    };
    const ArchiveFile file(path);
    if (file.error())
        return fail(file.error());
    const size_t expected = size_t(file.size());
    if (file.size() > kLargestArchive)
        return fail(kTooLarge);
    // Large files are mapped, which spares copying them; small ones read. The pages are mapped
    // as the scan meets them (the kernel maps a run of cached pages per fault), which costs less
    // than mapping them all up front: the scan touches each page once anyway.
    if (expected >= (size_t(1) << 16)) {
        void *map = ::mmap(nullptr, expected, PROT_READ, MAP_PRIVATE, file.descriptor(), 0);
        if (map != MAP_FAILED) {
            m_map = map;
            m_mapSize = expected;
            m_view = static_cast<const char *>(map);
            m_size = expected;
            return true;
        }
    }
    reserve(expected + 1);
    m_view = m_data.get();
    size_t got = 0;
    for (;;) {
        if (got == m_capacity) {
            // The file grew while being read: keep what was read.
            std::unique_ptr<char[]> bigger(new char[m_capacity * 2]);
            std::memcpy(bigger.get(), m_data.get(), got);
            m_data = std::move(bigger);
            m_capacity *= 2;
            m_view = m_data.get();
        }
        const ssize_t n = readFull(file.descriptor(), m_data.get() + got, m_capacity - got);
        if (n < 0)
            return fail(errno);
        got += size_t(n);
        if (got > size_t(kLargestArchive))
            return fail(kTooLarge);
        if (got < m_capacity)
            break;
    }
    m_size = got;
    return true;
}
