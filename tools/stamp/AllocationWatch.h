#pragma once
// The largest single allocation a piece of code asks for: the readers of stored data must
// never trust a size they read. Linking AllocationWatch.cpp replaces the global operator new
// of the program (with malloc's memory), so only tools and tests link it.

#include <cstddef>

void StartAllocationWatch();
// Stops watching; the largest size asked for since the start.
size_t StopAllocationWatch();

template <class F>
size_t LargestAllocation(F fn)
{
    StartAllocationWatch();
    fn();
    return StopAllocationWatch();
}
