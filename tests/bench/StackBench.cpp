// All stacks of the crash-test program's 20-thread scenario: suspend, copy, resume, then scan,
// beside a bare GetThreadContext plus stack copy per thread. Target: the whole under 30 ms.

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

#include "crashreport/capture/EStackWin.h"
#include "tests/bench/BenchStacks.h"
#include "tests/crashlab/CrashLab.h"
#include "tests/bench/BenchHost.h"

int main()
{
    PrintBenchHost();
    const int threadCount = 20, rounds = 15;
    TParkedThreads threads(threadCount);
    const std::vector<HANDLE>& handles = threads.Handles();
    std::vector<TThreadStackCopy> copies(handles.size());
    std::vector<uint8_t> plain(StackScanLimit);
    std::vector<double> bare, full;
    size_t items = 0;
    for (int round = 0; round < rounds; ++round) {
        // Baseline: only what must happen while the thread is stopped.
        auto start = BenchClock::now();
        BareStackCopies(handles, plain);
        bare.push_back(Milliseconds(start));

        start = BenchClock::now();
        for (size_t i = 0; i < handles.size(); ++i)
            copies[i].Capture(handles[i]);
        TLiveMemoryReader live(true);
        items = 0;
        for (size_t i = 0; i < copies.size(); ++i) {
            TVurazaStackList list;
            ScanCapturedStack(list, copies[i], threads.Ids()[i], 1, false, live);
            items += list.Count();
        }
        full.push_back(Milliseconds(start));
    }
    printf("stacks of %d threads, %d rounds              best   median\n", static_cast<int>(handles.size()), rounds);
    printf("  suspend, copy, resume, scan:      %8.2f %8.2f ms (%u items)\n", Best(full), Median(full),
           static_cast<unsigned>(items));
    printf("  bare GetThreadContext + copy:     %8.2f %8.2f ms\n", Best(bare), Median(bare));
    const bool met = Median(full) < 30;
    printf("  target: under 30 ms: %s\n", met ? "met (median)" : "missed (median)");
    return met ? 0 : 2;
}
