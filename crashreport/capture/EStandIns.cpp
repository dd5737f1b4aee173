#include "crashreport/capture/EStandIns.h"

#include "crashreport/capture/ECoreWin.h"
#include "framework/CodePage.h"

std::string ModuleFileNameOf(HMODULE module)
{
    wchar_t buf[MAX_PATH + 1] = {};
    const DWORD n = GetModuleFileNameW(module, buf, MAX_PATH);
    if (n == 0)
        return "";
    std::string name = WideToGbk(std::wstring(buf, n));
    const size_t question = name.find('?');
    if (question != std::string::npos) {
        const size_t colon = name.find(':', question);
        if (colon != std::string::npos && colon > 0)
            name.erase(0, colon - 1);
    }
    return ExpandLongPathName(name);
}

bool ModuleHasFileName(HMODULE module)
{
    wchar_t buf[MAX_PATH + 1] = {};
    return GetModuleFileNameW(module, buf, MAX_PATH) != 0;
}

bool IsStoredDataMark(uint32_t value)
{
    return value == 0x100FAB10 || value == 0x000FAB10;
}
