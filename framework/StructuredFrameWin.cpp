// The structured-exception frame of the callback boundary. GCC has no __try, so the frame is
// linked into the thread's registration chain by hand; its handler unwinds the chain through
// RtlUnwind (the imported one, so the reporter's hook sees the unwinding) and resumes at the
// frame, like the compilers' own __except.

#include <windows.h>

#include <malloc.h>

#include <atomic>

#include "framework/ExceptionBoundary.h"

namespace {

std::atomic<StructuredExceptionRouter> router{nullptr};

struct TFrameState {
    std::exception_ptr forApplication;
    bool routeAfterUnwind = false;
    bool silent = false;      // stop everything, route nothing
    bool overflowed = false;  // a silent frame stopped a stack overflow
    EXCEPTION_RECORD record;
    CONTEXT context;
};

// Laid out as the assembly routine builds it; the first two words are the registration record.
struct TStructuredFrame {
    TStructuredFrame* next;
    void* handler;
    uintptr_t savedEsp;
    uintptr_t savedEbp;
    uintptr_t resume;
    TFrameState* state;
};

bool IsNotice(DWORD code)
{
    switch (code) {
    case 0x406D1388:  // a debugger is told a thread's name
    case DBG_PRINTEXCEPTION_C:
    case 0x4001000A:  // DBG_PRINTEXCEPTION_WIDE_C
    case DBG_CONTROL_C:
    case DBG_CONTROL_BREAK:
        return true;
    default:
        return false;
    }
}

[[noreturn]] void ResumeAtFrame(TStructuredFrame* frame)
{
    asm volatile(
        "movl %0, %%eax\n\t"
        "movl 8(%%eax), %%esp\n\t"
        "movl 12(%%eax), %%ebp\n\t"
        "cld\n\t"
        "jmp *16(%%eax)"
        :
        : "r"(frame)
        : "memory");
    __builtin_unreachable();
}

}  // namespace

extern "C" __attribute__((used)) EXCEPTION_DISPOSITION __cdecl StructuredFrameHandler(EXCEPTION_RECORD* record,
                                                                                     void* establisher,
                                                                                     CONTEXT* context, void*)
{
    if (record->ExceptionFlags & (EXCEPTION_UNWINDING | EXCEPTION_EXIT_UNWIND) || IsNotice(record->ExceptionCode))
        return ExceptionContinueSearch;
    auto* frame = static_cast<TStructuredFrame*>(establisher);
    TFrameState* state = frame->state;
    if (state->silent) {
        state->overflowed = record->ExceptionCode == EXCEPTION_STACK_OVERFLOW;
        RtlUnwind(frame, nullptr, record, nullptr);
        ResumeAtFrame(frame);
    }
    const StructuredExceptionRouter route = router.load();
    if (!route)
        return ExceptionContinueSearch;
    EXCEPTION_POINTERS pointers{record, context};
    if (record->ExceptionCode == EXCEPTION_STACK_OVERFLOW) {
        if (!route(&pointers, StructuredNote, nullptr))
            return ExceptionContinueSearch;
        state->record = *record;
        state->record.ExceptionRecord = nullptr;
        state->context = *context;
        state->routeAfterUnwind = true;
    } else if (!route(&pointers, StructuredRoute, &state->forApplication)) {
        return ExceptionContinueSearch;
    }
    RtlUnwind(frame, nullptr, record, nullptr);
    ResumeAtFrame(frame);
}

// int StructuredFrameCall(void (*proc)(void*), void* data, TFrameState* state): 1 when proc
// returned, 0 when the handler resumed here.
asm(R"(
    .text
    .globl _StructuredFrameCall
    .def _StructuredFrameCall; .scl 2; .type 32; .endef
_StructuredFrameCall:
    pushl %ebp
    movl %esp, %ebp
    pushl %ebx
    pushl %esi
    pushl %edi
    subl $24, %esp
    movl %fs:0, %eax
    movl %eax, 0(%esp)
    movl $_StructuredFrameHandler, 4(%esp)
    movl %esp, 8(%esp)
    movl %ebp, 12(%esp)
    movl $StructuredFrameResume, 16(%esp)
    movl 16(%ebp), %eax
    movl %eax, 20(%esp)
    movl %esp, %fs:0
    pushl 12(%ebp)
    call *8(%ebp)
    addl $4, %esp
    movl 0(%esp), %eax
    movl %eax, %fs:0
    movl $1, %eax
    jmp StructuredFrameDone
StructuredFrameResume:
    movl 0(%esp), %eax
    movl %eax, %fs:0
    xorl %eax, %eax
StructuredFrameDone:
    addl $24, %esp
    popl %edi
    popl %esi
    popl %ebx
    popl %ebp
    ret
)");

extern "C" int StructuredFrameCall(void (*proc)(void*), void* data, TFrameState* state);

StructuredExceptionRouter SetStructuredExceptionRouter(StructuredExceptionRouter value)
{
    return router.exchange(value);
}

bool RunInStructuredFrame(void (*proc)(void*), void* data) noexcept
{
    TFrameState state;
    if (StructuredFrameCall(proc, data, &state))
        return true;
    if (state.routeAfterUnwind) {
        _resetstkoflw();  // the guard page is gone until given back
        if (const StructuredExceptionRouter route = router.load()) {
            EXCEPTION_POINTERS pointers{&state.record, &state.context};
            route(&pointers, StructuredRouteUnwound, &state.forApplication);
        }
    }
    if (state.forApplication)
        HandleBoundaryExceptionInApplication(state.forApplication);
    return false;
}

bool RunInSilentFrame(void (*proc)(void*), void* data) noexcept
{
    TFrameState state;
    state.silent = true;
    if (StructuredFrameCall(proc, data, &state))
        return true;
    if (state.overflowed)
        _resetstkoflw();
    return false;
}
