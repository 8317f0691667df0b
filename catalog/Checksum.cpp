#include "Checksum.h"

#include "AmbryError.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr qsizetype BlockSize = 65536;

// Sum of terms over consecutive bytes whose multipliers are first, first + 1, ... (mod 2^32).
// Each term is the low 32 bits of multiplier * byte read as signed; the terms are split into
// an unsigned low 16-bit half and a signed high half, so that 16 lanes of 32-bit counters can
// add up to 65,536 rounds before any of them could overflow.
typedef uint32_t U32x16 __attribute__((vector_size(64)));
typedef int32_t I32x16 __attribute__((vector_size(64)));
typedef uint8_t U8x16 __attribute__((vector_size(16)));

constexpr qsizetype Lanes = 16;
constexpr qsizetype RoundsPerFlush = 32768;

__attribute__((target_clones("arch=x86-64-v4", "arch=x86-64-v3", "default"))) uint64_t
runSum(const uint8_t *data, qsizetype count, uint32_t first)
{
    uint64_t total = 0;
    qsizetype i = 0;
    const U32x16 laneIndex = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15};
    while (count - i >= Lanes) {
        U32x16 mult = laneIndex + uint32_t(first + uint32_t(i));
        U32x16 low = {};
        U32x16 high = {};
        qsizetype rounds = (count - i) / Lanes;
        if (rounds > RoundsPerFlush)
            rounds = RoundsPerFlush;
        for (qsizetype r = 0; r < rounds; ++r, i += Lanes) {
            U8x16 b;
            std::memcpy(&b, data + i, sizeof b);
            const U32x16 term = mult * __builtin_convertvector(b, U32x16);
            low += term & 0xFFFFu;
            high += U32x16(I32x16(term) >> 16);
            mult += uint32_t(Lanes);
        }
        uint64_t lowSum = 0;
        int64_t highSum = 0;
        for (qsizetype l = 0; l < Lanes; ++l) {
            lowSum += low[l];
            highSum += int32_t(high[l]);
        }
        total += uint64_t(highSum * 65536 + int64_t(lowSum));
    }
    for (; i < count; ++i)
        total += uint64_t(int64_t(int32_t(uint32_t(first + uint32_t(i)) * data[i])));
    return total;
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

QString errnoText(int err)
{
    return QString::fromLocal8Bit(std::strerror(err));
}

struct FdCloser
{
    int fd;
    ~FdCloser()
    {
        if (fd >= 0)
            ::close(fd);
    }
};

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

int64_t fileChecksumSum(const QString &path)
{
    // Read-only: a checksum never needs write access, and a read-only file must still work.
    const QByteArray name = QFile::encodeName(path);
    FdCloser file{::open(name.constData(), O_RDONLY | O_CLOEXEC)};
    if (file.fd < 0)
        throw AmbryError(QStringLiteral("Cannot open file \"%1\". %2").arg(path, errnoText(errno)));
    ::posix_fadvise(file.fd, 0, 0, POSIX_FADV_SEQUENTIAL);

    // Large reads keep the system-call count low; a chunk that stays in the processor's
    // cache makes the second pass over it almost free.
    constexpr qsizetype ChunkSize = 4 * BlockSize;
    std::unique_ptr<uint8_t[]> buffer(new uint8_t[ChunkSize]);
    SumState state;
    for (;;) {
        qsizetype filled = 0;
        while (filled < ChunkSize) {
            const ssize_t got = ::read(file.fd, buffer.get() + filled, size_t(ChunkSize - filled));
            if (got < 0) {
                if (errno == EINTR)
                    continue;
                throw AmbryError(QStringLiteral("Cannot read file \"%1\". %2").arg(path, errnoText(errno)));
            }
            if (got == 0)
                break;
            filled += got;
        }
        const qsizetype whole = filled / BlockSize * BlockSize;
        state.addBlocks(buffer.get(), whole);
        if (filled < ChunkSize) {
            state.addLast(buffer.get() + whole, filled - whole);
            break;
        }
    }
    return state.sum();
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
