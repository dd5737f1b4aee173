#pragma once
// Puts a command in place of the test prefix's http handler (winebrowser) for the life of the
// object, so a test can see which address the shell was asked to open.

#include <windows.h>

#include <fstream>
#include <string>

#include "framework/CodePage.h"
#include "framework/Shell.h"
#include "tests/support/UiDriver.h"

struct THandlerSwap {
    explicit THandlerSwap(const std::wstring& command)
    {
        ok = RegCreateKeyExW(HKEY_CLASSES_ROOT, L"http\\shell\\open\\command", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                             &key, nullptr) == ERROR_SUCCESS;
        if (!ok)
            return;
        wchar_t buf[1024] = {};
        DWORD size = sizeof(buf) - sizeof(wchar_t);
        if (RegQueryValueExW(key, nullptr, nullptr, nullptr, reinterpret_cast<BYTE*>(buf), &size) == ERROR_SUCCESS)
            previous = buf;
        Set(command);
    }
    ~THandlerSwap()
    {
        if (!ok)
            return;
        Set(previous);
        RegCloseKey(key);
    }
    void Set(const std::wstring& value)
    {
        RegSetValueExW(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                       static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
    }
    HKEY key = nullptr;
    bool ok = false;
    std::wstring previous;
};


// Registers url_recorder.exe (built beside the test) as the http handler; it writes the address
// it was started with to url_open.txt, which WaitForOpened reads back.
class TShellOpenRecorder {
public:
    TShellOpenRecorder()
        : record_(ProgramFolder() + "url_open.txt"),
          handler_(L"\"" + GbkToWide(ProgramFolder()) + L"url_recorder.exe\" \"%1\"")
    {
        DeleteFileW(GbkToWide(record_).c_str());
    }
    ~TShellOpenRecorder() { DeleteFileW(GbkToWide(record_).c_str()); }
    bool Installed() const { return handler_.ok; }

    // The first address opened, or empty when none came within the time.
    std::string WaitForOpened(int timeoutMs = 10000) const
    {
        std::string opened;
        ui::WaitFor([&] {
            std::ifstream in(record_, std::ios::binary);
            std::getline(in, opened);
            return !opened.empty();
        }, timeoutMs);
        return opened;
    }

private:
    std::string record_;
    THandlerSwap handler_;
};
