#include "crashreport/delivery/EReportFiles.h"

#include <cmath>
#include <cstdio>

#include "crashreport/capture/ECore.h"
#include "crashreport/capture/EOptions.h"

namespace {

std::string Hex8(uint32_t value)
{
    char text[16];
    std::snprintf(text, sizeof text, "%08X", static_cast<unsigned>(value));
    return text;
}

// Days since 1970-01-01 to the civil date (proleptic Gregorian).
void CivilFromDays(long long days, int& year, int& month, int& day)
{
    days += 719468;
    const long long era = (days >= 0 ? days : days - 146096) / 146097;
    const long long doe = days - era * 146097;
    const long long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const long long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const long long mp = (5 * doy + 2) / 153;
    day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    year = static_cast<int>(yoe + era * 400 + (month <= 2 ? 1 : 0));
}

}  // namespace

std::string CompactDateTimeText(double dateTime)
{
    // Whole seconds, rounded, so 23:59:59.9996 doesn't read as 23:59:59 of a day that ended.
    const long long seconds = std::llround(dateTime * 86400.0);
    long long days = seconds / 86400, rest = seconds % 86400;
    if (rest < 0) {
        rest += 86400;
        --days;
    }
    int year, month, day;
    CivilFromDays(days - 25569, year, month, day);  // 25569: 1899-12-30 to 1970-01-01
    char text[32];
    std::snprintf(text, sizeof text, "%04d%02d%02d%02d%02d%02d", year, month, day, static_cast<int>(rest / 3600),
                  static_cast<int>(rest / 60 % 60), static_cast<int>(rest % 60));
    return text;
}

std::string ActiveLogFileName(const TVurazaModuleOptions& options)
{
    return ExpandTextVariables(options.BuildLogFileName(""));
}

std::string ReportWorkFolder(const TReportFileContext& context)
{
    return context.TempFolder + "DuruvaDod_" + Hex8(context.ProcessId) + "\\";
}

std::string LogCopyFileName(const TVurazaModuleOptions& options, const TReportFileContext& context)
{
    return ReportWorkFolder(context) + ExtractFileName(ActiveLogFileName(options));
}

std::string ScreenshotFileName(const TReportFileContext& context) { return ReportWorkFolder(context) + "Screenshot.png"; }
std::string ZipFileName(const TReportFileContext& context) { return ReportWorkFolder(context) + "BugReport.zip"; }
std::string LastHtmlPageFileName(const TReportFileContext& context)
{
    return ReportWorkFolder(context) + "LastHTMLPage.html";
}

std::string XmlFileName(const TVurazaModuleOptions& options, const TReportFileContext& context)
{
    return ReportWorkFolder(context) + ChangeFileExt(ExtractFileName(ActiveLogFileName(options)), ".xml");
}

std::string OptionsTempFileName(const TReportFileContext& context)
{
    return context.TempFolder + Hex8(context.ProcessId) + Hex8(static_cast<uint32_t>(context.ModuleHandle)) + ".bin";
}

std::string DecoratedFileName(const std::string& fileName, const TVurazaModuleOptions& options,
                              const TReportFileContext& context)
{
    std::string name = ExtractFileName(fileName);
    if (options.SendFlags() & 0x200) name = ChangeFileExt(name, "") + "__" + context.ComputerName + ExtractFileExt(name);
    if (options.SendFlags() & 0x100)
        name = ChangeFileExt(name, "") + "__" + CompactDateTimeText(context.ExceptionTime) + ExtractFileExt(name);
    return name;
}

TStringList BuildAttachmentList(bool forEmail, const TVurazaModuleOptions& options, const TReportFileContext& context)
{
    TStringList list;
    TStringList extra;
    SplitTrimmedFields(MakeCharSet(";"), options.ExtraAttachments(), extra);
    for (const std::string& name : extra) list.Add(name);
    if (!(forEmail && options.AppendReportToMessage())) list.Add(LogCopyFileName(options, context));
    const uint16_t send = options.SendFlags();
    if ((send & 0x10) && context.AttachScreenshotChecked) list.Add(ScreenshotFileName(context));
    if ((send & 0x40) && context.HasLastHtmlPage) list.Add(LastHtmlPageFileName(context));
    if (send & 0x8) list.Add(XmlFileName(options, context));
    for (int i = 0; i < list.Count(); ++i) list[i] = ExpandTextVariables(list[i]);
    return list;
}
