#include <gtest/gtest.h>

#include "framework/CodePage.h"
#include "framework/Exception.h"

TEST(CodePage, GbkAndUtf8)
{
    // Literals are compiled to GBK; the UTF-8 side is spelled in bytes.
    EXPECT_EQ("\xE6\x9D\xB1\xE6\x96\xB9", GbkToUtf8("東方"));
    EXPECT_EQ("東方", Utf8ToGbk("\xE6\x9D\xB1\xE6\x96\xB9"));
    EXPECT_EQ("plain", Utf8ToGbk("plain"));
    EXPECT_EQ(std::string("\x96\x7C", 2), Utf8ToGbk("\xE6\x9D\xB1"));
    // A character GBK lacks becomes '?'; malformed UTF-8 is an error.
    // Windows replaces each half of the surrogate pair, iconv the whole character.
    const std::string emoji = Utf8ToGbk("a\xF0\x9F\x98\x80" "b");
    EXPECT_TRUE(emoji == "a?b" || emoji == "a??b") << emoji;
    for (const char* bad : {"\xC3", "\xC3(", "\xFF", "\xE6\x9D"})
        EXPECT_THROW(Utf8ToGbk(bad), EConvertError) << bad;
}

#ifdef _WIN32
TEST(CodePage, GbkAndWide)
{
    EXPECT_EQ(L"\x6771\x65B9", GbkToWide("東方"));
    EXPECT_EQ("東方", WideToGbk(L"\x6771\x65B9"));
    EXPECT_EQ("", WideToGbk(L""));
}
#endif
