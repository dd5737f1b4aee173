// main -> ChainA -> ChainB -> ChainC: the live-stack scenario. ChainA keeps no frame pointer,
// so only the scan, not a frame walk, can find main above it.

#include <windows.h>

#include "tests/crashlab/CrashLab.h"

extern volatile int labSink;
volatile int labSink = 0;

extern "C" CRASHLAB_CALL int ChainC(int depth)
{
    DumpOwnStack();
    return depth + labSink;
}

extern "C" CRASHLAB_CALL int ChainB(int depth)
{
    return ChainC(depth + 1) + labSink;
}

extern "C" __attribute__((noinline, optimize("omit-frame-pointer", "no-optimize-sibling-calls"))) int ChainA(int depth)
{
    return ChainB(depth + 1) + labSink;
}

// Spends stack below the chain so that the items above it are the chain's own.
extern "C" CRASHLAB_CALL int ChainStart()
{
    return ChainA(1) + labSink;
}
