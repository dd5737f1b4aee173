#pragma once
// The stack scanner's reader over this process's own memory, and the capture of another
// thread's stack: suspend, copy context and stack into buffers made beforehand, resume.

#include <windows.h>

#include "crashreport/capture/EStack.h"

// Probes with VirtualQuery and remembers the last readable regions: a scan asks about the same
// stack and code pages thousands of times.
// Other threads run while it reads and may unload a library it found readable a moment before:
// it reads module images through the system's read, which fails rather than faults. A reader
// made to hold the loader's lock copies them directly instead, many times faster:
// it takes the lock on its first read when it is free, and gives it back when destroyed, so
// no library leaves meanwhile. Only for a scan that waits for no other thread: a thread
// starting up, or loading a library, waits for that lock.
class TLiveMemoryReader : public TStackMemoryReader {
public:
    explicit TLiveMemoryReader(bool holdLoader = false) : loaderHeld_(holdLoader ? 0 : -1) {}
    ~TLiveMemoryReader() override;
    TLiveMemoryReader(const TLiveMemoryReader&) = delete;
    TLiveMemoryReader& operator=(const TLiveMemoryReader&) = delete;

    bool IsReadable(uintptr_t address, size_t count) override;
    bool Read(uintptr_t address, void* dest, size_t count) override;
    bool ModuleOf(uintptr_t address, uintptr_t& handle, TReporterString& fileName) override;

private:
    struct TRegion {
        uintptr_t begin = 0, end = 0;
        bool image = false;
    };
    const TRegion* Cached(uintptr_t address, size_t count) const;
    bool HoldImages();
    int loaderHeld_;  // 1 held, -1 not to be had or not wanted, 0 not tried
    ULONG_PTR loaderCookie_ = 0;
    static constexpr int RegionCount = 8;
    TRegion regions_[RegionCount];
    int next_ = 0;
};

// Buffers for one thread's context and stack, allocated before the thread is suspended.
class TThreadStackCopy {
public:
    TThreadStackCopy();
    ~TThreadStackCopy();
    TThreadStackCopy(const TThreadStackCopy&) = delete;
    TThreadStackCopy& operator=(const TThreadStackCopy&) = delete;

    // Suspends the thread only for GetThreadContext and the copy. False when any step fails.
    bool Capture(HANDLE thread);
    const CONTEXT& Context() const { return context_; }
    uintptr_t StackPointer() const { return stackPointer_; }
    uintptr_t StackTop() const { return stackPointer_ + size_; }
    const void* Bytes() const { return buffer_; }
    size_t Size() const { return size_; }

private:
    CONTEXT context_{};
    uint8_t* buffer_ = nullptr;
    uintptr_t stackPointer_ = 0;
    size_t size_ = 0;
};

// The items of a captured stack, scanned from its Esp (Eip first).
void ScanCapturedStack(TVurazaStackList& list, const TThreadStackCopy& copy, uint32_t threadId, uint8_t group,
                       bool resolve, TLiveMemoryReader& live);
