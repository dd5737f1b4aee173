#pragma once
// Says where a benchmark's figures come from. Under Wine a Windows build may run through the
// i386 emulator (scripts/wine-test.sh then sets VIDUDO_I386_EMULATED=1), which slows the figures
// and their baselines alike.

#include <cstdio>
#include <cstdlib>

inline void PrintBenchHost()
{
#ifdef _WIN32
    const char* emulated = std::getenv("VIDUDO_I386_EMULATED");
    if (emulated && emulated[0] == '1')
        std::printf("host: i386 emulated (qemu user mode under Wine): every figure runs slower than on the hardware\n");
    else
        std::printf("host: i386 native (Wine or Windows)\n");
#else
    std::printf("host: native build\n");
#endif
}
