#pragma once
// The crash reporter's record of each thread: what the exception hooks saw last and the guards
// of the handling road. Kept in a TLS slot with blocks from the reporter's private heap, so
// reaching it while an exception is handled allocates nothing from the process heap (the
// compiler's thread_local emulation would).

#include <windows.h>

#include <cstdint>

// Thread context from its flags word through SegSs: the record without the extended registers.
constexpr size_t ThreadContextSavedSize = 204;

struct TThreadExceptionContext {
    char lastExceptionTypeName[65];  // class name of the last exception routed, at most 64 characters
    uint32_t lastExceptionAddress;
    uint32_t walkStart;              // stack pointer call-stack capture starts from; 0 none
    uint32_t raiseStackPointer;      // at the RaiseException or RtlUnwind hook
    uint32_t raiseEcx;
    uint8_t context[ThreadContextSavedSize];  // a flags word of 0: no context held
    EXCEPTION_RECORD exceptionRecord;
    bool routingGuard;     // while RouteException runs in this thread
    bool threadControl;    // while the reporter suspends and resumes threads
    volatile LONG entryGuard;  // taken by compare-and-exchange from 0 to 1
};

// The calling thread's record, made on first use; nullptr only when the slot or the heap
// could not be had.
TThreadExceptionContext* ThreadExceptionContext();
// Frees the calling thread's record (at its end).
void ReleaseThreadExceptionContext();

void StoreThreadContext(TThreadExceptionContext& record, const CONTEXT& context);
// False when the record holds none.
bool LoadThreadContext(const TThreadExceptionContext& record, CONTEXT& context);

// The reporter's own heap, apart from the process heap a crash may have left locked.
HANDLE ReporterHeap();
