#include <windows.h>

#include <vector>

#include "framework/CodePage.h"
#include "framework/CodePageTables.h"
#include "framework/Exception.h"

void ForEachGbkCharacter(const std::function<void(unsigned, unsigned)>& f)
{
    auto convert = [&](unsigned code, const char* bytes, int length) {
        wchar_t w[2];
        if (MultiByteToWideChar(936, MB_ERR_INVALID_CHARS, bytes, length, w, 2) == 1)
            f(code, w[0]);
    };
    for (unsigned c = 0x80; c <= 0xFF; ++c) {
        const char b = static_cast<char>(c);
        convert(c, &b, 1);
    }
    for (unsigned lead = 0x81; lead <= 0xFE; ++lead)
        for (unsigned trail = 0x40; trail <= 0xFE; ++trail) {
            const char b[2] = {static_cast<char>(lead), static_cast<char>(trail)};
            convert(lead << 8 | trail, b, 2);
        }
}

std::wstring GbkToWide(std::string_view gbk)
{
    if (gbk.empty())
        return {};
    const int n = MultiByteToWideChar(936, 0, gbk.data(), static_cast<int>(gbk.size()), nullptr, 0);
    if (n <= 0)
        throw EConvertError("Invalid GBK text");
    std::wstring out(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(936, 0, gbk.data(), static_cast<int>(gbk.size()), out.data(), n);
    return out;
}

std::string WideToGbk(std::wstring_view wide)
{
    if (wide.empty())
        return {};
    const int n = WideCharToMultiByte(936, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, "?", nullptr);
    if (n <= 0)
        throw EConvertError("Text conversion failed");
    std::string out(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(936, 0, wide.data(), static_cast<int>(wide.size()), out.data(), n, "?", nullptr);
    return out;
}
