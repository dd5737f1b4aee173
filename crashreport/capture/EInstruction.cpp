#include "crashreport/capture/EInstruction.h"

#include <array>

namespace {

// Operand classes: 0-4 that many bytes follow the opcode.
enum : uint8_t {
    kImmOperand = 11,  // an immediate of operand size
    kFarPointer = 13,  // offset of operand size and a 16-bit selector
    kModRM = 14,
    kNotDecodable = 15,
};

struct TOpcodeTables {
    std::array<uint8_t, 256> oneByte{};
    std::array<uint8_t, 256> twoByte{};
};

constexpr void Fill(std::array<uint8_t, 256>& map, int from, int to, uint8_t kind)
{
    for (int i = from; i <= to; ++i)
        map[i] = kind;
}

constexpr TOpcodeTables MakeTables()
{
    TOpcodeTables t{};
    auto& a = t.oneByte;
    // The eight ALU rows 00-3F: r/m forms, AL imm8, eAX imm, then push/pop/prefix/BCD bytes.
    for (int row = 0; row < 0x40; row += 8) {
        Fill(a, row, row + 3, kModRM);
        a[row + 4] = 1;
        a[row + 5] = kImmOperand;
        a[row + 6] = 0;
        a[row + 7] = 0;
    }
    a[0x0F] = kNotDecodable;  // escape to the two-byte map
    for (int p : {0x26, 0x2E, 0x36, 0x3E, 0x64, 0x65, 0x66, 0x67, 0xF0, 0xF2, 0xF3})
        a[p] = kNotDecodable;
    Fill(a, 0x40, 0x61, 0);
    a[0x62] = kModRM;  // BOUND
    a[0x63] = kModRM;  // ARPL
    a[0x68] = kImmOperand;
    a[0x69] = kModRM;
    a[0x6A] = 1;
    a[0x6B] = kModRM;
    Fill(a, 0x6C, 0x6F, 0);
    Fill(a, 0x70, 0x7F, 1);
    Fill(a, 0x80, 0x8F, kModRM);
    Fill(a, 0x90, 0x99, 0);
    a[0x9A] = kFarPointer;
    Fill(a, 0x9B, 0x9F, 0);
    Fill(a, 0xA0, 0xA3, 4);  // moffs32 (moffs16 after 67)
    Fill(a, 0xA4, 0xA7, 0);
    a[0xA8] = 1;
    a[0xA9] = kImmOperand;
    Fill(a, 0xAA, 0xAF, 0);
    Fill(a, 0xB0, 0xB7, 1);
    Fill(a, 0xB8, 0xBF, kImmOperand);
    a[0xC0] = kModRM;
    a[0xC1] = kModRM;
    a[0xC2] = 2;
    a[0xC3] = 0;
    Fill(a, 0xC4, 0xC7, kModRM);
    a[0xC8] = 3;  // ENTER imm16, imm8
    a[0xC9] = 0;
    a[0xCA] = 2;
    a[0xCB] = 0;
    a[0xCC] = 0;
    a[0xCD] = 1;
    a[0xCE] = 0;
    a[0xCF] = 0;
    Fill(a, 0xD0, 0xD3, kModRM);
    a[0xD4] = 1;
    a[0xD5] = 1;
    a[0xD6] = 0;
    a[0xD7] = 0;
    Fill(a, 0xD8, 0xDF, kModRM);  // x87
    Fill(a, 0xE0, 0xE7, 1);
    a[0xE8] = kImmOperand;
    a[0xE9] = kImmOperand;
    a[0xEA] = kFarPointer;
    a[0xEB] = 1;
    Fill(a, 0xEC, 0xEF, 0);
    a[0xF1] = 0;
    a[0xF4] = 0;
    a[0xF5] = 0;
    a[0xF6] = kModRM;
    a[0xF7] = kModRM;
    Fill(a, 0xF8, 0xFD, 0);
    a[0xFE] = kModRM;
    a[0xFF] = kModRM;

    auto& b = t.twoByte;
    Fill(b, 0x00, 0xFF, kModRM);  // most of the map: MMX, SSE, CMOVcc, SETcc, bit tests
    for (int n : {0x04, 0x0A, 0x0C, 0x0F, 0x25, 0x27, 0x36, 0x38, 0x39, 0x3A, 0x3B, 0x3C, 0x3D, 0x3E, 0x3F,
                  0x7A, 0x7B, 0xA6, 0xA7})
        b[n] = kNotDecodable;  // reserved, 3DNow! and the three-byte maps
    for (int n : {0x05, 0x06, 0x07, 0x08, 0x09, 0x0B, 0x0E, 0x30, 0x31, 0x32, 0x33, 0x34, 0x35, 0x37, 0x77,
                  0xA0, 0xA1, 0xA2, 0xA8, 0xA9, 0xAA})
        b[n] = 0;
    // MOV to and from control, debug and test registers: the ModRM is always a register pair.
    Fill(b, 0x20, 0x24, 1);
    b[0x26] = 1;
    Fill(b, 0x80, 0x8F, kImmOperand);  // Jcc rel32
    Fill(b, 0xC8, 0xCF, 0);            // BSWAP
    return t;
}

constexpr TOpcodeTables kTables = MakeTables();

bool IsPrefix(uint8_t c)
{
    switch (c) {
    case 0x26: case 0x2E: case 0x36: case 0x3E: case 0x64: case 0x65: case 0x66: case 0x67:
    case 0xF0: case 0xF2: case 0xF3:
        return true;
    default:
        return false;
    }
}

// Immediate bytes that follow the ModRM and its addressing bytes.
size_t ModRMImmediate(bool twoByte, uint8_t opcode, uint8_t modrm, size_t operandSize)
{
    const int reg = (modrm >> 3) & 7;
    if (twoByte) {
        switch (opcode) {
        case 0x70: case 0x71: case 0x72: case 0x73: case 0xA4: case 0xAC: case 0xBA:
        case 0xC2: case 0xC4: case 0xC5: case 0xC6:
            return 1;
        default:
            return 0;
        }
    }
    switch (opcode) {
    case 0x6B: case 0x80: case 0x82: case 0x83: case 0xC0: case 0xC1: case 0xC6:
        return 1;
    case 0xF6:
        return reg == 0 ? 1 : 0;
    case 0x69: case 0x81: case 0xC7:
        return operandSize;
    case 0xF7:
        return reg == 0 ? operandSize : 0;
    default:
        return 0;
    }
}

}  // namespace

size_t SkipInstructionPrefixes(const uint8_t* code, size_t available)
{
    size_t i = 0;
    while (i < available && i < MaxInstructionLength && IsPrefix(code[i]))
        ++i;
    return i;
}

TInstructionMeasure MeasureInstruction(const uint8_t* code, size_t available, size_t& length)
{
    length = 0;
    bool operand16 = false, address16 = false;
    size_t i = 0;
    while (i < available && IsPrefix(code[i])) {
        operand16 |= code[i] == 0x66;
        address16 |= code[i] == 0x67;
        if (++i >= MaxInstructionLength) {
            length = i;
            return TInstructionMeasure::Undecodable;
        }
    }
    // The opcode, and the ModRM and SIB bytes that decide the length, must be there.
    auto need = [&](size_t n) { return n <= available; };
    if (!need(i + 1)) {
        length = i + 1;
        return TInstructionMeasure::Truncated;
    }
    bool twoByte = false;
    uint8_t opcode = code[i++];
    if (opcode == 0x0F) {
        if (!need(i + 1)) {
            length = i + 1;
            return TInstructionMeasure::Truncated;
        }
        twoByte = true;
        opcode = code[i++];
    }
    const uint8_t kind = twoByte ? kTables.twoByte[opcode] : kTables.oneByte[opcode];
    const size_t operandSize = operand16 ? 2 : 4;
    size_t total = i;
    switch (kind) {
    case kNotDecodable:
        length = i;
        return TInstructionMeasure::Undecodable;
    case kImmOperand:
        total += operandSize;
        break;
    case kFarPointer:
        total += operandSize + 2;
        break;
    case kModRM: {
        if (!need(i + 1)) {
            length = i + 1;
            return TInstructionMeasure::Truncated;
        }
        const uint8_t modrm = code[i];
        const int mod = modrm >> 6, rm = modrm & 7;
        size_t addressing = 0;
        if (address16) {
            if (mod == 0)
                addressing = rm == 6 ? 2 : 0;
            else if (mod == 1)
                addressing = 1;
            else if (mod == 2)
                addressing = 2;
        } else if (mod != 3) {
            const bool sib = rm == 4;
            if (mod == 0) {
                if (sib) {
                    if (!need(i + 2)) {
                        length = i + 2;
                        return TInstructionMeasure::Truncated;
                    }
                    addressing = (code[i + 1] & 7) == 5 ? 5 : 1;
                } else {
                    addressing = rm == 5 ? 4 : 0;
                }
            } else {
                addressing = (mod == 1 ? 1 : 4) + (sib ? 1 : 0);
            }
        }
        total += 1 + addressing + ModRMImmediate(twoByte, opcode, modrm, operandSize);
        break;
    }
    default:
        // The offset of A0-A3 has the address size: 2 bytes after a 67 prefix.
        total += !twoByte && opcode >= 0xA0 && opcode <= 0xA3 && address16 ? 2 : kind;
    }
    length = total;
    if (total > MaxInstructionLength)
        return TInstructionMeasure::Undecodable;
    return total <= available ? TInstructionMeasure::Decoded : TInstructionMeasure::Truncated;
}

bool InstructionLength(const uint8_t* code, size_t available, size_t& length)
{
    return MeasureInstruction(code, available, length) == TInstructionMeasure::Decoded;
}

size_t ProcedureCodeLength(uintptr_t address, size_t limit, TCodeReadProc read, void* context)
{
    size_t offset = 0;
    while (offset < limit) {
        uint8_t bytes[MaxInstructionLength] = {};
        const size_t got = read(context, address + offset, bytes, MaxInstructionLength);
        if (got == 0)
            return 1;
        size_t length = 0;
        const TInstructionMeasure measure = MeasureInstruction(bytes, got, length);
        if (measure == TInstructionMeasure::Truncated)
            return 1;  // runs into unreadable memory
        if (measure == TInstructionMeasure::Undecodable) {
            ++offset;
            continue;
        }
        const size_t p = SkipInstructionPrefixes(bytes, length);
        const uint8_t opcode = bytes[p];
        offset += length;
        if (opcode == 0xC2 || opcode == 0xC3 || opcode == 0xCA || opcode == 0xCB)
            return offset <= limit ? offset : 1;
    }
    return 1;
}
