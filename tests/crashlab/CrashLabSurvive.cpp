// The road survives its own failures: a step of the handling that faults or throws, a window
// procedure that faults while the waiting main thread pumps, a minimised window restored for a
// thread that does not answer, a fault in a static destructor. The road's internal-error lines
// are printed as they are made.

#include <windows.h>

#include <cstdio>
#include <stdexcept>
#include <string>

#include "crashreport/capture/EDialogState.h"
#include "crashreport/capture/EEvents.h"
#include "crashreport/capture/EInternalError.h"
#include "crashreport/capture/EObjects.h"
#include "crashreport/capture/EOptions.h"
#include "crashreport/capture/ERoad.h"
#include "crashreport/capture/ERoadSteps.h"
#include "crashreport/capture/EUtilsWin.h"
#include "crashreport/capture/ExceptionLog.h"
#include "framework/Exception.h"
#include "framework/ExceptionBoundary.h"
#include "framework/SysUtils.h"
#include "tests/crashlab/CrashLab.h"

namespace {

volatile int* volatile nowhere = nullptr;
volatile LONG notifications = 0;
HWND labWindow = nullptr;
volatile LONG faultReached = 0;
volatile LONG thrown = 0;

void PrintInternalError(const char* line)
{
    LabPrint(line);
}

void OnNotify(void*, TVurazaExceptionRecord& record, bool&)
{
    InterlockedIncrement(&notifications);
    LabPrint("notify " + ObjectMessage(record.ExceptionObject));
}

TDuruvaDodHandlers handlers;

// What the steps do: fault while building the report, throw inside a window procedure of the
// dialog, or keep the dialog up while a message posted to the waiting main thread faults.
enum class TStepFailure { None, Build, Dialog, Pump };
TStepFailure failure = TStepFailure::None;

LRESULT CALLBACK ThrowingProc(HWND window, UINT message, WPARAM wp, LPARAM lp)
{
    // As every window procedure of the reporter's dialogs: behind a boundary.
    return GuardedCall<LRESULT>(0, [&]() -> LRESULT {
        if (message == WM_USER) {
            InterlockedExchange(&thrown, 1);
            throw std::runtime_error("dialog procedure failed");
        }
        return DefWindowProcW(window, message, wp, lp);
    });
}

// The main thread's window: its procedure faults on WM_USER; WM_USER + 1 must not be pumped
// after that fault.
LRESULT CALLBACK FaultingProc(HWND window, UINT message, WPARAM wp, LPARAM lp)
{
    if (message == WM_USER) {
        InterlockedExchange(&faultReached, 1);
        *nowhere = 1;
    }
    if (message == WM_USER + 1)
        LabPrint("pumped after fault");
    return DefWindowProcW(window, message, wp, lp);
}

HWND MakeWindow(const wchar_t* className, WNDPROC proc, DWORD style)
{
    WNDCLASSW wc = {};
    wc.lpfnWndProc = proc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = className;
    RegisterClassW(&wc);
    return CreateWindowExW(0, className, L"crashlab survive", style, 0, 0, 200, 120, nullptr, nullptr, wc.hInstance,
                           nullptr);
}

class TFailingSteps : public TRoadSteps {
public:
    void BuildReportText(std::string& text) override
    {
        text = "lab report";
        if (failure == TStepFailure::Build)
            *nowhere = 2;
    }
    uint8_t ShowExceptionDialog(uint8_t, bool) override
    {
        if (failure == TStepFailure::Dialog) {
            HWND dialog = MakeWindow(L"CrashLabThrowingDialog", ThrowingProc, WS_OVERLAPPEDWINDOW | WS_VISIBLE);
            PostMessageW(dialog, WM_USER, 0, 0);
            for (int i = 0; i < 300 && !thrown; ++i) {
                MSG msg;
                while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
                    TranslateMessage(&msg);
                    DispatchMessageW(&msg);
                }
                Sleep(10);
            }
            DestroyWindow(dialog);
            LabPrint(Format("dialog returned thrown %ld", thrown));
        } else if (failure == TStepFailure::Pump) {
            // The dialog is up (painted) while the driver keeps it so.
            DialogShown = true;
            PostMessageW(labWindow, WM_USER, 0, 0);
            PostMessageW(labWindow, WM_USER + 1, 0, 0);
            for (int i = 0; i < 500 && !faultReached; ++i)
                Sleep(10);
            Sleep(500);
            LabPrint(Format("dialog closed fault reached %ld", faultReached));
        }
        return 0;
    }
    void SaveReportToLog() override { LabPrint("step log"); }
};
TFailingSteps failingSteps;

void Prepare(TStepFailure how)
{
    failure = how;
    SetInternalErrorObserver(PrintInternalError);
    handlers.ExceptionNotify = OnNotify;
    RegisterDuruvaDodHandlers(&handlers);
    TVurazaModuleOptionsEx& options = *CurrentDuruvaDodOptions();
    options.SetDialogKind(how == TStepFailure::Dialog || how == TStepFailure::Pump ? 2 : 0);
    options.SetDialogAutoCloseSeconds(0);
    options.SetKeepLogFile(true);
    options.SetMailMethod(0);
    options.SetUploadMethod(0);
    SetRoadSteps(&failingSteps);
}

extern "C" CRASHLAB_CALL void SurviveWriteNull()
{
    *nowhere = 3;
}

// survive-step build|dialog: a fault reaching the process's filter, handled by steps that fail.
int FailingStep(const std::vector<std::string>& args)
{
    Prepare(!args.empty() && args[0] == "dialog" ? TStepFailure::Dialog : TStepFailure::Build);
    SurviveWriteNull();
    LabPrint("still running");
    return 0;
}

// survive-pump: an exception at a boundary on main; the dialog is up while a posted message's
// procedure faults on main. The report goes on to the log, and the program goes on.
int PumpFault(const std::vector<std::string>&)
{
    Prepare(TStepFailure::Pump);
    labWindow = MakeWindow(L"CrashLabFaultingWindow", FaultingProc, WS_OVERLAPPEDWINDOW | WS_VISIBLE);
    GuardedCall([] { throw std::runtime_error("fault while the dialog is up"); });
    LabPrint(Format("went on notifications %ld", notifications));
    DestroyWindow(labWindow);
    return 0;
}

DWORD WINAPI RestoreFromOtherThread(void*)
{
    Sleep(300);
    RestoreMainWindow();
    LabPrint("restore returned");
    return 0;
}

// survive-restore: the minimised main window restored from another thread while the main
// thread does not answer (as the hang watchdog's report does): it is asked, not waited for.
int RestoreWhileHung(const std::vector<std::string>&)
{
    labWindow = MakeWindow(L"CrashLabMinimised", DefWindowProcW, WS_OVERLAPPEDWINDOW | WS_VISIBLE);
    ShowWindow(labWindow, SW_MINIMIZE);
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
        DispatchMessageW(&msg);
    LabPrint(Format("minimised %d", IsIconic(labWindow) ? 1 : 0));
    HANDLE worker = CreateThread(nullptr, 0, RestoreFromOtherThread, nullptr, 0, nullptr);
    Sleep(4000);  // hung: nothing sent to this thread is answered
    LabPrint("main woke");
    for (int i = 0; i < 50; ++i) {
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageW(&msg);
        Sleep(20);
    }
    WaitForSingleObject(worker, 10000);
    CloseHandle(worker);
    LabPrint(Format("restored %d", IsIconic(labWindow) ? 0 : 1));
    DestroyWindow(labWindow);
    return 0;
}

struct TFaultingAtExit {
    ~TFaultingAtExit()
    {
        LabPrint("static destructor faults");
        SurviveWriteNull();
    }
};

// survive-static: main returns; a static object's destructor faults, and is reported.
int StaticDestructorFault(const std::vector<std::string>&)
{
    Prepare(TStepFailure::None);
    static TFaultingAtExit object;
    (void)object;
    LabPrint("returning");
    return 0;
}

class ERestartLoop : public Exception {
public:
    using Exception::Exception;
};

// survive-restart MARKER: every run adds a line to the marker and fails with a filter that asks
// for a restart; a run that fails soon after its restart is not restarted again.
int RestartLoop(const std::vector<std::string>& args)
{
    const std::string marker = args.empty() ? "restart-loop.txt" : args[0];
    if (FILE* f = std::fopen(marker.c_str(), "ab")) {
        std::fprintf(f, "run %lu\n", static_cast<unsigned long>(GetCurrentProcessId()));
        std::fclose(f);
    }
    Prepare(TStepFailure::None);
    TExceptionFilter restart;
    restart.ClassName = "ERestartLoop";
    restart.Handler = 2;
    restart.Action = 2;
    CurrentDuruvaDodOptions()->ExceptionFilters().Add(restart);
    GuardedCall([] { throw ERestartLoop("restart me"); });
    LabPrint("not restarted");
    return 0;
}

// survive-exports: the exported event entries, as another module's copy calls them; a program
// whose reporter did not start tells its handlers nothing.
int ExportedEvents(const std::vector<std::string>&)
{
    handlers.ExceptionNotify = OnNotify;
    RegisterDuruvaDodHandlers(&handlers);
    using TNotifyExport = void(__stdcall*)(TVurazaExceptionRecord*, bool*);
    const auto notify = reinterpret_cast<TNotifyExport>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(nullptr), "DuruvaDod_ExceptionNotifyEvent")));
    TVurazaExceptionRecord record{};
    bool handle = true;
    if (notify)
        notify(&record, &handle);
    LabPrint(Format("started %d export %d notifications %ld", IsReporterStarted() ? 1 : 0, notify ? 1 : 0,
                    notifications));
    return 0;
}

}  // namespace

const std::vector<TCrashLabMode>& CrashLabSurviveModes()
{
    static const std::vector<TCrashLabMode> modes = {
        {"survive-step", "a fault at the filter, the handling's step fails: build (faults) or dialog (throws)",
         FailingStep},
        {"survive-pump", "an exception on main; with the dialog up a posted message's procedure faults", PumpFault},
        {"survive-restore", "the minimised main window restored from another thread while main hangs",
         RestoreWhileHung},
        {"survive-static", "main returns, a static destructor faults", StaticDestructorFault},
        {"survive-restart", "each run fails asking for a restart [MARKER]", RestartLoop},
        {"survive-exports", "the exported exception notification, called as another module would", ExportedEvents},
    };
    return modes;
}
