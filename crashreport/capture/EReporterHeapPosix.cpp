// The reporter's memory in a native build: malloc, watched by the sanitizers.
#include <cstdlib>

#include "crashreport/capture/EReporterHeap.h"

void* PlatformReporterAllocate(size_t size)
{
    return malloc(size);
}

void PlatformReporterRelease(void* block)
{
    free(block);
}
