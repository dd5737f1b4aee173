#pragma once
// What the runtime's throw told the reporter, per thread: the C++ unwinder decides only later
// whether anything catches, and by then the throwing frames are gone. So every __cxa_throw
// and __cxa_rethrow (wrapped by the linker) stores the thrower's context in the thread's
// record and copies its raw stack, for the road to scan after unwinding.

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <typeinfo>

struct TRaiseCapture {
    const void* object;            // the thrown object
    const std::type_info* type;
    uintptr_t address;             // return address of the throw call; its Eip is 5 bytes before
    const uint8_t* stack;          // copy of the thrower's stack from stackStart up
    size_t stackSize;              // at most 102,400 bytes
    uintptr_t stackStart;          // Esp of the thrower
};

// The calling thread's last throw; nullptr when it threw nothing since the hooks came.
const TRaiseCapture* ThreadRaiseCapture();
// While alive, under the handling lock, the road scans the calling thread's throw-time stack
// copy for the report of object (when that is what it last threw) instead of the live stack,
// unwound by then.
class TThrowStackScope {
public:
    explicit TThrowStackScope(const void* object);
    ~TThrowStackScope();
    TThrowStackScope(const TThrowStackScope&) = delete;
    TThrowStackScope& operator=(const TThrowStackScope&) = delete;

private:
    bool set = false;
};

// Frees the calling thread's capture (its thread ends).
void ReleaseRaiseCapture();

// Stores a raise into the thread's context block: for the language-exception code 0x0EEDFADE
// with flags 1 and 7 parameters (address, object, EBX, ESI, EDI, EBP, ESP) the context and
// record are filled from them. raiseStackPointer 0 keeps the one the RaiseException hook saw.
void CaptureRaiseInfo(DWORD code, DWORD flags, DWORD count, const ULONG_PTR* parameters, uintptr_t raiseStackPointer);

// What the linker's wraps of the runtime report (ERaiseWraps.cpp, in programs carrying the
// reporter): a throw with the wrap's return address and frame, a `throw;`, a catch's end.
void RuntimeThrowSeen(void* object, const std::type_info* type, uintptr_t returnAddress, const uintptr_t* frame);
void RuntimeRethrowSeen(uintptr_t returnAddress, const uintptr_t* frame);
void RuntimeCatchEnds();

// The runtime hooks of throws and catches, and the unhandled-exception procedure
// (std::set_terminate). Installed and removed with the import hooks.
void InstallRuntimeExceptionHooks();
void RemoveRuntimeExceptionHooks();
