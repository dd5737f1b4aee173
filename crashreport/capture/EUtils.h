#pragma once
// The crash reporter's small shared routines that need no system: text helpers, the mail and
// report date forms, durations, the edition name of a Windows version, the stored-data marks.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// The reporter library's own version; the stream of published options carries it.
constexpr uint16_t ReporterLibraryVersion = 6101;

inline const std::string& ChooseText(bool flag, const std::string& a, const std::string& b) { return flag ? a : b; }
inline std::string ChooseText(bool flag, const std::string& a) { return flag ? a : std::string(); }
// Every run of characters below 32 becomes one space.
std::string CollapseControlChars(std::string_view text);
std::string PadRight(std::string_view text, size_t width);
std::string HtmlEscape(std::string_view text);

// A time span in days as "1 day, 12 hours, 0 second": whole seconds, days to minutes only
// when not zero.
std::string DurationText(double days);

// Date-times are days since 1899-12-30 with the time of day as the fraction.
struct TDateTimeParts {
    int year, month, day, hour, minute, second, weekDay;  // weekDay 0 is Sunday
};
TDateTimeParts DecodeDateTime(double dateTime);
double EncodeDateTime(int year, int month, int day, int hour, int minute, int second);
// "Tue, 8 Dec 2026 09:05:03 +0530": offsetMinutes is the zone's distance east of UTC.
std::string FormatMailDateAt(double localDateTime, int offsetMinutes);
std::string MailDateZone(int offsetMinutes);
std::string ReportDateTimeText(double dateTime);  // "yyyy-mm-dd hh:nn:ss"

bool IsStoredDataMark(uint32_t value);
// Whether a module built against library version v can share this one's data.
bool IsCompatibleLibraryVersion(int version);

// The version facts OsVersionName reads from the system.
struct TOsVersionFacts {
    uint32_t platformId;  // 1: the 95 family, 2: NT
    uint32_t major, minor;
    std::string servicePack;
    bool workstation;
    bool wow64;
};
std::string OsVersionNameOf(const TOsVersionFacts& facts);

// The class name a C++ mangled type name stands for ("N3foo3BarE" -> "foo::Bar"), written
// into out without allocating; names of other forms are copied as they are. Returns out.
const char* ClassNameOfMangled(const char* mangled, char* out, size_t size);
