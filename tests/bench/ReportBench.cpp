// A whole report of the crash-test program's 20-thread scenario, phase by phase: the stacks,
// the module and process lists, the system facts, and the text with its listing. Beside it,
// measured in the same run: the bare stack copy of every thread, and the process list made
// the plain way (a module snapshot of each process for its path, its version read anew).
// Target: the whole report under 100 ms.

#include <windows.h>
#include <tlhelp32.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

#include "crashreport/capture/EAddressLookup.h"
#include "crashreport/capture/EModules.h"
#include "crashreport/capture/EOptions.h"
#include "crashreport/capture/EProcesses.h"
#include "crashreport/capture/EReportBuildWin.h"
#include "crashreport/capture/EReportFactsWin.h"
#include "crashreport/capture/EStackWin.h"
#include "crashreport/capture/EUtilsWin.h"
#include "tests/bench/BenchStacks.h"
#include "tests/crashlab/CrashLab.h"
#include "framework/CodePage.h"

namespace {

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

}  // namespace

int main()
{
    const int threadCount = 20, rounds = 9;
    // As the reporter's start-up leaves it: the program's record made, the lookup installed
    // (which readies the record's debug data). Other modules get theirs at the first report.
    FindModuleRecord(reinterpret_cast<uintptr_t>(GetModuleHandleW(nullptr)));
    InstallAddressLookup();
    TParkedThreads threads(threadCount);
    const std::vector<HANDLE>& handles = threads.Handles();
    std::vector<TThreadStackCopy> copies(handles.size());
    std::vector<uint8_t> plain(StackScanLimit);
    TVurazaModuleOptions options(ModuleFileNameOf(nullptr));
    std::vector<double> bare, plainList, stacks, moduleList, processList, facts, text, whole;
    size_t reportSize = 0, plainCount = 0;
    for (int round = 0; round < rounds; ++round) {
        auto start = BenchClock::now();
        BareStackCopies(handles, plain);
        bare.push_back(Milliseconds(start));

        start = BenchClock::now();
        plainCount = PlainProcessList();
        plainList.push_back(Milliseconds(start));

        start = BenchClock::now();
        TVurazaStackList list;
        for (size_t i = 0; i < handles.size(); ++i) copies[i].Capture(handles[i]);
        TLiveMemoryReader live(true);
        for (size_t i = 0; i < copies.size(); ++i) ScanCapturedStack(list, copies[i], threads.Ids()[i], 1, true, live);
        stacks.push_back(Milliseconds(start));

        start = BenchClock::now();
        RefreshModuleList();
        moduleList.push_back(Milliseconds(start));
        start = BenchClock::now();
        RefreshProcessList();
        processList.push_back(Milliseconds(start));

        start = BenchClock::now();
        TReportGeneralFacts general;
        GatherSystemFacts(general);
        facts.push_back(Milliseconds(start));

        // The first thread stands in for the faulting one, its Eip for the fault.
        start = BenchClock::now();
        TReportRequest request;
        request.ExceptionClass = "EAccessViolation";
        request.ExceptionMessage = "Access violation";
        request.ExceptionAddress = copies[0].Context().Eip;
        request.ThreadId = threads.Ids()[0];
        request.Context = &copies[0].Context();
        request.StackList = &list;
        reportSize = BuildReportText(request, options).LastReportText.size();
        text.push_back(Milliseconds(start));
        whole.push_back(stacks.back() + moduleList.back() + processList.back() + text.back());
    }
    printf("report of %d threads, median of %d rounds (%u bytes)\n", threadCount, rounds,
           static_cast<unsigned>(reportSize));
    printf("  stacks (suspend, copy, resume, scan, look up): %8.2f ms   first round %8.2f ms\n", Median(stacks),
           stacks.front());
    printf("  module list:                                 %8.2f ms   first round %8.2f ms\n", Median(moduleList),
           moduleList.front());
    printf("  process list (%2u processes):                 %8.2f ms   first round %8.2f ms\n",
           static_cast<unsigned>(ProcessesList().Count()), Median(processList), processList.front());
    printf("  system facts alone (part of the text):       %8.2f ms\n", Median(facts));
    printf("  report text (facts, tables, listing, CPU):   %8.2f ms   first round %8.2f ms\n", Median(text),
           text.front());
    printf("  whole report (stacks, lists, text):          %8.2f ms   first round %8.2f ms\n", Median(whole),
           whole.front());
    printf("  baseline, bare GetThreadContext + copy:      %8.2f ms\n", Median(bare));
    printf("  baseline, plain process list (%2u processes): %8.2f ms\n", static_cast<unsigned>(plainCount),
           Median(plainList));
    printf("  target: whole report under 100 ms (the first round also makes the other modules' records)\n");
    return 0;
}
