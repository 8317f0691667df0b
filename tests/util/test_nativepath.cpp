#include "util/NativePath.h"

#include <gtest/gtest.h>

TEST(NativePath, EveryNameComesBackByteForByte)
{
    const struct
    {
        QByteArray bytes;
        QString text; // as shown; raw bytes as U+DC80..U+DCFF
        bool raw;
    } cases[] = {
        {"plain/name.txt", QStringLiteral("plain/name.txt"), false},
        {"caf\xc3\xa9", QStringLiteral("caf\u00e9"), false},
        {"\xf0\x90\x82\x80", QString::fromUtf8("\xf0\x90\x82\x80"),
         false}, // U+10080: its low half is no byte
        {"dir-\xe9", QStringLiteral("dir-") + QChar(0xDCE9), true},
        {"\xff\xfe", QString(QChar(0xDCFF)) + QChar(0xDCFE), true},
        {"\xc3", QString(QChar(0xDCC3)), true},                                         // cut short
        {"\xc0\xaf", QString(QChar(0xDCC0)) + QChar(0xDCAF), true},                     // overlong "/"
        {"\xed\xa0\x80", QString(QChar(0xDCED)) + QChar(0xDCA0) + QChar(0xDC80), true}, // a surrogate
        {"a\xe9\xc3\xa9z", QStringLiteral("a") + QChar(0xDCE9) + QStringLiteral("\u00e9z"), true},
        {"", QString(), false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.bytes.toHex().toStdString());
        const QString text = pathFromNative(c.bytes);
        EXPECT_EQ(text, c.text);
        EXPECT_EQ(holdsRawBytes(text), c.raw);
        EXPECT_EQ(nativePath(text), c.bytes);
    }
}
