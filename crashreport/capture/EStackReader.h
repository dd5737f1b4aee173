#pragma once
// What the stack scanner reads through: a stack that is live memory, or a copy of a suspended
// thread's stack whose code bytes are read live. Every read is probed first, so no read faults.

#include <cstddef>
#include <cstdint>
#include <string>

#include "crashreport/capture/EReporterHeap.h"

class TStackMemoryReader {
public:
    virtual ~TStackMemoryReader() = default;
    virtual bool IsReadable(uintptr_t address, size_t count) = 0;
    // False, and nothing copied, when any of the bytes can't be read.
    virtual bool Read(uintptr_t address, void* dest, size_t count) = 0;
    // The module that contains the address: its handle and file name; false outside modules.
    virtual bool ModuleOf(uintptr_t address, uintptr_t& handle, TReporterString& fileName) = 0;

    bool ReadU8(uintptr_t address, uint8_t& value) { return Read(address, &value, 1); }
    bool ReadU32(uintptr_t address, uint32_t& value) { return Read(address, &value, 4); }
};

// A copy of the stack range [base, base + size) served from a buffer; everything else (the code
// the return addresses point into) comes from the live reader.
class TStackCopyReader : public TStackMemoryReader {
public:
    TStackCopyReader(uintptr_t base, const void* copy, size_t size, TStackMemoryReader& live)
        : base_(base), copy_(static_cast<const uint8_t*>(copy)), size_(size), live_(live) {}
    bool IsReadable(uintptr_t address, size_t count) override;
    bool Read(uintptr_t address, void* dest, size_t count) override;
    bool ModuleOf(uintptr_t address, uintptr_t& handle, TReporterString& fileName) override
    {
        return live_.ModuleOf(address, handle, fileName);
    }

private:
    bool Inside(uintptr_t address, size_t count) const
    {
        return address >= base_ && count <= size_ && address - base_ <= size_ - count;
    }
    uintptr_t base_;
    const uint8_t* copy_;
    size_t size_;
    TStackMemoryReader& live_;
};
