// A whole report of the crash-test program's 20-thread scenario, phase by phase: the stacks,
// the module and process lists, the system facts, and the text with its listing, beside the
// bare stack copy of every thread. Target: the whole report under 100 ms.

#include <windows.h>

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

int main()
{
    const int threadCount = 20, rounds = 9;
    InstallAddressLookup();
    TParkedThreads threads(threadCount);
    const std::vector<HANDLE>& handles = threads.Handles();
    std::vector<TThreadStackCopy> copies(handles.size());
    std::vector<uint8_t> plain(StackScanLimit);
    TVurazaModuleOptions options(ModuleFileNameOf(nullptr));
    std::vector<double> bare, stacks, lists, facts, text, whole;
    size_t reportSize = 0;
    for (int round = 0; round < rounds; ++round) {
        auto start = BenchClock::now();
        BareStackCopies(handles, plain);
        bare.push_back(Milliseconds(start));

        start = BenchClock::now();
        TVurazaStackList list;
        for (size_t i = 0; i < handles.size(); ++i) copies[i].Capture(handles[i]);
        TLiveMemoryReader live;
        for (size_t i = 0; i < copies.size(); ++i) ScanCapturedStack(list, copies[i], threads.Ids()[i], 1, true, live);
        stacks.push_back(Milliseconds(start));

        start = BenchClock::now();
        RefreshModuleList();
        RefreshProcessList();
        lists.push_back(Milliseconds(start));

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
        whole.push_back(stacks.back() + lists.back() + text.back());
    }
    printf("report of %d threads, median of %d rounds (%u bytes)\n", threadCount, rounds,
           static_cast<unsigned>(reportSize));
    printf("  stacks (suspend, copy, resume, scan, look up): %8.2f ms\n", Median(stacks));
    printf("  module and process lists:                    %8.2f ms\n", Median(lists));
    printf("  system facts alone (part of the text):       %8.2f ms\n", Median(facts));
    printf("  report text (facts, tables, listing, CPU):   %8.2f ms\n", Median(text));
    printf("  whole report (stacks, lists, text):          %8.2f ms\n", Median(whole));
    printf("  baseline, bare GetThreadContext + copy:      %8.2f ms\n", Median(bare));
    printf("  target: whole report under 100 ms\n");
    return 0;
}
