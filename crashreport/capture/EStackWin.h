#pragma once
// The stack scanner's reader over this process's own memory, and the capture of another
// thread's stack: suspend, copy context and stack into buffers made beforehand, resume.

#include <windows.h>

#include "crashreport/capture/EStack.h"

// Probes with VirtualQuery and remembers the last readable regions: a scan asks about the same
// stack and code pages thousands of times.
class TLiveMemoryReader : public TStackMemoryReader {
public:
    bool IsReadable(uintptr_t address, size_t count) override;
    bool Read(uintptr_t address, void* dest, size_t count) override;
    bool ModuleOf(uintptr_t address, uintptr_t& handle, TReporterString& fileName) override;

private:
    struct TRegion {
        uintptr_t begin = 0, end = 0;
    };
    bool Cached(uintptr_t address, size_t count) const;
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
