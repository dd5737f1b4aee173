#pragma once
// The files a report travels as: their names, the names they are sent under and the list of
// files to attach. Each process keeps its working files in a folder of its own under the
// temporary folder, so two processes crashing at once never send each other's files; the
// names sent are the plain file names.

#include <cstdint>
#include <string>

#include "framework/StringList.h"

class TVurazaModuleOptions;

// What the names depend on besides the options.
struct TReportFileContext {
    std::string TempFolder;     // with its final "\"
    std::string ComputerName;
    double ExceptionTime = 0;   // days since 1899-12-30, local time
    uint32_t ProcessId = 0;
    uintptr_t ModuleHandle = 0;
    bool AttachScreenshotChecked = false;
    bool HasLastHtmlPage = false;
};

// The log file of the options with the variables between "%" signs expanded.
std::string ActiveLogFileName(const TVurazaModuleOptions& options);

std::string ReportWorkFolder(const TReportFileContext& context);  // with its final "\"
std::string LogCopyFileName(const TVurazaModuleOptions& options, const TReportFileContext& context);
std::string ScreenshotFileName(const TReportFileContext& context);
std::string ZipFileName(const TReportFileContext& context);
std::string LastHtmlPageFileName(const TReportFileContext& context);
std::string XmlFileName(const TVurazaModuleOptions& options, const TReportFileContext& context);
std::string OptionsTempFileName(const TReportFileContext& context);

// The name part of a file as it is sent: "__" + computer name with SendFlags 0x200, then
// "__" + yyyymmddhhnnss of the exception time with 0x100, before the extension.
std::string DecoratedFileName(const std::string& fileName, const TVurazaModuleOptions& options,
                              const TReportFileContext& context);

// The files to send: the extra attachments, the log copy (not for e-mail that carries the
// report in its text), the screenshot, the last page and the XML file when present, each
// with its variables expanded.
TStringList BuildAttachmentList(bool forEmail, const TVurazaModuleOptions& options, const TReportFileContext& context);

// "yyyymmddhhnnss" of a date-time.
std::string CompactDateTimeText(double dateTime);
