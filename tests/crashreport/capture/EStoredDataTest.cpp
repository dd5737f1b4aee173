// The stored reporter data: the model's round trip, the lookup, and the readers of the
// resource and the file tail against damage, with the allocations they make counted.

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include "crashreport/capture/EOptions.h"
#include "crashreport/capture/EOptionsResource.h"
#include "crashreport/capture/EStoredData.h"
#include "tools/stamp/AllocationWatch.h"

namespace {


constexpr size_t MB = 1 << 20;

// Two units whose code interleaves, as C++ units do with inlined and template code.
TDebugModel SampleModel()
{
    TDebugModel m;
    TDebugUnit a;
    a.files = {"Program.cpp", "vector"};
    a.start = 0x100;
    a.end = 0x400;
    a.procedures = {{"", "RunTradingClient", 0x100, 0x180, 9}, {"ns::TFoo", "Bar", 0x300, 0x400, 30}};
    a.lines = {{0x100, 9, 0}, {0x100, 10, 0}, {0x110, 12, 0}, {0x120, 500, 1}, {0x130, 14, 0},
               {0x180, 0, 0},  // end of the first run: 0x180-0x2FF is another unit's code
               {0x300, 30, 0}, {0x310, 29, 0}, {0x3FF, 33, 0}};
    TDebugUnit b;
    b.files = {"Other.cpp"};
    b.start = 0x180;
    b.end = 0x300;
    b.procedures = {{"(anonymous namespace)", "Helper", 0x180, 0x300, 5}};
    b.lines = {{0x180, 5, 0}, {0x1A0, 7, 0}};
    TDebugUnit rest;  // code without rows
    rest.files = {""};
    rest.start = 0x500;
    rest.end = 0x600;
    rest.procedures = {{"", "memcpy", 0x500, 0x600, 0}};
    m.units = {a, b, rest};
    return m;
}

TDebugModel LargeModel(size_t rows)
{
    TDebugModel m;
    TDebugUnit u;
    u.files = {"Big.cpp"};
    u.lines.reserve(rows);
    for (uint32_t i = 0; i < rows; ++i)
        u.lines.push_back({i * 3, 1 + i % 5000 * 7 % 3001, 0});
    u.start = 0;
    u.end = static_cast<uint32_t>(rows * 3);
    u.procedures = {{"big", "Run", 0, u.end, 1}};
    m.units.push_back(std::move(u));
    return m;
}

void ExpectEqualModels(const TDebugModel& a, const TDebugModel& b)
{
    ASSERT_EQ(a.units.size(), b.units.size());
    for (size_t i = 0; i < a.units.size(); ++i) {
        const TDebugUnit &x = a.units[i], &y = b.units[i];
        EXPECT_EQ(x.files, y.files);
        EXPECT_EQ(x.start, y.start);
        EXPECT_EQ(x.end, y.end);
        ASSERT_EQ(x.procedures.size(), y.procedures.size());
        for (size_t k = 0; k < x.procedures.size(); ++k) {
            EXPECT_EQ(x.procedures[k].className, y.procedures[k].className);
            EXPECT_EQ(x.procedures[k].name, y.procedures[k].name);
            EXPECT_EQ(x.procedures[k].start, y.procedures[k].start);
            EXPECT_EQ(x.procedures[k].end, y.procedures[k].end);
            EXPECT_EQ(x.procedures[k].firstLine, y.procedures[k].firstLine);
        }
        ASSERT_EQ(x.lines.size(), y.lines.size());
        for (size_t k = 0; k < x.lines.size(); ++k)
            EXPECT_TRUE(x.lines[k].offset == y.lines[k].offset && x.lines[k].line == y.lines[k].line &&
                        x.lines[k].file == y.lines[k].file)
                << "row " << k;
    }
}

std::string StampedFile(const TDebugModel& model, const TVurazaModuleOptions& options, std::string_view password = "")
{
    return std::string(3000, 'P') + BuildStoredDataTail(StoredDataVersion, 46000.5, options,
                                                        EncodeStoredDebugData(model, password));
}

void PutU32(std::string& s, size_t at, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        s[at + i] = static_cast<char>(v >> (8 * i));
}

}  // namespace


TEST(StoredData, ModelSurvivesEncodingWithAndWithoutPassword)
{
    const TDebugModel model = SampleModel();
    for (const char* password : {"", "secret", "密码"}) {
        SCOPED_TRACE(password);
        const std::string data = EncodeStoredDebugData(model, password);
        EXPECT_EQ(*password != '\0', IsProtectedDebugData(data));
        TDebugModel back;
        ASSERT_TRUE(DecodeStoredDebugData(data, password, back));
        ExpectEqualModels(model, back);
        TDebugModel wrong;
        EXPECT_FALSE(DecodeStoredDebugData(data, "wrong", wrong));
        EXPECT_TRUE(wrong.units.empty());
    }
}

TEST(StoredData, LookupTakesTheLastRowAtAnAddressAndTheClosestUnit)
{
    const TDebugModel model = SampleModel();
    const struct {
        uint32_t offset;
        const char* unit;
        const char* file;
        uint32_t line;
        const char* className;
        const char* procedure;
        uint32_t distance;
    } cases[] = {
        {0x100, "Program.cpp", "Program.cpp", 10, "", "RunTradingClient", 1},  // last of two rows
        {0x10F, "Program.cpp", "Program.cpp", 10, "", "RunTradingClient", 1},
        {0x110, "Program.cpp", "Program.cpp", 12, "", "RunTradingClient", 3},
        {0x125, "Program.cpp", "vector", 500, "", "RunTradingClient", 491},     // inlined header row
        {0x17F, "Program.cpp", "Program.cpp", 14, "", "RunTradingClient", 5},
        {0x180, "Other.cpp", "Other.cpp", 5, "(anonymous namespace)", "Helper", 0},  // inside the other's range
        {0x2FF, "Other.cpp", "Other.cpp", 7, "(anonymous namespace)", "Helper", 2},
        {0x310, "Program.cpp", "Program.cpp", 29, "ns::TFoo", "Bar", 0},        // line above the first: 0
        {0x3FF, "Program.cpp", "Program.cpp", 33, "ns::TFoo", "Bar", 3},
        {0x520, "", "", 0, "", "memcpy", 0},                                     // a procedure without rows
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.offset);
        TDebugLocation loc;
        ASSERT_TRUE(LookupDebugLocation(model, c.offset, loc));
        EXPECT_EQ(c.unit, loc.unitName);
        EXPECT_EQ(c.file, loc.fileName);
        EXPECT_EQ(c.line, loc.line);
        EXPECT_EQ(c.className, loc.className);
        EXPECT_EQ(c.procedure, loc.procedureName);
        EXPECT_EQ(c.distance, loc.lineDistance);
    }
    for (uint32_t outside : {0x0u, 0xFFu, 0x400u, 0x4FFu, 0x600u, 0xFFFFFFFFu}) {
        TDebugLocation loc;
        EXPECT_FALSE(LookupDebugLocation(model, outside, loc)) << std::hex << outside;
    }
}

TEST(StoredData, TailReadsBackAndDamageGivesNoDataWithoutLargeAllocations)
{
    TVurazaModuleOptions options("");
    options.SetDialogKind(3);
    options.SetMailSubject("\xB1\xC0\xC0\xA3");
    // More than 1 MB of model, so a reader that trusted a damaged size would show here.
    const TDebugModel model = LargeModel(150000);
    const std::string file = StampedFile(model, options);

    TStoredTail tail;
    ASSERT_TRUE(ReadStoredDataTail(TStoredBytes(file), tail));
    EXPECT_EQ(StoredDataVersion, tail.dataVersion);
    EXPECT_EQ(46000.5, tail.compilationDate);
    EXPECT_EQ(3000u, tail.blockOffset);
    TVurazaModuleOptions back("");
    LoadTailOptions(tail, back);
    EXPECT_EQ(3, back.DialogKind());
    EXPECT_EQ("\xB1\xC0\xC0\xA3", back.MailSubject());
    TDebugModel read;
    ASSERT_TRUE(DecodeStoredDebugData(tail.debugData, "", read));
    ExpectEqualModels(model, read);

    const size_t n = file.size() - 8 - 3000;
    auto withSize = [&](uint32_t size) {
        std::string f = file;
        PutU32(f, f.size() - 8, size);
        return f;
    };
    std::string wrongM = file;
    PutU32(wrongM, 3000 + n - tail.debugData.size() - 4, static_cast<uint32_t>(tail.debugData.size() + 1));
    const struct {
        const char* what;
        std::string bytes;
    } damaged[] = {
        {"size 0x7FFFFFFF", withSize(0x7FFFFFFF)},
        {"size past the file", withSize(static_cast<uint32_t>(file.size()))},
        {"size below the smallest block", withSize(5)},
        {"cut mid-block", file.substr(0, 3000 + n / 2)},
        {"cut in the size", file.substr(0, file.size() - 6)},
        {"no mark", file.substr(0, file.size() - 4) + std::string(4, '\0')},
        {"debug data size off by one", wrongM},
        {"empty", ""},
    };
    for (const auto& d : damaged) {
        SCOPED_TRACE(d.what);
        TStoredTail t;
        bool ok = true;
        const size_t biggest = LargestAllocation([&] { ok = ReadStoredDataTail(TStoredBytes(d.bytes), t); });
        EXPECT_FALSE(ok);
        EXPECT_FALSE(HasStoredDataTail(TStoredBytes(d.bytes)) && std::string_view(d.what).substr(0, 4) == "size");
        EXPECT_LE(biggest, MB);
    }
}

TEST(StoredData, DamagedDebugDataIsRefusedWithinWhatItCanHold)
{
    const std::string good = EncodeStoredDebugData(LargeModel(150000), "");
    // Decrypt, damage the plain envelope or model, encrypt again: what a reader meets when
    // the damage lies inside sound sizes.
    auto reencoded = [](TDebugModel model, auto damage) {
        std::string plain = WriteDebugModel(model);
        damage(plain);
        return plain;
    };
    const struct {
        const char* what;
        std::string stream;
    } streams[] = {
        {"unit count 0x7FFFFFFF", reencoded(SampleModel(), [](std::string& s) { PutU32(s, 0, 0x7FFFFFFF); })},
        {"row count beyond the data", reencoded(LargeModel(10), [](std::string& s) { PutU32(s, s.size() - 104, 0x10000000); })},
        {"file index beyond the files", reencoded(LargeModel(10), [](std::string& s) { s[s.size() - 2] = 9; })},
        {"rows out of order", reencoded(LargeModel(10), [](std::string& s) { PutU32(s, s.size() - 10, 0); })},
        {"cut short", reencoded(SampleModel(), [](std::string& s) { s.resize(s.size() - 3); })},
        {"bytes left over", reencoded(SampleModel(), [](std::string& s) { s += "x"; })},
    };
    for (const auto& c : streams) {
        SCOPED_TRACE(c.what);
        TDebugModel m;
        bool ok = true;
        EXPECT_LE(LargestAllocation([&] { ok = ReadDebugModel(c.stream, m); }), MB);
        EXPECT_FALSE(ok);
    }

    // The envelope's sizes: a model size the packed bytes cannot inflate to, a cut.
    const struct {
        const char* what;
        std::string data;
    } envelopes[] = {
        {"cut", good.substr(0, good.size() / 2)},
        {"header only", good.substr(0, 12)},
        {"shorter than a header", good.substr(0, 7)},
    };
    for (const auto& e : envelopes) {
        SCOPED_TRACE(e.what);
        TDebugModel m;
        bool ok = true;
        EXPECT_LE(LargestAllocation([&] { ok = DecodeStoredDebugData(e.data, "", m); }), good.size() + 64);
        EXPECT_FALSE(ok);
    }
}

TEST(StoredData, ResourceCarriesVersionDateAndCodeEntries)
{
    TVurazaModuleOptions options("");
    options.SetSmtpServer("smtp.example.test");
    const std::string resource = PackStoredResource(options, 46001.25, {{16, 0x1234}, {19, 0x99}});
    ASSERT_EQ(StoredResourceSize, resource.size());
    TStoredResource stored;
    ASSERT_TRUE(ReadStoredResource(resource, stored));
    EXPECT_EQ(6101, stored.dataVersion);
    EXPECT_EQ(46001.25, stored.compilationDate);
    uint32_t offset = 0;
    EXPECT_TRUE(FindCodeEntry(stored, 19, offset));
    EXPECT_EQ(0x99u, offset);
    EXPECT_FALSE(FindCodeEntry(stored, 11, offset));
    TVurazaModuleOptions back("");
    ASSERT_TRUE(UnpackOptionsResource(resource, back));
    EXPECT_EQ("smtp.example.test", back.SmtpServer());

    // The unfilled placeholder, the packer's own older form, damaged sizes.
    TStoredResource older;
    ASSERT_TRUE(ReadStoredResource(PackOptionsResource(options), older));
    EXPECT_EQ(6000, older.dataVersion);
    EXPECT_TRUE(older.entries.empty());
    std::string packedBeyond = resource;
    PutU32(packedBeyond, 6, 0x7FFFFFFF);
    std::string entriesBeyond = resource.substr(0, resource.find_last_not_of('\0') + 1);
    entriesBeyond[entriesBeyond.size() - 11] = static_cast<char>(200);
    for (const std::string& bad : {std::string(StoredResourceSize, '\0'), packedBeyond, entriesBeyond, resource.substr(0, 10)}) {
        TStoredResource r;
        EXPECT_FALSE(ReadStoredResource(bad, r));
    }
    EXPECT_FALSE(HasStoredDataResource(std::string(StoredResourceSize, '\0')));
    std::string streamBeyond = resource;
    PutU32(streamBeyond, 10, 16u << 20);
    bool unpacked = true;
    EXPECT_LE(LargestAllocation([&] { unpacked = UnpackOptionsResource(streamBeyond, back); }), MB);
    EXPECT_FALSE(unpacked);

    TVurazaModuleOptions huge("");
    std::string noise;
    uint32_t x = 1;
    for (int i = 0; i < 60000; ++i) {
        x = x * 1103515245 + 12345;  // incompressible enough to pass 32 KB packed
        noise += static_cast<char>('A' + (x >> 16) % 26);
    }
    huge.SetMailBody(noise);
    EXPECT_THROW(PackStoredResource(huge, 0, {}), Exception);
}

TEST(StoredData, OlderDataVersionsCountInTheNewForm)
{
    const struct {
        uint16_t stored, read;
    } cases[] = {{599, 599}, {600, 6000}, {601, 6001}, {602, 6002}, {603, 603}};
    // As the reader of a module's resource gives them: the older form, its version replaced.
    const std::string older = PackOptionsResource(TVurazaModuleOptions(""));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.stored);
        std::string resource = older;
        resource[4] = static_cast<char>(c.stored & 0xFF);
        resource[5] = static_cast<char>(c.stored >> 8);
        TStoredResource stored;
        ASSERT_TRUE(ReadStoredResource(resource, stored));
        EXPECT_EQ(c.read, stored.dataVersion);
        EXPECT_EQ(c.read, NormalizeDataVersion(c.stored));
    }
}
