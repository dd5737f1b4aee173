#include "framework/IniFile.h"

#include <windows.h>

#include <vector>

std::string TIniFile::ReadString(const std::string& section, const std::string& key, const std::string& fallback) const
{
    std::vector<char> buffer(2048);
    for (;;) {
        const DWORD n = GetPrivateProfileStringA(section.c_str(), key.c_str(), fallback.c_str(), buffer.data(),
                                                 static_cast<DWORD>(buffer.size()), fileName_.c_str());
        // n == size - 1 means the value may have been cut: read again with more room.
        if (n < buffer.size() - 1 || buffer.size() >= (1u << 20))
            return std::string(buffer.data(), n);
        buffer.resize(buffer.size() * 4);
    }
}

void TIniFile::WriteString(const std::string& section, const std::string& key, const std::string& value)
{
    if (!WritePrivateProfileStringA(section.c_str(), key.c_str(), value.c_str(), fileName_.c_str()))
        throw EIniFileException(Format("Unable to write to %s", fileName_.c_str()));
}
