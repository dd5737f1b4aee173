#include <windows.h>

#include <gtest/gtest.h>

#include <fstream>

#include "crashreport/capture/EDebug.h"
#include "tests/crashreport/capture/DebugFixtures.h"

namespace {

std::string ProgramFileName()
{
    char name[MAX_PATH];
    DWORD n = GetModuleFileNameA(nullptr, name, MAX_PATH);
    return std::string(name, n);
}

}  // namespace

TEST(DebugInfoSourcesWin, MapFileBesideTheProgram)
{
    std::string map = ChangeFileExtension(ProgramFileName(), ".map");
    std::ofstream(map, std::ios::binary) << fixtures::MapText();
    auto module = reinterpret_cast<uintptr_t>(GetModuleHandleA(nullptr));
    std::unique_ptr<TELDebugInfoSource> source;
    bool created = CreateDebugInfoSource(module, source);
    DeleteFileA(map.c_str());
    ASSERT_TRUE(created);
    EXPECT_EQ("TELDebugInfoMap", source->ClassName());
    TELLocationInfo info;
    ASSERT_TRUE(source->FindLocation(module + 0x1000 + 0x1C, info));
    EXPECT_EQ("UnitA", info.UnitText);
    EXPECT_EQ("UnitA.Alpha", info.ProcText);
    EXPECT_EQ(11, info.Line);
    EXPECT_FALSE(source->FindLocation(module + 0x800, info));
    EXPECT_FALSE(source->FindLocation(module, info));
}

TEST(DebugInfoSourcesWin, ModulesWithoutDataOrMemory)
{
    std::unique_ptr<TELDebugInfoSource> source;
    EXPECT_FALSE(CreateDebugInfoSource(reinterpret_cast<uintptr_t>(GetModuleHandleA("kernel32.dll")), source));
    void* reserved = VirtualAlloc(nullptr, 0x10000, MEM_RESERVE, PAGE_NOACCESS);
    ASSERT_NE(nullptr, reserved);
    EXPECT_FALSE(CreateDebugInfoSource(reinterpret_cast<uintptr_t>(reserved), source)) << "no fault on a reserved page";
    VirtualFree(reserved, 0, MEM_RELEASE);
    EXPECT_EQ(nullptr, source);
}
