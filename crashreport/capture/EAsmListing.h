#pragma once
// The report's assembler listing round the faulting instruction and its CPU section
// (registers, top of the stack, memory at the fault). Memory and symbols come through
// interfaces, so the text is built the same from live memory and from a test's bytes.

#include <cstddef>
#include <cstdint>
#include <string>

class TListingMemory {
public:
    virtual ~TListingMemory() = default;
    virtual bool IsReadable(uint32_t address, size_t count) = 0;
    // False, and nothing copied, when any of the bytes can't be read.
    virtual bool Read(uint32_t address, void* dest, size_t count) = 0;
};

// What the address lookup found: kind 0 nothing, 1 module, 2 procedure, 3 unit and
// procedure, 4 with a line.
struct TCodeLocation {
    int Kind = 0;
    std::string UnitName, ClassName, ProcedureName;
    uint32_t Line = 0;
    uint32_t LineDistance = 0;
};

class TListingSymbols {
public:
    virtual ~TListingSymbols() = default;
    virtual void LookupWithDebugSource(uint32_t address, TCodeLocation& location) = 0;
    // The class name when the value points at a valid object.
    virtual bool ObjectClassName(uint32_t value, std::string& name) { return false; }
};

// Length of the instruction at code[0] (count bytes valid); false when undecodable.
using TInstructionLengthProc = bool (*)(const uint8_t* code, size_t count, uint32_t& length);

struct TAsmListing {
    std::string Text;   // lines ending in CRLF; empty when the fault address is unreadable
    std::string Title;  // title, CRLF and its rule; empty with the text
};

// titleText is the "Assembler Information" message text. lengthOf measures instructions while
// the start is searched; none means the hooking code's length decoder.
TAsmListing BuildAssemblerListing(uint32_t exceptionAddress, TListingMemory& memory, TListingSymbols& symbols,
                                  const std::string& titleText, TInstructionLengthProc lengthOf = nullptr);

struct TCpuRegisters {
    uint32_t Eax, Edi, Ebx, Esi, Ecx, Esp, Edx, Eip;
};

struct TCpuSectionTexts {
    std::string Registers = "Registers";
    std::string Stack = "Stack";
    std::string MemoryDump = "Memory Dump";
};

// registers is null without a context record.
std::string BuildCpuSection(const TCpuRegisters* registers, uint32_t stackPointer, uint32_t exceptionAddress,
                            TListingMemory& memory, const TCpuSectionTexts& texts);
