#include <gtest/gtest.h>

#include "platform/text_codec.h"

namespace {

using platform::cp932ToUtf32;
using platform::cp932ToUtf8;
using platform::utf8ToCp932;

TEST(Cp932Text, KanjiAndKanaRoundTrip) {
    const std::string sjis = "\x83\x65\x83\x58\x83\x67\x8a\xbf\x8e\x9a";  // テスト漢字
    EXPECT_EQ(cp932ToUtf8(sjis), "テスト漢字");
    EXPECT_EQ(utf8ToCp932("テスト漢字"), sjis);
    EXPECT_EQ(cp932ToUtf8("Squirrel\x83\x54\x83\x93\x83\x76\x83\x8b"), "Squirrelサンプル");
}

TEST(Cp932Text, HalfWidthKatakanaRoundTrip) {
    const std::string sjis = "\xb1\xb2\xb3\xdf";  // ｱｲｳﾟ
    EXPECT_EQ(cp932ToUtf32(sjis), U"\uFF71\uFF72\uFF73\uFF9F");
    EXPECT_EQ(utf8ToCp932(cp932ToUtf8(sjis)), sjis);
}

TEST(Cp932Text, CodePage932MappingsWhereShiftJisDiffers) {
    // The wave dash and its neighbours decode to the full-width forms.
    EXPECT_EQ(cp932ToUtf32("\x81\x60"), U"\uFF5E");
    EXPECT_EQ(cp932ToUtf32("\x81\x7c"), U"\uFF0D");
    // The Shift-JIS reading U+301C encodes to the same bytes.
    EXPECT_EQ(utf8ToCp932("\u301C"), "\x81\x60");
    // Backslash and tilde stay ASCII (paths are full of them).
    EXPECT_EQ(cp932ToUtf8("a\\b~"), "a\\b~");
    // Vendor extensions decode; duplicates re-encode to one form.
    EXPECT_EQ(cp932ToUtf32("\x87\x40"), U"\u2460");
    EXPECT_EQ(utf8ToCp932(cp932ToUtf8("\xed\x40")), "\xfa\x5c");
}

TEST(Cp932Text, BadBytesBecomeReplacementsWithoutLosingTheRest) {
    EXPECT_EQ(cp932ToUtf32("a\x80z"), U"a\uFFFDz");
    EXPECT_EQ(cp932ToUtf32("\xfd\xfe\xff"), U"\uFFFD\uFFFD\uFFFD");
    // A lead byte at the end of the text has no trail byte.
    EXPECT_EQ(cp932ToUtf32("ok\x82"), U"ok\uFFFD");
    // Characters outside the code page encode as '?'.
    EXPECT_EQ(utf8ToCp932("x\U0001F600y"), "x?y");
    // Malformed UTF-8 does not stop the conversion.
    EXPECT_EQ(utf8ToCp932("a\xc3(b"), "a?(b");
}

TEST(Cp932Text, DisplayTextAcceptsEitherEncoding) {
    EXPECT_TRUE(platform::isUtf8("plain"));
    EXPECT_TRUE(platform::isUtf8("多重起動エラー"));
    EXPECT_FALSE(platform::isUtf8("\x91\xbd\x8f\x64"));  // 多重 in code page 932
    EXPECT_FALSE(platform::isUtf8("\xc0\x80"));          // overlong
    EXPECT_EQ(platform::displayText("\x91\xbd\x8f\x64"), "多重");
    EXPECT_EQ(platform::displayText("多重"), "多重");
}

}  // namespace
