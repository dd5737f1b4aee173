// Every form of the global operator new and delete, over the leak tracker. Linked into the
// program as an object: from an archive, the runtime's own operators could be taken instead.
// Each passes its own frame, so a block's stacks start at the code that asked for it.
#include <new>

#include "crashreport/capture/ELeakMemory.h"

#define LEAK_OPERATOR __attribute__((noinline))

namespace {

[[noreturn]] void OutOfMemory()
{
    throw std::bad_alloc();
}

}  // namespace

LEAK_OPERATOR void* operator new(size_t size)
{
    void* p = LeakAllocate(size, 8, __builtin_frame_address(0));
    if (!p)
        OutOfMemory();
    return p;
}

LEAK_OPERATOR void* operator new[](size_t size)
{
    void* p = LeakAllocate(size, 8, __builtin_frame_address(0));
    if (!p)
        OutOfMemory();
    return p;
}

LEAK_OPERATOR void* operator new(size_t size, const std::nothrow_t&) noexcept
{
    return LeakAllocate(size, 8, __builtin_frame_address(0));
}

LEAK_OPERATOR void* operator new[](size_t size, const std::nothrow_t&) noexcept
{
    return LeakAllocate(size, 8, __builtin_frame_address(0));
}

LEAK_OPERATOR void* operator new(size_t size, std::align_val_t alignment)
{
    void* p = LeakAllocate(size, static_cast<size_t>(alignment), __builtin_frame_address(0));
    if (!p)
        OutOfMemory();
    return p;
}

LEAK_OPERATOR void* operator new[](size_t size, std::align_val_t alignment)
{
    void* p = LeakAllocate(size, static_cast<size_t>(alignment), __builtin_frame_address(0));
    if (!p)
        OutOfMemory();
    return p;
}

LEAK_OPERATOR void* operator new(size_t size, std::align_val_t alignment, const std::nothrow_t&) noexcept
{
    return LeakAllocate(size, static_cast<size_t>(alignment), __builtin_frame_address(0));
}

LEAK_OPERATOR void* operator new[](size_t size, std::align_val_t alignment, const std::nothrow_t&) noexcept
{
    return LeakAllocate(size, static_cast<size_t>(alignment), __builtin_frame_address(0));
}

void operator delete(void* p) noexcept
{
    LeakFree(p, 8);
}

void operator delete[](void* p) noexcept
{
    LeakFree(p, 8);
}

void operator delete(void* p, size_t) noexcept
{
    LeakFree(p, 8);
}

void operator delete[](void* p, size_t) noexcept
{
    LeakFree(p, 8);
}

void operator delete(void* p, const std::nothrow_t&) noexcept
{
    LeakFree(p, 8);
}

void operator delete[](void* p, const std::nothrow_t&) noexcept
{
    LeakFree(p, 8);
}

void operator delete(void* p, std::align_val_t alignment) noexcept
{
    LeakFree(p, static_cast<size_t>(alignment));
}

void operator delete[](void* p, std::align_val_t alignment) noexcept
{
    LeakFree(p, static_cast<size_t>(alignment));
}

void operator delete(void* p, size_t, std::align_val_t alignment) noexcept
{
    LeakFree(p, static_cast<size_t>(alignment));
}

void operator delete[](void* p, size_t, std::align_val_t alignment) noexcept
{
    LeakFree(p, static_cast<size_t>(alignment));
}

void operator delete(void* p, std::align_val_t alignment, const std::nothrow_t&) noexcept
{
    LeakFree(p, static_cast<size_t>(alignment));
}

void operator delete[](void* p, std::align_val_t alignment, const std::nothrow_t&) noexcept
{
    LeakFree(p, static_cast<size_t>(alignment));
}
