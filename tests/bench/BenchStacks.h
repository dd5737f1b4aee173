#pragma once
// What the stack and report benchmarks share: the clock, the best and the median, and the
// baseline of a bare context and stack copy of every thread.

#include <windows.h>

#include <thread>  // clocks and durations; <chrono> itself has a literal CP936 lacks
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

using BenchClock = std::chrono::steady_clock;

inline double Milliseconds(BenchClock::time_point start)
{
    return std::chrono::duration<double, std::milli>(BenchClock::now() - start).count();
}

inline double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

inline double Best(const std::vector<double>& v)
{
    return *std::min_element(v.begin(), v.end());
}

// Only what must happen while a thread is stopped: its context and its stack copied.
inline void BareStackCopies(const std::vector<HANDLE>& handles, std::vector<uint8_t>& buffer)
{
    for (HANDLE h : handles) {
        SuspendThread(h);
        CONTEXT context{};
        context.ContextFlags = CONTEXT_FULL;
        GetThreadContext(h, &context);
        MEMORY_BASIC_INFORMATION info{};
        VirtualQuery(reinterpret_cast<void*>(context.Esp), &info, sizeof info);
        const size_t size = std::min<size_t>(
            reinterpret_cast<uintptr_t>(info.BaseAddress) + info.RegionSize - context.Esp, buffer.size());
        memcpy(buffer.data(), reinterpret_cast<void*>(context.Esp), size);
        ResumeThread(h);
    }
}
