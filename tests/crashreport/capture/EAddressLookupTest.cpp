#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fstream>

#include "crashreport/capture/EAddressLookup.h"
#include "crashreport/capture/EDebug.h"
#include "crashreport/capture/EModules.h"
#include "crashreport/capture/EReporterUnits.h"
#include "crashreport/capture/EStack.h"
#include "crashreport/capture/EThreadContext.h"

// The line of the function's first statement; its prologue carries the line of the brace.
constexpr int lookupTargetLine = __LINE__ + 3;
__attribute__((noinline)) int LookupTarget(int x)
{
    volatile int y = x + 1;
    return y * 2;
}

namespace {

std::string FolderOfProgram()
{
    char name[MAX_PATH];
    DWORD n = GetModuleFileNameA(nullptr, name, MAX_PATH);
    std::string path(name, n);
    return path.substr(0, path.find_last_of('\\') + 1);
}

uintptr_t Address(const void* p)
{
    return reinterpret_cast<uintptr_t>(p);
}

int fileNameCalls = 0;
std::string CountingFileName(uintptr_t module)
{
    ++fileNameCalls;
    return SystemDebugInfoPlatform().ModuleFileName(module);
}

}  // namespace

TEST(AddressLookup, StoredDataOfTheProgram)
{
    TVurazaStackItem item;
    uintptr_t start = Address(reinterpret_cast<const void*>(&LookupTarget));
    LookupAddressInfo(start, 0, item, false, 1);
    EXPECT_EQ(4, item.Kind);
    EXPECT_EQ(lookupTargetLine - 1, item.Line);
    EXPECT_EQ(0, item.LineDistance);
    // push ebp, mov ebp esp, sub esp: the body starts 6 bytes in.
    LookupAddressInfo(start + 6, 77, item, true, 1);
    EXPECT_EQ(4, item.Kind);
    EXPECT_EQ("EAddressLookupTest.cpp", item.UnitName.Str());
    EXPECT_EQ("", item.ClassName.Str());
    EXPECT_EQ("LookupTarget", item.ProcedureName.Str());
    EXPECT_EQ(lookupTargetLine, item.Line);
    EXPECT_EQ(1, item.LineDistance);
    EXPECT_EQ(77u, item.ThreadId);
    EXPECT_EQ(1, item.First);
    EXPECT_EQ(1, item.Group);
    ASSERT_NE(nullptr, item.Module);
    EXPECT_EQ(Address(GetModuleHandleA(nullptr)), item.Module->Handle);
}

TEST(AddressLookup, ReporterUnitsShowOnlyTheirModule)
{
    bool (*reporterFunction)(std::string_view, TAddressNames&) = &ParseExportName;
    TVurazaStackItem item;
    LookupAddressInfo(Address(reinterpret_cast<const void*>(reporterFunction)) + 2, 0, item, false, 1);
    EXPECT_EQ(1, item.Kind);
    EXPECT_EQ("", item.UnitName.Str());
    EXPECT_EQ("", item.ProcedureName.Str());
    EXPECT_EQ(0, item.Line);
    EXPECT_NE(nullptr, item.Module);
    EXPECT_TRUE(IsReporterUnit("EDebugNames.cpp"));
    EXPECT_TRUE(IsReporterUnit("edebug.cpp"));
    EXPECT_FALSE(IsReporterUnit("Program.cpp"));
}

TEST(AddressLookup, ExportsHeapAndModulesWithoutData)
{
    HMODULE kernel = GetModuleHandleA("kernel32.dll");
    auto tick = Address(reinterpret_cast<const void*>(GetProcAddress(kernel, "GetTickCount")));
    TVurazaStackItem item;
    LookupAddressInfo(tick + 3, 0, item, false, 1);
    EXPECT_EQ(2, item.Kind);
    EXPECT_EQ("GetTickCount", item.ProcedureName.Str());
    EXPECT_EQ("", item.UnitName.Str());
    // The byte at start + length is no longer the function's; nor is the next export.
    ASSERT_NE(nullptr, item.Module);
    const TVurazaFunctionsList& functions = *item.Module->Functions;
    size_t index = 0;
    ASSERT_TRUE(FindFunctionIndex(tick, *item.Module, index));
    uintptr_t end = tick + FunctionLength(functions.Items(index));
    if (index + 1 < functions.Count())
        end = std::min(end, functions.Items(index + 1).Address);
    ASSERT_GT(end, tick + 3);
    size_t found = 0;
    EXPECT_TRUE(FindFunctionIndex(end - 1, *item.Module, found) && found == index);
    EXPECT_FALSE(FindFunctionIndex(end, *item.Module, found) && found == index);

    auto heap = std::make_unique<int>(5);
    LookupAddressInfo(Address(heap.get()), 0, item, false, 1);
    EXPECT_EQ(0, item.Kind);
    EXPECT_EQ(Address(heap.get()), item.Address);
    EXPECT_EQ(nullptr, item.Module);

    HMODULE dll = LoadLibraryA("crashreport_lookup_dll.dll");
    ASSERT_NE(nullptr, dll) << GetLastError();
    // Its headers: inside the module, in no export and no debug data.
    LookupAddressInfo(Address(dll) + 0x800, 0, item, false, 1);
    EXPECT_EQ(1, item.Kind);
    EXPECT_EQ(Address(dll), item.Module ? item.Module->Handle : 0);
    FreeLibrary(dll);
}

TEST(AddressLookup, DebugSourceCreatedOnceAfterAnEmptyAnswer)
{
    // A map beside the library: one unit over its code, the function and its line.
    std::string folder = FolderOfProgram();
    HMODULE dll = LoadLibraryA("crashreport_lookup_dll.dll");
    ASSERT_NE(nullptr, dll);
    auto module = Address(dll);
    auto function = Address(reinterpret_cast<const void*>(GetProcAddress(dll, "LookupDllFunction")));
    uint32_t offset = static_cast<uint32_t>(function - module - 0x1000);
    char map[1024];
    std::snprintf(map, sizeof map,
                  " Start         Length     Name                   Class\r\n"
                  " 0001:00401000 00010000H .text                   CODE\r\n\r\n"
                  "Detailed map of segments\r\n\r\n"
                  " 0001:00000000 00010000 C=CODE     S=.text    G=(none)   M=LookupDll ACBP=A9\r\n\r\n"
                  "  Address             Publics by Name\r\n\r\n"
                  "  Address             Publics by Value\r\n\r\n"
                  " 0001:%08X       LookupDll.LookupDllFunction\r\n\r\n"
                  "Line numbers for LookupDll(LookupDll.cpp) segment .text\r\n\r\n"
                  "     2 0001:%08X     4 0001:%08X\r\n\r\n",
                  offset, offset, offset + 3);
    std::string mapFile = folder + "crashreport_lookup_dll.map";
    std::ofstream(mapFile, std::ios::binary) << map;

    TDebugInfoPlatform counting = SystemDebugInfoPlatform();
    counting.ModuleFileName = CountingFileName;
    SetDebugInfoPlatform(&counting);
    fileNameCalls = 0;
    TVurazaStackItem item;
    EXPECT_TRUE(LookupWithDebugSource(Address(reinterpret_cast<const void*>(&LookupTarget)), item));
    EXPECT_EQ(0, fileNameCalls) << "stored data answered: no source is made";

    LookupAddressInfo(function + 3, 0, item, false, 1);
    EXPECT_EQ(2, item.Kind) << "the export answers before the source exists";
    EXPECT_TRUE(LookupWithDebugSource(function + 3, item)) << "an export answer is more than kind 1";
    EXPECT_EQ(0, fileNameCalls);

    // Start-up code of the library: no export holds it, so only the module is known.
    auto inside = module + 0x1000 + 0x10;
    EXPECT_FALSE(LookupWithDebugSource(inside, item));
    EXPECT_EQ(1, item.Kind);
    int afterFirst = fileNameCalls;
    EXPECT_GT(afterFirst, 0) << "the source was made";
    EXPECT_FALSE(LookupWithDebugSource(inside, item));
    EXPECT_EQ(afterFirst, fileNameCalls) << "and only once";

    LookupAddressInfo(function + 3, 0, item, false, 1);
    EXPECT_EQ(4, item.Kind) << "the map's answer";
    EXPECT_EQ("LookupDll.cpp", item.UnitName.Str());
    EXPECT_EQ("", item.ClassName.Str());
    EXPECT_EQ("LookupDllFunction", item.ProcedureName.Str());
    EXPECT_EQ(4, item.Line);
    EXPECT_EQ(2, item.LineDistance);
    SetDebugInfoPlatform(nullptr);
    DeleteFileA(mapFile.c_str());
    FreeLibrary(dll);
}

namespace {

// Holds every heap of the process but the reporter's locked while it lives.
class TLockedHeaps {
public:
    TLockedHeaps()
    {
        count_ = GetProcessHeaps(64, heaps_);
        for (DWORD i = 0; i < count_ && i < 64; ++i)
            locked_[i] = heaps_[i] != ReporterHeap() && HeapLock(heaps_[i]);
    }
    ~TLockedHeaps()
    {
        for (DWORD i = 0; i < count_ && i < 64; ++i)
            if (locked_[i])
                HeapUnlock(heaps_[i]);
    }

private:
    HANDLE heaps_[64] = {};
    bool locked_[64] = {};
    DWORD count_ = 0;
};

struct TFrozenLookups {
    uintptr_t addresses[5] = {};
    TVurazaStackItem items[5];
    bool sourceMade = true;
    volatile LONG reached = -1;  // the lookup under way (5: the refresh), for a failure's message
    HANDLE ready = nullptr, start = nullptr, done = nullptr;
};

DWORD WINAPI RunFrozenLookups(void* parameter)
{
    auto& run = *static_cast<TFrozenLookups*>(parameter);
    // The thread's start-up (which allocates) is over before the heaps are locked.
    SetEvent(run.ready);
    WaitForSingleObject(run.start, INFINITE);
    for (size_t i = 0; i < 5; ++i) {
        run.reached = static_cast<LONG>(i);
        LookupAddressInfo(run.addresses[i], 9, run.items[i], false, 1);
    }
    run.reached = 5;
    RefreshModuleList();
    run.sourceMade = LookupWithDebugSource(run.addresses[4], run.items[4]);
    SetEvent(run.done);
    return 0;
}

}  // namespace

TEST(AddressLookup, FrozenRecordsLookUpWithEveryOtherHeapLocked)
{
    // A module never met before, loaded after the records were made.
    const std::string folder = FolderOfProgram();
    const std::string fresh = folder + "crashreport_lookup_fresh.dll";
    ASSERT_TRUE(CopyFileA((folder + "crashreport_lookup_dll.dll").c_str(), fresh.c_str(), FALSE));
    HMODULE dll = LoadLibraryA("crashreport_lookup_dll.dll");
    HMODULE freshDll = LoadLibraryA(fresh.c_str());
    ASSERT_TRUE(dll && freshDll);
    InstallAddressLookup();
    HMODULE kernel = GetModuleHandleA("kernel32.dll");
    auto run = std::make_unique<TFrozenLookups>();
    run->addresses[0] = Address(reinterpret_cast<const void*>(&LookupTarget)) + 6;
    run->addresses[1] = Address(reinterpret_cast<const void*>(GetProcAddress(kernel, "GetTickCount"))) + 3;
    run->addresses[2] = Address(reinterpret_cast<const void*>(GetProcAddress(dll, "LookupDllFunction"))) + 3;
    auto heap = std::make_unique<int>(5);
    run->addresses[3] = Address(heap.get());
    run->addresses[4] = Address(freshDll) + 0x1010;
    // Measured once before: the export's length is kept in its entry.
    TVurazaStackItem warm;
    LookupAddressInfo(run->addresses[1], 0, warm, false, 1);
    LookupAddressInfo(run->addresses[2], 0, warm, false, 1);
    run->ready = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    run->start = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    run->done = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    HANDLE thread = CreateThread(nullptr, 0, RunFrozenLookups, run.get(), 0, nullptr);
    ASSERT_NE(nullptr, thread);
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(run->ready, 10000));
    DWORD waited;
    {
        TFrozenModuleRecords frozen;
        TLockedHeaps locked;
        SetEvent(run->start);
        waited = WaitForSingleObject(run->done, 10000);
    }
    EXPECT_EQ(WAIT_OBJECT_0, waited) << "lookup " << run->reached << " waited for a locked heap";
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
    CloseHandle(run->ready);
    CloseHandle(run->start);
    CloseHandle(run->done);

    EXPECT_EQ(4, run->items[0].Kind);
    EXPECT_EQ("LookupTarget", run->items[0].ProcedureName.Str());
    EXPECT_EQ(2, run->items[1].Kind);
    EXPECT_EQ("GetTickCount", run->items[1].ProcedureName.Str());
    EXPECT_EQ("LookupDllFunction", run->items[2].ProcedureName.Str());
    EXPECT_EQ(0, run->items[3].Kind);
    // A module loaded after the records were made (no record maker runs in this program) is
    // not asked of the loader while frozen: the faulting thread may hold the loader's lock.
    EXPECT_EQ(0, run->items[4].Kind);
    EXPECT_EQ(nullptr, run->items[4].Module);
    EXPECT_FALSE(run->sourceMade) << "no source is sought while frozen";
    // Thawed, its record is made in full.
    const TVurazaModuleInfo* remade = FindModuleRecord(Address(freshDll));
    ASSERT_NE(nullptr, remade);
    EXPECT_EQ(mkLibrary, remade->Kind);
    FreeLibrary(freshDll);
    FreeLibrary(dll);
    DeleteFileA(fresh.c_str());
}
