#include "Checksum.h"

#include "util/AmbryError.h"
#include "util/PosixFile.h"

#include <QFile>

#include <immintrin.h>

#include <algorithm>

#include <cerrno>
#include <csetjmp>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <memory>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr qsizetype BlockSize = 65536;

// Sum of terms over consecutive bytes whose multipliers are first, first + 1, ... (mod 2^32).
// Each term is the low 32 bits of multiplier * byte read as signed. The vector versions keep
// two 32-bit sums per lane: the terms themselves, wrapping, and their high parts (term >> 16,
// exact). Every term is 65,536 * high + low with 0 <= low < 65,536, so over fewer than 65,536
// terms the sum of the lows is below 2^32 and follows exactly from the two: wrapped sum minus
// 65,536 * sum of highs, taken modulo 2^32. The lanes are folded into the 64-bit total every
// RoundsPerFlush terms, well before either sum could lose information.
constexpr qsizetype RoundsPerFlush = 16384; // terms per lane

uint64_t scalarSum(const uint8_t *data, qsizetype count, uint32_t first)
{
    uint64_t total = 0;
    for (qsizetype i = 0; i < count; ++i)
        total += uint64_t(int64_t(int32_t(uint32_t(first + uint32_t(i)) * data[i])));
    return total;
}

template <typename Vec, qsizetype Lanes> uint64_t foldLanes(const Vec &wrapped, const Vec &high)
{
    alignas(64) uint32_t sum[Lanes];
    alignas(64) int32_t hi[Lanes];
    std::memcpy(sum, &wrapped, sizeof sum);
    std::memcpy(hi, &high, sizeof hi);
    uint64_t total = 0;
    for (qsizetype l = 0; l < Lanes; ++l) {
        const uint32_t lows = sum[l] - uint32_t(hi[l]) * 65536u;
        total += uint64_t(int64_t(hi[l]) * 65536) + lows;
    }
    return total;
}

// GCC 12 warns about the undefined upper half that its own widening intrinsics start from.
#pragma GCC diagnostic push
#if !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
__attribute__((target("avx512f,avx512bw"))) uint64_t avx512Sum(const uint8_t *data, qsizetype count,
                                                               uint32_t first)
{
    constexpr qsizetype Lanes = 16;
    uint64_t total = 0;
    qsizetype i = 0;
    const __m512i laneIndex = _mm512_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15);
    const __m512i step = _mm512_set1_epi32(Lanes * 2);
    while (count - i >= 2 * Lanes) {
        __m512i multA = _mm512_add_epi32(laneIndex, _mm512_set1_epi32(int(first + uint32_t(i))));
        __m512i multB = _mm512_add_epi32(multA, _mm512_set1_epi32(Lanes));
        __m512i wrapped = _mm512_setzero_si512();
        __m512i high = _mm512_setzero_si512();
        const qsizetype rounds = std::min((count - i) / (2 * Lanes), RoundsPerFlush / 2);
        for (qsizetype r = 0; r < rounds; ++r, i += 2 * Lanes) {
            const __m512i a =
                _mm512_cvtepu8_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i *>(data + i)));
            const __m512i b =
                _mm512_cvtepu8_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i *>(data + i + Lanes)));
            const __m512i ta = _mm512_mullo_epi32(multA, a);
            const __m512i tb = _mm512_mullo_epi32(multB, b);
            wrapped = _mm512_add_epi32(wrapped, _mm512_add_epi32(ta, tb));
            high = _mm512_add_epi32(high,
                                    _mm512_add_epi32(_mm512_srai_epi32(ta, 16), _mm512_srai_epi32(tb, 16)));
            multA = _mm512_add_epi32(multA, step);
            multB = _mm512_add_epi32(multB, step);
        }
        total += foldLanes<__m512i, Lanes>(wrapped, high);
    }
    return total + scalarSum(data + i, count - i, first + uint32_t(i));
}

__attribute__((target("avx2"))) uint64_t avx2Sum(const uint8_t *data, qsizetype count, uint32_t first)
{
    constexpr qsizetype Lanes = 8;
    uint64_t total = 0;
    qsizetype i = 0;
    const __m256i laneIndex = _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7);
    const __m256i step = _mm256_set1_epi32(Lanes * 2);
    while (count - i >= 2 * Lanes) {
        __m256i multA = _mm256_add_epi32(laneIndex, _mm256_set1_epi32(int(first + uint32_t(i))));
        __m256i multB = _mm256_add_epi32(multA, _mm256_set1_epi32(Lanes));
        __m256i wrapped = _mm256_setzero_si256();
        __m256i high = _mm256_setzero_si256();
        const qsizetype rounds = std::min((count - i) / (2 * Lanes), RoundsPerFlush / 2);
        for (qsizetype r = 0; r < rounds; ++r, i += 2 * Lanes) {
            const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i *>(data + i));
            const __m256i a = _mm256_cvtepu8_epi32(bytes);
            const __m256i b = _mm256_cvtepu8_epi32(_mm_unpackhi_epi64(bytes, bytes));
            const __m256i ta = _mm256_mullo_epi32(multA, a);
            const __m256i tb = _mm256_mullo_epi32(multB, b);
            wrapped = _mm256_add_epi32(wrapped, _mm256_add_epi32(ta, tb));
            high = _mm256_add_epi32(high,
                                    _mm256_add_epi32(_mm256_srai_epi32(ta, 16), _mm256_srai_epi32(tb, 16)));
            multA = _mm256_add_epi32(multA, step);
            multB = _mm256_add_epi32(multB, step);
        }
        total += foldLanes<__m256i, Lanes>(wrapped, high);
    }
    return total + scalarSum(data + i, count - i, first + uint32_t(i));
}

#pragma GCC diagnostic pop

using SumFunction = uint64_t (*)(const uint8_t *, qsizetype, uint32_t);

struct Kernel
{
    const char *name;
    SumFunction sum;
    bool available;
};

const std::vector<Kernel> &kernels()
{
    static const std::vector<Kernel> all = [] {
        __builtin_cpu_init();
        return std::vector<Kernel>{
            {"avx512", avx512Sum, __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw")},
            {"avx2", avx2Sum, bool(__builtin_cpu_supports("avx2"))},
            {"scalar", scalarSum, true},
        };
    }();
    return all;
}

SumFunction &activeSum()
{
    static SumFunction sum = [] {
        for (const Kernel &k : kernels())
            if (k.available)
                return k.sum;
        return SumFunction(scalarSum);
    }();
    return sum;
}

uint64_t runSum(const uint8_t *data, qsizetype count, uint32_t first)
{
    return activeSum()(data, count, first);
}

// Streams bytes through the block rule. Within a full block the multiplier of a byte is its
// index plus 65,536 plus the bytes before the block, that is its offset in the whole input
// plus 65,536; only the last, short block uses its own length instead.
class SumState
{
public:
    // Whole blocks only.
    void addBlocks(const uint8_t *data, qsizetype count)
    {
        m_sum += runSum(data, count, uint32_t(uint64_t(m_consumed + BlockSize)));
        m_consumed += count;
    }
    // The final short block (count < 65,536).
    void addLast(const uint8_t *data, qsizetype count)
    {
        m_sum += runSum(data, count, uint32_t(uint64_t(m_consumed + count)));
        m_consumed += count;
    }
    // Plain addition of the terms wraps at 64 bits, as the sum must.
    int64_t sum() const { return int64_t(uint64_t(m_sum) - 1); }

private:
    int64_t m_consumed = 0;
    uint64_t m_sum = 0;
};

// Large reads keep the system-call count low; a chunk that stays in the processor's cache
// makes the second pass over it cheap. For files below MapThreshold.
int64_t readSum(int fd, const QString &path)
{
    ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
    constexpr qsizetype ChunkSize = 4 * BlockSize;
    std::unique_ptr<uint8_t[]> buffer(new uint8_t[ChunkSize]);
    SumState state;
    for (;;) {
        const ssize_t got = readFull(fd, buffer.get(), size_t(ChunkSize));
        if (got < 0)
            throw AmbryError(QStringLiteral("Cannot read file \"%1\". %2").arg(path, errnoText(errno)));
        const qsizetype filled = qsizetype(got);
        const qsizetype whole = filled / BlockSize * BlockSize;
        state.addBlocks(buffer.get(), whole);
        if (filled < ChunkSize) {
            state.addLast(buffer.get() + whole, filled - whole);
            return state.sum();
        }
    }
}

constexpr qint64 MapThreshold = 1 << 20;

} // namespace

int64_t checksumSum(QByteArrayView bytes)
{
    SumState state;
    const auto *data = reinterpret_cast<const uint8_t *>(bytes.data());
    const qsizetype whole = bytes.size() / BlockSize * BlockSize;
    state.addBlocks(data, whole);
    state.addLast(data + whole, bytes.size() - whole);
    return state.sum();
}

namespace {

std::function<void()> g_afterMapping;

thread_local sigjmp_buf *t_busJump = nullptr;

void onBusError(int, siginfo_t *, void *)
{
    if (t_busJump)
        siglongjmp(*t_busJump, 1);
}

// Sums a file through a read-only mapping: no copy out of the page cache, which on this kind
// of machine costs as much as the sum itself. A file shortened by someone else meanwhile
// makes the mapping fault (SIGBUS); that fault is caught and reported as a read error.
int64_t mappedSum(int fd, qint64 size, const QString &path)
{
    void *map = ::mmap(nullptr, size_t(size), PROT_READ, MAP_SHARED, fd, 0);
    if (map == MAP_FAILED)
        return readSum(fd, path);
    ::madvise(map, size_t(size), MADV_SEQUENTIAL);
    if (g_afterMapping)
        g_afterMapping();

    struct sigaction guard = {}, previous = {};
    guard.sa_sigaction = onBusError;
    guard.sa_flags = SA_SIGINFO;
    sigemptyset(&guard.sa_mask);
    ::sigaction(SIGBUS, &guard, &previous);
    sigjmp_buf jump;
    volatile int64_t sum = 0;
    volatile bool faulted = false;
    if (sigsetjmp(jump, 1) == 0) {
        t_busJump = &jump;
        sum = checksumSum(QByteArrayView(static_cast<const char *>(map), qsizetype(size)));
    } else {
        faulted = true;
    }
    t_busJump = nullptr;
    ::sigaction(SIGBUS, &previous, nullptr);
    ::munmap(map, size_t(size));
    if (faulted)
        throw AmbryError(QStringLiteral("Cannot read file \"%1\". %2")
                             .arg(path, QStringLiteral("The file was shortened while it was read.")));
    return sum;
}

} // namespace

int64_t fileChecksumSum(const QString &path)
{
    // Read-only: a checksum never needs write access, and a read-only file must still work.
    const QByteArray name = QFile::encodeName(path);
    // Opened without waiting: a FIFO in place of the file would otherwise block for ever.
    const UniqueFd file(openRetrying(name.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (!file.isValid())
        throw AmbryError(QStringLiteral("Cannot open file \"%1\". %2").arg(path, errnoText(errno)));
    struct stat st;
    if (::fstat(file.get(), &st) != 0)
        throw AmbryError(QStringLiteral("Cannot open file \"%1\". %2").arg(path, errnoText(errno)));
    // An archive is a file; a pipe, device or folder has no checksum that names one.
    if (!S_ISREG(st.st_mode))
        throw AmbryError(QStringLiteral("Cannot open file \"%1\". It is not a regular file.").arg(path));
    if (st.st_size >= MapThreshold)
        return mappedSum(file.get(), st.st_size, path);
    return readSum(file.get(), path);
}

void setAfterChecksumMappingForTesting(std::function<void()> hook)
{
    g_afterMapping = std::move(hook);
}

QString checksumText(int64_t sum)
{
    if (sum == -1)
        return QStringLiteral("uncalcable");
    return QString::number(sum);
}

QString CalcFileChecksum(const QString &path)
{
    return checksumText(fileChecksumSum(path));
}

QString checksumOfBytes(QByteArrayView bytes)
{
    return checksumText(checksumSum(bytes));
}

QStringList checksumKernels()
{
    QStringList names;
    for (const Kernel &k : kernels())
        if (k.available)
            names << QString::fromLatin1(k.name);
    return names;
}

bool useChecksumKernel(const QString &name)
{
    for (const Kernel &k : kernels())
        if (k.available && name == QLatin1String(k.name)) {
            activeSum() = k.sum;
            return true;
        }
    return false;
}
