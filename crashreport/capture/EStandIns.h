#pragma once
// Module file names for the stack and module units, kept local to the files that include this
// (internal linkage) until they use the reporter utilities' ModuleFileNameOf and
// ModuleHasFileName, which behave the same.

#include <windows.h>

#include <string>

#include "crashreport/capture/ECoreWin.h"
#include "framework/CodePage.h"

namespace {

inline std::string ModuleFileNameOf(HMODULE module)
{
    wchar_t buf[MAX_PATH + 1] = {};
    const DWORD n = GetModuleFileNameW(module, buf, MAX_PATH);
    if (n == 0)
        return "";
    std::string name = WideToGbk(std::wstring(buf, n));
    // "\??\C:\x\y.dll": everything before the drive letter goes.
    const size_t question = name.find('?');
    if (question != std::string::npos) {
        const size_t colon = name.find(':', question);
        if (colon != std::string::npos && colon > 0)
            name.erase(0, colon - 1);
    }
    return ExpandLongPathName(name);
}

inline bool ModuleHasFileName(HMODULE module)
{
    wchar_t buf[MAX_PATH + 1] = {};
    return GetModuleFileNameW(module, buf, MAX_PATH) != 0;
}

}  // namespace
