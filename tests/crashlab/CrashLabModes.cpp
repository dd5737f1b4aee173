#include "tests/crashlab/CrashLab.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "crashreport/capture/EEvents.h"
#include "crashreport/capture/EModules.h"
#include "crashreport/capture/ERoad.h"
#include "crashreport/capture/EProcesses.h"
#include "crashreport/capture/EStackWin.h"
#include "framework/Exception.h"

extern "C" int ChainStart();

namespace {

HANDLE parkEvent = nullptr;
volatile LONG parkedCount = 0;

extern "C" CRASHLAB_CALL DWORD ParkC()
{
    InterlockedIncrement(&parkedCount);
    WaitForSingleObject(parkEvent, 60000);
    return 0;
}

extern "C" CRASHLAB_CALL DWORD ParkB()
{
    return ParkC() + 1;
}

extern "C" CRASHLAB_CALL DWORD WINAPI ParkA(void*)
{
    return ParkB() + 1;
}

int ArgInt(const std::vector<std::string>& args, size_t index, int fallback)
{
    return index < args.size() ? atoi(args[index].c_str()) : fallback;
}

int StackMode(const std::vector<std::string>&)
{
    return ChainStart() == 0 ? 1 : 0;
}

int ThreadsMode(const std::vector<std::string>& args)
{
    const int count = ArgInt(args, 0, 20);
    TParkedThreads threads(count);
    std::vector<TThreadStackCopy> copies(threads.Handles().size());
    for (size_t i = 0; i < copies.size(); ++i) {
        if (!copies[i].Capture(threads.Handles()[i]))
            LabPrint(Format("thread %u capture failed", static_cast<unsigned>(i)));
    }
    TLiveMemoryReader live;
    for (size_t i = 0; i < copies.size(); ++i) {
        TVurazaStackList list;
        ScanCapturedStack(list, copies[i], threads.Ids()[i], 1, true, live);
        LabPrint(Format("thread %u items %u", static_cast<unsigned>(i), static_cast<unsigned>(list.Count())));
        DumpStack(list);
    }
    return 0;
}

// Stays up with three extra threads until its input closes (or a minute passes).
int HelperMode(const std::vector<std::string>& args)
{
    TParkedThreads threads(ArgInt(args, 0, 3));
    LabPrint("ready");
    char c;
    DWORD got = 0;
    ReadFile(GetStdHandle(STD_INPUT_HANDLE), &c, 1, &got, nullptr);
    return 0;
}

// Deep recursion that faults at its bottom: the return-address slot of every level, the deepest
// last, tells which levels lie within the scanned part of the stack.
constexpr int DeepLevelLimit = 4096;
uintptr_t deepSlots[DeepLevelLimit];
int deepDepth = 0;
volatile int* volatile deepZero = nullptr;

// The slot of the caller's return address: the frame is kept for __builtin_frame_address.
#define DEEP_RETURN_SLOT() (reinterpret_cast<uintptr_t>(__builtin_frame_address(0)) + 4)

extern "C" CRASHLAB_CALL int DeepCall(int level)
{
    deepSlots[level] = DEEP_RETURN_SLOT();
    if (level + 1 >= deepDepth) {
        *deepZero = level;
        return 0;
    }
    return DeepCall(level + 1) + 1;
}

// The same with a 256-byte frame, zeroed so it holds no stale return address.
extern "C" CRASHLAB_CALL int DeepWideCall(int level)
{
    volatile char frame[256];
    for (volatile char& c : frame)
        c = 0;
    deepSlots[level] = DEEP_RETURN_SLOT();
    if (level + 1 >= deepDepth) {
        *deepZero = level;
        return 0;
    }
    return DeepWideCall(level + 1) + frame[0];
}

void DumpDeepStack(void*, TVurazaExceptionRecord& record, bool& handle)
{
    const auto* context = static_cast<const CONTEXT*>(record.Context);
    const uintptr_t sp = context ? context->Esp : 0;
    // The levels within 102,400 bytes, counted here apart from the scanner's own limit.
    int within = 0;
    for (int i = 0; i < deepDepth; ++i)
        if (deepSlots[i] >= sp && deepSlots[i] + 4 <= sp + 102400)
            ++within;
    LabPrint(Format("deep context=%d within=%d items=%u", context ? 1 : 0, within,
                    record.CallStack ? static_cast<unsigned>(record.CallStack->Count()) : 0u));
    if (record.CallStack)
        DumpStack(*record.CallStack);
    handle = false;
}

TDuruvaDodHandlers deepObserver;

int DeepMode(const std::vector<std::string>& args)
{
    deepDepth = std::min(std::max(ArgInt(args, 0, 1500), 1), DeepLevelLimit);
    deepObserver.ExceptionNotify = &DumpDeepStack;
    RegisterDuruvaDodHandlers(&deepObserver);
    return args.size() > 1 && args[1] == "wide" ? DeepWideCall(0) : DeepCall(0);
}

int ParentMode(const std::vector<std::string>&)
{
    LabPrint(Format("parent %u", ParentProcessId()));
    return 0;
}

int ExitMode(const std::vector<std::string>& args)
{
    return static_cast<int>(strtoul(args.empty() ? "0" : args[0].c_str(), nullptr, 0));
}

CRASHLAB_CALL int WriteToNull()
{
    *static_cast<volatile int*>(nullptr) = 1;
    return 0;
}

int AccessViolationMode(const std::vector<std::string>&)
{
    return WriteToNull();
}

LONG WINAPI EndWithExceptionCode(EXCEPTION_POINTERS* pointers)
{
    TerminateProcess(GetCurrentProcess(), pointers->ExceptionRecord->ExceptionCode);
    return EXCEPTION_EXECUTE_HANDLER;
}

}  // namespace

const std::vector<TCrashLabMode>& CrashLabModes()
{
    static const std::vector<TCrashLabMode> modes = {
        {"stack", "main -> A -> B -> C, C dumps its own stack", StackMode},
        {"threads", "N threads (20) parked three calls deep; every stack dumped", ThreadsMode},
        {"helper", "N extra threads (3); waits for its input to close", HelperMode},
        {"deep", "N levels (1500) of recursion, with 256-byte frames when \"wide\" follows, faulting at the "
                 "bottom; the report's stack dumped",
         DeepMode},
        {"parent", "prints the parent process id", ParentMode},
        {"exit", "exits with the given code", ExitMode},
        {"av", "writes to address 0", AccessViolationMode},
    };
    static const std::vector<TCrashLabMode> all = [] {
        std::vector<TCrashLabMode> joined = modes;
        for (const std::vector<TCrashLabMode>* group :
             {&CrashLabHangModes(), &CrashLabRoadModes(), &CrashLabHookModes(), &CrashLabReportModes(),
              &CrashLabDialogModes(), &CrashLabFrozenModes(), &CrashLabPeersModes(), &CrashLabDeliveryModes(),
              &CrashLabSurviveModes()})
            joined = JoinModes(joined, *group);
        return joined;
    }();
    return all;
}

void LabPrint(const std::string& line)
{
    const std::string text = line + "\n";
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}

void DumpOwnStack()
{
    uintptr_t sp = 0, top = 0;
    asm volatile("movl %%esp, %0" : "=r"(sp));
    asm volatile("movl %%fs:4, %0" : "=r"(top));  // the thread's stack base, from its TIB
    TLiveMemoryReader reader;
    TVurazaStackList list;
    TStackScanRequest r;
    r.StackPointer = sp;
    r.StackTop = top;
    r.ThreadId = GetCurrentThreadId();
    r.Resolve = true;
    ScanStack(list, r, reader);
    DumpStack(list);
}

void DumpStack(const TVurazaStackList& list)
{
    for (size_t i = 0; i < list.Count(); ++i) {
        const TVurazaStackItem& item = *list.GetItem(i);
        std::string module = item.Module ? item.Module->FileName : "";
        const size_t slash = module.find_last_of('\\');
        if (slash != std::string::npos)
            module.erase(0, slash + 1);
        const uintptr_t offset = item.Module ? item.Address - item.Module->Handle : item.Address;
        LabPrint(Format("item %u|%u|%s|%08X|%s|%s|%s|%d", static_cast<unsigned>(i), item.Kind, module.c_str(),
                        static_cast<unsigned>(offset), item.UnitName.text, item.ClassName.text,
                        item.ProcedureName.text, item.Line));
    }
}

TParkedThreads::TParkedThreads(int count)
{
    if (!parkEvent)
        parkEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    ResetEvent(parkEvent);
    const LONG before = parkedCount;
    for (int i = 0; i < count; ++i) {
        DWORD id = 0;
        HANDLE h = CreateThread(nullptr, 0, ParkA, nullptr, 0, &id);
        if (!h)
            break;
        handles_.push_back(h);
        ids_.push_back(id);
    }
    // Bounded: a thread that never parks leaves the scenario short, not hung.
    for (int i = 0; i < 1000 && parkedCount - before < static_cast<LONG>(handles_.size()); ++i)
        Sleep(5);
    Sleep(20);
}

TParkedThreads::~TParkedThreads()
{
    SetEvent(parkEvent);
    for (HANDLE h : handles_) {
        WaitForSingleObject(h, 10000);
        CloseHandle(h);
    }
}

int RunCrashLab(int argc, char** argv)
{
    // An unhandled crash ends the process with its code: no debugger, no error box. Wine
    // ignores the error mode and starts its debugger unless a filter decides first.
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
    // With the reporter started its own filter does the same after the report.
    if (!IsReporterStarted())
        SetUnhandledExceptionFilter(EndWithExceptionCode);
    InstallLabResolver();
    const std::string name = argc > 1 ? argv[1] : "";
    std::vector<std::string> args;
    for (int i = 2; i < argc; ++i)
        args.push_back(argv[i]);
    for (const TCrashLabMode& mode : CrashLabModes()) {
        if (name == mode.name)
            return mode.run(args);
    }
    LabPrint("usage: crashlab MODE [ARGS]");
    for (const TCrashLabMode& mode : CrashLabModes())
        LabPrint(Format("  %-10s %s", mode.name, mode.purpose));
    return 2;
}
