#include "framework/Shell.h"

#include <windows.h>
#include <shellapi.h>

#include "framework/CodePage.h"

std::string ProgramFolder()
{
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (n == 0)
            return {};
        if (n < path.size()) {
            path.resize(n);
            break;
        }
        path.resize(path.size() * 2);
    }
    const size_t slash = path.find_last_of(L"\\/");
    return WideToGbk(slash == std::wstring::npos ? std::wstring() : path.substr(0, slash + 1));
}

intptr_t ShellExecuteText(const std::string& verb, const std::string& target, int showCommand)
{
    const std::wstring wverb = GbkToWide(verb);
    const std::wstring wtarget = GbkToWide(target);
    HINSTANCE r = ShellExecuteW(nullptr, verb.empty() ? nullptr : wverb.c_str(), wtarget.c_str(), nullptr, nullptr, showCommand);
    return reinterpret_cast<intptr_t>(r);
}
