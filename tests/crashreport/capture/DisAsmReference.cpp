#include "tests/crashreport/capture/DisAsmReference.h"

#include <capstone/capstone.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <random>
#include <unistd.h>

TCapstone::TCapstone(bool detail)
{
    csh h = 0;
    if (cs_open(CS_ARCH_X86, CS_MODE_32, &h) != CS_ERR_OK)
        abort();
    handle_ = h;
    if (detail)
        cs_option(h, CS_OPT_DETAIL, CS_OPT_ON);
    insn_ = cs_malloc(h);
}

TCapstone::~TCapstone()
{
    cs_free(static_cast<cs_insn*>(insn_), 1);
    csh h = handle_;
    cs_close(&h);
}

TRefDecode TCapstone::Decode(const uint8_t* code, size_t count, uint32_t address)
{
    TRefDecode r;
    cs_insn* insn = static_cast<cs_insn*>(insn_);
    const uint8_t* p = code;
    size_t n = count;
    uint64_t a = address;
    if (!cs_disasm_iter(handle_, &p, &n, &a, insn))
        return r;
    r.length = insn->size;
    r.mnemonic = insn->mnemonic;
    r.operands = insn->op_str;
    if (insn->detail) {
        const cs_x86& x = insn->detail->x86;
        for (int i = 0; i < x.op_count; ++i) {
            const cs_x86_op& o = x.operands[i];
            if (o.type == X86_OP_REG && o.reg >= X86_REG_ST0 && o.reg <= X86_REG_ST7)
                continue;  // x87 stack registers are left out on both sides: Capstone drops st(0)
            if (o.type == X86_OP_IMM && (x.opcode[0] == 0xD0 || x.opcode[0] == 0xD1))
                continue;  // the shift count 1 is part of the opcode
            r.kinds.push_back(o.type == X86_OP_REG ? 'r' : o.type == X86_OP_IMM ? 'i' : 'm');
        }
    }
    return r;
}

std::vector<TRefDecode> ObjdumpWindows(const std::vector<TWindow>& windows)
{
    constexpr size_t stride = 2 * WindowSize;  // the padding of NOPs lets objdump find each window
    std::vector<TRefDecode> out(windows.size());
    char path[] = "/tmp/disasm_windows_XXXXXX";
    int fd = mkstemp(path);
    if (fd < 0)
        return out;
    {
        std::vector<uint8_t> file(windows.size() * stride, 0x90);
        for (size_t i = 0; i < windows.size(); ++i)
            memcpy(&file[i * stride], windows[i].bytes, WindowSize);
        size_t done = 0;
        while (done < file.size()) {
            ssize_t w = write(fd, file.data() + done, file.size() - done);
            if (w <= 0)
                break;
            done += static_cast<size_t>(w);
        }
        close(fd);
    }
    std::string cmd = std::string("objdump -D -b binary -m i386 -M intel --no-show-raw-insn ") + path;
    FILE* f = popen(cmd.c_str(), "r");
    if (!f) {
        unlink(path);
        return out;
    }
    char line[512];
    long pending = -1;  // window whose first instruction waits for the next address
    std::string pendingText;
    while (fgets(line, sizeof line, f)) {
        char* colon = strchr(line, ':');
        if (!colon || line[0] != ' ')
            continue;
        char* end = nullptr;
        unsigned long addr = strtoul(line, &end, 16);
        if (end != colon || colon[1] != '\t')
            continue;
        std::string text = colon + 2;
        while (!text.empty() && (text.back() == '\n' || text.back() == ' '))
            text.pop_back();
        if (pending >= 0) {
            TRefDecode& r = out[pending];
            if (pendingText.rfind("(bad)", 0) != 0 && addr > static_cast<unsigned long>(pending) * stride) {
                r.length = static_cast<uint32_t>(addr - pending * stride);
                size_t sp = pendingText.find(' ');
                r.mnemonic = pendingText.substr(0, sp);
                r.operands = sp == std::string::npos ? "" : pendingText.substr(pendingText.find_first_not_of(' ', sp));
            }
            pending = -1;
        }
        if (addr % stride == 0 && addr / stride < windows.size()) {
            pending = static_cast<long>(addr / stride);
            pendingText = text;
        }
    }
    pclose(f);
    unlink(path);
    return out;
}

std::vector<TWindow> OpcodeGrid()
{
    std::vector<TWindow> grid;
    const uint8_t tail[] = {0x78, 0x56, 0x34, 0x12, 0x9A, 0xBC, 0xDE, 0xF0, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66};
    auto add = [&](std::initializer_list<uint8_t> head) {
        TWindow w;
        size_t n = 0;
        for (uint8_t b : head)
            w.bytes[n++] = b;
        for (size_t i = 0; n < WindowSize; ++i)
            w.bytes[n++] = tail[i % sizeof tail];
        grid.push_back(w);
    };
    for (int op = 0; op < 256; ++op)
        for (int m = 0; m < 256; ++m) {
            uint8_t sib = static_cast<uint8_t>(op * 37 + m * 11 + 5);
            uint8_t o = static_cast<uint8_t>(op), r = static_cast<uint8_t>(m);
            add({o, r, sib});
            add({0x66, o, r, sib});
            add({0x67, o, r, sib});
            add({0x2E, o, r, sib});
            add({0x0F, o, r, sib});
        }
    for (uint8_t m : {0x04, 0x44, 0x84, 0x3C})
        for (int sib = 0; sib < 256; ++sib) {
            add({0x8B, m, static_cast<uint8_t>(sib)});
            add({0xF7, static_cast<uint8_t>(m ^ 0x38), static_cast<uint8_t>(sib)});
        }
    return grid;
}

std::vector<TWindow> RandomWindows(size_t count, uint32_t seed)
{
    std::mt19937 gen(seed);
    std::vector<TWindow> out(count);
    for (TWindow& w : out)
        for (uint8_t& b : w.bytes)
            b = static_cast<uint8_t>(gen());
    return out;
}

namespace {
uint32_t U32(const std::vector<uint8_t>& f, size_t at) { return at + 4 <= f.size() ? f[at] | f[at + 1] << 8 | f[at + 2] << 16 | static_cast<uint32_t>(f[at + 3]) << 24 : 0; }
uint16_t U16(const std::vector<uint8_t>& f, size_t at) { return at + 2 <= f.size() ? static_cast<uint16_t>(f[at] | f[at + 1] << 8) : 0; }
}  // namespace

bool ExportRanges(const std::string& path, std::vector<TCodeRange>& ranges, uint32_t& imageBase)
{
    std::ifstream in(path, std::ios::binary);
    std::vector<uint8_t> f((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (f.size() < 0x40 || f[0] != 'M' || f[1] != 'Z')
        return false;
    uint32_t pe = U32(f, 0x3C);
    if (U32(f, pe) != 0x4550 || U16(f, pe + 4) != 0x14C)
        return false;
    uint16_t sections = U16(f, pe + 6), optSize = U16(f, pe + 20);
    size_t opt = pe + 24;
    if (U16(f, opt) != 0x10B)
        return false;
    imageBase = U32(f, opt + 28);
    uint32_t expRva = U32(f, opt + 96), expSize = U32(f, opt + 100);
    struct TSection { uint32_t va, vsize, raw, rawSize, flags; };
    std::vector<TSection> secs;
    for (size_t i = 0, s = opt + optSize; i < sections; ++i, s += 40)
        secs.push_back({U32(f, s + 12), U32(f, s + 8), U32(f, s + 20), U32(f, s + 16), U32(f, s + 36)});
    auto fileOffset = [&](uint32_t rva, const TSection** in) -> size_t {
        for (const TSection& s : secs)
            if (rva >= s.va && rva < s.va + std::max(s.vsize, s.rawSize)) {
                if (in)
                    *in = &s;
                return rva - s.va < s.rawSize ? s.raw + (rva - s.va) : 0;
            }
        return 0;
    };
    size_t exp = fileOffset(expRva, nullptr);
    if (!exp)
        return false;
    uint32_t count = U32(f, exp + 20);
    size_t funcs = fileOffset(U32(f, exp + 28), nullptr);
    std::vector<uint32_t> rvas;
    for (uint32_t i = 0; i < count && funcs; ++i) {
        uint32_t rva = U32(f, funcs + 4 * i);
        const TSection* s = nullptr;
        if (rva && !(rva >= expRva && rva < expRva + expSize) && fileOffset(rva, &s) && (s->flags & 0x20))
            rvas.push_back(rva);
    }
    std::sort(rvas.begin(), rvas.end());
    rvas.erase(std::unique(rvas.begin(), rvas.end()), rvas.end());
    for (size_t i = 0; i < rvas.size(); ++i) {
        const TSection* s = nullptr;
        size_t off = fileOffset(rvas[i], &s);
        uint32_t end = std::min(s->va + std::min(s->vsize, s->rawSize), i + 1 < rvas.size() ? rvas[i + 1] : 0xFFFFFFFFu);
        if (end <= rvas[i])
            continue;
        TCodeRange r;
        r.address = imageBase + rvas[i];
        r.bytes.assign(f.begin() + off, f.begin() + std::min(f.size(), off + (end - rvas[i])));
        ranges.push_back(std::move(r));
    }
    return !ranges.empty();
}

std::vector<int> OperandKinds(const std::string& text, std::string& mnemonic)
{
    std::vector<int> kinds;
    size_t p = 0;
    for (const char* prefix : {"lock ", "rep ", "repne "})
        if (text.compare(p, strlen(prefix), prefix) == 0)
            p += strlen(prefix);
    size_t sp = text.find(' ', p);
    mnemonic = text.substr(p, sp == std::string::npos ? std::string::npos : sp - p);
    if (sp == std::string::npos)
        return kinds;
    std::string ops = text.substr(text.find_first_not_of(' ', sp));
    size_t start = 0;
    while (start < ops.size()) {
        size_t comma = ops.find(", ", start);
        std::string op = ops.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        if (op.rfind("st(", 0) == 0 || op == "1" || op == "3")
            ;  // x87 stack registers; the implicit 1 of shifts and 3 of "int 3"
        else if (op.find('[') != std::string::npos)
            kinds.push_back('m');
        else if (op[0] == '$' || op[0] == '+' || op[0] == '-' || (op[0] >= '0' && op[0] <= '9'))
            kinds.push_back('i');
        else
            kinds.push_back('r');
        if (comma == std::string::npos)
            break;
        start = comma + 2;
    }
    return kinds;
}

const char* ExcludedForm(const uint8_t* code)
{
    size_t i = 0;
    bool f3 = false, f2 = false, o66 = false;
    while (i < 14 && strchr("\x26\x2E\x36\x3E\x64\x65\x66\x67\xF0\xF2\xF3", code[i]) && code[i]) {
        f3 |= code[i] == 0xF3;
        f2 |= code[i] == 0xF2;
        o66 |= code[i] == 0x66;
        ++i;
    }
    uint8_t op = code[i], modrm = code[i + 1];
    int reg = (modrm >> 3) & 7;
    if (op != 0x0F) {
        if ((op == 0xC4 || op == 0xC5 || op == 0x62) && modrm >= 0xC0)
            return "VEX and EVEX prefixes (AVX and later)";
        if (op == 0x8F && reg != 0)
            return "XOP prefix (AMD)";
        if ((op == 0xF6 || op == 0xF7) && reg == 1)
            return "test group slot 1 (undocumented test alias), written as DB without its immediate";
        return nullptr;
    }
    uint8_t op2 = modrm;
    uint8_t m2 = code[i + 2];
    int reg2 = (m2 >> 3) & 7;
    if (f3 || f2 || o66) {
        if ((op2 >= 0x10 && op2 <= 0x17) || (op2 >= 0x28 && op2 <= 0x2F) || (op2 >= 0x50 && op2 <= 0x7F) ||
            op2 >= 0xC2 || op2 == 0xB8 || op2 == 0xBC || op2 == 0xBD || op2 == 0xAE || op2 == 0x38 || op2 == 0x3A)
            return "SSE and later with a 66, F2 or F3 prefix";
    }
    if ((op2 >= 0x10 && op2 <= 0x17) || (op2 >= 0x28 && op2 <= 0x2F) || (op2 >= 0x50 && op2 <= 0x5F) ||
        op2 == 0x38 || op2 == 0x3A || op2 == 0xC2 || op2 == 0xC3 || op2 == 0xC6 || op2 == 0xD7 ||
        op2 == 0xDA || op2 == 0xDE || op2 == 0xE0 || op2 == 0xE3 || op2 == 0xE4 || op2 == 0xE7 ||
        op2 == 0xEA || op2 == 0xEE || op2 == 0xF6 || op2 == 0xF7 || op2 == 0xD4 || op2 == 0xD6 ||
        op2 == 0xE6 || op2 == 0xF4 || op2 == 0xFB || op2 == 0xD0 || op2 == 0xF0 || op2 == 0x6C || op2 == 0x6D)
        return "SSE and later";
    if (op2 >= 0x78 && op2 <= 0x7D)
        return "VMX and SSE4a";
    if (op2 == 0x0D || op2 == 0x0E || op2 == 0x0F)
        return "3DNow!";
    if (op2 == 0x24 || op2 == 0x26)
        return "test registers (486 only)";
    if (op2 == 0x01 && m2 >= 0xC0 && reg2 != 4 && reg2 != 6)  // smsw and lmsw of a register are decoded
        return "system instructions in 0F 01 register forms (monitor, xgetbv, rdtscp ...), written as DB";
    if (op2 == 0xAE && (m2 >= 0xC0 || reg2 >= 4))
        return "fences, xsave forms and later 0F AE members";
    if (op2 == 0xC7 && reg2 != 1)
        return "later members of 0F C7 (xrstors, xsavec, xsaves, rdrand, rdseed)";
    if (op2 == 0xA6 || op2 == 0xA7)
        return "VIA PadLock";
    if (op2 == 0xFF || op2 == 0xB9 || op2 == 0x0A)
        return "ud0, ud1 forms";
    return nullptr;
}
