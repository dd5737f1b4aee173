#include <gtest/gtest.h>

#include <windows.h>

#include <tlhelp32.h>

#include <algorithm>
#include <string>
#include <vector>

#include "crashreport/capture/EModules.h"
#include "crashreport/capture/EOptions.h"
#include "crashreport/capture/EUtilsWin.h"
#include "framework/CodePage.h"

namespace {

std::string TestFolder()
{
    wchar_t buf[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, buf, MAX_PATH);
    std::wstring path = buf;
    return WideToGbk(path.substr(0, path.find_last_of(L'\\') + 1));
}

class TLoadedLibrary {
public:
    explicit TLoadedLibrary(const std::string& path) : h_(LoadLibraryW(GbkToWide(path).c_str())) {}
    ~TLoadedLibrary() { Free(); }
    void Free()
    {
        if (h_)
            FreeLibrary(h_);
        h_ = nullptr;
    }
    uintptr_t Handle() const { return reinterpret_cast<uintptr_t>(h_); }

private:
    HMODULE h_;
};

bool IsSortedByHandle()
{
    TVurazaModulesList& list = ModulesList();
    for (size_t i = 1; i < list.Count(); ++i) {
        if (list.Items(i - 1)->Handle >= list.Items(i)->Handle)
            return false;
    }
    return true;
}

bool HasRecord(uintptr_t handle)
{
    TVurazaModulesList& list = ModulesList();
    for (size_t i = 0; i < list.Count(); ++i) {
        if (list.Items(i)->Handle == handle)
            return true;
    }
    return false;
}

TEST(ModuleRecords, EveryModuleOfASnapshotHasOne)
{
    RefreshModuleList();
    HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, 0);
    ASSERT_NE(INVALID_HANDLE_VALUE, snap) << GetLastError();
    MODULEENTRY32W entry{};
    entry.dwSize = sizeof entry;
    int seen = 0;
    for (BOOL ok = Module32FirstW(snap, &entry); ok; ok = Module32NextW(snap, &entry)) {
        ++seen;
        EXPECT_TRUE(HasRecord(reinterpret_cast<uintptr_t>(entry.hModule))) << WideToGbk(entry.szExePath);
    }
    CloseHandle(snap);
    EXPECT_GT(seen, 3);
    EXPECT_TRUE(IsSortedByHandle());
    // A refresh makes records without classification; asking for one classifies it in place.
    for (size_t i = 0; i < ModulesList().Count(); ++i)
        EXPECT_EQ(mkUnknown, ModulesList().Items(i)->Kind);
    const std::vector<uintptr_t> asked = {reinterpret_cast<uintptr_t>(GetModuleHandleW(L"kernel32.dll")),
                                          reinterpret_cast<uintptr_t>(GetModuleHandleW(nullptr)),
                                          reinterpret_cast<uintptr_t>(GetModuleHandleW(L"ntdll.dll"))};
    const size_t count = ModulesList().Count();
    for (uintptr_t h : asked) {
        TVurazaModuleInfo* record = FindModuleRecord(h);
        ASSERT_NE(nullptr, record);
        EXPECT_EQ(h, record->Handle);
        EXPECT_NE(mkUnknown, record->Kind);
    }
    EXPECT_EQ(count, ModulesList().Count());
    EXPECT_TRUE(IsSortedByHandle());
    EXPECT_EQ(mkProgram, FindModuleRecord(asked[1])->Kind);
    EXPECT_EQ(nullptr, FindModuleRecord(0));
}

TEST(ModuleRecords, Kernel32HasAVersionAndSortedExports)
{
    HMODULE kernel32 = GetModuleHandleW(L"kernel32.dll");
    TVurazaModuleInfo* record = FindModuleRecord(reinterpret_cast<uintptr_t>(kernel32));
    ASSERT_NE(nullptr, record);
    EXPECT_FALSE(record->Version.empty());
    EXPECT_EQ(mkLibrary, record->Kind);
    EXPECT_GT(record->Size, 0u);
    const TVurazaFunctionsList& functions = *record->Functions;
    ASSERT_GT(functions.Count(), 100u);
    bool heapAlloc = false;
    for (size_t i = 0; i < functions.Count(); ++i) {
        if (i > 0) {
            EXPECT_LE(functions.Items(i - 1).Address, functions.Items(i).Address) << functions.Items(i).Name;
        }
        if (functions.Items(i).Name == "HeapAlloc") {
            heapAlloc = true;
            // Forwarded to ntdll: the record holds where the call really goes.
            EXPECT_EQ(reinterpret_cast<uintptr_t>(reinterpret_cast<void*>(GetProcAddress(kernel32, "HeapAlloc"))),
                      functions.Items(i).Address);
        }
    }
    EXPECT_TRUE(heapAlloc);
}

TEST(ModuleRecords, ALibraryGivesItsVersionSizeAndKind)
{
    struct Case {
        const char* file;
        const char* description;
        uint8_t kind;
    } cases[] = {
        {"crashlab_Module.dll", "Crash lab Module library", mkLibrary},
        {"crashlab_Package.dll", "Crash lab Package library", mkPackage},
        {"crashlab_HalfPackage.dll", "Crash lab HalfPackage library", mkLibrary},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        const std::string path = TestFolder() + c.file;
        TLoadedLibrary lib(path);
        ASSERT_NE(0u, lib.Handle()) << GetLastError();
        TVurazaModuleInfo* record = FindModuleRecord(lib.Handle());
        ASSERT_NE(nullptr, record);
        EXPECT_EQ(c.description, record->Description);
        EXPECT_EQ("1.2.3.4", record->Version);
        EXPECT_EQ("1.2", ReadProductVersion(path));
        EXPECT_EQ(FileSizeOf(path), record->Size);
        EXPECT_GT(record->Size, 1000u);
        EXPECT_EQ(c.kind, record->Kind);
        EXPECT_TRUE(IsLibraryImage(lib.Handle()));
        std::vector<std::string> names;
        for (size_t i = 0; i < record->Functions->Count(); ++i)
            names.push_back(record->Functions->Items(i).Name);
        std::sort(names.begin(), names.end());
        EXPECT_EQ((std::vector<std::string>{"LabExportOne", "LabExportThree", "LabExportTwo"}), names);
        const uintptr_t handle = lib.Handle();
        lib.Free();
        RefreshModuleList();
        EXPECT_FALSE(HasRecord(handle));
    }
}

// Overwrites 4 bytes of a loaded image's headers and puts them back afterwards.
class TPatchedHeader {
public:
    TPatchedHeader(uintptr_t at, uint32_t value) : at_(reinterpret_cast<uint32_t*>(at))
    {
        VirtualProtect(at_, 4, PAGE_READWRITE, &protect_);
        saved_ = *at_;
        *at_ = value;
    }
    ~TPatchedHeader()
    {
        *at_ = saved_;
        DWORD ignored;
        VirtualProtect(at_, 4, protect_, &ignored);
    }

private:
    uint32_t* at_;
    uint32_t saved_ = 0;
    DWORD protect_ = 0;
};

TEST(ModuleRecords, DamagedHeadersReadAsNothingWithoutAFault)
{
    TLoadedLibrary lib(TestFolder() + "crashlab_Module.dll");
    ASSERT_NE(0u, lib.Handle());
    const uintptr_t base = lib.Handle();
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS32*>(base + dos->e_lfanew);
    const uintptr_t exportDir = reinterpret_cast<uintptr_t>(&nt->OptionalHeader.DataDirectory[0]);
    const uint32_t sizeOfImage = nt->OptionalHeader.SizeOfImage;
    IMAGE_NT_HEADERS32 read;
    ASSERT_TRUE(ReadModuleNtHeaders(base, read));
    EXPECT_EQ(sizeOfImage, read.OptionalHeader.SizeOfImage);
    EXPECT_FALSE(ReadModuleNtHeaders(0, read));
    {
        // Headers that reach past the image's end.
        TPatchedHeader size(reinterpret_cast<uintptr_t>(&nt->OptionalHeader.SizeOfImage),
                            static_cast<uint32_t>(dos->e_lfanew) + 8);
        EXPECT_FALSE(ReadModuleNtHeaders(base, read));
    }
    {
        TPatchedHeader offset(base + 60, 0x7FFFFFF0);
        EXPECT_FALSE(ReadModuleNtHeaders(base, read));
        EXPECT_EQ(mkUnknown, ModuleImageKind(base));
        EXPECT_FALSE(IsLibraryImage(base));  // the answer for the program itself
        TVurazaFunctionsList functions;
        EXPECT_FALSE(ReadExportedFunctions(base, functions));
    }
    struct Case {
        const char* name;
        uint32_t exportRva;
    } cases[] = {{"past the image", sizeOfImage + 0x1000}, {"straddling its end", sizeOfImage - 8},
                 {"near 4 GB", 0xFFFFFFF0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TPatchedHeader rva(exportDir, c.exportRva);
        TVurazaFunctionsList functions;
        EXPECT_FALSE(ReadExportedFunctions(base, functions));
        EXPECT_EQ(0u, functions.Count());
    }
    TVurazaFunctionsList functions;
    EXPECT_TRUE(ReadExportedFunctions(base, functions));
    EXPECT_EQ(3u, functions.Count());
}

TEST(ModuleRecords, VersionResources)
{
    EXPECT_EQ("", ReadVersionInfo(TestFolder() + "no such file.dll").Version);
    // The test program itself carries no version resource.
    const TVersionInfo own = ReadVersionInfo(ModuleFileNameOf(nullptr));
    EXPECT_EQ("", own.Version);
    EXPECT_EQ("", own.Description);
    EXPECT_EQ(0u, FileSizeOf(TestFolder() + "no such file.dll"));
}

TEST(ModuleRecords, FramePrologues)
{
    struct Case {
        std::string bytes;
        bool prologue, pushEbx;
    } cases[] = {
        {"\x55\x8B\xEC", true, false},
        {"\x55\x89\xE5", true, false},
        {"\x55\x89\xEC", false, false},
        {"\x53\x55\x8B", false, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.bytes));
        EXPECT_EQ(c.prologue, HasFramePrologue(reinterpret_cast<uintptr_t>(c.bytes.data())));
        EXPECT_EQ(c.pushEbx, StartsWithPushEbx(reinterpret_cast<uintptr_t>(c.bytes.data())));
    }
    void* reserved = VirtualAlloc(nullptr, 4096, MEM_RESERVE, PAGE_NOACCESS);
    EXPECT_FALSE(HasFramePrologue(reinterpret_cast<uintptr_t>(reserved)));
    EXPECT_FALSE(StartsWithPushEbx(reinterpret_cast<uintptr_t>(reserved)));
    VirtualFree(reserved, 0, MEM_RELEASE);
}

}  // namespace

TEST(ModuleRecords, TheNinetyFiveFamilyListsThroughAToolHelpSnapshot)
{
    EXPECT_EQ(TModuleListSource::ProcessStatus, ModuleListSourceInUse()) << "Wine is of the NT family";
    const std::string path = TestFolder() + "crashlab_Module.dll";
    TLoadedLibrary lib(path);
    ASSERT_NE(0u, lib.Handle());
    SetModuleListSource(TModuleListSource::ToolHelp);
    RefreshModuleList();
    EXPECT_TRUE(HasRecord(lib.Handle()));
    using TEnumProcessModules = BOOL(WINAPI*)(HANDLE, HMODULE*, DWORD, LPDWORD);
    const auto enumModules = reinterpret_cast<TEnumProcessModules>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "K32EnumProcessModules")));
    ASSERT_NE(nullptr, enumModules);
    HMODULE loaded[512];
    DWORD needed = 0;
    ASSERT_TRUE(enumModules(GetCurrentProcess(), loaded, sizeof loaded, &needed));
    for (DWORD i = 0; i < needed / sizeof(HMODULE) && i < 512; ++i)
        EXPECT_TRUE(HasRecord(reinterpret_cast<uintptr_t>(loaded[i]))) << i;
    EXPECT_TRUE(IsSortedByHandle());
    const uintptr_t handle = lib.Handle();
    lib.Free();
    RefreshModuleList();
    EXPECT_FALSE(HasRecord(handle));
    SetModuleListSource(TModuleListSource::Automatic);
}

TEST(ModuleRecords, RecordsOfUnloadedOrRewrittenModulesAreDropped)
{
    const std::string source = TestFolder() + "crashlab_Module.dll";
    const std::string unloaded = TestFolder() + "crashlab_Module_unloaded.dll";
    const std::string rewritten = TestFolder() + "crashlab_Module_rewritten.dll";
    ASSERT_TRUE(CopyFileW(GbkToWide(source).c_str(), GbkToWide(unloaded).c_str(), FALSE));
    ASSERT_TRUE(CopyFileW(GbkToWide(source).c_str(), GbkToWide(rewritten).c_str(), FALSE));
    const uintptr_t kernel = reinterpret_cast<uintptr_t>(GetModuleHandleW(L"kernel32.dll"));
    ASSERT_NE(nullptr, FindModuleRecord(kernel));
    {
        TLoadedLibrary gone(unloaded), changed(rewritten);
        ASSERT_TRUE(gone.Handle() && changed.Handle());
        ASSERT_NE(nullptr, FindModuleRecord(gone.Handle()));
        ASSERT_NE(nullptr, FindModuleRecord(changed.Handle()));
        EXPECT_EQ(0u, DropStaleModuleRecords()) << "nothing changed yet";
        HANDLE file = CreateFileW(GbkToWide(rewritten).c_str(), FILE_WRITE_ATTRIBUTES,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(INVALID_HANDLE_VALUE, file);
        FILETIME later{};
        GetSystemTimeAsFileTime(&later);
        ASSERT_TRUE(SetFileTime(file, nullptr, nullptr, &later));
        CloseHandle(file);
        const uintptr_t goneHandle = gone.Handle();
        gone.Free();
        {
            TFrozenModuleRecords frozen;
            EXPECT_EQ(0u, DropStaleModuleRecords()) << "frozen records stay as they are";
        }
        EXPECT_EQ(2u, DropStaleModuleRecords());
        ReleaseDroppedModuleRecords();
        EXPECT_FALSE(HasRecord(goneHandle));
        EXPECT_FALSE(HasRecord(changed.Handle()));
        EXPECT_TRUE(HasRecord(kernel));
        // Made again from the file as it is now, and kept.
        ASSERT_NE(nullptr, FindModuleRecord(changed.Handle()));
        EXPECT_EQ(0u, DropStaleModuleRecords());
    }
    DeleteFileW(GbkToWide(unloaded).c_str());
    DeleteFileW(GbkToWide(rewritten).c_str());
}
