#pragma once
// The report's files on disk: the shared log object of the active options, the duplicate
// check, the XML file and the last page, and the work folder of the process.

#include <memory>
#include <string>

#include "crashreport/delivery/EReportFiles.h"

class TLogFile;
class TVurazaModuleOptions;

// The log of the active options while a report is saved or counted, with the name it was
// opened under; none otherwise.
extern std::unique_ptr<TLogFile> ActiveLogFile;
extern std::string ActiveLogFileOpenedName;
// Set by FindDuplicateReport.
extern bool DuplicateErrorFound;

// Temporary folder, computer name, process and module of the running program; the exception
// time and the dialog's choices are the caller's.
TReportFileContext CurrentReportFileContext(uintptr_t moduleHandle, double exceptionTime);

// Frees the active log when the options now name another file, then opens it when none is open.
TLogFile& OpenActiveLogFile(const TVurazaModuleOptions& options);
void CloseActiveLogFile();

// With LogFlags 0x1: whether the log already holds a report with this BugID; with increment,
// that report's count goes up by one and the log is saved. The log is closed in every case.
bool FindDuplicateReport(const TVurazaModuleOptions& options, const std::string& bugId, bool increment);

// With SendFlags 0x8: the XML form of the log copy, its scrambled names decoded with password.
void MakeXmlFile(const TVurazaModuleOptions& options, const TReportFileContext& context, const std::string& password);

// The whole text of a file; empty when the name is empty or the file can't be read.
std::string LoadTextFile(const std::string& fileName);
// With SendFlags 0x40 and a page to keep: the last page the program wrote. Errors are ignored.
void SaveLastHtmlPage(const TVurazaModuleOptions& options, const TReportFileContext& context, const std::string& page);

// The work folder is made when a report needs it and goes again once delivery left it empty.
bool CreateReportWorkFolder(const TReportFileContext& context);
void RemoveReportWorkFolder(const TReportFileContext& context);

// The open log's statics, made again for the leak report at exit (after their destructors).
void ReviveReportFileStatics();
