#pragma once
// Just enough of a 32-bit PE image for the stamping tool: sections (long names through the
// COFF string table), the COFF symbol table the linker keeps, and one RT_RCDATA resource.
// Throws EPeImageError on anything it cannot read.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "framework/Exception.h"

class EPeImageError : public Exception {
public:
    using Exception::Exception;
};

struct TPeSection {
    std::string name;
    uint32_t virtualAddress = 0;
    uint32_t virtualSize = 0;
    uint32_t rawOffset = 0;
    uint32_t rawSize = 0;
};

struct TPeSymbol {
    std::string name;
    uint32_t rva = 0;
    int section = 0;  // 1-based, as COFF numbers them
    uint16_t type = 0;
    uint8_t storageClass = 0;
};

class TPeImage {
public:
    explicit TPeImage(std::string_view file);

    uint32_t ImageBase() const { return imageBase_; }
    const std::vector<TPeSection>& Sections() const { return sections_; }
    const TPeSection* FindSection(std::string_view name) const;
    // The section's file bytes (its raw data, cut to its virtual size).
    std::string_view SectionBytes(const TPeSection& section) const;
    std::vector<TPeSymbol> Symbols() const;
    // File offset and size of the RT_RCDATA resource of that name (first language); false when
    // the image has none.
    bool FindResource(std::string_view name, uint32_t& fileOffset, uint32_t& size) const;

private:
    uint32_t U32(uint64_t offset) const;
    uint16_t U16(uint64_t offset) const;
    bool RvaToOffset(uint32_t rva, uint32_t& offset) const;

    std::string_view file_;
    uint32_t imageBase_ = 0;
    uint32_t symbolTable_ = 0;
    uint32_t symbolCount_ = 0;
    uint32_t resourceRva_ = 0;
    std::vector<TPeSection> sections_;
};
