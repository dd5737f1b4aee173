#pragma once
// The header and footer the leak tracker puts around every block it hands out while tracking
// is on. The caller's data starts right behind the header, whose last word is the guard; the
// footer's first word, right behind the data, is the guard again. On the 32-bit program the
// header is 304 bytes; a 64-bit host build of the same code has wider links and stacks.

#include <cstddef>
#include <cstdint>

constexpr uint32_t LeakGuard = 0x100FAB10;
constexpr size_t LeakStackDepth = 35;

enum TLeakOption : uint8_t {
    loTrack = 0x1,
    loFoldChildren = 0x2,
    loPurgeKnown = 0x4,
    loFreeAllAtExit = 0x8,
    loHeapErrors = 0x10,
};

enum TLeakBlockState : uint8_t { lsLive = 0, lsFreed = 1, lsExcluded = 2 };

#pragma pack(push, 1)
struct TLeakHeader {
    TLeakHeader* previous;
    TLeakHeader* next;
    uint8_t state;
    uint8_t kind;  // 1 an object, 0 other data (decided at report time here)
    uint32_t size;
    uintptr_t rawStack[LeakStackDepth];
    uintptr_t frameChain[LeakStackDepth];
    // Zero, except for blocks aligned above 8: then the distance from the heap block to the header.
    uint8_t spare[6];
    uint32_t guard;
};
#pragma pack(pop)

constexpr size_t LeakHeaderSize = sizeof(TLeakHeader);
constexpr size_t LeakFooterSize = 8;
constexpr size_t LeakOverhead = LeakHeaderSize + LeakFooterSize;
static_assert(LeakHeaderSize % 8 == 0, "the data behind the header must keep the heap's alignment");
static_assert(LeakFooterSize % 8 == 0 && LeakOverhead % 8 == 0, "");
static_assert(sizeof(void*) != 4 || LeakHeaderSize == 304, "");
static_assert(offsetof(TLeakHeader, guard) == LeakHeaderSize - 4, "the guard sits right before the data");

inline void* LeakDataOf(TLeakHeader* header)
{
    return reinterpret_cast<uint8_t*>(header) + LeakHeaderSize;
}

inline TLeakHeader* LeakHeaderOf(void* data)
{
    return reinterpret_cast<TLeakHeader*>(static_cast<uint8_t*>(data) - LeakHeaderSize);
}

// What a heap block must hold for size bytes of data and alignment (8 or less: none extra).
// False when the sum doesn't fit in size_t: such a request must fail before anything is written.
inline bool LeakBlockSize(size_t size, size_t alignment, size_t& total)
{
    const size_t extra = LeakOverhead + (alignment > 8 ? alignment : 0);
    if (size > SIZE_MAX - extra || size > UINT32_MAX)
        return false;
    total = size + extra;
    return true;
}
