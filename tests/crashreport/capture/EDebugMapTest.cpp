#include <gtest/gtest.h>

#include "crashreport/capture/EDebugMap.h"
#include "tests/crashreport/capture/DebugFixtures.h"

namespace {

// Inside units, in the gap, before a unit's first public.
const fixtures::TLocationCase answers[] = {
    {0x10, "UnitA", "UnitA.Alpha", 0, 10, 0, "src\\UnitA.pas"},
    {0x1C, "UnitA", "UnitA.Alpha", 0xC, 11, 4, "src\\UnitA.pas"},
    {0x65, "UnitA", "UnitA.TFoo.Beta", 5, 20, 5, "src\\UnitA.pas"},
    {0x7F, "UnitA", "UnitA.TFoo.Beta", 0x1F, 21, 0xF, "src\\UnitA.pas"},
    {0x05, "UnitA", "", 0, 0, 0, ""},
    {0x150, "UnitB", "", 0, 0, 0, ""},
    {0x190, "", "", 0, 0, 0, ""},
    {0x210, "UnitC", "", 0, 0, 0, ""},
    {0x235, "UnitC", "UnitC.Gamma", 0x15, 6, 5, "UnitC.pas"},
    {0x2FF, "UnitC", "UnitC.Gamma", 0xDF, 7, 0xBF, "UnitC.pas"},
};

void ExpectAnswers(const TELMapScanner& map, bool withLines)
{
    fixtures::ExpectLocations(map, answers, withLines);
}

}  // namespace

TEST(MapReader, AnswersUnitsProceduresLinesAndSources)
{
    TELMapScanner map(fixtures::MapText());
    EXPECT_TRUE(map.HasCodeUnits());
    EXPECT_FALSE(map.LinkerBug());
    EXPECT_EQ(0, map.LineErrors());
    EXPECT_EQ(0x100, map.SegmentStartAt(0x150));
    EXPECT_EQ(-1, map.SegmentStartAt(0x190));
    ExpectAnswers(map, true);
}

TEST(MapReader, CopiesGiveTheSameAnswers)
{
    const struct {
        const char* name;
        std::string text;
        bool withLines;
        int lineErrors;
    } copies[] = {
        {"LF only", fixtures::Replace(fixtures::MapText(), "\r\n", "\n"), true, 0},
        {"CR only", fixtures::Replace(fixtures::MapText(), "\r\n", "\r"), true, 0},
        {"first block in the data segment", fixtures::MapText(true, "", fixtures::mapDataBlock), true, 2},
        {"no line blocks", fixtures::MapText(false), false, 0},
    };
    for (const auto& c : copies) {
        SCOPED_TRACE(c.name);
        TELMapScanner map(c.text);
        EXPECT_FALSE(map.LinkerBug());
        EXPECT_EQ(c.lineErrors, map.LineErrors());
        ExpectAnswers(map, c.withLines);
    }
}

TEST(MapReader, BackwardLinesSetTheLinkerBugFlag)
{
    TELMapScanner map(fixtures::MapText(true, fixtures::mapBackwardBlock));
    EXPECT_TRUE(map.LinkerBug());
    EXPECT_EQ("UnitB", map.LinkerBugUnitName());
    EXPECT_EQ(1, map.LineErrors());
    uint32_t distance = 0;
    EXPECT_EQ(30u, map.LineAt(0x130, distance));
    EXPECT_EQ(0x10u, distance);
    EXPECT_EQ("UnitB.pas", map.SourceAt(0x130));
    EXPECT_EQ(6u, map.LineAt(0x235, distance)) << "later blocks still count";
}

TEST(MapReader, KeysStayWithinTheirLine)
{
    // The UnitB line lacks "M=": it must not take UnitC's name from the next line.
    std::string text = fixtures::Replace(fixtures::MapText(), "M=UnitB    ACBP=A9", "ACBP=A9");
    TELMapScanner map(text);
    EXPECT_EQ("", map.UnitAt(0x150));
    EXPECT_EQ("UnitC", map.UnitAt(0x235));
}

TEST(MapReader, ForeignOrEmptyTextHoldsNoUnits)
{
    const char* texts[] = {"", "just some text\r\nwithout headers\r\n", "Detailed map of segments\r\n\r\n 0002:00000000 10 C=DATA M=X\r\n"};
    for (const char* t : texts) {
        SCOPED_TRACE(t);
        TELMapScanner map(t);
        EXPECT_FALSE(map.HasCodeUnits());
        EXPECT_EQ("", map.UnitAt(0));
    }
}

TEST(MapReader, NulBytesEndLines)
{
    std::string text = std::string("junk\0more\0\r\n", 13) + fixtures::MapText();
    TELMapScanner map(text);
    EXPECT_EQ("UnitA", map.UnitAt(0x10));
    uint32_t distance = 0;
    EXPECT_EQ(6u, map.LineAt(0x235, distance));
}

TEST(MapReader, NameTextRules)
{
    TELMapScanner map("(inside)rest\r\nplain(paren\r\nword next\r\n(open\r\n");
    EXPECT_EQ("inside", map.NameText(0));
    EXPECT_EQ("plain", map.NameText(14));
    EXPECT_EQ("word", map.NameText(27));
    EXPECT_EQ("open", map.NameText(38));
    EXPECT_EQ("", map.NameText(TELAbstractMapParser::npos));
}
