// The leak tracker's cost: one mixed-size new/delete workload on 1 and 4 threads, through the
// tracking operators (this program is stamped with leak option 0x1, stacks captured), beside
// the runtime's plain allocation (malloc and free, what its operator new does) and our own
// allocator with tracking off over a private heap. Target: tracking within 2x of plain.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <vector>

#include "crashreport/capture/ELeakMemory.h"
#include "tests/bench/BenchHost.h"

namespace {

constexpr int Rounds = 200000;
constexpr int Window = 64;  // blocks each thread keeps live
constexpr int Runs = 9;     // of each allocator, interleaved: a loaded machine slows them alike

HANDLE offHeap = nullptr;
TLeakTracker offTracker;

void* OffAllocate(size_t size)
{
    return HeapAlloc(offHeap, 0, size);
}

void OffRelease(void* block)
{
    HeapFree(offHeap, 0, block);
}

// The same sizes and order for every allocator.
template <typename Allocate, typename Release>
void Workload(Allocate allocate, Release release)
{
    void* live[Window] = {};
    unsigned seed = 12345;
    for (int i = 0; i < Rounds; ++i) {
        seed = seed * 1103515245u + 12345u;
        const int slot = static_cast<int>(seed >> 8) % Window;
        if (live[slot])
            release(live[slot]);
        const size_t size = (seed >> 16) % 4 == 0 ? 16 + (seed % 2000) : 8 + (seed % 120);
        live[slot] = allocate(size);
        static_cast<volatile char*>(live[slot])[0] = 1;
    }
    for (void* p : live)
        if (p)
            release(p);
}

template <typename Run>
double Seconds(int threads, Run run)
{
    LARGE_INTEGER f, a, b;
    QueryPerformanceFrequency(&f);
    QueryPerformanceCounter(&a);
    std::vector<std::thread> pool;
    for (int t = 0; t < threads; ++t)
        pool.emplace_back(run);
    for (auto& t : pool)
        t.join();
    QueryPerformanceCounter(&b);
    return double(b.QuadPart - a.QuadPart) / double(f.QuadPart);
}

void Plain()
{
    Workload([](size_t n) { return malloc(n); }, [](void* p) { free(p); });
}

void OursUntracked()
{
    Workload([](size_t n) { return offTracker.Allocate(n, 8, __builtin_frame_address(0)); },
             [](void* p) { offTracker.Free(p, 8); });
}

void Tracking()
{
    Workload([](size_t n) -> void* { return new char[n]; }, [](void* p) { delete[] static_cast<char*>(p); });
}

double Best(const std::vector<double>& v)
{
    return *std::min_element(v.begin(), v.end());
}

double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

}  // namespace

int main()
{
    PrintBenchHost();
    offHeap = HeapCreate(0, 0, 0);
    offTracker.Install({&OffAllocate, &OffRelease, nullptr}, nullptr, 0);
    std::printf("tracking %s; %d rounds per thread, %d live blocks each; %d runs of each, interleaved\n",
                IsLeakTrackingActive() ? "on" : "OFF (stamp with LeakFlags=1)", Rounds, Window, Runs);
    for (int threads : {1, 4}) {
        std::vector<double> plain, off, tracked;
        for (int run = 0; run < Runs; ++run) {
            plain.push_back(Seconds(threads, Plain));
            off.push_back(Seconds(threads, OursUntracked));
            tracked.push_back(Seconds(threads, Tracking));
        }
        const double plainBest = Best(plain), plainMedian = Median(plain);
        std::printf("%d thread(s), best / median:\n", threads);
        std::printf("  plain (malloc, free)   %6.1f / %6.1f ms\n", plainBest * 1000, plainMedian * 1000);
        std::printf("  ours untracked         %6.1f / %6.1f ms  (%.2fx / %.2fx)\n", Best(off) * 1000,
                    Median(off) * 1000, Best(off) / plainBest, Median(off) / plainMedian);
        std::printf("  tracking               %6.1f / %6.1f ms  (%.2fx / %.2fx, target 2x)\n", Best(tracked) * 1000,
                    Median(tracked) * 1000, Best(tracked) / plainBest, Median(tracked) / plainMedian);
    }
    return 0;
}
