#pragma once
// What the units of the handling road share among themselves (start-up, routing, the handler,
// the environment); nothing outside the road includes it.

#include <windows.h>

#include <cstdint>
#include <memory>

#include "crashreport/capture/ERoad.h"
#include "crashreport/capture/ERoadRules.h"

struct TExceptNotifyParams {
    bool handled = false;
    const CONTEXT* context = nullptr;
    const EXCEPTION_RECORD* exceptionRecord = nullptr;
    TVurazaStackList* readyStack = nullptr;
    uintptr_t stackTop = 0;
    uintptr_t stackPointer = 0;
    DWORD threadId = 0;
    char focusedWindowClass[256] = {};
    char focusedWindowText[256] = {};
    // A stack copy to scan instead of the live stack (SetRoutedStackCopy), or none.
    const void* stackCopy = nullptr;
    size_t stackCopySize = 0;
    uintptr_t stackCopyBase = 0;
};

// The road's call stacks of the exception handled last (freed at the next one, or handed over).
extern std::unique_ptr<TVurazaStackList> CurrentStackList;
// The exception RunExceptionHandler works on, while it does: a background delivery keeps it.
class THandledExceptionScope {
public:
    explicit THandledExceptionScope(const TRoadException& e);
    ~THandledExceptionScope();
};

bool RunExceptionHandler(const TRoadException& e, uintptr_t address, bool language, uint8_t mode, HMODULE module,
                         uint8_t outputKind, TExceptNotifyParams& params);

// Start-up and shut-down of the road's own parts.
void ResetRoadTexts();
void CreateExcludedThreadsList();
void FreeExcludedThreadsList();
void PrepareRoadBuffers();
// The thread that handles exceptions stands ready from start-up (PrepareRoadBuffers) until
// shut-down; a road without it makes it at the fault.
bool PrepareHandlingThread();
void ReleaseHandlingThread();
void InstallBoundaryReporter();
void RemoveBoundaryReporter();
void StartReporterWatchdog();
void StopReporterWatchdog();
bool WaitForBackgroundSenders(DWORD milliseconds);

// The exception handled last, by identity; the filter doesn't report it again.
bool AlreadyHandled(const void* object, DWORD code, uintptr_t address, DWORD threadId);
void RememberHandled(const TRoadException& e, const EXCEPTION_RECORD* record, uintptr_t address, DWORD threadId);
// The object the filter routes for a structured exception that reached it.
TRoadException FilterExceptionObject(EXCEPTION_POINTERS* pointers);

bool IsAbortException(const TRoadException& e);
bool IsReportable(const TRoadException& e);
bool IsStackOverflow(const TRoadException& e);

// The environment later programs inherit: "_MainModuleName" ... "_BugReport", "_LineBreak".
void SetReportEnvironment(const TRoadException& e, uintptr_t address);
// The custom message of the handling when there is one, else the exception's own (an access
// violation as the report words it).
std::string ExceptionMessageTextOf(const TRoadException& e);
void SetHandlingMessage(const std::string& custom);
bool WriteConsoleLine(const std::string& text);
void RestartOrTerminateProcess(bool restart);

// The thread waiting in RouteException while TExceptionThread handles its exception.
DWORD FaultingThreadId();
