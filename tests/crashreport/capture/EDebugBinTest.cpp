#include <gtest/gtest.h>

#include <random>

#include "crashreport/capture/EDebugBin.h"
#include "tests/crashreport/capture/DebugFixtures.h"

namespace {

constexpr uint8_t key = TELBinDebugScanner::NameScramble;

TDebugBytes Span(const std::vector<uint8_t>& v)
{
    return TDebugBytes(v.data(), v.size());
}

// A unit at 0 named by the raw pool bytes.
std::vector<uint8_t> WithUnitName(std::vector<uint8_t> pool)
{
    fixtures::Jdbg j;
    j.names = {std::move(pool)};
    j.units = {{0, 1}};
    j.symbols = {{0, 1, 0}};
    return j.Build();
}

uint32_t Next(std::mt19937& random, uint32_t below)
{
    return static_cast<uint32_t>(random() % below);
}

}  // namespace

TEST(JDBG, Sizes)
{
    fixtures::Jdbg empty;
    empty.checksum = false;
    std::vector<uint8_t> data = empty.Build();
    ASSERT_EQ(56u, data.size());
    const struct {
        size_t size;
        bool valid;
    } cases[] = {{34, false}, {36, true}, {37, false}, {40, true}, {56, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.size);
        std::vector<uint8_t> d = data;
        d.resize(c.size);
        // Tables and pool inside what is left.
        for (int i = 0; i < 5; ++i)
            d[5 + 4 * i] = std::min<uint8_t>(d[5 + 4 * i], 34);
        EXPECT_EQ(c.valid, TELBinDebugScanner(Span(d), true).ValidFormat());
    }
    fixtures::Jdbg v2 = fixtures::JdbgSample(key);
    v2.version = 2;
    EXPECT_FALSE(TELBinDebugScanner(Span(v2.Build()), true).ValidFormat());
    EXPECT_FALSE(TELBinDebugScanner(TDebugBytes(), true).ValidFormat());
}

TEST(JDBG, Checksum)
{
    std::vector<uint8_t> data = fixtures::JdbgSample(key).Build();
    ASSERT_TRUE(TELBinDebugScanner(Span(data), true).ValidFormat());
    for (size_t byte = 0; byte < data.size(); ++byte) {
        if (byte == 33)
            continue;  // the checksum-present byte
        for (int bit = 0; bit < 8; ++bit) {
            std::vector<uint8_t> d = data;
            d[byte] ^= static_cast<uint8_t>(1 << bit);
            EXPECT_FALSE(TELBinDebugScanner(Span(d), true).ValidFormat()) << "byte " << byte << " bit " << bit;
        }
    }
    fixtures::Jdbg unchecked = fixtures::JdbgSample(key);
    unchecked.checksum = false;
    std::vector<uint8_t> d = unchecked.Build();
    d[29] ^= 0x5A;
    EXPECT_TRUE(TELBinDebugScanner(Span(d), true).ValidFormat()) << "a wrong checksum is accepted when not present";
}

TEST(JDBG, Names)
{
    const struct {
        const char* name;
        std::vector<uint8_t> pool;
        std::string decoded;
    } cases[] = {
        {"packed", {0xD0, 0x3C, 0x03}, "Foo"},
        {"packed, first code 0", {0x00, 0x3C, 0x03}, ""},
        {"form 2, first code 0", {0x02, 0x00}, "@"},
        {"form 2", {0x02, 0xD0, 0x3C, 0x03}, "@Foo"},
        {"digits and underscore", fixtures::PackName("a_9Z0"), "a_9Z0"},
        {"scrambled", fixtures::ScrambledName("Main.cpp", key), "Main.cpp"},
        {"scrambled with the key itself", fixtures::ScrambledName(std::string("x") + char(key) + "y", key),
         std::string("x") + char(key) + "y"},
        {"scrambled, 300 characters", fixtures::ScrambledName(std::string(300, 'n'), key), std::string(255, 'n')},
        {"packed, 300 characters", fixtures::PackName(std::string(300, 'n')), std::string(255, 'n')},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<uint8_t> data = WithUnitName(c.pool);
        TELBinDebugScanner scanner(Span(data), true);
        ASSERT_TRUE(scanner.ValidFormat());
        EXPECT_EQ(c.decoded, scanner.UnitAt(5));
        uint32_t distance = 0;
        EXPECT_EQ(c.decoded, scanner.ProcedureAt(5, distance)) << "the second reference 0 adds nothing";
    }
    std::vector<uint8_t> data = WithUnitName({0xD0, 0x3C, 0x03});
    TELBinDebugScanner scanner(Span(data), true);
    EXPECT_EQ("", scanner.NameAt(0));
    EXPECT_EQ("", scanner.NameAt(0x7FFFFFF0)) << "outside the pool";
    EXPECT_EQ("", scanner.NameAt(0xFFFFFFFF));
}

TEST(JDBG, Lookups)
{
    std::vector<uint8_t> data = fixtures::JdbgSample(key).Build();
    for (bool cache : {true, false}) {
        SCOPED_TRACE(cache ? "cached" : "uncached");
        TELBinDebugScanner scanner(Span(data), cache);
        ASSERT_TRUE(scanner.ValidFormat());
        const fixtures::TLocationCase cases[] = {
            {0x08, "", "", 0, 0, 0, ""},  // below the first unit
            {0x10, "UnitA.cpp", "TFoo.Bar", 0, 10, 0, "src/UnitA.cpp"},
            {0x1C, "UnitA.cpp", "TFoo.Bar", 0xC, 12, 4, "src/UnitA.cpp"},
            {0x22, "UnitA.cpp", "TFoo.Bar", 0x12, 11, 2, "src/UnitA.cpp"},  // a negative line delta
            {0x45, "UnitA.cpp", "Plain", 5, 30, 5, "src/UnitA.cpp"},
            {0x104, "UnitB.cpp", "", 0, 7, 4, "UnitB.cpp"},  // Plain belongs to the unit before
            {0x200, "UnitB.cpp", "TFoo.Bar", 0xF8, 7, 0x100, "UnitB.cpp"},
        };
        fixtures::ExpectLocations(scanner, cases);
    }
}

TEST(JDBG, UntrustedTables)
{
    // Descending addresses, in any table, make the data invalid.
    for (int table = 0; table < 4; ++table) {
        SCOPED_TRACE(table);
        fixtures::Jdbg j = fixtures::JdbgSample(key);
        if (table == 0)
            j.units = {{0x100, 1}, {0x10, 2}};
        else if (table == 1)
            j.sources = {{0x100, 1}, {0x10, 2}};
        else if (table == 2)
            j.symbols = {{0x100, 3, 0}, {0x10, 4, 0}};
        else
            j.lines = {{0x100, 1}, {0x10, 2}};
        EXPECT_FALSE(TELBinDebugScanner(Span(j.Build()), true).ValidFormat());
    }
    // A varint of six bytes is read as five and the next value, and one cut by the data's end
    // ends its table.
    fixtures::Jdbg j;
    j.checksum = false;
    std::vector<uint8_t> d = j.Build();
    d.resize(44);
    const uint8_t tail[10] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x01, 0xFF, 0xFF, 0xFF, 0xFF};
    std::copy(tail, tail + 10, d.begin() + 34);
    for (int i = 0; i < 4; ++i)
        d[5 + 4 * i] = 34;
    d[21] = 40;
    TELBinDebugScanner scanner(Span(d), true);
    ASSERT_TRUE(scanner.ValidFormat());
    uint32_t distance = 0;
    EXPECT_EQ("", scanner.UnitAt(0xFFFFFFFE));
    EXPECT_NE("", scanner.UnitAt(0xFFFFFFFF));
    EXPECT_EQ(1u, scanner.LineAt(0xFFFFFFFF, distance));
}

TEST(JDBG, CachedAndUncachedAgree)
{
    std::mt19937 random(1234);
    fixtures::Jdbg j;
    for (int i = 0; i < 20; ++i)
        j.names.push_back(fixtures::PackName("Name" + std::to_string(i)));
    uint32_t a = 0x40;
    for (int u = 0; u < 30; ++u) {
        j.units.push_back({a, 1 + Next(random, 20)});
        j.sources.push_back({a + Next(random, 8), 1 + Next(random, 20)});
        for (int s = 0; s < 10; ++s) {
            j.symbols.push_back({a, 1 + Next(random, 20), Next(random, 3) ? 0 : 1 + Next(random, 20)});
            j.lines.push_back({a, 1 + Next(random, 5000)});
            a += 1 + Next(random, 64);
        }
    }
    std::vector<uint8_t> data = j.Build();
    TELBinDebugScanner cached(Span(data), true), walked(Span(data), false);
    ASSERT_TRUE(cached.ValidFormat());
    std::uniform_int_distribution<uint32_t> offsets(0, a + 0x100);
    for (int i = 0; i < 10000; ++i) {
        uint32_t o = offsets(random);
        uint32_t d1 = 0, d2 = 0;
        ASSERT_EQ(walked.ProcedureAt(o, d1), cached.ProcedureAt(o, d2)) << o;
        ASSERT_EQ(d1, d2) << o;
        ASSERT_EQ(walked.LineAt(o, d1), cached.LineAt(o, d2)) << o;
        ASSERT_EQ(d1, d2) << o;
        ASSERT_EQ(walked.UnitAt(o), cached.UnitAt(o)) << o;
        ASSERT_EQ(walked.SourceAt(o), cached.SourceAt(o)) << o;
    }
}
