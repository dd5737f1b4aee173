#include "crashreport/capture/ECore.h"

#include <cstdio>

#include "crashreport/capture/ECorePlatform.h"
#include "crashreport/capture/ERevive.h"
#include "framework/CodePage.h"
#include "framework/Exception.h"
#include "framework/NeverDestroyed.h"
#include "framework/SysUtils.h"

namespace {

size_t CharLength(std::string_view text, size_t i) { return GbkCharLength(text, i); }

// Position of the last real backslash, or npos.
size_t LastSlash(std::string_view path)
{
    size_t found = std::string_view::npos;
    for (size_t i = 0; i < path.size(); i += CharLength(path, i))
        if (path[i] == '\\')
            found = i;
    return found;
}

bool IsNameChar(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
}

bool runningInIde = false;
TCriticalErrorNotifier criticalNotifier = nullptr;
TInternalErrorProc internalErrorProc = nullptr;
std::string lastCriticalError;

}  // namespace

TCharSet MakeCharSet(std::string_view chars)
{
    TCharSet set;
    for (char c : chars)
        set.set(static_cast<unsigned char>(c));
    return set;
}

std::string PadVersionComponent(std::string_view text)
{
    std::string out(text);
    while (out.size() < 5)
        out.insert(out.begin(), '0');
    return out;
}

std::string NormalizeVersionText(std::string_view version)
{
    std::string out;
    int components = 0;
    size_t start = 0;
    while (true) {
        size_t dot = version.find('.', start);
        const bool last = dot == std::string_view::npos;
        std::string_view part = version.substr(start, last ? std::string_view::npos : dot - start);
        std::string_view suffix;
        if (last) {
            // "01 RC 1": only the digits before the blank are padded.
            size_t blank = part.find(' ');
            if (blank != std::string_view::npos) {
                suffix = part.substr(blank);
                part = part.substr(0, blank);
            }
        }
        if (components > 0)
            out += '.';
        out += PadVersionComponent(part);
        out += suffix;
        ++components;
        if (last)
            break;
        start = dot + 1;
    }
    for (; components < 4; ++components)
        out += ".00000";
    return out;
}

bool IsNewerVersion(std::string_view oldVersion, std::string_view newVersion)
{
    if (oldVersion.empty() || newVersion.empty())
        return false;
    return NormalizeVersionText(newVersion) > NormalizeVersionText(oldVersion);
}

void SplitTextAtChars(std::string_view text, TStringList& list, const TCharSet& delimiters,
                      bool keepDelimiters, bool addEmpty)
{
    std::string whole = keepDelimiters ? std::string(text) : Trim(text);
    std::string piece;
    for (size_t i = 0; i < whole.size();) {
        const size_t n = CharLength(whole, i);
        const unsigned char c = static_cast<unsigned char>(whole[i]);
        if (n == 1 && delimiters.test(c)) {
            if (keepDelimiters)
                piece += whole[i];
            std::string item = keepDelimiters ? piece : Trim(piece);
            if (!item.empty() || addEmpty)
                list.Add(item);
            piece.clear();
        } else {
            piece.append(whole, i, n);
        }
        i += n;
    }
    std::string item = keepDelimiters ? piece : Trim(piece);
    if (!item.empty())
        list.Add(item);
}

void SplitTrimmedFields(const TCharSet& delimiters, std::string_view text, TStringList& list)
{
    size_t i = 0;
    while (i < text.size() && delimiters.test(static_cast<unsigned char>(text[i])))
        ++i;
    std::string field;
    for (; i < text.size();) {
        const size_t n = CharLength(text, i);
        if (n == 1 && delimiters.test(static_cast<unsigned char>(text[i]))) {
            list.Add(Trim(field));
            field.clear();
        } else {
            field.append(text.substr(i, n));
        }
        i += n;
    }
    std::string last = Trim(field);
    if (!last.empty())
        list.Add(last);
}

size_t Utf16ToUtf8Buffer(char* dest, size_t size, const char16_t* text, size_t count)
{
    // One code point from position i: its value and how many units it took.
    auto decode = [&](size_t i, size_t& units) -> uint32_t {
        const uint32_t c = text[i];
        units = 1;
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < count && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
            units = 2;
            return 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
        }
        if (c >= 0xD800 && c <= 0xDFFF)
            return 0xFFFD;  // a lone surrogate has no UTF-8 form
        return c;
    };
    auto length = [](uint32_t c) -> size_t { return c < 0x80 ? 1 : c < 0x800 ? 2 : c < 0x10000 ? 3 : 4; };

    if (!dest) {
        size_t needed = 1;
        for (size_t i = 0, units = 0; i < count; i += units)
            needed += length(decode(i, units));
        return needed;
    }
    if (size == 0)
        return 0;
    const size_t room = size - 1;  // the terminator is reserved first
    size_t pos = 0;
    for (size_t i = 0, units = 0; i < count; i += units) {
        const uint32_t c = decode(i, units);
        const size_t n = length(c);
        if (pos + n > room)
            break;
        unsigned char* out = reinterpret_cast<unsigned char*>(dest + pos);
        switch (n) {
        case 1: out[0] = static_cast<unsigned char>(c); break;
        case 2:
            out[0] = static_cast<unsigned char>(0xC0 | c >> 6);
            out[1] = static_cast<unsigned char>(0x80 | (c & 0x3F));
            break;
        case 3:
            out[0] = static_cast<unsigned char>(0xE0 | c >> 12);
            out[1] = static_cast<unsigned char>(0x80 | ((c >> 6) & 0x3F));
            out[2] = static_cast<unsigned char>(0x80 | (c & 0x3F));
            break;
        default:
            out[0] = static_cast<unsigned char>(0xF0 | c >> 18);
            out[1] = static_cast<unsigned char>(0x80 | ((c >> 12) & 0x3F));
            out[2] = static_cast<unsigned char>(0x80 | ((c >> 6) & 0x3F));
            out[3] = static_cast<unsigned char>(0x80 | (c & 0x3F));
        }
        pos += n;
    }
    dest[pos] = '\0';
    return pos + 1;
}

std::string AnsiToUtf8Text(std::string_view text)
{
    return text.empty() ? std::string() : GbkToUtf8(text);
}

std::string FloatToDotText(double value)
{
    return FloatToStr(value, '.');
}

double DotTextToFloat(std::string_view text)
{
    const char separator = CorePlatform().DecimalSeparator();
    std::string local(text);
    for (char& c : local)
        if (c == '.')
            c = separator;
    return StrToFloat(local, separator);
}

std::string GetTextVariableValue(const std::string& name)
{
    if (name.empty())
        return "";
    std::string value;
    if (CorePlatform().GetEnvironment(name, value) && !value.empty())
        return value;
    if (SameText(name, "date"))
        return CorePlatform().ShortDateText();
    if (SameText(name, "time"))
        return CorePlatform().ShortTimeText();
    if (SameText(name, "cd"))
        return CorePlatform().CurrentFolder();
    return "";
}

std::string ExpandTextVariables(std::string_view text)
{
    std::string out;
    size_t i = 0;
    while (i < text.size()) {
        if (text[i] != '%') {
            const size_t n = CharLength(text, i);
            out.append(text.substr(i, n));
            i += n;
            continue;
        }
        size_t end = i + 1;
        while (end < text.size() && IsNameChar(text[end]))
            ++end;
        if (end < text.size() && text[end] == '%') {
            out += GetTextVariableValue(std::string(text.substr(i + 1, end - i - 1)));
            i = end + 1;
        } else {
            out.append(text.substr(i, end - i));
            i = end;
        }
    }
    return out;
}

size_t FindTextFrom(std::string_view sub, std::string_view text, size_t start)
{
    if (start < 1)
        start = 1;
    // One walk over the character starts: a candidate is a match only where a character begins.
    size_t charStart = 0;
    for (size_t pos = text.find(sub, start - 1); pos != std::string_view::npos; pos = text.find(sub, pos + 1)) {
        while (charStart < pos)
            charStart += CharLength(text, charStart);
        if (charStart == pos)
            return pos + 1;
    }
    return 0;
}

std::string ReplaceAllText(std::string_view text, std::string_view search, std::string_view replacement)
{
    if (search.empty())
        return std::string(text);
    std::string out;
    size_t i = 0;
    while (i < text.size()) {
        if (text.compare(i, search.size(), search) == 0) {
            out.append(replacement);
            i += search.size();
        } else {
            const size_t n = CharLength(text, i);
            out.append(text.substr(i, n));
            i += n;
        }
    }
    return out;
}

std::string StripHostSuffix(std::string_view fileName)
{
    return ReplaceAllText(fileName, ".vshost", "");
}

std::string IncludeTrailingSlash(std::string_view folder)
{
    std::string out(folder);
    if (out.empty() || LastSlash(out) != out.size() - 1)
        out += '\\';
    return out;
}

std::string ExcludeTrailingSlash(std::string_view folder)
{
    if (!folder.empty() && LastSlash(folder) == folder.size() - 1)
        folder.remove_suffix(1);
    return std::string(folder);
}

std::string ExtractFilePath(std::string_view path)
{
    size_t slash = LastSlash(path);
    if (slash == std::string_view::npos) {
        // "C:name" keeps its drive.
        return path.size() >= 2 && path[1] == ':' ? std::string(path.substr(0, 2)) : std::string();
    }
    return std::string(path.substr(0, slash + 1));
}

std::string ExtractFileName(std::string_view path)
{
    return std::string(path.substr(ExtractFilePath(path).size()));
}

std::string ExtractFileExt(std::string_view path)
{
    const std::string name = ExtractFileName(path);
    size_t dot = std::string::npos;
    for (size_t i = 0; i < name.size(); i += CharLength(name, i))
        if (name[i] == '.')
            dot = i;
    return dot == std::string::npos ? std::string() : name.substr(dot);
}

std::string ChangeFileExt(std::string_view path, std::string_view ext)
{
    const std::string old = ExtractFileExt(path);
    return std::string(path.substr(0, path.size() - old.size())) + std::string(ext);
}

std::string ChooseAppDataFolder(std::initializer_list<std::string_view> candidates)
{
    for (std::string_view c : candidates) {
        std::string folder = ExcludeTrailingSlash(Trim(c));
        if (!folder.empty())
            return folder;
    }
    return ".";
}

double DosDateTimeToDateTime(uint16_t dosDate, uint16_t dosTime)
{
    const int year = 1980 + (dosDate >> 9), month = (dosDate >> 5) & 15, day = dosDate & 31;
    const int hour = dosTime >> 11, minute = (dosTime >> 5) & 63, second = (dosTime & 31) * 2;
    static const int monthDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    if (month < 1 || month > 12 || day < 1 || day > monthDays[month - 1] + (month == 2 && leap) || hour > 23 ||
        minute > 59 || second > 59)
        return 0;
    // Days from 0001-01-01 by the proleptic Gregorian rule, then shifted to 1899-12-30.
    auto serial = [](int y, int m, int d) {
        static const int before[] = {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334};
        const int py = y - 1;
        const bool isLeap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
        return py * 365 + py / 4 - py / 100 + py / 400 + before[m - 1] + (m > 2 && isLeap) + d;
    };
    const int days = serial(year, month, day) - serial(1899, 12, 30);
    return days + (hour * 3600 + minute * 60 + second) / 86400.0;
}

bool ForceFolders(std::string_view folder)
{
    if (folder.empty())
        return false;
    const std::string path = ExpandTextVariables(ExcludeTrailingSlash(folder));
    TCorePlatform& platform = CorePlatform();
    if (path.size() < 3 || platform.FolderExists(path))
        return true;
    const std::string parent = ExcludeTrailingSlash(ExtractFilePath(path));
    if (parent == path)
        return true;
    // A relative single folder has no parent to force.
    if (!parent.empty() && !ForceFolders(parent))
        return false;
    return platform.CreateFolder(path);
}

bool ResolveAccessibleFilePath(std::string& path, bool perProgramFolder, bool readOnly)
{
    TCorePlatform& platform = CorePlatform();
    path = ExpandTextVariables(path);
    auto usable = [&](const std::string& p) {
        return readOnly ? platform.CanOpenFileForReading(p) : platform.CanCreateFile(p);
    };
    if (usable(path))
        return true;
    std::string folder = platform.ReporterDataFolder();
    if (!platform.FolderExists(folder) && !ForceFolders(folder))
        return false;
    if (perProgramFolder) {
        folder = IncludeTrailingSlash(folder) + ChangeFileExt(ExtractFileName(platform.ApplicationFileName()), "");
        if (!platform.FolderExists(folder) && !ForceFolders(folder))
            return false;
    }
    const std::string candidate = IncludeTrailingSlash(folder) + ExtractFileName(path);
    if (!usable(candidate))
        return false;
    path = candidate;
    return true;
}

bool IsRunningInIde()
{
    return runningInIde;
}

void DetectRunningInIde(std::string_view mainModuleFileName)
{
    runningInIde = UpperCase(ExtractFileName(mainModuleFileName)) == "ZORBEL32.EXE";
}

void SetCriticalErrorNotifier(TCriticalErrorNotifier notifier)
{
    criticalNotifier = notifier;
}

void SetInternalErrorProc(TInternalErrorProc proc)
{
    internalErrorProc = proc;
}

void RunGuardedStep(void (*procedure)(), const char* stepName)
{
    std::string message;
    try {
        procedure();
        return;
    } catch (const Exception& e) {
        message = e.Message();
    } catch (...) {
        message = "General internal error.";
    }
    // This may run inside a static initialiser: from here on nothing may throw.
    try {
        if (criticalNotifier) {
            criticalNotifier(Format("%s (Address: %8.8X)", stepName,
                                    static_cast<unsigned>(reinterpret_cast<uintptr_t>(procedure))));
            return;
        }
        lastCriticalError = Format("Critical error at: \"%s\"\r\nError: \"%s\".", stepName, message.c_str());
        if (internalErrorProc)
            internalErrorProc(stepName, lastCriticalError);
    } catch (...) {
    }
}

const std::string& LastCriticalErrorText()
{
    return lastCriticalError;
}

void ReviveCoreStatics()
{
    ReviveStatic(lastCriticalError);
}
