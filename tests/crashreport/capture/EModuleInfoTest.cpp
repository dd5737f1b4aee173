#include <gtest/gtest.h>

#include <string>

#include "crashreport/capture/EModuleInfo.h"

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

}  // namespace
