#include "crashreport/capture/EReporterHeap.h"

namespace {

TStackHeap stackHeap{&PlatformReporterAllocate, &PlatformReporterRelease};

}  // namespace

void SetStackHeap(TStackHeap heap)
{
    stackHeap = heap.allocate && heap.release ? heap : TStackHeap{&PlatformReporterAllocate, &PlatformReporterRelease};
}

void* StackHeapAllocate(size_t size)
{
    void* block = stackHeap.allocate(size ? size : 1);
    if (!block)
        throw std::bad_alloc();
    return block;
}

void StackHeapRelease(void* block) noexcept
{
    if (block)
        stackHeap.release(block);
}
