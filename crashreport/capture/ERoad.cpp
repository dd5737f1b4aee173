#include "crashreport/capture/ERoad.h"

#include <atomic>
#include <cerrno>
#include <cstring>
#include <new>
#include <string>

#include "crashreport/capture/EClassNames.h"
#include "crashreport/capture/EExcludedThreads.h"
#include "crashreport/capture/EExternal.h"
#include "crashreport/capture/EInternalError.h"
#include "crashreport/capture/EModules.h"
#include "crashreport/capture/EObjects.h"
#include "crashreport/capture/EOptions.h"
#include "crashreport/capture/EPeers.h"
#include "crashreport/capture/ERevive.h"
#include "crashreport/capture/ERoadState.h"
#include "crashreport/capture/ERoadSteps.h"
#include "crashreport/capture/EThreadContext.h"
#include "crashreport/capture/EStillProbe.h"
#include "crashreport/capture/EUtilsWin.h"
#include "crashreport/capture/ExceptionLog.h"
#include "crashreport/capture/EDialogState.h"
#include "framework/ExceptionBoundary.h"
#include "framework/NeverDestroyed.h"

TRoadException::TRoadException(std::exception_ptr e) : error(std::move(e))
{
    if (error) {
        // The runtime's exception_ptr is one pointer to the thrown object.
        static_assert(sizeof(std::exception_ptr) == sizeof(void*));
        std::memcpy(&object, &error, sizeof object);
        type = error.__cxa_exception_type();
    }
}

TRoadException::TRoadException(TExternalRef e) : external(std::move(e))
{
    if (EExternal* made = external.Get()) {
        object = made;
        type = &typeid(*made);
    }
}

TRoadException ExternalRoadException(const EXCEPTION_RECORD& record)
{
    return TRoadException(TExternalRef(NewExternalObject(record)));
}

// The handling thread: one at a time (HandlingLock). It stands ready from start-up, waiting
// for the next exception: a thread started at the fault needs the process heap for its own
// start (the loader's and the runtime's thread data), and the faulting code may hold its lock.
class TExceptionThread {
public:
    bool result = true;
    const TRoadException* exception = nullptr;
    uintptr_t address = 0;
    bool language = false;
    TExceptNotifyParams params;
    uint8_t outputKind = 0;
    HMODULE module = nullptr;
    uint8_t mode = 0;
    std::atomic<bool> running = false;

    HANDLE handle = nullptr;
    DWORD id = 0;
    HANDLE wake = nullptr;  // a handling is waiting
    HANDLE done = nullptr;  // it has ended
    std::atomic<bool> stop = false;

    void Execute()
    {
        try {
            result = RunExceptionHandler(*exception, address, language, mode, module, outputKind, params);
        } catch (...) {
            ReportInternalError("TExceptionThread");
        }
        Finish();
    }
    void Finish()
    {
        running = false;
        SetEvent(done);
    }
};

namespace {

TExceptionThread handlingThread;

DWORD WINAPI ServeHandlings(void*)
{
    // The runtime's data of this thread is made now, not at the fault.
    errno = 0;
    (void)std::uncaught_exceptions();
    ThreadExceptionContext();
    while (WaitForSingleObject(handlingThread.wake, INFINITE) == WAIT_OBJECT_0 && !handlingThread.stop)
        handlingThread.Execute();
    return 0;
}

// Copies of the faulting thread's blocks for the handling thread.
CONTEXT faultContext;
EXCEPTION_RECORD faultRecord;

volatile DWORD faultingThreadId = 0;  // waiting in RouteException, serving the queue
volatile DWORD handlingThreadId = 0;
volatile DWORD freezeWatchThreadId = 0;
volatile DWORD behalfRouter = 0, behalfThread = 0;
volatile bool faultingThreadWaiting = false;
// The thread whose route the process's end follows (the filter, the terminate handler): its
// handling must not leave delivery to a thread the end would kill.
volatile DWORD processEndsAfterRoute = 0;

struct TRoutedStackCopy {
    const void* bytes;
    size_t size;
    uintptr_t base;
    DWORD threadId;
};
TRoutedStackCopy routedCopy = {};

// The last object the entry guard recorded, for ExceptionManager; forgotten when a handling ends.
TRoadException lastRecorded;
uintptr_t lastRecordedAddress = 0;
CRITICAL_SECTION lastRecordedLock;
volatile LONG lastRecordedLockMade = 0;

void LockLastRecorded()
{
    if (InterlockedCompareExchange(&lastRecordedLockMade, 1, 0) == 0) {
        // Made at the first fault: without debug information, which would come from the
        // process heap.
        InitializeCriticalSectionEx(&lastRecordedLock, 0, CRITICAL_SECTION_NO_DEBUG_INFO);
        lastRecordedLockMade = 2;
    }
    while (lastRecordedLockMade != 2)
        Sleep(0);
    EnterCriticalSection(&lastRecordedLock);
}

void RecordForManager(const TRoadException& e, uintptr_t address)
{
    LockLastRecorded();
    if (!e.Empty()) {
        lastRecorded = e;
        lastRecordedAddress = address;
    }
    LeaveCriticalSection(&lastRecordedLock);
}

void ForgetRecorded()
{
    LockLastRecorded();
    lastRecorded = TRoadException();
    lastRecordedAddress = 0;
    LeaveCriticalSection(&lastRecordedLock);
}

// RunInMainThread's queue: entries live on their callers' stacks, pushed atomically, each
// with its own done flag; the faulting thread takes the whole chain and runs it oldest first.
struct TQueuedCall {
    void (*procedure)(void*);
    void* data;
    TQueuedCall* next;
    volatile LONG done;
};
std::atomic<TQueuedCall*> queueHead = nullptr;

// A handler that throws or faults is abandoned where it failed; the handling goes on. The
// fault can't take the road: this thread's handling is the one running.
struct TSwallowedCall {
    void (*procedure)(void*);
    void* data;
};

void RunSwallowedCall(void* data)
{
    auto* call = static_cast<TSwallowedCall*>(data);
    try {
        call->procedure(call->data);
    } catch (...) {
    }
}

void RunSwallowingFaults(void (*procedure)(void*), void* data)
{
    TSwallowedCall call{procedure, data};
    RunInSilentFrame(RunSwallowedCall, &call);
}

void ServeQueuedCalls()
{
    TQueuedCall* chain = queueHead.exchange(nullptr);
    TQueuedCall* ordered = nullptr;
    while (chain) {
        TQueuedCall* next = chain->next;
        chain->next = ordered;
        ordered = chain;
        chain = next;
    }
    while (ordered) {
        TQueuedCall* next = ordered->next;  // the entry may vanish once done is set
        RunSwallowingFaults(ordered->procedure, ordered->data);
        InterlockedExchange(&ordered->done, 1);
        ordered = next;
    }
}

// Waiting messages of the main thread while the dialog is up: input is refused with a beep.
void PumpPass(void* data)
{
    try {
        MSG msg;
        for (int i = 0; i < PumpMessagesPerPass && PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE); ++i) {
            switch (ClassifyPumpedMessage(msg.message)) {
            case TPumpVerdict::Drop:
                break;
            case TPumpVerdict::BeepAndDrop:
                MessageBeep(0);
                break;
            case TPumpVerdict::Dispatch:
                TranslateMessage(&msg);
                DispatchMessageA(&msg);
                break;
            }
        }
    } catch (...) {
        *static_cast<bool*>(data) = false;
    }
}

// False when a procedure it reached failed: a fault or a throw, both stopped here (a fault
// going on to the process's filter would end the process in the middle of the report).
bool PumpWaitingMessages()
{
    bool ok = true;
    return RunInSilentFrame(PumpPass, &ok) && ok;
}

void ServeSentPass(void*)
{
    try {
        MSG msg;
        PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    } catch (...) {
    }
}

// The focused window of the faulting thread, read without sending it anything.
void ReadFocusedWindow(DWORD threadId, TExceptNotifyParams& params)
{
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    HWND focus = GetGUIThreadInfo(threadId, &info) ? info.hwndFocus : nullptr;
    if (!focus)
        return;
    GetClassNameA(focus, params.focusedWindowClass, sizeof params.focusedWindowClass);
    char upper[256];
    size_t n = 0;
    for (const char* p = params.focusedWindowClass; *p && n + 1 < sizeof upper; ++p)
        upper[n++] = (*p >= 'a' && *p <= 'z') ? static_cast<char>(*p - 32) : *p;
    upper[n] = 0;
    const LONG style = GetWindowLongA(focus, GWL_STYLE);
    const bool edit = std::strstr(upper, "EDIT") != nullptr;
    const bool memo = std::strstr(upper, "MEMO") != nullptr;
    if (IsWindowUnicode(focus) || ((edit || memo) && (style & ES_MULTILINE)))
        return;
    wchar_t text[256] = {};
    const int length = InternalGetWindowText(focus, text, 256);
    if (length <= 0)
        return;
    const int bytes = WideCharToMultiByte(936, 0, text, length, params.focusedWindowText,
                                          sizeof params.focusedWindowText - 1, nullptr, nullptr);
    params.focusedWindowText[bytes > 0 ? bytes : 0] = 0;
    if (edit && (style & ES_PASSWORD))
        for (char* p = params.focusedWindowText; *p; ++p)
            *p = '*';
}

// Waits for the handling thread, serving what it queues and the messages sent to this thread.
void WaitForHandling(TExceptionThread& thread, bool onMain, bool pumping, bool stackOverflow)
{
    bool pumpFaulted = false;
    HANDLE done = thread.done;
    while (thread.running) {
        if (onMain && pumping && !pumpFaulted && DialogShown)
            pumpFaulted = !PumpWaitingMessages();
        ServeQueuedCalls();
        if (stackOverflow) {
            WaitForSingleObject(done, 10);
            continue;
        }
        // Sent messages are served whatever the pumping rule: a window of another thread that
        // sends to this one would otherwise wait for the handling, and the handling for it.
        MsgWaitForMultipleObjects(1, &done, FALSE, 10, QS_SENDMESSAGE);
        RunInSilentFrame(ServeSentPass, nullptr);
    }
    ServeQueuedCalls();
}

bool RunInHandlingThread(const TRoadException& e, uintptr_t address, bool language, uint8_t mode, HMODULE module,
                         uint8_t outputKind, const TExceptNotifyParams& params)
{
    TExceptionThread& thread = handlingThread;
    if (!PrepareHandlingThread()) {
        // No thread: handle here rather than not at all.
        TExceptNotifyParams copy = params;
        return RunExceptionHandler(e, address, language, mode, module, outputKind, copy);
    }
    thread.exception = &e;
    thread.address = address;
    thread.language = language;
    thread.mode = mode;
    thread.module = module;
    thread.outputKind = outputKind;
    thread.params = params;
    thread.result = true;
    thread.running = true;
    ResetEvent(thread.done);
    handlingThreadId = thread.id;
    faultingThreadId = GetCurrentThreadId();
    faultingThreadWaiting = true;
    SetEvent(thread.wake);
    WaitForHandling(thread, GetCurrentThreadId() == MainThreadId(), PumpingAllowed(IsStackOverflow(e),
                    ActiveModuleOptions() ? ActiveModuleOptions()->BehaviourFlags() : 0), IsStackOverflow(e));
    faultingThreadWaiting = false;
    faultingThreadId = 0;
    handlingThreadId = 0;
    return thread.result;
}

}  // namespace

bool PrepareHandlingThread()
{
    TExceptionThread& thread = handlingThread;
    if (thread.handle)
        return true;
    if (!thread.wake)
        thread.wake = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    if (!thread.done)
        thread.done = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (!thread.wake || !thread.done)
        return false;
    thread.stop = false;
    thread.handle = CreateThread(nullptr, 0, ServeHandlings, nullptr, 0, &thread.id);
    if (thread.handle)
        SetThreadPriority(thread.handle, THREAD_PRIORITY_HIGHEST);
    PrepareStillProbe();
    return thread.handle != nullptr;
}

void ReleaseHandlingThread()
{
    ReleaseStillProbe();
    TExceptionThread& thread = handlingThread;
    if (!thread.handle)
        return;
    thread.stop = true;
    SetEvent(thread.wake);
    if (WaitForSingleObject(thread.handle, 5000) != WAIT_OBJECT_0)
        TerminateThread(thread.handle, 1);
    CloseHandle(thread.handle);
    thread.handle = nullptr;
    thread.id = 0;
}

DWORD FaultingThreadId()
{
    return faultingThreadId;
}

bool IsAbortException(const TRoadException& e)
{
    if (e.type)
        return TypeInheritsFromName(*e.type, "EAbort");
    return e.object && ObjectInheritsFromName(e.object, "EAbort");
}

bool IsReportable(const TRoadException& e)
{
    if (e.Empty() || IsAbortException(e))
        return false;
    return e.type != nullptr || IsValidObject(e.object);
}

bool IsStackOverflow(const TRoadException& e)
{
    if (e.type)
        return TypeInheritsFromName(*e.type, "EStackOverflow");
    return e.object && ObjectInheritsFromName(e.object, "EStackOverflow");
}

std::string RoadExceptionMessage(const TRoadException& e)
{
    if (e.error)
        return BoundaryExceptionMessage(e.error);
    return e.object ? ObjectMessage(e.object) : std::string();
}

std::string RoadExceptionTypeName(const TRoadException& e)
{
    if (e.type)
        return DemangledTypeName(*e.type);
    return e.object ? ObjectClassName(e.object) : std::string();
}

void EnterExceptionHandling(const TRoadException& e, uintptr_t address, bool language, bool raiseFlag)
{
    // The handling thread's own exceptions never replace what the faulting thread left.
    if (OnHandlingThread())
        return;
    TThreadExceptionContext* ctx = ThreadExceptionContext();
    if (!ctx || InterlockedCompareExchange(&ctx->entryGuard, 1, 0) != 0)
        return;
    const DWORD lastError = GetLastError();
    if (!raiseFlag || LastExceptionAddress() == 0) {
        RecordLastException(e.object, address, language);
        RecordForManager(e, address);
    }
    if (CaptureActive && ReporterStarted && IsThreadHandled(GetCurrentThreadId()) && IsReportable(e)) {
        CaptureRawStack(address, language);
        // The unwinder decides who catches a C++ exception: one seen as it is thrown is left to
        // the moment it really is unhandled; a stack overflow never waits.
        // A library's copy leaves it to the main module's, which hears of it through the exports.
        if ((!raiseFlag || IsStackOverflow(e)) && !ForwardToMainModule) {
            if (ctx->walkStart == 0)
                ctx->walkStart = ctx->raiseStackPointer;
            RouteException(e, address, language, nullptr, false, RouteModeOrdinary, CurrentModuleHandle(),
                           OutputAutomatic, nullptr, nullptr, 0, 0);
        }
    }
    SetLastError(lastError);
    InterlockedExchange(&ctx->entryGuard, 0);
}

bool RouteException(const TRoadException& e, uintptr_t address, bool language, TVurazaStackList* readyStack,
                    bool handled, uint8_t mode, HMODULE module, uint8_t outputKind, const EXCEPTION_RECORD* record,
                    const CONTEXT* context, uintptr_t stackPointer, uintptr_t stackTop)
{
    bool result = true;
    if (!ReporterStarted || IsAbortException(e))
        return result;
    if (OnHandlingThread()) {
        ReportHandlingFailure("An exception raised inside the handling.");
        return false;
    }
    // The program is ending: the road is closed to new exceptions (one being handled ends)
    // but the finalising main thread's own (a static destructor's, an exit handler's). Other
    // threads' would wait for a handling that waits for the runtime's exit lock, which the
    // finalising thread holds, and starve shut-down's wait.
    if (FinalizationStarted && (!CaptureActive || GetCurrentThreadId() != MainThreadId()))
        return result;
    TThreadExceptionContext* ctx = ThreadExceptionContext();
    EnterHandlingLock();
    // Shut-down closes the road under the lock: nothing is routed into freed state.
    if (!ReporterStarted || !ctx) {
        LeaveHandlingLock();
        return result;
    }
    if (ctx->routingGuard) {
        // An exception inside the handling on this thread is swallowed.
        LeaveHandlingLock();
        return false;
    }
    ctx->routingGuard = true;
    try {
        TVurazaModuleOptionsEx* current = CurrentDuruvaDodOptions();
        const std::string message = RoadExceptionMessage(e);
        const bool safeCallTagged = message.rfind("[SafeCall Exception]: ", 0) == 0;
        if (safeCallTagged && current && !(current->BehaviourFlags() & 0x40)) {
            result = false;
        } else if (current && current->ReporterActive()) {
            TExceptNotifyParams params;
            params.handled = handled;
            params.readyStack = readyStack;
            const DWORD self = GetCurrentThreadId();
            const bool fromWatchdog = freezeWatchThreadId != 0 && self == freezeWatchThreadId;
            params.threadId = fromWatchdog ? MainThreadId() : (behalfRouter == self && behalfThread) ? behalfThread : self;
            params.stackTop = stackTop ? stackTop : CurrentStackTop();
            params.stackPointer = stackPointer ? stackPointer : ctx->raiseStackPointer ? ctx->raiseStackPointer : ctx->walkStart;
            // The faulting thread's blocks, copied for the handling thread.
            if (context) {
                faultContext = *context;
                params.context = &faultContext;
            } else if (LoadThreadContext(*ctx, faultContext)) {
                params.context = &faultContext;
            }
            if (record) {
                faultRecord = *record;
                params.exceptionRecord = &faultRecord;
            } else if (ctx->exceptionRecord.ExceptionCode != 0) {
                faultRecord = ctx->exceptionRecord;
                params.exceptionRecord = &faultRecord;
            }
            if (routedCopy.threadId == self && routedCopy.bytes) {
                params.stackCopy = routedCopy.bytes;
                params.stackCopySize = routedCopy.size;
                params.stackCopyBase = routedCopy.base;
            }
            routedCopy = {};
            ReadFocusedWindow(params.threadId, params);
            if (!handled)
                RecordObjectInThread(e.object, static_cast<uint32_t>(address));
            const bool leak = (e.type && TypeInheritsFromName(*e.type, "EMemoryLeak")) ||
                              (!e.type && e.object && ObjectInheritsFromName(e.object, "EMemoryLeak"));
            // Inline handling belongs to this handling alone: a leak report runs here, and a
            // route the process's end follows must not leave delivery in the background. So
            // does a fault of the main thread during finalisation: it may hold the runtime's
            // exit lock, which the handling thread's first use of a static would wait for.
            if (leak || (FinalizationStarted && self == MainThreadId())) {
                InlineHandling = true;
                result = RunExceptionHandler(e, address, language, mode, module, outputKind, params);
            } else {
                InlineHandling = processEndsAfterRoute == self;
                result = RunInHandlingThread(e, address, language, mode, module, outputKind, params);
            }
            InlineHandling = false;
        }
    } catch (...) {
        ReportInternalError("RouteException");
    }
    // Here, not on the handling thread: this thread may be the one holding a heap's lock.
    ReleaseDroppedModuleRecords();
    // This thread's exception state is spent.
    ctx->walkStart = 0;
    ctx->raiseStackPointer = 0;
    std::memset(ctx->context, 0, sizeof ctx->context);
    std::memset(&ctx->exceptionRecord, 0, sizeof ctx->exceptionRecord);
    CurrentExceptionRecordPtr = nullptr;
    ForgetRecorded();
    ctx->routingGuard = false;
    LeaveHandlingLock();
    return result;
}

bool ExceptionManager(const TRoadException& e, uintptr_t address, uint8_t outputKind, HMODULE module)
{
    bool result = true;
    if (FinalizationStarted && (!CaptureActive || GetCurrentThreadId() != MainThreadId()))
        return result;
    if (OnHandlingThread()) {
        ReportHandlingFailure("An exception raised inside the handling.");
        return false;
    }
    EnterHandlingLock();
    try {
        // A library's copy leaves the handling to the main module's, and its answer.
        if (ForwardToMainModule && ReporterStarted) {
            result = ForwardExceptionManager(e, address, outputKind);
        } else if (CaptureActive && ReporterStarted && IsThreadHandled(GetCurrentThreadId())) {
            LockLastRecorded();
            TRoadException last = lastRecorded;
            uintptr_t lastAddress = lastRecordedAddress;
            LeaveCriticalSection(&lastRecordedLock);
            if (!IsReportable(e) && !IsReportable(last)) {
                LeaveHandlingLock();
                return true;
            }
            // An object that is no valid object gives way to the last recorded exception.
            const bool valid = e.type != nullptr || IsValidObject(e.object);
            const TRoadException& use = valid ? e : last;
            if (!valid)
                address = lastAddress;
            if (TThreadExceptionContext* ctx = ThreadExceptionContext())
                if (ctx->walkStart == 0)
                    ctx->walkStart = CurrentStackPointer();
            const bool language = PeerLastLanguageException(
                address, use.type ? !TypeInheritsFromName(*use.type, "EExternal") : IsLanguageException(use.object));
            result = RouteException(use, address, language, nullptr, false, RouteModeOrdinary, module, outputKind, nullptr,
                                    nullptr, 0, 0);
        }
    } catch (...) {
        ReportInternalError("ExceptionManager");
    }
    LeaveHandlingLock();
    return result;
}

bool HandleUnhandledException(const TRoadException& e, uintptr_t address)
{
    if (!ReporterStarted)
        return false;
    // A library's copy hands it to the main module's, which routes it.
    if (ForwardToMainModule) {
        ForwardExceptionManager(e, address, OutputAutomatic);
        return true;
    }
    SetThreadWalkStart(CurrentStackPointer());
    const bool language = e.type ? !TypeInheritsFromName(*e.type, "EExternal") : IsLanguageException(e.object);
    RouteException(e, address, language, nullptr, false, RouteModeOrdinary, CurrentModuleHandle(), OutputAutomatic,
                   nullptr, nullptr, 0, 0);
    return true;
}

void RunInMainThread(void (*procedure)(void* data), void* data)
{
    if (!procedure)
        return;
    if (CurrentExceptionRecordPtr && faultingThreadWaiting && faultingThreadId != 0 &&
        GetCurrentThreadId() != faultingThreadId) {
        TQueuedCall call{procedure, data, nullptr, 0};
        TQueuedCall* head = queueHead.load();
        do {
            call.next = head;
        } while (!queueHead.compare_exchange_weak(head, &call));
        while (InterlockedCompareExchange(&call.done, 0, 0) == 0)
            Sleep(10);
    } else {
        RunSwallowingFaults(procedure, data);
    }
    // A handler may have changed what the report is, and the options of the exception's
    // module: the ones it published are read over the handling's.
    if (CurrentExceptionRecordPtr) {
        RoadSteps().FindDuplicateReport(false);
        if (TVurazaModuleOptionsEx* active = ActiveModuleOptions())
            active->ReadPublishedOptions();
    }
}

bool ScheduleTerminateAction(uint8_t action)
{
    if (!ReporterStarted)
        return false;
    TerminatePressed = true;
    TVurazaModuleOptionsEx* options = CurrentExceptionRecordPtr ? ActiveModuleOptions() : CurrentDuruvaDodOptions();
    if (options)
        options->SetTerminateButtonAction(action);
    return true;
}

void SetCurrentExceptionObject(const TRoadException& e)
{
    RecordForManager(e, 0);
}

namespace {

// Made once and kept: hooks that come late at shut-down may still ask.
TExcludedThreadsList excludedThreads;
CRITICAL_SECTION excludedThreadsLock;
volatile LONG excludedLockMade = 0;

}  // namespace

void CreateExcludedThreadsList()
{
    if (InterlockedCompareExchange(&excludedLockMade, 1, 0) == 0) {
        InitializeCriticalSection(&excludedThreadsLock);
        excludedLockMade = 2;
    }
    FreeExcludedThreadsList();
}

void FreeExcludedThreadsList()
{
    if (excludedLockMade != 2)
        return;
    EnterCriticalSection(&excludedThreadsLock);
    excludedThreads.Clear();
    LeaveCriticalSection(&excludedThreadsLock);
}

bool SetThreadExcluded(DWORD threadId, bool excluded)
{
    if (excludedLockMade != 2)
        return false;
    EnterCriticalSection(&excludedThreadsLock);
    bool done = true;
    if (excluded)
        done = excludedThreads.Add(threadId);
    else
        excludedThreads.Remove(threadId);
    LeaveCriticalSection(&excludedThreadsLock);
    return done;
}

bool IsThreadHandled(DWORD threadId)
{
    if (excludedLockMade != 2)
        return true;
    EnterCriticalSection(&excludedThreadsLock);
    const bool excluded = excludedThreads.Contains(threadId);
    LeaveCriticalSection(&excludedThreadsLock);
    return !excluded;
}

void SetCaptureActive(bool value)
{
    CaptureActive = value;
}

bool IsCaptureActive()
{
    return CaptureActive;
}

bool IsReporterStarted()
{
    return ReporterStarted;
}

void SetThreadWalkStart(uintptr_t stackPosition)
{
    TThreadExceptionContext* ctx = ThreadExceptionContext();
    if (ctx && ctx->walkStart == 0) {
        ctx->walkStart = static_cast<uint32_t>(stackPosition);
        std::memset(ctx->context, 0, 4);
        std::memset(&ctx->exceptionRecord, 0, sizeof ctx->exceptionRecord);
    }
}

DWORD HandlingThreadId()
{
    return handlingThreadId;
}

void MarkProcessEndsAfterRoute()
{
    processEndsAfterRoute = GetCurrentThreadId();
}

bool OnHandlingThread()
{
    const DWORD id = handlingThreadId;
    return id != 0 && id == GetCurrentThreadId();
}

void ReportHandlingFailure(const char* what) noexcept
{
    ReportInternalError(std::to_string(HandlingStep), what ? what : "");
}

void AbandonHandlingThread(DWORD code)
{
    TExceptionThread& thread = handlingThread;
    // The next handling makes a thread of its own; this one's handle goes with it.
    HANDLE self = thread.handle;
    thread.handle = nullptr;
    thread.id = 0;
    thread.result = false;
    if (self)
        CloseHandle(self);
    thread.Finish();
    ExitThread(code);
}

void SetRoutedStackCopy(const void* bytes, size_t size, uintptr_t base)
{
    routedCopy = {bytes, size, base, GetCurrentThreadId()};
}

void SetRouteOnBehalfOf(DWORD threadId)
{
    behalfThread = threadId;
    behalfRouter = threadId ? GetCurrentThreadId() : 0;
}

void SetFreezeWatchThreadId(DWORD threadId)
{
    freezeWatchThreadId = threadId;
}

void ReviveRoutingStatics()
{
    ReviveStatic(lastRecorded);
    lastRecordedAddress = 0;
}
