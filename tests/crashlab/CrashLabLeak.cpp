// The leak tracker's crash-test program: crashlab_leak MODE [ARGS]. It carries the tracking
// operators and the exit step; its variants are stamped with different leak options. The
// report and the heap errors go to standard output:
//   EMemoryLeak|<message>             the report, once, at exit
//   leak|<text>|<size>|<count>|<first>|<unit>|<procedure>|<line>   one per kept item
//   EMemoryOverrun|<message>, EMultiFree|<message>                 as they happen
// and each mode prints the source lines it leaks at ("site NAME LINE").
// "crashlab_leak road LOG MODE [ARGS]" sends them along the handling road instead: the report
// text on standard output (a console program's dialog) or in the detailed dialog (the GUI
// variant; it closes itself after 1 s), and into the log LOG.
#include <windows.h>

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <new>
#include <string>
#include <thread>
#include <vector>

#include "crashreport/capture/ELeakMemory.h"
#include "crashreport/capture/ELeakReport.h"
#include "crashreport/capture/EModules.h"
#include "crashreport/capture/EOptions.h"
#include "crashreport/capture/ERoad.h"
#include "crashreport/capture/EThreadContext.h"
#include "crashreport/capture/ExceptionLog.h"
#include "framework/Exception.h"
#include "tests/crashlab/CrashLab.h"

// Named by their classes in the report: outside any namespace.
class Foo {
public:
    virtual ~Foo() = default;
    int values[5] = {};
};

struct Bar {
    int values[7] = {};
};

// An object whose constructor allocates two blocks of its own.
class Owner {
public:
    CRASHLAB_CALL Owner() : part_(new char[24]), more_(new int[6]) {}
    virtual ~Owner() = default;

private:
    char* part_;
    int* more_;
};

// The faults below are the point of these modes.
#pragma GCC diagnostic ignored "-Warray-bounds"
#pragma GCC diagnostic ignored "-Walloc-size-larger-than="
#pragma GCC diagnostic ignored "-Wuse-after-free"
#pragma GCC diagnostic ignored "-Wstringop-overflow="

namespace {

// GCC drops a new whose result is never read: every leak is stored here.
volatile void* volatile leaked[4096];
volatile int leakedCount = 0;

void Keep(void* p)
{
    leaked[leakedCount % 4096] = p;
    leakedCount = leakedCount + 1;
}

void Site(const char* name, int line)
{
    LabPrint(Format("site %s %d", name, line));
}

void PrintRoute(Exception& error, uintptr_t, TVurazaStackList* stack)
{
    const char* kind = dynamic_cast<EMemoryLeak*>(&error)      ? "EMemoryLeak"
                       : dynamic_cast<EMemoryOverrun*>(&error) ? "EMemoryOverrun"
                       : dynamic_cast<EMultiFree*>(&error)     ? "EMultiFree"
                                                               : "Exception";
    LabPrint(Format("%s|%s", kind, error.Message().c_str()));
    for (size_t i = 0; stack && i < stack->Count(); ++i) {
        const TVurazaStackItem& item = *stack->GetItem(i);
        LabPrint(Format("leak|%s|%u|%u|%u|%s|%s|%d", item.LeakText.text, item.LeakSize, item.LeakCount, item.First,
                        item.UnitName.text, item.ProcedureName.text, item.Line));
    }
}

// What the exit step does, seen from the reporter's callbacks it calls (chained in front of
// them, with tracking on):
//   options file NAME                   at start: where shut-down saves the options
//   options file at report 0|1          when the report begins
//   tracked frees during report N       when it ends: frees of tracked blocks by other threads
//   options file after 0|1              after the exit steps, as the last of them
//   late free N                         then: TLeakFree of freeing a block kept for it
//   after exit tracking 0|1 heaps valid L R   then: the tracker's and the reporter's heaps
TLeakCallbacks reporterCallbacks;
char optionsFileName[MAX_PATH + 32];
std::atomic<long> trackedFrees{0};
long trackedFreesAtBegin = 0;
bool awaitFreeInReport = false;
void* volatile lateBlock = nullptr;

bool OptionsFileExists()
{
    return GetFileAttributesA(optionsFileName) != INVALID_FILE_ATTRIBUTES;
}

void WatchReportBegin()
{
    trackedFreesAtBegin = trackedFrees.load();
    LabPrint(Format("options file at report %d", OptionsFileExists() ? 1 : 0));
    // The report itself may take a few ms and a freeing thread may be asleep in the list's
    // lock: it begins only once a tracked block was freed (a deadlock shows as none in 3 s).
    for (DWORD waited = 0; awaitFreeInReport && trackedFrees.load() == trackedFreesAtBegin && waited < 3000; ++waited)
        Sleep(1);
    if (reporterCallbacks.reportBegin)
        reporterCallbacks.reportBegin();
}

void WatchReportEnd()
{
    if (reporterCallbacks.reportEnd)
        reporterCallbacks.reportEnd();
    LabPrint(Format("tracked frees during report %ld", trackedFrees.load() - trackedFreesAtBegin));
}

void WatchFinalization()
{
    if (reporterCallbacks.finalization)
        reporterCallbacks.finalization();
    LabPrint(Format("options file after %d", OptionsFileExists() ? 1 : 0));
    if (lateBlock)
        LabPrint(Format("late free %d", static_cast<int>(ProgramLeakTracker().Free(lateBlock, 8))));
    LabPrint(Format("after exit tracking %d heaps valid %d %d", ProgramLeakTracker().Tracking() ? 1 : 0,
                    HeapValidate(LeakHeap(), 0, nullptr) ? 1 : 0, HeapValidate(ReporterHeap(), 0, nullptr) ? 1 : 0));
}

void WatchExitStep()
{
    if (!IsLeakTrackingActive())
        return;
    char folder[MAX_PATH + 1];
    const DWORD n = GetTempPathA(MAX_PATH + 1, folder);
    snprintf(optionsFileName, sizeof optionsFileName, "%s%08X%08X.bin", n && n <= MAX_PATH ? folder : "C:\\",
             static_cast<unsigned>(GetCurrentProcessId()),
             static_cast<unsigned>(reinterpret_cast<uintptr_t>(GetModuleHandleA(nullptr))));
    LabPrint(Format("options file %s", optionsFileName));
    reporterCallbacks = LeakCallbacks();
    TLeakCallbacks watched = reporterCallbacks;
    watched.reportBegin = &WatchReportBegin;
    watched.reportEnd = &WatchReportEnd;
    watched.finalization = &WatchFinalization;
    SetLeakCallbacks(watched);
}

void FreeCounted(char* p)
{
    if (ProgramLeakTracker().IsTrackedBlock(p))
        ++trackedFrees;
    delete[] p;
}

// Freed by a static destructor: not a leak.
struct TStaticHolder {
    char* block = nullptr;
    ~TStaticHolder() { delete[] block; }
} staticHolder;

CRASHLAB_CALL void LeakInLoop()
{
    for (int i = 0; i < 10; ++i)
        Keep(new char[48]), Site("loop", __LINE__);
}

int LayoutMode(const std::vector<std::string>&)
{
    LabPrint(Format("tracking %d", IsLeakTrackingActive() ? 1 : 0));
    for (size_t n : {1u, 16u, 100u, 1000u}) {
        auto* p = new char[n];
        uint32_t before, after;
        memcpy(&before, p - 4, 4);
        memcpy(&after, p + n, 4);
        LabPrint(Format("block %u before %08X after %08X aligned %d", static_cast<unsigned>(n), before, after,
                        reinterpret_cast<uintptr_t>(p) % 8 == 0 ? 1 : 0));
        delete[] p;
    }
    struct alignas(64) TWide {
        char bytes[100];
    };
    auto* wide = new TWide;
    LabPrint(Format("aligned64 %d", reinterpret_cast<uintptr_t>(wide) % 64 == 0 ? 1 : 0));
    delete wide;
    // A C-style buffer grown and shrunk keeps its bytes, each time behind both guards.
    char* buffer = static_cast<char*>(TrackedRealloc(nullptr, 10));
    memcpy(buffer, "0123456789", 10);
    int kept = 1, guarded = 1;
    for (size_t n : {5000u, 20u}) {
        buffer = static_cast<char*>(TrackedRealloc(buffer, n));
        uint32_t before, after;
        memcpy(&before, buffer - 4, 4);
        memcpy(&after, buffer + n, 4);
        kept &= memcmp(buffer, "0123456789", 10) == 0;
        guarded &= before == 0x100FAB10 && after == 0x100FAB10;
    }
    TrackedFree(buffer);
    LabPrint(Format("realloc kept %d guarded %d", kept, guarded));
    LabPrint(Format("live %u", static_cast<unsigned>(ProgramLeakTracker().LiveCount())));
    return 0;
}

int LeaksMode(const std::vector<std::string>& args)
{
    const std::string what = args.empty() ? "two" : args[0];
    if (what == "two") {
        Keep(new Foo), Site("foo", __LINE__);
        Keep(new char[100]), Site("data", __LINE__);
        LabPrint(Format("sizeof Foo %u", static_cast<unsigned>(sizeof(Foo))));
    } else if (what == "bar") {
        Keep(new Bar), Site("bar", __LINE__);
        LabPrint(Format("sizeof Bar %u", static_cast<unsigned>(sizeof(Bar))));
    } else if (what == "string") {
        Keep(new std::string(300, 'x')), Site("string", __LINE__);
        LabPrint(Format("sizeof string %u", static_cast<unsigned>(sizeof(std::string))));
    } else if (what == "static") {
        staticHolder.block = new char[77];
        Keep(new char[33]), Site("kept", __LINE__);
    } else if (what == "loop") {
        LeakInLoop();
        Keep(new char[48]), Site("other", __LINE__);
    } else if (what == "fold") {
        Keep(new Owner), Site("owner", __LINE__);
        LabPrint(Format("sizeof Owner %u", static_cast<unsigned>(sizeof(Owner))));
    } else if (what == "many") {
        for (int i = 0; i < 2000; ++i)
            Keep(new char[8 + i]);  // sizes apart: nothing merges
    }
    return 0;
}

// The options shut-down saves are the ones the report reads back; the file goes at the end.
int OptionsFileMode(const std::vector<std::string>& args)
{
    TVurazaModuleOptionsEx* options = CurrentDuruvaDodOptions();
    if (args.empty() || !options)
        return 2;
    SetLeakOptionsFile(args[0].c_str());
    options->SetMessageText(105, "Leaked memory");
    Keep(new char[12]), Site("kept", __LINE__);
    return 0;
}

int OverrunMode(const std::vector<std::string>&)
{
    char* p = new char[16];
    p[16] = 1;
    delete[] p;
    LabPrint("continued");
    for (int i = 0; i < 100000; ++i)
        delete[] new char[static_cast<size_t>(i % 300)];
    LabPrint(Format("heap valid %d", HeapValidate(LeakHeap(), 0, nullptr) ? 1 : 0));
    return 0;
}

// A handling gives the heap-error messages the texts of its options: the next overrun says
// the text changed before it.
int TextsMode(const std::vector<std::string>&)
{
    TVurazaModuleOptionsEx* options = CurrentDuruvaDodOptions();
    if (!options)
        return 2;
    options->SetDialogKind(0);
    options->SetKeepLogFile(false);
    options->SetMessageText(155, "Overrun seen.");
    Exception handled("handled once");
    RouteException(TRoadException(&handled, &typeid(handled)), reinterpret_cast<uintptr_t>(&TextsMode), true, nullptr,
                   true, RouteModeOrdinary, nullptr, OutputAutomatic, nullptr, nullptr, 0, 0);
    char* p = new char[16];
    p[16] = 1;
    delete[] p;
    LabPrint("continued");
    return 0;
}

int DoubleFreeMode(const std::vector<std::string>&)
{
    // Not polymorphic: a second delete of an object would first call its destructor through a
    // freed virtual table.
    Bar* volatile p = new Bar;  // volatile: the compiler may drop a delete it can prove wrong
    delete p;
    delete p;
    LabPrint("continued");
    for (int i = 0; i < 100000; ++i)
        delete new Foo;
    LabPrint(Format("heap valid %d", HeapValidate(LeakHeap(), 0, nullptr) ? 1 : 0));
    return 0;
}

int HugeMode(const std::vector<std::string>&)
{
    try {
        Keep(operator new(SIZE_MAX - 100));
        LabPrint("no throw");
    } catch (const std::bad_alloc&) {
        LabPrint("bad_alloc");
    }
    volatile size_t huge = SIZE_MAX - 100;
    try {
        Keep(new char[huge]);
        LabPrint("no throw");
    } catch (const std::bad_alloc&) {
        LabPrint("bad_alloc");
    }
    LabPrint(Format("nothrow %s", operator new(SIZE_MAX - 100, std::nothrow) ? "block" : "null"));
    LabPrint(Format("realloc %s", TrackedRealloc(nullptr, SIZE_MAX - 100) ? "block" : "null"));
    LabPrint(Format("heap valid %d", HeapValidate(LeakHeap(), 0, nullptr) ? 1 : 0));
    return 0;
}

int ThreadsMode(const std::vector<std::string>& args)
{
    const int ms = args.empty() ? 5000 : atoi(args[0].c_str());
    std::atomic<bool> stop{false};
    std::atomic<long> kept{0};
    std::vector<std::vector<void*>> keptBlocks(8);
    for (auto& blocks : keptBlocks)
        blocks.reserve(100000);
    std::vector<std::thread> threads;
    threads.reserve(8);
    // The module records of the start-up are made in the background, with blocks of their own.
    WaitForModuleRecords(60000);
    const size_t before = ProgramLeakTracker().LiveCount();
    for (int t = 0; t < 8; ++t) {
        threads.emplace_back([&, t] {
            std::vector<void*>& mine = keptBlocks[static_cast<size_t>(t)];
            unsigned seed = static_cast<unsigned>(t) * 2654435761u;
            while (!stop) {
                seed = seed * 1103515245u + 12345u;
                char* p = new char[seed % 500];
                if (seed % 7 == 0 && mine.size() < 100000) {
                    mine.push_back(p);
                    ++kept;
                } else {
                    delete[] p;
                }
            }
        });
    }
    Sleep(static_cast<DWORD>(ms));
    stop = true;
    for (auto& t : threads)
        t.join();
    const size_t live = ProgramLeakTracker().LiveCount() - before;
    LabPrint(Format("live equals kept %d", live == static_cast<size_t>(kept.load()) ? 1 : 0));
    LabPrint(Format("heap valid %d", HeapValidate(LeakHeap(), 0, nullptr) ? 1 : 0));
    for (auto& blocks : keptBlocks)
        for (void* p : blocks)
            delete[] static_cast<char*>(p);
    return 0;
}

// 2000 live leaks at one site and a thread that allocates and frees without end while the
// report runs: the process must still end. Blocks allocated once the exit steps began are not
// tracked, so from then on the thread also frees one block of a tracked reserve every 50 us:
// tracked frees go on through the report (a 1 s supply, longer where the run is emulated).
int ExitLoadMode(const std::vector<std::string>&)
{
    awaitFreeInReport = true;
    for (int i = 0; i < 2000; ++i)
        Keep(new char[40]), (void)0;
    static std::vector<char*>* reserve = new std::vector<char*>;
    for (int i = 0; i < 20000 * LabTimeScale(); ++i)
        reserve->push_back(new char[24]);
    std::thread([] {
        LARGE_INTEGER frequency, now, last;
        QueryPerformanceFrequency(&frequency);
        QueryPerformanceCounter(&last);
        const LONGLONG pace = frequency.QuadPart / 20000;
        for (size_t next = 0;;) {
            FreeCounted(new char[64]);
            if (next == reserve->size() || ProgramLeakTracker().Tracking())
                continue;
            QueryPerformanceCounter(&now);
            if (now.QuadPart - last.QuadPart >= pace) {
                FreeCounted((*reserve)[next++]);
                last = now;
            }
        }
    }).detach();
    Sleep(5);
    return 0;
}

// The list's head is gone when the exit steps begin, as when another memory manager released
// the blocks: no report and no box (no debugger here); tracking is off all the same and a
// free after the steps only marks its block.
int HeadGoneMode(const std::vector<std::string>&)
{
    Keep(new char[30]), Site("kept", __LINE__);
    lateBlock = new char[20];
    SetLeakExitHook([] { ProgramLeakTracker().ReplaceListHead(reinterpret_cast<TLeakHeader*>(uintptr_t{0x10})); });
    return 0;
}

// The program's own end: its module records freed before the reporter shuts down, which
// makes this module's record again to save the options the report reads.
int ClearedMode(const std::vector<std::string>&)
{
    Keep(new char[55]), Site("kept", __LINE__);
    ClearModuleRecords();
    return 0;
}

const TCrashLabMode leakModes[] = {
    {"layout", "guards around blocks, alignment, live count", LayoutMode},
    {"leaks", "leaks what the argument names (two, bar, string, static, loop, fold, many) and exits", LeaksMode},
    {"optionsfile", "saves options with another leak text to FILE, leaks, exits", OptionsFileMode},
    {"overrun", "writes one byte past a block, frees it, goes on", OverrunMode},
    {"double", "frees one block twice, goes on", DoubleFreeMode},
    {"texts", "one handling with another overrun text, then an overrun", TextsMode},
    {"huge", "asks for sizes that overflow", HugeMode},
    {"threads", "eight threads allocate and free for N ms (5000)", ThreadsMode},
    {"exitload", "2000 leaks and a thread freeing while the report runs", ExitLoadMode},
    {"headgone", "leaks, and the list's head is unreadable when the exit steps begin", HeadGoneMode},
    {"cleared", "leaks, frees the module records as the program does at its end, exits", ClearedMode},
};

}  // namespace

int main(int argc, char** argv)
{
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
    SetLeakMessageBox([](const char* text, const char* caption) { LabPrint(Format("box %s|%s", caption, text)); });
    std::string name = argc > 1 ? argv[1] : "";
    std::vector<std::string> args;
    for (int i = 2; i < argc; ++i)
        args.push_back(argv[i]);
    TVurazaModuleOptionsEx* options = CurrentDuruvaDodOptions();
    if (name == "road" && args.size() >= 2 && options) {
        // Kept by shut-down in the options file the leak report reads back.
        options->SetDialogKind(3);
        options->SetDialogAutoCloseSeconds(1);
        options->SetKeepLogFile(true);
        options->SetLogFilePath(args[0]);
        name = args[1];
        args.erase(args.begin(), args.begin() + 2);
    } else {
        SetLeakRoute(&PrintRoute);
    }
    WatchExitStep();
    for (const TCrashLabMode& mode : leakModes)
        if (name == mode.name)
            return mode.run(args);
    LabPrint("usage: crashlab_leak MODE [ARGS]");
    for (const TCrashLabMode& mode : leakModes)
        LabPrint(Format("  %-10s %s", mode.name, mode.purpose));
    return 2;
}
