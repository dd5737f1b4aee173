// RunExceptionHandler: the handling of one exception, step by step, on TExceptionThread.

#include <windows.h>

#include <tlhelp32.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>

#include "crashreport/capture/ECore.h"
#include "crashreport/capture/ECoreWin.h"
#include "crashreport/capture/EDialogState.h"
#include "crashreport/capture/EExternal.h"
#include "crashreport/capture/EHandover.h"
#include "crashreport/capture/EInternalError.h"
#include "crashreport/capture/ELeakMemory.h"
#include "crashreport/capture/EModules.h"
#include "crashreport/capture/EObjects.h"
#include "crashreport/capture/EOptions.h"
#include "crashreport/capture/EPeers.h"
#include "crashreport/capture/ERevive.h"
#include "crashreport/capture/ERoadState.h"
#include "crashreport/capture/ERoadSteps.h"
#include "crashreport/capture/EStackWin.h"
#include "crashreport/capture/EStillProbe.h"
#include "crashreport/capture/EThreadContext.h"
#include "crashreport/capture/EThreadHooks.h"
#include "crashreport/capture/EUtilsWin.h"
#include "crashreport/capture/EWebOutputWin.h"
#include "crashreport/capture/ExceptionLog.h"
#include "framework/ExceptionBoundary.h"
#include "framework/NeverDestroyed.h"

constinit std::string LastReportText, LogReportText, LastHTMLPage, CapturedHtmlPage, BugIdText, BugIdSource,
    LastExceptMessage, ReportedExceptionMessage;
volatile long ReportCounter = 0;
double ExceptionTime = 0;
uintptr_t LastRoutedAddress = 0;
constinit std::unique_ptr<TVurazaStackList> CurrentStackList;
volatile long HandlingStep = 0;

namespace {

TRoadSteps defaultSteps;
TRoadSteps* steps = nullptr;

TExceptionIdentity lastHandled;

// The other threads of the process, with handles opened and buffers made before any of them
// is suspended. From the reporter's own heap: the process heap may be locked by the fault.
struct TOtherThread {
    DWORD id;
    HANDLE handle;
    bool isMain;
    bool hasObject;
    bool ownsHandle;
    bool suspended;
    TCreatorStack creator;
};

// The creator stack of a record: the resumer's stack up to the resumer's stack top.
TCreatorStack CreatorStackOf(const TVurazaThreadsList& list, const TVurazaThreadRecord& record)
{
    TCreatorStack stack;
    if (!record.creatorStackCopy || record.creatorStackSize == 0)
        return stack;
    const TVurazaThreadRecord* resumer = list.Item(list.FindById(record.resumerId));
    if (!resumer || resumer->stackTop < record.creatorStackSize)
        return stack;
    stack.bytes = record.creatorStackCopy;
    stack.size = record.creatorStackSize;
    stack.start = resumer->stackTop - record.creatorStackSize;
    stack.resumerThreadId = record.resumerId;
    return stack;
}

class TThreadSnapshot {
public:
    TThreadSnapshot(DWORD handlingThread, DWORD faultingThread)
    {
        capacity_ = 256;
        items_ = static_cast<TOtherThread*>(HeapAlloc(ReporterHeap(), HEAP_ZERO_MEMORY, capacity_ * sizeof(TOtherThread)));
        if (!items_)
            return;
        if (TVurazaThreadsList* list = VurazaThreadsList()) {
            records_ = static_cast<TVurazaThreadsList*>(HeapAlloc(ReporterHeap(), 0, sizeof(TVurazaThreadsList)));
            if (records_)
                new (records_) TVurazaThreadsList(*list);
        }
        if (records_) {
            for (int i = 0; i < records_->Count() && count_ < capacity_; ++i) {
                const TVurazaThreadRecord& r = *records_->Item(i);
                if (r.threadId == handlingThread || r.threadId == StillProbeThreadId() ||
                    r.threadId == ModuleRecordMakerThreadId())
                    continue;
                if (r.threadId == faultingThread) {
                    faultingCreator_ = CreatorStackOf(*records_, r);
                    faultingStackTop_ = r.stackTop;
                    continue;
                }
                if (!r.threadHandle || !IsThreadRunning(r.threadHandle))
                    continue;
                items_[count_++] = {r.threadId, r.threadHandle, r.threadId == MainThreadId(), r.threadObject != nullptr,
                                    false, false, CreatorStackOf(*records_, r)};
            }
            return;
        }
        HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
        if (snap == INVALID_HANDLE_VALUE)
            return;
        const DWORD pid = GetCurrentProcessId();
        THREADENTRY32 entry{};
        entry.dwSize = sizeof entry;
        for (BOOL ok = Thread32First(snap, &entry); ok && count_ < capacity_; ok = Thread32Next(snap, &entry)) {
            if (entry.th32OwnerProcessID != pid || entry.th32ThreadID == handlingThread || entry.th32ThreadID == faultingThread ||
                entry.th32ThreadID == StillProbeThreadId() || entry.th32ThreadID == ModuleRecordMakerThreadId())
                continue;
            HANDLE h = OpenThread(THREAD_SUSPEND_RESUME | THREAD_GET_CONTEXT | THREAD_QUERY_INFORMATION, FALSE,
                                  entry.th32ThreadID);
            if (!h)
                continue;
            items_[count_++] = {entry.th32ThreadID, h, entry.th32ThreadID == MainThreadId(), false, true, false, {}};
        }
        CloseHandle(snap);
    }
    ~TThreadSnapshot()
    {
        ResumeAll();
        for (size_t i = 0; i < count_; ++i)
            if (items_[i].ownsHandle)
                CloseHandle(items_[i].handle);
        if (items_)
            HeapFree(ReporterHeap(), 0, items_);
        if (records_) {
            records_->~TVurazaThreadsList();
            HeapFree(ReporterHeap(), 0, records_);
        }
    }
    size_t Count() const { return count_; }
    TOtherThread& operator[](size_t i) { return items_[i]; }
    const TCreatorStack& FaultingCreator() const { return faultingCreator_; }
    uintptr_t FaultingStackTop() const { return faultingStackTop_; }
    void ResumeAll()
    {
        for (size_t i = 0; i < count_; ++i)
            if (items_[i].suspended) {
                ResumeThread(items_[i].handle);
                items_[i].suspended = false;
            }
    }

private:
    TOtherThread* items_ = nullptr;
    size_t count_ = 0, capacity_ = 0;
    TVurazaThreadsList* records_ = nullptr;
    TCreatorStack faultingCreator_;
    uintptr_t faultingStackTop_ = 0;
};

// The loader's lock, taken while threads are suspended to be kept still: none of them may be
// left holding it (nor a heap's lock, nor the leak tracker's) for the whole report. Taken in
// the order the threads take them: loader, heaps, leak tracker.
using TLdrLock = LONG(NTAPI*)(ULONG flags, ULONG* state, ULONG_PTR* cookie);
using TLdrUnlock = LONG(NTAPI*)(ULONG flags, ULONG_PTR cookie);

void SuspendUnderLocks(TThreadSnapshot& threads, uint16_t behaviourFlags)
{
    HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    auto lock = reinterpret_cast<TLdrLock>(reinterpret_cast<void*>(GetProcAddress(ntdll, "LdrLockLoaderLock")));
    auto unlock = reinterpret_cast<TLdrUnlock>(reinterpret_cast<void*>(GetProcAddress(ntdll, "LdrUnlockLoaderLock")));
    ULONG_PTR cookie = 0;
    const bool loaderLocked = lock && lock(0, nullptr, &cookie) >= 0;
    // Every heap, the reporter's own too: other threads' throw hooks allocate from it, and one
    // suspended inside it would stop the next stack item's allocation.
    HANDLE heaps[64];
    const DWORD heapCount = std::min<DWORD>(GetProcessHeaps(64, heaps), 64);
    DWORD locked = 0;
    for (DWORD i = 0; i < heapCount; ++i)
        if (HeapLock(heaps[i]))
            heaps[locked++] = heaps[i];
    TLeakTracker& leaks = ProgramLeakTracker();
    leaks.HoldLock();
    const bool modulesLocked = LockModulesForWriting(1000);
    for (size_t i = 0; i < threads.Count(); ++i)
        if (ThreadKeptStill(threads[i].isMain, threads[i].hasObject, behaviourFlags) && SuspendThread(threads[i].handle) != static_cast<DWORD>(-1))
            threads[i].suspended = true;
    // A suspension only asks the thread to stop: it may run on and take a lock it then keeps
    // for the whole report. Reading its context waits until it has stopped, so the locks are
    // given back only then.
    for (size_t i = 0; i < threads.Count(); ++i)
        if (threads[i].suspended) {
            CONTEXT context;
            context.ContextFlags = CONTEXT_CONTROL;
            GetThreadContext(threads[i].handle, &context);
        }
    if (modulesLocked)
        UnlockModulesForWriting();
    leaks.ReleaseLock();
    while (locked > 0)
        HeapUnlock(heaps[--locked]);
    if (loaderLocked && unlock)
        unlock(0, cookie);
}

// The system has locks of its own besides these (the loader's search path, for one): a thread
// may have stopped holding one while it waited for ours. The probe then can't get through, and
// the threads run on a little before the next try; after ten the report goes on without them
// kept still rather than not at all.
void SuspendKeptStill(TThreadSnapshot& threads, uint16_t behaviourFlags)
{
    bool any = false;
    for (size_t i = 0; i < threads.Count(); ++i)
        any = any || ThreadKeptStill(threads[i].isMain, threads[i].hasObject, behaviourFlags);
    if (!any)
        return;
    for (DWORD attempt = 1;; ++attempt) {
        SuspendUnderLocks(threads, behaviourFlags);
        if (RunStillProbe(250))
            return;
        threads.ResumeAll();
        if (attempt == 10 || !WaitStillProbe(5000))
            return;
        Sleep(attempt);
    }
}

// Appends the stacks of the other threads the options show: each suspended only to copy its
// context and stack, resumed, then scanned.
void AddOtherThreadStacks(TVurazaStackList& list, TThreadSnapshot& threads, uint8_t stackFlags)
{
    const size_t n = threads.Count();
    if (n == 0)
        return;
    void* block = HeapAlloc(ReporterHeap(), 0, n * sizeof(TThreadStackCopy));
    if (!block)
        return;
    auto* copies = static_cast<TThreadStackCopy*>(block);
    for (size_t i = 0; i < n; ++i)
        new (&copies[i]) TThreadStackCopy();
    bool* taken = static_cast<bool*>(HeapAlloc(ReporterHeap(), HEAP_ZERO_MEMORY, n));
    for (size_t i = 0; i < n && taken; ++i)
        if (ThreadStackShown(threads[i].isMain, threads[i].hasObject, stackFlags))
            taken[i] = copies[i].Capture(threads[i].handle);
    TLiveMemoryReader live(true);
    for (size_t i = 0; i < n && taken; ++i)
        if (taken[i] && copies[i].Context().Eip != 0 && copies[i].Context().Esp != 0) {
            ScanCapturedStack(list, copies[i], threads[i].id, 1, true, live);
            AddCreatorStack(list, threads[i].creator, true, live);
        }
    for (size_t i = 0; i < n; ++i)
        copies[i].~TThreadStackCopy();
    HeapFree(ReporterHeap(), 0, block);
    if (taken)
        HeapFree(ReporterHeap(), 0, taken);
}

// Lookups of the handling read the frozen records only: a module first met now gets a spare
// record, which carries no options.
TVurazaModuleInfo* ModuleWithOptions(uintptr_t handle)
{
    TVurazaModuleInfo* record = FindModuleRecord(handle);
    return record && record->Options && record->StoredDataLoaded ? record : nullptr;
}

TVurazaModuleInfo* ModuleRecordOfAddress(uintptr_t address)
{
    TVurazaModuleInfo* record = FindModuleRecordOfAddress(address);
    return record && record->Options && record->StoredDataLoaded ? record : nullptr;
}

// Step 4: the options of the module that faulted, else of the given one, else the main one's.
void ChooseOptions(uintptr_t address, HMODULE module)
{
    const uintptr_t mainModule = reinterpret_cast<uintptr_t>(GetModuleHandleW(nullptr));
    HandlingStep = 101;
    TVurazaModuleInfo* record = ModuleRecordOfAddress(address);
    HandlingStep = 102;
    if (!record)
        record = ModuleWithOptions(reinterpret_cast<uintptr_t>(module));
    HandlingStep = 103;
    TVurazaModuleInfo* mainRecord = ModuleWithOptions(mainModule);
    if (!record)
        record = mainRecord;
    TVurazaModuleOptionsEx* active = ActiveModuleOptions();
    if (!active)
        return;
    if (record)
        active->Assign(record->Options.get());
    else if (TVurazaModuleOptionsEx* current = CurrentDuruvaDodOptions())
        active->Assign(current);
    if ((active->BehaviourFlags() & 0x8) && mainRecord) {
        active->Assign(mainRecord->Options.get());
        record = mainRecord;
    }
    // The options speak for the chosen module: what it publishes meanwhile is read over them.
    if (record)
        active->SetModuleIdentity(record->FileName, record->Handle);
    else
        active->SetModuleIdentity(CurrentModuleFileName(), reinterpret_cast<uintptr_t>(CurrentModuleHandle()));
}

std::string ModuleTextOf(uintptr_t handle)
{
    if (const TVurazaModuleInfo* record = FindModuleRecord(handle))
        return BugModuleText(ExtractFileName(record->FileName), record->Version);
    TReporterString name;
    ModuleFileNameInto(reinterpret_cast<HMODULE>(handle), name);
    return ExtractFileName(name);
}

uintptr_t ModuleOfAddress(uintptr_t address)
{
    if (const TVurazaModuleInfo* record = FindModuleRecordOfAddress(address))
        return record->Handle;
    return 0;
}

struct TNotifyCall {
    bool handled;
    bool flag;
};

void ExceptionNotifyOnFaultingThread(void* data)
{
    auto* call = static_cast<TNotifyCall*>(data);
    DispatchExceptionNotify(CurrentExceptionRecord, call->handled, call->flag);
}

void CustomDataOnFaultingThread(void*)
{
    DispatchCustomDataRequest(CurrentExceptionRecord, CustomDataList);
}

void RestoreMainWindowProc(void*)
{
    RestoreMainWindow();
}

// The stack of the faulting thread: its throw-time copy when the hooks took one on this
// thread (the live stack is unwound by now), else the live stack. Call targets are not
// followed here: each frame would get a second row at the first line of the routine it calls,
// and the thread's rows are what it was running.
std::unique_ptr<TVurazaStackList> BuildFaultingStack(uintptr_t address, TExceptNotifyParams& params)
{
    TLiveMemoryReader live(true);
    if (params.stackCopy && params.stackCopySize) {
        TStackCopyReader copy(params.stackCopyBase, params.stackCopy, params.stackCopySize, live);
        return BuildStackList(address, params.stackCopyBase, params.stackCopyBase + params.stackCopySize,
                              HandlingKindsMask, -1, -1, false, 1, params.threadId, copy);
    }
    LockRawStack();
    const TRawStack& raw = RawStack();
    std::unique_ptr<TVurazaStackList> list;
    if (raw.size > 0 && raw.threadId == params.threadId && raw.address == address) {
        TStackCopyReader copy(raw.start, raw.bytes, raw.size, live);
        list = BuildStackList(address, raw.start, raw.start + raw.size, HandlingKindsMask, -1, -1, false, 1,
                              params.threadId, copy);
    }
    UnlockRawStack();
    if (!list)
        list = BuildStackList(address, params.stackPointer, params.stackTop, HandlingKindsMask, -1, -1, false, 1,
                              params.threadId, live);
    return list;
}

BOOL CALLBACK DestroyAbandonedWindow(HWND window, LPARAM)
{
    RunInSilentFrame([](void* w) { DestroyWindow(static_cast<HWND>(w)); }, window);
    return TRUE;
}

// What a step abandoned by a fault left: the raw stack's lock, and windows of this thread (a
// dialog whose procedure faulted) that nothing would pump or close again.
void ReleaseAbandonedHandlingState()
{
    ReleaseRawStackIfOwned();
    EnumThreadWindows(GetCurrentThreadId(), DestroyAbandonedWindow, 0);
}

}  // namespace

void SetRoadSteps(TRoadSteps* s)
{
    steps = s;
}

TRoadSteps& RoadSteps()
{
    return steps ? *steps : defaultSteps;
}

void TRoadSteps::ApplyTerminateAction()
{
    if (!TerminatePressed)
        return;
    bool go = TerminatePressed;
    if (!TerminateTold)
        NotifyActionFlag(ActionBeforeTerminate, go);
    TerminatePressed = go;
    if (!go)
        return;
    TVurazaModuleOptionsEx* options = ActiveModuleOptions();
    RestartOrTerminateProcess(options && options->TerminateButtonAction() == 2);
}

bool AlreadyHandled(const void* object, DWORD code, uintptr_t address, DWORD threadId)
{
    TExceptionIdentity seen{object, code, address, threadId};
    return lastHandled.Same(seen);
}

void RememberHandled(const TRoadException& e, const EXCEPTION_RECORD* record, uintptr_t address, DWORD threadId)
{
    lastHandled = {e.object, record ? record->ExceptionCode : 0, record ? reinterpret_cast<uintptr_t>(record->ExceptionAddress) : address,
                   threadId};
}

TRoadException FilterExceptionObject(EXCEPTION_POINTERS* pointers)
{
    return ExternalRoadException(*pointers->ExceptionRecord);
}

void ResetRoadTexts()
{
    LastReportText.clear();
    LogReportText.clear();
    LastExceptMessage.clear();
    ReportedExceptionMessage.clear();
    BugIdText.clear();
    BugIdSource.clear();
    lastHandled = {};
}

bool RunExceptionHandler(const TRoadException& e, uintptr_t address, bool language, uint8_t mode, HMODULE module,
                         uint8_t outputKind, TExceptNotifyParams& params)
{
    bool result = false;
    const THandledExceptionScope handledScope(e);
    TThreadExceptionContext* ctx = ThreadExceptionContext();
    const bool control = ctx ? ctx->threadControl : false;
    if (ctx)
        ctx->threadControl = true;
    TThreadSnapshot* threads = nullptr;
    alignas(TThreadSnapshot) unsigned char threadsStorage[sizeof(TThreadSnapshot)];
    bool keptStill = false;
    TVurazaStackList* reportStack = nullptr;
    const bool wasFrozen = ModuleRecordsFrozen();
    // Every step runs inside a silent frame: a fault of the handling must neither take the road
    // again (its lock is the faulting thread's, which waits for this thread) nor end the process.
    auto steps = [&]() {
        try {
            HandlingStep = 1;
            ExceptionTime = NowDateTime();
            threads = new (threadsStorage) TThreadSnapshot(GetCurrentThreadId(), params.threadId);
            if (address)
                LastRoutedAddress = address;
            // A language exception's address is the return from the throw call: back to the call.
            if (language && address)
                address -= 5;
            // Records of modules unloaded or rewritten since go first; then every lookup of the
            // handling reads the records as they are, and modules met meanwhile get spare ones.
            DropStaleModuleRecords();
            // The records are made by their own thread as modules load: a load it has not got to yet
            // is waited for a little (the faulting thread may hold the loader's lock, which making
            // it needs). Without that thread the records that decide the options are made now when
            // missing: the one lookup that may read files, before the freeze.
            if (ModuleRecordMakerRunning())
                WaitForModuleRecords(2000);
            // A library's record was made as it loaded, before it published its options: they are
            // read once, at its first exception, as a record made then would have them.
            for (TVurazaModuleInfo* record : {FindModuleRecordOfAddress(address), FindModuleRecord(reinterpret_cast<uintptr_t>(module))})
                if (record && record->Options && record->StoredDataLoaded && !record->PublishedOptionsRead &&
                    record->Handle != reinterpret_cast<uintptr_t>(CurrentModuleHandle())) {
                    record->PublishedOptionsRead = true;
                    record->Options->ReadPublishedOptions();
                }
            FindModuleRecord(reinterpret_cast<uintptr_t>(GetModuleHandleW(nullptr)));
            FreezeModuleRecords(true);
            TRoadSteps& road = RoadSteps();
            ChooseOptions(address, module);
            TVurazaModuleOptionsEx& options = *ActiveModuleOptions();
            if (LeakModeProcs().handlingOptions)
                LeakModeProcs().handlingOptions(options);
            options.SetReproduceStepsText("");
            HandlingStep = 104;
            // The development environment is the program here: its own words, no restart offered.
            if (IsRunningInIde()) {
                options.SetDialogFlags(static_cast<uint16_t>(options.DialogFlags() & ~0x40));
                options.SetMessageText(26, "The IDE has raised an exception.\r\n ");
                options.SetMessageText(27, "Restart the IDE");
            }
            CurrentExceptionRecord = {};
            CurrentExceptionRecord.ExceptionObject = e.object;
            CurrentExceptionRecord.ExceptionType = e.type;
            CurrentExceptionRecord.ExceptionAddress = address;
            CurrentExceptionRecord.ThreadId = params.threadId;
            CurrentExceptionRecord.FocusedWindowClass = params.focusedWindowClass;
            CurrentExceptionRecord.FocusedWindowText = params.focusedWindowText;
            HandlingStep = 2;
            SetHandlingMessage("");
            ReportedExceptionMessage.clear();
            LastReportText.clear();
            StartReportDialogResults();
            uint8_t handler = 2, action = 0;
            DialogState = static_cast<TDialogState>(options.DialogKind());
            bool dialogDecided = false;
            HandlingStep = 201;
            if (mode != RouteModeThreadExecute && options.HandlingEnabled()) {
                // A structured exception has no exception_ptr: its object's class decides.
                const int index = e.error ? options.ExceptionFilters().FindExceptionFilter(e.error, params.handled)
                                          : options.ExceptionFilters().FindExceptionFilter(e.type, params.handled);
                if (index >= 0) {
                    const TExceptionFilter& filter = options.ExceptionFilters().Items(index);
                    action = filter.Action;
                    handler = filter.Handler;
                    DialogState = static_cast<TDialogState>(FilterDialogState(filter.DialogChoice, options.DialogKind()));
                    dialogDecided = true;
                    // The exception's own variables first, as the message may name them; setting
                    // them goes through the process heap, so only for a message that has some.
                    if (filter.Message.find('%') != std::string::npos)
                        SetReportEnvironment(e, address);
                    const std::string message = ExpandTextVariables(filter.Message);
                    if (!message.empty())
                        SetHandlingMessage(message);
                }
            }
            HandlingStep = 3;
            bool duplicate = false;
            bool sending = ShouldSendReport(options.MailMethod(), options.UploadMethod(), duplicate, SendChecked,
                                            options.DialogKind());
            if (handler == 2) {
                // The faulting thread's own stack: this thread's is another.
                if (!params.stackTop)
                    params.stackTop = threads->FaultingStackTop() ? threads->FaultingStackTop()
                                                                  : params.stackPointer + StackScanLimit;
                if (params.context && !IsReadableMemory(params.context, ThreadContextSavedSize))
                    params.context = nullptr;
                if (params.exceptionRecord && !IsReadableMemory(params.exceptionRecord, 80))
                    params.exceptionRecord = nullptr;
                HandlingStep = 4;
                CurrentStackList.reset();
                // A ready stack stays its caller's (the leak report frees its own).
                if (!params.readyStack)
                    CurrentStackList = BuildFaultingStack(address, params);
                reportStack = params.readyStack ? params.readyStack : CurrentStackList.get();
                const std::string mainText = ModuleTextOf(reinterpret_cast<uintptr_t>(GetModuleHandleW(nullptr)));
                const std::string exceptText = ModuleTextOf(ModuleOfAddress(address));
                BugIdSource = BugIdSourceText(mainText, exceptText, RoadExceptionTypeName(e), *reportStack);
                BugIdText = BugIdOfText(BugIdSource);
                if (!params.readyStack) {
                    TLiveMemoryReader live;
                    AddCreatorStack(*reportStack, threads->FaultingCreator(), true, live);
                    // The other threads: context and stack copied while suspended, scanned after.
                    AddOtherThreadStacks(*reportStack, *threads, options.StackFlags());
                }
            }
            HandlingStep = 5;
            // Handlers 0 and 1 leave the exception to the program: no report.
            if (mode != RouteModeThreadExecute && handler == 2) {
                SuspendKeptStill(*threads, options.BehaviourFlags());
                keptStill = true;
                HandlingStep = 6;
                NotifyHandleFlag = true;
                if (options.LogFlags() & 0x10)
                    RefreshModuleList();
                HandlingStep = 7;
                CurrentExceptionRecord.CallStack = reportStack;
                CurrentExceptionRecord.ModuleOptions = &options;
                CurrentExceptionRecord.ExceptionRecord = const_cast<EXCEPTION_RECORD*>(params.exceptionRecord);
                CurrentExceptionRecord.Context = const_cast<CONTEXT*>(params.context);
                HandlingStep = 702;
                road.BuildReportText(LastReportText);
                HandlingStep = 703;
                CurrentExceptionRecord.ReportText = &LastReportText;
                CurrentExceptionRecord.ModulesList = &ModulesList();
                HandlingStep = 704;
                CurrentExceptionRecordPtr = &CurrentExceptionRecord;
                // An older log goes before the duplicate search: the first report after an
                // upgrade must not be taken for a repeat of one in the old log.
                if (options.LogFlags() & 0x4)
                    road.CheckLogVersion();
                duplicate = road.FindDuplicateReport(true);
                HandlingStep = 705;
                ClearLastWarning();
                HandlingStep = 706;
                SetReportEnvironment(e, address);
                // A CGI program's page as its output hook kept it.
                if (IsCgiApplication())
                    road.LoadCapturedHtmlPage(CapturedHtmlPage);
                LastHTMLPage = CapturedHtmlPage;
                const bool webServer = IsWebServerApplication();
                const uint8_t output = ChooseOutputKind(outputKind, webServer, IsConsoleProgram());
                if (output == 0 && ((sending && (options.SendFlags() & 0x11)) || options.DialogKind() != 0))
                    RunInMainThread(RestoreMainWindowProc, nullptr);
                TNotifyCall notify{params.handled, true};
                RunInMainThread(ExceptionNotifyOnFaultingThread, &notify);
                NotifyHandleFlag = notify.flag;
                HandlingStep = 8;
                if (NotifyHandleFlag) {
                    road.CaptureScreenshot();
                    if (options.CrashRateAction() != 0) {
                        CrashTimesList.Add(FloatToDotText(NowDateTime()));
                        while (CrashTimesList.Count() > options.CrashRateCount())
                            CrashTimesList.Delete(0);
                    }
                    CustomDataList.Clear();
                    RunInMainThread(CustomDataOnFaultingThread, nullptr);
                    // The last report field shows the custom data.
                    if (CustomDataList.Count() > 0 && (options.ReportFieldVisibility() >> 47 & 1))
                        InsertReportList(7, options.MessageText(91), CustomDataList);
                    HandlingStep = 9;
                    InterlockedIncrement(&ReportCounter);
                    HandlingStep = 10;
                    LastExceptMessage = ExceptionMessageTextOf(e);
                    HandlingStep = 11;
                    if (!dialogDecided)
                        DialogState = static_cast<TDialogState>(options.DialogKind());
                    bool askReproduce = false;
                    if (DialogState != TDialogState::None) {
                        HandlingStep = 12;
                        ClearLastWarning();
                        if (NotifyAction(ActionBeforeDialog)) {
                            SendChecked = options.MailMethod() != 0 || options.UploadMethod() != 0;
                            AttachScreenshotChecked = (options.SendFlags() & 0x10) != 0;
                            HandlingStep = 13;
                            askReproduce = DialogState == TDialogState::Detailed;
                            if (output == 1) {
                                if (!WriteConsoleLine(LastReportText)) {
                                    ActionContinueFlag = false;
                                    ReportStepFailure(TDuruvaDodErrorCode::eeShowError, "Console");
                                }
                            } else if (output == 2) {
                                road.ShowWebOutput(LastReportText);
                            } else {
                                try {
                                    bool repeated = false;
                                    uint8_t state = static_cast<uint8_t>(DialogState.load());
                                    while (state != 0) {
                                        state = road.ShowExceptionDialog(state, repeated);
                                        DialogState = static_cast<TDialogState>(state);
                                        repeated = true;
                                    }
                                } catch (...) {
                                    ActionContinueFlag = false;
                                    ReportStepFailure(TDuruvaDodErrorCode::eeShowError, "GUI");
                                }
                            }
                        } else {
                            SendChecked = options.MailMethod() != 0 || options.UploadMethod() != 0;
                            AttachScreenshotChecked = (options.SendFlags() & 0x10) != 0;
                        }
                        HandlingStep = 14;
                        NotifyAction(ActionAfterDialog);
                    } else {
                        SendChecked = options.MailMethod() != 0 || options.UploadMethod() != 0;
                        AttachScreenshotChecked = (options.SendFlags() & 0x10) != 0;
                        // No dialog: a web client still gets a page, with the message.
                        if (webServer)
                            road.ShowWebOutput(ExceptionMessageTextOf(e));
                    }
                    if (askReproduce) {
                        road.ShowReproduceDialog();
                        // The dialog keeps what was typed in the options in force; the report and
                        // its delivery read the handling's own.
                        const TVurazaModuleOptionsEx* typed = CurrentDuruvaDodOptions();
                        if (typed && typed != &options && !typed->ReproduceStepsText().empty())
                            options.SetReproduceStepsText(typed->ReproduceStepsText());
                    }
                    if (options.LogFlags() & 0x2)
                        InsertReportItem(7, options.MessageText(123), options.ReproduceStepsText());
                    // The dialog chose whether the report goes out: the kept choice predates it (on a
                    // first report it is always "no"), and the screenshot asked for would be lost.
                    sending = ShouldSendReport(options.MailMethod(), options.UploadMethod(), duplicate, SendChecked,
                                               options.DialogKind());
                    if (sending)
                        road.SaveScreenshotFile();
                    road.ReleaseScreenshot();
                    HandlingStep = 15;
                    sending = ShouldSendReport(options.MailMethod(), options.UploadMethod(), duplicate, SendChecked,
                                               options.DialogKind());
                    if (options.KeepLogFile())
                        road.SaveReportToLog();
                    if (CopyToClipboardChecked)
                        road.CopyReportToClipboard(LastReportText);
                    HandlingStep = 16;
                    if (sending)
                        road.StartSendReport();
                    if (!sending || !(options.SendFlags() & 0x80))
                        road.CheckCrashRate();
                } else {
                    result = true;
                    // A report the handlers declined is not sent: nothing else frees its stacks.
                    sending = false;
                }
                threads->ResumeAll();
                keptStill = false;
                HandlingStep = 17;
                if (!sending || !(options.SendFlags() & 0x80))
                    FreeCurrentStackList();
                if (!TerminatePressed && handler == 2 && (action == 1 || action == 2))
                    ScheduleTerminateAction(action);
            }
            if (handler == 2 && (options.BehaviourFlags() & 0x80))
                result = true;
            if (handler == 1)
                result = true;
            RememberHandled(e, params.exceptionRecord, address, params.threadId);
            HandlingStep = 18;
            if (mode != RouteModeThreadExecute && (!sending || !(options.SendFlags() & 0x80)))
                road.ApplyTerminateAction();
        } catch (...) {
            if (keptStill && threads)
                threads->ResumeAll();
            ReportInternalError(std::to_string(HandlingStep));
        }
    };
    if (!RunInSilentFrame([](void* p) { (*static_cast<decltype(steps)*>(p))(); }, &steps)) {
        ReportHandlingFailure("A fault inside the handling.");
        if (keptStill && threads)
            threads->ResumeAll();
        ReleaseAbandonedHandlingState();
    }
    if (threads)
        threads->~TThreadSnapshot();
    FreezeModuleRecords(wasFrozen);
    if (ctx)
        ctx->threadControl = control;
    return result;
}

void ReviveHandlerStatics()
{
    for (std::string* text : {&LastReportText, &LogReportText, &LastHTMLPage, &CapturedHtmlPage, &BugIdText,
                              &BugIdSource, &LastExceptMessage, &ReportedExceptionMessage})
        ReviveStatic(*text);
    ReviveStatic(CurrentStackList);
    ReviveStatic(defaultSteps);
    lastHandled = {};
}
