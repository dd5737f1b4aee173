#pragma once
// Puts a command in place of the test prefix's http handler (winebrowser) for the life of the
// object, so a test can see which address the shell was asked to open.

#include <windows.h>

#include <string>

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

