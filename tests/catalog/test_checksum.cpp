#include <gtest/gtest.h>

#include "TestSupport.h"
#include "catalog/Checksum.h"
#include "util/AmbryError.h"

#include <QFile>

#include <cstdint>
#include <random>

namespace {

// The block rule, one byte at a time with 64-bit multipliers: the yardstick for the fast sums.
int64_t referenceSum(const QByteArray &bytes)
{
    uint64_t sum = uint64_t(-1);
    int64_t consumed = 0;
    for (qsizetype start = 0; start < bytes.size(); start += 65536) {
        const qsizetype n = std::min<qsizetype>(65536, bytes.size() - start);
        consumed += n;
        for (qsizetype i = 0; i < n; ++i) {
            const uint64_t product = uint64_t(consumed + i) * uchar(bytes[start + i]);
            sum += uint64_t(int64_t(int32_t(uint32_t(product))));
        }
    }
    return int64_t(sum);
}

QByteArray randomBytes(qsizetype size, uint32_t seed)
{
    std::mt19937 gen(seed);
    QByteArray out(size, Qt::Uninitialized);
    for (char &c : out)
        c = char(gen());
    return out;
}

QString fileWith(const QByteArray &bytes)
{
    static int n = 0;
    const QString path =
        ambrytest::makeTempDir(QStringLiteral("sum")) + QStringLiteral("/f") + QString::number(++n);
    ambrytest::writeFile(path, bytes);
    return path;
}

const QByteArray WorkedRecords = QByteArrayLiteral("\\\r\nreadme.txt\r\n1234\r\n950948495\r\n"
                                                   "Music\r\ntrack01.mp3\r\n4321987\r\n950898757\r\n");

} // namespace

TEST(Checksum, KnownValuesFromMemoryAndFile)
{
    struct Case
    {
        const char *what;
        QByteArray bytes;
        QString expected;
    };
    QByteArray lastByteAlone(65537, '\0');
    lastByteAlone[65536] = 1;
    QByteArray lastOfFullBlock(65536, '\0');
    lastOfFullBlock[65535] = 1;
    const Case cases[] = {
        {"abc", QByteArrayLiteral("abc"), QStringLiteral("1177")},
        {"worked example records", WorkedRecords, QStringLiteral("450495")},
        {"empty", QByteArray(), QStringLiteral("uncalcable")},
        {"all zero", QByteArray(1000, '\0'), QStringLiteral("uncalcable")},
        {"all zero, several blocks", QByteArray(200000, '\0'), QStringLiteral("uncalcable")},
        // Alone in the second block, the last byte counts 65,537 times.
        {"65,537 bytes", lastByteAlone, QStringLiteral("65536")},
        // In a full block the last byte counts 65,536 + 65,535 times.
        {"65,536 bytes", lastOfFullBlock, QStringLiteral("131070")},
        // (3 + 0) * 255 ... the byte 0xFF at index 0 of a 1-byte input: -1 + 1 * 255.
        {"single high byte", QByteArray(1, char(0xFF)), QStringLiteral("254")},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(WorkedRecords.size(), 72);
        EXPECT_EQ(checksumOfBytes(c.bytes), c.expected);
        EXPECT_EQ(CalcFileChecksum(fileWith(c.bytes)), c.expected);
    }
}

TEST(Checksum, FastSumsMatchTheByteRuleOnRandomData)
{
    // Lengths around the lane width, the block size and 2^23, above which (offset * byte)
    // no longer fits in 31 bits and the truncation to signed 32 bits starts to matter.
    const qsizetype lengths[] = {1,
                                 15,
                                 16,
                                 17,
                                 100,
                                 65535,
                                 65536,
                                 65537,
                                 131072,
                                 131073,
                                 262144 + 4095,
                                 (1 << 23) - 1,
                                 (1 << 23) + 12345,
                                 (1 << 24) + 65536 * 3 + 17};
    const QStringList kernels = checksumKernels();
    ASSERT_FALSE(kernels.isEmpty());
    EXPECT_EQ(kernels.back(), QStringLiteral("scalar"));
    uint32_t seed = 7;
    for (const qsizetype length : lengths) {
        SCOPED_TRACE(length);
        const QByteArray bytes = randomBytes(length, ++seed);
        const int64_t expected = referenceSum(bytes);
        const QString path = fileWith(bytes);
        for (const QString &kernel : kernels) {
            SCOPED_TRACE(kernel.toStdString());
            ASSERT_TRUE(useChecksumKernel(kernel));
            EXPECT_EQ(checksumSum(bytes), expected);
            EXPECT_EQ(fileChecksumSum(path), expected);
        }
        useChecksumKernel(kernels.front());
    }
    EXPECT_FALSE(useChecksumKernel(QStringLiteral("no such kernel")));
}

TEST(Checksum, LargeProductsWrapToNegativeTerms)
{
    // Bytes of 0xFF beyond 2^23: the products pass 2^31 and only their low 32 bits count,
    // so the sum differs from the plain sum of the products.
    const QByteArray bytes((1 << 23) + 70000, char(0xFF));
    const int64_t expected = referenceSum(bytes);
    int64_t untruncated = -1;
    for (qsizetype i = 0; i < bytes.size(); ++i)
        untruncated += (i < (1 << 23) ? i + 65536 : i + 70000) * int64_t(255);
    EXPECT_NE(expected, untruncated);
    EXPECT_EQ(checksumSum(bytes), expected);
    EXPECT_EQ(fileChecksumSum(fileWith(bytes)), expected);
}

TEST(Checksum, TextForm)
{
    EXPECT_EQ(checksumText(-1), QStringLiteral("uncalcable"));
    EXPECT_EQ(checksumText(-2), QStringLiteral("-2"));
    EXPECT_EQ(checksumText(INT64_MIN), QStringLiteral("-9223372036854775808"));
    EXPECT_EQ(checksumText(0), QStringLiteral("0"));
}

TEST(Checksum, FileErrorsReachTheCaller)
{
    const QString dir = ambrytest::makeTempDir(QStringLiteral("sumerr"));
    EXPECT_THROW(CalcFileChecksum(dir + QStringLiteral("/missing.dat")), AmbryError);
    EXPECT_THROW(CalcFileChecksum(dir), AmbryError); // a folder cannot be read as bytes
    try {
        CalcFileChecksum(dir + QStringLiteral("/missing.dat"));
    } catch (const AmbryError &e) {
        EXPECT_TRUE(e.message().contains(QStringLiteral("missing.dat"))) << e.what();
    }
}

TEST(Checksum, ReadOnlyFileIsSummed)
{
    const QString path = fileWith(QByteArrayLiteral("abc"));
    ASSERT_TRUE(QFile::setPermissions(path, QFileDevice::ReadOwner));
    EXPECT_EQ(CalcFileChecksum(path), QStringLiteral("1177"));
}

TEST(Checksum, FileShortenedWhileReadIsAnErrorNotACrash)
{
    const QString path = fileWith(randomBytes(8 << 20, 99));
    setAfterChecksumMappingForTesting([&] { ASSERT_TRUE(QFile::resize(path, 4096)); });
    EXPECT_THROW(fileChecksumSum(path), AmbryError);
    setAfterChecksumMappingForTesting({});
    EXPECT_EQ(fileChecksumSum(path), referenceSum(ambrytest::readFile(path)));
}
