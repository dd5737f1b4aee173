// TDisAsm against Capstone and objdump: wherever both agree on an instruction's length, ours
// must be the same, unless the form is in the documented exclusion list (ExcludedForm). The
// whole DLLs and a million random windows with VIDUDO_DISASM_FULL=1 (as CTest runs it), else a
// sample.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <random>
#include <string>

#include "crashreport/capture/EDisAsm.h"
#include "crashreport/capture/EInstruction.h"
#include "tests/crashreport/capture/DisAsmReference.h"

namespace {

bool FullRun()
{
    const char* v = getenv("VIDUDO_DISASM_FULL");
    return v && *v == '1';
}

std::string HexBytes(const uint8_t* b, size_t n)
{
    std::string s;
    char t[4];
    for (size_t i = 0; i < n; ++i) {
        snprintf(t, sizeof t, "%02X ", b[i]);
        s += t;
    }
    return s;
}

struct TLengthReport {
    size_t compared = 0, excluded = 0, mismatches = 0;
    std::map<std::string, size_t> exclusions;
    std::vector<std::string> samples;
};

void CompareLengths(const std::vector<TWindow>& windows, TLengthReport& report)
{
    TCapstone cs(false);
    std::vector<TRefDecode> od = ObjdumpWindows(windows);
    ASSERT_EQ(windows.size(), od.size());
    TDisAsm d;
    std::string text;
    for (size_t i = 0; i < windows.size(); ++i) {
        const uint8_t* w = windows[i].bytes;
        TRefDecode c = cs.Decode(w, WindowSize, 0x00401000);
        if (!c.length || c.length != od[i].length)
            continue;
        if (const char* why = ExcludedForm(w)) {
            ++report.excluded;
            ++report.exclusions[why];
            continue;
        }
        ++report.compared;
        uint32_t ours = d.DisassembleInstruction(w, WindowSize, 0x00401000, text);
        if (ours != c.length) {
            ++report.mismatches;
            if (report.samples.size() < 40)
                report.samples.push_back(HexBytes(w, c.length) + "| ours " + std::to_string(ours) + " '" + text +
                                         "' | capstone '" + c.mnemonic + " " + c.operands + "' | objdump '" +
                                         od[i].mnemonic + " " + od[i].operands + "'");
        }
    }
}

void ExpectNoMismatch(const TLengthReport& r, const char* what)
{
    for (const std::string& s : r.samples)
        ADD_FAILURE() << s;
    EXPECT_EQ(0u, r.mismatches) << what << ": " << r.compared << " compared";
    EXPECT_GT(r.compared, 0u);
    printf("%s: %zu compared, %zu excluded\n", what, r.compared, r.excluded);
    for (const auto& [why, n] : r.exclusions)
        printf("  excluded %7zu  %s\n", n, why.c_str());
}

TEST(DisAsmAgainstReferences, OpcodeGridLengths)
{
    TLengthReport r;
    CompareLengths(OpcodeGrid(), r);
    ExpectNoMismatch(r, "grid");
}

TEST(DisAsmAgainstReferences, RandomWindowLengths)
{
    TLengthReport r;
    CompareLengths(RandomWindows(FullRun() ? 1000000 : 40000, 20261210), r);
    ExpectNoMismatch(r, "random windows");
}

TEST(DisAsmAgainstReferences, WineDllsLengthsAndOperands)
{
    const char* dir = "/usr/lib/i386-linux-gnu/wine/i386-windows/";
    TCapstone cs(true);
    TDisAsm d;
    std::string text, mnemonic;
    size_t structural = 0, matched = 0;
    std::map<std::string, size_t> classes;
    TLengthReport lengths;
    const size_t perDll = FullRun() ? SIZE_MAX : 25000;
    for (const char* dll : {"ntdll.dll", "kernelbase.dll", "msvcrt.dll", "user32.dll"}) {
        SCOPED_TRACE(dll);
        std::vector<TCodeRange> ranges;
        uint32_t base = 0;
        ASSERT_TRUE(ExportRanges(std::string(dir) + dll, ranges, base));
        // an even sample of the exported procedures
        size_t total = 0;
        for (const TCodeRange& r : ranges)
            total += r.bytes.size();
        size_t step = std::max<size_t>(1, total / 3 / perDll);
        std::vector<TWindow> windows;
        for (size_t ri = 0; ri < ranges.size() && windows.size() < perDll; ri += step) {
            const TCodeRange& r = ranges[ri];
            for (size_t at = 0; at < r.bytes.size();) {
                TWindow w{};
                size_t n = std::min(WindowSize, r.bytes.size() - at);
                memcpy(w.bytes, &r.bytes[at], n);
                uint32_t len = d.DisassembleInstruction(&r.bytes[at], r.bytes.size() - at, r.address + at, text);
                windows.push_back(w);
                std::vector<int> ours = OperandKinds(text, mnemonic);
                TRefDecode c = cs.Decode(&r.bytes[at], r.bytes.size() - at, r.address + at);
                if (c.length == len && text.rfind("DB", 0) != 0 && !ExcludedForm(w.bytes)) {
                    ++structural;
                    if (ours == c.kinds)
                        ++matched;
                    else
                        ++classes[c.mnemonic + " (ours " + mnemonic + ")"];
                }
                at += len;
            }
        }
        CompareLengths(windows, lengths);
    }
    ExpectNoMismatch(lengths, "Wine DLLs");
    double share = structural ? 100.0 * matched / structural : 0;
    printf("Wine DLLs: %zu of %zu operand structures match (%.3f %%); mismatch classes:\n", matched, structural, share);
    for (const auto& [what, n] : classes)
        printf("  %7zu  %s\n", n, what.c_str());
    EXPECT_GE(share, 99.9);
}

TEST(DisAsmAgainstReferences, LengthDecoderAgreesWhereBothDecode)
{
    // The hooking code's length decoder and ours on the grid, random windows and DLL code.
    std::vector<TWindow> windows = OpcodeGrid();
    std::vector<TWindow> random = RandomWindows(FullRun() ? 1000000 : 40000, 99);
    windows.insert(windows.end(), random.begin(), random.end());
    TDisAsm d;
    std::string text;
    for (const char* dll : {"ntdll.dll", "msvcrt.dll"}) {
        std::vector<TCodeRange> ranges;
        uint32_t base = 0;
        ASSERT_TRUE(ExportRanges(std::string("/usr/lib/i386-linux-gnu/wine/i386-windows/") + dll, ranges, base));
        for (const TCodeRange& r : ranges)
            for (size_t at = 0; at < r.bytes.size() && windows.size() < 600000;) {
                TWindow w{};
                memcpy(w.bytes, &r.bytes[at], std::min(WindowSize, r.bytes.size() - at));
                windows.push_back(w);
                at += d.DisassembleInstruction(&r.bytes[at], r.bytes.size() - at, 0, text);
            }
    }
    size_t compared = 0, mismatches = 0;
    for (const TWindow& w : windows) {
        size_t theirs = 0;
        if (!InstructionLength(w.bytes, WindowSize, theirs))
            continue;
        uint32_t ours = d.DisassembleInstruction(w.bytes, WindowSize, 0, text);
        if (text.rfind("DB", 0) == 0)
            continue;
        ++compared;
        if (ours == theirs)
            continue;
        if (++mismatches <= 40)
            ADD_FAILURE() << HexBytes(w.bytes, WindowSize) << "| ours " << ours << " '" << text
                          << "', InstructionLength " << theirs;
    }
    printf("length decoder: %zu compared\n", compared);
    EXPECT_EQ(0u, mismatches) << compared << " compared";
    EXPECT_GT(compared, windows.size() / 2);
}

TEST(DisAsmAgainstReferences, NoReadOutsideTheBuffer)
{
    // exactly sized on the heap: AddressSanitizer sees the first byte read past it
    const size_t size = 1 << 20;
    std::unique_ptr<uint8_t[]> code(new uint8_t[size]);
    std::mt19937 gen(7);
    for (size_t i = 0; i < size; ++i)
        code[i] = static_cast<uint8_t>(gen());
    TDisAsm d;
    std::string text;
    size_t at = 0, count = 0;
    while (at < size) {
        uint32_t len = d.DisassembleInstruction(&code[at], size - at, static_cast<uint32_t>(at), text);
        ASSERT_GE(len, 1u);
        ASSERT_LE(len, std::min<size_t>(15, size - at));
        at += len;
        ++count;
    }
    for (size_t tail = 1; tail <= 16; ++tail)
        EXPECT_LE(d.DisassembleInstruction(&code[size - tail], tail, 0, text), tail);
    EXPECT_GT(count, size / 8);
}

}  // namespace
