// The crash-test program's modes of the handling road: what each exception tells the event
// handlers, the filters and the dispatch order, action codes, the bug identifier, the
// environment of a child, waiting with a window, and a program without reporter data.

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "crashreport/capture/EDialogState.h"
#include "crashreport/capture/EExternal.h"
#include "crashreport/capture/EObjects.h"
#include "crashreport/capture/EOptions.h"
#include "crashreport/capture/ERoad.h"
#include "crashreport/capture/ERoadState.h"
#include "crashreport/capture/ERoadSteps.h"
#include "crashreport/capture/EUtilsWin.h"
#include "crashreport/capture/ExceptionLog.h"
#include "framework/Exception.h"
#include "framework/ExceptionBoundary.h"
#include "framework/Thread.h"
#include "tests/crashlab/CrashLab.h"

namespace {

class ERoadTest : public Exception {
public:
    using Exception::Exception;
};
class EFilterZero : public Exception {
public:
    using Exception::Exception;
};
class EFilterOne : public Exception {
public:
    using Exception::Exception;
};
class EFilterTwo : public Exception {
public:
    using Exception::Exception;
};
class EFilterHandled : public Exception {
public:
    using Exception::Exception;
};

volatile int* volatile nowhere = nullptr;
volatile LONG notifyCount = 0;
volatile LONG inHandler = 0;
volatile LONG overlapSeen = 0;
int notifySleep = 0;
int notifyMisbehaves = 0;  // 1 throws, 2 faults

std::string Hex(uintptr_t value)
{
    return Format("%08X", static_cast<unsigned>(value));
}

std::string DemangledTypeNameOf(const TVurazaExceptionRecord& record)
{
    return RoadExceptionTypeName(TRoadException(record.ExceptionObject, record.ExceptionType));
}

void OnNotify(void*, TVurazaExceptionRecord& record, bool& handle)
{
    if (InterlockedIncrement(&inHandler) > 1)
        overlapSeen = 1;
    InterlockedIncrement(&notifyCount);
    std::string type = record.ExceptionType ? DemangledTypeNameOf(record) : "?";
    LabPrint(Format("notify %s address %s thread %u main %d message %s", type.c_str(), Hex(record.ExceptionAddress).c_str(),
                    static_cast<unsigned>(record.ThreadId), record.ThreadId == MainThreadId() ? 1 : 0,
                    ObjectMessage(record.ExceptionObject).c_str()));
    if (notifySleep)
        Sleep(static_cast<DWORD>(notifySleep));
    InterlockedDecrement(&inHandler);
    if (notifyMisbehaves == 1)
        throw Exception("handler failed");
    if (notifyMisbehaves == 2)
        *nowhere = 1;
    (void)handle;
}

void OnHandledNotify(void* data, TVurazaExceptionRecord& record, bool& handle)
{
    LabPrint("handled notify");
    OnNotify(data, record, handle);
}

int clearAction = -1;

void OnAction(void*, TVurazaExceptionRecord&, uint8_t action, bool& continueFlag)
{
    LabPrint(Format("action %u", action));
    if (static_cast<int>(action) == clearAction)
        continueFlag = false;
}

TDuruvaDodHandlers observer;

void Observe()
{
    observer.ExceptionNotify = OnNotify;
    observer.HandledExceptionNotify = OnHandledNotify;
    observer.ExceptionActionNotify = OnAction;
    RegisterDuruvaDodHandlers(&observer);
}

// Report steps that raise the action codes the log and delivery units raise, so that their
// order and the continue flag can be watched here.
class TLabSteps : public TRoadSteps {
public:
    std::string reportText;
    int slowBuild = 0;
    HWND readWindow = nullptr;
    void BuildReportText(std::string& text) override
    {
        text = reportText;
        if (readWindow) {
            // Read without sending: the window's thread is the faulting one, waiting.
            wchar_t caption[64] = {};
            InternalGetWindowText(readWindow, caption, 64);
            LabPrint(Format("caption read %d", caption[0] != 0 ? 1 : 0));
        }
        if (slowBuild)
            Sleep(static_cast<DWORD>(slowBuild));
    }
    void CheckLogVersion() override { LabPrint("step version"); }
    bool FindDuplicateReport(bool increment) override
    {
        if (increment)
            LabPrint("step duplicate");
        return false;
    }
    void SaveReportToLog() override
    {
        if (NotifyAction(ActionBeforeLog))
            LabPrint("step log");
        NotifyAction(ActionAfterLog);
    }
    void StartSendReport() override
    {
        if (NotifyAction(ActionBeforeMail))
            LabPrint("step mail");
        NotifyAction(ActionAfterMail);
        if (NotifyAction(ActionBeforeWeb))
            LabPrint("step web");
        NotifyAction(ActionAfterWeb);
    }
};
TLabSteps labSteps;

// No dialog, no console text: the events are what the modes watch.
void Quiet()
{
    if (TVurazaModuleOptionsEx* options = CurrentDuruvaDodOptions())
        options->SetDialogKind(0);
    SetRoadSteps(&labSteps);
}

extern "C" CRASHLAB_CALL void RoadWriteNull()
{
    *nowhere = 1;
}

DWORD WINAPI FaultingWorker(void*)
{
    LabPrint(Format("worker %u", static_cast<unsigned>(GetCurrentThreadId())));
    RoadWriteNull();
    return 0;
}

int AccessViolation(const std::vector<std::string>& args)
{
    Observe();
    Quiet();
    LabPrint(Format("function %s", Hex(reinterpret_cast<uintptr_t>(&RoadWriteNull)).c_str()));
    LabPrint(Format("main %u", static_cast<unsigned>(GetCurrentThreadId())));
    if (!args.empty() && args[0] == "worker") {
        HANDLE h = CreateThread(nullptr, 0, FaultingWorker, nullptr, 0, nullptr);
        WaitForSingleObject(h, 20000);
        return 0;
    }
    RoadWriteNull();
    return 0;
}

int Raise(const std::vector<std::string>& args)
{
    Observe();
    Quiet();
    const DWORD code = args.empty() ? 0xE0001234 : static_cast<DWORD>(strtoul(args[0].c_str(), nullptr, 16));
    RaiseException(code, 0, 0, nullptr);
    return 0;
}

int ThreadName(const std::vector<std::string>&)
{
    Observe();
    Quiet();
    struct {
        DWORD type, name, thread, flags;
    } info = {0x1000, 0, static_cast<DWORD>(-1), 0};
    static const char name[] = "lab";
    info.name = static_cast<DWORD>(reinterpret_cast<uintptr_t>(name));
    RaiseException(0x406D1388, 0, 4, reinterpret_cast<const ULONG_PTR*>(&info));
    LabPrint(Format("named notifications %ld", notifyCount));
    return 0;
}

volatile int overflowStop = 0;

CRASHLAB_CALL int StackOverflowDepth(int depth)
{
    volatile char pad[1024];
    pad[0] = static_cast<char>(depth);
    if (overflowStop)
        return 0;
    const int below = StackOverflowDepth(depth + 1);
    return below + pad[0] + pad[1];
}

HWND MakeLabWindow();
HWND overflowWindow = nullptr;
HANDLE overflowNotified = nullptr;
HANDLE overflowSent = nullptr;

// Sends to the overflowed main thread's window while its exception is handled: after a stack
// overflow nothing is served on that thread, so the send times out.
DWORD WINAPI OverflowSender(void*)
{
    WaitForSingleObject(overflowNotified, 20000);
    DWORD_PTR answer = 0;
    const LRESULT sent = SendMessageTimeoutA(overflowWindow, WM_USER + 1, 0, 0, SMTO_BLOCK, 1500, &answer);
    LabPrint(Format("overflow send answered %d", sent ? 1 : 0));
    SetEvent(overflowSent);
    return 0;
}

void OverflowNotify(void* data, TVurazaExceptionRecord& record, bool& handle)
{
    OnNotify(data, record, handle);
    SetEvent(overflowNotified);
    WaitForSingleObject(overflowSent, 5000);
}

// [window: a window of the main thread that another thread sends to during the handling]
int StackOverflow(const std::vector<std::string>& args)
{
    Observe();
    Quiet();
    if (!args.empty() && args[0] == "window") {
        overflowWindow = MakeLabWindow();
        overflowNotified = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        overflowSent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        observer.ExceptionNotify = OverflowNotify;
        CloseHandle(CreateThread(nullptr, 0, OverflowSender, nullptr, 0, nullptr));
    }
    return StackOverflowDepth(0);
}

// Framework threads that throw: each reaches the road through its boundary.
class TThrowingThread : public TThread {
public:
    HANDLE go = nullptr;
    bool abort = false;

protected:
    void Execute() override
    {
        WaitForSingleObject(go, 10000);
        if (abort)
            throw EAbort("quiet");
        throw ERoadTest(Format("thread %u", static_cast<unsigned>(GetCurrentThreadId())));
    }
};

int RunThrowingThreads(int count, bool abort)
{
    HANDLE go = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    std::vector<TThrowingThread*> threads;
    for (int i = 0; i < count; ++i) {
        auto* t = new TThrowingThread();
        t->go = go;
        t->abort = abort;
        t->Resume();
        threads.push_back(t);
    }
    Sleep(50);
    SetEvent(go);  // released together: the faults come within a millisecond
    for (TThrowingThread* t : threads) {
        t->WaitFor();
        delete t;
    }
    CloseHandle(go);
    return 0;
}

int Concurrent(const std::vector<std::string>& args)
{
    Observe();
    Quiet();
    notifySleep = 100;
    notifyMisbehaves = args.empty() ? 0 : args[0] == "throws" ? 1 : args[0] == "faults" ? 2 : 0;
    RunThrowingThreads(notifyMisbehaves ? 1 : 2, false);
    LabPrint(Format("notifications %ld reports %ld overlap %ld", notifyCount, ReportCounter, overlapSeen));
    return 0;
}

int Abort(const std::vector<std::string>&)
{
    Observe();
    Quiet();
    RunThrowingThreads(1, true);
    bool result = false;
    try {
        throw EAbort("quiet");
    } catch (...) {
        result = ExceptionManager(TRoadException(std::current_exception()), 0, 0, CurrentModuleHandle());
    }
    LabPrint(Format("abort result %d notifications %ld reports %ld", result ? 1 : 0, notifyCount, ReportCounter));
    return 0;
}

template <class E>
bool ManageThrown(const char* message)
{
    try {
        throw E(message);
    } catch (...) {
        return ExceptionManager(TRoadException(std::current_exception()), 0, 0, CurrentModuleHandle());
    }
}

// Once a handling ends, ExceptionManager with no exception has nothing left to report.
int Forget(const std::vector<std::string>&)
{
    Observe();
    Quiet();
    ManageThrown<ERoadTest>("forgotten");
    const bool result = ExceptionManager(TRoadException(), 0, 0, CurrentModuleHandle());
    LabPrint(Format("forget result %d notifications %ld reports %ld", result ? 1 : 0, notifyCount, ReportCounter));
    return 0;
}

// crashlab road-restart MARKER: a report whose filter asks for a restart, made after the
// program moved to another folder. The restarted program (the same command line, in the
// start-up folder) notes where it runs in MARKER and ends.
int Restart(const std::vector<std::string>& args)
{
    const std::string marker = args.empty() ? "restart-marker.txt" : args[0];
    char folder[MAX_PATH] = {};
    GetCurrentDirectoryA(MAX_PATH, folder);
    if (GetEnvironmentVariableA("CRASHLAB_RESTARTED", nullptr, 0) > 0) {
        if (FILE* f = std::fopen(marker.c_str(), "ab")) {
            std::fprintf(f, "restarted in %s\n", folder);
            std::fclose(f);
        }
        return 0;
    }
    if (FILE* f = std::fopen(marker.c_str(), "wb")) {
        std::fprintf(f, "first in %s\n", folder);
        std::fclose(f);
    }
    // Marked for the restarted copy, which inherits it: it must not fault again.
    SetEnvironmentVariableA("CRASHLAB_RESTARTED", "1");
    Quiet();
    TExceptionFilter restart;
    restart.ClassName = "ERoadTest";
    restart.Handler = 2;
    restart.Action = 2;
    CurrentDuruvaDodOptions()->ExceptionFilters().Add(restart);
    CreateDirectoryA("restart-elsewhere", nullptr);
    SetCurrentDirectoryA("restart-elsewhere");
    ManageThrown<ERoadTest>("restart me");
    LabPrint("not restarted");
    return 0;
}

int Filters(const std::vector<std::string>&)
{
    Observe();
    Quiet();
    TVurazaModuleOptionsEx& options = *CurrentDuruvaDodOptions();
    auto add = [&](const char* name, uint8_t handler, uint8_t kind, const char* message) {
        TExceptionFilter f;
        f.ClassName = name;
        f.Handler = handler;
        f.Kind = kind;
        f.Message = message;
        options.ExceptionFilters().Add(f);
    };
    add("EFilterZero", 0, 0, "");
    add("EFilterOne", 1, 0, "");
    add("EFilterTwo", 2, 0, "custom: %_ExceptMsg%");
    add("EFilterHandled", 0, 1, "");  // fits only exceptions reported as handled
    struct TCase {
        const char* name;
        bool (*run)(const char*);
        const char* message;
    } cases[] = {
        {"zero", ManageThrown<EFilterZero>, "zero message"},
        {"one", ManageThrown<EFilterOne>, "one message"},
        {"two", ManageThrown<EFilterTwo>, "first two"},
        {"two-again", ManageThrown<EFilterTwo>, "second two"},
        {"kind", ManageThrown<EFilterHandled>, "kind message"},
    };
    for (const TCase& c : cases) {
        const long before = notifyCount;
        const bool result = c.run(c.message);
        LabPrint(Format("case %s result %d notified %ld message %s", c.name, result ? 1 : 0, notifyCount - before,
                        LastExceptMessage.c_str()));
    }
    return 0;
}

void NamedHandler(void* data, TVurazaExceptionRecord&, bool&)
{
    LabPrint(Format("dispatch %s reserve %d", static_cast<const char*>(data), EmergencyMemoryReserved() ? 1 : 0));
}

void ProcedureHandler(void*, TVurazaExceptionRecord&, bool&)
{
    LabPrint("dispatch procedure");
}

int Dispatch(const std::vector<std::string>&)
{
    Quiet();
    static TDuruvaDodHandlers a, b;
    a.Data = const_cast<char*>("A");
    a.ExceptionNotify = NamedHandler;
    b.Data = const_cast<char*>("B");
    b.ExceptionNotify = NamedHandler;
    RegisterDuruvaDodHandlers(&a);
    RegisterDuruvaDodHandlers(&b);
    DuruvaDodEventProcedures().ExceptionNotify = ProcedureHandler;
    LabPrint(Format("reserve before %d", EmergencyMemoryReserved() ? 1 : 0));
    ManageThrown<ERoadTest>("dispatch");
    LabPrint(Format("reserve after %d", EmergencyMemoryReserved() ? 1 : 0));
    return 0;
}

int Actions(const std::vector<std::string>& args)
{
    Observe();
    SetRoadSteps(&labSteps);
    clearAction = args.empty() ? -1 : atoi(args[0].c_str());
    TVurazaModuleOptionsEx& options = *CurrentDuruvaDodOptions();
    options.SetMailMethod(1);  // a send method: the report is sent
    options.SetDialogKind(1);
    options.SetLogFlags(static_cast<uint8_t>(options.LogFlags() | 0x4));  // the log's version check
    ManageThrown<ERoadTest>("actions");
    LabPrint("actions done");
    return 0;
}

extern "C" CRASHLAB_CALL void RoadBugFault()
{
    throw ERoadTest("bug");
}

// The facts the bug identifier is made of, for the check to make it again: each call-stack
// item's kind, whether its module is the first item's, its unit, class, procedure and line
// distance.
void BugItemsNotify(void*, TVurazaExceptionRecord& record, bool&)
{
    const TVurazaStackList* stack = record.CallStack;
    if (!stack || stack->Count() == 0)
        return;
    LabPrint("bugtype " + DemangledTypeNameOf(record));
    const TVurazaModuleInfo* module = stack->GetItem(0)->Module;
    for (size_t i = 0; i < stack->Count(); ++i) {
        const TVurazaStackItem& item = *stack->GetItem(i);
        LabPrint(Format("bugitem %d %d %s|%s|%s|%d", item.Kind, item.Module == module ? 1 : 0, item.UnitName.text,
                        item.ClassName.text, item.ProcedureName.text, static_cast<int>(item.LineDistance)));
    }
}

int BugId(const std::vector<std::string>&)
{
    Quiet();
    static TDuruvaDodHandlers items;
    items.ExceptionNotify = BugItemsNotify;
    RegisterDuruvaDodHandlers(&items);
    for (int i = 0; i < 2; ++i) {
        try {
            RoadBugFault();
        } catch (...) {
            ExceptionManager(TRoadException(std::current_exception()), 0, 0, CurrentModuleHandle());
        }
        LabPrint("bugid " + BugIdText);
        LabPrint("bugsource " + BugIdSource);
    }
    return 0;
}

int PrintEnvironment(const std::vector<std::string>&)
{
    static const struct {
        const char* name;
        const wchar_t* wide;
    } names[] = {{"_MainModuleName", L"_MainModuleName"}, {"_ExceptMsg", L"_ExceptMsg"},
                 {"_LineBreak", L"_LineBreak"}, {"_BugReport", L"_BugReport"}};
    static wchar_t value[40000];
    static char buffer[80000];
    for (const auto& v : names) {
        const DWORD n = GetEnvironmentVariableW(v.wide, value, 40000);
        const int bytes = WideCharToMultiByte(936, 0, value, static_cast<int>(n), buffer, sizeof buffer, nullptr, nullptr);
        const std::string text(buffer, bytes > 0 ? static_cast<size_t>(bytes) : 0);
        if (std::strcmp(v.name, "_LineBreak") == 0) {
            std::string hex;
            for (unsigned char c : text)
                hex += Format("%02X", c);
            LabPrint(Format("env %s %s", v.name, hex.c_str()));
        } else if (std::strcmp(v.name, "_BugReport") == 0 || n > 100) {
            LabPrint(Format("env %s length %u", v.name, static_cast<unsigned>(n)));
        } else {
            LabPrint(Format("env %s %s", v.name, text.c_str()));
        }
    }
    return 0;
}

// [long: a second report whose message is too long for a variable]
int Environment(const std::vector<std::string>& args)
{
    Quiet();
    labSteps.reportText = std::string(40000, 'r');
    ManageThrown<ERoadTest>("环境 message");
    if (!args.empty() && args[0] == "long")
        ManageThrown<ERoadTest>(std::string(40000, 'm').c_str());
    LabPrint(Format("reports %ld", ReportCounter));
    char self[MAX_PATH];
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    std::string commandLine = std::string("\"") + self + "\" road-printenv";
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    if (!CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &info))
        return 1;
    WaitForSingleObject(info.hProcess, 20000);
    CloseHandle(info.hThread);
    CloseHandle(info.hProcess);
    return 0;
}

HWND labWindow = nullptr;
volatile LONG sentServed = 0;

volatile LONG servedWhileHandled = 0;
HANDLE faultComing = nullptr;

LRESULT CALLBACK LabWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_USER + 1) {
        InterlockedExchange(&sentServed, 1);
        if (FaultingThreadId() == GetCurrentThreadId())
            InterlockedExchange(&servedWhileHandled, 1);
        return 7;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

DWORD WINAPI SendingWorker(void*)
{
    // Sends to the faulting main thread's window while its exception is handled.
    if (faultComing)
        WaitForSingleObject(faultComing, 10000);
    else
        Sleep(300);
    DWORD_PTR answer = 0;
    SendMessageTimeoutA(labWindow, WM_USER + 1, 0, 0, SMTO_BLOCK, 8000, &answer);
    LabPrint(Format("sent answer %u", static_cast<unsigned>(answer)));
    return 0;
}

HWND MakeLabWindow()
{
    WNDCLASSA wc{};
    wc.lpfnWndProc = LabWindowProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "CrashLabRoadWindow";
    RegisterClassA(&wc);
    HWND window = CreateWindowA("CrashLabRoadWindow", "crashlab road", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 10, 10, 300,
                                200, nullptr, nullptr, wc.hInstance, nullptr);
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
        DispatchMessageA(&msg);
    return window;
}

void WindowNotify(void*, TVurazaExceptionRecord&, bool&)
{
    LabPrint("window notify");
}

bool HasArg(const std::vector<std::string>& args, const char* name)
{
    for (const std::string& a : args)
        if (a == name)
            return true;
    return false;
}

// [nopump] [av: a real access violation behind the boundary, the report built by the
// program's own steps, the message sent as the fault comes]
int WindowFault(const std::vector<std::string>& args)
{
    TRoadSteps& programSteps = RoadSteps();
    Quiet();
    TVurazaModuleOptionsEx& options = *CurrentDuruvaDodOptions();
    // Pumping disallowed: BehaviourFlags bit 0x1 without 0x2.
    if (HasArg(args, "nopump"))
        options.SetBehaviourFlags(static_cast<uint16_t>((options.BehaviourFlags() | 0x1) & ~0x2));
    const bool fault = HasArg(args, "av");
    if (fault) {
        SetRoadSteps(&programSteps);
        options.SetKeepLogFile(false);
        options.SetMailMethod(0);
        options.SetUploadMethod(0);
        faultComing = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    }
    ActiveModuleOptions()->Assign(&options);
    static TDuruvaDodHandlers notify;
    notify.ExceptionNotify = WindowNotify;
    RegisterDuruvaDodHandlers(&notify);
    labWindow = MakeLabWindow();
    labSteps.slowBuild = 1500;
    labSteps.readWindow = labWindow;
    HANDLE sender = CreateThread(nullptr, 0, SendingWorker, nullptr, 0, nullptr);
    if (fault) {
        SetForegroundWindow(labWindow);
        SetEvent(faultComing);
        GuardedCall([] { RoadWriteNull(); });
        LabPrint(Format("report built %d", LastReportText.find("EAccessViolation") != std::string::npos ? 1 : 0));
    } else {
        ManageThrown<ERoadTest>("window");
    }
    WaitForSingleObject(sender, 10000);
    CloseHandle(sender);
    LabPrint(Format("window done served %ld during %ld", sentServed, servedWhileHandled));
    return 0;
}

// A report of one exception doesn't hide another with the same message.
int Dedup(const std::vector<std::string>&)
{
    Observe();
    Quiet();
    EXCEPTION_RECORD record{};
    record.ExceptionCode = 0xE0001234;
    record.ExceptionAddress = reinterpret_cast<void*>(0x1234);
    ExceptionManager(TRoadException(MakeExternalException(record)), 0x1234, 0, CurrentModuleHandle());
    RaiseException(0xE0001234, 0, 0, nullptr);
    return 0;
}

// Threads that keep handing exceptions to the road while the program ends (made once: the
// runtime can't throw once its unwind tables are gone at exit).
DWORD WINAPI RoutingWorker(void*)
{
    EXCEPTION_RECORD record{};
    record.ExceptionCode = 0xE0004321;
    const TRoadException e(MakeExternalException(record));
    for (;;)
        ExceptionManager(e, 0, 0, CurrentModuleHandle());
}

int ShutDown(const std::vector<std::string>&)
{
    Quiet();
    for (int i = 0; i < 4; ++i)
        CloseHandle(CreateThread(nullptr, 0, RoutingWorker, nullptr, 0, nullptr));
    Sleep(200);
    LabPrint("returning");
    return 0;
}

int Unstamped(const std::vector<std::string>&)
{
    LPTOP_LEVEL_EXCEPTION_FILTER current = SetUnhandledExceptionFilter(nullptr);
    SetUnhandledExceptionFilter(current);
    LabPrint(Format("started %d capture %d", IsReporterStarted() ? 1 : 0, IsCaptureActive() ? 1 : 0));
    Observe();
    ManageThrown<ERoadTest>("unstamped");
    LabPrint(Format("notifications %ld", notifyCount));
    return 0;
}

}  // namespace

const std::vector<TCrashLabMode>& CrashLabRoadModes()
{
    static const std::vector<TCrashLabMode> modes = {
        {"road-av", "an access violation on main or [worker]; the filter ends with its code", AccessViolation},
        {"road-raise", "RaiseException with a custom code (hex, E0001234)", Raise},
        {"road-threadname", "names the thread with the debugger exception", ThreadName},
        {"road-overflow", "unbounded recursion on main [window]", StackOverflow},
        {"road-concurrent", "two framework threads throw at once [throws|faults: one, the handler misbehaves]", Concurrent},
        {"road-abort", "EAbort from a framework thread and through ExceptionManager", Abort},
        {"road-forget", "a report, then ExceptionManager with no exception", Forget},
        {"road-restart", "a report whose filter asks for a restart, from another folder [MARKER]", Restart},
        {"road-filters", "the filter table: handlers 0, 1, 2, kinds, a custom message", Filters},
        {"road-dispatch", "owners A then B and the procedure variable", Dispatch},
        {"road-actions", "action codes of a sent report [code whose continue flag is cleared]", Actions},
        {"road-bugid", "the bug identifier of one throw, twice", BugId},
        {"road-env", "a child started after a report prints its environment [long: after a second, too long]",
         Environment},
        {"road-printenv", "prints the report's environment variables", PrintEnvironment},
        {"road-window", "an exception on main with a visible window [nopump] [av]", WindowFault},
        {"road-dedup", "a reported exception, then another with the same message reaches the filter", Dedup},
        {"road-shutdown", "threads routing exceptions while the program returns", ShutDown},
        {"road-unstamped", "what the reporter does without its data", Unstamped},
    };
    return modes;
}
