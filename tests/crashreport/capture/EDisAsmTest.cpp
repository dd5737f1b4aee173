#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "crashreport/capture/EDisAsm.h"

namespace {

std::vector<uint8_t> Bytes(const char* hex)
{
    std::vector<uint8_t> out;
    for (const char* p = hex; *p;) {
        if (*p == ' ') {
            ++p;
            continue;
        }
        out.push_back(static_cast<uint8_t>(std::stoul(std::string(p, 2), nullptr, 16)));
        p += 2;
    }
    return out;
}

struct TCase {
    const char* bytes;
    const char* text;
    uint32_t length;  // 0: all the bytes
};

void CheckCases(const TDisAsm& d, const TCase* cases, size_t n)
{
    std::string text;
    for (size_t i = 0; i < n; ++i) {
        const TCase& c = cases[i];
        SCOPED_TRACE(c.bytes);
        std::vector<uint8_t> code = Bytes(c.bytes);
        uint32_t length = d.DisassembleInstruction(code.data(), code.size(), 0x00401000, text);
        EXPECT_EQ(c.text, text);
        EXPECT_EQ(c.length ? c.length : code.size(), length);
    }
}

// The forms written down from the opcode maps before the templates existed.
const TCase GoldenForms[] = {
    {"C6 00 05", "mov     byte ptr [eax], $05"},
    {"00 00", "add     [eax], al"},
    {"0F 0B", "ud2"},
    {"90", "nop"},
    {"D6", "DB      $D6  //"},
    // ModRM and SIB
    {"8B 04 24", "mov     eax, [esp]"},
    {"8B 44 8E 08", "mov     eax, [esi+ecx*4+$08]"},
    {"8B 04 85 00 10 40 00", "mov     eax, [$401000+eax*4]"},
    {"8B 04 4B", "mov     eax, [ebx+ecx*2]"},
    {"8B 04 F7", "mov     eax, [edi+esi*8]"},
    {"8B 04 20", "mov     eax, [eax]"},
    {"8B 04 25 78 56 34 12", "mov     eax, [$12345678]"},
    {"8B 45 00", "mov     eax, [ebp+$00]"},
    {"8D 4C 24 FC", "lea     ecx, [esp-$04]"},
    {"8B 85 F8 FE FF FF", "mov     eax, [ebp+$FFFFFEF8]"},
    {"8B 80 10 00 00 00", "mov     eax, [eax+$0010]"},
    {"8B C8", "mov     ecx, eax"},
    {"8A 65 F8", "mov     ah, byte ptr [ebp-$08]"},
    {"A1 00 10 40 00", "mov     eax, [$401000]"},
    {"A2 00 10 40 00", "mov     byte ptr [$401000], al"},
    {"8D 05 00 10 40 00", "lea     eax, [$401000]"},
    {"0F B6 45 08", "movzx   eax, byte ptr [ebp+$08]"},
    {"0F BF C8", "movsx   ecx, ax"},
    // segment overrides
    {"64 A1 00 00 00 00", "mov     eax, fs:[$0000]"},
    {"64 89 0D 00 00 00 00", "mov     fs:[$0000], ecx"},
    {"64 8B 15 30 00 00 00", "mov     edx, fs:[$0030]"},
    {"2E FF 24 85 00 10 40 00", "jmp     cs:[$401000+eax*4]"},
    {"26 8B 00", "mov     eax, es:[eax]"},
    {"65 8A 03", "mov     al, byte ptr gs:[ebx]"},
    {"8C D8", "mov     ax, ds"},
    {"8E D8", "mov     ds, ax"},
    // operand size
    {"66 89 08", "mov     [eax], cx"},
    {"66 C7 00 34 12", "mov     word ptr [eax], $1234"},
    {"66 91", "xchg    ax, cx"},
    {"91", "xchg    eax, ecx"},
    {"66 98", "cbw"},
    {"98", "cwde"},
    {"99", "cdq"},
    {"66 99", "cwd"},
    {"66 50", "push    ax"},
    {"66 B8 34 12", "mov     ax, $1234"},
    {"66 A5", "movsw"},
    {"A5", "movsd"},
    {"A4", "movsb"},
    {"66 0F B6 C0", "movzx   ax, al"},
    // address size
    {"67 8B 07", "mov     eax, [bx]"},
    {"67 8B 00", "mov     eax, [bx+si]"},
    {"67 8B 43 10", "mov     eax, [bp+di+$10]"},
    {"67 8B 47 F0", "mov     eax, [bx-$10]"},
    {"67 8B 87 34 12", "mov     eax, [bx+$1234]"},
    {"67 8B 06 34 12", "mov     eax, [$1234]"},
    {"67 A1 34 12", "mov     eax, [$1234]"},
    {"67 66 8B 07", "mov     ax, word ptr [bx]"},
    // immediates, groups and tails
    {"83 C4 08", "add     esp, $08"},
    {"83 EC 10", "sub     esp, $10"},
    {"83 7D 08 FF", "cmp     [ebp+$08], -$01"},
    {"6A FF", "push    -$01"},
    {"6A 00", "push    $00"},
    {"68 00 10 40 00", "push    $00401000"},
    {"80 7D 08 00", "cmp     byte ptr [ebp+$08], $00"},
    {"81 C1 00 01 00 00", "add     ecx, $00000100"},
    {"69 C0 10 27 00 00", "imul    eax, eax, $00002710"},
    {"6B C0 0C", "imul    eax, eax, $0C"},
    {"F7 D8", "neg     eax"},
    {"F6 C1 01", "test    cl, $01"},
    {"F7 45 08 01 00 00 00", "test    [ebp+$08], $00000001"},
    {"F7 F1", "div     ecx"},
    {"F6 E1", "mul     cl, al"},
    {"FF 15 00 10 40 00", "call    [$401000]"},
    {"FF E0", "jmp     eax"},
    {"FF 75 08", "push    [ebp+$08]"},
    {"FF 1D 00 10 40 00", "call    [$401000]"},
    {"FE C0", "inc     al"},
    {"FE 00", "inc     byte ptr [eax]"},
    {"FE 10", "DB      $FE, $10  //"},
    {"D1 E0", "shl     eax, 1"},
    {"C1 E8 04", "shr     eax, $04"},
    {"D3 F8", "sar     eax, cl"},
    {"D0 30", "DB      $D0, $30  //byte ptr [eax], 1"},
    {"C2 08 00", "ret     $0008"},
    {"C3", "ret"},
    {"CC", "int     3"},
    {"CD 2E", "int     $2E"},
    {"C8 10 00 00", "enter   $0010, $00"},
    {"9A 00 10 40 00 08 00", "call    $401000"},
    {"66 9A 00 10 08 00", "call    $1000"},
    {"0F 20 C0", "mov     eax, C0"},
    {"0F 23 C8", "mov     D1, eax"},
    // relative targets
    {"EB 05", "jmp     +$05"},
    {"EB FE", "jmp     -$02"},
    {"75 F0", "jnz     -$10"},
    {"E0 FE", "loopn   -$02"},
    {"E8 00 00 00 00", "call    +$00000000"},
    {"E9 FB FF FF FF", "jmp     -$00000005"},
    {"0F 84 10 00 00 00", "jz      +$00000010"},
    {"0F 8F 10 00 00 00", "jnle    +$00000010"},
    // prefixes that stay in the text
    {"F3 A5", "rep movsd"},
    {"F3 C3", "rep ret"},
    {"F0 0F B1 0A", "lock cmpxchg [edx], ecx"},
    {"F2 AE", "repne scasb"},
    // x87
    {"D9 45 F8", "fld     [ebp-$08]"},
    {"DD 45 F8", "fld     qword ptr [ebp-$08]"},
    {"DB 6D F0", "fld     tbyte ptr [ebp-$10]"},
    {"DF 2C 24", "fild    qword ptr [esp]"},
    {"DE 0E", "fimul   word ptr [esi]"},
    {"D9 7D FE", "fnstcw  word ptr [ebp-$02]"},
    {"D9 30", "fnstenv [eax]"},
    {"D8 C1", "fadd    st(0), st(1)"},
    {"DC C1", "fadd    st(1), st(0)"},
    {"DE C1", "faddp   st(1), st(0)"},
    {"DE D9", "fcompp"},
    {"D9 C9", "fxch    st(1)"},
    {"DD D8", "fstp    st(0)"},
    {"DF E0", "fnstsw  ax"},
    {"D9 E8", "fld1"},
    {"D9 EE", "fldz"},
    {"DB F1", "fcomi   st(0), st(1)"},
    {"DF E9", "fucomip st(0), st(1)"},
    {"DA C1", "fcmovb  st(0), st(1)"},
    {"DB E3", "fninit"},
    {"D9 D8", "DB      $D9, $D8  //"},
    // MMX
    {"0F 6F C1", "movq    MM0, MM1"},
    {"0F 6F 00", "movq    MM0, qword ptr [eax]"},
    {"0F 6E C0", "movd    MM0, eax"},
    {"0F 7E C8", "movd    eax, MM1"},
    {"0F 7F 00", "movq    [eax], MM0"},
    {"0F EF C0", "pxor    MM0, MM0"},
    {"0F FE CA", "paddd   MM1, MM2"},
    {"0F 71 D0 04", "psrlw   MM0, $04"},
    {"0F 72 E1 02", "psrad   MM1, $02"},
    {"0F 73 F2 08", "psllq   MM2, $08"},
    {"0F 77", "emms"},
    // CMOVcc, SETcc and the other P6 additions
    {"0F 44 C1", "cmovz   eax, ecx"},
    {"0F 4F 45 08", "cmovnle eax, [ebp+$08]"},
    {"0F 42 04 24", "cmovb   eax, [esp]"},
    {"66 0F 45 C1", "cmovnz  ax, cx"},
    {"0F 94 C0", "setz    al"},
    {"0F 9F 45 FF", "setnle  byte ptr [ebp-$01]"},
    {"0F A2", "cpuid"},
    {"0F 31", "rdtsc"},
    {"0F C7 0E", "cmpxchg8b qword ptr [esi]"},
    {"0F C8", "bswap   eax"},
    {"0F A4 C2 04", "shld    edx, eax, $04"},
    {"0F AD C2", "shrd    edx, eax, cl"},
    {"0F C1 08", "xadd    [eax], ecx"},
    {"0F AF C1", "imul    eax, ecx"},
    {"0F 00 C0", "sldt    ax"},
    // multi-byte NOP, hints and the groups of 0F 01 and 0F BA
    {"0F 1F 00", "nop     [eax]"},
    {"0F 1F 40 00", "nop     [eax+$00]"},
    {"0F 1F 44 00 00", "nop     [eax+eax+$00]"},
    {"66 0F 1F 44 00 00", "nop     word ptr [eax+eax+$00]"},
    {"0F 1F 80 00 00 00 00", "nop     [eax+$0000]"},
    {"0F 1F 84 00 00 00 00 00", "nop     [eax+eax+$0000]"},
    {"66 2E 0F 1F 84 00 00 00 00 00", "nop     word ptr cs:[eax+eax+$0000]"},
    {"0F 18 08", "prefetcht0 [eax]"},
    {"0F 18 00", "prefetchnta [eax]"},
    {"0F 01 15 00 10 40 00", "lgdt    [$401000]"},
    {"0F 01 08", "sidt    [eax]"},
    {"0F 01 E0", "smsw    ax"},
    {"0F 01 38", "invlpg  [eax]"},
    {"0F 01 D0", "DB      $0F, $01, $D0  //"},
    {"0F BA E0 05", "bt      eax, $05"},
    {"0F BA 6D 08 1F", "bts     [ebp+$08], $1F"},
    {"0F BA 20 05", "bt      [eax], $05"},
    {"0F BA 00 05", "DB      $0F, $BA, $00, $05  //[eax], $05"},
    {"0F AE 00", "fxsave  [eax]"},
    // not instructions
    {"0F FF", "DB      $0F, $FF  //"},
    {"0F 10 C1", "DB      $0F, $10  //", 2},
    {"8D C0", "DB      $8D, $C0  //"},
};

TEST(DisAsmText, GoldenForms)
{
    TDisAsm d;
    CheckCases(d, GoldenForms, std::size(GoldenForms));
}

TEST(DisAsmText, BoundsOfTheCopy)
{
    TDisAsm d;
    std::string text;
    const TCase cases[] = {
        // crossing the end of the readable copy
        {"E8 00 00", "DB      $E8", 1},
        {"8B", "DB      $8B", 1},
        {"8B 04", "DB      $8B", 1},
        {"66", "DB      $66", 1},
        {"0F", "DB      $0F", 1},
        {"C6 00", "DB      $C6", 1},
        {"DD", "DB      $DD", 1},
        // fourteen prefixes and an opcode are the longest instruction
        {"66 66 66 66 66 66 66 66 66 66 66 66 66 66 90", "nop", 15},
        {"66 66 66 66 66 66 66 66 66 66 66 66 66 66 66 90", "DB      $66", 1},
        {"2E 2E 2E 2E 2E 2E 2E 2E 2E 2E 2E 2E 2E 2E 2E 2E 2E 2E 2E 2E", "DB      $2E", 1},
        {"66 66 66 66 66 66 66 66 66 66 66 C7 00 34 12", "mov     word ptr [eax], $1234"},
        {"66 66 66 66 66 66 66 66 66 66 66 66 C7 00 34 12", "DB      $66", 1},
    };
    CheckCases(d, cases, std::size(cases));
    EXPECT_EQ(0u, d.DisassembleInstruction(nullptr, 0, 0, text));
    EXPECT_EQ("", text);
}

struct THookLog {
    std::vector<std::string> calls;
};

std::string Hex8(uint32_t v)
{
    char b[16];
    snprintf(b, sizeof b, "%08X", v);
    return b;
}

TEST(DisAsmText, HooksSeeTargetsAndValuesAndTheirTextIsFinal)
{
    THookLog log;
    TDisAsm d;
    d.UserData = reinterpret_cast<uintptr_t>(&log);
    d.OnJumpTarget = [](uintptr_t u, uint32_t a, uint32_t v, std::string& t) {
        reinterpret_cast<THookLog*>(u)->calls.push_back("j " + Hex8(a) + " " + Hex8(v) + " " + t);
        t = "Unit.Loop %s";
    };
    d.OnCallTarget = [](uintptr_t u, uint32_t a, uint32_t v, std::string& t) {
        reinterpret_cast<THookLog*>(u)->calls.push_back("c " + Hex8(a) + " " + Hex8(v) + " " + t);
        t = "System.@HandleFinally %c";
    };
    d.OnAddressValue = [](uintptr_t u, uint32_t a, uint32_t v, std::string& t) {
        reinterpret_cast<THookLog*>(u)->calls.push_back("a " + Hex8(a) + " " + Hex8(v) + " " + t);
        if (v == 0x00405000)
            t = "gvar";
    };
    d.OnMemoryOperand = [](uintptr_t u, uint32_t a, uint32_t v, std::string& t) {
        reinterpret_cast<THookLog*>(u)->calls.push_back("m " + Hex8(a) + " " + t);
    };
    d.OnImmediate = [](uintptr_t u, uint32_t a, uint32_t v, int size, std::string& t, int ext) {
        reinterpret_cast<THookLog*>(u)->calls.push_back("i " + Hex8(a) + " " + Hex8(v) + " " +
                                                        std::to_string(size) + " " +
                                                        std::to_string(ext) + " " + t);
        if (size == 4 && !ext)
            t += "  ; 'Fmt %s %c'" + std::string(300, 'x');
    };
    const std::string longText = "push    $00401000  ; 'Fmt %s %c'" + std::string(300, 'x');
    const TCase cases[] = {
        {"EB 05", "jmp     Unit.Loop %s"},
        {"E8 FB 0F 00 00", "call    System.@HandleFinally %c"},
        {"C6 05 00 50 40 00 05", "mov     byte ptr [gvar], $05"},
        {"68 00 10 40 00", longText.c_str()},
        {"83 C4 08", "add     esp, $08"},
    };
    std::string text;
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.bytes);
        std::vector<uint8_t> code = Bytes(c.bytes);
        EXPECT_EQ(code.size(), d.DisassembleInstruction(code.data(), code.size(), 0x00401000, text));
        EXPECT_EQ(c.text, text);
    }
    const std::vector<std::string> expected = {
        "j 00401001 00401007 +$05",
        "c 00401001 00402000 +$00000FFB",
        "a 00401002 00405000 $405000",
        "m 00401001 [gvar]",
        "i 00401006 00000005 1 0 $05",
        "i 00401001 00401000 4 0 $00401000",
        "i 00401002 00000008 1 1 $08",
    };
    EXPECT_EQ(expected, log.calls);
}

}  // namespace
