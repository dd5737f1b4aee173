// The reporter's memory on Win32: its private heap, apart from the process and runtime heaps.
#include <windows.h>

#include "crashreport/capture/EReporterHeap.h"
#include "crashreport/capture/EThreadContext.h"

namespace {

// Chosen at first use; a unit set up before the reporter's heap exists gets one of its own.
HANDLE Heap()
{
    static HANDLE heap = ReporterHeap() ? ReporterHeap() : HeapCreate(0, 0, 0);
    return heap;
}

}  // namespace

void* PlatformReporterAllocate(size_t size)
{
    HANDLE heap = Heap();
    return heap ? HeapAlloc(heap, 0, size) : nullptr;
}

void PlatformReporterRelease(void* block)
{
    HeapFree(Heap(), 0, block);
}
