#include "crashreport/capture/EDialogRoad.h"

#include <gtest/gtest.h>

namespace {

const char kReport[] =
    "DuruvaDod 6.1.01 RC 1\r\n\r\n"
    "1 Application:\r\n--------------\r\n  1.1 Start Date : x\r\n\r\n"
    "3 User:\r\n-------\r\n  3.1 ID         : 7\r\n  3.3 Email      : old@x.test\r\n  3.13 Other     : z\r\n\r\n"
    "Call Stack Information:\r\n------------------------\r\n|row|\r\n\r\n"
    "Assembler Information:\r\n----------------------\r\n; comment\r\n00401000 push ebp\r\n\r\n"
    "Registers:\r\n-----------------------------\r\nEAX: 00000000   EDI: 00000000\r\n";

TEST(DialogReportParts, SplitsTheThreeRichTextParts)
{
    const TReportParts p = SplitReportParts(kReport, "Call Stack Information", "Assembler Information", "Registers");
    EXPECT_EQ(0u, p.general.find("DuruvaDod 6.1.01 RC 1"));
    EXPECT_EQ(std::string::npos, p.general.find("Call Stack"));
    EXPECT_EQ("; comment\r\n00401000 push ebp", p.assembler);
    EXPECT_EQ(0u, p.cpu.find("Registers:\r\n---"));
    EXPECT_NE(std::string::npos, p.cpu.find("EAX: 00000000"));
}

TEST(DialogReportParts, MissingSectionsLeaveTheirPartEmpty)
{
    const TReportParts p = SplitReportParts("banner\r\n", "Call Stack Information", "Assembler Information", "Registers");
    EXPECT_EQ("banner", p.general);
    EXPECT_TRUE(p.assembler.empty());
    EXPECT_TRUE(p.cpu.empty());
    // A title inside a value is not a section start.
    const TReportParts q = SplitReportParts("x Call Stack Information:\r\nrest", "Call Stack Information", "A", "R");
    EXPECT_EQ("x Call Stack Information:\r\nrest", q.general);
}

TEST(DialogReportParts, ReplacesOnlyTheNumberedItem)
{
    std::string report = kReport;
    ASSERT_TRUE(ReplaceReportItemValue(report, "3.3", "new@y.test"));
    EXPECT_NE(std::string::npos, report.find("  3.3 Email      : new@y.test\r\n  3.13 Other     : z"));
    EXPECT_EQ(std::string::npos, report.find("old@x.test"));
    std::string none = "  3.1 ID : 7\r\n";
    EXPECT_FALSE(ReplaceReportItemValue(none, "3.3", "a@b.c"));
    std::string empty = "  3.3 Email : \r\nnext";
    ASSERT_TRUE(ReplaceReportItemValue(empty, "3.3", "a@b.c"));
    EXPECT_EQ("  3.3 Email : a@b.c\r\nnext", empty);
}

TEST(DialogReportParts, TheEmailFieldOfTheWindowsStyleDialog)
{
    struct {
        const char* text;
        const char* out;
    } cases[] = {
        {"User:\r\n  3.2 Name  : bob\r\n  3.3 Email : \r\n  3.4 x : y\r\n",
         "User:\r\n  3.2 Name  : bob\r\n  3.3 Email : x@y.z\r\n  3.4 x : y\r\n"},
        {"\r\n  3.3 Email : old@a.b\r\n", "\r\n  3.3 Email : x@y.z\r\n"},
        {"\r\n  3.3 Email\r\n  3.4 x : y\r\n", "\r\n  3.3 Email\r\n  3.4 x : y\r\n"},
        {"no field", "no field"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        std::string report = c.text;
        ReplaceReportItemValue(report, "3.3", "x@y.z");
        EXPECT_EQ(c.out, report);
    }
}

}  // namespace
