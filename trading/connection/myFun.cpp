#include "trading/connection/myFun.h"

#include <windows.h>

#include "framework/IniFile.h"
#include "framework/Shell.h"
#include "framework/SysUtils.h"

std::string TFun::ReadIniString(const std::string& file, const std::string& section, const std::string& key,
                                const std::string& fallback)
{
    return TIniFile(file).ReadString(section, key, fallback);
}

void TFun::WriteIniString(const std::string& file, const std::string& section, const std::string& key,
                          const std::string& value)
{
    TIniFile ini(file);
    ini.WriteString(section, key, value);
}

void TFun::ShellOpen(const std::string& target) { ShellExecuteText("", target, SW_SHOWNORMAL); }

bool TFun::IsInteger(const std::string& text)
{
    int32_t v = 0;
    return TryStrToInt(text, v);
}

bool TFun::IsFloat(const std::string& text)
{
    double v = 0;
    return TryStrToFloat(text, v, UserDecimalSeparator());
}

char UserDecimalSeparator()
{
    wchar_t buf[8] = {};
    if (GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, buf, 8) == 2 && buf[0] < 0x80)
        return static_cast<char>(buf[0]);
    return '.';
}
