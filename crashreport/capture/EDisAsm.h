#pragma once
// One 32-bit x86 instruction to one line of text, driven by a table of instruction templates.
// It decodes only from the bytes it is given: the caller copies the readable code first, so an
// instruction that runs past them becomes "DB" instead of a read beyond the copy.

#include <cstddef>
#include <cstdint>
#include <string>

// Hooks may replace the operand text; what they return is never scanned again.
using TDisAsmHook = void (*)(uintptr_t userData, uint32_t address, uint32_t value, std::string& text);
// signExtended is 1 for the sign-extended byte form.
using TDisAsmImmediateHook = void (*)(uintptr_t userData, uint32_t address, uint32_t value, int size,
                                      std::string& text, int signExtended);

class TDisAsm {
public:
    TDisAsmHook OnJumpTarget = nullptr;     // relative operands tagged "j"
    TDisAsmHook OnCallTarget = nullptr;     // relative operands tagged "c"
    TDisAsmHook OnAddressValue = nullptr;   // 32-bit displacements, addresses, offsets
    TDisAsmHook OnMemoryOperand = nullptr;  // every "[...]" operand
    TDisAsmImmediateHook OnImmediate = nullptr;
    uintptr_t UserData = 0;

    // Decodes the instruction at code[0], which lies at address. count is how many bytes of
    // the copy are valid; the text replaces text's contents. Returns the length (0 only when
    // count is 0).
    uint32_t DisassembleInstruction(const uint8_t* code, size_t count, uint32_t address,
                                    std::string& text) const;
};

// The longest instruction the processor accepts.
constexpr size_t MaxInstructionLength = 15;

// The template table: one-byte and two-byte opcodes, group mnemonics, operand tails and the
// floating-point escapes. Exposed for the tests that walk it.
extern const char* const OneByteTemplates[256];
extern const char* const TwoByteTemplates[256];
extern const char* const GroupTemplates[][8];
extern const int GroupTemplateCount;
extern const char* const OperandTails[4][8];
extern const char* const FloatTemplates[8][72];
