#include "crashreport/delivery/EReportFilesWin.h"

#include <windows.h>

#include "crashreport/capture/ECore.h"
#include "crashreport/capture/ECoreWin.h"
#include "crashreport/capture/EOptions.h"
#include "crashreport/capture/EUtilsWin.h"
#include "crashreport/delivery/ELogFileWin.h"
#include "crashreport/delivery/EXml.h"
#include "framework/CodePage.h"
#include "framework/NeverDestroyed.h"

std::unique_ptr<TLogFile> ActiveLogFile;
std::string ActiveLogFileOpenedName;
bool DuplicateErrorFound = false;

namespace {

bool WriteTextFile(const std::string& fileName, const std::string& text)
{
    HANDLE file = CreateFileW(GbkToWide(fileName).c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    const bool ok = WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) && written == text.size();
    CloseHandle(file);
    return ok;
}

}  // namespace

TReportFileContext CurrentReportFileContext(uintptr_t moduleHandle, double exceptionTime)
{
    TReportFileContext context;
    wchar_t temp[MAX_PATH + 1];
    const DWORD n = GetTempPathW(MAX_PATH + 1, temp);
    context.TempFolder = IncludeTrailingSlash(n > 0 && n <= MAX_PATH ? WideToGbk(std::wstring_view(temp, n)) : "C:\\");
    context.ComputerName = SafeComputerName();
    context.ProcessId = GetCurrentProcessId();
    context.ModuleHandle = moduleHandle;
    context.ExceptionTime = exceptionTime;
    return context;
}

TLogFile& OpenActiveLogFile(const TVurazaModuleOptions& options)
{
    const std::string name = ActiveLogFileName(options);
    if (ActiveLogFile && name != ActiveLogFileOpenedName) CloseActiveLogFile();
    if (!ActiveLogFile) {
        ActiveLogFile = OpenLogFile(name);
        ActiveLogFileOpenedName = name;
    }
    return *ActiveLogFile;
}

void CloseActiveLogFile()
{
    ActiveLogFile.reset();
    ActiveLogFileOpenedName.clear();
}

void ReviveReportFileStatics()
{
    ReviveStatic(ActiveLogFile);
    ReviveStatic(ActiveLogFileOpenedName);
    DuplicateErrorFound = false;
}

bool FindDuplicateReport(const TVurazaModuleOptions& options, const std::string& bugId, bool increment)
{
    DuplicateErrorFound = false;
    if (!(options.LogFlags() & 0x1)) return false;
    struct TCloser {
        ~TCloser() { CloseActiveLogFile(); }
    } closer;
    TLogFile& log = OpenActiveLogFile(options);
    const std::string_view number = "2.7";
    const std::string_view value = bugId;
    DuplicateErrorFound = log.FindReport(&number, &value, 1) >= 0;
    if (DuplicateErrorFound && increment) log.CountRepeat(bugId);
    return DuplicateErrorFound;
}

void MakeXmlFile(const TVurazaModuleOptions& options, const TReportFileContext& context, const std::string& password)
{
    if (!(options.SendFlags() & 0x8)) return;
    std::unique_ptr<TLogFile> log = OpenLogFile(LogCopyFileName(options, context));
    log->Password = password;
    const std::string xml = LogToXml(*log);
    log.reset();
    if (!WriteTextFile(XmlFileName(options, context), xml))
        throw Exception("Cannot write the file \"" + XmlFileName(options, context) + "\".");
}

std::string LoadTextFile(const std::string& fileName)
{
    std::string text;
    if (!fileName.empty()) ReadWholeFile(fileName, text);
    return text;
}

void SaveLastHtmlPage(const TVurazaModuleOptions& options, const TReportFileContext& context, const std::string& page)
{
    if (page.empty() || !(options.SendFlags() & 0x40)) return;
    CreateReportWorkFolder(context);
    WriteTextFile(LastHtmlPageFileName(context), page);
}

bool CreateReportWorkFolder(const TReportFileContext& context)
{
    const std::wstring folder = GbkToWide(ExcludeTrailingSlash(ReportWorkFolder(context)));
    return CreateDirectoryW(folder.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS;
}

void RemoveReportWorkFolder(const TReportFileContext& context)
{
    // Only an empty folder goes: files kept on purpose stay where they were.
    RemoveDirectoryW(GbkToWide(ExcludeTrailingSlash(ReportWorkFolder(context))).c_str());
}
