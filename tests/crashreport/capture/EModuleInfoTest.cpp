#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "crashreport/capture/EModuleInfo.h"
#include "crashreport/capture/EOptions.h"
#include "crashreport/capture/EStoredData.h"

namespace {

TEST(ProcessInfo, PriorityClassOfBasePriority)
{
    struct Case {
        int32_t base;
        uint32_t priorityClass;
        const char* text;
    } cases[] = {
        {0, 0, ""},          {1, 64, "Low"},      {4, 64, "Low"},     {5, 64, "Low"},
        {6, 0x4000, "Below-Normal"}, {7, 0x4000, "Below-Normal"}, {8, 32, "Normal"}, {9, 32, "Normal"},
        {10, 0x8000, "Above-Normal"}, {12, 0x8000, "Above-Normal"}, {13, 128, "High"}, {23, 128, "High"},
        {24, 256, "Real-Time"}, {31, 256, "Real-Time"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.base);
        EXPECT_EQ(c.priorityClass, PriorityClassOfBasePriority(c.base));
        EXPECT_EQ(c.text, PriorityText(c.priorityClass));
    }
    EXPECT_EQ("", PriorityText(33));
    EXPECT_EQ("??", ThreadCountText(0));
    EXPECT_EQ("12", ThreadCountText(12));
}

TEST(ModuleInfo, FileTexts)
{
    struct Case {
        const char* in;
        const char* folder;
    } folders[] = {
        {"C:\\Program Files\\Vidudo\\Vidudo.exe", "C:\\Program Files\\Vidudo"},
        {"C:\\Vidudo.exe", "C:\\"},
        {"\\??\\C:\\x\\y.dll", "C:\\x"},
        {"D:\\表\\a.dll", "D:\\表"},
        {"a.dll", ""},
    };
    for (const Case& c : folders) {
        SCOPED_TRACE(c.in);
        EXPECT_EQ(c.folder, ModuleFolderText(c.in));
    }
    EXPECT_EQ("", SizeInKbText(0));
    EXPECT_EQ("1 Kb", SizeInKbText(1024));
    EXPECT_EQ("2 Kb", SizeInKbText(1536));
    EXPECT_EQ("1 Kb", SizeInKbText(1535));
    EXPECT_EQ("5.1.x", VersionFamilyText("5.1.2600.2180"));
    EXPECT_EQ("5.1", VersionFamilyText("5.1"));
    EXPECT_EQ("", VersionFamilyText(""));
    EXPECT_EQ(0x401000u + 0x20, CodeImageAddress(0x400000, 0x20));
}

std::string Le32(uint32_t v)
{
    return std::string(reinterpret_cast<char*>(&v), 4);
}

// A block as a module file ends with it: version, date, options, debug data, then size and mark.
std::string Tail(uint16_t version, const std::string& options, const std::string& debug)
{
    std::string block(reinterpret_cast<char*>(&version), 2);
    const double date = 46000.5;
    block += std::string(reinterpret_cast<const char*>(&date), 8) + options + Le32(static_cast<uint32_t>(debug.size())) + debug;
    return block;
}

TEST(StoredData, TheBlockAtAFilesEnd)
{
    TVurazaModuleOptions stored("");
    stored.SetSmtpServer("mail.example.test");
    TByteWriter stream;
    stored.SaveToStream(stream);
    const std::string block = Tail(6101, stream.Data(), "DEBUG");
    const std::string file = std::string(100, 'x') + block + Le32(static_cast<uint32_t>(block.size())) + Le32(0x100FAB10);

    EXPECT_EQ(block.size(), StoredDataBlockSize(file.substr(file.size() - 8), file.size()));
    TVurazaModuleOptions read("");
    uint16_t version = 0;
    double date = 0;
    std::string debug;
    ASSERT_TRUE(ReadStoredDataBlock(block, read, true, version, date, debug));
    EXPECT_EQ(6101, version);
    EXPECT_EQ(46000.5, date);
    EXPECT_EQ("mail.example.test", read.SmtpServer());
    EXPECT_EQ("DEBUG", debug);

    struct Case {
        const char* name;
        std::string trailer;
        uint64_t fileSize;
    } refused[] = {
        {"no mark", Le32(10) + Le32(0x12345678), 1000},
        {"larger than the file", Le32(993) + Le32(0x100FAB10), 1000},
        {"0x7FFFFFFF", Le32(0x7FFFFFFF) + Le32(0x100FAB10), 0x80000010ull},
        {"too small for a version and date", Le32(9) + Le32(0x000FAB10), 1000},
        {"short trailer", Le32(10), 1000},
    };
    for (const Case& c : refused) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(0u, StoredDataBlockSize(c.trailer, c.fileSize));
    }
    // A block cut anywhere, or with a debug size beyond it, is no data.
    for (size_t cut = 0; cut < block.size(); cut += 7) {
        SCOPED_TRACE(cut);
        TVurazaModuleOptions damaged("");
        EXPECT_FALSE(ReadStoredDataBlock(block.substr(0, cut), damaged, true, version, date, debug));
    }
    std::string lying = Tail(6101, stream.Data(), "");
    lying.replace(lying.size() - 4, 4, Le32(0x7FFFFFFF));
    TVurazaModuleOptions damaged("");
    EXPECT_FALSE(ReadStoredDataBlock(lying, damaged, true, version, date, debug));
}

}  // namespace
