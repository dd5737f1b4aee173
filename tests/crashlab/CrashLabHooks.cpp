// The exception and thread hooks' scenarios: the records threads of every kind get, the
// imports hooked (or, without reporter data, not), exceptions at the callback boundary and in
// thread objects reported once, thread naming never, and the throw capture.

#include <process.h>
#include <pthread.h>

#include <cstring>
#include <stdexcept>
#include <thread>

#include "crashreport/capture/EEvents.h"
#include "crashreport/capture/EOptions.h"
#include "crashreport/capture/ERaiseCapture.h"
#include "crashreport/capture/ERoad.h"
#include "crashreport/capture/EThreadContext.h"
#include "crashreport/capture/EThreadHooks.h"
#include "crashreport/capture/ExceptionLog.h"
#include "framework/Exception.h"
#include "framework/ExceptionBoundary.h"
#include "framework/ExtCtrls.h"
#include "framework/Thread.h"
#include "tests/crashlab/CrashLab.h"

// Named like the reporter's own thread class: it must get no record.
namespace lab {
class TSendDialogThread : public TThread {
public:
    HANDLE go = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    ~TSendDialogThread() override { CloseHandle(go); }

protected:
    void Execute() override { WaitForSingleObject(go, 10000); }
};
}  // namespace lab

namespace {

volatile LONG notifications = 0;
volatile LONG applicationCalls = 0;

volatile LONG handledNotifications = 0;
void PrintFirstItems(const TVurazaExceptionRecord& record);
void PrintWhere(const TVurazaExceptionRecord& record);

void CountHandled(void*, TVurazaExceptionRecord& record, bool& handle)
{
    InterlockedIncrement(&handledNotifications);
    LabPrint(Format("handled type=%s", record.ExceptionType ? record.ExceptionType->name() : "-"));
    handle = false;
}

void CountNotify(void*, TVurazaExceptionRecord& record, bool& handle)
{
    InterlockedIncrement(&notifications);
    LabPrint(Format("notify type=%s main=%d", record.ExceptionType ? record.ExceptionType->name() : "-",
                    record.ThreadId == MainThreadID() ? 1 : 0));
    PrintFirstItems(record);
    PrintWhere(record);
    handle = false;  // no dialog, log or mail in the scenarios
}

TDuruvaDodHandlers notifyOwner;
const void* expectedFirstFunction = nullptr;
// The function that throws or faults and the thread it ran on, as it noted them.
const void* faultingFunction = nullptr;
volatile DWORD faultingThread = 0;

// Whether the notification's address lies in the function that failed and its thread is that one.
void PrintWhere(const TVurazaExceptionRecord& record)
{
    if (!faultingFunction)
        return;
    const auto begin = reinterpret_cast<uintptr_t>(faultingFunction);
    LabPrint(Format("where in=%d thread=%d", record.ExceptionAddress > begin && record.ExceptionAddress < begin + 200 ? 1 : 0,
                    record.ThreadId == faultingThread ? 1 : 0));
}

// Whether the report's first two call-stack items lie in the expected function and its caller.
void PrintFirstItems(const TVurazaExceptionRecord& record)
{
    if (!expectedFirstFunction)
        return;
    const auto begin = reinterpret_cast<uintptr_t>(expectedFirstFunction);
    const TVurazaStackList* stack = record.CallStack;
    const uintptr_t first = stack && stack->Count() > 0 ? stack->GetItem(0)->Address : 0;
    LabPrint(Format("report first-in-thrower=%d items=%d", first > begin && first < begin + 200 ? 1 : 0,
                    stack ? static_cast<int>(stack->Count()) : -1));
}

void WatchNotifications(void (*notify)(void*, TVurazaExceptionRecord&, bool&) = &CountNotify)
{
    notifyOwner.ExceptionNotify = notify;
    notifyOwner.HandledExceptionNotify = &CountHandled;
    RegisterDuruvaDodHandlers(&notifyOwner);
    SetBoundaryExceptionHandler([](std::exception_ptr error) {
        InterlockedIncrement(&applicationCalls);
        LabPrint("application " + BoundaryExceptionMessage(error));
    });
}

void PrintCounts()
{
    LabPrint(Format("notifications %d application %d", static_cast<int>(notifications),
                    static_cast<int>(applicationCalls)));
}

// --- thread records ---

HANDLE releaseThreads = nullptr;

DWORD WINAPI WaitingThread(void*)
{
    WaitForSingleObject(releaseThreads, 10000);
    return 0;
}

unsigned __stdcall WaitingRuntimeThread(void*)
{
    WaitForSingleObject(releaseThreads, 10000);
    return 0;
}

class TLabThread : public TThread {
protected:
    void Execute() override { WaitForSingleObject(releaseThreads, 10000); }
};

// Each creator is a function of its own, so the creator stack must hold a return address into it.
CRASHLAB_CALL HANDLE CreatePlain(DWORD flags)
{
    DWORD id = 0;
    return CreateThread(nullptr, 0, &WaitingThread, nullptr, flags, &id);
}

CRASHLAB_CALL HANDLE CreateRuntime()
{
    return reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, &WaitingRuntimeThread, nullptr, 0, nullptr));
}

CRASHLAB_CALL void ResumeFrom(HANDLE thread)
{
    ResumeThread(thread);
}

bool StackHoldsCallInto(const TVurazaThreadRecord& record, const void* function)
{
    const auto begin = reinterpret_cast<uintptr_t>(function);
    for (uint32_t i = 0; i + 4 <= record.creatorStackSize; i += 4) {
        uint32_t word;
        std::memcpy(&word, record.creatorStackCopy + i, 4);
        if (word > begin && word < begin + 400)
            return true;
    }
    return false;
}

void PrintRecord(const char* kind, DWORD threadId, DWORD expectedResumer, const void* creator, const void* object)
{
    TVurazaThreadsList* list = VurazaThreadsList();
    if (!list) {
        LabPrint(Format("record %s list=none", kind));
        return;
    }
    // The thread stores its stack top once it runs.
    for (int wait = 0; wait < 200; ++wait) {
        list->BeginRead();
        const TVurazaThreadRecord* r = list->Item(list->FindById(threadId));
        const bool started = r && r->stackTop != 0;
        list->EndRead();
        if (started)
            break;
        Sleep(5);
    }
    list->BeginRead();
    int count = 0;
    for (int i = 0; i < list->Count(); ++i)
        if (list->Item(i)->threadId == threadId)
            ++count;
    const TVurazaThreadRecord* r = list->Item(list->FindById(threadId));
    if (!r) {
        LabPrint(Format("record %s count=%d", kind, count));
    } else {
        LabPrint(Format("record %s count=%d resumer=%d creator=%d capped=%d top=%d object=%d handle=%d", kind, count,
                        r->resumerId == expectedResumer ? 1 : 0,
                        creator ? (StackHoldsCallInto(*r, creator) ? 1 : 0) : (r->creatorStackSize ? 1 : 0),
                        r->creatorStackSize > 0 && r->creatorStackSize <= CreatorStackLimit ? 1 : 0,
                        r->stackTop != 0 ? 1 : 0, r->threadObject == object ? 1 : 0,
                        ThreadIdOfHandle(r->threadHandle) == threadId ? 1 : 0));
    }
    list->EndRead();
}

int RecordCount(DWORD threadId)
{
    TVurazaThreadsList* list = VurazaThreadsList();
    if (!list)
        return -1;
    list->BeginRead();
    int count = 0;
    for (int i = 0; i < list->Count(); ++i)
        if (list->Item(i)->threadId == threadId)
            ++count;
    list->EndRead();
    return count;
}

int RecordsMode(const std::vector<std::string>&)
{
    releaseThreads = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    const DWORD self = GetCurrentThreadId();
    PrintRecord("main", self, 0, nullptr, nullptr);

    HANDLE plain = CreatePlain(0);
    PrintRecord("create", GetThreadId(plain), self, reinterpret_cast<void*>(&CreatePlain), nullptr);

    // Created suspended here, resumed by another thread: that one is its resumer.
    HANDLE suspended = CreatePlain(CREATE_SUSPENDED);
    Sleep(50);
    LabPrint(Format("suspended waits=%d", SuspendThread(suspended) == 1 ? 1 : 0));
    ResumeThread(suspended);  // undoes the probe's own suspension only
    DWORD resumerId = 0;
    std::thread resumer([&] {
        resumerId = GetCurrentThreadId();
        ResumeFrom(suspended);
    });
    resumer.join();
    PrintRecord("suspended", GetThreadId(suspended), resumerId, reinterpret_cast<void*>(&ResumeFrom), nullptr);

    // Flags the hook doesn't know pass on, and such a thread still runs.
    HANDLE reserved = CreatePlain(STACK_SIZE_PARAM_IS_A_RESERVATION);
    PrintRecord("reservation", GetThreadId(reserved), self, reinterpret_cast<void*>(&CreatePlain), nullptr);
    LabPrint(Format("reservation runs=%d", SuspendThread(reserved) == 0 ? 1 : 0));
    ResumeThread(reserved);

    HANDLE runtime = CreateRuntime();
    PrintRecord("beginthreadex", GetThreadId(runtime), self, nullptr, nullptr);

    DWORD stdId = 0;
    HANDLE stdStarted = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    std::thread standard([&] {
        stdId = GetCurrentThreadId();
        SetEvent(stdStarted);
        WaitForSingleObject(releaseThreads, 10000);
    });
    WaitForSingleObject(stdStarted, 10000);
    PrintRecord("stdthread", stdId, self, nullptr, nullptr);

    auto* framework = new TLabThread();
    framework->Resume();
    PrintRecord("framework", framework->ThreadID(), self, nullptr, framework);

    auto* own = new lab::TSendDialogThread();
    own->Resume();
    Sleep(50);
    LabPrint(Format("record own count=%d", RecordCount(own->ThreadID())));

    const DWORD ids[] = {GetThreadId(plain), GetThreadId(suspended), GetThreadId(reserved), GetThreadId(runtime), stdId,
                         framework->ThreadID()};
    SetEvent(releaseThreads);
    SetEvent(own->go);
    standard.join();
    framework->WaitFor();
    own->WaitFor();
    for (HANDLE h : {plain, suspended, reserved, runtime}) {
        WaitForSingleObject(h, 10000);
        CloseHandle(h);
    }
    delete framework;
    delete own;
    // Ended threads leave the list, whichever way they ended.
    int left = 0;
    for (DWORD id : ids)
        left += RecordCount(id);
    LabPrint(Format("ended left=%d", left));
    return 0;
}

// --- imports ---

// The import address table entry of name from kernel32.dll in module, or nullptr.
void* ImportSlot(HMODULE module, const char* name)
{
    auto* base = reinterpret_cast<const uint8_t*>(module);
    auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    for (auto* d = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + dir.VirtualAddress); d->Name; ++d) {
        if (lstrcmpiA(reinterpret_cast<const char*>(base + d->Name), "kernel32.dll") != 0 || !d->OriginalFirstThunk)
            continue;
        auto* names = reinterpret_cast<const IMAGE_THUNK_DATA*>(base + d->OriginalFirstThunk);
        auto* slots = reinterpret_cast<void* const*>(base + d->FirstThunk);
        for (int i = 0; names[i].u1.AddressOfData; ++i) {
            if (IMAGE_SNAP_BY_ORDINAL(names[i].u1.Ordinal))
                continue;
            auto* byName = reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(base + names[i].u1.AddressOfData);
            if (std::strcmp(reinterpret_cast<const char*>(byName->Name), name) == 0)
                return slots[i];
        }
    }
    return nullptr;
}

int ImportsMode(const std::vector<std::string>&)
{
    HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    const struct {
        const char* label;
        HMODULE module;
    } modules[] = {{"program", GetModuleHandleW(nullptr)}, {"msvcrt", GetModuleHandleW(L"msvcrt.dll")}};
    for (const auto& m : modules) {
        for (const char* name : {"RaiseException", "RtlUnwind", "WriteFile", "CreateThread", "ResumeThread", "ExitThread"}) {
            void* slot = ImportSlot(m.module, name);
            const void* exported = reinterpret_cast<void*>(GetProcAddress(kernel, name));
            LabPrint(Format("import %s %s %s", m.label, name, !slot ? "absent" : slot == exported ? "system" : "hooked"));
        }
    }
    return 0;
}

// Shut-down puts every import back before the list goes; a thread made through the hooks
// ends cleanly afterwards.
int UnhookMode(const std::vector<std::string>&)
{
    releaseThreads = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE thread = CreatePlain(0);
    auto* framework = new TLabThread();
    framework->Resume();
    Sleep(50);
    WatchNotifications();
    FinalizeExceptionLog();
    LabPrint(Format("list after shut-down %d", VurazaThreadsList() ? 1 : 0));
    ImportsMode({});
    // Other modules' copies may still call in through the exports: nothing is routed or recorded.
    const HMODULE self = GetModuleHandleW(nullptr);
    using TManager = bool(__stdcall*)(const TRoadException*, uintptr_t, uint8_t, HMODULE);
    using TCreate = void(__stdcall*)(const void*);
    auto manager = reinterpret_cast<TManager>(GetProcAddress(self, "ExceptionManager"));
    auto create = reinterpret_cast<TCreate>(GetProcAddress(self, "DuruvaDod_CallCreateThread"));
    bool managed = false;
    try {
        throw Exception("after shut-down");
    } catch (...) {
        const TRoadException e(std::current_exception());
        managed = manager && manager(&e, 0, 0, self);
    }
    TVurazaThreadRecord record{};
    record.threadId = 12345;
    if (create)
        create(&record);
    LabPrint(Format("exports after shut-down manager=%d list=%d notifications=%d", managed ? 1 : 0,
                    VurazaThreadsList() ? 1 : 0, static_cast<int>(notifications)));
    SetEvent(releaseThreads);
    framework->WaitFor();
    delete framework;
    LabPrint(Format("thread ended %d", WaitForSingleObject(thread, 10000) == WAIT_OBJECT_0 ? 1 : 0));
    CloseHandle(thread);
    HANDLE after = CreatePlain(0);
    LabPrint(Format("thread after %d", WaitForSingleObject(after, 10000) == WAIT_OBJECT_0 ? 1 : 0));
    CloseHandle(after);
    return 0;
}

// --- exceptions at the boundary and in thread objects ---

CRASHLAB_CALL void ThrowLabException(const char* message)
{
    faultingFunction = reinterpret_cast<const void*>(&ThrowLabException);
    faultingThread = GetCurrentThreadId();
    throw Exception(message);
}

CRASHLAB_CALL void ThrowRuntimeError(const char* message)
{
    faultingFunction = reinterpret_cast<const void*>(&ThrowRuntimeError);
    faultingThread = GetCurrentThreadId();
    throw std::runtime_error(message);
}

class TThrowingThread : public TThread {
protected:
    void Execute() override { ThrowLabException("thrown in Execute"); }
};

class TNamingThread : public TThread {
protected:
    void Execute() override
    {
        const ULONG_PTR info[4] = {0x1000, reinterpret_cast<ULONG_PTR>("lab"), static_cast<ULONG_PTR>(-1), 0};
        RaiseException(0x406D1388, 0, 4, info);
        LabPrint("named in Execute");
    }
};

int ExecuteThrowMode(const std::vector<std::string>&)
{
    WatchNotifications();
    auto* thread = new TThrowingThread();
    thread->Resume();
    thread->WaitFor();
    delete thread;
    PrintCounts();
    return 0;
}

// A timer's handler throws: its boundary reports it once on the main thread; the timer is off.
int TimerMode(const std::vector<std::string>&)
{
    WatchNotifications();
    TTimer timer(nullptr);
    timer.SetInterval(50);
    timer.OnTimer = [&timer](TObject*) {
        timer.SetEnabled(false);
        ThrowLabException("thrown in a timer");
    };
    for (const DWORD start = GetTickCount(); applicationCalls == 0 && GetTickCount() - start < 10000;) {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageW(&msg);
        Sleep(10);
    }
    PrintCounts();
    return 0;
}

int NamingMode(const std::vector<std::string>&)
{
    WatchNotifications();
    auto* thread = new TNamingThread();
    thread->Resume();
    thread->WaitFor();
    delete thread;
    GuardedCall([] {
        const ULONG_PTR info[4] = {0x1000, reinterpret_cast<ULONG_PTR>("main"), static_cast<ULONG_PTR>(-1), 0};
        RaiseException(0x406D1388, 0, 4, info);
        LabPrint("named at the boundary");
    });
    PrintCounts();
    return 0;
}

volatile LONG destructorsRun = 0;
struct TCountsDestruction {
    ~TCountsDestruction() { InterlockedIncrement(&destructorsRun); }
};

int* volatile nowhere = nullptr;

CRASHLAB_CALL void WriteToNowhere()
{
    TCountsDestruction skipped;
    faultingFunction = reinterpret_cast<const void*>(&WriteToNowhere);
    faultingThread = GetCurrentThreadId();
    *nowhere = 1;
}

const char* windowAction = "";

LRESULT CALLBACK LabWindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp)
{
    if (msg == WM_APP) {
        return GuardedCall(LRESULT(-1), [&]() -> LRESULT {
            if (std::strcmp(windowAction, "throw") == 0)
                ThrowRuntimeError("thrown in a window procedure");
            WriteToNowhere();
            return 0;
        });
    }
    return DefWindowProcW(hwnd, msg, wp, lp);
}

int WindowMode(const std::vector<std::string>& args)
{
    windowAction = args.empty() ? "throw" : args[0].c_str();
    WatchNotifications();
    WNDCLASSW wc = {};
    wc.lpfnWndProc = LabWindowProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"CrashLabHooksWindow";
    RegisterClassW(&wc);
    HWND hwnd = CreateWindowExW(0, wc.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, nullptr);
    const LRESULT result = SendMessageW(hwnd, WM_APP, 0, 0);
    LabPrint(Format("window result=%d destructors=%d", static_cast<int>(result), static_cast<int>(destructorsRun)));
    // The boundary still works for the next call.
    const LRESULT again = SendMessageW(hwnd, WM_APP, 0, 0);
    LabPrint(Format("window again=%d", static_cast<int>(again)));
    DestroyWindow(hwnd);
    PrintCounts();
    return 0;
}

// --- the throw capture ---

uintptr_t throwerEsp = 0;

CRASHLAB_CALL void ThrowingFunction()
{
    throwerEsp = reinterpret_cast<uintptr_t>(__builtin_frame_address(0));
    throw Exception("captured");
}

int CaptureMode(const std::vector<std::string>&)
{
    try {
        ThrowingFunction();
    } catch (const Exception&) {
        const TRaiseCapture* capture = ThreadRaiseCapture();
        CONTEXT context;
        TThreadExceptionContext* thread = ThreadExceptionContext();
        const bool held = thread && LoadThreadContext(*thread, context);
        if (!capture || !held) {
            LabPrint("capture none");
            return 1;
        }
        const auto begin = reinterpret_cast<uintptr_t>(&ThrowingFunction);
        // The call instruction is 5 bytes before the return address.
        const uint8_t* call = reinterpret_cast<const uint8_t*>(context.Eip);
        LabPrint(Format("capture eip-in-thrower=%d call=%d return=%d esp-below-frame=%d walk=%d",
                        context.Eip > begin && context.Eip < begin + 200 ? 1 : 0, call[0] == 0xE8 ? 1 : 0,
                        capture->address == context.Eip + 5 ? 1 : 0,
                        context.Esp < throwerEsp && context.Esp + 64 > throwerEsp ? 1 : 0,
                        thread->walkStart == context.Esp ? 1 : 0));
        LabPrint(Format("capture stack=%d start=%d capped=%d type=%d", capture->stackSize > 0 ? 1 : 0,
                        capture->stackStart == context.Esp ? 1 : 0, capture->stackSize <= 102400 ? 1 : 0,
                        capture->type && *capture->type == typeid(Exception) ? 1 : 0));
    }
    // Reported from a boundary, after unwinding: the report still starts in the thrower.
    WatchNotifications();
    expectedFirstFunction = reinterpret_cast<const void*>(&ThrowingFunction);
    GuardedCall([] { ThrowingFunction(); });
    return 0;
}

// --- the throw-time stack of a report made after unwinding ---

volatile int callersDepth = 0;

CRASHLAB_CALL void CallersThrower()
{
    throw Exception("callers");
}

CRASHLAB_CALL void CallersInner()
{
    CallersThrower();
    callersDepth = callersDepth + 1;  // the call is not the last instruction
}

CRASHLAB_CALL void CallersOuter()
{
    CallersInner();
    callersDepth = callersDepth + 1;
}

// Whether items 0 to 2 of a report's call stack are the thrower and its two callers.
const char* const callersChain[] = {"CallersThrower", "CallersInner", "CallersOuter"};
volatile LONG callersRight = 0;
volatile LONG callersReports = 0;

void CheckCallers(const TVurazaExceptionRecord& record)
{
    const TVurazaStackList* stack = record.CallStack;
    int right = 0;
    for (size_t i = 0; stack && i < 3 && i < stack->Count(); ++i)
        right += std::strcmp(stack->GetItem(i)->ProcedureName.text, callersChain[i]) == 0 ? 1 : 0;
    InterlockedIncrement(&callersReports);
    if (right == 3)
        InterlockedIncrement(&callersRight);
}

void CallersNotify(void*, TVurazaExceptionRecord& record, bool& handle)
{
    CheckCallers(record);
    handle = false;
}

// The stack below, cleared: what the last round's handling left there would be scanned as
// left-overs of finished calls in the slots the thrower's frame leaves unwritten.
CRASHLAB_CALL void ClearStackBelow()
{
    char below[16384];
    std::memset(below, 0, sizeof below);
    asm volatile("" : : "r"(below) : "memory");
}

// A thrower called through two callers, caught at a boundary while another thread throws and
// catches without pause, or, when the options report handled exceptions, by a plain catch:
// each report's stack is the throwing thread's at the throw, not the unwound one nor the
// other thread's.
int CallersMode(const std::vector<std::string>& args)
{
    const int rounds = args.empty() ? 20 : std::atoi(args[0].c_str());
    TDuruvaDodHandlers owner;
    owner.ExceptionNotify = &CallersNotify;
    owner.HandledExceptionNotify = &CallersNotify;
    RegisterDuruvaDodHandlers(&owner);
    SetBoundaryExceptionHandler([](std::exception_ptr) {});
    const bool handled = CurrentDuruvaDodOptions() && CurrentDuruvaDodOptions()->LogEnabled();
    volatile bool stop = false;
    // With handled exceptions reported, every catch of the other thread would be a report.
    std::thread other([&stop, handled] {
        while (!stop && !handled) {
            try {
                throw std::runtime_error("elsewhere");
            } catch (const std::exception&) {
            }
        }
    });
    for (int i = 0; i < rounds; ++i) {
        ClearStackBelow();
        if (!handled) {
            GuardedCall([] { CallersOuter(); });
            continue;
        }
        // Not after a boundary's report of the same throw: that catch's end is not reported.
        try {
            CallersOuter();
        } catch (const Exception&) {
        }
    }
    stop = true;
    other.join();
    UnregisterDuruvaDodHandlers(&owner);
    LabPrint(Format("callers reports %ld right %ld", callersReports, callersRight));
    return 0;
}

// --- a synchronised method's exception, raised again in the calling thread ---

volatile int syncDepth = 0;

CRASHLAB_CALL void SyncThrower()
{
    throw std::runtime_error("thrown in a synchronised method");
}

CRASHLAB_CALL void SyncCaller()
{
    SyncThrower();
    syncDepth = syncDepth + 1;
}

// The first two items: the thrower and its caller exist on the main thread's stack only.
void SyncNotify(void* owner, TVurazaExceptionRecord& record, bool& handle)
{
    CountNotify(owner, record, handle);
    const TVurazaStackList* stack = record.CallStack;
    const size_t count = stack ? stack->Count() : 0;
    const auto name = [stack, count](size_t i) { return i < count ? stack->GetItem(i)->ProcedureName.text : "-"; };
    LabPrint(Format("sync report items %s %s", name(0), name(1)));
}

class TSynchronizingThread : public TThread {
protected:
    void Execute() override
    {
        faultingThread = GetCurrentThreadId();
        Synchronize([] {
            ClearStackBelow();
            SyncCaller();
        });
    }
};

// A thread object's synchronised method throws on the main thread; the calling thread raises it
// again and its boundary reports it once, with the stack of the throw on the main thread.
int SyncRaiseMode(const std::vector<std::string>&)
{
    WatchNotifications(&SyncNotify);
    faultingFunction = reinterpret_cast<const void*>(&SyncThrower);
    auto* thread = new TSynchronizingThread();
    thread->Resume();
    thread->WaitFor();
    delete thread;
    LabPrint(Format("handled %d", static_cast<int>(handledNotifications)));
    PrintCounts();
    return 0;
}

// With handled exceptions reported: a catch that ends reports its exception once; the catch
// that said `throw;` reports nothing; one reported at a boundary is not reported again.
int HandledMode(const std::vector<std::string>&)
{
    WatchNotifications();
    try {
        ThrowingFunction();
    } catch (const Exception&) {
    }
    LabPrint(Format("after catch handled=%d", static_cast<int>(handledNotifications)));
    try {
        try {
            ThrowingFunction();
        } catch (const Exception&) {
            throw;
        }
    } catch (const Exception&) {
    }
    LabPrint(Format("after rethrow handled=%d", static_cast<int>(handledNotifications)));
    GuardedCall([] { ThrowingFunction(); });
    LabPrint(Format("after boundary handled=%d", static_cast<int>(handledNotifications)));
    PrintCounts();
    return 0;
}

// An exception nothing catches ends its thread with 1; the program goes on.
int UnhandledThreadMode(const std::vector<std::string>&)
{
    WatchNotifications();
    std::thread worker([] { ThrowRuntimeError("nobody catches this"); });
    HANDLE handle = pthread_gethandle(worker.native_handle());
    WaitForSingleObject(handle, 10000);
    DWORD code = 0;
    GetExitCodeThread(handle, &code);
    worker.detach();
    LabPrint(Format("worker exit=%u", static_cast<unsigned>(code)));
    PrintCounts();
    return 0;
}

int UnhandledMainMode(const std::vector<std::string>&)
{
    WatchNotifications();
    ThrowRuntimeError("nobody catches this on main");
    return 0;
}

}  // namespace

const std::vector<TCrashLabMode>& CrashLabHookModes()
{
    static const std::vector<TCrashLabMode> modes = {
        {"records", "threads of every kind, each with one record: resumer, creator stack, object", RecordsMode},
        {"imports", "the six kernel32 imports of the program and msvcrt: hooked or the system's", ImportsMode},
        {"unhook", "shut-down with hooked threads running: imports back, threads end", UnhookMode},
        {"executethrow", "a thread object's Execute throws", ExecuteThrowMode},
        {"timer", "a timer's handler throws", TimerMode},
        {"naming", "threads named through the debugger exception, in Execute and at a boundary", NamingMode},
        {"window", "throw|av in a window procedure behind the boundary, twice", WindowMode},
        {"capture", "the throw capture of a throw from ThrowingFunction", CaptureMode},
        {"callers", "[rounds] a throw through two callers caught at a boundary while another thread throws",
         CallersMode},
        {"syncraise", "a synchronised method's exception raised again in the calling thread", SyncRaiseMode},
        {"handled", "caught exceptions, a `throw;` and a boundary, with handled exceptions reported", HandledMode},
        {"unhandledthread", "a std::thread's exception nobody catches", UnhandledThreadMode},
        {"unhandledmain", "the main thread's exception nobody catches", UnhandledMainMode},
    };
    return modes;
}
