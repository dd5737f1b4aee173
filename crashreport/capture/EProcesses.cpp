#include "crashreport/capture/EProcesses.h"

#include <psapi.h>
#include <tlhelp32.h>

#include <algorithm>
#include <cwchar>
#include <map>
#include <string>
#include <vector>

#include "crashreport/capture/ECore.h"
#include "crashreport/capture/EModules.h"
#include "crashreport/capture/ERevive.h"
#include "crashreport/capture/EUtilsWin.h"
#include "framework/CodePage.h"
#include "framework/NeverDestroyed.h"
#include "framework/SysUtils.h"

namespace {

TVurazaProcessesList processes;
std::vector<HWND> processWindows;
std::string startupFolder;

template <typename T>
T Proc(HMODULE lib, const char* name)
{
    return lib ? reinterpret_cast<T>(reinterpret_cast<void*>(GetProcAddress(lib, name))) : nullptr;
}

// The tool-help functions, looked up by name: a system without them gives empty lists.
struct TToolHelp {
    HMODULE k = GetModuleHandleW(L"kernel32.dll");
    decltype(&CreateToolhelp32Snapshot) snapshot = Proc<decltype(&CreateToolhelp32Snapshot)>(k, "CreateToolhelp32Snapshot");
    decltype(&Process32FirstW) processFirst = Proc<decltype(&Process32FirstW)>(k, "Process32FirstW");
    decltype(&Process32NextW) processNext = Proc<decltype(&Process32NextW)>(k, "Process32NextW");
    decltype(&Thread32First) threadFirst = Proc<decltype(&Thread32First)>(k, "Thread32First");
    decltype(&Thread32Next) threadNext = Proc<decltype(&Thread32Next)>(k, "Thread32Next");
    decltype(&Module32FirstW) moduleFirst = Proc<decltype(&Module32FirstW)>(k, "Module32FirstW");
    decltype(&Module32NextW) moduleNext = Proc<decltype(&Module32NextW)>(k, "Module32NextW");
    // Vista and later: the program's path from the process itself.
    decltype(&QueryFullProcessImageNameW) imageName =
        Proc<decltype(&QueryFullProcessImageNameW)>(k, "QueryFullProcessImageNameW");
};

class TSnapshot {
public:
    TSnapshot(const TToolHelp& th, DWORD flags, DWORD processId)
        : h_(th.snapshot ? th.snapshot(flags, processId) : INVALID_HANDLE_VALUE) {}
    ~TSnapshot()
    {
        if (h_ != INVALID_HANDLE_VALUE)
            CloseHandle(h_);
    }
    TSnapshot(const TSnapshot&) = delete;
    TSnapshot& operator=(const TSnapshot&) = delete;
    bool Ok() const { return h_ != INVALID_HANDLE_VALUE; }
    HANDLE Handle() const { return h_; }

private:
    HANDLE h_;
};

std::string Trimmed(std::string s)
{
    const size_t b = s.find_first_not_of(" \t\r\n");
    const size_t e = s.find_last_not_of(" \t\r\n");
    return b == std::string::npos ? std::string() : s.substr(b, e - b + 1);
}

// The path of the process's module named like its executable.
std::string ProcessModulePath(const TToolHelp& th, DWORD processId, const std::wstring& exeName)
{
    if (!th.moduleFirst || !th.moduleNext)
        return "";
    TSnapshot snap(th, TH32CS_SNAPMODULE, processId);
    if (!snap.Ok())
        return "";
    MODULEENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL ok = th.moduleFirst(snap.Handle(), &entry); ok; ok = th.moduleNext(snap.Handle(), &entry)) {
        if (lstrcmpiW(entry.szModule, exeName.c_str()) == 0)
            return WideToGbk(entry.szExePath);
    }
    return "";
}

// The process's program as the process knows it: one call instead of a module snapshot of
// the process (milliseconds each); the snapshot where the process can't be asked.
std::string ProcessImagePath(const TToolHelp& th, DWORD processId, const std::wstring& exeName)
{
    if (th.imageName) {
        if (HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId)) {
            wchar_t path[1024];
            DWORD size = 1024;
            const BOOL ok = th.imageName(process, 0, path, &size);
            CloseHandle(process);
            if (ok && size > 0)
                return WideToGbk(std::wstring(path, size));
        }
    }
    return ProcessModulePath(th, processId, exeName);
}

void SortProcesses()
{
    auto& raw = processes.Raw();
    std::stable_sort(raw.begin(), raw.end(), [](const auto& a, const auto& b) { return a->ProcessId < b->ProcessId; });
}

DWORD WindowProcess(HWND window)
{
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    return pid;
}

struct TWindowSearch {
    DWORD processId;
    HWND found = nullptr;
    RECT bounds{-1, -1, -1, -1};
    bool any = false;
    bool ide = false;
};

bool IsOfClass(HWND window, const wchar_t* name)
{
    wchar_t cls[64] = {};
    GetClassNameW(window, cls, 64);
    return lstrcmpW(cls, name) == 0;
}

BOOL CALLBACK FindMainWindowProc(HWND window, LPARAM param)
{
    auto& s = *reinterpret_cast<TWindowSearch*>(param);
    if (WindowProcess(window) != s.processId || !IsWindowVisible(window))
        return TRUE;
    RECT r{};
    GetWindowRect(window, &r);
    if (r.right - r.left <= 0 || r.bottom - r.top <= 0)
        return TRUE;
    HWND owner = GetWindow(window, GW_OWNER);
    if (owner && (GetWindowLongW(owner, GWL_EXSTYLE) & WS_EX_TOOLWINDOW))
        owner = GetWindow(owner, GW_OWNER);
    if (owner && owner != GetDesktopWindow() && !IsOfClass(owner, L"TApplication"))
        return TRUE;
    const LONG ex = GetWindowLongW(window, GWL_EXSTYLE);
    if ((ex & WS_EX_TOOLWINDOW) && !(ex & WS_EX_APPWINDOW))
        return TRUE;
    s.found = window;
    return FALSE;
}

BOOL CALLBACK IdeWindowProc(HWND window, LPARAM param)
{
    auto& s = *reinterpret_cast<TWindowSearch*>(param);
    if (WindowProcess(window) == s.processId && IsOfClass(window, L"TAppBuilder")) {
        s.ide = true;
        return FALSE;
    }
    return TRUE;
}

// Windows minimised to the parking place (-32000, -32000) are not on the screen.
constexpr LONG MinimisedPosition = -32000;

BOOL CALLBACK BoundsProc(HWND window, LPARAM param)
{
    auto& s = *reinterpret_cast<TWindowSearch*>(param);
    if (WindowProcess(window) != s.processId || !IsWindowVisible(window) || IsIconic(window))
        return TRUE;
    RECT r{};
    GetWindowRect(window, &r);
    if (r.right - r.left <= 0 || r.left <= MinimisedPosition || r.top <= MinimisedPosition)
        return TRUE;
    if (!s.any) {
        s.bounds = r;
        s.any = true;
    } else {
        s.bounds.left = std::min(s.bounds.left, r.left);
        s.bounds.top = std::min(s.bounds.top, r.top);
        s.bounds.right = std::max(s.bounds.right, r.right);
        s.bounds.bottom = std::max(s.bounds.bottom, r.bottom);
    }
    return TRUE;
}

BOOL CALLBACK SnapshotProc(HWND window, LPARAM)
{
    if (WindowProcess(window) == GetCurrentProcessId())
        processWindows.push_back(window);
    return TRUE;
}

struct TCachedVersion {
    FILETIME written;
    uint64_t size;
    TVersionInfo info;
};
constexpr size_t VersionCacheLimit = 512;

}  // namespace

TVersionInfo ProgramVersionInfo(const std::string& fileName)
{
    static TNeverDestroyed<std::map<std::string, TCachedVersion>> cache;
    auto& versions = cache.Get();
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExW(GbkToWide(fileName).c_str(), GetFileExInfoStandard, &data)) {
        versions.erase(fileName);
        return ReadVersionInfo(fileName);
    }
    const uint64_t size = (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    const auto known = versions.find(fileName);
    if (known != versions.end() && known->second.size == size &&
        CompareFileTime(&known->second.written, &data.ftLastWriteTime) == 0)
        return known->second.info;
    TVersionInfo info = ReadVersionInfo(fileName);
    if (versions.size() >= VersionCacheLimit)
        versions.clear();
    versions[fileName] = {data.ftLastWriteTime, size, info};
    return info;
}

TVurazaProcessesList& ProcessesList()
{
    return processes;
}

namespace {

// Counts each thread of one thread snapshot towards its owner (the last found tried first).
void CountThreads(const TToolHelp& th)
{
    if (!th.threadFirst || !th.threadNext)
        return;
    TSnapshot snap(th, TH32CS_SNAPTHREAD, 0);
    if (!snap.Ok())
        return;
    THREADENTRY32 entry{};
    entry.dwSize = sizeof entry;
    TVurazaProcessInfo* last = nullptr;
    for (BOOL ok = th.threadFirst(snap.Handle(), &entry); ok; ok = th.threadNext(snap.Handle(), &entry)) {
        if (!last || last->ProcessId != entry.th32OwnerProcessID) {
            const int index = FindProcessIndex(entry.th32OwnerProcessID);
            last = index >= 0 ? processes.Items(static_cast<size_t>(index)) : nullptr;
        }
        if (last)
            ++last->ThreadCount;
    }
}

}  // namespace

void RefreshProcessListById()
{
    processes.Clear();
    HMODULE psapi = LoadLibraryW(L"PSAPI.DLL");
    using TEnumProcesses = BOOL(WINAPI*)(DWORD*, DWORD, DWORD*);
    using TModuleFileNameEx = DWORD(WINAPI*)(HANDLE, HMODULE, wchar_t*, DWORD);
    using TMemoryInfo = BOOL(WINAPI*)(HANDLE, PROCESS_MEMORY_COUNTERS*, DWORD);
    const auto enumProcesses = Proc<TEnumProcesses>(psapi, "EnumProcesses");
    const auto fileNameEx = Proc<TModuleFileNameEx>(psapi, "GetModuleFileNameExW");
    const auto memoryInfo = Proc<TMemoryInfo>(psapi, "GetProcessMemoryInfo");
    std::vector<DWORD> ids(1025);
    DWORD needed = 0;
    if (enumProcesses && fileNameEx &&
        enumProcesses(ids.data(), static_cast<DWORD>(ids.size() * sizeof(DWORD)), &needed)) {
        ids.resize(std::min<size_t>(needed / sizeof(DWORD), ids.size()));
        for (DWORD id : ids) {
            HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, id);
            if (!process)
                continue;
            wchar_t name[261] = {};
            const DWORD length = fileNameEx(process, nullptr, name, 260);
            auto info = std::make_unique<TVurazaProcessInfo>();
            info->ProcessId = id;
            info->FileName = Trimmed(WideToGbk(std::wstring(name, length)));
            if (!info->FileName.empty()) {
                const TVersionInfo version = ProgramVersionInfo(info->FileName);
                info->Description = version.Description;
                info->Version = version.Version;
                info->PriorityClass = GetPriorityClass(process);
                PROCESS_MEMORY_COUNTERS memory{};
                memory.cb = sizeof memory;
                if (memoryInfo && memoryInfo(process, &memory, sizeof memory))
                    info->Memory = memory.WorkingSetSize;
                processes.Add(std::move(info));
            }
            CloseHandle(process);
        }
    }
    if (psapi)
        FreeLibrary(psapi);
    SortProcesses();
    CountThreads(TToolHelp());
}

void RefreshProcessList()
{
    // Windows NT 4 has no tool-help process snapshot: the process-status library lists the ids.
    if (OnWindowsNT4()) {
        RefreshProcessListById();
        return;
    }
    processes.Clear();
    const TToolHelp th;
    if (!th.processFirst || !th.processNext)
        return;
    TSnapshot snap(th, TH32CS_SNAPPROCESS, 0);
    if (!snap.Ok())
        return;
    // Vista and later: every entry is taken from the snapshot, without opening the process.
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL ok = th.processFirst(snap.Handle(), &entry); ok; ok = th.processNext(snap.Handle(), &entry)) {
        auto info = std::make_unique<TVurazaProcessInfo>();
        info->ProcessId = entry.th32ProcessID;
        const std::wstring exe = entry.szExeFile;
        std::string path = ProcessImagePath(th, entry.th32ProcessID, exe);
        info->FileName = Trimmed(path.empty() ? WideToGbk(exe) : path);
        if (!ExtractFileExt(info->FileName).empty()) {
            const TVersionInfo version = ProgramVersionInfo(info->FileName);
            info->Description = version.Description;
            info->Version = version.Version;
        }
        info->PriorityClass = PriorityClassOfBasePriority(entry.pcPriClassBase);
        info->Memory = 0;
        info->ThreadCount = entry.cntThreads;
        processes.Add(std::move(info));
    }
    SortProcesses();
}

int FindProcessIndex(uint32_t processId)
{
    auto& raw = processes.Raw();
    const auto it = std::lower_bound(raw.begin(), raw.end(), processId,
                                     [](const auto& p, uint32_t id) { return p->ProcessId < id; });
    if (it == raw.end() || (*it)->ProcessId != processId)
        return -1;
    return static_cast<int>(it - raw.begin());
}

uint32_t ParentProcessId()
{
    const TToolHelp th;
    if (!th.processFirst || !th.processNext)
        return 0;
    TSnapshot snap(th, TH32CS_SNAPPROCESS, 0);
    if (!snap.Ok())
        return 0;
    const DWORD self = GetCurrentProcessId();
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL ok = th.processFirst(snap.Handle(), &entry); ok; ok = th.processNext(snap.Handle(), &entry)) {
        if (entry.th32ProcessID == self)
            return entry.th32ParentProcessID;
    }
    return 0;
}

HWND FindProcessMainWindow(uint32_t processId)
{
    TWindowSearch s{processId};
    EnumWindows(FindMainWindowProc, reinterpret_cast<LPARAM>(&s));
    return s.found;
}

bool IsIdeProcess(uint32_t processId)
{
    if (processId == 0)
        return false;
    TWindowSearch s{processId};
    EnumWindows(IdeWindowProc, reinterpret_cast<LPARAM>(&s));
    return s.ide;
}

RECT ProcessWindowsBounds(uint32_t processId)
{
    TWindowSearch s{processId};
    EnumWindows(BoundsProc, reinterpret_cast<LPARAM>(&s));
    return s.bounds;
}

void SnapshotProcessWindows()
{
    processWindows.clear();
    EnumWindows(SnapshotProc, 0);
}

bool IsWindowOfProcess(HWND window)
{
    return window && WindowProcess(window) == GetCurrentProcessId();
}

bool IsNewWindow(HWND window)
{
    return std::find(processWindows.begin(), processWindows.end(), window) == processWindows.end();
}

void CopyReportToClipboard(const std::string& text)
{
    if (text.empty())
        return;
    // A clipboard opened without a window loses its owner at EmptyClipboard, and then
    // SetClipboardData fails: a message-only window owns it for the copy.
    HWND owner = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    if (!OpenClipboard(owner)) {
        if (owner)
            DestroyWindow(owner);
        return;
    }
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE | GMEM_DDESHARE, text.size() + 1);
    if (memory) {
        if (void* p = GlobalLock(memory)) {
            memcpy(p, text.c_str(), text.size() + 1);
            GlobalUnlock(memory);
        }
        EmptyClipboard();
        if (SetClipboardData(CF_TEXT, memory)) {
            memory = nullptr;  // the clipboard's now
            // The report is GBK: tell readers of CF_TEXT which code page it is in.
            if (HGLOBAL locale = GlobalAlloc(GMEM_MOVEABLE | GMEM_DDESHARE, sizeof(LCID))) {
                if (void* p = GlobalLock(locale)) {
                    const LCID chinese = 0x0804;
                    memcpy(p, &chinese, sizeof chinese);
                    GlobalUnlock(locale);
                }
                if (!SetClipboardData(CF_LOCALE, locale))
                    GlobalFree(locale);
            }
        } else {
            GlobalFree(memory);
        }
    }
    CloseClipboard();
    if (owner)
        DestroyWindow(owner);
}

void SetStartupFolder(const std::string& folder)
{
    startupFolder = folder;
}

namespace {

// A program the reporter restarted that fails again soon is not restarted again: the time of
// the restart travels to the new process in its environment, as the report's variables do.
constexpr ULONGLONG RestartQuietMilliseconds = 60000;

bool RestartAllowed()
{
    FILETIME now{};
    GetSystemTimeAsFileTime(&now);
    const ULONGLONG ms = ((static_cast<ULONGLONG>(now.dwHighDateTime) << 32) | now.dwLowDateTime) / 10000;
    wchar_t text[32] = {};
    const DWORD n = GetEnvironmentVariableW(L"_RestartTime", text, 32);
    if (n > 0 && n < 32) {
        const ULONGLONG then = wcstoull(text, nullptr, 10);
        if (ms >= then && ms - then < RestartQuietMilliseconds)
            return false;
    }
    SetEnvironmentVariableW(L"_RestartTime", std::to_wstring(ms).c_str());
    return true;
}

}  // namespace

void RestartOrTerminate(bool restart)
{
    if (restart && RestartAllowed()) {
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        GetStartupInfoW(&startup);
        PROCESS_INFORMATION info{};
        std::wstring commandLine = GetCommandLineW();
        const std::wstring folder = GbkToWide(startupFolder);
        if (CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE,
                           CREATE_NEW_PROCESS_GROUP | NORMAL_PRIORITY_CLASS, nullptr,
                           folder.empty() ? nullptr : folder.c_str(), &startup, &info)) {
            CloseHandle(info.hThread);
            CloseHandle(info.hProcess);
        }
    }
    TerminateProcess(GetCurrentProcess(), 1);
    ExitProcess(1);
}

void ReviveProcessStatics()
{
    ReviveStatic(processes);
    ReviveStatic(processWindows);
    ReviveStatic(startupFolder);
}
