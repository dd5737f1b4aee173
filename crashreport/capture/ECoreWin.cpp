#include "crashreport/capture/ECoreWin.h"

#include <cmath>
#include <vector>

#include "crashreport/capture/ECore.h"
#include "framework/CodePage.h"
#include "framework/ScopedWin.h"
#include "framework/SysUtils.h"

namespace {

std::wstring W(const std::string& text)
{
    return GbkToWide(text);
}

std::string G(const wchar_t* text)
{
    return WideToGbk(text ? text : L"");
}

bool IsReadableProtection(DWORD protect)
{
    // PAGE_GUARD, PAGE_NOCACHE and the like lie above PAGE_EXECUTE_WRITECOPY.
    if (protect > PAGE_EXECUTE_WRITECOPY)
        return false;
    switch (protect) {
    case PAGE_READONLY: case PAGE_READWRITE: case PAGE_WRITECOPY: case PAGE_EXECUTE:
    case PAGE_EXECUTE_READ: case PAGE_EXECUTE_READWRITE: case PAGE_EXECUTE_WRITECOPY:
        return true;
    default:
        return false;
    }
}

// The ECore unit's own initialisation: is the program the development environment?
void CoreInit()
{
    wchar_t buf[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, buf, MAX_PATH);
    DetectRunningInIde(G(buf));
}

void CoreDone() {}

struct TCoreUnit {
    TCoreUnit() { RunGuardedStep(&CoreInit, "ECore.Init"); }
    ~TCoreUnit() { RunGuardedStep(&CoreDone, "ECore.Done"); }
} coreUnit;

}  // namespace

std::string ApplicationFileName()
{
    std::vector<wchar_t> buf(32768);
    const DWORD n = GetModuleFileNameW(nullptr, buf.data(), static_cast<DWORD>(buf.size()));
    return n ? WideToGbk(std::wstring(buf.data(), n)) : std::string();
}

std::string GetShellFolderPath(int folderId)
{
    HMODULE lib = LoadLibraryW(L"shfolder.dll");
    if (!lib)
        return "";
    using TGetFolderPath = HRESULT(WINAPI*)(HWND, int, HANDLE, DWORD, LPWSTR);
    auto getFolderPath = reinterpret_cast<TGetFolderPath>(reinterpret_cast<void*>(GetProcAddress(lib, "SHGetFolderPathW")));
    std::string result;
    wchar_t path[MAX_PATH] = {};
    if (getFolderPath && SUCCEEDED(getFolderPath(nullptr, folderId, nullptr, 0, path)))
        result = G(path);
    FreeLibrary(lib);
    return result;
}

std::string GetAppDataFolder()
{
    // A return of 0 is failure and one above the buffer a value that didn't fit.
    std::string environment;
    wchar_t buf[MAX_PATH + 1] = {};
    const DWORD n = GetEnvironmentVariableW(L"AppData", buf, MAX_PATH + 1);
    if (n > 0 && n <= MAX_PATH)
        environment = G(buf);
    std::string tempFolder;
    wchar_t temp[MAX_PATH + 1] = {};
    const DWORD t = GetTempPathW(MAX_PATH + 1, temp);
    if (t > 0 && t <= MAX_PATH)
        tempFolder = G(temp);
    return ChooseAppDataFolder({GetShellFolderPath(0x1A), environment, tempFolder, ExtractFilePath(ApplicationFileName())});
}

std::string GetWindowsFolder()
{
    wchar_t buf[256] = {};
    return GetWindowsDirectoryW(buf, 256) ? G(buf) : std::string();
}

std::string GetReporterDataFolder()
{
    return GetAppDataFolder() + "\\DuruvaDod";
}

bool OnWindows95Family()
{
    OSVERSIONINFOW info{};
    info.dwOSVersionInfoSize = sizeof info;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    return GetVersionExW(&info) && info.dwPlatformId == VER_PLATFORM_WIN32_WINDOWS;
#pragma GCC diagnostic pop
}

std::string GetDefaultSettingsFolder()
{
    return OnWindows95Family() ? GetWindowsFolder() : GetReporterDataFolder();
}

namespace {

std::string IniPath(const std::string& file)
{
    return ExtractFilePath(file).empty() ? IncludeTrailingSlash(GetDefaultSettingsFolder()) + file : file;
}

}  // namespace

std::string ReadIniText(const std::string& file, const std::string& section, const std::string& key,
                        const std::string& fallback)
{
    std::string path = IniPath(file);
    if (!ResolveAccessibleFilePath(path, false, true))
        return fallback;
    wchar_t buf[2048] = {};
    GetPrivateProfileStringW(W(section).c_str(), W(key).c_str(), W(fallback).c_str(), buf, 2048, W(path).c_str());
    return G(buf);
}

void WriteIniText(const std::string& file, const std::string& section, const std::string& key,
                  const std::string& value)
{
    std::string path = IniPath(file);
    if (ResolveAccessibleFilePath(path, false, false))
        WritePrivateProfileStringW(W(section).c_str(), W(key).c_str(), W(value).c_str(), W(path).c_str());
}

size_t ReadableByteCount(const void* address, size_t wanted)
{
    uintptr_t at = reinterpret_cast<uintptr_t>(address);
    size_t counted = 0;
    while (counted < wanted) {
        MEMORY_BASIC_INFORMATION info{};
        if (VirtualQuery(reinterpret_cast<const void*>(at), &info, sizeof info) != sizeof info)
            return 0;
        if (info.State != MEM_COMMIT || !IsReadableProtection(info.Protect))
            return 0;
        const uintptr_t end = reinterpret_cast<uintptr_t>(info.BaseAddress) + info.RegionSize;
        if (end <= at)
            return 0;  // wrapped past the top of the address space
        counted += end - at;
        at = end;
    }
    return wanted;
}

bool IsReadableMemory(const void* address, size_t count)
{
    return ReadableByteCount(address, count) >= count;
}

uintptr_t ResolveImportThunk(uintptr_t address)
{
    const auto* code = reinterpret_cast<const uint8_t*>(address);
    if (!IsReadableMemory(code, 8) || code[0] != 0xFF || code[1] != 0x25)
        return address;
    uintptr_t slot = 0;
    memcpy(&slot, code + 2, 4);
    if (!IsReadableMemory(reinterpret_cast<const void*>(slot), 4))
        return address;
    uintptr_t target = 0;
    memcpy(&target, reinterpret_cast<const void*>(slot), 4);
    return target;
}

double GetFileDateTime(const std::string& fileName)
{
    WIN32_FIND_DATAW found{};
    HANDLE h = FindFirstFileW(W(fileName).c_str(), &found);
    if (h == INVALID_HANDLE_VALUE)
        return 0;
    FindClose(h);
    FILETIME local{};
    WORD dosDate = 0, dosTime = 0;
    if (!FileTimeToLocalFileTime(&found.ftLastWriteTime, &local) || !FileTimeToDosDateTime(&local, &dosDate, &dosTime))
        return 0;
    return DosDateTimeToDateTime(dosDate, dosTime);
}

std::string ExpandLongPathName(const std::string& path)
{
    if (path.find('~') == std::string::npos)
        return path;
    const std::wstring wide = W(path);
    std::vector<wchar_t> full(32768);
    const DWORD n = GetFullPathNameW(wide.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
    if (n == 0 || n >= full.size())
        return path;
    const std::wstring f(full.data(), n);
    // "C:" keeps its backslash; the rest is walked component by component.
    size_t pos = f.size() >= 2 && f[1] == L':' ? 2 : 0;
    std::wstring out = f.substr(0, pos);
    if (pos < f.size() && f[pos] == L'\\')
        out += f[pos++];
    while (pos < f.size()) {
        size_t slash = f.find(L'\\', pos);
        const std::wstring component = f.substr(pos, slash == std::wstring::npos ? std::wstring::npos : slash - pos);
        WIN32_FIND_DATAW found{};
        HANDLE h = FindFirstFileW((out + component).c_str(), &found);
        if (h == INVALID_HANDLE_VALUE) {
            out += f.substr(pos);
            break;
        }
        FindClose(h);
        out += found.cFileName;
        if (slash == std::wstring::npos)
            break;
        out += L'\\';
        pos = slash + 1;
    }
    return WideToGbk(out);
}

std::string ReadRegistryString(HKEY root, const std::string& subKey, const std::string& valueName)
{
    std::string path = subKey;
    if (!path.empty() && path[0] == '\\')
        path.erase(0, 1);
    ScopedRegKey key;
    if (RegOpenKeyExW(root, W(path).c_str(), 0, KEY_READ, key.Receive()) != ERROR_SUCCESS)
        return "";
    std::string result;
    const std::wstring name = W(valueName);
    DWORD type = 0, size = 0;
    if (RegQueryValueExW(key, name.c_str(), nullptr, &type, nullptr, &size) == ERROR_SUCCESS &&
        (type == REG_SZ || type == REG_EXPAND_SZ) && size >= sizeof(wchar_t)) {
        std::vector<wchar_t> buf(size / sizeof(wchar_t) + 1);
        DWORD got = static_cast<DWORD>(buf.size() * sizeof(wchar_t));
        if (RegQueryValueExW(key, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(buf.data()), &got) == ERROR_SUCCESS &&
            (type == REG_SZ || type == REG_EXPAND_SZ)) {
            size_t count = got / sizeof(wchar_t);
            if (count > 0 && buf[count - 1] == L'\0')
                --count;  // the terminator, when the writer stored one
            result = WideToGbk(std::wstring(buf.data(), count));
        }
    }
    return result;
}

int LocalUtcOffsetHours()
{
    SYSTEMTIME local{}, utc{};
    GetLocalTime(&local);
    GetSystemTime(&utc);
    FILETIME fl{}, fu{};
    SystemTimeToFileTime(&local, &fl);
    SystemTimeToFileTime(&utc, &fu);
    const auto ticks = [](const FILETIME& t) {
        return static_cast<int64_t>(static_cast<uint64_t>(t.dwHighDateTime) << 32 | t.dwLowDateTime);
    };
    const double hours = static_cast<double>(ticks(fl) - ticks(fu)) / 36000000000.0;
    return static_cast<int>(std::nearbyint(hours));  // halves go to the even hour
}

bool FolderExists(const std::string& path)
{
    const DWORD attributes = GetFileAttributesW(W(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool CanCreateFile(const std::string& path)
{
    const std::wstring name = W(path);
    bool existed = false;
    {
        ScopedHandle h(CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                   OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!h)
            return false;
        existed = GetLastError() == ERROR_ALREADY_EXISTS;
    }
    if (!existed)
        DeleteFileW(name.c_str());
    return true;
}

bool CanOpenFileForReading(const std::string& path)
{
    ScopedHandle h(CreateFileW(W(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, nullptr));
    return static_cast<bool>(h);
}

std::string SafeComputerName()
{
    wchar_t buf[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD size = MAX_COMPUTERNAME_LENGTH + 1;
    if (!GetComputerNameW(buf, &size))
        return "";
    std::string name = G(buf);
    for (size_t i = 0; i < name.size(); ++i) {
        if (GbkCharLength(name, i) == 2) {
            ++i;  // the trail byte may be "\\" or "|" and belongs to its character
            continue;
        }
        if (std::string_view("\"*/:<>?\\|").find(name[i]) != std::string_view::npos)
            name[i] = '_';
    }
    return name;
}
