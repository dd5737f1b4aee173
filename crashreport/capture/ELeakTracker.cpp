#include "crashreport/capture/ELeakTracker.h"

#include <cstring>
#include <thread>

namespace {

uintptr_t AlignUp(uintptr_t value, size_t alignment)
{
    return (value + alignment - 1) & ~static_cast<uintptr_t>(alignment - 1);
}

uint32_t HeaderDistance(const TLeakHeader& header)
{
    uint32_t distance;
    memcpy(&distance, header.spare, 4);
    return distance;
}

uint32_t FooterGuard(TLeakHeader& header)
{
    uint32_t guard;
    memcpy(&guard, static_cast<uint8_t*>(LeakDataOf(&header)) + header.size, 4);
    return guard;
}

bool MarkFreed(TLeakHeader& header)
{
    uint8_t expected = lsLive;
    return __atomic_compare_exchange_n(&header.state, &expected, static_cast<uint8_t>(lsFreed), false,
                                       __ATOMIC_ACQ_REL, __ATOMIC_ACQUIRE);
}

}  // namespace

void TLeakTracker::Install(TLeakBlockSource source, TLeakStackCapture capture, uint8_t options)
{
    source_ = source;
    capture_ = capture;
    options_ = options;
    head_ = tail_ = nullptr;
    live_ = 0;
    lock_ = 0;
    exitCopied_ = false;
    installed_ = true;
    __atomic_store_n(&tracking_, (options & loTrack) != 0, __ATOMIC_RELEASE);
}

void TLeakTracker::Lock()
{
    // A holder only links or unlinks one header: a short spin first, then the yield and the
    // 10 ms sleeps that let a descheduled holder run.
    for (int i = 0; i < 64; ++i) {
        if (__atomic_exchange_n(&lock_, 1, __ATOMIC_ACQUIRE) == 0)
            return;
        __builtin_ia32_pause();
    }
    for (bool first = true;; first = false) {
        if (__atomic_exchange_n(&lock_, 1, __ATOMIC_ACQUIRE) == 0)
            return;
        if (first)
            std::this_thread::yield();
        else
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

void* TLeakTracker::AllocateUntracked(size_t size, size_t alignment)
{
    if (alignment <= 8)
        return source_.allocate(size ? size : 1);
    if (size > SIZE_MAX - alignment - 8)
        return nullptr;
    uint8_t* block = static_cast<uint8_t*>(source_.allocate(size + alignment + 8));
    if (!block)
        return nullptr;
    uint8_t* data = reinterpret_cast<uint8_t*>(AlignUp(reinterpret_cast<uintptr_t>(block) + 8, alignment));
    const uint32_t distance = static_cast<uint32_t>(data - block);
    const uint32_t noGuard = 0;
    memcpy(data - 8, &distance, 4);
    memcpy(data - 4, &noGuard, 4);
    return data;
}

void TLeakTracker::ReleaseUntracked(void* data, size_t alignment)
{
    if (alignment <= 8) {
        source_.release(data);
        return;
    }
    uint32_t distance;
    memcpy(&distance, static_cast<uint8_t*>(data) - 8, 4);
    source_.release(static_cast<uint8_t*>(data) - distance);
}

void* TLeakTracker::Register(void* block, size_t size, size_t alignment, const void* frame)
{
    uint8_t* at = static_cast<uint8_t*>(block);
    if (alignment > 8)
        at = reinterpret_cast<uint8_t*>(AlignUp(reinterpret_cast<uintptr_t>(at) + LeakHeaderSize, alignment) -
                                        LeakHeaderSize);
    auto* header = reinterpret_cast<TLeakHeader*>(at);
    memset(header, 0, LeakHeaderSize);
    const uint32_t distance = static_cast<uint32_t>(at - static_cast<uint8_t*>(block));
    memcpy(header->spare, &distance, 4);
    header->size = static_cast<uint32_t>(size);
    if (capture_)
        capture_(*header, frame);
    header->guard = LeakGuard;
    uint8_t* footer = static_cast<uint8_t*>(LeakDataOf(header)) + size;
    const uint32_t guard = LeakGuard;
    memcpy(footer, &guard, 4);
    memset(footer + 4, 0, LeakFooterSize - 4);

    Lock();
    header->previous = tail_;
    if (tail_)
        tail_->next = header;
    else
        head_ = header;
    tail_ = header;
    ++live_;
    Unlock();
    return LeakDataOf(header);
}

void* TLeakTracker::Allocate(size_t size, size_t alignment, const void* frame)
{
    if (!Tracking())
        return AllocateUntracked(size, alignment);
    size_t total;
    if (!LeakBlockSize(size, alignment, total))
        return nullptr;
    void* block = source_.allocate(total);
    return block ? Register(block, size, alignment, frame) : nullptr;
}

bool TLeakTracker::Unlink(TLeakHeader* header)
{
    Lock();
    // Tested under the lock: once the exit steps began, no free changes the list they read.
    if (exitCopied_) {
        Unlock();
        return false;
    }
    if (header->previous)
        header->previous->next = header->next;
    else
        head_ = header->next;
    if (header->next)
        header->next->previous = header->previous;
    else
        tail_ = header->previous;
    --live_;
    Unlock();
    return true;
}

void TLeakTracker::ReleaseHeaderBlock(TLeakHeader* header)
{
    source_.release(reinterpret_cast<uint8_t*>(header) - HeaderDistance(*header));
}

bool TLeakTracker::IsTrackedBlock(const void* data) const
{
    uint32_t guard;
    memcpy(&guard, static_cast<const uint8_t*>(data) - 4, 4);
    return guard == LeakGuard;
}

TLeakFree TLeakTracker::Free(void* data, size_t alignment)
{
    if (!data)
        return TLeakFree::Untracked;
    if (!IsTrackedBlock(data)) {
        ReleaseUntracked(data, alignment);
        return TLeakFree::Untracked;
    }
    TLeakHeader* header = LeakHeaderOf(data);
    // One compare-and-exchange: of two racing frees only one goes on to unlink.
    if (!MarkFreed(*header))
        return TLeakFree::MultiFree;
    const bool overrun = FooterGuard(*header) != LeakGuard;
    if (!Unlink(header))
        return overrun ? TLeakFree::Overrun : TLeakFree::Marked;
    ReleaseHeaderBlock(header);
    return overrun ? TLeakFree::Overrun : TLeakFree::Freed;
}

void* TLeakTracker::Reallocate(void* data, size_t size, const void* frame, TLeakFree& error)
{
    error = TLeakFree::Freed;
    if (!data)
        return Allocate(size, 8, frame);
    if (!IsTrackedBlock(data)) {
        error = TLeakFree::Untracked;
        return source_.reallocate ? source_.reallocate(data, size ? size : 1) : nullptr;
    }
    TLeakHeader* header = LeakHeaderOf(data);
    if (__atomic_load_n(&header->state, __ATOMIC_ACQUIRE) != lsLive) {
        error = TLeakFree::MultiFree;
        return nullptr;
    }
    void* fresh = Allocate(size, 8, frame);
    if (!fresh)
        return nullptr;
    memcpy(fresh, data, header->size < size ? header->size : size);
    error = Free(data, 8);
    return fresh;
}

size_t TLeakTracker::LiveCount()
{
    Lock();
    const size_t n = live_;
    Unlock();
    return n;
}

void TLeakTracker::StopTracking()
{
    __atomic_store_n(&tracking_, false, __ATOMIC_SEQ_CST);
    // Under the lock: a free unlinking now finishes first, and none unlinks after.
    Lock();
    __atomic_store_n(&exitCopied_, true, __ATOMIC_SEQ_CST);
    Unlock();
}

void TLeakTracker::TakeExitSnapshot(TLeakRecord** records, size_t& count)
{
    *records = nullptr;
    count = 0;
    __atomic_store_n(&tracking_, false, __ATOMIC_SEQ_CST);
    Lock();
    __atomic_store_n(&exitCopied_, true, __ATOMIC_SEQ_CST);
    size_t live = 0;
    for (TLeakHeader* h = head_; h; h = h->next)
        if (__atomic_load_n(&h->state, __ATOMIC_ACQUIRE) == lsLive)
            ++live;
    // Counted under the lock, allocated outside it: the road takes the heaps' locks first and
    // this one after, and a fault handled now must find the same order here.
    Unlock();
    TLeakRecord* out = nullptr;
    if (live && live <= SIZE_MAX / sizeof(TLeakRecord))
        out = static_cast<TLeakRecord*>(source_.allocate(live * sizeof(TLeakRecord)));
    Lock();
    if (out) {
        for (TLeakHeader* h = head_; h && count < live; h = h->next) {
            if (__atomic_load_n(&h->state, __ATOMIC_ACQUIRE) != lsLive)
                continue;
            TLeakRecord& r = out[count++];
            memset(&r, 0, sizeof r);
            r.header = h;
            r.state = lsLive;
            r.kind = 0;
            r.size = r.totalSize = h->size;
            r.count = 1;
            memcpy(r.rawStack, h->rawStack, sizeof r.rawStack);
            memcpy(r.frameChain, h->frameChain, sizeof r.frameChain);
        }
    }
    Unlock();
    *records = out;
}

void TLeakTracker::ReleaseSnapshot(TLeakRecord* records)
{
    if (records)
        source_.release(records);
}

void TLeakTracker::FreeSnapshotBlocks(TLeakRecord* records, size_t count)
{
    for (size_t i = 0; i < count; ++i) {
        if (MarkFreed(*records[i].header))
            ReleaseHeaderBlock(records[i].header);
    }
}

__attribute__((no_sanitize("address"))) void CaptureLeakStacks(TLeakHeader& header, const void* frame,
                                                                uintptr_t stackTop)
{
    const uintptr_t* from = static_cast<const uintptr_t*>(frame) + 1;  // the return address
    for (size_t i = 0; i < LeakStackDepth && reinterpret_cast<uintptr_t>(from + i + 1) <= stackTop; ++i)
        header.rawStack[i] = from[i];
    const uintptr_t* fp = static_cast<const uintptr_t*>(frame);
    for (size_t i = 0; i < LeakStackDepth; ++i) {
        if (reinterpret_cast<uintptr_t>(fp + 2) > stackTop)
            break;
        header.frameChain[i] = fp[1];
        const auto* next = reinterpret_cast<const uintptr_t*>(fp[0]);
        if (next <= fp || reinterpret_cast<uintptr_t>(next) >= stackTop)
            break;
        fp = next;
    }
}

uint8_t LeakOptionsFromHeader(const void* header, size_t size, bool& takeMain)
{
    takeMain = false;
    if (!header || size < 16)
        return 0;
    const auto* b = static_cast<const uint8_t*>(header);
    uint32_t mark;
    uint16_t version;
    memcpy(&mark, b, 4);
    memcpy(&version, b + 4, 2);
    if (mark != LeakGuard && mark != 0x000FAB10)
        return 0;
    unsigned v = version;
    if (v >= 600 && v <= 602)
        v *= 10;
    if (v <= 5999)
        return 0;
    takeMain = b[15] != 0;
    return b[14];
}
