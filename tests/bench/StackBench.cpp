// All stacks of the crash-test program's 20-thread scenario: suspend, copy, resume, then scan,
// beside a bare GetThreadContext plus stack copy per thread. Target: the whole under 30 ms.

#include <windows.h>

#include <thread>  // clocks and durations; <chrono> itself has a literal CP936 lacks
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

#include "crashreport/capture/EStackWin.h"
#include "tests/crashlab/CrashLab.h"

namespace {

using Clock = std::chrono::steady_clock;

double Milliseconds(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

}  // namespace

int main()
{
    const int threadCount = 20, rounds = 15;
    TParkedThreads threads(threadCount);
    const std::vector<HANDLE>& handles = threads.Handles();
    std::vector<TThreadStackCopy> copies(handles.size());
    std::vector<uint8_t> plain(StackScanLimit);
    std::vector<double> bare, full;
    size_t items = 0;
    for (int round = 0; round < rounds; ++round) {
        // Baseline: only what must happen while the thread is stopped.
        auto start = Clock::now();
        for (HANDLE h : handles) {
            SuspendThread(h);
            CONTEXT context{};
            context.ContextFlags = CONTEXT_FULL;
            GetThreadContext(h, &context);
            MEMORY_BASIC_INFORMATION info{};
            VirtualQuery(reinterpret_cast<void*>(context.Esp), &info, sizeof info);
            const size_t size = std::min<size_t>(reinterpret_cast<uintptr_t>(info.BaseAddress) + info.RegionSize -
                                                     context.Esp, plain.size());
            memcpy(plain.data(), reinterpret_cast<void*>(context.Esp), size);
            ResumeThread(h);
        }
        bare.push_back(Milliseconds(start));

        start = Clock::now();
        for (size_t i = 0; i < handles.size(); ++i)
            copies[i].Capture(handles[i]);
        TLiveMemoryReader live;
        items = 0;
        for (size_t i = 0; i < copies.size(); ++i) {
            TVurazaStackList list;
            ScanCapturedStack(list, copies[i], threads.Ids()[i], 1, false, live);
            items += list.Count();
        }
        full.push_back(Milliseconds(start));
    }
    printf("stacks of %d threads, median of %d rounds\n", static_cast<int>(handles.size()), rounds);
    printf("  suspend, copy, resume, scan: %8.2f ms (%u items)\n", Median(full), static_cast<unsigned>(items));
    printf("  bare GetThreadContext + copy: %7.2f ms\n", Median(bare));
    printf("  target: under 30 ms\n");
    return 0;
}
