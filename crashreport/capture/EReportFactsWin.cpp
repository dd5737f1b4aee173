#include "crashreport/capture/EReportFactsWin.h"

#include <iphlpapi.h>
#include <winspool.h>

#include <algorithm>
#include <cstring>

#include "crashreport/capture/ECore.h"
#include "crashreport/capture/ECoreWin.h"
#include "crashreport/capture/EHook.h"
#include "crashreport/capture/EModules.h"
#include "crashreport/capture/EUtils.h"
#include "crashreport/capture/EUtilsWin.h"
#include "framework/CodePage.h"
#include "framework/SysUtils.h"

namespace {

// Loaded on first use and kept: loading the IP helper and the spooler costs more than
// reading them, and a process that crashed once may well crash again.
class TLibrary {
public:
    explicit TLibrary(const wchar_t* name) : module_(LoadLibraryW(name)) {}
    TLibrary(const TLibrary&) = delete;
    TLibrary& operator=(const TLibrary&) = delete;
    template <typename F>
    F Get(const char* name) const
    {
        return module_ ? reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(module_, name))) : nullptr;
    }

private:
    HMODULE module_;
};

const TLibrary& IpHelperLibrary()
{
    static const TLibrary library(L"iphlpapi.dll");
    return library;
}

const TLibrary& SpoolerLibrary()
{
    static const TLibrary library(L"winspool.drv");
    return library;
}

std::string Text(const wchar_t* text) { return text ? WideToGbk(text) : std::string(); }

std::string FirstSubkey(HKEY root, const std::string& key)
{
    std::string path = key;
    if (!path.empty() && path[0] == '\\') path.erase(0, 1);
    HKEY handle = nullptr;
    if (RegOpenKeyExW(root, GbkToWide(path).c_str(), 0, KEY_READ, &handle) != ERROR_SUCCESS) return {};
    wchar_t name[256];
    DWORD size = 256;
    std::string out;
    if (RegEnumKeyExW(handle, 0, name, &size, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS)
        out = WideToGbk(std::wstring_view(name, size));
    RegCloseKey(handle);
    return out;
}

std::string UpperCase(std::string text)
{
    for (char& c : text)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return text;
}

// "\Registry\Machine\System\..." names a key under the machine root from "\SYSTEM" on.
std::string MachineKeyOfDevicePath(const std::string& path)
{
    const size_t at = UpperCase(path).find("\\SYSTEM");
    return at == std::string::npos ? std::string() : path.substr(at + 1);
}

}  // namespace

bool RegistryDword(HKEY root, const std::string& key, const std::string& value, uint32_t& out)
{
    std::string path = key;
    if (!path.empty() && path[0] == '\\') path.erase(0, 1);
    HKEY handle = nullptr;
    if (RegOpenKeyExW(root, GbkToWide(path).c_str(), 0, KEY_READ, &handle) != ERROR_SUCCESS) return false;
    DWORD type = 0, data = 0, size = sizeof data;
    const bool ok = RegQueryValueExW(handle, GbkToWide(value).c_str(), nullptr, &type, reinterpret_cast<BYTE*>(&data),
                                     &size) == ERROR_SUCCESS &&
                    size == 4 && (type == REG_DWORD || type == REG_BINARY);
    RegCloseKey(handle);
    if (ok) out = data;
    return ok;
}

std::string RegisteredCompanyName()
{
    std::string company =
        ReadRegistryString(HKEY_LOCAL_MACHINE, "\\SOFTWARE\\MICROSOFT\\WINDOWS NT\\CURRENTVERSION", "RegisteredOrganization");
    if (company.empty())
        company = ReadRegistryString(HKEY_LOCAL_MACHINE, "\\SOFTWARE\\MICROSOFT\\WINDOWS\\CURRENTVERSION",
                                     "RegisteredOrganization");
    if (company.empty())
        company = ReadRegistryString(HKEY_LOCAL_MACHINE, "\\SOFTWARE\\MICROSOFT\\MS SETUP (ACME)\\USER INFO", "DefCompany");
    return company;
}

std::vector<TReportPrivilege> ProcessPrivileges()
{
    std::vector<TReportPrivilege> out;
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return out;
    DWORD size = 0;
    GetTokenInformation(token, TokenPrivileges, nullptr, 0, &size);
    std::vector<uint8_t> buffer(size + sizeof(TOKEN_PRIVILEGES));
    if (size > 0 && GetTokenInformation(token, TokenPrivileges, buffer.data(), size, &size)) {
        const auto* list = reinterpret_cast<const TOKEN_PRIVILEGES*>(buffer.data());
        for (DWORD i = 0; i < list->PrivilegeCount; ++i) {
            LUID luid = list->Privileges[i].Luid;
            wchar_t name[128];
            DWORD length = 128;
            if (!LookupPrivilegeNameW(nullptr, &luid, name, &length)) continue;
            out.push_back({WideToGbk(std::wstring_view(name, length)),
                           (list->Privileges[i].Attributes & SE_PRIVILEGE_ENABLED) != 0});
        }
    }
    CloseHandle(token);
    return out;
}

std::string SystemLanguageName()
{
    const LCID locale = MAKELCID(GetSystemDefaultLangID(), SORT_DEFAULT);
    wchar_t text[128];
    if (GetLocaleInfoW(locale, LOCALE_SABBREVLANGNAME, text, 128) <= 1) return {};
    return GetLocaleInfoW(locale, LOCALE_SENGLANGUAGE, text, 128) > 0 ? Text(text) : std::string();
}

std::string ServicePackText()
{
    OSVERSIONINFOW info{};
    info.dwOSVersionInfoSize = sizeof info;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    if (!GetVersionExW(&info)) return {};
#pragma GCC diagnostic pop
    return Trim(Text(info.szCSDVersion));
}

uint64_t SystemUpTimeMilliseconds()
{
    // GetTickCount wraps after 49.7 days; its 64-bit form exists from Vista on.
    using TTick64 = ULONGLONG(WINAPI*)();
    static const auto tick64 = reinterpret_cast<TTick64>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "GetTickCount64")));
    return tick64 ? tick64() : GetTickCount();
}

bool ReadNetworkAdapters(std::vector<TReportAdapter>& adapters)
{
    adapters.clear();
    const TLibrary& library = IpHelperLibrary();
    using TGetAdaptersInfo = DWORD(WINAPI*)(PIP_ADAPTER_INFO, PULONG);
    using TGetPerAdapterInfo = DWORD(WINAPI*)(ULONG, PIP_PER_ADAPTER_INFO, PULONG);
    const auto getAdapters = library.Get<TGetAdaptersInfo>("GetAdaptersInfo");
    const auto getPerAdapter = library.Get<TGetPerAdapterInfo>("GetPerAdapterInfo");
    if (!getAdapters || !getPerAdapter) return false;
    ULONG size = 0;
    if (getAdapters(nullptr, &size) != ERROR_BUFFER_OVERFLOW || size == 0) return true;
    std::vector<uint8_t> buffer(size);
    auto* first = reinterpret_cast<PIP_ADAPTER_INFO>(buffer.data());
    if (getAdapters(first, &size) != ERROR_SUCCESS) return true;
    for (PIP_ADAPTER_INFO a = first; a; a = a->Next) {
        TReportAdapter out;
        out.IpAddress = a->IpAddressList.IpAddress.String;
        out.SubnetMask = a->IpAddressList.IpMask.String;
        out.Gateway = a->GatewayList.IpAddress.String;
        out.Dhcp = a->DhcpEnabled != 0;
        ULONG perSize = 0;
        out.DnsListReadable = false;
        if (getPerAdapter(a->Index, nullptr, &perSize) == ERROR_BUFFER_OVERFLOW && perSize > 0) {
            std::vector<uint8_t> per(perSize);
            auto* info = reinterpret_cast<PIP_PER_ADAPTER_INFO>(per.data());
            if (getPerAdapter(a->Index, info, &perSize) == ERROR_SUCCESS) {
                out.DnsListReadable = true;
                for (PIP_ADDR_STRING d = &info->DnsServerList; d; d = d->Next)
                    if (d->IpAddress.String[0]) out.DnsServers.push_back(d->IpAddress.String);
            }
        }
        adapters.push_back(std::move(out));
    }
    return true;
}

bool IsConsoleModule(HMODULE module)
{
    IMAGE_NT_HEADERS32 nt;
    return ReadModuleNtHeaders(reinterpret_cast<uintptr_t>(module), nt) &&
           nt.OptionalHeader.Subsystem == IMAGE_SUBSYSTEM_WINDOWS_CUI;
}

void ReadMemoryFacts(TReportGeneralFacts& facts)
{
    // The extended form: the old one stops at 4 GB and wraps above 2 GB on some systems.
    MEMORYSTATUSEX status{};
    status.dwLength = sizeof status;
    if (GlobalMemoryStatusEx(&status)) {
        facts.TotalMemory = status.ullTotalPhys;
        // Some systems answer more available than installed (Wine under an emulator counts the
        // host's memory): a report never shows more free than total.
        facts.FreeMemory = std::min(status.ullAvailPhys, status.ullTotalPhys);
    }
}

void ReadDiskFacts(const std::string& programFile, TReportGeneralFacts& facts)
{
    facts.DiskKnown = false;
    if (programFile.size() < 3 || programFile[1] != ':') return;
    const std::wstring root = GbkToWide(programFile.substr(0, 3));
    ULARGE_INTEGER available{}, total{}, free{};
    if (GetDiskFreeSpaceExW(root.c_str(), &available, &total, &free)) {
        facts.DiskKnown = true;
        facts.TotalDisk = total.QuadPart;
        facts.FreeDisk = available.QuadPart;
    }
}

void ReadProcessorFacts(TReportGeneralFacts& facts)
{
    const std::string key = "\\HARDWARE\\DESCRIPTION\\System\\CentralProcessor\\0";
    facts.ProcessorNameString = ReadRegistryString(HKEY_LOCAL_MACHINE, key, "ProcessorNameString");
    facts.VendorIdentifier = ReadRegistryString(HKEY_LOCAL_MACHINE, key, "VendorIdentifier");
    facts.Identifier = ReadRegistryString(HKEY_LOCAL_MACHINE, key, "Identifier");
}

void ReadDisplayFacts(TReportGeneralFacts& facts)
{
    HDC screen = GetDC(nullptr);
    if (!screen) return;
    facts.ScreenWidth = GetDeviceCaps(screen, HORZRES);
    facts.ScreenHeight = GetDeviceCaps(screen, VERTRES);
    facts.BitsPerPixel = GetDeviceCaps(screen, BITSPIXEL);
    facts.Dpi = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
}

void ReadVideoCardFacts(TReportGeneralFacts& facts)
{
    DISPLAY_DEVICEW device{};
    device.cb = sizeof device;
    if (EnumDisplayDevicesW(nullptr, 0, &device, 0)) {
        facts.VideoAdapterName = Trim(Text(device.DeviceString));
        const std::string id = Text(device.DeviceID);
        std::string enumKey;
        if (!id.empty()) {
            const std::string base = "System\\CurrentControlSet\\Enum\\" + id;
            const std::string sub = FirstSubkey(HKEY_LOCAL_MACHINE, base);
            enumKey = sub.empty() ? base : base + "\\" + sub;
            const std::string driver = ReadRegistryString(HKEY_LOCAL_MACHINE, enumKey, "Driver");
            if (!driver.empty())
                facts.VideoDriverVersion = ReadRegistryString(
                    HKEY_LOCAL_MACHINE, "System\\CurrentControlSet\\Control\\Class\\" + driver, "DriverVersion");
        }
        std::string videoKey;
        const std::string videoId =
            enumKey.empty() ? std::string()
                            : ReadRegistryString(HKEY_LOCAL_MACHINE, enumKey + "\\Device Parameters", "VideoID");
        if (!videoId.empty())
            videoKey = "System\\CurrentControlSet\\Control\\Video\\" + videoId + "\\0000";
        else
            videoKey = MachineKeyOfDevicePath(
                ReadRegistryString(HKEY_LOCAL_MACHINE, "Hardware\\Devicemap\\Video", "\\Device\\Video0"));
        uint32_t memory = 0;
        if (!videoKey.empty() && RegistryDword(HKEY_LOCAL_MACHINE, videoKey, "HardwareInformation.MemorySize", memory))
            facts.VideoMemory = memory;
        return;
    }
    // Without the device list: the key of the first video device.
    const std::string videoKey =
        MachineKeyOfDevicePath(ReadRegistryString(HKEY_LOCAL_MACHINE, "Hardware\\Devicemap\\Video", "\\Device\\Video0"));
    if (videoKey.empty()) return;
    std::string name = ReadRegistryString(HKEY_LOCAL_MACHINE, videoKey, "HardwareInformation.AdapterString");
    name.erase(std::remove(name.begin(), name.end(), '\0'), name.end());
    facts.VideoAdapterName = Trim(name);
    uint32_t memory = 0;
    if (RegistryDword(HKEY_LOCAL_MACHINE, videoKey, "HardwareInformation.MemorySize", memory)) facts.VideoMemory = memory;
    const std::string image = ReadRegistryString(HKEY_LOCAL_MACHINE, videoKey, "ImagePath");
    if (!image.empty()) facts.VideoDriverVersion = ReadProductVersion(image);
}

void ReadPrinterFacts(TReportGeneralFacts& facts)
{
    facts.HasDefaultPrinter = false;
    const TLibrary& spooler = SpoolerLibrary();
    using TGetDefault = BOOL(WINAPI*)(LPWSTR, LPDWORD);
    using TOpen = BOOL(WINAPI*)(LPWSTR, LPHANDLE, LPPRINTER_DEFAULTSW);
    using TClose = BOOL(WINAPI*)(HANDLE);
    using TGetDriver = BOOL(WINAPI*)(HANDLE, LPWSTR, DWORD, LPBYTE, DWORD, LPDWORD);
    const auto getDefault = spooler.Get<TGetDefault>("GetDefaultPrinterW");
    const auto open = spooler.Get<TOpen>("OpenPrinterW");
    const auto close = spooler.Get<TClose>("ClosePrinter");
    const auto getDriver = spooler.Get<TGetDriver>("GetPrinterDriverW");
    if (!getDefault || !open || !close || !getDriver) return;
    wchar_t name[512];
    DWORD length = 512;
    if (!getDefault(name, &length) || name[0] == 0) return;
    HANDLE printer = nullptr;
    if (!open(name, &printer, nullptr)) return;
    DWORD needed = 0;
    getDriver(printer, nullptr, 2, nullptr, 0, &needed);
    if (needed > 0) {
        std::vector<uint8_t> buffer(needed);
        if (getDriver(printer, nullptr, 2, buffer.data(), needed, &needed)) {
            const auto* info = reinterpret_cast<const DRIVER_INFO_2W*>(buffer.data());
            facts.HasDefaultPrinter = true;
            facts.PrinterDriverName = Text(info->pName);
            const std::string file = Text(info->pDriverPath);
            if (!file.empty()) facts.PrinterDriverVersion = ReadProductVersion(file);
        }
    }
    close(printer);
}

void ReadForegroundWindowFacts(TReportGeneralFacts& facts)
{
    HWND window = GetForegroundWindow();
    if (!window) return;
    wchar_t text[257] = {};
    if (GetClassNameW(window, text, 257) > 0) facts.FormClass = Text(text);
    text[0] = 0;
    // Without sending: the window's thread may be the one that faults or hangs.
    if (InternalGetWindowText(window, text, 257) > 0) facts.FormText = Text(text);
}

void GatherSystemFacts(TReportGeneralFacts& facts)
{
    facts.ProgramFileName = ModuleFileNameOf(nullptr);
    facts.ProgramDescription = ReadVersionInfo(facts.ProgramFileName).Description;
    facts.ProgramFileName = ExtractFileName(facts.ProgramFileName);
    facts.ApplicationVersion = ApplicationVersion();
    facts.CommandLine = CommandLineText();
    facts.UserId = CurrentUserName();
    facts.UserName = RegisteredOwnerName();
    facts.VistaOrLater = OnWindowsVistaOrLater();
    facts.Company = RegisteredCompanyName();
    facts.Privileges = ProcessPrivileges();
    ReadForegroundWindowFacts(facts);
    facts.IsConsoleProgram = IsConsoleModule(GetModuleHandleW(nullptr));
    facts.ComputerName = SafeComputerName();
    ReadMemoryFacts(facts);
    ReadDiskFacts(ModuleFileNameOf(nullptr), facts);
    facts.SystemTickMilliseconds = SystemUpTimeMilliseconds();
    ReadProcessorFacts(facts);
    ReadDisplayFacts(facts);
    ReadVideoCardFacts(facts);
    ReadPrinterFacts(facts);
    facts.OsType = OsVersionName();
    facts.OsBuild = OsBuildNumber();
    facts.OsUpdate = ServicePackText();
    facts.OsLanguage = SystemLanguageName();
    facts.Charset = UserDefaultCharset();
    facts.NetworkAvailable = ReadNetworkAdapters(facts.Adapters);
}
