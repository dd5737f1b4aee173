// Instructions per second over the code of Wine's DLLs: TDisAsm (text included) beside
// Capstone (text included, no operand details), the same bytes, the same run.
// Build without sanitizers: cmake -S . -B build/bench -DVIDUDO_SANITIZE=OFF && ninja -C build/bench disasm_bench
#include <capstone/capstone.h>

#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "crashreport/capture/EDisAsm.h"
#include "tests/crashreport/capture/DisAsmReference.h"
#include "tests/bench/BenchHost.h"

namespace {

double Seconds()
{
    timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return t.tv_sec + t.tv_nsec / 1e9;
}

}  // namespace

int main()
{
    PrintBenchHost();
    std::vector<TCodeRange> ranges;
    for (const char* dll : {"ntdll.dll", "kernelbase.dll", "msvcrt.dll", "user32.dll"}) {
        uint32_t base = 0;
        if (!ExportRanges(std::string("/usr/lib/i386-linux-gnu/wine/i386-windows/") + dll, ranges, base)) {
            fprintf(stderr, "cannot read %s\n", dll);
            return 1;
        }
    }
    size_t bytes = 0;
    for (const TCodeRange& r : ranges)
        bytes += r.bytes.size();
    printf("code: %zu procedures, %zu bytes\n", ranges.size(), bytes);

    const int rounds = 5;
    TDisAsm d;
    std::string text;
    size_t ours = 0, sink = 0;
    double t0 = Seconds();
    for (int round = 0; round < rounds; ++round)
        for (const TCodeRange& r : ranges)
            for (size_t at = 0; at < r.bytes.size(); ++ours) {
                at += d.DisassembleInstruction(&r.bytes[at], r.bytes.size() - at, r.address + at, text);
                sink += text.size();
            }
    double oursTime = Seconds() - t0;

    csh h = 0;
    cs_open(CS_ARCH_X86, CS_MODE_32, &h);
    cs_insn* insn = cs_malloc(h);
    size_t theirs = 0;
    t0 = Seconds();
    for (int round = 0; round < rounds; ++round)
        for (const TCodeRange& r : ranges) {
            const uint8_t* p = r.bytes.data();
            size_t left = r.bytes.size();
            uint64_t address = r.address;
            while (left > 0) {
                ++theirs;
                if (cs_disasm_iter(h, &p, &left, &address, insn)) {
                    sink += strlen(insn->op_str);
                } else {
                    ++p, --left, ++address;  // skip an undecodable byte, as we do
                }
            }
        }
    double theirTime = Seconds() - t0;
    cs_free(insn, 1);
    cs_close(&h);

    double a = ours / oursTime, b = theirs / theirTime;
    printf("TDisAsm   %10.0f instructions/s  (%zu in %.3f s)\n", a, ours, oursTime);
    printf("Capstone  %10.0f instructions/s  (%zu in %.3f s)  baseline\n", b, theirs, theirTime);
    printf("ratio     %.2f x Capstone  [%zu]\n", a / b, sink % 10);
    return a >= b ? 0 : 2;
}
