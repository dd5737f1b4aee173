#include <gtest/gtest.h>

#include <windows.h>
#include <tlhelp32.h>

#include <string>
#include <vector>

#include "crashreport/capture/EHook.h"
#include "crashreport/capture/EModules.h"
#include "crashreport/capture/EProcesses.h"
#include "framework/CodePage.h"

namespace {

std::wstring CrashLabPath(const wchar_t* program = L"crashlab.exe")
{
    wchar_t buf[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, buf, MAX_PATH);
    std::wstring path = buf;
    return path.substr(0, path.find_last_of(L'\\') + 1) + L"..\\..\\crashlab\\" + program;
}

// The crash-test program as a child, with its input and output on pipes. It is the variant
// without reporter data, whose reporter starts no threads of its own.
class TChild {
public:
    explicit TChild(const std::wstring& args)
    {
        SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
        HANDLE inRead = nullptr, outWrite = nullptr;
        CreatePipe(&inRead, &inWrite_, &sa, 0);
        CreatePipe(&outRead_, &outWrite, &sa, 0);
        SetHandleInformation(inWrite_, HANDLE_FLAG_INHERIT, 0);
        SetHandleInformation(outRead_, HANDLE_FLAG_INHERIT, 0);
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdInput = inRead;
        startup.hStdOutput = outWrite;
        startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
        std::wstring commandLine = L"\"" + CrashLabPath(L"crashlab_plain.exe") + L"\" " + args;
        started_ = CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                                  &info_) != FALSE;
        CloseHandle(inRead);
        CloseHandle(outWrite);
    }
    ~TChild()
    {
        CloseHandle(inWrite_);
        if (started_) {
            if (WaitForSingleObject(info_.hProcess, 10000) != WAIT_OBJECT_0)
                TerminateProcess(info_.hProcess, 1);
            CloseHandle(info_.hThread);
            CloseHandle(info_.hProcess);
        }
        CloseHandle(outRead_);
    }
    bool Started() const { return started_; }
    uint32_t Id() const { return info_.dwProcessId; }
    // The next line of its output, "" at its end.
    std::string ReadLine()
    {
        std::string line;
        char c;
        DWORD got = 0;
        while (ReadFile(outRead_, &c, 1, &got, nullptr) && got == 1 && c != '\n')
            line += c;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        return line;
    }

private:
    HANDLE inWrite_ = nullptr, outRead_ = nullptr;
    PROCESS_INFORMATION info_{};
    bool started_ = false;
};

// Wine's snapshot gives the priority class's index (2) as the base priority, not 8.
bool RunningOnWine()
{
    return GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
}

TEST(Processes, HelpersShowTheirThreadsInIdOrder)
{
    TChild first(L"helper 3"), second(L"helper 3");
    ASSERT_TRUE(first.Started() && second.Started()) << GetLastError();
    ASSERT_EQ("ready", first.ReadLine());
    ASSERT_EQ("ready", second.ReadLine());
    // The snapshot form, and the NT 4 form that opens each process by its id.
    const struct {
        const char* form;
        void (*refresh)();
        bool opened;
    } forms[] = {{"snapshot", &RefreshProcessList, false}, {"process ids", &RefreshProcessListById, true}};
    for (const auto& form : forms) {
        SCOPED_TRACE(form.form);
        form.refresh();
        TVurazaProcessesList& list = ProcessesList();
        for (size_t i = 1; i < list.Count(); ++i)
            EXPECT_LT(list.Items(i - 1)->ProcessId, list.Items(i)->ProcessId);
        for (const TChild* child : {&first, &second}) {
            const int index = FindProcessIndex(child->Id());
            ASSERT_GE(index, 0) << child->Id();
            const TVurazaProcessInfo& info = *list.Items(static_cast<size_t>(index));
            // Its main thread and the three helpers.
            EXPECT_EQ(4u, info.ThreadCount);
            EXPECT_EQ(form.opened || !RunningOnWine() ? 32u : 64u, info.PriorityClass);
            EXPECT_EQ(form.opened, info.Memory > 0) << info.Memory;
            EXPECT_NE(std::string::npos, info.FileName.find("crashlab_plain.exe")) << info.FileName;
        }
        EXPECT_GE(FindProcessIndex(GetCurrentProcessId()), 0);
        EXPECT_EQ(-1, FindProcessIndex(0xFFFFFFF0));
    }
}

// The program's path asked of each process is the one its module snapshot names.
TEST(Processes, EachPathIsTheOneTheModuleSnapshotNames)
{
    TChild child(L"helper 3");
    ASSERT_TRUE(child.Started());
    ASSERT_EQ("ready", child.ReadLine());
    RefreshProcessList();
    TVurazaProcessesList& list = ProcessesList();
    size_t compared = 0;
    for (size_t i = 0; i < list.Count(); ++i) {
        const TVurazaProcessInfo& info = *list.Items(i);
        HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, info.ProcessId);
        if (snap == INVALID_HANDLE_VALUE) continue;
        const std::wstring name = GbkToWide(info.FileName.substr(info.FileName.find_last_of('\\') + 1));
        MODULEENTRY32W entry{};
        entry.dwSize = sizeof entry;
        for (BOOL ok = Module32FirstW(snap, &entry); ok; ok = Module32NextW(snap, &entry)) {
            if (lstrcmpiW(entry.szModule, name.c_str()) == 0) {
                EXPECT_EQ(WideToGbk(entry.szExePath), info.FileName);
                ++compared;
                break;
            }
        }
        CloseHandle(snap);
    }
    EXPECT_GE(compared, 2u) << "at least this process and the child";
}

// A program file's version is read again once the file changed, and kept while it doesn't.
TEST(Processes, AProgramsVersionFollowsItsFile)
{
    wchar_t folder[MAX_PATH] = {}, temp[MAX_PATH] = {};
    GetSystemDirectoryW(folder, MAX_PATH);
    GetTempPathW(MAX_PATH, temp);
    const std::wstring system = folder;
    const std::wstring copy = std::wstring(temp) + L"vidudo-version-cache.exe";
    const std::wstring sources[] = {system + L"\\winver.exe", system + L"\\taskmgr.exe", CrashLabPath(),
                                    system + L"\\winver.exe"};
    std::vector<std::string> seen;
    for (const std::wstring& source : sources) {
        SCOPED_TRACE(WideToGbk(source));
        ASSERT_TRUE(CopyFileW(source.c_str(), copy.c_str(), FALSE)) << GetLastError();
        const TVersionInfo expected = ReadVersionInfo(WideToGbk(source));
        for (int again = 0; again < 2; ++again) {
            const TVersionInfo got = ProgramVersionInfo(WideToGbk(copy));
            EXPECT_EQ(expected.Version, got.Version);
            EXPECT_EQ(expected.Description, got.Description);
        }
        seen.push_back(expected.Version);
    }
    EXPECT_NE(seen[0], seen[1]) << "the sources must differ for the test to tell anything";
    EXPECT_NE(seen[1], seen[2]);
    DeleteFileW(copy.c_str());
    EXPECT_EQ("", ProgramVersionInfo(WideToGbk(copy)).Version);
}

TEST(Processes, AChildSeesUsAsItsParent)
{
    TChild child(L"parent");
    ASSERT_TRUE(child.Started());
    EXPECT_EQ("parent " + std::to_string(GetCurrentProcessId()), child.ReadLine());
}

HWND MakeWindow(int x, int y, int w, int h, DWORD exStyle = 0, HWND owner = nullptr)
{
    HWND window = CreateWindowExW(exStyle, L"STATIC", L"bounds", WS_POPUP | WS_VISIBLE, x, y, w, h, owner, nullptr,
                                  nullptr, nullptr);
    return window;
}

TEST(ProcessWindows, BoundsHoldTheVisibleWindowsOnly)
{
    const uint32_t self = GetCurrentProcessId();
    RECT none = ProcessWindowsBounds(self);
    EXPECT_EQ(-1, none.left);
    EXPECT_EQ(-1, none.bottom);
    HWND a = MakeWindow(100, 120, 200, 100);
    HWND b = MakeWindow(250, 50, 100, 300);
    HWND hidden = CreateWindowExW(0, L"STATIC", L"hidden", WS_POPUP, 0, 0, 900, 900, nullptr, nullptr, nullptr, nullptr);
    HWND minimised = CreateWindowExW(0, L"STATIC", L"minimised", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 10, 10, 500, 500,
                                     nullptr, nullptr, nullptr, nullptr);
    ShowWindow(minimised, SW_MINIMIZE);
    const RECT r = ProcessWindowsBounds(self);
    EXPECT_EQ(100, r.left);
    EXPECT_EQ(50, r.top);
    EXPECT_EQ(350, r.right);
    EXPECT_EQ(350, r.bottom);
    // The main window is the first qualifying one: not a tool window, not owned.
    HWND tool = MakeWindow(0, 0, 50, 50, WS_EX_TOOLWINDOW);
    HWND main = FindProcessMainWindow(self);
    EXPECT_TRUE(main == a || main == b || main == minimised);
    EXPECT_NE(tool, main);
    EXPECT_FALSE(IsIdeProcess(self));
    EXPECT_FALSE(IsIdeProcess(0));
    SnapshotProcessWindows();
    EXPECT_FALSE(IsNewWindow(a));
    HWND later = MakeWindow(0, 0, 10, 10);
    EXPECT_TRUE(IsNewWindow(later));
    EXPECT_TRUE(IsWindowOfProcess(later));
    EXPECT_FALSE(IsWindowOfProcess(GetDesktopWindow()));
    for (HWND w : {a, b, hidden, minimised, tool, later})
        DestroyWindow(w);
}

std::string ClipboardText()
{
    std::string text;
    if (!OpenClipboard(nullptr))
        return "<closed>";
    if (HANDLE data = GetClipboardData(CF_TEXT)) {
        if (const char* p = static_cast<const char*>(GlobalLock(data))) {
            text = p;
            GlobalUnlock(data);
        }
    }
    CloseClipboard();
    return text;
}

TEST(Clipboard, TheReportGoesAsGbkText)
{
    const std::string report = "报告 Access violation at 0040100A";
    CopyReportToClipboard(report);
    EXPECT_EQ(report, ClipboardText());
    ASSERT_TRUE(OpenClipboard(nullptr));
    HANDLE locale = GetClipboardData(CF_LOCALE);
    ASSERT_NE(nullptr, locale);
    EXPECT_EQ(0x0804u, *static_cast<const LCID*>(GlobalLock(locale)));
    GlobalUnlock(locale);
    // Readers of Unicode text get the Chinese characters back.
    HANDLE wide = GetClipboardData(CF_UNICODETEXT);
    ASSERT_NE(nullptr, wide);
    EXPECT_EQ(std::wstring(L"报告 Access violation at 0040100A"), static_cast<const wchar_t*>(GlobalLock(wide)));
    GlobalUnlock(wide);
    CloseClipboard();
    // An empty report leaves the clipboard alone.
    CopyReportToClipboard("");
    EXPECT_EQ(report, ClipboardText());
}

// A clipboard that refuses one format, and the frees of the memory it was offered for it.
UINT refusedFormat = 0;
HANDLE refusedMemory = nullptr;
int refusedMemoryFrees = 0;
decltype(&SetClipboardData) realSetClipboardData = nullptr;
decltype(&GlobalFree) realGlobalFree = nullptr;

HANDLE WINAPI RefusingSetClipboardData(UINT format, HANDLE memory)
{
    if (format != refusedFormat)
        return realSetClipboardData(format, memory);
    refusedMemory = memory;
    SetLastError(ERROR_ACCESS_DENIED);
    return nullptr;
}

HGLOBAL WINAPI CountingGlobalFree(HGLOBAL memory)
{
    if (memory && memory == refusedMemory)
        ++refusedMemoryFrees;
    return realGlobalFree(memory);
}

TEST(Clipboard, MemoryTheClipboardRefusesIsFreedOnce)
{
    HMODULE program = GetModuleHandleW(nullptr);
    realSetClipboardData = reinterpret_cast<decltype(&SetClipboardData)>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32.dll"), "SetClipboardData")));
    realGlobalFree = reinterpret_cast<decltype(&GlobalFree)>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "GlobalFree")));
    const struct {
        const char* dll;
        void* real;
        void* replacement;
    } patches[] = {
        {"user32.dll", reinterpret_cast<void*>(realSetClipboardData), reinterpret_cast<void*>(&RefusingSetClipboardData)},
        {"kernel32.dll", reinterpret_cast<void*>(realGlobalFree), reinterpret_cast<void*>(&CountingGlobalFree)},
    };
    for (const auto& p : patches)
        ASSERT_EQ(p.real, PatchImportTable(program, p.dll, p.real, true, false, p.dll, p.replacement));
    const std::string report = "报告 Access violation at 0040100A";
    const struct {
        UINT format;
        const char* left;  // the text on the clipboard afterwards
    } cases[] = {{CF_TEXT, ""}, {CF_LOCALE, "报告 Access violation at 0040100A"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.format);
        refusedFormat = c.format;
        refusedMemory = nullptr;
        refusedMemoryFrees = 0;
        CopyReportToClipboard(report);
        EXPECT_NE(nullptr, refusedMemory);
        EXPECT_EQ(1, refusedMemoryFrees);
        EXPECT_EQ(c.left, ClipboardText());
    }
    for (const auto& p : patches)
        EXPECT_EQ(p.replacement, PatchImportTable(program, p.dll, p.replacement, true, false, p.dll, p.real));
}

}  // namespace
