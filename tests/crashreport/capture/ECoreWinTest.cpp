#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "crashreport/capture/ECore.h"
#include "crashreport/capture/ECoreWin.h"
#include "crashreport/capture/EOptions.h"
#include "framework/CodePage.h"

namespace {

const SIZE_T page = 4096;

std::string TempFolder()
{
    wchar_t buf[MAX_PATH + 1] = {};
    GetTempPathW(MAX_PATH + 1, buf);
    return ExcludeTrailingSlash(WideToGbk(buf));
}

// A fresh folder under the temp folder, removed with its files afterwards.
class TScratchFolder {
public:
    TScratchFolder()
    {
        path_ = TempFolder() + "\\crash_core_" + std::to_string(GetCurrentProcessId());
        CreateDirectoryW(GbkToWide(path_).c_str(), nullptr);
    }
    ~TScratchFolder()
    {
        Remove(GbkToWide(path_));
    }
    const std::string& Path() const { return path_; }

private:
    static void Remove(const std::wstring& folder)
    {
        WIN32_FIND_DATAW found{};
        HANDLE h = FindFirstFileW((folder + L"\\*").c_str(), &found);
        if (h != INVALID_HANDLE_VALUE) {
            do {
                const std::wstring name = found.cFileName;
                if (name == L"." || name == L"..")
                    continue;
                if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                    Remove(folder + L"\\" + name);
                else
                    DeleteFileW((folder + L"\\" + name).c_str());
            } while (FindNextFileW(h, &found));
            FindClose(h);
        }
        RemoveDirectoryW(folder.c_str());
    }
    std::string path_;
};

}  // namespace

TEST(Memory, ProbesRegionsLikeTheSystemSeesThem)
{
    auto* base = static_cast<uint8_t*>(VirtualAlloc(nullptr, 4 * page, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
    ASSERT_NE(nullptr, base) << "GetLastError=" << GetLastError();
    DWORD old = 0;
    // Pages: 0 read-only, 1 read-write (two regions, both readable), 2 guard, 3 no access.
    ASSERT_TRUE(VirtualProtect(base, page, PAGE_READONLY, &old)) << "GetLastError=" << GetLastError();
    ASSERT_TRUE(VirtualProtect(base + 2 * page, page, PAGE_READWRITE | PAGE_GUARD, &old)) << "GetLastError=" << GetLastError();
    ASSERT_TRUE(VirtualProtect(base + 3 * page, page, PAGE_NOACCESS, &old)) << "GetLastError=" << GetLastError();

    const struct {
        const uint8_t* address;
        size_t count;
        bool readable;
        const char* what;
    } cases[] = {
        {base, page, true, "one read-only page"},
        {base + page - 16, 32, true, "across two readable regions"},
        {base, 2 * page, true, "two whole readable regions"},
        {base + 2 * page - 8, 16, false, "into the guard page"},
        {base + 2 * page, 1, false, "the guard page"},
        {base + 3 * page, 1, false, "a PAGE_NOACCESS page"},
        {base + page, 3 * page, false, "a readable start is not enough"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.readable, IsReadableMemory(c.address, c.count)) << c.what;
    EXPECT_EQ(32u, ReadableByteCount(base + page - 16, 32));
    EXPECT_EQ(0u, ReadableByteCount(base + 2 * page - 8, 16));
    VirtualFree(base, 0, MEM_RELEASE);

    // Reserved but not committed, then released altogether.
    void* reserved = VirtualAlloc(nullptr, page, MEM_RESERVE, PAGE_READWRITE);
    ASSERT_NE(nullptr, reserved);
    EXPECT_FALSE(IsReadableMemory(reserved, 1)) << "reserved only";
    VirtualFree(reserved, 0, MEM_RELEASE);
    EXPECT_FALSE(IsReadableMemory(reserved, 1)) << "unallocated";
    EXPECT_FALSE(IsReadableMemory(nullptr, 1));
    EXPECT_FALSE(IsReadableMemory(reinterpret_cast<void*>(0xFFFFF000u), 0x2000)) << "past the top";
}

TEST(Memory, FollowsImportThunks)
{
    alignas(4) static uint8_t code[8] = {0xFF, 0x25};
    static uintptr_t slot = 0x12345678;
    const uint32_t slotAddress = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(&slot));
    memcpy(code + 2, &slotAddress, 4);
    EXPECT_EQ(0x12345678u, ResolveImportThunk(reinterpret_cast<uintptr_t>(code)));
    static uint8_t plain[8] = {0x55, 0x8B, 0xEC};
    EXPECT_EQ(reinterpret_cast<uintptr_t>(plain), ResolveImportThunk(reinterpret_cast<uintptr_t>(plain)));
    static uint8_t dangling[8] = {0xFF, 0x25, 0x00, 0x00, 0x00, 0x00};
    EXPECT_EQ(reinterpret_cast<uintptr_t>(dangling), ResolveImportThunk(reinterpret_cast<uintptr_t>(dangling)));
}

TEST(Folders, AppDataFolderIsAPlaceNotALoneBackslash)
{
    const std::string appData = GetAppDataFolder();
    ASSERT_FALSE(appData.empty());
    EXPECT_NE("\\", appData);
    EXPECT_NE('\\', appData.back()) << appData;
    EXPECT_EQ(appData + "\\DuruvaDod", GetReporterDataFolder());
    EXPECT_TRUE(FolderExists(appData)) << appData;
    EXPECT_FALSE(GetWindowsFolder().empty());
    EXPECT_EQ(GetReporterDataFolder(), GetDefaultSettingsFolder());
}

TEST(Folders, LogFilePathsOnTheRealFileSystem)
{
    TScratchFolder scratch;
    const std::string exe = ApplicationFileName();
    const std::string program = ChangeFileExt(ExtractFileName(exe), "");
    TVurazaModuleOptions o(exe);
    const struct {
        std::string output;
        uint8_t logFlags;
        std::string expected;
    } cases[] = {
        {scratch.Path() + "\\报告.elf", 0x30, scratch.Path() + "\\报告.elf"},
        {scratch.Path() + "\\日志\\子", 0x30, scratch.Path() + "\\日志\\子\\" + program + ".elf"},
        // Nobody may create files there, root included.
        {"Z:\\proc\\no_such_dir", 0x30, GetReporterDataFolder() + "\\" + program + "\\" + program + ".elf"},
        {scratch.Path(), 0x38, scratch.Path() + "\\" + program + "_" + SafeComputerName() + ".elf"},
    };
    for (const auto& c : cases) {
        o.SetLogFilePath(c.output);
        o.SetLogFlags(c.logFlags);
        EXPECT_EQ(c.expected, o.BuildLogFileName("")) << c.output;
    }
    EXPECT_TRUE(FolderExists(scratch.Path() + "\\日志\\子")) << "the output folder is created";
}

TEST(Files, CreateReadTimesAndLongNames)
{
    TScratchFolder scratch;
    const std::string file = scratch.Path() + "\\新文件.txt";
    EXPECT_TRUE(CanCreateFile(file));
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(GbkToWide(file).c_str())) << "a new file is removed again";
    EXPECT_FALSE(CanOpenFileForReading(file));
    EXPECT_FALSE(CanCreateFile("Z:\\proc\\x.txt"));

    HANDLE h = CreateFileW(GbkToWide(file).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, h) << "GetLastError=" << GetLastError();
    SYSTEMTIME local = {2026, 12, 4, 10, 13, 45, 30, 0};
    FILETIME localTime{}, utc{};
    SystemTimeToFileTime(&local, &localTime);
    LocalFileTimeToFileTime(&localTime, &utc);
    EXPECT_TRUE(SetFileTime(h, nullptr, nullptr, &utc)) << "GetLastError=" << GetLastError();
    CloseHandle(h);
    EXPECT_TRUE(CanOpenFileForReading(file));
    EXPECT_TRUE(CanCreateFile(file));
    EXPECT_TRUE(CanOpenFileForReading(file)) << "an existing file stays";
    EXPECT_NEAR(46366 + (13 * 3600 + 45 * 60 + 30) / 86400.0, GetFileDateTime(file), 1.0 / 86400);
    EXPECT_EQ(0.0, GetFileDateTime(scratch.Path() + "\\missing"));

    const std::string longFolder = scratch.Path() + "\\LongFolderNameForTheTest";
    ASSERT_TRUE(CreateDirectoryW(GbkToWide(longFolder).c_str(), nullptr));
    wchar_t shortName[MAX_PATH] = {};
    ASSERT_NE(0u, GetShortPathNameW(GbkToWide(longFolder + "\\").c_str(), shortName, MAX_PATH));
    const std::string shortPath = WideToGbk(shortName);
    if (shortPath.find('~') == std::string::npos)
        GTEST_SKIP() << "no short names here: " << shortPath;
    EXPECT_EQ(ExpandLongPathName(scratch.Path()) + "\\LongFolderNameForTheTest\\more\\x.txt",
              ExpandLongPathName(shortPath + "more\\x.txt"));
    EXPECT_EQ("C:\\no~tilde\\x", ExpandLongPathName("C:\\no~tilde\\x")) << "the rest stays when not found";
}

TEST(Files, IniTextInAnExplicitFile)
{
    TScratchFolder scratch;
    const std::string ini = scratch.Path() + "\\设置.ini";
    EXPECT_EQ("fallback", ReadIniText(ini, "User", "Email", "fallback")) << "no file yet";
    WriteIniText(ini, "User", "Email", "张三@example.cn");
    EXPECT_EQ("张三@example.cn", ReadIniText(ini, "User", "Email", ""));
}

TEST(Registry, StringValuesOnly)
{
    HKEY key = nullptr;
    const wchar_t* path = L"Software\\VidudoCrashCoreTest";
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_CURRENT_USER, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr));
    const std::wstring text = L"东方";
    RegSetValueExW(key, L"Terminated", 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()), 3 * sizeof(wchar_t));
    RegSetValueExW(key, L"Bare", 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()), 2 * sizeof(wchar_t));
    RegSetValueExW(key, L"Empty", 0, REG_SZ, nullptr, 0);
    RegSetValueExW(key, L"Expand", 0, REG_EXPAND_SZ, reinterpret_cast<const BYTE*>(L"%TEMP%"), 7 * sizeof(wchar_t));
    const DWORD number = 7;
    RegSetValueExW(key, L"Number", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number), sizeof number);
    RegSetValueExW(key, L"Binary", 0, REG_BINARY, reinterpret_cast<const BYTE*>("abc"), 3);
    RegCloseKey(key);

    const struct {
        const char* value;
        const char* expected;
    } cases[] = {
        {"Terminated", "东方"}, {"Bare", "东方"}, {"Empty", ""}, {"Expand", "%TEMP%"},
        {"Number", ""}, {"Binary", ""}, {"Missing", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.expected, ReadRegistryString(HKEY_CURRENT_USER, "\\Software\\VidudoCrashCoreTest", c.value)) << c.value;
    EXPECT_EQ("", ReadRegistryString(HKEY_CURRENT_USER, "Software\\NoSuchVidudoKey", "x"));
    RegDeleteKeyW(HKEY_CURRENT_USER, path);
}

TEST(System, EnvironmentClockAndNames)
{
    SetEnvironmentVariableW(L"VIDUDO_CRASH_VAR", L"值");
    EXPECT_EQ("[值]", ExpandTextVariables("[%VIDUDO_CRASH_VAR%]"));
    const std::wstring longValue(3000, L'x');
    SetEnvironmentVariableW(L"VIDUDO_CRASH_LONG", longValue.c_str());
    EXPECT_EQ(3000u, ExpandTextVariables("%VIDUDO_CRASH_LONG%").size()) << "read again with the exact size";
    SetEnvironmentVariableW(L"VIDUDO_CRASH_VAR", nullptr);
    EXPECT_EQ("[]", ExpandTextVariables("[%VIDUDO_CRASH_VAR%]"));
    EXPECT_FALSE(ExpandTextVariables("%date%").empty());
    SetEnvironmentVariableW(L"Date", L"today");
    EXPECT_EQ("today", ExpandTextVariables("%date%"));
    SetEnvironmentVariableW(L"Date", nullptr);

    const int offset = LocalUtcOffsetHours();
    EXPECT_GE(offset, -12);
    EXPECT_LE(offset, 14);
    const std::string name = SafeComputerName();
    EXPECT_FALSE(name.empty());
    EXPECT_EQ(std::string::npos, name.find_first_of("\"*/:<>?\\|"));
    EXPECT_FALSE(IsRunningInIde()) << "set at start-up from " << ApplicationFileName();
}

TEST(Options, FilesRoundTripWithAGbkName)
{
    TScratchFolder scratch;
    const std::string file = scratch.Path() + "\\选项.bin";
    TVurazaModuleOptions a("");
    a.SetMailSubject("崩溃");
    a.SaveToFile(file);
    TVurazaModuleOptions b("");
    OptionsStreamVersion = 6000;
    b.LoadFromFile(file);
    EXPECT_EQ("崩溃", b.MailSubject());
    EXPECT_THROW(b.LoadFromFile(scratch.Path() + "\\missing.bin"), Exception);
    EXPECT_THROW(a.SaveToFile("Z:\\proc\\x.bin"), Exception);
}
