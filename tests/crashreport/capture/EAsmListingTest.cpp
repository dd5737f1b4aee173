#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "crashreport/capture/EAsmListing.h"

namespace {

class TFakeMemory : public TListingMemory {
public:
    void Add(uint32_t base, std::vector<uint8_t> bytes) { regions_[base] = std::move(bytes); }
    bool IsReadable(uint32_t address, size_t count) override { return Find(address, count) != nullptr; }
    bool Read(uint32_t address, void* dest, size_t count) override
    {
        const uint8_t* p = Find(address, count);
        if (p)
            memcpy(dest, p, count);
        return p != nullptr;
    }

private:
    const uint8_t* Find(uint32_t address, size_t count) const
    {
        for (const auto& [base, bytes] : regions_)
            if (address >= base && address - base <= bytes.size() && count <= bytes.size() - (address - base))
                return bytes.data() + (address - base);
        return nullptr;
    }
    std::map<uint32_t, std::vector<uint8_t>> regions_;
};

struct TRange {
    uint32_t from, to;
    TCodeLocation location;
};

class TFakeSymbols : public TListingSymbols {
public:
    std::vector<TRange> ranges;
    void LookupWithDebugSource(uint32_t address, TCodeLocation& loc) override
    {
        for (const TRange& r : ranges)
            if (address >= r.from && address < r.to) {
                loc = r.location;
                return;
            }
        loc = TCodeLocation{};
    }
    bool ObjectClassName(uint32_t value, std::string& name) override
    {
        if (value != 0x00500000)
            return false;
        name = "TForm1";
        return true;
    }
};

TCodeLocation Loc(const char* unit, const char* cls, const char* proc, uint32_t line, uint32_t distance,
                  int kind = 4)
{
    TCodeLocation l;
    l.Kind = kind;
    l.UnitName = unit;
    l.ClassName = cls;
    l.ProcedureName = proc;
    l.Line = line;
    l.LineDistance = distance;
    return l;
}

std::vector<uint8_t> Code(std::initializer_list<std::vector<uint8_t>> instructions, size_t size)
{
    std::vector<uint8_t> out;
    for (const auto& i : instructions)
        out.insert(out.end(), i.begin(), i.end());
    out.resize(size, 0x90);
    return out;
}

std::string Pad(std::string s, size_t column) { return s + std::string(column - s.size(), ' '); }
std::string Heading(const std::string& text) { return "; " + text + "\r\n; " + std::string(text.size(), '-') + "\r\n"; }

// A procedure with four source lines, a call to a second one and a string in the data after it.
struct TScene {
    TFakeMemory memory;
    TFakeSymbols symbols;
    TScene()
    {
        std::vector<uint8_t> code = Code({{0x55}, {0x8B, 0xEC}, {0x83, 0xEC, 0x08}, {0x53}, {0x56}, {0x57},
                                          {0x8B, 0x45, 0x08}, {0x8B, 0x50, 0x04}, {0x85, 0xD2}, {0x74, 0x05},
                                          {0x33, 0xC9}, {0x89, 0x4D, 0xFC},
                                          {0xC6, 0x00, 0x05},  // 00402018, the fault
                                          {0x68, 0x00, 0x21, 0x40, 0x00}, {0xE8, 0x1B, 0x00, 0x00, 0x00},
                                          {0xB8, 0x00, 0x00, 0x50, 0x00}, {0x5F}, {0x5E}, {0x5B}, {0x8B, 0xE5},
                                          {0x5D}, {0xC3}},
                                         0x100);
        const char hello[] = "Hello\tworld";
        code.insert(code.end(), hello, hello + sizeof hello);
        memory.Add(0x00402000, code);
        symbols.ranges = {
            {0x00402000, 0x00402009, Loc("Unit.pas", "TClass", "Proc", 10, 1)},
            {0x00402009, 0x00402018, Loc("Unit.pas", "TClass", "Proc", 11, 2)},
            {0x00402018, 0x0040201B, Loc("Unit.pas", "TClass", "Proc", 12, 3)},
            {0x0040201B, 0x00402040, Loc("Unit.pas", "TClass", "Proc", 13, 4)},
            {0x00402040, 0x00402080, Loc("Unit.pas", "", "Other", 0, 0, 3)},
        };
    }
};

TEST(AsmListing, TenInstructionsBeforeHeadingsTargetsAndStrings)
{
    TScene s;
    TAsmListing l = BuildAssemblerListing(0x00402018, s.memory, s.symbols, "Assembler Information");
    const size_t col = std::string("00402011  jz      Unit.TClass.Proc (Line=12)").size() + 2;
    const std::string expected =
        Heading("Unit.TClass.Proc (Line=10 - Offset=1)") +
        "00402003  sub     esp, $08\r\n"
        "00402006  push    ebx\r\n"
        "00402007  push    esi\r\n"
        "00402008  push    edi\r\n"
        ";\r\n" + Heading("Line=11 - Offset=2") +
        "00402009  mov     eax, [ebp+$08]\r\n"
        "0040200C  mov     edx, [eax+$04]\r\n"
        "0040200F  test    edx, edx\r\n"
        "00402011  jz      Unit.TClass.Proc (Line=12)\r\n"
        "00402013  xor     ecx, ecx\r\n"
        "00402015  mov     [ebp-$04], ecx\r\n"
        ";\r\n" + Heading("Line=12 - Offset=3") +
        Pad("00402018  mov     byte ptr [eax], $05", col) + "; <-- EXCEPTION\r\n"
        ";\r\n" + Heading("Line=13 - Offset=4") +
        Pad("0040201B  push    $00402100", col) + "; 'Hello.world'\r\n"
        "00402020  call    Unit.Other\r\n"
        "00402025  mov     eax, $00500000\r\n"
        "0040202A  pop     edi\r\n"
        "0040202B  pop     esi\r\n"
        "0040202C  pop     ebx\r\n"
        "0040202D  mov     esp, ebp\r\n"
        "0040202F  pop     ebp\r\n"
        "00402030  ret\r\n";
    EXPECT_EQ(expected, l.Text);
    size_t longest = col + std::string("; <-- EXCEPTION").size();
    EXPECT_EQ("Assembler Information:\r\n" + std::string(longest, '-'), l.Title);
}

TEST(AsmListing, RegionEdgesAndEnds)
{
    struct {
        const char* name;
        std::vector<uint8_t> code;
        uint32_t base, fault;
        size_t firstLine;  // offset of the first listed instruction from base
        size_t lines;      // instruction lines
        const char* last;  // last instruction's text
    } cases[] = {
        // the fault on the region's first byte lists from it
        {"first byte", Code({{0xC6, 0x00, 0x05}, {0x90}, {0xC3}}, 16), 0x00402000, 0x00402000, 0, 3, "ret"},
        // a faulting return does not end the listing, the next one does
        {"faulting ret", Code({{0x90}, {0xC3}, {0x90}, {0xC2, 0x04, 0x00}}, 32), 0x00402000, 0x00402001, 0, 4,
         "ret     $0004"},
        // ten instructions after the fault at most
        {"ten after", Code({{0x90}}, 64), 0x00402000, 0x00402020, 0x16, 21, "nop"},
        // the listing's end is clipped to the last readable byte
        {"readable end", Code({{0x90}, {0x90}, {0xE8, 0, 0, 0, 0}}, 6), 0x00402000, 0x00402000, 0, 5, "DB      $00"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TFakeMemory memory;
        memory.Add(c.base, c.code);
        TFakeSymbols symbols;
        symbols.ranges = {{c.base, c.base + 0x1000, Loc("Unit.pas", "TClass", "Proc", 12, 3)}};
        TAsmListing l = BuildAssemblerListing(c.fault, memory, symbols, "Assembler Information");
        std::vector<std::string> lines;
        for (size_t p = 0; p < l.Text.size();) {
            size_t e = l.Text.find("\r\n", p);
            lines.push_back(l.Text.substr(p, e - p));
            p = e + 2;
        }
        ASSERT_EQ(c.lines + 2, lines.size());
        EXPECT_EQ("; Unit.TClass.Proc (Line=12 - Offset=3)", lines[0]);
        char first[16];
        snprintf(first, sizeof first, "%08X  ", static_cast<unsigned>(c.base + c.firstLine));
        EXPECT_EQ(0u, lines[2].find(first)) << lines[2];
        EXPECT_EQ(c.last, lines.back().substr(10));
    }
}

TEST(AsmListing, UnreadableFaultGivesNothing)
{
    TFakeMemory memory;
    memory.Add(0x00402000, Code({{0x90}}, 0x10));
    TFakeSymbols symbols;
    for (uint32_t fault : {0x00403000u, 0x0040200Du, 0x00401FFFu}) {
        SCOPED_TRACE(fault);
        TAsmListing l = BuildAssemblerListing(fault, memory, symbols, "Assembler Information");
        EXPECT_EQ("", l.Text);
        EXPECT_EQ("", l.Title);
    }
}

TEST(AsmListing, LinesBeforeTheLastProcedureChangeAreDropped)
{
    TFakeMemory memory;
    memory.Add(0x00402000, Code({{0x90}}, 0x40));
    TFakeSymbols symbols;
    symbols.ranges = {{0x00402000, 0x00402010, Loc("Unit.pas", "", "Before", 5, 0)},
                      {0x00402010, 0x00402040, Loc("Unit.pas", "TClass", "Proc", 12, 3)}};
    TAsmListing l = BuildAssemblerListing(0x00402014, memory, symbols, "Assembler Information");
    EXPECT_EQ(0u, l.Text.find(Heading("Unit.TClass.Proc (Line=12 - Offset=3)") + "00402010  nop\r\n")) << l.Text;
}

TEST(AsmListing, CodeWithoutDebugDataHasAnEmptyHeading)
{
    TFakeMemory memory;
    memory.Add(0x00402000, Code({{0x90}}, 0x40));
    TFakeSymbols symbols;
    symbols.ranges = {{0x00402000, 0x00402012, Loc("Unit.pas", "TClass", "Proc", 12, 3)}};
    TAsmListing l = BuildAssemblerListing(0x00402010, memory, symbols, "Assembler Information");
    EXPECT_EQ(std::string::npos, l.Text.find("()")) << l.Text;
    EXPECT_NE(std::string::npos, l.Text.find("00402011  nop\r\n;\r\n; \r\n; \r\n00402012  nop\r\n")) << l.Text;
}

TEST(CpuSection, RegistersStackAndDump)
{
    TFakeMemory memory;
    std::vector<uint8_t> stack(64);
    for (size_t i = 0; i < stack.size(); ++i)
        stack[i] = static_cast<uint8_t>(i);
    memory.Add(0x0012FF00, stack);
    std::vector<uint8_t> code(256);
    for (size_t i = 0; i < code.size(); ++i)
        code[i] = static_cast<uint8_t>(i);
    memory.Add(0x00402000, code);
    TCpuRegisters regs{0x00000001, 0x0000ABCD, 0x7FFDF000, 0x00402000, 0xFFFFFFFF, 0x0012FF00, 0x00000010, 0x00402000};
    std::string s = BuildCpuSection(&regs, 0x0012FF00, 0x00402000, memory, TCpuSectionTexts{});
    const std::string head =
        "Registers:\r\n-----------------------------\r\n"
        "EAX: 00000001   EDI: 0000ABCD\r\n"
        "EBX: 7FFDF000   ESI: 00402000\r\n"
        "ECX: FFFFFFFF   ESP: 0012FF00\r\n"
        "EDX: 00000010   EIP: 00402000\r\n\r\n"
        "Stack:               Memory Dump:\r\n"
        "------------------   ---------------------------------------------------------------------------\r\n";
    ASSERT_EQ(head, s.substr(0, head.size()));
    std::string dump = s.substr(head.size());
    const char* rows[] = {
        "0012FF00: 03020100   00402000: 00 01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F  ................",
        "0012FF08: 0B0A0908   00402020: 20 21 22 23 24 25 26 27 28 29 2A 2B 2C 2D 2E 2F   !\"#$%&'()*+,-./",
        "0012FF3C: 3F3E3D3C   004020F0: F0 F1 F2 F3 F4 F5 F6 F7 F8 F9 FA FB FC FD FE FF  ................",
    };
    std::vector<std::string> lines;
    for (size_t p = 0; p < dump.size();) {
        size_t e = dump.find("\r\n", p);
        ASSERT_NE(std::string::npos, e);
        lines.push_back(dump.substr(p, e - p));
        p = e + 2;
    }
    ASSERT_EQ(16u, lines.size());
    for (const std::string& line : lines)
        EXPECT_EQ(96u, line.size()) << line;
    EXPECT_EQ(rows[0], lines[0]);
    EXPECT_EQ(rows[1], lines[2]);
    EXPECT_EQ(rows[2], lines[15]);
    EXPECT_EQ("0012FF1C: 1F1E1D1C   00402070: 70 71 72 73 74 75 76 77 78 79 7A 7B 7C 7D 7E 7F  pqrstuvwxyz{|}~.", lines[7]);
}

TEST(CpuSection, WithoutContextOrReadableMemory)
{
    TFakeMemory memory;
    memory.Add(0x0012FF00, std::vector<uint8_t>(63));
    memory.Add(0x00402000, std::vector<uint8_t>(256));
    std::string s = BuildCpuSection(nullptr, 0x0012FF00, 0x00402000, memory, TCpuSectionTexts{});
    EXPECT_EQ("Registers:\r\n-----------------------------\r\n"
              "EAX: ????       EDI: ????    \r\n"
              "EBX: ????       ESI: ????    \r\n"
              "ECX: ????       ESP: ????    \r\n"
              "EDX: ????       EIP: ????    \r\n\r\n"
              "Stack:               Memory Dump:\r\n"
              "------------------   ---------------------------------------------------------------------------\r\n",
              s);
}

}  // namespace
