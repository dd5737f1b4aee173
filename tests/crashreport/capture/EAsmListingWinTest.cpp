// The listing and CPU section over the process's own memory under Wine.
#include <gtest/gtest.h>

#include <windows.h>

#include "crashreport/capture/EAsmListingWin.h"

namespace {

class TNoSymbols : public TListingSymbols {
public:
    void LookupWithDebugSource(uint32_t, TCodeLocation& loc) override { loc = TCodeLocation{}; }
};

TEST(AsmListingLive, OwnCodeAndAFreedPage)
{
    TLiveListingMemory memory;
    TNoSymbols symbols;
    // A fault in the middle of a system procedure's code: the listing marks it, 8 digits each.
    auto address = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(&GetTickCount));
    TAsmListing l = BuildAssemblerListing(address, memory, symbols, "Assembler Information");
    char mark[16];
    snprintf(mark, sizeof mark, "%08X  ", static_cast<unsigned>(address));
    size_t at = l.Text.find(mark);
    ASSERT_NE(std::string::npos, at) << l.Text;
    EXPECT_NE(std::string::npos, l.Text.find("; <-- EXCEPTION", at)) << l.Text;
    EXPECT_EQ(0u, l.Title.find("Assembler Information:\r\n---"));

    void* page = VirtualAlloc(nullptr, 4096, MEM_COMMIT | MEM_RESERVE, PAGE_EXECUTE_READWRITE);
    ASSERT_NE(nullptr, page);
    memset(page, 0x90, 4096);
    auto base = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(page));
    l = BuildAssemblerListing(base + 4092, memory, symbols, "Assembler Information");
    EXPECT_NE(std::string::npos, l.Text.find("; <-- EXCEPTION"));
    VirtualFree(page, 0, MEM_RELEASE);
    l = BuildAssemblerListing(base + 4092, memory, symbols, "Assembler Information");
    EXPECT_EQ("", l.Text);
    EXPECT_EQ("", l.Title);

    CONTEXT c{};
    c.Esp = static_cast<DWORD>(reinterpret_cast<uintptr_t>(&c));
    TCpuRegisters regs{c.Eax, c.Edi, c.Ebx, c.Esi, c.Ecx, c.Esp, c.Edx, address};
    std::string cpu = BuildCpuSection(&regs, c.Esp, address, memory, TCpuSectionTexts{});
    EXPECT_NE(std::string::npos, cpu.find("EIP: " + std::string(mark, 8) + "\r\n")) << cpu;
    EXPECT_EQ(16 * 98u, cpu.size() - cpu.find("---\r\n", cpu.find("Memory Dump")) - 5) << cpu;
}

}  // namespace
