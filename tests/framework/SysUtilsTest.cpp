#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "framework/StringList.h"
#include "framework/SysUtils.h"

TEST(SysUtils, IntegerTable)
{
    struct {
        const char* text;
        bool ok;
        int32_t value;
    } cases[] = {
        {"8080", true, 8080}, {"  80", true, 80},       {"-5", true, -5},          {"$1F", true, 31},
        {"+7", true, 7},      {"-$10", true, -16},      {"$FFFFFFFF", true, -1},   {"2147483647", true, 2147483647},
        {"-2147483648", true, std::numeric_limits<int32_t>::min()},
        {"", false, 0},       {"12a", false, 0},        {"1.5", false, 0},         {"80 ", false, 0},
        {"2147483648", false, 0}, {"$", false, 0},      {"-", false, 0},           {"$100000000", false, 0},
        {"0x10", false, 0},   {"\t5", false, 0},        {"99999999999999999999", false, 0},
    };
    for (const auto& c : cases) {
        int32_t v = 12345;
        EXPECT_EQ(c.ok, TryStrToInt(c.text, v)) << '"' << c.text << '"';
        if (c.ok) {
            EXPECT_EQ(c.value, v) << c.text;
        }
    }
    EXPECT_THROW(StrToInt("abc"), EConvertError);
    EXPECT_EQ(7, StrToIntDef("x", 7));
}

TEST(SysUtils, FloatTable)
{
    struct {
        const char* text;
        char separator;
        bool ok;
        double value;
    } cases[] = {
        {"1.5", '.', true, 1.5},   {"1e2", '.', true, 100},   {" -2.5E-1 ", '.', true, -0.25}, {".5", '.', true, 0.5},
        {"5.", '.', true, 5},      {"1,5", ',', true, 1.5},   {"3500", '.', true, 3500},
        {"1,5", '.', false, 0},    {"1.5", ',', false, 0},    {"", '.', false, 0},             {"nan", '.', false, 0},
        {"inf", '.', false, 0},    {"-INF", '.', false, 0},   {"0x10", '.', false, 0},         {"1e", '.', false, 0},
        {"e5", '.', false, 0},     {".", '.', false, 0},      {"1e999", '.', false, 0},        {"1 2", '.', false, 0},
    };
    for (const auto& c : cases) {
        double v = 0;
        EXPECT_EQ(c.ok, TryStrToFloat(c.text, v, c.separator)) << '"' << c.text << '"';
        if (c.ok) {
            EXPECT_DOUBLE_EQ(c.value, v) << c.text;
        }
    }
}

TEST(SysUtils, WireNumbersAreStrict)
{
    double d = 0;
    int32_t i = 0;
    EXPECT_TRUE(TryWireStrToFloat("3500.5", d));
    EXPECT_TRUE(TryWireStrToFloat("-1e3", d));
    EXPECT_FALSE(TryWireStrToFloat(" 1", d));
    EXPECT_FALSE(TryWireStrToFloat("1,5", d));
    EXPECT_TRUE(TryWireStrToInt("-10", i));
    EXPECT_EQ(-10, i);
    for (const char* bad : {"", " 1", "1 ", "$1F", "+1", "1.0", "-"})
        EXPECT_FALSE(TryWireStrToInt(bad, i)) << bad;
}

TEST(SysUtils, FloatToStrGeneralForm)
{
    struct {
        double value;
        const char* text;
    } cases[] = {
        {3500, "3500"},  {0.5, "0.5"},     {-2.25, "-2.25"}, {0, "0"},           {1e20, "1E20"},
        {1.5e-7, "1.5E-7"}, {0.0001, "0.0001"}, {123456789012345.0, "123456789012345"},
        {1e15, "1E15"},  {0.1 + 0.2, "0.3"}, {3500.1, "3500.1"}, {1.0 / 3, "0.333333333333333"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.text, FloatToStr(c.value)) << c.value;
    EXPECT_EQ("0,5", FloatToStr(0.5, ','));
}

TEST(SysUtils, BooleansTrimAndCase)
{
    bool b = false;
    for (const char* t : {"True", "TRUE", "true", "1", "-1", "2"}) {
        EXPECT_TRUE(TryStrToBool(t, b)) << t;
        EXPECT_TRUE(b) << t;
    }
    for (const char* t : {"False", "false", "0"}) {
        EXPECT_TRUE(TryStrToBool(t, b)) << t;
        EXPECT_FALSE(b) << t;
    }
    EXPECT_FALSE(TryStrToBool("yes", b));
    EXPECT_FALSE(TryStrToBool("", b));
    EXPECT_EQ("True", BoolToStr(true));
    EXPECT_EQ("False", BoolToStr(false));

    EXPECT_EQ("a b", Trim(" \t a b\r\n"));
    EXPECT_EQ("a ", TrimLeft("  a "));
    EXPECT_EQ("  a", TrimRight("  a \n"));
    // 東 is 96 7C and 表 is B1 ED; a trail byte such as 0x61 ('a') must survive.
    EXPECT_EQ("ABC東表", UpperCase("abc東表"));
    const std::string lead_a("\x81\x61", 2);
    EXPECT_EQ(lead_a + "X", UpperCase(lead_a + "x"));
    EXPECT_EQ("loginok", LowerCase("LOGINOK"));
    EXPECT_TRUE(SameText("Socks5", "SOCKS5"));
    EXPECT_FALSE(SameText("Socks5", "Socks4"));
}

TEST(StringList, LinesAndIndex)
{
    TStringList list;
    list.SetText("a\r\nb\nc\rd\r\n");
    ASSERT_EQ(4, list.Count());
    EXPECT_EQ("d", list[3]);
    EXPECT_EQ(2, list.IndexOf("C"));
    EXPECT_EQ(-1, list.IndexOf("z"));
    list.Delete(0);
    list.Insert(0, "x");
    EXPECT_EQ("x\r\nb\r\nc\r\nd\r\n", list.Text());
    EXPECT_THROW(list.Delete(4), Exception);
    EXPECT_TRUE(SplitLines("").empty());
    EXPECT_EQ(3u, SplitLines("a\n\nb").size());
}
