// The hang watchdog's scenarios and the thread storm: a main thread that sleeps with a window
// up, one that pumps now and then, 20 threads creating threads while main returns, and a
// launcher mode that runs one of them many times in one process.

#include <windows.h>

#include <tlhelp32.h>

#include <cstdlib>
#include <memory>

#include "crashreport/capture/EEvents.h"
#include "crashreport/capture/EFreezeWatch.h"
#include "crashreport/capture/EObjects.h"
#include "crashreport/capture/EOptions.h"
#include "crashreport/capture/ERoad.h"
#include "crashreport/capture/EStillProbe.h"
#include "crashreport/capture/EThreadHooks.h"
#include "framework/Exception.h"
#include "tests/crashlab/CrashLab.h"

namespace {

int ArgInt(const std::vector<std::string>& args, size_t index, int fallback)
{
    return index < args.size() ? atoi(args[index].c_str()) : fallback;
}

volatile DWORD sleepStart = 0;
volatile LONG frozenReports = 0;
HANDLE reported = nullptr;  // set by each report of the hang
bool stopOnReport = false;  // the report's handler switches the watchdog off, on its own thread
HANDLE mainThread = nullptr;

// The main thread's suspend count as seen now: suspending returns the count before.
DWORD MainSuspendCount()
{
    const DWORD before = SuspendThread(mainThread);
    if (before != static_cast<DWORD>(-1))
        ResumeThread(mainThread);
    return before;
}

void LabOptionsOff();

void ObserveFrozen(const std::string& className, const std::string& message, uint32_t threadId,
                   const TVurazaStackList& stack)
{
    InterlockedIncrement(&frozenReports);
    const DWORD at = sleepStart ? GetTickCount() - sleepStart : 0;
    LabPrint(Format("frozen class=%s thread=%u main=%u at=%u suspend=%u message=%s", className.c_str(), threadId,
                    static_cast<unsigned>(MainThreadID()), static_cast<unsigned>(at),
                    static_cast<unsigned>(MainSuspendCount()), message.c_str()));
    DumpStack(stack);
    LabPrint("frozen end");
    if (reported)
        SetEvent(reported);
    if (stopOnReport)
        LabOptionsOff();
}

void LabFreezeRoute(EFrozenApplication& error, const TFrozenMainThread& frozen)
{
    TVurazaStackList stack;
    ScanFrozenStack(stack, frozen, true);
    ObserveFrozen("EFrozenApplication", error.Message(), frozen.ThreadId, stack);
}

// With the reporter running, the hang travels the road and is seen by an exception handler.
void OnExceptionNotify(void*, TVurazaExceptionRecord& record, bool&)
{
    TVurazaStackList none;
    const std::string type = RoadExceptionTypeName(TRoadException(record.ExceptionObject, record.ExceptionType));
    ObserveFrozen(type, ObjectMessage(record.ExceptionObject), record.ThreadId,
                  record.CallStack ? *record.CallStack : none);
}

TDuruvaDodHandlers observer;

// The options the watchdog reads: the running module's when the reporter has them, else ours.
TVurazaModuleOptionsEx& LabOptions()
{
    static TVurazaModuleOptionsEx own("crashlab");
    static TVurazaModuleOptions* chosen = nullptr;
    if (!chosen) {
        if (ModuleOptionsHooks().currentOptions)
            chosen = ModuleOptionsHooks().currentOptions();
        if (!chosen) {
            ModuleOptionsHooks().currentOptions = [] { return static_cast<TVurazaModuleOptions*>(&own); };
            chosen = &own;
        }
    }
    return *static_cast<TVurazaModuleOptionsEx*>(chosen);
}

void LabOptionsOff()
{
    LabOptions().SetFreezeWatchEnabled(false);
    LabPrint(Format("switched off on thread %u running %d", static_cast<unsigned>(GetCurrentThreadId()),
                    FreezeWatchRunning() ? 1 : 0));
}

void WatchWith(int timeoutSeconds)
{
    DuplicateHandle(GetCurrentProcess(), GetCurrentThread(), GetCurrentProcess(), &mainThread,
                    THREAD_SUSPEND_RESUME | THREAD_QUERY_INFORMATION, FALSE, 0);
    TVurazaModuleOptionsEx& options = LabOptions();
    if (IsReporterStarted()) {
        // Quiet handling: no dialog, no log; the handler prints what the road hands it.
        options.SetDialogKind(0);
        options.SetKeepLogFile(false);
        observer.ExceptionNotify = OnExceptionNotify;
        RegisterDuruvaDodHandlers(&observer);
    } else {
        InstallFreezeWatchHooks();
        SetFreezeRoute(&LabFreezeRoute);
    }
    // A time-out of 0 keeps the stamped options: the watchdog start-up made is watched as it is.
    if (timeoutSeconds > 0) {
        options.SetFreezeTimeoutSeconds(timeoutSeconds);
        options.SetReporterActive(true);
        if (options.FreezeWatchEnabled())
            options.SetFreezeWatchEnabled(false);
        options.SetFreezeWatchEnabled(true);
    }
    LabPrint(Format("watching %d", FreezeWatchRunning() ? 1 : 0));
}

LRESULT CALLBACK LabWindowProc(HWND window, UINT message, WPARAM wp, LPARAM lp)
{
    return DefWindowProcW(window, message, wp, lp);
}

HWND ShowLabWindow()
{
    WNDCLASSW wc = {};
    wc.lpfnWndProc = LabWindowProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"CrashLabHangWindow";
    RegisterClassW(&wc);
    HWND window = CreateWindowExW(0, wc.lpszClassName, L"crashlab hang", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 200,
                                  120, nullptr, nullptr, wc.hInstance, nullptr);
    ShowWindow(window, SW_SHOWNORMAL);
    return window;
}

// Serves messages (the watchdog's pings among them) for the given time.
void Pump(DWORD milliseconds)
{
    const DWORD start = GetTickCount();
    for (;;) {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        const DWORD elapsed = GetTickCount() - start;
        if (elapsed >= milliseconds)
            return;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, milliseconds - elapsed, QS_ALLINPUT);
    }
}

// Sleeps the given time, or with an event until it is set, at most that long.
extern "C" CRASHLAB_CALL void HangInSleep(DWORD milliseconds, HANDLE until = nullptr)
{
    if (until)
        WaitForSingleObject(until, milliseconds);
    else
        Sleep(milliseconds);
    asm volatile("" ::: "memory");  // the sleep is not the function's last call
}

void EndWatch(HWND window)
{
    StopFreezeWatch();
    DestroyWindow(window);
    LabPrint(Format("reports %ld", frozenReports));
}

// crashlab hang [TIMEOUT_S=2, 0 as stamped] [LIMIT_MS=20000] [stop]: the main thread stops answering in
// HangInSleep until its hang is reported (at most LIMIT_MS), then one second more, below any
// time-out: a report in that second would be the same hang reported twice. A loaded machine
// stretches the watchdog's counted pings, so no fixed sleep is sure to outlast them. With
// "stop" the report's handler switches the watchdog off.
int HangMode(const std::vector<std::string>& args)
{
    const int timeout = ArgInt(args, 0, 2);
    const DWORD limit = static_cast<DWORD>(ArgInt(args, 1, 20000));
    stopOnReport = args.size() > 2 && args[2] == "stop";
    HWND window = ShowLabWindow();
    WatchWith(timeout);
    Pump(600);  // the watchdog finds the window and gets its answers
    LabPrint(Format("answered reports %ld", frozenReports));
    reported = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    sleepStart = GetTickCount();
    HangInSleep(limit, reported);
    HangInSleep(1000);
    const DWORD slept = GetTickCount() - sleepStart;
    const LONG during = frozenReports;
    LabPrint(Format("slept %u reports %ld", static_cast<unsigned>(slept), during));
    Pump(300);
    EndWatch(window);
    CloseHandle(reported);
    reported = nullptr;
    return 0;
}

// crashlab hangpump [TIMEOUT_S=2] [TOTAL_MS=6000] [GAP_MS=1500]: busy for GAP_MS, then a short
// pump, again and again; the watchdog must stay quiet.
int HangPumpMode(const std::vector<std::string>& args)
{
    const int timeout = ArgInt(args, 0, 2);
    const DWORD total = static_cast<DWORD>(ArgInt(args, 1, 6000));
    const DWORD gap = static_cast<DWORD>(ArgInt(args, 2, 1500));
    HWND window = ShowLabWindow();
    WatchWith(timeout);
    Pump(600);
    sleepStart = GetTickCount();
    while (GetTickCount() - sleepStart < total) {
        HangInSleep(gap);
        Pump(60);
    }
    EndWatch(window);
    return 0;
}

// crashlab watchtoggle: the options switch the watchdog off and on again.
int WatchToggleMode(const std::vector<std::string>&)
{
    HWND window = ShowLabWindow();
    WatchWith(60);
    TVurazaModuleOptionsEx& options = LabOptions();
    options.SetFreezeWatchEnabled(false);
    LabPrint(Format("off %d", FreezeWatchRunning() ? 1 : 0));
    options.SetFreezeWatchEnabled(true);
    LabPrint(Format("on %d", FreezeWatchRunning() ? 1 : 0));
    options.SetReporterActive(false);
    LabPrint(Format("inactive %d", FreezeWatchRunning() ? 1 : 0));
    options.SetReporterActive(true);
    LabPrint(Format("active %d", FreezeWatchRunning() ? 1 : 0));
    EndWatch(window);
    LabPrint(Format("stopped %d", FreezeWatchRunning() ? 1 : 0));
    return 0;
}

// The threads of this process other than main that are running now (the program started none
// yet: they are the reporter's own and the system's), and how many of them have a record.
void PrintOwnThreads()
{
    TVurazaThreadsList* list = VurazaThreadsList();
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (!list || snapshot == INVALID_HANDLE_VALUE)
        return;
    int others = 0, recorded = 0, probe = 0;
    THREADENTRY32 entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry)) {
        if (entry.th32OwnerProcessID != GetCurrentProcessId() || entry.th32ThreadID == GetCurrentThreadId())
            continue;
        ++others;
        probe += entry.th32ThreadID == StillProbeThreadId() ? 1 : 0;
        list->BeginRead();
        recorded += list->FindById(entry.th32ThreadID) >= 0 ? 1 : 0;
        list->EndRead();
    }
    CloseHandle(snapshot);
    LabPrint(Format("own threads %d recorded %d probe %d", others, recorded, probe));
}

// crashlab watchstate: whether the reporter started and its watchdog runs, before anything
// changes; the reporter's own threads have no records.
int WatchStateMode(const std::vector<std::string>&)
{
    LabPrint(Format("reporter %d watching %d", IsReporterStarted() ? 1 : 0, FreezeWatchRunning() ? 1 : 0));
    PrintOwnThreads();
    return 0;
}

DWORD WINAPI StormChild(void*)
{
    ExitThread(0);
}

DWORD WINAPI StormLooper(void*)
{
    for (;;) {
        DWORD id = 0;
        HANDLE child = CreateThread(nullptr, 0, StormChild, nullptr, 0, &id);
        if (child) {
            WaitForSingleObject(child, 1000);
            CloseHandle(child);
        } else {
            Sleep(1);
        }
    }
}

// crashlab storm [THREADS=20] [LEAD_MS=30]: the threads create and end threads while main returns.
int StormMode(const std::vector<std::string>& args)
{
    const int count = ArgInt(args, 0, 20);
    for (int i = 0; i < count; ++i) {
        DWORD id = 0;
        if (HANDLE h = CreateThread(nullptr, 0, StormLooper, nullptr, 0, &id))
            CloseHandle(h);
    }
    Sleep(static_cast<DWORD>(ArgInt(args, 1, 30)));
    return 0;
}

std::wstring OwnFileName()
{
    wchar_t path[MAX_PATH];
    const DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
    return std::wstring(path, n);
}

// crashlab runs COUNT BATCH LIMIT_MS MODE [ARGS]: runs this program with MODE COUNT times, BATCH
// at a time; each must end with 0 within LIMIT_MS. Gives 0 when all did.
int RunsMode(const std::vector<std::string>& args)
{
    if (args.size() < 4)
        return 2;
    const int count = ArgInt(args, 0, 1), batch = ArgInt(args, 1, 1);
    const DWORD limit = static_cast<DWORD>(ArgInt(args, 2, 10000));
    std::wstring commandLine = L"\"" + OwnFileName() + L"\"";
    for (size_t i = 3; i < args.size(); ++i)
        commandLine += L" " + std::wstring(args[i].begin(), args[i].end());
    int failed = 0;
    for (int first = 0; first < count; first += batch) {
        struct TRun {
            HANDLE process;
            DWORD started;
        };
        std::vector<TRun> runs;
        for (int i = first; i < count && i < first + batch; ++i) {
            STARTUPINFOW startup{};
            startup.cb = sizeof startup;
            PROCESS_INFORMATION info{};
            std::wstring line = commandLine;
            if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info)) {
                LabPrint(Format("run %d cannot start: %lu", i, GetLastError()));
                ++failed;
                continue;
            }
            CloseHandle(info.hThread);
            runs.push_back({info.hProcess, GetTickCount()});
        }
        for (size_t j = 0; j < runs.size(); ++j) {
            const DWORD waited = GetTickCount() - runs[j].started;
            const DWORD rest = waited >= limit ? 0 : limit - waited;
            DWORD code = 0xDEAD;
            if (WaitForSingleObject(runs[j].process, rest) != WAIT_OBJECT_0) {
                LabPrint(Format("run %d hung", first + static_cast<int>(j)));
                TerminateProcess(runs[j].process, 0xDEAD);
                WaitForSingleObject(runs[j].process, 5000);
                ++failed;
            } else if (GetExitCodeProcess(runs[j].process, &code) && code != 0) {
                LabPrint(Format("run %d exit code 0x%08lX", first + static_cast<int>(j), code));
                ++failed;
            }
            CloseHandle(runs[j].process);
        }
    }
    LabPrint(Format("runs %d failed %d", count, failed));
    return failed == 0 ? 0 : 1;
}

}  // namespace

const std::vector<TCrashLabMode>& CrashLabHangModes()
{
    static const std::vector<TCrashLabMode> modes = {
        {"hang", "a window up, then the main thread sleeps in HangInSleep until reported (timeout 2 s)", HangMode},
        {"hangpump", "the main thread busy for 1.5 s between short pumps, 6 s long", HangPumpMode},
        {"watchtoggle", "the options switch the watchdog off and on", WatchToggleMode},
        {"watchstate", "prints whether the reporter started and its watchdog runs", WatchStateMode},
        {"storm", "N threads (20) create and end threads while main returns", StormMode},
        {"runs", "COUNT BATCH LIMIT_MS MODE...: runs this program with MODE, each within the limit", RunsMode},
    };
    return modes;
}

std::vector<TCrashLabMode> JoinModes(const std::vector<TCrashLabMode>& first, const std::vector<TCrashLabMode>& second)
{
    std::vector<TCrashLabMode> all = first;
    all.insert(all.end(), second.begin(), second.end());
    return all;
}
