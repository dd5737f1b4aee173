#pragma once
// The two reference decoders (Capstone in process, objdump as a program) and the code the
// comparisons run on: the grid of opcode forms, Wine's own DLLs and random windows.

#include <cstdint>
#include <string>
#include <vector>

constexpr size_t WindowSize = 16;

struct TWindow {
    uint8_t bytes[WindowSize];
};

struct TRefDecode {
    uint32_t length = 0;  // 0: not an instruction
    std::string mnemonic;
    std::string operands;
    std::vector<int> kinds;  // 'r', 'i', 'm' per operand
};

class TCapstone {
public:
    TCapstone(bool detail);
    ~TCapstone();
    TCapstone(const TCapstone&) = delete;
    TCapstone& operator=(const TCapstone&) = delete;
    TRefDecode Decode(const uint8_t* code, size_t count, uint32_t address);

private:
    size_t handle_ = 0;
    void* insn_ = nullptr;
};

// One objdump run over all windows; the result holds each window's first instruction.
std::vector<TRefDecode> ObjdumpWindows(const std::vector<TWindow>& windows);

// Every one-byte opcode x ModRM with and without 66, 67 and 2E, 0F xx x ModRM, D8 to DF x
// ModRM, and every SIB byte under a few ModRM forms.
std::vector<TWindow> OpcodeGrid();
std::vector<TWindow> RandomWindows(size_t count, uint32_t seed);

// Code of the DLL's code section from each export to the next; false when the file is not a
// 32-bit PE image.
struct TCodeRange {
    uint32_t address;
    std::vector<uint8_t> bytes;
};
bool ExportRanges(const std::string& path, std::vector<TCodeRange>& ranges, uint32_t& imageBase);

// Operand kinds of our text: memory when it holds "[", immediate for "$" forms and numbers.
std::vector<int> OperandKinds(const std::string& text, std::string& mnemonic);

// Why the window's instruction is outside the comparison (SSE and later, forms the templates
// write as "DB" on purpose), or nullptr.
const char* ExcludedForm(const uint8_t* code);
