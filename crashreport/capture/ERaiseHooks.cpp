// The C++ runtime's side of the exception hooks: what the wraps of __cxa_throw, __cxa_rethrow
// and __cxa_end_catch (ERaiseWraps.cpp) see, and the unhandled-exception procedure, the
// std::set_terminate handler, which the runtime calls before unwinding, the throwing frames
// still on the stack.

#include <cstdio>
#include <cstring>
#include <exception>
#include <typeinfo>

#include "crashreport/capture/ECoreWin.h"
#include "crashreport/capture/EObjects.h"
#include "crashreport/capture/EOptions.h"
#include "crashreport/capture/EPeers.h"
#include "crashreport/capture/ERaiseCapture.h"
#include "crashreport/capture/ERoad.h"
#include "crashreport/capture/ERoadSteps.h"
#include "crashreport/capture/EThreadContext.h"
#include "crashreport/capture/EThreadHooks.h"
#include "crashreport/capture/EUtils.h"
#include "crashreport/capture/EUtilsWin.h"
#include "crashreport/capture/ExceptionLog.h"
#include "framework/Thread.h"

namespace {

constexpr DWORD LanguageExceptionCode = 0x0EEDFADE;

struct TThreadRaise {
    TRaiseCapture capture;
    uint8_t* buffer;          // RawStackLimit bytes, made on the thread's first throw
    const void* rethrown;     // the object a `throw;` sends on: its catch's end is no handling
};

// Made at install, on the main thread: the reporter starts before dynamic initialisation.
DWORD raiseSlot = TLS_OUT_OF_INDEXES;
volatile LONG runtimeHooksOn = 0;
std::terminate_handler previousTerminate = nullptr;

TThreadRaise* ThreadRaise(bool make)
{
    if (raiseSlot == TLS_OUT_OF_INDEXES || !ReporterHeap())
        return nullptr;
    const DWORD lastError = GetLastError();
    auto* raise = static_cast<TThreadRaise*>(TlsGetValue(raiseSlot));
    if (!raise && make) {
        raise = static_cast<TThreadRaise*>(HeapAlloc(ReporterHeap(), HEAP_ZERO_MEMORY, sizeof(TThreadRaise)));
        if (raise)
            raise->buffer = static_cast<uint8_t*>(HeapAlloc(ReporterHeap(), 0, RawStackLimit));
        if (raise && !TlsSetValue(raiseSlot, raise)) {
            HeapFree(ReporterHeap(), 0, raise->buffer);
            HeapFree(ReporterHeap(), 0, raise);
            raise = nullptr;
        }
    }
    SetLastError(lastError);
    return raise;
}

bool Active()
{
    return runtimeHooksOn && ReporterStarted;
}

// The object of the exception whose catch is running (the runtime's exception_ptr is one
// pointer to it).
const void* CaughtObject(std::exception_ptr& current)
{
    current = std::current_exception();
    const void* object = nullptr;
    static_assert(sizeof(std::exception_ptr) == sizeof(void*));
    std::memcpy(&object, &current, sizeof object);
    return object;
}

// Context and raw stack of the thrower. frame is the wrap's own frame: the thrower's EBP is
// saved there and its stack pointer at the call lies just above the return address.
__attribute__((noinline)) void CaptureThrow(const void* object, const std::type_info* type, uintptr_t returnAddress,
                                            const uintptr_t* frame)
{
    TThreadExceptionContext* thread = ThreadExceptionContext();
    // A throw inside this thread's own handling (a handler run here) is swallowed by the road;
    // it must not overwrite the copy the handling thread may be scanning. Nor may the handling
    // thread's own throws (the global raw stack is the faulting thread's).
    if (!thread || thread->routingGuard || OnHandlingThread())
        return;
    TThreadRaise* raise = ThreadRaise(true);
    if (!raise)
        return;
    CONTEXT context;
    std::memset(&context, 0, sizeof context);
    RtlCaptureContext(&context);
    context.ContextFlags = CONTEXT_CONTROL | CONTEXT_INTEGER;
    context.Eip = static_cast<DWORD>(returnAddress - 5);
    context.Esp = static_cast<DWORD>(reinterpret_cast<uintptr_t>(frame + 2));
    context.Ebp = static_cast<DWORD>(frame[0]);
    context.Eax = static_cast<DWORD>(reinterpret_cast<uintptr_t>(object));
    context.Edx = static_cast<DWORD>(returnAddress);
    StoreThreadContext(*thread, context);
    thread->walkStart = context.Esp;
    std::memset(&thread->exceptionRecord, 0, sizeof thread->exceptionRecord);
    thread->exceptionRecord.ExceptionCode = LanguageExceptionCode;
    thread->exceptionRecord.ExceptionFlags = EXCEPTION_NONCONTINUABLE;
    thread->exceptionRecord.ExceptionAddress = reinterpret_cast<void*>(returnAddress);
    thread->exceptionRecord.NumberParameters = 7;
    const ULONG_PTR parameters[7] = {returnAddress, reinterpret_cast<ULONG_PTR>(object), context.Ebx,
                                     context.Esi, context.Edi, context.Ebp, context.Esp};
    std::memcpy(thread->exceptionRecord.ExceptionInformation, parameters, sizeof parameters);

    TRaiseCapture& capture = raise->capture;
    capture.object = object;
    capture.type = type;
    capture.address = returnAddress;
    capture.stackStart = context.Esp;
    capture.stack = raise->buffer;
    capture.stackSize = 0;
    const uintptr_t top = CurrentStackTop();
    if (raise->buffer && context.Esp < top) {
        size_t size = top - context.Esp;
        if (size > RawStackLimit)
            size = RawStackLimit;
        if (IsReadableMemory(reinterpret_cast<const void*>(capture.stackStart), size)) {
            std::memcpy(raise->buffer, reinterpret_cast<const void*>(capture.stackStart), size);
            capture.stackSize = size;
        }
    }
    EnterExceptionHandling(TRoadException(object, type), returnAddress, true, true);
    if (ForwardToMainModule)
        ForwardGeneralRaise(LanguageExceptionCode, EXCEPTION_NONCONTINUABLE, 7, context.Esp, parameters);
}

// The end of a block that caught an exception: reported as handled when the options ask.
void DoneExcept()
{
    if (!Active() || !IsCaptureActive() || GetCurrentThreadId() == HandlingThreadId())
        return;
    TThreadExceptionContext* thread = ThreadExceptionContext();
    TThreadRaise* raise = ThreadRaise(false);
    std::exception_ptr current;
    const void* object = CaughtObject(current);
    if (!object || !thread || thread->routingGuard)
        return;
    if (raise && raise->rethrown == object) {
        // The catch that said `throw;` ends here; the exception travels on.
        raise->rethrown = nullptr;
        return;
    }
    TVurazaModuleOptionsEx* options = CurrentDuruvaDodOptions();
    if (!options || !options->LogEnabled() || !IsThreadHandled(GetCurrentThreadId()))
        return;
    const TRoadException e(current);
    const uintptr_t address = raise && raise->capture.object == object ? raise->capture.address : 0;
    // Named as RecordObjectInThread names what the road routes: an exception already reported
    // as unhandled at a boundary is not reported again when that boundary's catch ends.
    char name[sizeof thread->lastExceptionTypeName] = {};
    if (const std::type_info* type = ObjectClass(object))
        ClassNameOfMangled(type->name(), name, sizeof name);
    if (std::strcmp(name, thread->lastExceptionTypeName) == 0 && address == thread->lastExceptionAddress)
        return;
    const TThrowStackScope throwStack(object);
    RouteException(e, address, true, nullptr, true, RouteModeOrdinary, CurrentModuleHandle(), OutputAutomatic, nullptr,
                   nullptr, 0, 0);
}

// A C++ exception nothing catches: reported before anything unwinds, then its thread ends
// with 1 (the main thread's, the program).
[[noreturn]] void UnhandledExceptProc()
{
    if (OnHandlingThread()) {
        ReportHandlingFailure("");
        AbandonHandlingThread(1);
    }
    std::exception_ptr current;
    const void* object = CaughtObject(current);
    if (Active() && object) {
        const TThreadRaise* raise = ThreadRaise(false);
        const uintptr_t address = raise && raise->capture.object == object ? raise->capture.address : 0;
        if (address == 0 || address != LastRoutedAddress) {
            // On main the process ends after this: delivery runs in the handling.
            if (GetCurrentThreadId() == MainThreadId())
                MarkProcessEndsAfterRoute();
            HandleUnhandledException(TRoadException(current), address);
        }
    }
    current = nullptr;
    std::fflush(nullptr);
    if (GetCurrentThreadId() == MainThreadId())
        ExitProcess(1);
    ExitThread(1);
}

// A thread about to wait for a synchronised method: its record, made now, for the main thread
// to hand the method's throw capture to.
void* PrepareSynchronizeRaise()
{
    const TThreadExceptionContext* thread = ThreadExceptionContext();
    // Inside its own handling the thread's copy may be the one being scanned.
    if (!Active() || !thread || thread->routingGuard)
        return nullptr;
    return ThreadRaise(true);
}

// On the main thread, in the catch of a synchronised method's exception: the calling thread
// raises it again, so that thread's report takes this thread's throw capture (address and stack
// copy), and the end of this catch is no handling. The calling thread waits meanwhile.
void SynchronizeRaiseCaught(void* prepared)
{
    if (!Active() || !prepared)
        return;
    std::exception_ptr current;
    const void* object = CaughtObject(current);
    TThreadRaise* raise = ThreadRaise(true);
    if (!object || !raise)
        return;
    raise->rethrown = object;
    auto* caller = static_cast<TThreadRaise*>(prepared);
    if (caller == raise || raise->capture.object != object || !caller->buffer)
        return;
    caller->capture = raise->capture;
    caller->capture.stack = caller->buffer;
    std::memcpy(caller->buffer, raise->capture.stack, raise->capture.stackSize);
    caller->rethrown = nullptr;
}

TSynchronizeRaiseHooks previousSynchronizeHooks;

}  // namespace

TThrowStackScope::TThrowStackScope(const void* object)
{
    // A closed road takes nothing: the lock may be a background sender's until the end. The
    // handling thread never takes it: the faulting thread holds it, waiting for this one.
    if (!Active() || !IsCaptureActive() || OnHandlingThread())
        return;
    const TThreadRaise* raise = ThreadRaise(false);
    if (!object || !raise || raise->capture.object != object || raise->capture.stackSize == 0)
        return;
    EnterHandlingLock();
    SetRoutedStackCopy(raise->capture.stack, raise->capture.stackSize, raise->capture.stackStart);
    set = true;
}

TThrowStackScope::~TThrowStackScope()
{
    if (!set)
        return;
    // Not routed after all (filtered out, or the road closed): no later route may take it.
    SetRoutedStackCopy(nullptr, 0, 0);
    LeaveHandlingLock();
}

void RuntimeThrowSeen(void* object, const std::type_info* type, uintptr_t returnAddress, const uintptr_t* frame)
{
    if (Active())
        CaptureThrow(object, type, returnAddress, frame);
}

void RuntimeRethrowSeen(uintptr_t returnAddress, const uintptr_t* frame)
{
    if (!Active())
        return;
    std::exception_ptr current;
    const void* object = CaughtObject(current);
    if (!object)
        return;
    if (TThreadRaise* raise = ThreadRaise(true))
        raise->rethrown = object;
    CaptureThrow(object, current.__cxa_exception_type(), returnAddress, frame);
}

void RuntimeCatchEnds()
{
    if (!Active())
        return;
    try {
        DoneExcept();
    } catch (...) {
        // Nothing may leave the runtime's end of a catch.
    }
}

const TRaiseCapture* ThreadRaiseCapture()
{
    const TThreadRaise* raise = ThreadRaise(false);
    return raise && raise->capture.object ? &raise->capture : nullptr;
}

void ReleaseRaiseCapture()
{
    if (raiseSlot == TLS_OUT_OF_INDEXES || !ReporterHeap())
        return;
    if (auto* raise = static_cast<TThreadRaise*>(TlsGetValue(raiseSlot))) {
        TlsSetValue(raiseSlot, nullptr);
        if (raise->buffer)
            HeapFree(ReporterHeap(), 0, raise->buffer);
        HeapFree(ReporterHeap(), 0, raise);
    }
}

void CaptureRaiseInfo(DWORD code, DWORD flags, DWORD count, const ULONG_PTR* parameters, uintptr_t raiseStackPointer)
{
    TThreadExceptionContext* thread = ThreadExceptionContext();
    if (!thread)
        return;
    if (raiseStackPointer)
        thread->raiseStackPointer = static_cast<uint32_t>(raiseStackPointer);
    if (code != LanguageExceptionCode || flags != 1 || count != 7 || !parameters ||
        !IsReadableMemory(parameters, 7 * sizeof(ULONG_PTR)))
        return;
    CONTEXT context;
    std::memset(&context, 0, sizeof context);
    context.ContextFlags = CONTEXT_CONTROL | CONTEXT_INTEGER;
    context.Eax = parameters[1];
    context.Ebx = parameters[2];
    context.Esi = parameters[3];
    context.Edi = parameters[4];
    context.Ebp = parameters[5];
    context.Ecx = thread->raiseEcx;
    context.Edx = parameters[0];
    context.Esp = thread->raiseStackPointer;
    context.Eip = parameters[0] - 5;
    StoreThreadContext(*thread, context);
    thread->walkStart = thread->raiseStackPointer;
    std::memset(&thread->exceptionRecord, 0, sizeof thread->exceptionRecord);
    thread->exceptionRecord.ExceptionCode = code;
    thread->exceptionRecord.ExceptionFlags = flags;
    thread->exceptionRecord.ExceptionAddress = reinterpret_cast<void*>(parameters[0]);
    thread->exceptionRecord.NumberParameters = 7;
    std::memcpy(thread->exceptionRecord.ExceptionInformation, parameters, 7 * sizeof(ULONG_PTR));
}

void InstallRuntimeExceptionHooks()
{
    if (raiseSlot == TLS_OUT_OF_INDEXES)
        raiseSlot = TlsAlloc();
    if (InterlockedExchange(&runtimeHooksOn, 1) == 0) {
        previousTerminate = std::set_terminate(&UnhandledExceptProc);
        previousSynchronizeHooks = SetSynchronizeRaiseHooks({&PrepareSynchronizeRaise, &SynchronizeRaiseCaught});
    }
}

void RemoveRuntimeExceptionHooks()
{
    if (InterlockedExchange(&runtimeHooksOn, 0) == 1) {
        std::set_terminate(previousTerminate);
        SetSynchronizeRaiseHooks(previousSynchronizeHooks);
    }
}
