// Template expansion. A template is the mnemonic padded to 8 characters and its operands in
// markers: "#" kind size tag for an operand, "@" letter character for registers by operand
// size, prefixes and continuation tables, "%c" for bytes that are no instruction. Expansions
// are written straight into the text, so hook text is never scanned for markers again; the
// size words ("byte ptr " ...) and the "DB" form are applied at the end from remembered
// positions.
#include "crashreport/capture/EDisAsm.h"

#include <iterator>

namespace {

const char* const Reg8[8] = {"al", "cl", "dl", "bl", "ah", "ch", "dh", "bh"};
const char* const Reg16[8] = {"ax", "cx", "dx", "bx", "sp", "bp", "si", "di"};
const char* const Reg32[8] = {"eax", "ecx", "edx", "ebx", "esp", "ebp", "esi", "edi"};
const char* const Base16[8] = {"[bx+si", "[bx+di", "[bp+si", "[bp+di", "[si", "[di", "[bp", "[bx"};
const char* const SegNames[6] = {"es", "cs", "ss", "ds", "fs", "gs"};
const char HexDigits[] = "0123456789ABCDEF";

const char* SizeWord(int size)
{
    switch (size) {
    case 1: return "byte ptr ";
    case 2: return "word ptr ";
    case 4: return "dword ptr ";
    case 8: return "qword ptr ";
    case 10: return "tbyte ptr ";
    default: return "";
    }
}

class TDecoder {
public:
    TDecoder(const TDisAsm& d, const uint8_t* code, size_t count, uint32_t address, std::string& text)
        : d_(d), code_(code), count_(count < MaxInstructionLength ? count : MaxInstructionLength),
          address_(address), text_(text)
    {
    }

    uint32_t Run()
    {
        text_.clear();
        Continue(OneByteTemplates);
        if (overrun_) {
            text_.assign("DB      $");
            AppendHex(code_[0], 2);
            return 1;
        }
        if (showSize_) {
            for (int i = slotCount_ - 1; i >= 0; --i) {
                const char* word = SizeWord(slots_[i].size);
                text_.insert(slots_[i].at, word);
                if (invalid_ && slots_[i].at < invalidAt_)
                    invalidAt_ += std::char_traits<char>::length(word);
            }
        }
        if (invalid_) {
            std::string rest = text_.substr(invalidAt_);
            text_.assign("DB      $");
            AppendHex(code_[0], 2);
            for (size_t i = 1; i < pos_; ++i) {
                text_.append(", $");
                AppendHex(code_[i], 2);
            }
            text_.append("  //");
            text_.append(rest);
        }
        while (!text_.empty() && text_.back() == ' ')
            text_.pop_back();
        return static_cast<uint32_t>(pos_);
    }

private:
    struct TSlot {
        size_t at;
        int size;
    };

    const TDisAsm& d_;
    const uint8_t* code_;
    size_t count_;
    uint32_t address_;
    std::string& text_;
    size_t pos_ = 0;
    int opSize_ = 4;
    int adSize_ = 4;
    int seg_ = -1;
    bool haveModRM_ = false;
    uint8_t modrm_ = 0;
    bool showSize_ = false;
    bool invalid_ = false;
    size_t invalidAt_ = 0;
    bool overrun_ = false;
    TSlot slots_[4];
    int slotCount_ = 0;

    uint8_t Fetch()
    {
        if (pos_ >= count_) {
            overrun_ = true;
            return 0;
        }
        return code_[pos_++];
    }

    uint32_t FetchN(int n)
    {
        uint32_t v = 0;
        for (int i = 0; i < n; ++i)
            v |= static_cast<uint32_t>(Fetch()) << (8 * i);
        return v;
    }

    uint32_t AddressOf(size_t offset) const { return address_ + static_cast<uint32_t>(offset); }

    void Continue(const char* const* table)
    {
        uint8_t b = Fetch();
        if (!overrun_ && table[b])
            Expand(table[b]);
    }

    void EnsureModRM()
    {
        if (!haveModRM_) {
            modrm_ = Fetch();
            haveModRM_ = true;
        }
    }
    int Mod() const { return modrm_ >> 6; }
    int Reg() const { return (modrm_ >> 3) & 7; }
    int Rm() const { return modrm_ & 7; }

    void AppendHex(uint32_t v, int digits)
    {
        char buf[8];
        for (int i = digits - 1; i >= 0; --i) {
            buf[i] = HexDigits[v & 15];
            v >>= 4;
        }
        text_.append(buf, digits);
    }

    // "$" and at least four digits.
    void AppendAddressText(std::string& to, uint32_t v)
    {
        int digits = 4;
        while (digits < 8 && (v >> (4 * digits)) != 0)
            ++digits;
        to.push_back('$');
        for (int i = digits - 1; i >= 0; --i)
            to.push_back(HexDigits[(v >> (4 * i)) & 15]);
    }

    void AppendAddressValue(uint32_t v, size_t operandOffset)
    {
        if (!d_.OnAddressValue) {
            AppendAddressText(text_, v);
            return;
        }
        std::string t;
        AppendAddressText(t, v);
        d_.OnAddressValue(d_.UserData, AddressOf(operandOffset), v, t);
        text_.append(t);
    }

    void AppendSigned8(uint8_t b)
    {
        if (b & 0x80) {
            text_.append("-$");
            AppendHex(static_cast<uint8_t>(-static_cast<int8_t>(b)), 2);
        } else {
            text_.append("+$");
            AppendHex(b, 2);
        }
    }

    void AppendRegister(int reg, int size)
    {
        text_.append(size == 1 ? Reg8[reg] : size == 2 ? Reg16[reg] : Reg32[reg]);
    }

    void MarkInvalid()
    {
        if (!invalid_) {
            invalid_ = true;
            invalidAt_ = text_.size();
        }
    }

    int SizeOf(char letter) const
    {
        switch (letter) {
        case 'a': return opSize_ == 4 ? 8 : 4;
        case 'b': return 1;
        case 'c': return opSize_ == 4 ? 2 : 1;
        case 'd': return 4;
        case 'p': return opSize_ + 2;
        case 'q': return 8;
        case 's': return 6;
        case 't': return 10;
        case 'v': return opSize_;
        case 'w': return 2;
        default: return 0;
        }
    }

    void Expand(const char* t)
    {
        while (*t && !overrun_) {
            if (t[0] == '#' && t[1] && t[2] && t[3]) {
                Operand(t[1], t[2], t[3]);
                t += 4;
            } else if (t[0] == '@' && t[1] && t[2]) {
                Marker(t[1], t[2]);
                t += 3;
            } else if (t[0] == '%' && t[1] == 'c') {
                MarkInvalid();
                t += 2;
            } else {
                text_.push_back(*t++);
            }
        }
    }

    void Marker(char letter, char arg)
    {
        switch (letter) {
        case 'e':
            if (opSize_ == 4)
                text_.push_back('e');
            if (arg != ' ')
                text_.push_back(arg);
            showSize_ = false;
            break;
        case 'o': {
            int size = (arg - '0') * opSize_ / 4;
            text_.push_back(size == 1 ? 'b' : size == 2 ? 'w' : size == 4 ? 'd' : 'q');
            break;
        }
        case 'p':
            for (int i = 0; i < 6; ++i)
                if (SegNames[i][0] == arg)
                    seg_ = i;
            Continue(OneByteTemplates);
            break;
        case 's':
            if (arg == 'o')
                opSize_ = 2;
            else
                adSize_ = 2;
            Continue(OneByteTemplates);
            break;
        case 'r':
            text_.append(arg == 'l' ? "lock " : arg == 'n' ? "repne " : "rep ");
            Continue(OneByteTemplates);
            break;
        case 'c':
            if (arg == '2') {
                Continue(TwoByteTemplates);
            } else {
                const char* const* escape = FloatTemplates[(arg - 'a') & 7];
                EnsureModRM();
                if (overrun_)
                    break;
                // Register forms are whole templates; memory forms keep the ModRM for "#E".
                Expand(Mod() == 3 ? escape[8 + (modrm_ - 0xC0)] : escape[Reg()]);
            }
            break;
        case 'g': {
            int group = arg - 'a';
            EnsureModRM();
            if (!overrun_ && group >= 0 && group < GroupTemplateCount)
                Expand(GroupTemplates[group][Reg()]);
            break;
        }
        case 'h':
            EnsureModRM();
            if (!overrun_)
                Expand(OperandTails[(arg - '1') & 3][Reg()]);
            break;
        case 'm':
            showSize_ = true;
            break;
        default:
            break;
        }
    }

    void SegmentPrefixText()
    {
        if (seg_ >= 0) {
            text_.append(SegNames[seg_]);
            text_.push_back(':');
        }
    }

    void BeginMemory(int size)
    {
        if (slotCount_ < static_cast<int>(std::size(slots_)))
            slots_[slotCount_++] = {text_.size(), size};
        if (size != 0 && size != 4)
            showSize_ = true;
    }

    void EndMemory(size_t start, size_t modrmOffset)
    {
        if (!d_.OnMemoryOperand)
            return;
        std::string t = text_.substr(start);
        d_.OnMemoryOperand(d_.UserData, AddressOf(modrmOffset), 0, t);
        text_.resize(start);
        text_.append(t);
    }

    void MemoryOperand(int size)
    {
        size_t modrmOffset = pos_ - 1;
        BeginMemory(size);
        size_t start = text_.size();
        SegmentPrefixText();
        int mod = Mod(), rm = Rm();
        if (adSize_ == 2) {
            if (mod == 0 && rm == 6) {
                text_.append("[$");
                AppendHex(FetchN(2), 4);
            } else {
                text_.append(Base16[rm]);
                if (mod == 1) {
                    AppendSigned8(Fetch());
                } else if (mod == 2) {
                    text_.append("+$");
                    AppendHex(FetchN(2), 4);
                }
            }
        } else {
            text_.push_back('[');
            if (rm == 4) {
                uint8_t sib = Fetch();
                int base = sib & 7, index = (sib >> 3) & 7, scale = sib >> 6;
                if (base == 5 && mod == 0) {
                    size_t at = pos_;
                    AppendAddressValue(FetchN(4), at);
                } else {
                    text_.append(Reg32[base]);
                }
                if (index != 4) {
                    text_.push_back('+');
                    text_.append(Reg32[index]);
                    if (scale) {
                        text_.push_back('*');
                        text_.push_back("1248"[scale]);
                    }
                }
            } else if (mod == 0 && rm == 5) {
                size_t at = pos_;
                AppendAddressValue(FetchN(4), at);
            } else {
                text_.append(Reg32[rm]);
            }
            if (mod == 1) {
                AppendSigned8(Fetch());
            } else if (mod == 2) {
                text_.push_back('+');
                size_t at = pos_;
                AppendAddressValue(FetchN(4), at);
            }
        }
        text_.push_back(']');
        if (!overrun_)
            EndMemory(start, modrmOffset);
    }

    void Immediate(uint32_t value, int size, size_t at, int signExtended, size_t textStart)
    {
        if (!d_.OnImmediate)
            return;
        std::string t = text_.substr(textStart);
        d_.OnImmediate(d_.UserData, AddressOf(at), value, size, t, signExtended);
        text_.resize(textStart);
        text_.append(t);
    }

    void Relative(int size, char tag)
    {
        size_t start = text_.size();
        size_t at = pos_;
        uint32_t raw = FetchN(size);
        if (overrun_)
            return;
        int32_t offset = size == 1 ? static_cast<int8_t>(raw)
                       : size == 2 ? static_cast<int16_t>(raw)
                                   : static_cast<int32_t>(raw);
        uint32_t target = AddressOf(pos_) + static_cast<uint32_t>(offset);
        if (size == 2)
            target &= 0xFFFF;
        text_.append(offset < 0 ? "-$" : "+$");
        AppendHex(offset < 0 ? 0u - static_cast<uint32_t>(offset) : static_cast<uint32_t>(offset), 2 * size);
        TDisAsmHook hook = tag == 'j' ? d_.OnJumpTarget : tag == 'c' ? d_.OnCallTarget : nullptr;
        if (hook) {
            std::string t = text_.substr(start);
            hook(d_.UserData, AddressOf(at), target, t);
            text_.resize(start);
            text_.append(t);
        }
    }

    void Operand(char kind, char sizeLetter, char tag)
    {
        int size = SizeOf(sizeLetter);
        if (size == 0)
            showSize_ = false;
        switch (kind) {
        case 'A': {
            size_t at = pos_;
            uint32_t offset = FetchN(opSize_);
            FetchN(2);  // the selector
            if (overrun_)
                break;
            SegmentPrefixText();
            if (opSize_ == 4) {
                AppendAddressValue(offset, at);
            } else {
                text_.push_back('$');
                AppendHex(offset, 4);
            }
            break;
        }
        case 'C':
        case 'D':
        case 'T':
            EnsureModRM();
            text_.push_back(kind);
            text_.push_back(static_cast<char>('0' + Reg()));
            showSize_ = false;
            break;
        case 'P':
            EnsureModRM();
            text_.append("MM");
            text_.push_back(static_cast<char>('0' + Reg()));
            showSize_ = false;
            break;
        case 'E':
        case 'M':
        case 'R':
        case 'Q':
            EnsureModRM();
            if (overrun_)
                break;
            if (kind == 'R' || Mod() == 3) {
                if (kind == 'M') {
                    MarkInvalid();
                } else if (kind == 'Q') {
                    text_.append("MM");
                    text_.push_back(static_cast<char>('0' + Rm()));
                } else {
                    AppendRegister(Rm(), size);
                }
            } else {
                MemoryOperand(size);
            }
            break;
        case 'G':
            EnsureModRM();
            AppendRegister(Reg(), size);
            showSize_ = false;
            break;
        case 'H': {
            size_t at = pos_, start = text_.size();
            uint8_t b = Fetch();
            if (overrun_)
                break;
            AppendSigned8(b);
            if (!(b & 0x80))
                text_.erase(start, 1);  // "$08", "-$01"
            uint32_t value = static_cast<uint32_t>(static_cast<int32_t>(static_cast<int8_t>(b)));
            Immediate(opSize_ == 2 ? value & 0xFFFF : value, 1, at, 1, start);
            break;
        }
        case 'I': {
            size_t at = pos_, start = text_.size();
            int n = size ? size : opSize_;
            uint32_t value = FetchN(n > 4 ? 4 : n);
            if (overrun_)
                break;
            text_.push_back('$');
            AppendHex(value, 2 * (n > 4 ? 4 : n));
            Immediate(value, n, at, 0, start);
            break;
        }
        case 'J':
            Relative(sizeLetter == 'b' ? 1 : opSize_, tag);
            break;
        case 'O': {
            size_t at = pos_;
            BeginMemory(size);
            size_t start = text_.size();
            uint32_t offset = FetchN(adSize_);
            if (overrun_)
                break;
            SegmentPrefixText();
            text_.push_back('[');
            if (adSize_ == 4) {
                AppendAddressValue(offset, at);
            } else {
                text_.push_back('$');
                AppendHex(offset, 4);
            }
            text_.push_back(']');
            EndMemory(start, at);
            break;
        }
        case 'S':
            EnsureModRM();
            if (Reg() <= 5)
                text_.append(SegNames[Reg()]);
            break;
        default:
            break;
        }
    }
};

}  // namespace

uint32_t TDisAsm::DisassembleInstruction(const uint8_t* code, size_t count, uint32_t address,
                                         std::string& text) const
{
    if (count == 0 || !code) {
        text.clear();
        return 0;
    }
    return TDecoder(*this, code, count, address, text).Run();
}
