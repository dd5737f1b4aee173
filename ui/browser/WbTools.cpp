#include "ui/browser/WbTools.h"

#include <shlwapi.h>
#include <urlmon.h>
#include <wininet.h>

#include <cstring>
#include <mutex>
#include <vector>

#include "framework/CodePage.h"
#include "framework/ScopedWin.h"

namespace {

// The open-file error box stays away while an optional library is looked for.
HMODULE LoadOptional(const wchar_t* name)
{
    const UINT old = SetErrorMode(SEM_NOOPENFILEERRORBOX);
    HMODULE module = LoadLibraryW(name);
    SetErrorMode(old);
    return reinterpret_cast<UINT_PTR>(module) <= 32 ? nullptr : module;
}

struct FeatureLibrary {
    std::mutex lock;
    std::wstring name = L"URLMON.DLL";
    HMODULE module = nullptr;
    FARPROC set = nullptr;
    FARPROC is = nullptr;
};

FeatureLibrary& Features()
{
    static FeatureLibrary library;
    return library;
}

FARPROC FeatureFunction(bool setter)
{
    FeatureLibrary& f = Features();
    std::lock_guard<std::mutex> guard(f.lock);
    if (!f.module)
        f.module = LoadOptional(f.name.c_str());
    if (!f.module)
        return nullptr;
    FARPROC& slot = setter ? f.set : f.is;
    if (!slot)
        slot = GetProcAddress(f.module, setter ? "CoInternetSetFeatureEnabled" : "CoInternetIsFeatureEnabled");
    return slot;
}

struct SavedProxy {
    bool saved = false;
    std::string applied;
    DWORD access = INTERNET_OPEN_TYPE_DIRECT;
    std::string server;
    std::string bypass;
};

SavedProxy& Saved()
{
    static SavedProxy saved;
    return saved;
}

bool QueryProxy(SavedProxy& out)
{
    DWORD size = 0;
    InternetQueryOptionA(nullptr, INTERNET_OPTION_PROXY, nullptr, &size);
    if (size < sizeof(INTERNET_PROXY_INFO))
        return false;
    std::vector<char> buffer(size);
    if (!InternetQueryOptionA(nullptr, INTERNET_OPTION_PROXY, buffer.data(), &size))
        return false;
    const auto* info = reinterpret_cast<const INTERNET_PROXY_INFO*>(buffer.data());
    out.access = info->dwAccessType;
    out.server = info->lpszProxy ? reinterpret_cast<const char*>(info->lpszProxy) : "";
    out.bypass = info->lpszProxyBypass ? reinterpret_cast<const char*>(info->lpszProxyBypass) : "";
    return true;
}

// The URL moniker session is the one the browser panes use; WinInet's process setting is
// the same store on systems whose urlmon doesn't take the option itself.
bool SetProcessProxy(DWORD access, const std::string& server, const std::string& bypass)
{
    INTERNET_PROXY_INFO info{};
    info.dwAccessType = access;
    info.lpszProxy = server.empty() ? nullptr : reinterpret_cast<LPCSTR>(server.c_str());
    info.lpszProxyBypass = bypass.empty() ? nullptr : reinterpret_cast<LPCSTR>(bypass.c_str());
    const bool session = SUCCEEDED(UrlMkSetSessionOption(INTERNET_OPTION_PROXY, &info, sizeof info, 0));
    const bool process = InternetSetOptionA(nullptr, INTERNET_OPTION_PROXY, &info, sizeof info) != FALSE;
    InternetSetOptionA(nullptr, INTERNET_OPTION_REFRESH, nullptr, 0);
    return session || process;
}

std::string ProxyServerText(const std::string& server, int port)
{
    if (server.empty() || port <= 0 || server.find(':') != std::string::npos)
        return server;
    return server + ":" + std::to_string(port);
}

std::string FileVersionOf(const std::wstring& path)
{
    DWORD handle = 0;
    const DWORD size = GetFileVersionInfoSizeW(path.c_str(), &handle);
    if (!size)
        return {};
    std::vector<BYTE> data(size);
    if (!GetFileVersionInfoW(path.c_str(), 0, size, data.data()))
        return {};
    struct Translation { WORD language; WORD codePage; }* translation = nullptr;
    UINT length = 0;
    if (!VerQueryValueW(data.data(), L"\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translation), &length) ||
        length < sizeof(Translation))
        return {};
    wchar_t block[64];
    wsprintfW(block, L"\\StringFileInfo\\%04x%04x\\FileVersion", translation->language, translation->codePage);
    wchar_t* text = nullptr;
    if (!VerQueryValueW(data.data(), block, reinterpret_cast<void**>(&text), &length) || !text)
        return {};
    return WideToGbk(text);
}

bool KeyExists(HKEY root, const wchar_t* path)
{
    ScopedRegKey key;
    return RegOpenKeyExW(root, path, 0, KEY_READ, key.Receive()) == ERROR_SUCCESS;
}

// Copies the subkey from under parent to its new name and deletes the source.
void MoveSubKey(HKEY parent, const wchar_t* from, const wchar_t* to)
{
    bool copied = false;
    {
        ScopedRegKey target;
        if (RegCreateKeyExW(parent, to, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, target.Receive(), nullptr) !=
            ERROR_SUCCESS)
            return;
        copied = SHCopyKeyW(parent, from, target, 0) == ERROR_SUCCESS;
    }
    if (copied)
        SHDeleteKeyW(parent, from);
}

}  // namespace

HWND HtmlHelpCall(HWND window, const std::string& file, UINT command, DWORD_PTR data)
{
    static HMODULE library = LoadOptional(L"hhctrl.ocx");
    if (!library)
        return nullptr;
    using HtmlHelpA = HWND(WINAPI*)(HWND, LPCSTR, UINT, DWORD_PTR);
    const auto call = reinterpret_cast<HtmlHelpA>(GetProcAddress(library, "HtmlHelpA"));
    return call ? call(window, file.c_str(), command, data) : nullptr;
}

HRESULT SetInternetFeature(int feature, DWORD flags, bool enable)
{
    using Setter = HRESULT(WINAPI*)(INTERNETFEATURELIST, DWORD, BOOL);
    const auto f = reinterpret_cast<Setter>(FeatureFunction(true));
    return f ? f(static_cast<INTERNETFEATURELIST>(feature), flags, enable ? TRUE : FALSE) : E_NOTIMPL;
}

HRESULT IsInternetFeatureEnabled(int feature, DWORD flags)
{
    using Query = HRESULT(WINAPI*)(INTERNETFEATURELIST, DWORD);
    const auto f = reinterpret_cast<Query>(FeatureFunction(false));
    return f ? f(static_cast<INTERNETFEATURELIST>(feature), flags) : E_NOTIMPL;
}

void SetFeatureLibraryName(const std::wstring& name)
{
    FeatureLibrary& f = Features();
    std::lock_guard<std::mutex> guard(f.lock);
    f.name = name;
    f.module = nullptr;
    f.set = f.is = nullptr;
}

HMODULE BrowserResourceLibrary()
{
    static HMODULE library = [] {
        HMODULE loaded = GetModuleHandleW(L"SHDOCLC.DLL");
        return loaded ? loaded : LoadOptional(L"SHDOCLC.DLL");
    }();
    return library;
}

bool IsXpSp2OrNewer()
{
    HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    if (!kernel)
        return false;
    using Verify = BOOL(WINAPI*)(OSVERSIONINFOEXA*, DWORD, DWORDLONG);
    using Mask = ULONGLONG(WINAPI*)(ULONGLONG, DWORD, BYTE);
    const auto verify = reinterpret_cast<Verify>(GetProcAddress(kernel, "VerifyVersionInfoA"));
    const auto mask = reinterpret_cast<Mask>(GetProcAddress(kernel, "VerSetConditionMask"));
    if (!verify || !mask)
        return false;
    OSVERSIONINFOEXA info{};
    info.dwOSVersionInfoSize = sizeof info;
    info.dwMajorVersion = 5;
    info.dwMinorVersion = 1;
    info.wServicePackMajor = 2;
    info.wServicePackMinor = 0;
    ULONGLONG conditions = 0;
    conditions = mask(conditions, VER_MAJORVERSION, VER_GREATER_EQUAL);
    conditions = mask(conditions, VER_MINORVERSION, VER_GREATER_EQUAL);
    conditions = mask(conditions, VER_SERVICEPACKMAJOR, VER_GREATER_EQUAL);
    conditions = mask(conditions, VER_SERVICEPACKMINOR, VER_GREATER_EQUAL);
    return verify(&info, 0x33, conditions) != FALSE;
}

bool ApplyConnectionProxy(const std::string&, const std::string& server)
{
    SavedProxy& saved = Saved();
    if (!saved.saved) {
        if (!QueryProxy(saved))
            saved = SavedProxy{};
        saved.saved = true;
    }
    if (!SetProcessProxy(INTERNET_OPEN_TYPE_PROXY, server, "<local>"))
        return false;
    saved.applied = server;
    return true;
}

bool ApplyConnectionProxyWithLogin(const std::string& agent, const std::string& server, const std::string& user,
                                   const std::string& password, int port)
{
    if (!ApplyConnectionProxy(agent, ProxyServerText(server, port)))
        return false;
    // Credentials go with the process's settings where WinInet keeps them; not every
    // version takes them without a handle, and the proxy stands either way.
    InternetSetOptionA(nullptr, INTERNET_OPTION_PROXY_USERNAME, const_cast<char*>(user.c_str()),
                       static_cast<DWORD>(user.size()));
    InternetSetOptionA(nullptr, INTERNET_OPTION_PROXY_PASSWORD, const_cast<char*>(password.c_str()),
                       static_cast<DWORD>(password.size()));
    return true;
}

bool RestoreConnectionProxy()
{
    SavedProxy& saved = Saved();
    if (!saved.saved)
        return true;
    const bool restored = SetProcessProxy(saved.access, saved.server, saved.bypass);
    saved = SavedProxy{};
    return restored;
}

std::string AppliedProxyServer() { return Saved().applied; }

void SetNavigationSound(bool mute)
{
    const wchar_t* parentPath = L"AppEvents\\Schemes\\Apps\\Explorer\\Navigating\\";
    ScopedRegKey parent;
    if (mute) {
        if (!KeyExists(HKEY_CURRENT_USER, L"AppEvents\\Schemes\\Apps\\Explorer\\Navigating\\.Current"))
            return;
        if (RegCreateKeyExW(HKEY_CURRENT_USER, parentPath, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, parent.Receive(),
                            nullptr) != ERROR_SUCCESS)
            return;
        MoveSubKey(parent, L".Current", L"Old_Current");
    } else {
        if (!KeyExists(HKEY_CURRENT_USER, L"AppEvents\\Schemes\\Apps\\Explorer\\Navigating\\Old_Current"))
            return;
        if (RegOpenKeyExW(HKEY_CURRENT_USER, parentPath, 0, KEY_ALL_ACCESS, parent.Receive()) != ERROR_SUCCESS)
            return;
        MoveSubKey(parent, L"Old_Current", L".Current");
    }
}

std::string BrowserFileVersion()
{
    wchar_t system[MAX_PATH];
    const UINT length = GetSystemDirectoryW(system, MAX_PATH);
    if (!length || length >= MAX_PATH)
        return {};
    std::wstring path = std::wstring(system) + L"\\ieframe.dll";
    if (GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES)
        path = std::wstring(system) + L"\\shdocvw.dll";
    return FileVersionOf(path);
}

std::string BrowserMajorVersion()
{
    const std::string version = BrowserFileVersion();
    return version.substr(0, version.find('.'));
}

HWND FindAncestorByClass(HWND window, const std::wstring& className)
{
    if (!window)
        return nullptr;
    for (HWND w = GetParent(window); w && IsWindow(w); w = GetParent(w)) {
        wchar_t name[256] = {};
        GetClassNameW(w, name, 256);
        if (className == name)
            return w;
    }
    return nullptr;
}

std::wstring WindowClassNameW(HWND window)
{
    if (!window || !IsWindow(window))
        return {};
    std::vector<wchar_t> name(256, L'\0');
    const int length = GetClassNameW(window, name.data(), static_cast<int>(name.size()));
    return std::wstring(name.data(), length > 0 ? static_cast<size_t>(length) : 0);
}

std::string WindowTextA(HWND window)
{
    const int length = GetWindowTextLengthW(window);
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    const int got = GetWindowTextW(window, text.data(), length + 1);
    text.resize(got > 0 ? static_cast<size_t>(got) : 0);
    return WideToGbk(text);
}

int CharPosition(char ch, const std::string& text)
{
    const size_t at = text.find(ch);
    return at == std::string::npos ? 0 : static_cast<int>(at) + 1;
}

wchar_t* TaskMemWideCopy(const std::string& gbk) { return TaskMemWideCopyW(GbkToWide(gbk)); }

wchar_t* TaskMemWideCopyW(const std::wstring& text)
{
    const size_t bytes = (text.size() + 1) * sizeof(wchar_t);
    auto* copy = static_cast<wchar_t*>(CoTaskMemAlloc(bytes));
    if (!copy)
        return nullptr;
    std::memset(copy, 0, bytes);
    std::memcpy(copy, text.data(), text.size() * sizeof(wchar_t));
    return copy;
}
