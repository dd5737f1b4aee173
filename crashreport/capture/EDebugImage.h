#pragma once
// Finding sections and data directories of a loaded image by reading its headers in memory.
// The headers are not trusted: every read is probed first and stays inside the image.

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "crashreport/capture/EDebugBytes.h"

struct TImageSection {
    uint32_t VirtualAddress = 0;
    // The smaller of its virtual and its raw size, cut at the image's end.
    uint32_t Size = 0;
    uint32_t Characteristics = 0;
    const uint8_t* Memory(uintptr_t module) const { return reinterpret_cast<const uint8_t*>(module + VirtualAddress); }
};

class TImageHeaders {
public:
    // The loader takes no more sections than this; a larger count is damage.
    static constexpr uint16_t MaxSections = 96;

    TImageHeaders(uintptr_t module, TReadableProbe probe);

    bool Valid() const { return valid_; }
    uint32_t SizeOfImage() const { return sizeOfImage_; }
    // The first section whose name equals name (at most 8 characters compared).
    bool FindSection(std::string_view name, TImageSection& section) const;
    // The section whose memory holds the relative address.
    bool SectionAt(uint32_t rva, TImageSection& section) const;
    bool DataDirectory(unsigned index, uint32_t& rva, uint32_t& size) const;
    // Size bytes at the relative address, when they lie inside the image and can be read.
    const uint8_t* Read(uint32_t rva, size_t size) const;

private:
    bool Readable(const void* p, size_t size) const { return !probe_ || probe_(p, size); }
    bool Section(unsigned index, TImageSection& section, const char** name) const;

    uintptr_t module_;
    TReadableProbe probe_;
    bool valid_ = false;
    uint32_t sizeOfImage_ = 0;
    const uint8_t* optional_ = nullptr;
    uint16_t optionalSize_ = 0;
    const uint8_t* sections_ = nullptr;
    uint16_t sectionCount_ = 0;
};
