#include "crashreport/capture/EThreadHooks.h"

#include <cstring>
#include <string>
#include <vector>

#include "crashreport/capture/ECoreWin.h"
#include "crashreport/capture/EExternal.h"
#include "crashreport/capture/EHook.h"
#include "crashreport/capture/EObjects.h"
#include "crashreport/capture/EPeers.h"
#include "crashreport/capture/ERaiseCapture.h"
#include "crashreport/capture/ERoad.h"
#include "crashreport/capture/EThreadContext.h"
#include "crashreport/capture/EThreadNames.h"
#include "crashreport/capture/EUtilsWin.h"
#include "crashreport/capture/EWebOutputWin.h"
#include "crashreport/capture/ExceptionLog.h"
#include "framework/ExceptionBoundary.h"
#include "framework/NeverDestroyed.h"
#include "framework/Thread.h"

using TRaiseExceptionProc = void(WINAPI*)(DWORD, DWORD, DWORD, const ULONG_PTR*);
using TRtlUnwindProc = void(WINAPI*)(PVOID, PVOID, PEXCEPTION_RECORD, PVOID);
using TWriteFileProc = BOOL(WINAPI*)(HANDLE, LPCVOID, DWORD, LPDWORD, LPOVERLAPPED);
using TCreateThreadProc = HANDLE(WINAPI*)(LPSECURITY_ATTRIBUTES, SIZE_T, LPTHREAD_START_ROUTINE, LPVOID, DWORD,
                                          LPDWORD);
using TResumeThreadProc = DWORD(WINAPI*)(HANDLE);
using TExitThreadProc = void(WINAPI*)(DWORD);

// Read by the RaiseException stub, which jumps to it.
extern "C" {
void* ReplacedRaiseException = nullptr;
}

namespace {

constexpr DWORD ThreadNamingCode = 0x406D1388;
constexpr DWORD DebuggerNoticeCode = 0x0EEDFAE4;

TRtlUnwindProc replacedRtlUnwind = nullptr;
TWriteFileProc replacedWriteFile = nullptr;
TCreateThreadProc replacedCreateThread = nullptr;
TResumeThreadProc replacedResumeThread = nullptr;
TExitThreadProc replacedExitThread = nullptr;

volatile LONG hooksActive = 0;
volatile LONG hooksInFlight = 0;
bool installed = false;
TThreadExecuteWrapper previousExecuteWrapper = nullptr;
StructuredExceptionRouter previousRouter = nullptr;

// Hooks that reach the list count themselves in; removal waits for them before the list and
// the locks may go.
class THookScope {
public:
    THookScope()
    {
        InterlockedIncrement(&hooksInFlight);
        list_ = hooksActive && ReporterStarted ? VurazaThreadsList() : nullptr;
        if (!list_)
            Leave();
    }
    ~THookScope() { Leave(); }
    void Leave()
    {
        if (!left_) {
            left_ = true;
            InterlockedDecrement(&hooksInFlight);
        }
    }
    TVurazaThreadsList* List() const { return list_; }

private:
    TVurazaThreadsList* list_ = nullptr;
    bool left_ = false;
};

void* Kernel32Proc(const char* name)
{
    return reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), name));
}

template <typename T>
T Replaced(T& slot, const char* name)
{
    if (!slot)
        slot = reinterpret_cast<T>(Kernel32Proc(name));
    return slot;
}

// No bookkeeping for a thread whose stack is nearly used up (a stack overflow being handled),
// nor for the handling thread: threads it keeps suspended may hold the list's lock.
bool SkipBookkeeping()
{
    return CurrentStackPointer() - CurrentStackLimit() < 32 * 1024 || GetCurrentThreadId() == HandlingThreadId();
}

bool IsOwnThreadClass(const void* threadObject)
{
    if (!threadObject || !IsValidObject(threadObject))
        return false;
    std::string name = ObjectClassName(threadObject);
    if (const size_t colon = name.rfind("::"); colon != std::string::npos)
        name.erase(0, colon + 2);
    return name == "TExceptionThread" || name == "TFreezeThread" || name == "TSendDialogThread";
}

bool InsideModule(const void* address, HMODULE module)
{
    HMODULE found = nullptr;
    return module &&
           GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                              static_cast<LPCWSTR>(address), &found) &&
           found == module;
}

// A thread started by the C runtime gets the runtime's start routine and a block that holds
// the function and its parameter side by side. For thread objects that function is the
// framework's thread procedure and the parameter the object.
void* ThreadObjectOfRuntimeBlock(const void* start, const void* block)
{
    if (!InsideModule(start, GetModuleHandleW(L"msvcrt.dll")))
        return nullptr;
    constexpr size_t words = 64;
    if (!block || !IsReadableMemory(block, words * sizeof(void*)))
        return nullptr;
    void* const* slots = static_cast<void* const*>(block);
    const void* procedure = ThreadObjectProcedure();
    for (size_t i = 0; i + 1 < words; ++i)
        if (slots[i] == procedure)
            return slots[i + 1];
    return nullptr;
}

struct TStartBlock {
    LPTHREAD_START_ROUTINE start;
    void* parameter;
};

void StoreStackTop(const void* threadObject)
{
    THookScope scope;
    if (TVurazaThreadsList* list = scope.List()) {
        list->BeginWrite();
        int index = list->FindById(GetCurrentThreadId());
        if (index < 0)
            index = list->FindByObject(threadObject);
        if (TVurazaThreadRecord* record = list->Item(index)) {
            record->stackTop = CurrentStackTop();
            if (threadObject)
                record->threadObject = const_cast<void*>(threadObject);
        }
        list->EndWrite();
    }
}

void ForgetCurrentThread()
{
    ForgetThreadName(GetCurrentThreadId());
    THookScope scope;
    if (TVurazaThreadsList* list = scope.List()) {
        list->BeginWrite();
        list->RemoveCurrentThread();
        list->EndWrite();
    }
    ForwardExitThread();
}

// The start routine of every thread made through the hook.
DWORD WINAPI ThreadStart(void* parameter)
{
    TStartBlock block = *static_cast<TStartBlock*>(parameter);
    HeapFree(ReporterHeap(), 0, parameter);
    StoreStackTop(nullptr);
    const DWORD result = block.start(block.parameter);
    // A start routine that returns ends its thread without the ExitThread import.
    ForgetCurrentThread();
    ReleaseRaiseCapture();
    ReleaseThreadExceptionContext();
    return result;
}

// Records who resumes the thread and the resumer's stack from its call up.
void RecordResume(HANDLE thread, uintptr_t callerStack)
{
    TThreadExceptionContext* context = ThreadExceptionContext();
    if ((context && context->threadControl) || SkipBookkeeping())
        return;
    THookScope scope;
    TVurazaThreadsList* list = scope.List();
    if (!list)
        return;
    uint32_t size = 0;
    uint8_t* copy = CopyCallerStack(callerStack, size);
    list->BeginWrite();
    const int index = list->FindByHandle(thread);
    if (TVurazaThreadRecord* record = list->Item(index)) {
        if (IsOwnThreadClass(record->threadObject)) {
            // Its class is known only now that its constructors have run.
            list->Delete(index);
        } else {
            record->resumerId = GetCurrentThreadId();
            uint8_t* old = !record->borrowed ? record->creatorStackCopy : nullptr;
            record->creatorStackCopy = copy;
            record->creatorStackSize = size;
            record->borrowed = 0;
            // The main module's copy borrows the stack copy: it learns of the new one before
            // the old one goes.
            ForwardResumeThread(thread, record);
            copy = old;
        }
    }
    list->EndWrite();
    if (copy)
        HeapFree(ReporterHeap(), 0, copy);
}

DWORD WINAPI ResumeThreadHook(HANDLE thread)
{
    RecordResume(thread, reinterpret_cast<uintptr_t>(__builtin_frame_address(0)) + sizeof(void*));
    return Replaced(replacedResumeThread, "ResumeThread")(thread);
}

HANDLE WINAPI CreateThreadHook(LPSECURITY_ATTRIBUTES security, SIZE_T stackSize, LPTHREAD_START_ROUTINE start,
                               LPVOID parameter, DWORD flags, LPDWORD threadId)
{
    const TCreateThreadProc create = Replaced(replacedCreateThread, "CreateThread");
    TThreadExceptionContext* context = ThreadExceptionContext();
    THookScope scope;
    TVurazaThreadsList* list = scope.List();
    // The reporter's own threads (made under its thread-control flag) get no record.
    if (!list || !start || (context && context->threadControl) || SkipBookkeeping()) {
        scope.Leave();
        return create(security, stackSize, start, parameter, flags, threadId);
    }
    list->Purge();
    TVurazaThreadRecord* record = list->NewRecord(false);
    auto* block = static_cast<TStartBlock*>(HeapAlloc(ReporterHeap(), 0, sizeof(TStartBlock)));
    if (!record || !block) {
        TVurazaThreadsList::FreeRecord(record, true);
        if (block)
            HeapFree(ReporterHeap(), 0, block);
        scope.Leave();
        return create(security, stackSize, start, parameter, flags, threadId);
    }
    record->startAddress = reinterpret_cast<void*>(start);
    record->parameter = parameter;
    if (void* object = ThreadObjectOfRuntimeBlock(reinterpret_cast<void*>(start), parameter)) {
        record->threadObject = object;
        record->runtimeThreadFunction = ThreadObjectProcedure();
    }
    *block = {start, parameter};
    DWORD id = 0;
    // Every other flag goes on as given; the thread waits until its record is listed.
    HANDLE thread = create(security, stackSize, &ThreadStart, block, flags | CREATE_SUSPENDED, &id);
    if (!thread) {
        const DWORD error = GetLastError();
        TVurazaThreadsList::FreeRecord(record, true);
        HeapFree(ReporterHeap(), 0, block);
        SetLastError(error);
        return nullptr;
    }
    record->threadId = id;
    record->threadHandle = DuplicateThreadHandle(thread);
    ForgetThreadName(id);  // a name left by an earlier thread of the same id
    list->BeginWrite();
    if (!list->Append(record))
        TVurazaThreadsList::FreeRecord(record, true);
    else
        ForwardCreateThread(record);
    list->EndWrite();
    if (threadId)
        *threadId = id;
    scope.Leave();
    if (!(flags & CREATE_SUSPENDED)) {
        RecordResume(thread, reinterpret_cast<uintptr_t>(__builtin_frame_address(0)) + sizeof(void*));
        Replaced(replacedResumeThread, "ResumeThread")(thread);
    }
    return thread;
}

void WINAPI ExitThreadHook(DWORD code)
{
    ForgetCurrentThread();
    ReleaseRaiseCapture();
    ReleaseThreadExceptionContext();
    Replaced(replacedExitThread, "ExitThread")(code);
}

void WINAPI RtlUnwindHook(PVOID targetFrame, PVOID targetIp, PEXCEPTION_RECORD record, PVOID returnValue)
{
    if (TThreadExceptionContext* context = ThreadExceptionContext())
        context->raiseStackPointer = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(__builtin_frame_address(0)) + 4);
    if (hooksActive && ReporterStarted && record && record->ExceptionCode >= 0xC0000005 &&
        record->ExceptionCode <= 0xC000013A && record->ExceptionFlags == EXCEPTION_UNWINDING)
        CaptureRawStack(reinterpret_cast<uintptr_t>(record->ExceptionAddress), false);
    Replaced(replacedRtlUnwind, "RtlUnwind")(targetFrame, targetIp, record, returnValue);
}

// A CGI program's page is what it writes to its standard output.
BOOL WINAPI WriteFileHook(HANDLE file, LPCVOID buffer, DWORD count, LPDWORD written, LPOVERLAPPED overlapped)
{
    if (hooksActive && !SkipBookkeeping())
        CaptureStandardOutput(file, buffer, count);
    return Replaced(replacedWriteFile, "WriteFile")(file, buffer, count, written, overlapped);
}

// The execute wrapper of thread objects: the record learns its object and stack top; what
// escapes Execute is the boundary's (GuardedCall in the thread procedure) to report.
void ExecuteWrapper(TThread* thread, void (*execute)(TThread*))
{
    if (IsOwnThreadClass(thread)) {
        ForgetCurrentThread();
    } else {
        StoreStackTop(thread);
    }
    execute(thread);
}

// Structured exceptions at a callback boundary go to ExceptionManager with the context intact.
bool RouteStructured(void* exceptionPointers, int step, std::exception_ptr* forApplication)
{
    if (!hooksActive || !ReporterStarted || GetCurrentThreadId() == HandlingThreadId())
        return false;
    // A fault while this thread waits for its own handling: unwinding to the boundary would
    // abandon that handling, its lock held; it travels on to the process's filter instead.
    if (const TThreadExceptionContext* thread = ThreadExceptionContext(); thread && thread->routingGuard)
        return false;
    const auto* pointers = static_cast<EXCEPTION_POINTERS*>(exceptionPointers);
    const EXCEPTION_RECORD* record = pointers->ExceptionRecord;
    if (!record)
        return false;
    if (TThreadExceptionContext* thread = ThreadExceptionContext()) {
        if (pointers->ContextRecord && IsReadableMemory(pointers->ContextRecord, ThreadContextSavedSize)) {
            StoreThreadContext(*thread, *pointers->ContextRecord);
            thread->walkStart = pointers->ContextRecord->Esp;
        }
        thread->exceptionRecord = *record;
        thread->exceptionRecord.ExceptionRecord = nullptr;
    }
    if (step == StructuredNote)
        return true;
    const TRoadException e = ExternalRoadException(*record);
    const bool own = ExceptionManager(e, reinterpret_cast<uintptr_t>(record->ExceptionAddress), OutputAutomatic,
                                      CurrentModuleHandle());
    // The program's own handler gets a runtime exception, made now the road is done.
    if (own && forApplication)
        *forApplication = MakeExternalException(*record);
    return true;
}

// The exported entries other modules' copies call.
void CallGeneralRaise(DWORD code, DWORD flags, DWORD count, uintptr_t raiseStackPointer, const ULONG_PTR* parameters)
{
    CaptureRaiseInfo(code, flags, count, parameters, raiseStackPointer);
    // Another copy's throw: its stack is copied now, before it unwinds, for the route that
    // comes when it is caught.
    if (code == 0x0EEDFADE && count == 7 && parameters && IsReadableMemory(parameters, 7 * sizeof(ULONG_PTR)) &&
        ReporterStarted)
        CaptureRawStack(parameters[0], false);
}

void CallCreateThread(const void* source)
{
    THookScope scope;
    TVurazaThreadsList* list = scope.List();
    if (!list || !source || !IsReadableMemory(source, sizeof(TVurazaThreadRecord)))
        return;
    list->Purge();
    TVurazaThreadRecord* record = list->NewRecord(false);
    if (!record)
        return;
    *record = *static_cast<const TVurazaThreadRecord*>(source);
    record->threadHandle = DuplicateThreadHandle(record->threadHandle);
    record->borrowed = 1;
    list->BeginWrite();
    if (!list->Append(record))
        TVurazaThreadsList::FreeRecord(record, true);
    list->EndWrite();
}

void CallResumeThread(HANDLE thread, const void* source)
{
    TThreadExceptionContext* context = ThreadExceptionContext();
    THookScope scope;
    TVurazaThreadsList* list = scope.List();
    if (!list || !source || (context && context->threadControl) ||
        !IsReadableMemory(source, sizeof(TVurazaThreadRecord)))
        return;
    list->BeginWrite();
    if (TVurazaThreadRecord* record = list->Item(list->FindByHandle(thread))) {
        const HANDLE own = record->threadHandle;
        if (!record->borrowed && record->creatorStackCopy)
            HeapFree(ReporterHeap(), 0, record->creatorStackCopy);
        *record = *static_cast<const TVurazaThreadRecord*>(source);
        record->threadHandle = own;
        record->borrowed = 1;
    }
    list->EndWrite();
}

// The exception object the runtime would make of a system exception record, kept alive until
// the next call; the thread's context block learns the record and the context on the way.
// Never destroyed: a system exception may still come after the static destructors.
TNeverDestroyed<TRoadException> lastMadeObject;

const void* CallExceptObject(EXCEPTION_RECORD* record, CONTEXT* context, bool flag)
{
    try {
        if (!record || !IsReadableMemory(record, sizeof(EXCEPTION_RECORD)))
            return nullptr;
        lastMadeObject.Get() = ExternalRoadException(*record);
        const TRoadException& e = lastMadeObject.Get();
        if (record->ExceptionCode == ThreadNamingCode)
            return e.object;
        if (TThreadExceptionContext* thread = ThreadExceptionContext()) {
            thread->exceptionRecord = *record;
            thread->exceptionRecord.ExceptionRecord = nullptr;
            if (context && IsReadableMemory(context, ThreadContextSavedSize)) {
                CONTEXT copy;
                std::memcpy(&copy, context, ThreadContextSavedSize);
                copy.ContextFlags = CONTEXT_CONTROL | CONTEXT_INTEGER;
                StoreThreadContext(*thread, copy);
                thread->walkStart = copy.Esp;
            } else {
                std::memset(thread->context, 0, sizeof(DWORD));
                thread->walkStart = 0;
            }
        }
        const auto address = reinterpret_cast<uintptr_t>(record->ExceptionAddress);
        if (GetCurrentThreadId() == MainThreadId() && !StartupPhase && !FinalizationStarted)
            RecordLastException(e.object, address, false);
        else if (flag)
            EnterExceptionHandling(e, address, false, false);
        ForwardExceptObject(record, context);
        return e.object;
    } catch (...) {
        return nullptr;
    }
}

bool LastLanguageException()
{
    return CurrentRaiseFlag();
}

struct THookedImport {
    const char* name;
    void* hook;
    void** replaced;
};

}  // namespace

namespace {

// The debugger's naming record: 0x1000, the name, the thread (-1 the caller), flags.
void NoteNamedThread(const ULONG_PTR* parameters)
{
    if (!parameters || !IsReadableMemory(parameters, 4 * sizeof(ULONG_PTR)) || parameters[0] != 0x1000)
        return;
    const auto* name = reinterpret_cast<const char*>(parameters[1]);
    size_t length = 0;
    // Probed page by page: the name may end just before an unreadable one.
    while (name && length < ThreadNameLimit) {
        const char* at = name + length;
        if ((length == 0 || (reinterpret_cast<uintptr_t>(at) & 0xFFF) == 0) && !IsReadableMemory(at, 1))
            break;
        if (*at == '\0')
            break;
        ++length;
    }
    const DWORD thread = static_cast<DWORD>(parameters[2]);
    NoteThreadName(thread == static_cast<DWORD>(-1) ? GetCurrentThreadId() : thread, std::string_view(name, length));
}

}  // namespace

extern "C" int RaiseExceptionHookBody(const uintptr_t* entryStack, uint32_t ecx);
extern "C" void __stdcall RaiseExceptionHook(DWORD code, DWORD flags, DWORD count, const ULONG_PTR* parameters);

// Decides for the stub: 1 raise through the replaced procedure, 0 return at once.
extern "C" __attribute__((used)) int RaiseExceptionHookBody(const uintptr_t* entryStack, uint32_t ecx)
{
    if (!ReplacedRaiseException)
        ReplacedRaiseException = Kernel32Proc("RaiseException");
    const DWORD code = static_cast<DWORD>(entryStack[1]);
    const DWORD flags = static_cast<DWORD>(entryStack[2]);
    const DWORD count = static_cast<DWORD>(entryStack[3]);
    const auto* parameters = reinterpret_cast<const ULONG_PTR*>(entryStack[4]);
    if (code == ThreadNamingCode && count == 4) {
        NoteNamedThread(parameters);
        return 1;
    }
    if (TThreadExceptionContext* context = ThreadExceptionContext()) {
        context->raiseStackPointer = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(entryStack));
        context->raiseEcx = ecx;
    }
    // The runtime's note to a debugger, carrying a whole context, means nothing without one.
    if (code == DebuggerNoticeCode && flags == 0 && count == 2 && parameters &&
        IsReadableMemory(parameters, 2 * sizeof(ULONG_PTR)) &&
        IsReadableMemory(reinterpret_cast<const void*>(parameters[0]), sizeof(DWORD)) &&
        *reinterpret_cast<const DWORD*>(parameters[0]) == 0x1003F && !IsDebuggerAttached())
        return 0;
    if (hooksActive && ReporterStarted)
        CaptureRaiseInfo(code, flags, count, parameters, 0);
    return 1;
}

// The caller's ECX and stack pointer are kept before any C code runs; the replaced procedure
// is then entered with the caller's own frame, as if called directly.
asm(R"(
    .text
    .globl _RaiseExceptionHook@16
    .def _RaiseExceptionHook@16; .scl 2; .type 32; .endef
_RaiseExceptionHook@16:
    pushl %ecx
    pushl %ecx
    leal 8(%esp), %eax
    pushl %eax
    call _RaiseExceptionHookBody
    addl $8, %esp
    popl %ecx
    testl %eax, %eax
    jz 1f
    jmp *_ReplacedRaiseException
1:
    ret $16
)");

namespace {

const THookedImport hookedImports[] = {
    {"RaiseException", reinterpret_cast<void*>(&RaiseExceptionHook), &ReplacedRaiseException},
    {"RtlUnwind", reinterpret_cast<void*>(&RtlUnwindHook), reinterpret_cast<void**>(&replacedRtlUnwind)},
    {"WriteFile", reinterpret_cast<void*>(&WriteFileHook), reinterpret_cast<void**>(&replacedWriteFile)},
    {"CreateThread", reinterpret_cast<void*>(&CreateThreadHook), reinterpret_cast<void**>(&replacedCreateThread)},
    {"ResumeThread", reinterpret_cast<void*>(&ResumeThreadHook), reinterpret_cast<void**>(&replacedResumeThread)},
    {"ExitThread", reinterpret_cast<void*>(&ExitThreadHook), reinterpret_cast<void**>(&replacedExitThread)},
};

// The module of this copy (it holds the runtime's base classes: everything is linked in) and
// the C runtime, which starts the threads of _beginthreadex and std::thread. Imports another
// copy hooked already are left to it.
std::vector<HMODULE> HookedModules()
{
    std::vector<HMODULE> modules{CurrentModuleHandle()};
    if (HMODULE runtime = GetModuleHandleW(L"msvcrt.dll"))
        modules.push_back(runtime);
    return modules;
}

}  // namespace

void InstallExceptionHooks()
{
    if (installed)
        return;
    installed = true;
    CreateVurazaThreadsList();
    TExceptionHookProcs& procs = ExceptionHookProcs();
    procs.callGeneralRaise = &CallGeneralRaise;
    procs.callExceptObject = &CallExceptObject;
    procs.lastLanguageException = &LastLanguageException;
    procs.callCreateThread = &CallCreateThread;
    procs.callResumeThread = &CallResumeThread;
    procs.callExitThread = &ForgetCurrentThread;
    InstallRuntimeExceptionHooks();
    previousExecuteWrapper = SetThreadExecuteWrapper(&ExecuteWrapper);
    previousRouter = SetStructuredExceptionRouter(&RouteStructured);
    InterlockedExchange(&hooksActive, 1);
    const std::vector<HMODULE> modules = HookedModules();
    for (const THookedImport& hook : hookedImports) {
        void* imported = Kernel32Proc(hook.name);
        if (!imported)
            continue;
        *hook.replaced = imported;
        for (HMODULE module : modules) {
            try {
                PatchImportTable(module, "kernel32.dll", imported, false, true, std::string("kernel32.dll.") + hook.name,
                                 hook.hook);
            } catch (const std::exception&) {
                // A module that refuses the hook keeps its import; the others are hooked.
            }
        }
    }
}

void RemoveExceptionHooks()
{
    if (!installed)
        return;
    installed = false;
    InterlockedExchange(&hooksActive, 0);
    const std::vector<HMODULE> modules = HookedModules();
    for (const THookedImport& hook : hookedImports) {
        if (!*hook.replaced)
            continue;
        for (HMODULE module : modules) {
            try {
                PatchImportTable(module, "kernel32.dll", hook.hook, true, true, hook.name, *hook.replaced);
            } catch (const std::exception&) {
            }
        }
    }
    SetStructuredExceptionRouter(previousRouter);
    SetThreadExecuteWrapper(previousExecuteWrapper);
    RemoveRuntimeExceptionHooks();
    TExceptionHookProcs& procs = ExceptionHookProcs();
    procs.callGeneralRaise = nullptr;
    procs.callExceptObject = nullptr;
    procs.lastLanguageException = nullptr;
    procs.callCreateThread = nullptr;
    procs.callResumeThread = nullptr;
    procs.callExitThread = nullptr;
    // Hooks already inside may still be using the list: wait for them, within reason.
    for (int i = 0; i < 2000 && hooksInFlight > 0; ++i)
        Sleep(1);
}

bool ExceptionHooksInstalled()
{
    return installed;
}
