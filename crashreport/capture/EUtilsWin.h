#pragma once
// The crash reporter's shared routines over Win32: facts about the process, module, machine
// and user; handles, threads and stacks; the last exception; the emergency reserve; the
// handler-analysis cache; and where internal warnings go.

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "crashreport/capture/EInternalWarning.h"

DWORD CurrentProcessId();
HANDLE CurrentProcessHandle();
std::string CommandLineText();
// The module's full file name, with the \??\ object-path form reduced to the drive path and
// short components expanded; empty when the system gives none.
std::string ModuleFileNameOf(HMODULE module);
// The object-path reduction alone: everything before the drive letter that precedes the
// first colon after a question mark is dropped.
std::string StripObjectPathPrefix(const std::string& name);
bool ModuleHasFileName(HMODULE module);
HMODULE CurrentModuleHandle();  // the module that holds the reporter
std::string CurrentModuleFileName();
std::string TempFolderPath();   // with its trailing backslash
std::string ComputerName();
std::string CurrentUserName();
std::string RegisteredOwnerName();

// The whole of a file, read to its end; false, with bytes empty, when it can't be opened or
// read or holds more than maxSize bytes. The name is GBK; others may write the file meanwhile
// unless share says otherwise.
constexpr uint64_t AnyFileSize = ~uint64_t(0);
bool ReadWholeFile(const std::string& name, std::string& bytes, uint64_t maxSize = AnyFileSize,
                   DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE);
// The same from a handle just opened for reading.
bool ReadWholeFile(HANDLE file, std::string& bytes, uint64_t maxSize = AnyFileSize);

std::string OsVersionName();
std::string OsBuildNumber();
bool OnWindows95();
bool OnWindowsNT4();
bool OnWindowsVistaOrLater();
bool IsWow64();
bool IsWorkstation();
bool OnNtFamily();

// Now, as days since 1899-12-30 in local time.
double NowDateTime();
// The mail date of a local date-time, with the zone's offset in force at that date.
std::string FormatMailDate(double localDateTime);
// Minutes east of UTC in force at a local date-time.
int LocalUtcOffsetMinutesAt(double localDateTime);

bool IsHandleValid(HANDLE handle);
bool IsThreadRunning(HANDLE thread);
bool IsDebuggerAttached();
uintptr_t CurrentStackTop();    // the stack's base, its highest address
uintptr_t CurrentStackLimit();
uintptr_t CurrentStackPointer();

// The calling thread's stack, copied by CaptureRawStack into the reporter's own buffer.
constexpr size_t RawStackLimit = 102400;
struct TRawStack {
    const uint8_t* bytes;
    size_t size;         // 0 when the copy faulted
    uintptr_t start;     // address of bytes[0] in the thread's stack
    DWORD threadId;
    uintptr_t address;
};
void CaptureRawStack(uintptr_t address, bool adjust);
// The last copy; read it under LockRawStack.
const TRawStack& RawStack();
void LockRawStack();
void UnlockRawStack();
// Gives the raw stack back when the calling thread holds it (a step abandoned by a fault).
void ReleaseRawStackIfOwned();

// The last exception the hooks saw, and the raise being handled now.
void RecordLastException(const void* object, uintptr_t address, bool flag);
const void* LastExceptionObject();
uintptr_t LastExceptionAddress();
const void* CurrentRaiseObject();
uintptr_t CurrentRaiseAddress();
bool CurrentRaiseFlag();
void SetCustomExceptionMessage(const std::string& text);
// The filter's message that replaces the exception's own in the report; empty when none.
const std::string& CustomExceptionMessage();
// The custom message, else the message of the last exception object.
std::string ExceptionMessageText();

void PumpOneMessage();
// Restores the process's minimised main window and brings it to the front.
void RestoreMainWindow();

void ReserveEmergencyMemory();
void ReleaseEmergencyMemory();
bool EmergencyMemoryReserved();

// The handler analysis of an exception class at an address for one registration record.
struct THandlerAnalysis {
    uint8_t kind;
    uint32_t value;
    uint8_t first, second;
};
bool FindHandlerAnalysis(const void* object, uintptr_t address, const void* record, THandlerAnalysis& result);
void StoreHandlerAnalysis(const void* object, uintptr_t address, const void* record, const THandlerAnalysis& result);
constexpr size_t HandlerAnalysisCapacity = 10;

// Internal warnings also go to the debugger output, and some to a box while the send-progress
// window is open (its unit installs the test).
using TSendProgressOpenProc = bool (*)();
void SetSendProgressOpenProc(TSendProgressOpenProc proc);
void InstallInternalWarningOutput();
std::string InternalWarningLine(TDuruvaDodErrorCode code, const std::string& message);
// "[step] message" of the current exception, else "General 'step' error.".
void ReportStepFailure(TDuruvaDodErrorCode code, const std::string& step);
