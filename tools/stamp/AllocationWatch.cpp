#include "tools/stamp/AllocationWatch.h"

#include <cstdlib>
#include <new>

// The replacement hands out malloc's memory and its delete frees it.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"

namespace {

bool watching = false;
size_t largest = 0;

}  // namespace

void StartAllocationWatch()
{
    largest = 0;
    watching = true;
}

size_t StopAllocationWatch()
{
    watching = false;
    return largest;
}

void* operator new(size_t size)
{
    if (watching && size > largest)
        largest = size;
    if (void* p = std::malloc(size ? size : 1))
        return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept
{
    std::free(p);
}
void operator delete(void* p, size_t) noexcept
{
    std::free(p);
}
