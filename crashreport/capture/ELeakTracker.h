#pragma once
// The leak tracker's list of live blocks over a block source (the memory manager it wraps).
// While tracking is on, every block gets the header and footer of ELeakHeader.h and is linked
// into one list under a one-byte spin lock; frees check both guards and the state byte. At exit
// the live headers are copied out and from then on frees only mark their block, so the exit
// steps read blocks that stay where they are. No Win32 here: the program's operators and the
// tests each hand in their own source and stack capture.
//
// Every member is plain data with constant initialisation: the program's tracker is in use
// before any constructor runs and is never destroyed.

#include <cstddef>
#include <cstdint>

#include "crashreport/capture/ELeakHeader.h"

struct TLeakBlockSource {
    void* (*allocate)(size_t size) = nullptr;  // nullptr on failure
    void (*release)(void* block) = nullptr;
    void* (*reallocate)(void* block, size_t size) = nullptr;  // nullptr on failure, block kept
};

// Fills the header's two stacks; frame is the frame of the operator the caller called.
using TLeakStackCapture = void (*)(TLeakHeader& header, const void* frame);

enum class TLeakFree : uint8_t {
    Untracked,  // no guard: handed on as it is
    Freed,
    Overrun,    // freed, but the footer's guard was damaged
    MultiFree,  // already freed: nothing was touched
    Marked,     // after the exit copy: only marked freed, the memory stays
};

// A copy of one live block, for the exit steps.
struct TLeakRecord {
    TLeakHeader* header;  // the live block, read only
    uint8_t state;        // lsLive or lsExcluded
    uint8_t kind;         // 1 an object
    uint32_t size;        // as asked for
    uint32_t totalSize;   // of the group, after merging and folding
    uint32_t count;       // blocks in the group
    uintptr_t rawStack[LeakStackDepth];
    uintptr_t frameChain[LeakStackDepth];
    char className[65];  // objects only
};

class TLeakTracker {
public:
    constexpr TLeakTracker() = default;

    // Tracking starts when options carry loTrack.
    void Install(TLeakBlockSource source, TLeakStackCapture capture, uint8_t options);
    bool Installed() const { return installed_; }
    bool Tracking() const { return __atomic_load_n(&tracking_, __ATOMIC_ACQUIRE); }
    uint8_t Options() const { return options_; }

    // nullptr when the size overflows or the source fails. alignment: a power of two.
    void* Allocate(size_t size, size_t alignment, const void* frame);
    TLeakFree Free(void* data, size_t alignment);
    // A C-style buffer: grows or shrinks, keeping the smaller of both sizes; nullptr data
    // allocates. On failure nullptr, and the old block stays.
    void* Reallocate(void* data, size_t size, const void* frame, TLeakFree& error);

    size_t LiveCount();
    bool IsTrackedBlock(const void* data) const;

    // The start of the exit steps: tracking off and from now on frees only mark, whether or
    // not the list can be walked. TakeExitSnapshot does this too.
    void StopTracking();

    // The exit copy: tracking off, the live blocks copied into records from the source (not
    // tracked), the lock released. Later frees only mark. count is 0 when nothing is live or
    // the copy can't be had; *records is then nullptr.
    void TakeExitSnapshot(TLeakRecord** records, size_t& count);
    void ReleaseSnapshot(TLeakRecord* records);
    // Frees every block of the copy that nothing freed in the meantime (loFreeAllAtExit).
    void FreeSnapshotBlocks(TLeakRecord* records, size_t count);
    TLeakHeader* ListHead() const { return head_; }
    // Tests only: a list head another memory manager has released.
    void ReplaceListHead(TLeakHeader* head) { head_ = head; }
    // The list's lock, held by the handling road while it suspends threads: none of them may be
    // left holding it.
    void HoldLock() { Lock(); }
    void ReleaseLock() { Unlock(); }

private:
    void Lock();
    void Unlock() { __atomic_store_n(&lock_, 0, __ATOMIC_RELEASE); }
    void* Register(void* block, size_t size, size_t alignment, const void* frame);
    bool Unlink(TLeakHeader* header);  // false after the exit copy: left linked
    void ReleaseHeaderBlock(TLeakHeader* header);
    void* AllocateUntracked(size_t size, size_t alignment);
    void ReleaseUntracked(void* data, size_t alignment);

    TLeakBlockSource source_{};
    TLeakStackCapture capture_ = nullptr;
    TLeakHeader* head_ = nullptr;
    TLeakHeader* tail_ = nullptr;
    size_t live_ = 0;
    uint8_t lock_ = 0;
    uint8_t options_ = 0;
    bool installed_ = false;
    bool tracking_ = false;
    bool exitCopied_ = false;
};

// The two stacks of a block allocated by the routine whose frame is given: 35 words of stack
// from the routine's return address up, and the return addresses along the saved frame-pointer
// chain. Neither reads at or beyond stackTop.
void CaptureLeakStacks(TLeakHeader& header, const void* frame, uintptr_t stackTop);

// The options byte of an "ELDATA" header: mark, version and the main-header flag. Returns the
// options (0: none); takeMain is set when the header asks for the main program's instead.
uint8_t LeakOptionsFromHeader(const void* header, size_t size, bool& takeMain);
