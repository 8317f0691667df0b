#include <gtest/gtest.h>

#include "drives/MountTable.h"

namespace {

struct DecodeCase
{
    const char *raw;
    const char *decoded;
};

TEST(MountTable, DecodesKernelEscapes)
{
    const DecodeCase cases[] = {
        {"/media/ann/My\\040Disc\\040#2", "/media/ann/My Disc #2"},
        {"tab\\011here", "tab\there"},
        {"new\\012line", "new\nline"},
        {"back\\134slash", "back\\slash"},
        {"plain", "plain"},
        {"", ""},
        {"end\\", "end\\"},         // a lone backslash at the end stays
        {"short\\04", "short\\04"}, // fewer than three digits: not an escape
        {"notoctal\\089", "notoctal\\089"},
        {"toolarge\\477", "toolarge\\477"},             // above \377 cannot be a byte
        {"\\303\\251t\\303\\251", "\xc3\xa9t\xc3\xa9"}, // UTF-8 bytes written as escapes
    };
    for (const DecodeCase &c : cases)
        EXPECT_EQ(decodeMountField(QByteArray(c.raw)), QString::fromUtf8(c.decoded)) << c.raw;
}

TEST(MountTable, ParsesLinesWithAndWithoutOptionalFields)
{
    const QByteArray text =
        "22 1 254:1 / / rw,relatime shared:1 - ext4 /dev/vda1 rw,errors=remount-ro\n"
        "45 27 11:0 / /media/ann/My\\040Disc\\040#2 ro,nosuid,nodev,relatime shared:210 master:3 - iso9660 "
        "/dev/sr0 ro,nojoliet\n"
        "46 27 0:45 / /proc rw,nosuid - proc proc rw\n"
        "47 27 7:1 / /mnt/img rw,relatime - udf /dev/loop1 rw\n";
    const QList<MountEntry> got = parseMountInfo(text);
    ASSERT_EQ(got.size(), 4);
    EXPECT_EQ(got[0].mountPoint, QStringLiteral("/"));
    EXPECT_EQ(got[0].fsType, QStringLiteral("ext4"));
    EXPECT_EQ(got[0].source, QStringLiteral("/dev/vda1"));
    EXPECT_EQ(got[1].mountPoint, QStringLiteral("/media/ann/My Disc #2"));
    EXPECT_EQ(got[1].fsType, QStringLiteral("iso9660"));
    EXPECT_EQ(got[1].source, QStringLiteral("/dev/sr0"));
    EXPECT_EQ(got[2].source, QStringLiteral("proc"));
    EXPECT_EQ(got[3].mountPoint, QStringLiteral("/mnt/img"));
    EXPECT_EQ(got[3].fsType, QStringLiteral("udf"));
}

TEST(MountTable, SkipsMalformedLines)
{
    const QByteArray text = "\n"
                            "garbage\n"
                            "1 2 3 4 5 6 7 8 9 10 11\n" // ten fields but no separator
                            "30 1 0:1 / /x rw - \n"     // separator without type and source
                            "31 1 0:1 / /ok rw - tmpfs tmpfs rw\n"
                            "32 1 0:1 / /last rw - tmpfs tmpfs rw"; // no final line end
    const QList<MountEntry> got = parseMountInfo(text);
    ASSERT_EQ(got.size(), 2);
    EXPECT_EQ(got[0].mountPoint, QStringLiteral("/ok"));
    EXPECT_EQ(got[1].mountPoint, QStringLiteral("/last"));
}

TEST(MountTable, ReadsTheRunningSystemsTable)
{
    // Every Linux process sees at least its root mount.
    const QList<MountEntry> got = readMountTable();
    ASSERT_FALSE(got.isEmpty());
    bool root = false;
    for (const MountEntry &m : got)
        root = root || m.mountPoint == QStringLiteral("/");
    EXPECT_TRUE(root);
}

} // namespace
