#include "platform/Encoding.h"

#include <gtest/gtest.h>
#include <iconv.h>

using namespace platform;

namespace {
std::string IconvConvert(const char* to, const char* from, const std::string& in) {
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1)) {
        return "<iconv unavailable>";
    }
    std::string out(in.size() * 4 + 4, '\0');
    char* src = const_cast<char*>(in.data());
    size_t srcLeft = in.size();
    char* dst = out.data();
    size_t dstLeft = out.size();
    size_t r = iconv(cd, &src, &srcLeft, &dst, &dstLeft);
    iconv_close(cd);
    if (r == static_cast<size_t>(-1)) {
        return "<iconv failed>";
    }
    out.resize(out.size() - dstLeft);
    return out;
}
} // namespace

TEST(Encoding, EveryWindows1251ByteMatchesIconv) {
    for (int b = 1; b < 256; ++b) {
        if (b == 0x98) {
            continue; // unassigned in the code page
        }
        std::string one(1, static_cast<char>(b));
        std::string ours = Cp1251ToUtf8(one);
        EXPECT_EQ(ours, IconvConvert("UTF-8", "CP1251", one)) << "byte " << b;
        bool lossless = false;
        EXPECT_EQ(Utf8ToCp1251(ours, &lossless), one) << "byte " << b;
        EXPECT_TRUE(lossless);
    }
}

TEST(Encoding, UnrepresentableCharactersBecomeQuestionMarks) {
    bool lossless = true;
    EXPECT_EQ(Utf8ToCp1251("Факс \xE2\x82\xAC \xE4\xB8\xAD!", &lossless),
              Utf8ToCp1251("Факс ") + "\x88 ?!");
    EXPECT_FALSE(lossless);
    // Broken UTF-8 is not a crash either.
    EXPECT_EQ(Utf8ToCp1251("a\xC3"), "a?");
    EXPECT_EQ(Utf8ToCp1251("\xED\xA0\x80"), "???"); // encoded surrogate
}

TEST(Encoding, UserTextIsUtf8OnlyWhenValidAndNonAscii) {
    const std::string utf8 = "Мои Контакты";
    EXPECT_EQ(DecodeUserText(utf8), utf8);
    EXPECT_EQ(DecodeUserText(Utf8ToCp1251(utf8)), utf8);
    EXPECT_EQ(DecodeUserText("plain ascii"), "plain ascii");
    EXPECT_TRUE(IsValidUtf8("\xF0\x9F\x98\x80"));
    EXPECT_FALSE(IsValidUtf8("\xC0\xAF"));         // overlong
    EXPECT_FALSE(IsValidUtf8("\xF4\x90\x80\x80")); // above U+10FFFF
}

TEST(Encoding, Utf16RoundTripIncludingSurrogatePairs) {
    const std::string text = "Факс \xF0\x9F\x98\x80 ok";
    std::u16string u = Utf8ToUtf16(text);
    EXPECT_EQ(u.size(), 10u);
    EXPECT_EQ(Utf16ToUtf8(u), text);
    EXPECT_EQ(Utf16ToUtf8(std::u16string(1, char16_t(0xD800))), "\xEF\xBF\xBD");
}

TEST(Encoding, LowerCasingTouchesAsciiOnly) {
    EXPECT_EQ(AsciiLower("ABC.Tif Факс"), "abc.tif Факс");
    EXPECT_TRUE(EqualsNoCase("Doc.FAX", "doc.fax"));
    EXPECT_FALSE(EqualsNoCase("Факс", "ФАКС"));
}
