#include "base/TextCodec.h"

#include <gtest/gtest.h>

namespace {

TEST(TextCodec, StoresLatinTextAsSingleBytesAndOtherTextAsUtf8)
{
    // "§" is the field separator of every stored line and must stay the byte 0xA7.
    EXPECT_EQ(TextCodec::encodeStored(QStringLiteral("a\u00A7b")), QByteArray("a\xA7"
                                                                              "b"));
    EXPECT_EQ(TextCodec::encodeStored(QStringLiteral("\u20AC")), QByteArray("\x80"));
    const QString cyrillic = QStringLiteral("/home/\u0438\u0432\u0430\u043D/\u00A7");
    EXPECT_EQ(TextCodec::encodeStored(cyrillic), cyrillic.toUtf8());
}

TEST(TextCodec, ReadsBackBothForms)
{
    const QString samples[] = {QStringLiteral("plain ascii"), QStringLiteral("caf\u00E9 \u00A7 \u20AC \u2122"),
                               QStringLiteral("\u65E5\u672C\u8A9E \u00A7 name"), QString()};
    for (const QString &s : samples)
        EXPECT_EQ(TextCodec::decodeStored(TextCodec::encodeStored(s)), s) << s.toStdString();
    // Bytes that are not valid UTF-8 are Windows-1252, including the unassigned 0x81.
    EXPECT_EQ(TextCodec::decodeStored(QByteArray("\xE9t\xE9\x81")), QStringLiteral("\u00E9t\u00E9\u0081"));
    // A truncated UTF-8 sequence is not UTF-8.
    EXPECT_EQ(TextCodec::decodeStored(QByteArray("\xC3")), QStringLiteral("\u00C3"));
}

TEST(Base64, EncodesStandardAlphabetAndDecodesLeniently)
{
    EXPECT_EQ(Base64::encode("key\xA7value"), QByteArray("a2V5p3ZhbHVl"));
    EXPECT_EQ(Base64::encode("ab"), QByteArray("YWI="));
    EXPECT_EQ(Base64::encode("a"), QByteArray("YQ=="));
    struct Row {
        const char *text;
        QByteArray bytes;
    };
    const Row rows[] = {
        {"YWJj", "abc"},      {"YWI=", "ab"}, {"YWI", "ab"},
        {"YQ", "a"},          {"Y", ""},      {"Y W\tJ!j", "abc"},
        {"=Y=W=J=j=", "abc"}, {"", ""},       {"+/+/", "\xfb\xff\xbf"},
    };
    for (const Row &r : rows)
        EXPECT_EQ(Base64::decodeLenient(r.text), r.bytes) << r.text;
}

} // namespace
