#include "tools/stamp/DwarfLines.h"

#include <cstring>

#include "framework/Exception.h"

namespace {

class EDwarfError : public Exception {
public:
    using Exception::Exception;
};

class TCursor {
public:
    TCursor(std::string_view bytes, size_t pos, size_t end) : b_(bytes), pos_(pos), end_(end) {}
    uint64_t Fixed(int n)
    {
        Need(n);
        uint64_t v = 0;
        for (int i = 0; i < n; ++i)
            v |= static_cast<uint64_t>(static_cast<unsigned char>(b_[pos_ + i])) << (8 * i);
        pos_ += n;
        return v;
    }
    uint64_t Uleb()
    {
        uint64_t v = 0;
        for (int shift = 0;; shift += 7) {
            const uint8_t c = static_cast<uint8_t>(Fixed(1));
            if (shift < 64)
                v |= static_cast<uint64_t>(c & 0x7F) << shift;
            if (!(c & 0x80))
                return v;
        }
    }
    int64_t Sleb()
    {
        int64_t v = 0;
        int shift = 0;
        uint8_t c;
        do {
            c = static_cast<uint8_t>(Fixed(1));
            if (shift < 64)
                v |= static_cast<int64_t>(c & 0x7F) << shift;
            shift += 7;
        } while (c & 0x80);
        if (shift < 64 && (c & 0x40))
            v |= -(static_cast<int64_t>(1) << shift);
        return v;
    }
    std::string CString()
    {
        const size_t start = pos_;
        while (true) {
            Need(1);
            if (b_[pos_++] == '\0')
                break;
        }
        return std::string(b_.substr(start, pos_ - start - 1));
    }
    void Skip(uint64_t n)
    {
        Need(n);
        pos_ += n;
    }
    size_t Pos() const { return pos_; }
    void Seek(size_t pos) { pos_ = pos; }
    bool AtEnd() const { return pos_ >= end_; }

private:
    void Need(uint64_t n) const
    {
        if (n > end_ - pos_)
            throw EDwarfError("Line program runs past its unit.");
    }
    std::string_view b_;
    size_t pos_, end_;
};

std::string StringAt(std::string_view section, uint64_t offset)
{
    if (offset >= section.size())
        throw EDwarfError("String offset past its section.");
    return std::string(section.data() + offset, strnlen(section.data() + offset, section.size() - offset));
}

// One attribute value of a DWARF 5 entry format: a text or a number.
struct TFormValue {
    std::string text;
    uint64_t number = 0;
};

TFormValue ReadForm(TCursor& c, uint64_t form, int offsetSize, std::string_view lineStrings, std::string_view strings)
{
    TFormValue v;
    switch (form) {
    case 0x08: v.text = c.CString(); break;                                   // string
    case 0x1f: v.text = StringAt(lineStrings, c.Fixed(offsetSize)); break;    // line_strp
    case 0x0e: v.text = StringAt(strings, c.Fixed(offsetSize)); break;        // strp
    case 0x0b: v.number = c.Fixed(1); break;                                  // data1
    case 0x05: v.number = c.Fixed(2); break;                                  // data2
    case 0x06: v.number = c.Fixed(4); break;                                  // data4
    case 0x07: v.number = c.Fixed(8); break;                                  // data8
    case 0x1e: c.Skip(16); break;                                             // data16
    case 0x0f: v.number = c.Uleb(); break;                                    // udata
    case 0x09: c.Skip(c.Uleb()); break;                                       // block
    default: throw EDwarfError(Format("Unknown form 0x%llx in a line header.", static_cast<unsigned long long>(form)));
    }
    return v;
}

std::string Join(const std::string& dir, const std::string& file)
{
    if (dir.empty() || file.empty() || file[0] == '/' || (file.size() > 1 && file[1] == ':'))
        return file;
    return dir + "/" + file;
}

// DWARF 5 directory or file table: the entry format, then the entries.
std::vector<std::pair<std::string, uint64_t>> ReadEntryTable(TCursor& c, int offsetSize, std::string_view lineStrings,
                                                             std::string_view strings)
{
    const uint8_t formatCount = static_cast<uint8_t>(c.Fixed(1));
    std::vector<std::pair<uint64_t, uint64_t>> format;
    for (uint8_t i = 0; i < formatCount; ++i) {
        const uint64_t type = c.Uleb();
        format.emplace_back(type, c.Uleb());
    }
    const uint64_t count = c.Uleb();
    std::vector<std::pair<std::string, uint64_t>> out;
    for (uint64_t i = 0; i < count; ++i) {
        std::pair<std::string, uint64_t> entry;
        for (auto [type, form] : format) {
            TFormValue v = ReadForm(c, form, offsetSize, lineStrings, strings);
            if (type == 1)
                entry.first = v.text;  // DW_LNCT_path
            else if (type == 2)
                entry.second = v.number;  // DW_LNCT_directory_index
        }
        out.push_back(std::move(entry));
    }
    return out;
}

TLineProgram ReadProgram(TCursor& c, size_t end, uint16_t version, int offsetSize, std::string_view lineStrings,
                         std::string_view strings)
{
    TLineProgram p;
    if (version >= 5)
        c.Skip(2);  // address size, segment selector size
    const uint64_t headerLength = c.Fixed(offsetSize);
    const size_t programStart = c.Pos() + headerLength;
    const uint8_t minInstruction = static_cast<uint8_t>(c.Fixed(1));
    if (version >= 4)
        c.Skip(1);  // maximum operations per instruction: 1 on x86
    const bool defaultIsStmt = c.Fixed(1) != 0;
    (void)defaultIsStmt;
    const int8_t lineBase = static_cast<int8_t>(c.Fixed(1));
    const uint8_t lineRange = static_cast<uint8_t>(c.Fixed(1));
    const uint8_t opcodeBase = static_cast<uint8_t>(c.Fixed(1));
    if (lineRange == 0)
        throw EDwarfError("Line range 0.");
    std::vector<uint8_t> argCounts(opcodeBase, 0);
    for (int i = 1; i < opcodeBase; ++i)
        argCounts[i] = static_cast<uint8_t>(c.Fixed(1));

    if (version >= 5) {
        auto dirs = ReadEntryTable(c, offsetSize, lineStrings, strings);
        auto files = ReadEntryTable(c, offsetSize, lineStrings, strings);
        for (auto& [name, dir] : files)
            p.files.push_back(Join(dir < dirs.size() ? dirs[dir].first : std::string(), name));
        p.primary = 0;
    } else {
        std::vector<std::string> dirs{""};
        for (std::string d = c.CString(); !d.empty(); d = c.CString())
            dirs.push_back(d);
        p.files.push_back("");  // indices start at 1
        for (std::string f = c.CString(); !f.empty(); f = c.CString()) {
            const uint64_t dir = c.Uleb();
            c.Uleb();
            c.Uleb();
            p.files.push_back(Join(dir < dirs.size() ? dirs[dir] : std::string(), f));
        }
        p.primary = p.files.size() > 1 ? 1 : 0;
    }

    c.Seek(programStart);
    uint64_t address = 0;
    uint32_t file = 1, line = 1;
    auto reset = [&] {
        address = 0;
        file = 1;
        line = 1;
    };
    auto emit = [&](bool endSequence) { p.rows.push_back({address, file, line, endSequence}); };
    while (c.Pos() < end) {
        const uint8_t op = static_cast<uint8_t>(c.Fixed(1));
        if (op >= opcodeBase) {
            const uint8_t adjusted = op - opcodeBase;
            address += static_cast<uint64_t>(adjusted / lineRange) * minInstruction;
            line = static_cast<uint32_t>(static_cast<int64_t>(line) + lineBase + adjusted % lineRange);
            emit(false);
            continue;
        }
        switch (op) {
        case 0: {
            const uint64_t len = c.Uleb();
            if (len == 0)
                break;
            const size_t next = c.Pos() + len;
            const uint8_t sub = static_cast<uint8_t>(c.Fixed(1));
            if (sub == 1) {
                emit(true);
                reset();
            } else if (sub == 2) {
                address = c.Fixed(static_cast<int>(len - 1));
            } else if (sub == 3 && version < 5) {
                const std::string f = c.CString();
                const uint64_t dir = c.Uleb();
                (void)dir;
                p.files.push_back(f);
            }
            c.Seek(next);
            break;
        }
        case 1: emit(false); break;
        case 2: address += c.Uleb() * minInstruction; break;
        case 3: line = static_cast<uint32_t>(static_cast<int64_t>(line) + c.Sleb()); break;
        case 4: file = static_cast<uint32_t>(c.Uleb()); break;
        case 5: c.Uleb(); break;
        case 6: case 7: case 10: case 11: break;
        case 8: address += static_cast<uint64_t>((255 - opcodeBase) / lineRange) * minInstruction; break;
        case 9: address += c.Fixed(2); break;
        default:
            for (uint8_t i = 0; i < argCounts[op]; ++i)
                c.Uleb();
        }
    }
    return p;
}

}  // namespace

std::vector<TLineProgram> ReadLinePrograms(std::string_view debugLine, std::string_view lineStrings,
                                           std::string_view strings)
{
    std::vector<TLineProgram> out;
    size_t pos = 0;
    while (pos + 4 <= debugLine.size()) {
        TCursor head(debugLine, pos, debugLine.size());
        uint64_t length = head.Fixed(4);
        int offsetSize = 4;
        if (length == 0xFFFFFFFF) {
            length = head.Fixed(8);
            offsetSize = 8;
        }
        if (length > debugLine.size() - head.Pos())
            throw EDwarfError("Line unit runs past the section.");
        const size_t end = head.Pos() + length;
        TCursor c(debugLine, head.Pos(), end);
        const uint16_t version = static_cast<uint16_t>(c.Fixed(2));
        if (version < 2 || version > 5)
            throw EDwarfError(Format("Line table version %u.", version));
        out.push_back(ReadProgram(c, end, version, offsetSize, lineStrings, strings));
        pos = end;
    }
    return out;
}
