#pragma once
// The reporter's report on a failure of its own: sent to the debugger, written to the
// program's ".log" file and offered to the library's author. Only in the development
// environment or under a debugger; never raises.

#include <string>

#include "framework/StringList.h"

// The library maker's address for such reports.
extern const char* const InternalBugAddress;

// Fills lines with the calling thread's call stack, one line a frame (the call-stack unit
// installs it); without one the report has no call stack.
using TInternalErrorStackProc = void (*)(TStringList& lines);
void SetInternalErrorStackProc(TInternalErrorStackProc proc);
// Mails the ".log" file to the address; false when it could not (the e-mail unit installs it).
using TInternalErrorMailProc = bool (*)(const std::string& fileName, const std::string& address,
                                        const std::string& subject);
void SetInternalErrorMailProc(TInternalErrorMailProc proc);

// Told every internal-error line as it is made, shown or not (a host that watches the reporter
// without a debugger: the crash-test program).
using TInternalErrorObserver = void (*)(const char* line);
void SetInternalErrorObserver(TInternalErrorObserver observer);

// Reports the current exception of a failed step; fallbackMessage stands in when no exception
// is being handled.
void ReportInternalError(const std::string& section, const std::string& fallbackMessage = "") noexcept;
bool InternalErrorRunning();
// The file ReportInternalError last wrote, empty when none.
const std::string& LastInternalErrorFile();
