// The Windows build's platform: the real environment, locale, files and modules.
#include <windows.h>

#include <vector>

#include "crashreport/capture/ECorePlatform.h"
#include "crashreport/capture/ECoreWin.h"
#include "crashreport/capture/EUtilsWin.h"
#include "framework/CodePage.h"
#include "framework/ScopedWin.h"

namespace {

class TWin32Platform : public TCorePlatform {
public:
    bool GetEnvironment(const std::string& name, std::string& value) override
    {
        const std::wstring wname = GbkToWide(name);
        std::vector<wchar_t> buf(1024);
        SetLastError(ERROR_SUCCESS);
        DWORD n = GetEnvironmentVariableW(wname.c_str(), buf.data(), static_cast<DWORD>(buf.size()));
        if (n >= buf.size()) {  // longer: read again with the exact size
            buf.resize(n);
            n = GetEnvironmentVariableW(wname.c_str(), buf.data(), static_cast<DWORD>(buf.size()));
            if (n >= buf.size())
                return false;
        }
        if (n == 0 && GetLastError() == ERROR_ENVVAR_NOT_FOUND)
            return false;
        value = WideToGbk(std::wstring(buf.data(), n));
        return true;
    }
    std::string ShortDateText() override
    {
        wchar_t buf[128] = {};
        return GetDateFormatW(LOCALE_USER_DEFAULT, DATE_SHORTDATE, nullptr, nullptr, buf, 128) ? WideToGbk(buf) : "";
    }
    std::string ShortTimeText() override
    {
        wchar_t buf[128] = {};
        return GetTimeFormatW(LOCALE_USER_DEFAULT, 0, nullptr, nullptr, buf, 128) ? WideToGbk(buf) : "";
    }
    std::string CurrentFolder() override
    {
        std::vector<wchar_t> buf(32768);
        const DWORD n = GetCurrentDirectoryW(static_cast<DWORD>(buf.size()), buf.data());
        return n && n < buf.size() ? WideToGbk(std::wstring(buf.data(), n)) : "";
    }
    char DecimalSeparator() override
    {
        wchar_t buf[8] = {};
        return GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, buf, 8) && buf[0] < 0x80 && buf[0] ? static_cast<char>(buf[0]) : '.';
    }
    bool FolderExists(const std::string& path) override { return ::FolderExists(path); }
    bool CreateFolder(const std::string& path) override { return CreateDirectoryW(GbkToWide(path).c_str(), nullptr) != FALSE; }
    bool CanCreateFile(const std::string& path) override { return ::CanCreateFile(path); }
    bool CanOpenFileForReading(const std::string& path) override { return ::CanOpenFileForReading(path); }
    std::string ReporterDataFolder() override { return GetReporterDataFolder(); }
    std::string ApplicationFileName() override { return ::ApplicationFileName(); }
    std::string SafeComputerName() override { return ::SafeComputerName(); }
    uintptr_t ModuleHandleOf(const std::string& fileName) override
    {
        return reinterpret_cast<uintptr_t>(GetModuleHandleW(GbkToWide(fileName).c_str()));
    }
    uintptr_t RunningModuleHandle() override
    {
        HMODULE module = nullptr;
        GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                           reinterpret_cast<LPCWSTR>(&SystemCorePlatformAnchor), &module);
        return reinterpret_cast<uintptr_t>(module);
    }
    bool ReadFileBytes(const std::string& path, std::string& bytes) override
    {
        // Others may read meanwhile, not write.
        return ReadWholeFile(path, bytes, 0x40000000 - 1, FILE_SHARE_READ);
    }
    bool WriteFileBytes(const std::string& path, const std::string& bytes) override
    {
        ScopedHandle h(CreateFileW(GbkToWide(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!h)
            return false;
        DWORD written = 0;
        return bytes.empty() || (WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) && written == bytes.size());
    }

private:
    static void SystemCorePlatformAnchor() {}
};

}  // namespace

TCorePlatform& SystemCorePlatform()
{
    static TWin32Platform platform;
    return platform;
}
