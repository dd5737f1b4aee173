// Stands for the registered mail program: writes its command line (UTF-8) to the file named
// by VIDUDO_MAILER_LOG and ends.
#include <windows.h>

#include <cstdio>
#include <string>

int main()
{
    wchar_t path[MAX_PATH];
    if (!GetEnvironmentVariableW(L"VIDUDO_MAILER_LOG", path, MAX_PATH)) return 2;
    const wchar_t* line = GetCommandLineW();
    const int n = WideCharToMultiByte(CP_UTF8, 0, line, -1, nullptr, 0, nullptr, nullptr);
    std::string text(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, line, -1, text.data(), n, nullptr, nullptr);
    FILE* f = _wfopen(path, L"wb");
    if (!f) return 3;
    std::fwrite(text.data(), 1, text.size() - 1, f);
    std::fclose(f);
    return 0;
}
