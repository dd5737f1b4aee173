#pragma once
// The "Client.ini" beside the test program, as the trading windows and the program read it.

#include <windows.h>

#include <fstream>
#include <string>

#include "framework/CodePage.h"
#include "framework/Shell.h"

// Writes the file; text is GBK (literals are compiled to it).
inline void WriteClientIni(const std::string& text)
{
    std::ofstream(ProgramFolder() + "Client.ini", std::ios::binary | std::ios::trunc) << text;
}

inline void DeleteClientIni() { DeleteFileW(GbkToWide(ProgramFolder() + "Client.ini").c_str()); }

// One key as the system reads it; "<none>" when missing.
inline std::string ClientIniKey(const std::string& section, const std::string& key)
{
    wchar_t buf[1024] = {};
    GetPrivateProfileStringW(GbkToWide(section).c_str(), GbkToWide(key).c_str(), L"<none>", buf, 1024,
                             GbkToWide(ProgramFolder() + "Client.ini").c_str());
    return WideToGbk(buf);
}
