#include <gtest/gtest.h>

#include <functional>

#include "crashreport/capture/EDebugBin.h"
#include "crashreport/capture/EDebugMap.h"
#include "crashreport/capture/EDebugNames.h"
#include "crashreport/capture/EDebugTD32.h"
#include "crashreport/capture/EStoredData.h"
#include "tools/debugfiles/DebugFileWriters.h"

namespace {

// Two units, an inlined header run, a run ended by line 0, two rows at one offset, a class in a
// namespace, a name the map would cut, and a unit without a name.
TDebugModel Model()
{
    TDebugModel m;
    TDebugUnit program;
    program.files = {"Program.cpp", "Helpers.h"};
    program.start = 0;
    program.end = 0x200;
    program.procedures = {{"", "main", 0x00, 0x80, 10},
                          {"ns::TFoo", "Bar", 0x80, 0x100, 20},
                          {"", "operator()", 0x100, 0x140, 30},
                          {"TFoo", "Inline", 0x140, 0x200, 40}};
    program.lines = {{0x00, 10, 0}, {0x08, 11, 0}, {0x10, 12, 0}, {0x10, 13, 0}, {0x20, 5, 1}, {0x28, 14, 0},
                     {0x80, 20, 0}, {0x90, 21, 0}, {0xA0, 0, 0},  {0x100, 30, 0}, {0x110, 31, 0}, {0x140, 40, 0},
                     {0x150, 41, 0}};
    TDebugUnit other;
    other.files = {"Other.cpp"};
    other.start = 0x200;
    other.end = 0x300;
    other.procedures = {{"", "Helper", 0x200, 0x280, 50}, {"", "Last", 0x280, 0x300, 60}};
    other.lines = {{0x200, 50, 0}, {0x210, 51, 0}, {0x280, 60, 0}, {0x290, 61, 0}};
    TDebugUnit nameless;
    nameless.start = 0x300;
    nameless.end = 0x310;
    nameless.procedures = {{"", "stray", 0x300, 0x310, 0}};
    m.units = {program, other, nameless};
    return m;
}

struct Reader {
    std::function<std::string(uint32_t)> unit, source;
    std::function<std::string(uint32_t, uint32_t&)> procedure;
    std::function<uint32_t(uint32_t, uint32_t&)> line;
};

template <class T>
Reader Over(const T& r)
{
    const auto text = [](std::string_view s) { return std::string(s); };
    return {[&r, text](uint32_t o) { return text(r.UnitAt(o)); }, [&r, text](uint32_t o) { return text(r.SourceAt(o)); },
            [&r, text](uint32_t o, uint32_t& d) { return text(r.ProcedureAt(o, d)); },
            [&r](uint32_t o, uint32_t& d) { return r.LineAt(o, d); }};
}

// Every offset of the model's procedures answers as the stored data does.
void ExpectAgreement(const TDebugModel& model, const Reader& r)
{
    for (uint32_t o = 0; o < 0x320; ++o) {
        TDebugLocation expected;
        bool known = LookupDebugLocation(model, o, expected) && expected.procedureKnown && !expected.unitName.empty();
        std::string unit = r.unit(o);
        if (!known) {
            continue;
        }
        SCOPED_TRACE(testing::Message() << "offset 0x" << std::hex << o);
        ASSERT_NE("", unit);
        uint32_t procDistance = 0, lineDistance = 0, firstDistance = 0;
        std::string proc = r.procedure(o, procDistance);
        uint32_t line = r.line(o, lineDistance);
        uint32_t first = r.line(o - procDistance, firstDistance);
        TAddressNames item;
        SplitDebugSourceNames(unit, r.source(o), proc, line, true, item);
        // Where a row of line 0 ends a run the stored data names no file; the run's file stays.
        EXPECT_EQ(expected.line ? expected.fileName : expected.unitName, item.UnitName);
        EXPECT_EQ(DebugFileName(expected.className), item.ClassName);
        EXPECT_EQ(DebugFileName(expected.procedureName), item.ProcedureName);
        EXPECT_EQ(expected.line, line);
        EXPECT_EQ(o - expected.procedureStart, procDistance);
        uint32_t lineInProc = line && first && line > first ? line - first : 0;
        EXPECT_EQ(expected.lineDistance, lineInProc);
    }
}

}  // namespace

TEST(DebugFileWriters, MapFileAnswersAsTheModel)
{
    TDebugModel model = Model();
    TELMapScanner map(WriteMapFile(model));
    EXPECT_TRUE(map.HasCodeUnits());
    EXPECT_FALSE(map.LinkerBug());
    EXPECT_EQ(0, map.LineErrors());
    ExpectAgreement(model, Over(map));
}

TEST(DebugFileWriters, TD32AnswersAsTheModel)
{
    TDebugModel model = Model();
    std::vector<uint8_t> data = WriteTD32Data(model);
    TELTD32InfoScanner td(TDebugBytes(data.data(), data.size()));
    ASSERT_TRUE(td.IsValid());
    ExpectAgreement(model, Over(td));
}

TEST(DebugFileWriters, JdbgAnswersAsTheModel)
{
    TDebugModel model = Model();
    std::vector<uint8_t> data = WriteJdbgData(model);
    TELBinDebugScanner jdbg(TDebugBytes(data.data(), data.size()), true);
    ASSERT_TRUE(jdbg.ValidFormat());
    ExpectAgreement(model, Over(jdbg));
}

TEST(DebugFileWriters, JdbgNamesOfEveryForm)
{
    // Packed, packed starting with a byte of 1 or 2 ("0", "1"), and names outside the alphabet.
    const std::string names[] = {"Plain_9", "0Babc", "1Babc", "Program.cpp", "ns::TFoo", std::string(300, 'x')};
    for (const std::string& n : names) {
        SCOPED_TRACE(n);
        TDebugModel m;
        TDebugUnit u;
        u.files = {n + ".cpp"};
        u.end = 0x10;
        u.procedures = {{"", n, 0, 0x10, 1}};
        u.lines = {{0, 1, 0}};
        m.units = {u};
        std::vector<uint8_t> data = WriteJdbgData(m);
        TELBinDebugScanner jdbg(TDebugBytes(data.data(), data.size()), false);
        ASSERT_TRUE(jdbg.ValidFormat());
        uint32_t distance = 0;
        EXPECT_EQ(n.substr(0, 255), jdbg.ProcedureAt(5, distance));
    }
}
