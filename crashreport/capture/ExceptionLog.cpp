#include "crashreport/capture/ExceptionLog.h"

#include <new>
#include <typeinfo>

#include "crashreport/capture/ECore.h"
#include "crashreport/capture/EFoundations.h"
#include "crashreport/capture/EFreezeWatch.h"
#include "crashreport/capture/ELeakMemory.h"
#include "crashreport/capture/EThreadHooks.h"
#include "crashreport/capture/EModules.h"
#include "crashreport/capture/EOptions.h"
#include "crashreport/capture/EPeers.h"
#include "crashreport/capture/ERevive.h"
#include "crashreport/capture/ERoad.h"
#include "crashreport/capture/ERoadState.h"
#include "crashreport/capture/EThreadContext.h"
#include "crashreport/capture/EThreadHooks.h"
#include "crashreport/capture/EUtilsWin.h"
#include "crashreport/capture/EWebOutputWin.h"
#include "crashreport/capture/EDialogState.h"
#include "crashreport/capture/EExternal.h"
#include "framework/NeverDestroyed.h"

// The bootstrap runs before every static object of default priority: what lives here is
// constant-initialised, and objects are made on the heap at start-up and never destroyed by
// the runtime behind our back.
volatile bool ReporterStarted = false;
volatile bool CaptureActive = false;
bool ForwardToMainModule = false;
bool OwnRuntimeHooks = true;
volatile bool StartupPhase = false;
volatile bool FinalizationStarted = false;
constinit std::string StartupFolder;
double ApplicationStartTime = 0;
volatile bool InlineHandling = false;

namespace {

CRITICAL_SECTION handlingLock;
volatile bool handlingLockMade = false;
// Owned by the lock's holder: how deep it has entered.
volatile LONG handlingDepth = 0;
volatile DWORD handlingOwner = 0;
volatile DWORD handlingHeir = 0;
volatile DWORD heirSince = 0;
constexpr DWORD HeirWaitMilliseconds = 10000;
// Shut-down waits this long in all for background senders and the handling lock they hold.
constexpr DWORD ShutdownWaitMilliseconds = 5000;
volatile DWORD shutdownDeadline = 0;

DWORD mainThreadId = 0;
HANDLE mainThreadHandle = nullptr;
uintptr_t mainStackTop = 0;
TVurazaModuleOptionsEx* activeOptions = nullptr;
TVurazaModuleOptionsEx* ownOptions = nullptr;  // stands in when the module list has no record
LPTOP_LEVEL_EXCEPTION_FILTER previousFilter = nullptr;
bool filterInstalled = false;
volatile LONG initCount = 0;
volatile LONG doneCount = 0;
bool hooksInstalled = false;

TVurazaModuleOptionsEx* CurrentOptionsHook()
{
    return CurrentDuruvaDodOptions();
}

// The options object of this module, made from its stored data.
void MakeOwnModuleRecord()
{
    const uintptr_t self = reinterpret_cast<uintptr_t>(CurrentModuleHandle());
    if (!FindModuleRecord(self))
        AddModuleRecordOfHandle(self);
    if (!FindModuleRecord(self))
        ownOptions = new TVurazaModuleOptionsEx(CurrentModuleFileName());
}

// The module record, the options in force, the main thread's handle and the thread lists, with
// the calling thread as the main one: start-up makes them, the leak report at exit again.
void MakeRoadRecords()
{
    MakeOwnModuleRecord();
    ModuleOptionsHooks().currentOptions = [] { return static_cast<TVurazaModuleOptions*>(CurrentOptionsHook()); };
    if (!activeOptions)
        activeOptions = new TVurazaModuleOptionsEx(CurrentModuleFileName());
    if (TVurazaModuleOptionsEx* current = CurrentDuruvaDodOptions())
        activeOptions->Assign(current);
    mainThreadId = GetCurrentThreadId();
    mainStackTop = CurrentStackTop();
    DuplicateHandle(GetCurrentProcess(), GetCurrentThread(), GetCurrentProcess(), &mainThreadHandle,
                    THREAD_SUSPEND_RESUME | THREAD_GET_CONTEXT | THREAD_QUERY_INFORMATION, FALSE, 0);
    CreateVurazaThreadsList();
    CreateExcludedThreadsList();
}

bool IsThreadAlive(DWORD threadId)
{
    HANDLE thread = OpenThread(SYNCHRONIZE, FALSE, threadId);
    if (!thread)
        return false;
    const bool alive = WaitForSingleObject(thread, 0) == WAIT_TIMEOUT;
    CloseHandle(thread);
    return alive;
}

// A hang goes the ordinary road, reported as the main thread's with its copied stack.
void RouteFrozenApplication(EFrozenApplication& error, const TFrozenMainThread& frozen)
{
    SetFreezeWatchThreadId(GetCurrentThreadId());
    SetRoutedStackCopy(frozen.Stack, frozen.StackSize, frozen.StackPointer);
    const uintptr_t eip = frozen.Context ? frozen.Context->Eip : 0;
    RouteException(TRoadException(&error, &typeid(error)), eip, false, nullptr, false, RouteModeOrdinary,
                   CurrentModuleHandle(), OutputDialogOrConsole, nullptr, frozen.Context, frozen.StackPointer,
                   frozen.StackTop);
}

}  // namespace

TExceptionHookProcs& ExceptionHookProcs()
{
    static constinit TExceptionHookProcs procs;
    return procs;
}

TLeakModeProcs& LeakModeProcs()
{
    static constinit TLeakModeProcs procs;
    return procs;
}

namespace {

// The lock's critical section, given up when milliseconds (INFINITE: never) have passed since start.
bool TakeHandlingSection(DWORD start, DWORD milliseconds)
{
    if (milliseconds == INFINITE) {
        EnterCriticalSection(&handlingLock);
        return true;
    }
    while (!TryEnterCriticalSection(&handlingLock)) {
        if (GetTickCount() - start >= milliseconds)
            return false;
        Sleep(5);
    }
    return true;
}

// What is left of shut-down's wait; the first call starts it.
DWORD ShutdownWaitLeft()
{
    const DWORD now = GetTickCount();
    if (shutdownDeadline == 0)
        shutdownDeadline = (now + ShutdownWaitMilliseconds) | 1;
    const LONG left = static_cast<LONG>(shutdownDeadline - now);
    return left > 0 ? static_cast<DWORD>(left) : 0;
}

// A background sender holds the handling lock for its whole delivery: senders get shut-down's
// time limit, and then the lock is waited for only as long as is left of it. Without senders
// a handling in progress (a dialog up) is waited for to its end.
DWORD SendersWaitLeft()
{
    return WaitForBackgroundSenders(ShutdownWaitLeft()) ? INFINITE : ShutdownWaitLeft();
}

}  // namespace

void EnterHandlingLock()
{
    EnterHandlingLockWithin(INFINITE);
}

bool EnterHandlingLockWithin(DWORD milliseconds)
{
    if (!handlingLockMade)
        return true;
    const DWORD start = GetTickCount();
    if (!TakeHandlingSection(start, milliseconds))
        return false;
    const DWORD self = GetCurrentThreadId();
    while (handlingDepth == 0 && handlingHeir != 0 && handlingHeir != self &&
           GetTickCount() - heirSince < HeirWaitMilliseconds) {
        LeaveCriticalSection(&handlingLock);
        Sleep(5);
        if (!TakeHandlingSection(start, milliseconds))
            return false;
    }
    if (handlingDepth == 0)
        handlingHeir = 0;
    handlingOwner = self;
    // Only the outermost holder gives the reserve back: the handling may need that room.
    if (++handlingDepth == 1)
        ReleaseEmergencyMemory();
    return true;
}

void LeaveHandlingLock()
{
    if (!handlingLockMade)
        return;
    if (handlingDepth == 1) {
        ReserveEmergencyMemory();
        handlingOwner = 0;
    }
    --handlingDepth;
    LeaveCriticalSection(&handlingLock);
}

void PassHandlingLockTo(DWORD threadId)
{
    heirSince = GetTickCount();
    handlingHeir = threadId;
}

bool HandlingLockHeld()
{
    return handlingLockMade && handlingDepth > 0 && handlingOwner == GetCurrentThreadId();
}

TVurazaModuleOptionsEx* ActiveModuleOptions()
{
    return activeOptions;
}

TVurazaModuleOptionsEx* CurrentDuruvaDodOptions()
{
    if (TVurazaModuleInfo* record = FindModuleRecord(reinterpret_cast<uintptr_t>(CurrentModuleHandle())))
        if (record->Options)
            return record->Options.get();
    return ownOptions;
}

DWORD MainThreadId()
{
    return mainThreadId;
}

HANDLE MainThreadHandle()
{
    return mainThreadHandle;
}

uintptr_t MainThreadStackTop()
{
    return mainStackTop;
}

void StartExceptionLog()
{
    // Steps 1 and 2: the internal-error procedure comes with the foundations.
    StartReporterFoundations();
    // A library whose program carries a compatible reporter hands everything to it.
    ForwardToMainModule = MainModuleTakesOver();
    OwnRuntimeHooks = true;
    ReporterStarted = true;
    InlineHandling = false;
    {
        char folder[MAX_PATH] = {};
        const DWORD n = GetCurrentDirectoryA(MAX_PATH, folder);
        StartupFolder.assign(folder, n < MAX_PATH ? n : 0);
    }
    StartupPhase = true;
    FinalizationStarted = false;
    shutdownDeadline = 0;
    if (TThreadExceptionContext* record = ThreadExceptionContext()) {
        record->walkStart = 0;
        record->context[0] = record->context[1] = record->context[2] = record->context[3] = 0;
        record->routingGuard = false;
        record->threadControl = false;
    }
    ResetRoadTexts();
    // Step 6: a module without reporter data stops here and hooks nothing.
    if (!HasReporterData(reinterpret_cast<uintptr_t>(CurrentModuleHandle()))) {
        ReporterStarted = false;
        return;
    }
    // Steps 7 to 10.
    MakeRoadRecords();
    TerminatePressed = false;
    ApplicationStartTime = NowDateTime();
    PrepareRoadBuffers();
    CaptureActive = true;
    if (!handlingLockMade) {
        InitializeCriticalSection(&handlingLock);
        handlingLockMade = true;
    }
    InstallBoundaryReporter();
    InstallPeerPasswordRequest();
    // Step 11: the runtime's exception procedures and the import hooks.
    if (!IsRunningInIde() && OwnRuntimeHooks) {
        InstallExceptionHooks();
        InstallServerExtensionHook();
        if (ExceptionHookProcs().install)
            ExceptionHookProcs().install();
        hooksInstalled = true;
    }
    // Step 12: the hang watchdog.
    SetFreezeRoute(RouteFrozenApplication);
    InstallFreezeWatchHooks();
    if (!IsRunningInIde())
        StartFreezeWatch();
    // Step 14: the leak tracker reports through the road; its exit step already runs last.
    if (!IsRunningInIde() && IsLeakTrackingActive() && LeakModeProcs().install)
        LeakModeProcs().install();
}

namespace {

// Shut-down's wait for the lock: threads that keep raising give way to it (it is the lock's
// heir), and it lasts no longer than shut-down's limit allows.
bool EnterHandlingLockAtShutdown()
{
    PassHandlingLockTo(GetCurrentThreadId());
    const bool locked = EnterHandlingLockWithin(SendersWaitLeft());
    if (!locked && handlingHeir == GetCurrentThreadId())
        handlingHeir = 0;
    return locked;
}

}  // namespace

void CloseRoadAtFinalization()
{
    FinalizationStarted = true;
    if (!ReporterStarted)
        return;
    // Capture stays on until the reporter's own finalisation: a fault in a static destructor
    // or an exit handler is reported. A handling in progress is waited for.
    if (EnterHandlingLockAtShutdown())
        LeaveHandlingLock();
}

void StopExceptionLog()
{
    if (!ReporterStarted)
        return;
    // Waits for a handling in progress, then closes the road before anything is freed: an
    // exception arriving from now on finds it closed, and no hook calls into freed lists.
    const bool locked = EnterHandlingLockAtShutdown();
    ReporterStarted = false;
    CaptureActive = false;
    // A sender still delivering after the limit keeps using the road's state: the road is
    // closed, nothing is unhooked or freed, and the sender ends with the process.
    if (!locked)
        return;
    if (hooksInstalled) {
        if (ExceptionHookProcs().remove)
            ExceptionHookProcs().remove();
        RemoveExceptionHooks();
        RemoveServerExtensionHook();
    }
    hooksInstalled = false;
    LeaveHandlingLock();
    StopFreezeWatch();
    StopModuleRecordMaker();
    RemoveBoundaryReporter();
    ReleaseHandlingThread();
    FreeVurazaThreadsList();
    FreeExcludedThreadsList();
    // Step 6: the leak report at exit reads them back.
    if (IsLeakTrackingActive() && LeakModeProcs().saveOptions)
        if (TVurazaModuleOptionsEx* current = CurrentDuruvaDodOptions())
            LeakModeProcs().saveOptions(*current);
    if (mainThreadHandle)
        CloseHandle(mainThreadHandle);
    mainThreadHandle = nullptr;
    if (ModuleOptionsHooks().currentOptions)
        ModuleOptionsHooks().currentOptions = nullptr;
    // The options objects stay: a late hook may still read them, and the process is ending.
    // With the leak tracker they go (step 7), or they would be reported as leaks; the leak
    // report makes its own.
    if (IsLeakTrackingActive()) {
        TVurazaModuleOptionsEx* active = activeOptions;
        TVurazaModuleOptionsEx* own = ownOptions;
        activeOptions = ownOptions = nullptr;
        ClearModuleRecords();
        delete active;
        delete own;
    }
}

bool RestartRoadForLeaks()
{
    const uintptr_t self = reinterpret_cast<uintptr_t>(CurrentModuleHandle());
    if (!HasReporterData(self))
        return false;
    ReviveRoutingStatics();
    ReviveHandlerStatics();
    ReviveEnvironmentStatics();
    ReviveEventStatics();
    ReviveUtilityStatics();
    ReviveProcessStatics();
    ReviveInternalErrorStatics();
    ReviveCoreStatics();
    ReviveStatic(StartupFolder);
    if (LeakModeProcs().reviveSteps)
        LeakModeProcs().reviveSteps();
    // The module record anew from the stored data (the caller reloads its saved options); this
    // thread is the one left: it is the main thread of the report.
    ClearModuleRecords();
    delete ownOptions;
    ownOptions = nullptr;
    FreeVurazaThreadsList();
    MakeRoadRecords();
    if (TThreadExceptionContext* record = ThreadExceptionContext()) {
        record->walkStart = 0;
        record->raiseStackPointer = 0;
        record->context[0] = record->context[1] = record->context[2] = record->context[3] = 0;
        record->routingGuard = false;
        record->threadControl = false;
    }
    ResetRoadTexts();
    PrepareRoadBuffers();
    TerminatePressed = false;
    // The lock stays unless its holder has ended inside a handling: then it is made anew, or
    // the report would wait for it for ever.
    if (!handlingLockMade || (handlingOwner != 0 && !IsThreadAlive(handlingOwner))) {
        InitializeCriticalSection(&handlingLock);
        handlingDepth = 0;
        handlingOwner = 0;
        handlingLockMade = true;
    }
    ReserveEmergencyMemory();
    CaptureActive = true;
    ReporterStarted = true;
    return true;
}

void CloseRoadAfterLeaks()
{
    EnterHandlingLock();
    ReporterStarted = false;
    CaptureActive = false;
    LeaveHandlingLock();
    FreeVurazaThreadsList();
    if (mainThreadHandle)
        CloseHandle(mainThreadHandle);
    mainThreadHandle = nullptr;
    ModuleOptionsHooks().currentOptions = nullptr;
    ReleaseEmergencyMemory();
}

namespace {

// A stack overflow leaves the faulting thread almost no stack: a thread of its own routes it
// on that thread's behalf while the faulting thread waits.
struct TOverflowRoute {
    EXCEPTION_POINTERS* pointers;
    DWORD threadId;
    uintptr_t stackTop;
};

DWORD WINAPI RouteOverflow(void* data)
{
    auto* route = static_cast<TOverflowRoute*>(data);
    const EXCEPTION_RECORD& record = *route->pointers->ExceptionRecord;
    const CONTEXT* context = route->pointers->ContextRecord;
    SetRouteOnBehalfOf(route->threadId);
    MarkProcessEndsAfterRoute();
    TRoadException e = FilterExceptionObject(route->pointers);
    RouteException(e, reinterpret_cast<uintptr_t>(record.ExceptionAddress), false, nullptr, false, RouteModeOrdinary,
                   CurrentModuleHandle(), OutputAutomatic, &record, context, context ? context->Esp : 0, route->stackTop);
    SetRouteOnBehalfOf(0);
    return 0;
}

}  // namespace

LONG WINAPI ReporterExceptionFilter(EXCEPTION_POINTERS* pointers)
{
    // A library's copy leaves what reaches the process's filter to the main module's filter.
    if (ForwardToMainModule)
        return previousFilter ? previousFilter(pointers) : EXCEPTION_CONTINUE_SEARCH;
    // The handling thread's own fault: the road is this thread's, and the thread that holds its
    // lock waits for it. The handling ends; the waiting thread goes on.
    if (OnHandlingThread()) {
        ReportHandlingFailure("A fault outside the handling's frame.");
        AbandonHandlingThread(pointers && pointers->ExceptionRecord ? pointers->ExceptionRecord->ExceptionCode : 1);
    }
    if (CaptureActive && ReporterStarted && pointers && pointers->ExceptionRecord &&
        pointers->ExceptionRecord->ExceptionCode == EXCEPTION_STACK_OVERFLOW) {
        static TOverflowRoute route;
        route = {pointers, GetCurrentThreadId(), CurrentStackTop()};
        if (HANDLE helper = CreateThread(nullptr, 256 * 1024, RouteOverflow, &route, 0, nullptr)) {
            WaitForSingleObject(helper, INFINITE);
            CloseHandle(helper);
        }
        TerminateProcess(GetCurrentProcess(), EXCEPTION_STACK_OVERFLOW);
        return EXCEPTION_EXECUTE_HANDLER;
    }
    // The debugger's thread naming is no fault: the thread goes on.
    if (pointers && pointers->ExceptionRecord && pointers->ExceptionRecord->ExceptionCode == 0x406D1388)
        return EXCEPTION_CONTINUE_EXECUTION;
    if (!(CaptureActive && ReporterStarted) || !pointers || !pointers->ExceptionRecord)
        return previousFilter ? previousFilter(pointers) : EXCEPTION_CONTINUE_SEARCH;
    const EXCEPTION_RECORD& record = *pointers->ExceptionRecord;
    MarkProcessEndsAfterRoute();
    if (pointers->ContextRecord)
        if (TThreadExceptionContext* thread = ThreadExceptionContext()) {
            StoreThreadContext(*thread, *pointers->ContextRecord);
            thread->walkStart = pointers->ContextRecord->Esp;
            thread->exceptionRecord = record;
            thread->exceptionRecord.ExceptionRecord = nullptr;
        }
    const uintptr_t address = reinterpret_cast<uintptr_t>(record.ExceptionAddress);
    // The same exception already handled (by identity, not by its message) is not reported again.
    if (!AlreadyHandled(nullptr, record.ExceptionCode, address, GetCurrentThreadId())) {
        TRoadException e = FilterExceptionObject(pointers);
        HandleUnhandledException(e, address);
    }
    TerminateProcess(GetCurrentProcess(), record.ExceptionCode);
    return EXCEPTION_EXECUTE_HANDLER;
}

void InitializeExceptionLog()
{
    if (InterlockedIncrement(&initCount) != 1)
        return;
    RunGuardedStep(StartExceptionLog, "ExceptionLog.Init");
    ReserveEmergencyMemory();
    previousFilter = SetUnhandledExceptionFilter(ReporterExceptionFilter);
    filterInstalled = true;
}

void FinalizeExceptionLog()
{
    if (InterlockedIncrement(&doneCount) != 1)
        return;
    RunGuardedStep(StopExceptionLog, "ExceptionLog.Done");
    ReleaseEmergencyMemory();
    if (filterInstalled)
        SetUnhandledExceptionFilter(previousFilter);
    filterInstalled = false;
}
