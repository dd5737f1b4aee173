#pragma once
// The crash reporter's main unit: start-up and shut-down of the exception road, its globals,
// HandlingLock and the unhandled-exception filter. Programs that carry the reporter link the
// bootstrap object (vidudo_link_reporter in CMake), which starts it right after the leak
// tracker and stops it last.

#include <windows.h>

#include <cstdint>
#include <string>

class TVurazaModuleOptions;
class TVurazaModuleOptionsEx;

// Static-initialisation order: the leak tracker first, then the reporter; everything of
// default priority after both.
constexpr int LeakTrackerInitPriority = 101;
constexpr int ExceptionLogInitPriority = 102;

extern volatile bool ReporterStarted;       // the road is usable; cleared by shut-down
extern volatile bool CaptureActive;         // handling switched on
extern bool ForwardToMainModule;            // false here: no packages
extern bool OwnRuntimeHooks;
extern volatile bool StartupPhase;          // until the program's last initialisation has run
extern volatile bool FinalizationStarted;   // set when the program's first finalisation runs
extern std::string StartupFolder;
extern double ApplicationStartTime;
extern volatile bool InlineHandling;        // the handling runs on the faulting thread

// The unit's initialisation and finalisation: StartExceptionLog under "ExceptionLog.Init",
// the emergency reserve, the filter; and the reverse. Each runs once.
void InitializeExceptionLog();
void FinalizeExceptionLog();
void StartExceptionLog();
void StopExceptionLog();
// The program's first finalisation: waits for a handling in progress and switches capture off,
// before static objects the road uses are destroyed and while new threads can still start.
void CloseRoadAtFinalization();

// One exception handled at a time; the same thread may enter again. A raw critical section.
// The outermost holder gives the emergency reserve back while it holds the lock and reserves
// it again before leaving.
void EnterHandlingLock();
// As EnterHandlingLock, given up when milliseconds have passed (false: not entered).
bool EnterHandlingLockWithin(DWORD milliseconds);
void LeaveHandlingLock();
bool HandlingLockHeld();  // by the calling thread
// The thread that takes the lock next: until it has (at most 10 s), no other thread's
// outermost EnterHandlingLock gets through. A delivery handed to a thread of its own so runs
// before a later exception is handled.
void PassHandlingLockTo(DWORD threadId);

// Options in force for the exception being handled.
TVurazaModuleOptionsEx* ActiveModuleOptions();
// The options object of the running module (its record's), or null before start-up.
TVurazaModuleOptionsEx* CurrentDuruvaDodOptions();

DWORD MainThreadId();
HANDLE MainThreadHandle();      // duplicated with 0x4A at start-up
uintptr_t MainThreadStackTop();

LONG WINAPI ReporterExceptionFilter(EXCEPTION_POINTERS* pointers);

// Leak mode. A program that carries the leak tracker sets these before start-up (its exit
// step's registration): start-up hands the tracker the reporter's procedures, shut-down saves
// this module's options for the leak report, which revives the report steps' statics; every
// handling gives the heap-error messages the texts of its options.
struct TLeakModeProcs {
    void (*install)() = nullptr;
    void (*saveOptions)(const TVurazaModuleOptions& options) = nullptr;
    void (*reviveSteps)() = nullptr;
    void (*handlingOptions)(const TVurazaModuleOptions& options) = nullptr;
};
TLeakModeProcs& LeakModeProcs();
// The road again for the leak report at exit, after every static destructor: its statics
// made again, the module record and its options from the stored data, the thread list with
// the calling thread as the main one, the emergency reserve. False (nothing done) in a module
// without reporter data. The caller reloads the options, routes, then closes it again.
bool RestartRoadForLeaks();
void CloseRoadAfterLeaks();

// The runtime's exception hooks, the import hooks and the thread records live in their own
// unit; start-up and shut-down call install and remove, the exports the rest (null: none).
struct TExceptionHookProcs {
    void (*install)() = nullptr;
    void (*remove)() = nullptr;
    void (*callGeneralRaise)(DWORD code, DWORD flags, DWORD count, uintptr_t raiseStackPointer,
                             const ULONG_PTR* parameters) = nullptr;
    const void* (*callExceptObject)(EXCEPTION_RECORD* record, CONTEXT* context, bool flag) = nullptr;
    bool (*lastLanguageException)() = nullptr;
    void (*callCreateThread)(const void* threadRecord) = nullptr;
    void (*callResumeThread)(HANDLE thread, const void* threadRecord) = nullptr;
    void (*callExitThread)() = nullptr;
};
TExceptionHookProcs& ExceptionHookProcs();
