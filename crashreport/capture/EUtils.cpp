#include "crashreport/capture/EUtils.h"

#include <cmath>
#include <cstring>

#include "crashreport/capture/ECore.h"
#include "framework/Exception.h"
#include "framework/SysUtils.h"

std::string CollapseControlChars(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    bool inRun = false;
    for (char c : text) {
        if (static_cast<unsigned char>(c) < 32) {
            if (!inRun)
                out += ' ';
            inRun = true;
        } else {
            out += c;
            inRun = false;
        }
    }
    return out;
}

std::string PadRight(std::string_view text, size_t width)
{
    std::string out(text);
    if (width > out.size())
        out.append(width - out.size(), ' ');
    return out;
}

std::string HtmlEscape(std::string_view text)
{
    std::string out = ReplaceAllText(text, "&", "&amp;");
    out = ReplaceAllText(out, "\"", "&quot;");
    out = ReplaceAllText(out, "'", "&#039;");
    out = ReplaceAllText(out, "<", "&lt;");
    out = ReplaceAllText(out, ">", "&gt;");
    out = ReplaceAllText(out, "  ", "&nbsp;&nbsp;");
    return ReplaceAllText(out, "\r\n", "<br>\r\n");
}

std::string DurationText(double days)
{
    // Counted in whole seconds: 3 s as a fraction of a day multiplies back to 2.9999...
    const double seconds = std::isfinite(days) && days > 0 ? std::floor(days * 86400.0 + 1e-6) : 0;
    const long long total = seconds > 9.2e18 ? 0 : static_cast<long long>(seconds);
    const long long parts[] = {total / 86400, total / 3600 % 24, total / 60 % 60, total % 60};
    static const char* const words[] = {"day", "hour", "minute", "second"};
    std::string out;
    for (int i = 0; i < 4; ++i) {
        if (i < 3 && parts[i] == 0)
            continue;
        out += Format("%lld %s%s", parts[i], words[i], parts[i] > 1 ? "s" : "");
        if (i < 3)
            out += ", ";
    }
    return out;
}

namespace {

// Days from 1970-01-01 of a civil date, and back (proleptic Gregorian).
long long DaysFromCivil(long long y, unsigned m, unsigned d)
{
    y -= m <= 2;
    const long long era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<long long>(doe) - 719468;
}

void CivilFromDays(long long z, int& year, int& month, int& day)
{
    z += 719468;
    const long long era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    year = static_cast<int>(static_cast<long long>(yoe) + era * 400 + (month <= 2));
}

const long long kDelphiEpoch = -25569;  // 1899-12-30 in days from 1970-01-01

}  // namespace

TDateTimeParts DecodeDateTime(double dateTime)
{
    TDateTimeParts p{};
    if (!std::isfinite(dateTime) || std::fabs(dateTime) > 3e6)
        dateTime = 0;
    // Rounded to the second first, so 23:59:59.9996 doesn't print as second 60.
    const long long totalSeconds = std::llround(dateTime * 86400.0);
    long long days = totalSeconds / 86400;
    long long secondOfDay = totalSeconds % 86400;
    if (secondOfDay < 0) {
        secondOfDay += 86400;
        --days;
    }
    CivilFromDays(days + kDelphiEpoch, p.year, p.month, p.day);
    p.hour = static_cast<int>(secondOfDay / 3600);
    p.minute = static_cast<int>(secondOfDay / 60 % 60);
    p.second = static_cast<int>(secondOfDay % 60);
    // 1899-12-30 was a Saturday.
    p.weekDay = static_cast<int>(((days + 6) % 7 + 7) % 7);
    return p;
}

double EncodeDateTime(int year, int month, int day, int hour, int minute, int second)
{
    const long long days = DaysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day)) - kDelphiEpoch;
    return static_cast<double>(days) + (hour * 3600 + minute * 60 + second) / 86400.0;
}

std::string MailDateZone(int offsetMinutes)
{
    const int magnitude = offsetMinutes < 0 ? -offsetMinutes : offsetMinutes;
    return Format("%c%02d%02d", offsetMinutes < 0 ? '-' : '+', magnitude / 60 % 100, magnitude % 60);
}

std::string FormatMailDateAt(double localDateTime, int offsetMinutes)
{
    static const char* const dayNames[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static const char* const monthNames[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                             "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    const TDateTimeParts p = DecodeDateTime(localDateTime);
    return Format("%s, %d %s %d %02d:%02d:%02d %s", dayNames[p.weekDay], p.day, monthNames[p.month - 1], p.year,
                  p.hour, p.minute, p.second, MailDateZone(offsetMinutes).c_str());
}

std::string ReportDateTimeText(double dateTime)
{
    const TDateTimeParts p = DecodeDateTime(dateTime);
    return Format("%04d-%02d-%02d %02d:%02d:%02d", p.year, p.month, p.day, p.hour, p.minute, p.second);
}

bool IsStoredDataMark(uint32_t value)
{
    return value == 0x100FAB10 || value == 0x000FAB10;
}

bool IsCompatibleLibraryVersion(int version)
{
    // From the version rounded down to the hundred up to one hundred more.
    const int base = ReporterLibraryVersion / 100 * 100;
    return version >= base && version <= base + 100;
}

std::string OsVersionNameOf(const TOsVersionFacts& f)
{
    std::string name = "Microsoft Windows ";
    const std::string numbers = Format("%u.%u", f.major, f.minor);
    if (f.platformId == 1) {
        const std::string sp = Trim(f.servicePack);
        if (f.minor < 10)
            name += sp == "B" ? "95 OSR 2" : "95";
        else if (f.minor < 90)
            name += sp == "A" ? "98 SE" : "98";
        else if (f.minor == 90)
            name += "ME";
        else
            name += numbers;
    } else if (f.platformId == 2) {
        if (f.major == 4)
            name += "NT 4.0";
        else if (f.major == 5 && f.minor == 0)
            name += "2000";
        else if (f.major == 5 && f.minor == 1)
            name += "XP";
        else if (f.major == 5 && f.minor == 2)
            name += f.workstation ? "XP" : "2003";
        else if (f.major == 6 && f.minor == 0)
            name += f.workstation ? "Vista" : "Server 2008";
        else if (f.major == 6 && f.minor == 1)
            name += f.workstation ? "7" : "Server 2008 R2";
        else
            name += numbers;
        if (f.wow64)
            name += " (64 bit)";
    }
    return name;
}

const char* ClassNameOfMangled(const char* mangled, char* out, size_t size)
{
    if (!out || size == 0)
        return out;
    out[0] = '\0';
    if (!mangled)
        return out;
    size_t used = 0;
    auto put = [&](const char* s, size_t n) {
        while (n-- > 0 && used + 1 < size)
            out[used++] = *s++;
        out[used] = '\0';
    };
    auto copyRaw = [&] {
        used = 0;
        put(mangled, std::strlen(mangled));
        return out;
    };
    const char* p = mangled;
    if (*p == '*')
        ++p;  // GCC marks types local to one unit
    const bool nested = *p == 'N';
    if (nested)
        ++p;
    bool first = true;
    if (!nested && p[0] == 'S' && p[1] == 't') {
        put("std::", 5);
        p += 2;
    }
    while (*p >= '0' && *p <= '9') {
        size_t n = 0;
        while (*p >= '0' && *p <= '9' && n < 100000)
            n = n * 10 + static_cast<size_t>(*p++ - '0');
        if (std::strlen(p) < n)
            return copyRaw();
        if (!first)
            put("::", 2);
        if (n >= 10 && std::strncmp(p, "_GLOBAL__N", 10) == 0)
            put("(anonymous namespace)", 21);
        else
            put(p, n);
        p += n;
        first = false;
        if (!nested)
            break;
    }
    if (first || (nested ? *p != 'E' || p[1] != '\0' : *p != '\0'))
        return copyRaw();
    return out;
}
