#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>

#include "crashreport/capture/EDebug.h"
#include "tests/crashreport/capture/DebugFixtures.h"

namespace {

namespace fs = std::filesystem;

constexpr uint32_t imageSize = 0x6000;
constexpr uint32_t codeSize = 0x300;

// A loaded image as the sources see it: headers, .text at 0x1000, .data at 0x2000, and
// optionally a "JCLDEBUG" section and TD32 data behind the debug directory.
class FakeImage {
public:
    FakeImage(const std::vector<uint8_t>* jcldebug, const std::vector<uint8_t>* td32, uint16_t optionalSize = 224)
        : memory_(new uint8_t[imageSize]())
    {
        uint8_t* m = memory_.get();
        m[0] = 'M';
        m[1] = 'Z';
        Put32(0x3C, 0x80);
        std::memcpy(m + 0x80, "PE\0\0", 4);
        Put16(0x84, 0x14C);
        struct Section {
            const char* name;
            uint32_t va, size, characteristics;
        };
        std::vector<Section> sections = {{".text", 0x1000, codeSize, 0x60000020}, {".data", 0x2000, 0x200, 0xC0000040}};
        if (jcldebug) {
            std::memcpy(m + 0x3000, jcldebug->data(), jcldebug->size());
            sections.push_back({"JCLDEBUG", 0x3000, static_cast<uint32_t>(jcldebug->size()), 0x42000040});
        }
        const size_t optional = 0x98;
        if (td32) {
            // The debug directory's one entry, then the data it points at.
            Put32(0x4000 + 16, static_cast<uint32_t>(td32->size()));
            Put32(0x4000 + 20, 0x4000 + 28);
            std::memcpy(m + 0x4000 + 28, td32->data(), td32->size());
            sections.push_back({".tds", 0x4000, static_cast<uint32_t>(28 + td32->size()), 0x42000040});
            Put32(optional + 96 + 8 * 6, 0x4000);
            Put32(optional + 96 + 8 * 6 + 4, 28);
        }
        Put16(0x86, static_cast<uint16_t>(sections.size()));
        Put16(0x94, optionalSize);
        Put16(optional, 0x10B);
        Put32(optional + 56, imageSize);
        Put32(optional + 92, 16);
        size_t table = optional + optionalSize;
        for (size_t i = 0; i < sections.size(); ++i) {
            size_t s = table + 40 * i;
            std::memcpy(m + s, sections[i].name, std::strlen(sections[i].name));
            Put32(s + 8, sections[i].size);
            Put32(s + 12, sections[i].va);
            Put32(s + 16, (sections[i].size + 0x1FF) & ~0x1FFu);
            Put32(s + 36, sections[i].characteristics);
        }
    }
    uintptr_t Module() const { return reinterpret_cast<uintptr_t>(memory_.get()); }
    void Put16(size_t at, uint16_t v) { std::memcpy(memory_.get() + at, &v, 2); }
    void Put32(size_t at, uint32_t v) { std::memcpy(memory_.get() + at, &v, 4); }

private:
    std::unique_ptr<uint8_t[]> memory_;
};

std::map<uintptr_t, std::pair<uintptr_t, std::string>>& Modules()
{
    static std::map<uintptr_t, std::pair<uintptr_t, std::string>> modules;  // base -> end, file
    return modules;
}

std::string FakeModuleFileName(uintptr_t module)
{
    auto it = Modules().find(module);
    return it == Modules().end() ? std::string() : it->second.second;
}

// Only the fake images' own bytes are readable.
bool InsideAFakeImage(const void* p, size_t size)
{
    auto a = reinterpret_cast<uintptr_t>(p);
    for (auto& [base, m] : Modules())
        if (a >= base && a <= m.first && size <= m.first - a)
            return true;
    return false;
}

class DebugInfoSources : public testing::Test {
protected:
    void SetUp() override
    {
        dir_ = fs::temp_directory_path() / ("edebug-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
                                            "-" + std::to_string(reinterpret_cast<uintptr_t>(this)));
        fs::create_directories(dir_);
        platform_ = {FakeModuleFileName, SystemDebugInfoPlatform().LoadFile, InsideAFakeImage};
        SetDebugInfoPlatform(&platform_);
    }
    void TearDown() override
    {
        SetDebugInfoPlatform(nullptr);
        Modules().clear();
        fs::remove_all(dir_);
    }
    // Registers the image under name, with the given files beside it.
    uintptr_t Load(FakeImage& image, const std::string& name, std::map<std::string, std::string> files)
    {
        std::string exe = (dir_ / (name + ".exe")).string();
        Modules()[image.Module()] = {image.Module() + imageSize, exe};
        for (auto& [extension, bytes] : files)
            std::ofstream(ChangeFileExtension(exe, extension.c_str()), std::ios::binary) << bytes;
        return image.Module();
    }
    static std::string Text(const std::vector<uint8_t>& v) { return std::string(v.begin(), v.end()); }

    fs::path dir_;
    TDebugInfoPlatform platform_{};
};

const std::vector<uint8_t> td32 = fixtures::Td32();
const std::vector<uint8_t> jdbg = fixtures::JdbgSample(TELBinDebugScanner::NameScramble).Build();

}  // namespace

TEST_F(DebugInfoSources, ChoiceOfSource)
{
    const std::string map = fixtures::MapText();
    std::vector<uint8_t> loop = fixtures::Td32({0, 12, 1});
    const struct {
        const char* name;
        bool section, inImage;
        std::map<std::string, std::string> files;
        const char* kind;  // nullptr: none
        bool fromSection;
    } cases[] = {
        {"map, tds and section", true, false, {{".map", map}, {".tds", Text(td32)}}, "TELDebugInfoMap", false},
        {"tds and section", true, false, {{".tds", Text(td32)}}, "TELDebugInfoTD32", false},
        {"TD32 in the image", false, true, {}, "TELDebugInfoTD32", false},
        {"section alone", true, false, {}, "TELDebugInfoJedy", true},
        {"section and jdbg file", true, false, {{".jdbg", Text(jdbg)}}, "TELDebugInfoJedy", true},
        {"jdbg file alone", false, false, {{".jdbg", Text(jdbg)}}, "TELDebugInfoJedy", false},
        {"empty map and section", true, false, {{".map", ""}}, "TELDebugInfoJedy", true},
        {"foreign map and tds", false, false, {{".map", "not a map\r\n"}, {".tds", Text(td32)}}, "TELDebugInfoTD32", false},
        {"looping tds and jdbg", false, false, {{".tds", Text(loop)}, {".jdbg", Text(jdbg)}}, "TELDebugInfoJedy", false},
        {"damaged jdbg", false, false, {{".jdbg", Text(jdbg).substr(0, 40)}}, nullptr, false},
        {"none", false, false, {}, nullptr, false},
    };
    int n = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FakeImage image(c.section ? &jdbg : nullptr, c.inImage ? &td32 : nullptr);
        uintptr_t module = Load(image, "m" + std::to_string(n++), c.files);
        std::unique_ptr<TELDebugInfoSource> source;
        EXPECT_EQ(c.kind != nullptr, CreateDebugInfoSource(module, source));
        if (!c.kind) {
            EXPECT_EQ(nullptr, source);
            continue;
        }
        ASSERT_NE(nullptr, source);
        EXPECT_EQ(c.kind, source->ClassName());
        EXPECT_TRUE(source->IsValid());
        if (auto* j = dynamic_cast<TELDebugInfoJedy*>(source.get())) {
            EXPECT_EQ(c.fromSection, j->FromSection());
        }
        if (auto* t = dynamic_cast<TELDebugInfoTD32*>(source.get())) {
            EXPECT_EQ(c.inImage, t->Image()->InImage());
        }
        TELDebugInfoSource* first = source.get();
        EXPECT_FALSE(CreateDebugInfoSource(module, source)) << "a second call";
        EXPECT_EQ(first, source.get());
    }
}

TEST_F(DebugInfoSources, BoundsAndAnswers)
{
    const struct {
        const char* name;
        bool section, inImage;
        std::map<std::string, std::string> files;
        const char* unit;
        const char* procedure;
        int line, lineInProc;
        const char* source;
    } cases[] = {
        {"map", false, false, {{".map", fixtures::MapText()}}, "UnitA", "UnitA.Alpha", 11, 1, "src\\UnitA.pas"},
        {"tds", false, false, {{".tds", Text(td32)}}, "UnitA", "TFoo.Bar", 11, 1, "UnitA.pas"},
        {"TD32 in the image", false, true, {}, "UnitA", "TFoo.Bar", 11, 1, "UnitA.pas"},
        {"section", true, false, {}, "UnitA.cpp", "TFoo.Bar", 12, 2, "src/UnitA.cpp"},
        {"jdbg", false, false, {{".jdbg", Text(jdbg)}}, "UnitA.cpp", "TFoo.Bar", 12, 2, "src/UnitA.cpp"},
    };
    int n = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FakeImage image(c.section ? &jdbg : nullptr, c.inImage ? &td32 : nullptr);
        uintptr_t module = Load(image, "b" + std::to_string(n++), c.files);
        std::unique_ptr<TELDebugInfoSource> source;
        ASSERT_TRUE(CreateDebugInfoSource(module, source));
        TELLocationInfo info;
        for (uintptr_t outside : {module, module + 0x800, module + 0x2010, module + 0x1000 + codeSize, module - 1}) {
            SCOPED_TRACE(outside - module);
            EXPECT_FALSE(source->FindLocation(outside, info));
            EXPECT_EQ("", info.UnitText);
        }
        ASSERT_TRUE(source->FindLocation(module + 0x1000 + 0x10, info));
        EXPECT_EQ(0, info.LineInProc) << "a procedure's first instruction";
        ASSERT_TRUE(source->FindLocation(module + 0x1000 + 0x1C, info));
        EXPECT_EQ(module + 0x101C, info.Addr);
        EXPECT_EQ(c.unit, info.UnitText);
        EXPECT_EQ(c.procedure, info.ProcText);
        EXPECT_EQ(c.line, info.Line);
        EXPECT_EQ(c.lineInProc, info.LineInProc);
        EXPECT_EQ(c.source, info.SourceFile);
        EXPECT_EQ(source.get(), info.Origin);
    }
}

TEST_F(DebugInfoSources, SectionFinderFollowsTheHeaders)
{
    // A larger optional header moves the section table; a huge section count is damage.
    FakeImage wide(&jdbg, nullptr, 240);
    uintptr_t module = Load(wide, "wide", {});
    std::unique_ptr<TELDebugInfoSource> source;
    ASSERT_TRUE(CreateDebugInfoSource(module, source));
    EXPECT_EQ("TELDebugInfoJedy", source->ClassName());

    FakeImage many(&jdbg, nullptr);
    many.Put16(0x86, 0xFFFF);
    module = Load(many, "many", {});
    source.reset();
    EXPECT_FALSE(CreateDebugInfoSource(module, source));

    FakeImage farAway(&jdbg, nullptr);
    farAway.Put32(0x3C, 0x7FFFFFF0);
    module = Load(farAway, "far", {});
    EXPECT_FALSE(CreateDebugInfoSource(module, source));
}
