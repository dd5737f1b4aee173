#include "crashreport/capture/EAsmListing.h"

#include <algorithm>
#include <cstdio>
#include <vector>

#include "crashreport/capture/EDisAsm.h"
#if __has_include("crashreport/capture/EInstruction.h")
#include "crashreport/capture/EInstruction.h"
#define HAVE_LENGTH_DECODER 1
#else
#define HAVE_LENGTH_DECODER 0
#endif

namespace {

constexpr uint32_t ListingReach = 70;
constexpr int InstructionsBefore = 10;
constexpr int InstructionsAfter = 10;

std::string Hex8(uint32_t v)
{
    char b[9];
    snprintf(b, sizeof b, "%08X", v);
    return b;
}

std::string TrimRight(std::string s)
{
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t'))
        s.pop_back();
    return s;
}

std::string Trim(const std::string& s)
{
    size_t a = s.find_first_not_of(" \t");
    return a == std::string::npos ? std::string() : TrimRight(s.substr(a));
}

std::string WithoutExtension(const std::string& unit)
{
    size_t dot = unit.rfind('.');
    return dot == std::string::npos ? unit : unit.substr(0, dot);
}

std::string JoinLocation(const TCodeLocation& loc)
{
    std::string out;
    for (const std::string& part : {WithoutExtension(loc.UnitName), loc.ClassName, loc.ProcedureName}) {
        if (part.empty())
            continue;
        if (!out.empty())
            out.push_back('.');
        out += part;
    }
    return out;
}

struct THookContext {
    TListingMemory& memory;
    TListingSymbols& symbols;
};

void SymbolHook(uintptr_t user, uint32_t, uint32_t value, std::string& text)
{
    THookContext& c = *reinterpret_cast<THookContext*>(user);
    TCodeLocation loc;
    c.symbols.LookupWithDebugSource(value, loc);
    if (loc.Kind >= 2 && loc.Kind <= 4) {
        text = JoinLocation(loc);
        if (loc.LineDistance > 1)
            text += " (Line=" + std::to_string(loc.Line) + ")";
        return;
    }
    std::string name;
    if (c.symbols.ObjectClassName(value, name))
        text = name;
}

void StringHook(uintptr_t user, uint32_t, uint32_t value, int size, std::string& text, int signExtended)
{
    if (size != 4 || signExtended)
        return;
    THookContext& c = *reinterpret_cast<THookContext*>(user);
    if (!c.memory.IsReadable(value, 1))
        return;
    std::string chars;
    bool terminated = false;
    for (uint32_t i = 0; i < 32; ++i) {
        uint8_t ch = 0;
        if (!c.memory.Read(value + i, &ch, 1))
            break;
        if (ch == 0) {
            terminated = true;
            break;
        }
        chars.push_back(ch < 32 ? '.' : static_cast<char>(ch));
    }
    text += "  ; '" + chars + "'";
    if (!terminated)
        text += "...";
}

bool OwnLength(const uint8_t* code, size_t count, uint32_t& length)
{
#if HAVE_LENGTH_DECODER
    // the hooking code's decoder measures, as it does for the trampolines
    size_t n = 0;
    bool ok = InstructionLength(code, count, n);
    length = static_cast<uint32_t>(n);
    return ok;
#else
    static const TDisAsm plain;
    std::string text;
    length = plain.DisassembleInstruction(code, count, 0, text);
    return length != 0 && text.rfind("DB", 0) != 0;
#endif
}

}  // namespace

TAsmListing BuildAssemblerListing(uint32_t exceptionAddress, TListingMemory& memory, TListingSymbols& symbols,
                                  const std::string& titleText, TInstructionLengthProc lengthOf)
{
    TAsmListing result;
    const uint32_t ex = exceptionAddress;
    if (!memory.IsReadable(ex, 4))
        return result;
    if (!lengthOf)
        lengthOf = OwnLength;

    // The readable stretch round the fault, copied once; decoding never reads past it.
    uint32_t lo = ex, hi = ex + 3;
    while (ex - lo < ListingReach && lo > 0 && memory.IsReadable(lo - 1, 1))
        --lo;
    while (hi - ex < ListingReach && hi < 0xFFFFFFFFu && memory.IsReadable(hi + 1, 1))
        ++hi;
    std::vector<uint8_t> code(static_cast<size_t>(hi - lo) + 1);
    if (!memory.Read(lo, code.data(), code.size()))
        return result;
    auto at = [&](uint32_t a) { return code.data() + (a - lo); };
    auto left = [&](uint32_t a) { return static_cast<size_t>(hi - a) + 1; };
    auto step = [&](uint32_t a) {
        uint32_t n = 0;
        if (!lengthOf(at(a), left(a), n) || n == 0)
            n = 1;
        return n;
    };

    // The first candidate whose chain of instructions lands on the fault.
    uint32_t start = ex;
    for (uint32_t c = lo; c < ex; ++c) {
        uint32_t a = c;
        while (a < ex)
            a += step(a);
        if (a == ex) {
            start = c;
            break;
        }
    }
    std::vector<uint32_t> before;
    for (uint32_t a = start; a < ex; a += step(a))
        before.push_back(a);
    if (before.size() > InstructionsBefore)
        start = before[before.size() - InstructionsBefore];

    THookContext context{memory, symbols};
    TDisAsm d;
    d.OnJumpTarget = SymbolHook;
    d.OnCallTarget = SymbolHook;
    d.OnAddressValue = SymbolHook;
    d.OnImmediate = StringHook;
    d.UserData = reinterpret_cast<uintptr_t>(&context);

    std::vector<std::string> lines;
    size_t longestCode = 0, keepFrom = 0;
    std::string prevLocation, prevLineInfo;
    int after = 0;
    std::string text;
    for (uint32_t a = start; a <= hi;) {
        // Before the fault the bytes end at it: an instruction the length decoder measured
        // differently can't swallow the faulting one.
        size_t count = a < ex ? std::min<size_t>(left(a), ex - a) : left(a);
        uint32_t len = d.DisassembleInstruction(at(a), count, a, text);
        if (len == 0)
            break;
        std::string line = Hex8(a) + "  " + text;
        size_t semi = line.find(';');
        longestCode = std::max(longestCode, Trim(line.substr(0, semi)).size());
        if (a == ex)
            line += "  ; <-- EXCEPTION";

        TCodeLocation loc;
        symbols.LookupWithDebugSource(a, loc);
        std::string location, lineInfo;
        if (loc.Kind >= 2 && loc.Kind <= 4) {
            location = JoinLocation(loc);
            lineInfo = "Line=" + std::to_string(loc.Line) + " - Offset=" + std::to_string(loc.LineDistance);
        }
        bool locationChanged = location != prevLocation;
        bool lineChanged = lineInfo != prevLineInfo;
        if (locationChanged || lineChanged) {
            std::string heading;
            // Code without debug data has neither: its heading is empty, not "()".
            if (locationChanged && !location.empty())
                heading = location + " ";
            if (lineChanged)
                heading += heading.empty() ? lineInfo : "(" + lineInfo + ")";
            heading = TrimRight(heading);
            if (locationChanged && a <= ex)
                keepFrom = lines.size();
            if (!lines.empty())
                lines.push_back(";");
            lines.push_back("; " + heading);
            lines.push_back("; " + std::string(heading.size(), '-'));
        }
        prevLocation = location;
        prevLineInfo = lineInfo;
        lines.push_back(line);

        uint8_t op = *at(a);
        if (a > ex) {
            ++after;
            if (after >= InstructionsAfter || (op >= 0xC2 && op <= 0xCB))
                break;
        }
        if (hi - a < len)
            break;
        a += len;
    }

    lines.erase(lines.begin(), lines.begin() + static_cast<long>(std::min(keepFrom, lines.size())));
    if (!lines.empty() && lines.front() == ";")
        lines.erase(lines.begin());

    const size_t column = longestCode + 2;
    size_t longestLine = 0;
    for (std::string& line : lines) {
        size_t semi = line.find(';', 1);
        if (semi != std::string::npos && semi < column) {
            std::string codePart = TrimRight(line.substr(0, semi));
            line = codePart + std::string(column - codePart.size(), ' ') + line.substr(semi);
        }
        longestLine = std::max(longestLine, line.size());
        result.Text += line + "\r\n";
    }
    std::string title = titleText + ":";
    result.Title = title + "\r\n" + std::string(std::max(longestLine, title.size() + 1), '-');
    return result;
}

std::string BuildCpuSection(const TCpuRegisters* r, uint32_t stackPointer, uint32_t exceptionAddress,
                            TListingMemory& memory, const TCpuSectionTexts& texts)
{
    auto reg = [&](uint32_t TCpuRegisters::*field) { return r ? Hex8(r->*field) : std::string("????    "); };
    std::string stackTitle = texts.Stack + ":";
    if (stackTitle.size() < 21)
        stackTitle.resize(21, ' ');
    std::string dump;
    uint8_t stack[64], bytes[256];
    if (memory.IsReadable(stackPointer, sizeof stack) && memory.IsReadable(exceptionAddress, sizeof bytes) &&
        memory.Read(stackPointer, stack, sizeof stack) && memory.Read(exceptionAddress, bytes, sizeof bytes)) {
        static const char hex[] = "0123456789ABCDEF";
        for (int i = 0; i < 16; ++i) {
            uint32_t value = stack[4 * i] | stack[4 * i + 1] << 8 | stack[4 * i + 2] << 16 |
                             static_cast<uint32_t>(stack[4 * i + 3]) << 24;
            dump += Hex8(stackPointer + 4 * i) + ": " + Hex8(value) + "   " + Hex8(exceptionAddress + 16 * i) + ": ";
            const uint8_t* row = bytes + 16 * i;
            for (int k = 0; k < 16; ++k) {
                dump.push_back(hex[row[k] >> 4]);
                dump.push_back(hex[row[k] & 15]);
                dump.push_back(' ');
            }
            dump.push_back(' ');
            for (int k = 0; k < 16; ++k)
                dump.push_back(row[k] < 32 || row[k] > 126 ? '.' : static_cast<char>(row[k]));
            dump += "\r\n";
        }
    }
    return texts.Registers + ":\r\n-----------------------------\r\n" +
           "EAX: " + reg(&TCpuRegisters::Eax) + "   EDI: " + reg(&TCpuRegisters::Edi) + "\r\n" +
           "EBX: " + reg(&TCpuRegisters::Ebx) + "   ESI: " + reg(&TCpuRegisters::Esi) + "\r\n" +
           "ECX: " + reg(&TCpuRegisters::Ecx) + "   ESP: " + reg(&TCpuRegisters::Esp) + "\r\n" +
           "EDX: " + reg(&TCpuRegisters::Edx) + "   EIP: " + reg(&TCpuRegisters::Eip) + "\r\n\r\n" +
           stackTitle + texts.MemoryDump + ":\r\n" +
           "------------------   ---------------------------------------------------------------------------\r\n" +
           dump;
}
