#include <gtest/gtest.h>

#include <string>

#include "crashreport/capture/EUtils.h"

namespace {

TEST(OsVersionName, NamesEachEdition)
{
    struct {
        TOsVersionFacts facts;
        const char* name;
    } cases[] = {
        {{1, 4, 0, " B ", false, false}, "Microsoft Windows 95 OSR 2"},
        {{1, 4, 0, "", false, false}, "Microsoft Windows 95"},
        {{1, 4, 10, "A", false, false}, "Microsoft Windows 98 SE"},
        {{1, 4, 10, "", false, false}, "Microsoft Windows 98"},
        {{1, 4, 90, "", false, false}, "Microsoft Windows ME"},
        {{1, 4, 95, "", false, true}, "Microsoft Windows 4.95"},
        {{2, 4, 0, "Service Pack 6", true, false}, "Microsoft Windows NT 4.0"},
        {{2, 5, 0, "", true, false}, "Microsoft Windows 2000"},
        {{2, 5, 1, "", true, false}, "Microsoft Windows XP"},
        {{2, 5, 2, "", true, true}, "Microsoft Windows XP (64 bit)"},
        {{2, 5, 2, "", false, false}, "Microsoft Windows 2003"},
        {{2, 5, 3, "", true, false}, "Microsoft Windows 5.3"},
        {{2, 6, 0, "", true, false}, "Microsoft Windows Vista"},
        {{2, 6, 0, "", false, false}, "Microsoft Windows Server 2008"},
        {{2, 6, 1, "", true, true}, "Microsoft Windows 7 (64 bit)"},
        {{2, 6, 1, "", false, false}, "Microsoft Windows Server 2008 R2"},
        {{2, 6, 2, "", true, false}, "Microsoft Windows 6.2"},
        {{2, 10, 0, "", true, true}, "Microsoft Windows 10.0 (64 bit)"},
        {{3, 10, 0, "", true, true}, "Microsoft Windows "},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.name, OsVersionNameOf(c.facts));
    }
}

TEST(DurationText, CountsWholeSeconds)
{
    struct {
        double seconds;
        const char* text;
    } cases[] = {
        {0, "0 second"},
        {1, "1 second"},
        {3, "3 seconds"},
        {59, "59 seconds"},
        {61, "1 minute, 1 second"},
        {3600, "1 hour, 0 second"},
        {7322, "2 hours, 2 minutes, 2 seconds"},
        {1.5 * 86400, "1 day, 12 hours, 0 second"},
        {0.5 * 86400, "12 hours, 0 second"},
        {3 * 86400 + 60, "3 days, 1 minute, 0 second"},
        {86399, "23 hours, 59 minutes, 59 seconds"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(c.text, DurationText(c.seconds / 86400.0));
    }
    // Every whole second of the first two hours comes out as itself.
    for (int s = 0; s < 7200; ++s) {
        const std::string text = DurationText(s / 86400.0);
        const std::string last = std::to_string(s % 60) + (s % 60 > 1 ? " seconds" : " second");
        ASSERT_EQ(last, text.substr(text.size() - last.size())) << s;
    }
}

TEST(TextHelpers, EscapePadAndCollapse)
{
    struct {
        const char* in;
        const char* out;
    } html[] = {
        {"a & b", "a &amp; b"},
        {"\"q\" 'a'", "&quot;q&quot; &#039;a&#039;"},
        {"<b>&lt;</b>", "&lt;b&gt;&amp;lt;&lt;/b&gt;"},
        {"a  b   c", "a&nbsp;&nbsp;b&nbsp;&nbsp; c"},
        {"one\r\ntwo\nthree", "one<br>\r\ntwo\nthree"},
        {"涨停 & 跌停", "涨停 &amp; 跌停"},
    };
    for (const auto& c : html) {
        SCOPED_TRACE(c.in);
        EXPECT_EQ(c.out, HtmlEscape(c.in));
    }
    EXPECT_EQ("abc", PadRight("abc", 3));
    EXPECT_EQ("abc  ", PadRight("abc", 5));
    EXPECT_EQ("abc", PadRight("abc", 1));
    EXPECT_EQ(" a b c ", CollapseControlChars("\r\na\tb\x01\x02\x1F" "c\n"));
    EXPECT_EQ("x", ChooseText(true, "x"));
    EXPECT_EQ("", ChooseText(false, "x"));
    EXPECT_EQ("b", ChooseText(false, "a", "b"));
}

TEST(FormatMailDate, WritesTheZoneWithItsMinutes)
{
    const double at = EncodeDateTime(2026, 12, 8, 9, 5, 3);
    struct {
        int offsetMinutes;
        const char* text;
    } cases[] = {
        {480, "Tue, 8 Dec 2026 09:05:03 +0800"},
        {-300, "Tue, 8 Dec 2026 09:05:03 -0500"},
        {0, "Tue, 8 Dec 2026 09:05:03 +0000"},
        {330, "Tue, 8 Dec 2026 09:05:03 +0530"},
        {-210, "Tue, 8 Dec 2026 09:05:03 -0330"},
        {345, "Tue, 8 Dec 2026 09:05:03 +0545"},
        {-600, "Tue, 8 Dec 2026 09:05:03 -1000"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(c.text, FormatMailDateAt(at, c.offsetMinutes));
    }
    EXPECT_EQ("Sat, 30 Dec 1899 00:00:00 +0800", FormatMailDateAt(0, 480));
    EXPECT_EQ("Thu, 29 Feb 2024 23:59:59 +0800", FormatMailDateAt(EncodeDateTime(2024, 2, 29, 23, 59, 59), 480));
    EXPECT_EQ("2024-02-29 23:59:59", ReportDateTimeText(EncodeDateTime(2024, 2, 29, 23, 59, 59)));
    EXPECT_EQ("2000-01-01 00:00:00", ReportDateTimeText(EncodeDateTime(1999, 12, 31, 23, 59, 59) + 0.99 / 86400));
}

TEST(StoredData, MarksVersionsAndClassNames)
{
    EXPECT_TRUE(IsStoredDataMark(0x100FAB10));
    EXPECT_TRUE(IsStoredDataMark(0x000FAB10));
    EXPECT_FALSE(IsStoredDataMark(0x100FAB11));
    EXPECT_FALSE(IsStoredDataMark(0));
    struct {
        int version;
        bool compatible;
    } versions[] = {{6099, false}, {6100, true}, {6101, true}, {6200, true}, {6201, false}, {0, false}};
    for (const auto& v : versions) {
        SCOPED_TRACE(v.version);
        EXPECT_EQ(v.compatible, IsCompatibleLibraryVersion(v.version));
    }
    struct {
        const char* mangled;
        size_t size;
        const char* name;
    } names[] = {
        {"9Exception", 65, "Exception"},
        {"N3foo3BarE", 65, "foo::Bar"},
        {"*N12_GLOBAL__N_16TLocalE", 65, "(anonymous namespace)::TLocal"},
        {"St9exception", 65, "std::exception"},
        {"N3foo3BarIiEE", 65, "N3foo3BarIiEE"},
        {"9Exceptio", 65, "9Exceptio"},
        {"N3foo3BarE", 6, "foo::"},
        {"", 65, ""},
    };
    for (const auto& n : names) {
        SCOPED_TRACE(n.mangled);
        char out[65];
        EXPECT_STREQ(n.name, ClassNameOfMangled(n.mangled, out, n.size));
    }
}

}  // namespace
