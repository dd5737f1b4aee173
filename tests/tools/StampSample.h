#pragma once
// Code of a header inlined into the sample: its rows name this file.

inline int __attribute__((always_inline)) StampSampleTwice(int v)
{
    return v * 2 + (v > 100 ? 1 : 0);
}
