#pragma once
// The report of the exception being handled: the facts of the process, machine and exception
// gathered, the text built, and the results kept where the later steps of the handling (log,
// dialog, web output, delivery) read them.
//
// Runs on the handling thread after the other threads were resumed: the system calls that
// give the facts allocate on the process heap themselves.

#include <windows.h>

#include <functional>
#include <string>

#include "crashreport/capture/EReportText.h"

class TVurazaModuleOptions;
class TVurazaStackList;

struct TReportRequest {
    // The thrown object: its class name (empty when it is not a valid object) and message.
    std::string ExceptionClass;
    std::string ExceptionMessage;
    bool IsExceptionObject = true;  // false: the message reads "Unknown error message."
    std::string CustomMessage;      // a filter's message: replaces the exception's own
    uintptr_t ExceptionAddress = 0;
    uint32_t ThreadId = 0;                        // the faulting thread
    const EXCEPTION_RECORD* ExceptionRecord = nullptr;  // access violations are worded from it
    const CONTEXT* Context = nullptr;             // none: no registers
    uintptr_t StackPointer = 0;                   // 0: the context's Esp
    std::string FocusedClass, FocusedText;        // the focused window when the exception was taken
    const TVurazaStackList* StackList = nullptr;  // none: the call-stack table has no rows
    // What the thread list knows of a thread of the stack list; none: read from the system.
    std::function<TThreadHeaderFacts(uint32_t threadId)> ThreadFacts;
    std::string BugId;
    std::string UserEmail;
    double ExceptionTime = 0;  // 0: now
    double StartTime = 0;      // 0: when the process started
    bool IsWebServerApplication = false;
};

// The report's results besides its text, read by the steps after it. Never destroyed: the
// leak report at exit is built after every static destructor.
std::string& ReportExceptionClassText();
std::string& ReportExceptionMessageText();
std::string& ReportHeaderText();  // for the console and web outputs

// The access-violation wording of a record, or empty when the record is no readable access
// violation.
std::string AccessViolationText(const EXCEPTION_RECORD* record, const std::string& ownMessage);
// The general facts of the request, the machine and the process.
TReportGeneralFacts GatherGeneralFacts(const TReportRequest& request);

// Builds the report; keeps the exception's class and message texts and the header.
TReportText BuildReportText(const TReportRequest& request, const TVurazaModuleOptions& options);
