#pragma once
// The hang watchdog: a thread that pings the program's main window and, when no answer comes
// for the options' time-out, reports the hang as EFrozenApplication with the main thread's call
// stack. The main thread is suspended only while its context and stack are copied into buffers
// made beforehand; the report is routed after it runs again.

#include <windows.h>

#include <cstddef>
#include <cstdint>

#include "crashreport/capture/EFreezeCount.h"
#include "crashreport/capture/EStackWin.h"
#include "framework/Exception.h"
#include "framework/Thread.h"

class EFrozenApplication : public Exception {
public:
    using Exception::Exception;
};

// The main thread as it was when the hang was seen: copied while it was suspended.
struct TFrozenMainThread {
    uint32_t ThreadId = 0;
    const CONTEXT* Context = nullptr;
    const void* Stack = nullptr;  // the raw bytes from StackPointer up
    size_t StackSize = 0;
    uintptr_t StackPointer = 0;
    uintptr_t StackTop = 0;
};

// The frozen thread's call stack, scanned from the copy (Eip first); addresses outside the
// copy are read from live memory.
void ScanFrozenStack(TVurazaStackList& list, const TFrozenMainThread& frozen, bool resolve);

// Where a hang goes: the handling road. Nothing is reported while none is set.
using TFreezeRoute = void (*)(EFrozenApplication& error, const TFrozenMainThread& frozen);
void SetFreezeRoute(TFreezeRoute route);

class TFreezeThread : public TThread {
public:
    // Opens the main thread and allocates the copy buffers before the thread runs.
    TFreezeThread();
    ~TFreezeThread() override;

protected:
    void Execute() override;

private:
    HWND WaitForMainWindow();
    void Rest();
    void ReportHang();

    TFreezeCount count_;
    HANDLE mainThread_ = nullptr;
    TThreadStackCopy copy_;
};

void StartFreezeWatch();
// From the watchdog's own thread (a handler of its report switched it off) the thread is only
// asked to stop and frees itself; from any other it is waited for.
void StopFreezeWatch();
bool FreezeWatchRunning();
// The options switch the watchdog on and off through these from now on.
void InstallFreezeWatchHooks();
