// libFuzzer: the disassembler over arbitrary bytes, and the listing over them as memory.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "crashreport/capture/EAsmListing.h"
#include "crashreport/capture/EDisAsm.h"

namespace {

class TBufferMemory : public TListingMemory {
public:
    TBufferMemory(uint32_t base, const uint8_t* data, size_t size) : base_(base), data_(data), size_(size) {}
    bool IsReadable(uint32_t address, size_t count) override
    {
        return address >= base_ && address - base_ <= size_ && count <= size_ - (address - base_);
    }
    bool Read(uint32_t address, void* dest, size_t count) override
    {
        if (!IsReadable(address, count))
            return false;
        memcpy(dest, data_ + (address - base_), count);
        return true;
    }

private:
    uint32_t base_;
    const uint8_t* data_;
    size_t size_;
};

class TEverySymbol : public TListingSymbols {
public:
    void LookupWithDebugSource(uint32_t address, TCodeLocation& loc) override
    {
        loc = TCodeLocation{};
        loc.Kind = address & 3 ? 4 : 1;
        loc.UnitName = "Unit.pas";
        loc.ProcedureName = "Proc";
        loc.Line = address >> 4;
        loc.LineDistance = address & 7;
    }
};

void Hook(uintptr_t, uint32_t, uint32_t value, std::string& text)
{
    if (value & 1)
        text += " %s %c ^";
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // an exact copy on the heap, so the sanitizer sees any read past it
    std::vector<uint8_t> copy(data, data + size);
    TDisAsm d;
    d.OnJumpTarget = d.OnCallTarget = d.OnAddressValue = d.OnMemoryOperand = Hook;
    std::string text;
    for (size_t at = 0; at < copy.size();) {
        std::vector<uint8_t> window(copy.begin() + at, copy.end());
        uint32_t len = d.DisassembleInstruction(window.data(), window.size(), static_cast<uint32_t>(at), text);
        if (len == 0 || len > window.size() || len > 15)
            __builtin_trap();
        at += len;
    }
    if (size >= 4) {
        TBufferMemory memory(0x00400000, copy.data(), copy.size());
        TEverySymbol symbols;
        uint32_t fault = 0x00400000 + (copy[0] | copy[1] << 8) % static_cast<uint32_t>(size - 3);
        TAsmListing l = BuildAssemblerListing(fault, memory, symbols, "Assembler Information");
        if (l.Text.find("<-- EXCEPTION") == std::string::npos)
            __builtin_trap();
        BuildCpuSection(nullptr, 0x00400000, fault, memory, TCpuSectionTexts{});
    }
    return 0;
}
