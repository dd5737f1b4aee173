// The road's handling without the process heap: frozen module records, threads kept still under the heap and loader locks.
#include <windows.h>

#include <cstdlib>
#include <string>

#include "crashreport/capture/EEvents.h"
#include "crashreport/capture/EOptions.h"
#include "crashreport/capture/ExceptionLog.h"
#include "framework/Exception.h"
#include "framework/ExceptionBoundary.h"
#include "tests/crashlab/CrashLab.h"

extern volatile long HandlingStep;

namespace {

volatile int* volatile nowhere = nullptr;

// What the exception notification saw, on the faulting thread while the report is up.
struct TFrozenReport {
    volatile LONG reports = 0;
    volatile LONG withText = 0;
    volatile LONG workerStill = 0;  // the busy thread didn't move while the report was up
};
TFrozenReport seen;
volatile LONG workerTurns = 0;
volatile LONG workerStop = 0;
TDuruvaDodHandlers frozenObserver;

void OnFrozenNotify(void*, TVurazaExceptionRecord& record, bool&)
{
    InterlockedIncrement(&seen.reports);
    if (record.ReportText && record.ReportText->find("EAccessViolation") != std::string::npos)
        InterlockedIncrement(&seen.withText);
    const LONG before = workerTurns;
    Sleep(60);
    if (workerTurns == before)
        InterlockedIncrement(&seen.workerStill);
}

// Only the notification sees the report: no log, no dialog, nothing sent; the threads
// without a thread object are kept still or not.
void QuietOptions(bool keepStill)
{
    if (TVurazaModuleOptionsEx* options = CurrentDuruvaDodOptions()) {
        options->SetDialogKind(0);
        options->SetKeepLogFile(false);
        options->SetMailMethod(0);
        options->SetUploadMethod(0);
        const uint16_t flags = options->BehaviourFlags();
        options->SetBehaviourFlags(static_cast<uint16_t>(keepStill ? (flags | 0x4) & ~0x1 : flags & ~0x5));
    }
    frozenObserver.ExceptionNotify = &OnFrozenNotify;
    RegisterDuruvaDodHandlers(&frozenObserver);
    SetBoundaryExceptionHandler([](std::exception_ptr) {});
}

extern "C" CRASHLAB_CALL void FrozenWriteNull()
{
    *nowhere = 7;
}

DWORD WINAPI FaultAtBoundary(void* ready)
{
    if (ready)
        WaitForSingleObject(static_cast<HANDLE>(ready), INFINITE);
    GuardedCall([] { FrozenWriteNull(); });
    return 0;
}

// Takes the process heap's lock and the loader's over and over, and the runtime's heap.
DWORD WINAPI BusyWorker(void*)
{
    HANDLE heap = GetProcessHeap();
    while (!workerStop) {
        void* block = HeapAlloc(heap, 0, 64 + (workerTurns & 255));
        HeapFree(heap, 0, block);
        std::free(std::malloc(48));
        delete new std::string(40, 'x');
        if (HMODULE dll = LoadLibraryW(L"msimg32.dll"))
            FreeLibrary(dll);
        InterlockedIncrement(&workerTurns);
    }
    return 0;
}

int Runs(const std::vector<std::string>& args, int fallback)
{
    const int n = args.empty() ? fallback : std::atoi(args[0].c_str());
    return n > 0 ? n : fallback;
}

// Faults on fresh threads while another allocates and loads without pause; every report must
// end, in bounded time, with the busy thread kept still while it is up.
int KeptStillWhileBusy(const std::vector<std::string>& args)
{
    QuietOptions(true);
    const int runs = Runs(args, 5);
    HANDLE worker = CreateThread(nullptr, 0, BusyWorker, nullptr, 0, nullptr);
    while (workerTurns < 50)
        Sleep(1);
    int ended = 0;
    for (int i = 0; i < runs; ++i) {
        const LONG before = seen.reports;
        const DWORD start = GetTickCount();
        HANDLE fault = CreateThread(nullptr, 0, FaultAtBoundary, nullptr, 0, nullptr);
        const bool done = WaitForSingleObject(fault, 20000) == WAIT_OBJECT_0;
        CloseHandle(fault);
        LabPrint(Format("run %d: %s, report %s", i + 1, done ? "ended" : "stuck",
                        seen.reports > before ? "made" : "missing"));
        if (!done) {
            LabPrint(Format("stuck after %lu ms at step %ld", GetTickCount() - start, static_cast<long>(HandlingStep)));
            std::fflush(stdout);
            TerminateProcess(GetCurrentProcess(), 3);
        }
        ended += seen.reports > before ? 1 : 0;
    }
    workerStop = 1;
    WaitForSingleObject(worker, 10000);
    CloseHandle(worker);
    LabPrint(Format("kept still: %d of %d reports, %ld with text, worker still in %ld", ended, runs,
                    static_cast<long>(seen.withText), static_cast<long>(seen.workerStill)));
    return 0;
}

// The process heap locked by another thread as the fault happens: the road must reach its
// report without it. The lock is given back when the road builds the report text (whose
// system facts the system reads through that heap), or after 15 s.
int HeapLockedAtFault(const std::vector<std::string>&)
{
    QuietOptions(false);
    HANDLE ready = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE fault = CreateThread(nullptr, 0, FaultAtBoundary, ready, 0, nullptr);
    Sleep(100);  // the fault thread's start-up is over
    HeapLock(GetProcessHeap());
    SetEvent(ready);
    const DWORD start = GetTickCount();
    while (HandlingStep < 702 && GetTickCount() - start < 15000)
        Sleep(1);
    const long reached = HandlingStep;
    const DWORD held = GetTickCount() - start;
    HeapUnlock(GetProcessHeap());
    const bool done = WaitForSingleObject(fault, 20000) == WAIT_OBJECT_0;
    LabPrint(Format("heap locked until step %ld after %lu ms", reached, static_cast<unsigned long>(held)));
    LabPrint(Format("report %s, text %s", done && seen.reports ? "made" : "missing", seen.withText ? "made" : "missing"));
    CloseHandle(fault);
    CloseHandle(ready);
    return 0;
}

}  // namespace

const std::vector<TCrashLabMode>& CrashLabFrozenModes()
{
    static const std::vector<TCrashLabMode> modes = {
        {"frozen-busy", "faults N times while a thread allocates and loads a library; the road keeps it still",
         KeptStillWhileBusy},
        {"frozen-heap-locked", "faults while another thread holds the process heap's lock", HeapLockedAtFault},
    };
    return modes;
}
