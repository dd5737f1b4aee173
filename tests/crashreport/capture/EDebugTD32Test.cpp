#include <gtest/gtest.h>

#include <cstring>

#include "crashreport/capture/EDebugTD32.h"
#include "tests/crashreport/capture/DebugFixtures.h"

namespace {

TDebugBytes Span(const std::vector<uint8_t>& v)
{
    return TDebugBytes(v.data(), v.size());
}

std::vector<uint8_t> Raw(const char* bytes, size_t size)
{
    return std::vector<uint8_t>(bytes, bytes + size);
}

bool Unreadable(const void*, size_t)
{
    return false;
}

}  // namespace

TEST(TD32, Signatures)
{
    const struct {
        const char* name;
        std::vector<uint8_t> data;
        bool valid;
    } cases[] = {
        {"8 bytes", Raw("FB0A\x08\0\0\0", 8), false},
        {"both ends FB0A", Raw("FB0A\0\0\0\0FB0A\x10\0\0\0", 16), true},
        {"FB09 at the start", Raw("FB09\0\0\0\0FB0A\x10\0\0\0", 16), true},
        {"distance to non-signature bytes", Raw("FB09xxxxxxxxxxxxFB0A\x10\0\0\0", 24), false},
        {"distance beyond the data", Raw("FB0A\0\0\0\0FB0A\x11\0\0\0", 16), false},
        {"distance below 16", Raw("FB0A\0\0\0\0FB0AFB0A\x08\0\0\0", 20), false},
        {"wrong trailing signature", Raw("FB0A\0\0\0\0FB0B\x10\0\0\0", 16), false},
        {"the fixture", fixtures::Td32(), true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.valid, TELTD32InfoParser::IsTD32DebugInfoValid(Span(c.data)));
        TELTD32InfoScanner scanner(Span(c.data));
        EXPECT_EQ(c.valid, scanner.IsValid());
    }
}

TEST(TD32, CleansProcedureNames)
{
    const struct {
        const char* name;
        const char* unit;
        const char* cleaned;
    } cases[] = {
        {"@UnitA@TFoo@Bar$qqrv", "UnitA", "TFoo.Bar"},
        {"@unita@TFoo@Bar$qqrv", "UnitA", "TFoo.Bar"},
        {"@UnitA@Proc@$qqrv", "UnitA", "Proc"},
        {"@System@@LStrClr$qqrr17System.AnsiString", "System", "@LStrClr"},
        {"@MainUnit@X$qqrv", "Main", "MainUnit.X"},
        {"@UnitA@TFoo@Bar", "", "UnitA.TFoo.Bar"},
        {"Plain", "UnitA", "Plain"},
        {"UnitA.Plain", "UnitA", "UnitA.Plain"},
        {"@", "UnitA", ""},
        {"", "UnitA", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.cleaned, TELTD32InfoParser::CleanProcedureName(c.name, c.unit));
    }
}

TEST(TD32, AnswersUnitsProceduresLinesAndSources)
{
    std::vector<uint8_t> data = fixtures::Td32();
    TELTD32InfoScanner td(Span(data));
    ASSERT_TRUE(td.IsValid());
    EXPECT_EQ(2u, td.Modules().size());
    EXPECT_EQ(2u, td.SourceModules().size()) << "the file without a name is skipped";
    EXPECT_EQ("", td.Name(0));
    EXPECT_EQ("", td.Name(1000));
    const fixtures::TLocationCase cases[] = {
        {0x10, "UnitA", "TFoo.Bar", 0, 10, 0, "UnitA.pas"},
        {0x1C, "UnitA", "TFoo.Bar", 0xC, 11, 4, "UnitA.pas"},
        {0x52, "UnitA", "Plain", 2, 20, 2, "UnitA.pas"},
        {0x62, "UnitA", "", 2, 21, 0xA, "UnitA.pas"},   // name index 0
        {0x7F, "UnitA", "", 0, 21, 0x27, "UnitA.pas"},  // the block's last line covers its code
        {0x80, "UnitA", "", 0, 0, 0, ""},
        {0x100, "UnitB", "", 0, 0, 0, ""},  // UnitA ends where UnitB starts
        {0x115, "UnitB", "Baz", 5, 5, 5, "UnitB.pas"},
        {0x13F, "UnitB", "Baz", 0x2F, 6, 0x1F, "UnitB.pas"},
        {0x180, "UnitB", "", 0, 0, 0, ""},  // a segment's end is still its own
        {0x181, "", "", 0, 0, 0, ""},
        {0x210, "", "", 0, 0, 0, ""},  // UnitA's data segment places no code
    };
    fixtures::ExpectLocations(td, cases);
}

TEST(TD32, DamagedDataIsInvalid)
{
    std::vector<uint8_t> data = fixtures::Td32();
    for (size_t length = 0; length < data.size(); ++length) {
        std::vector<uint8_t> cut(data.begin(), data.begin() + length);
        TELTD32InfoScanner td(Span(cut));
        EXPECT_FALSE(td.IsValid()) << "cut at " << length;
    }
    const struct {
        const char* name;
        fixtures::Td32Layout layout;
    } cases[] = {
        {"directory loop", {0, 12, 1}},
        {"entry size 13", {0, 13, 0}},
        {"next directory beyond the data", {0, 12, 0x7FFFFFF0}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<uint8_t> bad = fixtures::Td32(c.layout);
        TELTD32InfoScanner td(Span(bad));
        EXPECT_FALSE(td.IsValid());
        uint32_t distance = 0;
        EXPECT_EQ("", td.UnitAt(0x10));
        EXPECT_EQ("", td.ProcedureAt(0x10, distance));
    }
    TELTD32InfoScanner unreadable(Span(data), Unreadable);
    EXPECT_FALSE(unreadable.IsValid());
}

TEST(TD32, UntrustedCountsAndOffsets)
{
    size_t directory = 0;
    std::vector<uint8_t> good = fixtures::Td32({}, &directory);
    // Each row overwrites one 32-bit field and must leave the data invalid, not crash.
    const struct {
        const char* name;
        size_t at;
        uint32_t value;
    } cases[] = {
        {"directory offset", 4, 0xFFFFFFF0},
        {"entry count", directory + 4, 0x10000000},
        {"names subsection size", directory + 16 + 8, 0x00FFFFFF},
        {"names count", 8, 0x7FFFFFFF},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<uint8_t> bad = good;
        for (int i = 0; i < 4; ++i)
            bad[c.at + i] = static_cast<uint8_t>(c.value >> (8 * i));
        TELTD32InfoScanner td(Span(bad));
        EXPECT_FALSE(td.IsValid());
    }
}
