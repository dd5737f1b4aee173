#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "crashreport/capture/EInstruction.h"

namespace {

std::vector<uint8_t> Bytes(std::initializer_list<int> values)
{
    std::vector<uint8_t> out;
    for (int v : values)
        out.push_back(static_cast<uint8_t>(v));
    return out;
}

// Code at a made-up address whose bytes end where the vector ends: reads past it get nothing.
struct TFakeCode {
    uintptr_t base;
    std::vector<uint8_t> bytes;
};

size_t ReadFake(void* context, uintptr_t address, uint8_t* out, size_t count)
{
    const auto& code = *static_cast<TFakeCode*>(context);
    if (address < code.base || address >= code.base + code.bytes.size())
        return 0;
    const size_t offset = address - code.base;
    const size_t n = std::min(count, code.bytes.size() - offset);
    std::memcpy(out, code.bytes.data() + offset, n);
    return n;
}

TEST(InstructionLength, MeasuresTheClassesOfTheOpcodeMaps)
{
    struct {
        const char* what;
        std::vector<uint8_t> code;
        bool decodable;
        size_t length;
    } cases[] = {
        {"mov dword [eax], 5", Bytes({0xC7, 0x00, 5, 0, 0, 0}), true, 6},
        {"mov word [eax], 5", Bytes({0x66, 0xC7, 0x00, 5, 0}), true, 5},
        {"push ebp", Bytes({0x55}), true, 1},
        {"mov ebp, esp", Bytes({0x89, 0xE5}), true, 2},
        {"sub esp, imm8", Bytes({0x83, 0xEC, 0x18}), true, 3},
        {"mov eax, [esp+disp8]", Bytes({0x8B, 0x44, 0x24, 0x04}), true, 4},
        {"mov eax, [disp32 + index]", Bytes({0x8B, 0x04, 0x85, 1, 2, 3, 4}), true, 7},
        {"lea with SIB and disp32", Bytes({0x8D, 0x84, 0x24, 1, 2, 3, 4}), true, 7},
        {"16-bit addressing disp16", Bytes({0x67, 0x8B, 0x06, 1, 2}), true, 5},
        {"call rel32", Bytes({0xE8, 1, 2, 3, 4}), true, 5},
        {"jz rel8", Bytes({0x74, 0x0A}), true, 2},
        {"jz rel32", Bytes({0x0F, 0x84, 1, 2, 3, 4}), true, 6},
        {"call far ptr16:32", Bytes({0x9A, 1, 2, 3, 4, 5, 6}), true, 7},
        {"enter", Bytes({0xC8, 0x10, 0x00, 0x00}), true, 4},
        {"ret imm16", Bytes({0xC2, 0x08, 0x00}), true, 3},
        {"mov eax, moffs32", Bytes({0xA1, 1, 2, 3, 4}), true, 5},
        {"mov eax, moffs16", Bytes({0x67, 0xA1, 1, 2}), true, 4},
        {"mov moffs16, al after a segment", Bytes({0x2E, 0x67, 0xA2, 1, 2}), true, 5},
        {"operand size leaves moffs32", Bytes({0x66, 0xA3, 1, 2, 3, 4}), true, 6},
        {"test byte r/m, imm8", Bytes({0xF6, 0x00, 0x01}), true, 3},
        {"not r/m8 takes no immediate", Bytes({0xF6, 0x10}), true, 2},
        {"test dword r/m, imm32", Bytes({0xF7, 0xC0, 1, 2, 3, 4}), true, 6},
        {"shld r/m, r, imm8", Bytes({0x0F, 0xA4, 0xC0, 0x03}), true, 4},
        {"mov cr0, eax ignores mod", Bytes({0x0F, 0x22, 0x00}), true, 3},
        {"lock cmpxchg", Bytes({0xF0, 0x0F, 0xB1, 0x0A}), true, 4},
        {"three-byte map", Bytes({0x0F, 0x38, 0x00, 0xC0}), false, 2},
        {"3DNow!", Bytes({0x0F, 0x0F, 0xC0, 0x9E}), false, 2},
        {"escape alone", Bytes({0x0F}), false, 2},
        {"ModRM missing", Bytes({0x8B}), false, 2},
        {"immediate cut off", Bytes({0xB8, 1, 2}), false, 5},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        size_t length = 99;
        EXPECT_EQ(c.decodable, InstructionLength(c.code.data(), c.code.size(), length));
        EXPECT_EQ(c.length, length);
    }
}

TEST(InstructionLength, NothingIsLongerThanFifteenBytes)
{
    // 14 prefixes and a one-byte opcode fit; one prefix more does not.
    std::vector<uint8_t> code(14, 0x66);
    code.push_back(0x90);
    size_t length = 0;
    EXPECT_TRUE(InstructionLength(code.data(), code.size(), length));
    EXPECT_EQ(15u, length);
    code.insert(code.begin(), 0x2E);
    EXPECT_FALSE(InstructionLength(code.data(), code.size(), length));

    // Prefixes before a long form: 8 prefixes + C7 84 24 disp32 imm32 = 19 bytes.
    std::vector<uint8_t> longForm(8, 0x3E);
    for (int b : {0xC7, 0x84, 0x24, 1, 2, 3, 4, 5, 6, 7, 8})
        longForm.push_back(static_cast<uint8_t>(b));
    EXPECT_FALSE(InstructionLength(longForm.data(), longForm.size(), length));
}

TEST(ProcedureCodeLength, StopsAtTheFirstReturnOnly)
{
    struct {
        const char* what;
        std::vector<uint8_t> code;
        size_t limit;
        size_t expected;
    } cases[] = {
        {"mov [eax], imm32; leave; ret", Bytes({0xC7, 0x00, 5, 0, 0, 0, 0xC9, 0xC3}), 100, 8},
        {"enter, les, lds, mov r/m imm8 are no returns",
         Bytes({0xC8, 8, 0, 0, 0xC4, 0x00, 0xC5, 0x00, 0xC6, 0x00, 1, 0xCC, 0xC2, 4, 0}), 100, 15},
        {"retf", Bytes({0x55, 0xCB}), 100, 2},
        {"retf imm16", Bytes({0x90, 0xCA, 2, 0}), 100, 4},
        {"prefixed ret", Bytes({0xF3, 0xC3}), 100, 2},
        {"movnti is not a ret", Bytes({0x0F, 0xC3, 0x00, 0xC3}), 100, 4},
        {"C3 inside an immediate", Bytes({0xB8, 0xC3, 0xC3, 0xC3, 0xC3, 0xC3}), 100, 6},
        {"undecodable byte counts as one", Bytes({0x0F, 0x04, 0x90, 0xC3}), 100, 4},
        {"no return within the limit", Bytes({0x90, 0x90, 0x90, 0xC3}), 3, 1},
        {"return straddles the limit", Bytes({0x90, 0x90, 0xC2, 0, 0}), 4, 1},
        {"code ends before a return", Bytes({0x90, 0x90}), 100, 1},
        {"instruction runs into unreadable memory", Bytes({0x90, 0xB8, 1, 2}), 100, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TFakeCode code{0x401000, c.code};
        EXPECT_EQ(c.expected, ProcedureCodeLength(code.base, c.limit, &ReadFake, &code));
    }
}

}  // namespace
