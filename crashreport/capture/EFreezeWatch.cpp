#include "crashreport/capture/EFreezeWatch.h"

#include <atomic>

#include "crashreport/capture/ECore.h"
#include "crashreport/capture/ECorePlatform.h"
#include "crashreport/capture/EInternalWarning.h"
#include "crashreport/capture/ELang.h"
#include "crashreport/capture/EModules.h"
#include "crashreport/capture/EOptions.h"
#include "crashreport/capture/EProcesses.h"
#include "crashreport/capture/EStackReader.h"
#include "crashreport/capture/EThreadContext.h"
#include "crashreport/capture/ExceptionLog.h"

namespace {

constexpr int FrozenTextSlot = 156;
constexpr int64_t DefaultTimeoutMs = 60000;

std::atomic<TFreezeThread*> watchdog{nullptr};
std::atomic<TFreezeRoute> freezeRoute{nullptr};

TVurazaModuleOptions* CurrentOptions()
{
    auto current = ModuleOptionsHooks().currentOptions;
    return current ? current() : nullptr;
}

int64_t TimeoutMilliseconds()
{
    const TVurazaModuleOptions* options = CurrentOptions();
    return options ? options->FreezeTimeoutMilliseconds() : DefaultTimeoutMs;
}

std::string FrozenText()
{
    const TVurazaModuleOptions* options = CurrentOptions();
    std::string text = options ? options->MessageText(FrozenTextSlot) : std::string();
    return text.empty() ? DefaultMessageTexts[FrozenTextSlot] : text;
}

// The reporter records the main thread at start-up, which may run before the framework's own
// record of it is initialised; without a started reporter the framework's is all there is.
DWORD WatchedThreadId()
{
    const DWORD recorded = MainThreadId();
    return recorded ? recorded : MainThreadID();
}

HANDLE OpenWatchedThread()
{
    const DWORD id = WatchedThreadId();
    return id ? OpenThread(THREAD_SUSPEND_RESUME | THREAD_GET_CONTEXT | THREAD_QUERY_INFORMATION, FALSE, id) : nullptr;
}

}  // namespace

void ScanFrozenStack(TVurazaStackList& list, const TFrozenMainThread& frozen, bool resolve)
{
    TLiveMemoryReader live;
    TStackCopyReader reader(frozen.StackPointer, frozen.Stack, frozen.StackSize, live);
    TStackScanRequest r;
    r.Address = frozen.Context ? frozen.Context->Eip : 0;
    r.StackPointer = frozen.StackPointer;
    r.StackTop = frozen.StackTop;
    r.FollowTargets = true;
    r.Resolve = resolve;
    r.ThreadId = frozen.ThreadId;
    ScanStack(list, r, reader);
}

void SetFreezeRoute(TFreezeRoute route)
{
    freezeRoute = route;
}

TFreezeThread::TFreezeThread()
{
    mainThread_ = OpenWatchedThread();
}

TFreezeThread::~TFreezeThread()
{
    // The base waits for Execute; the handle it may still use is closed after that.
    if (GetCurrentThreadId() != ThreadID() && !Finished()) {
        Terminate();
        WaitFor();
    }
    if (mainThread_)
        CloseHandle(mainThread_);
}

HWND TFreezeThread::WaitForMainWindow()
{
    while (!Terminated()) {
        if (HWND window = FindProcessMainWindow(GetCurrentProcessId()))
            return window;
        Sleep(FreezePingMilliseconds);
    }
    return nullptr;
}

void TFreezeThread::Rest()
{
    for (int i = 0; i < FreezeRestSteps && !Terminated(); ++i)
        Sleep(FreezePingMilliseconds);
}

void TFreezeThread::Execute()
{
    while (!Terminated()) {
        count_.Answered();
        // Read once per watch, not on every ping: the options in force come from the module
        // records, which the handling of an exception may be reading.
        const int64_t timeout = TimeoutMilliseconds();
        while (!Terminated() && !count_.Reached(timeout)) {
            HWND window = WaitForMainWindow();
            if (!window)
                break;
            const DWORD start = GetTickCount();
            DWORD_PTR answer = 0;
            if (SendMessageTimeoutA(window, WM_NULL, 0, 0, SMTO_BLOCK, FreezePingMilliseconds, &answer)) {
                Rest();
                count_.Answered();
                continue;
            }
            Sleep(FreezePingRemainder(start, GetTickCount()));
            // A window destroyed meanwhile is no silence: the next search finds its successor.
            if (IsWindow(window))
                count_.Unanswered();
        }
        if (!Terminated() && count_.Reached(timeout))
            ReportHang();
    }
}

void TFreezeThread::ReportHang()
{
    if (!mainThread_)
        mainThread_ = OpenWatchedThread();
    if (!mainThread_)
        return;
    // Suspended only for the copy: the main thread runs again before anything is analysed, so
    // a lock it held can't stall the report. The flag keeps the resume out of the thread records.
    TThreadExceptionContext* own = ThreadExceptionContext();
    const bool wasControlling = own && own->threadControl;
    if (own)
        own->threadControl = true;
    const bool copied = copy_.Capture(mainThread_);
    if (own)
        own->threadControl = wasControlling;
    if (!copied || copy_.Context().Eip == 0 || copy_.Context().Esp == 0)
        return;
    const TFreezeRoute route = freezeRoute;
    if (!route)
        return;
    TFrozenMainThread frozen;
    frozen.ThreadId = WatchedThreadId();
    frozen.Context = &copy_.Context();
    frozen.Stack = copy_.Bytes();
    frozen.StackSize = copy_.Size();
    frozen.StackPointer = copy_.StackPointer();
    frozen.StackTop = copy_.StackTop();
    try {
        EFrozenApplication error(FrozenText());
        route(error, frozen);
    } catch (...) {
        // The road reports its own failures; the watchdog keeps watching.
    }
}

void StartFreezeWatch()
{
    const bool wasRefreshing = SetRefreshingModules(true);
    const TVurazaModuleOptions* options = CurrentOptions();
    // A library's copy leaves the watching to the main module's when the options say so.
    if (ForwardToMainModule && options && (options->BehaviourFlags() & 0x8)) {
        SetRefreshingModules(wasRefreshing);
        return;
    }
    if (!IsRunningInIde() && !watchdog.load() && options && options->FreezeWatchEnabled()) {
        try {
            auto* thread = new TFreezeThread;
            TFreezeThread* none = nullptr;
            if (watchdog.compare_exchange_strong(none, thread))
                thread->Resume();
            else
                delete thread;
        } catch (const Exception& e) {
            ReportInternalWarning(TDuruvaDodErrorCode::eeLogError, e.Message());
        }
    }
    SetRefreshingModules(wasRefreshing);
}

void StopFreezeWatch()
{
    if (IsRunningInIde())
        return;
    TFreezeThread* thread = watchdog.exchange(nullptr);
    if (!thread)
        return;
    thread->Terminate();
    if (GetCurrentThreadId() == thread->ThreadID()) {
        // Waiting here would wait for this very call; it frees itself once Execute returns.
        thread->FreeOnTerminate = true;
        return;
    }
    if (IsLibraryImage(CorePlatform().RunningModuleHandle()))
        TerminateThread(thread->Handle(), 1);
    delete thread;
}

bool FreezeWatchRunning()
{
    return watchdog.load() != nullptr;
}

void InstallFreezeWatchHooks()
{
    ModuleOptionsHooks().startFreezeWatch = &StartFreezeWatch;
    ModuleOptionsHooks().stopFreezeWatch = &StopFreezeWatch;
}
