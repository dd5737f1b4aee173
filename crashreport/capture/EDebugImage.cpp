#include "crashreport/capture/EDebugImage.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr size_t dosHeaderSize = 64;
constexpr size_t ntHeadersSize = 248;
constexpr size_t fileHeaderEnd = 24;  // "PE\0\0" and the file header
constexpr size_t sectionHeaderSize = 40;
constexpr size_t dataDirectoriesAt = 96;  // in a 32-bit optional header

uint16_t Get16(const uint8_t* p)
{
    return static_cast<uint16_t>(p[0] | p[1] << 8);
}

uint32_t Get32(const uint8_t* p)
{
    return p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24;
}

}  // namespace

TImageHeaders::TImageHeaders(uintptr_t module, TReadableProbe probe) : module_(module), probe_(probe)
{
    const auto* dos = reinterpret_cast<const uint8_t*>(module);
    if (!module || !Readable(dos, dosHeaderSize) || Get16(dos) != 0x5A4D)
        return;
    uint32_t lfanew = Get32(dos + 0x3C);
    if (lfanew == 0 || lfanew > 0x10000000)
        return;
    const uint8_t* nt = dos + lfanew;
    if (!Readable(nt, ntHeadersSize) || Get32(nt) != 0x00004550)
        return;
    sectionCount_ = Get16(nt + 6);
    optionalSize_ = Get16(nt + 20);
    optional_ = nt + fileHeaderEnd;
    if (sectionCount_ > MaxSections || optionalSize_ < dataDirectoriesAt)
        return;
    sizeOfImage_ = Get32(optional_ + 56);
    // The section table follows the optional header as large as the file header says, not as
    // large as a 32-bit header usually is.
    sections_ = optional_ + optionalSize_;
    size_t tableEnd = lfanew + fileHeaderEnd + optionalSize_ + size_t(sectionCount_) * sectionHeaderSize;
    if (tableEnd > sizeOfImage_ || !Readable(sections_, size_t(sectionCount_) * sectionHeaderSize))
        return;
    valid_ = true;
}

bool TImageHeaders::Section(unsigned index, TImageSection& section, const char** name) const
{
    const uint8_t* s = sections_ + size_t(index) * sectionHeaderSize;
    *name = reinterpret_cast<const char*>(s);
    uint32_t virtualSize = Get32(s + 8);
    section.VirtualAddress = Get32(s + 12);
    uint32_t rawSize = Get32(s + 16);
    section.Characteristics = Get32(s + 36);
    if (section.VirtualAddress >= sizeOfImage_)
        return false;
    section.Size = std::min({virtualSize, rawSize, sizeOfImage_ - section.VirtualAddress});
    return true;
}

bool TImageHeaders::FindSection(std::string_view name, TImageSection& section) const
{
    if (!valid_ || name.size() > 8)
        return false;
    for (unsigned i = 0; i < sectionCount_; ++i) {
        const char* n = nullptr;
        TImageSection s;
        if (!Section(i, s, &n))
            continue;
        if (std::memcmp(n, name.data(), name.size()) == 0 && (name.size() == 8 || n[name.size()] == '\0')) {
            section = s;
            return true;
        }
    }
    return false;
}

bool TImageHeaders::SectionAt(uint32_t rva, TImageSection& section) const
{
    if (!valid_)
        return false;
    for (unsigned i = 0; i < sectionCount_; ++i) {
        const char* n = nullptr;
        TImageSection s;
        if (Section(i, s, &n) && s.VirtualAddress <= rva && rva - s.VirtualAddress < s.Size) {
            section = s;
            return true;
        }
    }
    return false;
}

bool TImageHeaders::DataDirectory(unsigned index, uint32_t& rva, uint32_t& size) const
{
    rva = size = 0;
    if (!valid_ || Get32(optional_ + 92) <= index || dataDirectoriesAt + 8 * (size_t(index) + 1) > optionalSize_)
        return false;
    const uint8_t* d = optional_ + dataDirectoriesAt + 8 * size_t(index);
    if (!Readable(d, 8))
        return false;
    rva = Get32(d);
    size = Get32(d + 4);
    return rva != 0 && size != 0;
}

const uint8_t* TImageHeaders::Read(uint32_t rva, size_t size) const
{
    if (!valid_ || rva > sizeOfImage_ || size > sizeOfImage_ - rva)
        return nullptr;
    const auto* p = reinterpret_cast<const uint8_t*>(module_ + rva);
    return Readable(p, size) ? p : nullptr;
}
