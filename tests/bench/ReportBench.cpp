// A whole report of the crash-test program's 20-thread scenario along the real road, phase by
// phase. Each run is a child process (this program with "fault"): it parks the 20 threads,
// measures the baselines, then writes to address 0. The reporter's filter routes the fault to
// its handling thread, which builds LastReportText as for any crash; a sampler thread notes when
// the handling reaches each step. A crash is the first report of its process, so every run is
// one: the module records and debug data the report needs are made as they would be then.
// Beside it, measured in the same child: the bare stack copy of every thread, and the process
// list made the plain way (a module snapshot of each process for its path, its version read).
// Target: the whole report, fault to LastReportText, under 100 ms, judged by the runs without
// the sampler ("fault alone").

#include <windows.h>
#include <tlhelp32.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "crashreport/capture/EEvents.h"
#include "crashreport/capture/EModules.h"
#include "crashreport/capture/ERoad.h"
#include "crashreport/capture/ERoadSteps.h"
#include "crashreport/capture/EStack.h"
#include "crashreport/capture/EUtilsWin.h"
#include "tests/bench/BenchStacks.h"
#include "tests/crashlab/CrashLab.h"
#include "framework/CodePage.h"
#include "framework/Exception.h"
#include "tests/bench/BenchHost.h"

namespace {

const int threadCount = 20;

// The steps that end each phase, in the order the handling passes them.
struct TPhase {
    long endStep;
    const char* name;
};
const TPhase phases[] = {
    {1, "routing to the handling thread"},
    {4, "thread snapshot, module records, options"},
    {5, "stacks: faulting thread and 20 others"},
    {6, "threads kept still"},
    {7, "module list"},
    {7021, "process list"},
    {702200, "system facts"},
    {702233, "the exception's facts"},
    {7040, "thread rows of the call stack"},
    {703, "tables, listing, CPU, the text"},
};
const size_t phaseCount = sizeof phases / sizeof phases[0];

// The plain way: each process's path from a module snapshot of it, each version read anew.
size_t PlainProcessList()
{
    HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snap == INVALID_HANDLE_VALUE) return 0;
    size_t count = 0;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL ok = Process32FirstW(snap, &entry); ok; ok = Process32NextW(snap, &entry), ++count) {
        std::string path = WideToGbk(entry.szExeFile);
        HANDLE modules = CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, entry.th32ProcessID);
        if (modules != INVALID_HANDLE_VALUE) {
            MODULEENTRY32W module{};
            module.dwSize = sizeof module;
            for (BOOL more = Module32FirstW(modules, &module); more; more = Module32NextW(modules, &module))
                if (lstrcmpiW(module.szModule, entry.szExeFile) == 0) {
                    path = WideToGbk(module.szExePath);
                    break;
                }
            CloseHandle(modules);
        }
        ReadVersionInfo(path);
    }
    CloseHandle(snap);
    return count;
}

// ---- The child: one fault, one report.

struct TStepSeen {
    long step;
    LARGE_INTEGER at;
};
TStepSeen seen[512];
volatile LONG seenCount = 0;
volatile bool stopSampling = false;
LARGE_INTEGER faultAt, notifiedAt;
double bareMs = 0, plainMs = 0;

double Between(LARGE_INTEGER from, LARGE_INTEGER to)
{
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(to.QuadPart - from.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
}

// Spins on HandlingStep and notes each change with its time. It runs outside the reporter's
// thread list (started through kernel32's own CreateThread, not the hooked import), so the
// report is of the scenario alone and nothing suspends the sampler.
DWORD WINAPI SampleSteps(void*)
{
    long last = HandlingStep;
    while (!stopSampling) {
        const long now = HandlingStep;
        if (now == last) {
            YieldProcessor();
            continue;
        }
        last = now;
        if (seenCount < static_cast<LONG>(sizeof seen / sizeof seen[0])) {
            QueryPerformanceCounter(&seen[seenCount].at);
            seen[seenCount].step = now;
            seenCount = seenCount + 1;
        }
    }
    return 0;
}

HANDLE sampler = nullptr;

// Every step the handling sets up to the text, in the order it passes them, and the few after
// it up to the notification.
const long roadSteps[] = {1,   101,  102,  103,    2,      201,  3,    4,   5,   6,  7,
                          702, 7021, 7022, 702200, 702233, 7027, 7040, 703, 704, 705, 706};
const size_t roadStepCount = sizeof roadSteps / sizeof roadSteps[0];

// A phase ends when its end step was first seen. A step passed between two looks of the
// sampler takes the time of the next step seen after it: what ran between counts in the
// phase that follows, nothing is lost from the whole.
void PrintPhases(const TVurazaExceptionRecord& record)
{
    LARGE_INTEGER at[roadStepCount] = {};
    bool found[roadStepCount] = {};
    for (size_t k = 0; k < roadStepCount; ++k)
        for (LONG i = 0; i < seenCount; ++i)
            if (seen[i].step == roadSteps[k]) {
                at[k] = seen[i].at;
                found[k] = true;
                break;
            }
    for (size_t k = roadStepCount; k-- > 0;)
        if (!found[k]) at[k] = k + 1 < roadStepCount ? at[k + 1] : notifiedAt;
    LARGE_INTEGER ends[phaseCount] = {};
    std::string unseen;  // of the phases' end steps
    for (size_t p = 0; p < phaseCount; ++p)
        for (size_t k = 0; k < roadStepCount; ++k)
            if (roadSteps[k] == phases[p].endStep) {
                ends[p] = at[k];
                if (!found[k]) unseen += " " + std::to_string(roadSteps[k]);
            }
    LARGE_INTEGER from = faultAt;
    for (size_t p = 0; p < phaseCount; ++p) {
        LabPrint(Format("phase %u %.3f", static_cast<unsigned>(p), Between(from, ends[p])));
        from = ends[p];
    }
    LabPrint(Format("whole %.3f", Between(faultAt, ends[phaseCount - 1])));
    LabPrint(Format("bare %.3f", bareMs));
    LabPrint(Format("plain %.3f", plainMs));
    std::vector<uint32_t> threads;
    if (record.CallStack)
        for (size_t i = 0; i < record.CallStack->Count(); ++i) {
            const uint32_t id = record.CallStack->GetItem(i)->ThreadId;
            if (std::find(threads.begin(), threads.end(), id) == threads.end()) threads.push_back(id);
        }
    LabPrint(Format("report %u %u", static_cast<unsigned>(LastReportText.size()),
                    static_cast<unsigned>(threads.size())));
    if (!unseen.empty()) LabPrint("unseen" + unseen);
}

// Told on the faulting thread once the text is made (after step 703). Without the sampler
// only the whole is known, up to here.
void WhenNotified(void*, TVurazaExceptionRecord& record, bool&)
{
    QueryPerformanceCounter(&notifiedAt);
    if (!sampler) {
        LabPrint(Format("alone %.3f", Between(faultAt, notifiedAt)));
        return;
    }
    stopSampling = true;
    WaitForSingleObject(sampler, 5000);
    PrintPhases(record);
}

CRASHLAB_CALL void FaultNow()
{
    QueryPerformanceCounter(&faultAt);
    *static_cast<volatile int*>(nullptr) = 1;
}

int FaultRun(bool sampled)
{
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
    InstallLabResolver();
    if (!IsReporterStarted()) {
        LabPrint("the reporter is not started");
        return 1;
    }
    TParkedThreads threads(threadCount);
    std::vector<uint8_t> plain(StackScanLimit);
    std::vector<double> bare;
    for (int i = 0; i < 5; ++i) {
        const auto start = BenchClock::now();
        BareStackCopies(threads.Handles(), plain);
        bare.push_back(Milliseconds(start));
    }
    bareMs = Median(bare);
    const auto start = BenchClock::now();
    PlainProcessList();
    plainMs = Milliseconds(start);

    static TDuruvaDodHandlers handlers;
    handlers.ExceptionNotify = WhenNotified;
    RegisterDuruvaDodHandlers(&handlers);
    using TCreate = decltype(&CreateThread);
    auto create = reinterpret_cast<TCreate>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "CreateThread")));
    if (sampled) sampler = create(nullptr, 0, SampleSteps, nullptr, 0, nullptr);
    Sleep(20);
    FaultNow();
    return 0;
}

// ---- The parent: runs the children, prints each phase's best and median.

struct TRun {
    double phase[phaseCount] = {};
    double whole = 0, bare = 0, plain = 0, alone = 0;
    unsigned bytes = 0, threads = 0;
    std::string unseen;
};

bool RunChild(const std::wstring& program, bool sampled, TRun& run, DWORD& exitCode)
{
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0)) return false;
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = writeEnd;
    startup.hStdError = writeEnd;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    std::wstring commandLine = L"\"" + program + (sampled ? L"\" fault" : L"\" fault alone");
    PROCESS_INFORMATION process{};
    const bool started = CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr,
                                        nullptr, &startup, &process);
    CloseHandle(writeEnd);
    std::string output;
    if (started) {
        char buffer[4096];
        DWORD got = 0;
        while (ReadFile(readEnd, buffer, sizeof buffer, &got, nullptr) && got > 0) output.append(buffer, got);
        WaitForSingleObject(process.hProcess, 30000);
        GetExitCodeProcess(process.hProcess, &exitCode);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
    CloseHandle(readEnd);
    bool whole = false;
    size_t at = 0;
    while (at < output.size()) {
        size_t end = output.find('\n', at);
        if (end == std::string::npos) end = output.size();
        const std::string line = output.substr(at, end - at);
        at = end + 1;
        unsigned index = 0;
        double ms = 0;
        if (sscanf(line.c_str(), "phase %u %lf", &index, &ms) == 2 && index < phaseCount)
            run.phase[index] = ms;
        else if (sscanf(line.c_str(), "whole %lf", &run.whole) == 1 || sscanf(line.c_str(), "alone %lf", &run.alone) == 1)
            whole = true;
        else if (sscanf(line.c_str(), "bare %lf", &run.bare) == 1 || sscanf(line.c_str(), "plain %lf", &run.plain) == 1)
            ;
        else if (sscanf(line.c_str(), "report %u %u", &run.bytes, &run.threads) == 2)
            ;
        else if (line.rfind("unseen", 0) == 0)
            run.unseen = line.substr(6);
        else if (!line.empty())
            printf("  child: %s\n", line.c_str());
    }
    return whole;
}

int Launch(int runs)
{
    wchar_t path[MAX_PATH];
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    // Each sampled run is followed by one without the sampler: its spinning takes a processor
    // from the report, so the whole of those, fault to the notification just after the text,
    // decides.
    std::vector<TRun> done;
    std::vector<double> alone;
    for (int i = 0; i < runs; ++i)
        for (bool sampled : {true, false}) {
            TRun run;
            DWORD code = 0;
            if (!RunChild(path, sampled, run, code)) {
                printf("run %d gave no figures (exit code %08lX)\n", i + 1, static_cast<unsigned long>(code));
                continue;
            }
            if (code != EXCEPTION_ACCESS_VIOLATION)
                printf("run %d ended with %08lX, not the access violation\n", i + 1, static_cast<unsigned long>(code));
            if (!sampled) {
                printf("run %d without the sampler: %7.2f ms\n", i + 1, run.alone);
                alone.push_back(run.alone);
                continue;
            }
            printf("run %d: whole %7.2f ms (%u bytes, stacks of %u threads; end steps passed unseen:%s)\n", i + 1,
                   run.whole, run.bytes, run.threads, run.unseen.empty() ? " none" : run.unseen.c_str());
            done.push_back(run);
        }
    if (done.empty() || alone.empty()) return 1;
    auto column = [&](auto field) {
        std::vector<double> v;
        for (const TRun& run : done) v.push_back(field(run));
        return v;
    };
    printf("report of the %d-thread scenario along the road, fault to LastReportText, %u + %u runs (one report each)\n",
           threadCount, static_cast<unsigned>(done.size()), static_cast<unsigned>(alone.size()));
    printf("  %-44s %8s %8s\n", "phase", "best", "median");
    for (size_t p = 0; p < phaseCount; ++p) {
        const std::vector<double> v = column([p](const TRun& r) { return r.phase[p]; });
        printf("  %-44s %8.2f %8.2f ms\n", phases[p].name, Best(v), Median(v));
    }
    const std::vector<double> whole = column([](const TRun& r) { return r.whole; });
    printf("  %-44s %8.2f %8.2f ms\n", "whole report", Best(whole), Median(whole));
    printf("  %-44s %8.2f %8.2f ms\n", "whole, without the sampler (to notification)", Best(alone), Median(alone));
    const std::vector<double> bare = column([](const TRun& r) { return r.bare; });
    const std::vector<double> plain = column([](const TRun& r) { return r.plain; });
    printf("  %-44s %8.2f %8.2f ms\n", "baseline, bare GetThreadContext + copy", Best(bare), Median(bare));
    printf("  %-44s %8.2f %8.2f ms\n", "baseline, plain process list", Best(plain), Median(plain));
    const bool met = Median(alone) < 100;
    printf("  target: whole report under 100 ms: %s\n", met ? "met (median without the sampler)"
                                                               : "missed (median without the sampler)");
    return met ? 0 : 2;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc > 1 && strcmp(argv[1], "fault") == 0) return FaultRun(argc < 3 || strcmp(argv[2], "alone") != 0);
    PrintBenchHost();
    return Launch(argc > 1 ? std::max(1, atoi(argv[1])) : 7);
}
