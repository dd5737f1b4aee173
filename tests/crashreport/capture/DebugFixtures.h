#pragma once
// Small hand-laid debug data of each format, byte by byte after the formats' tables: the
// reference the readers are held to, and the fuzzers' seeds.

#include <gtest/gtest.h>

#include <cstdint>
#include <span>
#include <string>
#include <utility>
#include <vector>

namespace fixtures {

// What a reader answers at one offset.
struct TLocationCase {
    uint32_t offset;
    const char* unit;
    const char* procedure;
    uint32_t procDistance;
    uint32_t line;
    uint32_t lineDistance;
    const char* source;
};

// Every reader answers the same questions; without lines, line and source are expected empty.
template <class TReader>
void ExpectLocations(const TReader& reader, std::span<const TLocationCase> cases, bool withLines = true)
{
    for (const TLocationCase& c : cases) {
        SCOPED_TRACE(testing::Message() << "offset 0x" << std::hex << c.offset);
        uint32_t distance = 99;
        EXPECT_EQ(c.unit, reader.UnitAt(c.offset));
        EXPECT_EQ(c.procedure, reader.ProcedureAt(c.offset, distance));
        EXPECT_EQ(c.procDistance, distance);
        distance = 99;
        EXPECT_EQ(withLines ? c.line : 0, reader.LineAt(c.offset, distance));
        EXPECT_EQ(withLines ? c.lineDistance : 0, distance);
        EXPECT_EQ(withLines ? c.source : "", reader.SourceAt(c.offset));
    }
}

inline std::string Replace(std::string s, const std::string& from, const std::string& to)
{
    for (size_t at = 0; (at = s.find(from, at)) != std::string::npos; at += to.size())
        s.replace(at, from.size(), to);
    return s;
}

// Three code units with a gap (0x180-0x200), publics in UnitA and UnitC, line blocks for
// UnitA (file "src\UnitA.pas") and UnitC. CR LF line ends.
inline std::string MapText(bool withLines = true, const std::string& extraBlocks = "", const std::string& firstBlock = "")
{
    std::string head =
        "\r\n"
        " Start         Length     Name                   Class\r\n"
        " 0001:00401000 00000300H .text                   CODE\r\n"
        " 0002:00402000 00000100H .data                   DATA\r\n"
        "\r\n"
        "\r\n"
        "Detailed map of segments\r\n"
        "\r\n"
        " 0001:00000000 00000100 C=CODE     S=.text    G=(none)   M=UnitA    ACBP=A9\r\n"
        " 0001:00000100 00000080 C=CODE     S=.text    G=(none)   M=UnitB    ACBP=A9\r\n"
        " 0001:00000200 00000100 C=CODE     S=.text    G=(none)   M=UnitC    ACBP=A9\r\n"
        " 0002:00000000 00000100 C=DATA     S=.data    G=DGROUP   M=UnitA    ACBP=A9\r\n"
        "\r\n"
        "\r\n"
        "  Address             Publics by Name\r\n"
        "\r\n"
        " 0001:00000010       UnitA.Alpha\r\n"
        " 0002:00000010       UnitA.SomeData\r\n"
        " 0001:00000060       UnitA.TFoo.Beta\r\n"
        " 0001:00000220       UnitC.Gamma\r\n"
        "\r\n"
        "\r\n"
        "  Address             Publics by Value\r\n"
        "\r\n"
        " 0001:00000010       UnitA.Alpha\r\n"
        " 0001:00000060       UnitA.TFoo.Beta\r\n"
        " 0001:00000220       UnitC.Gamma\r\n"
        " 0002:00000010       UnitA.SomeData\r\n"
        "\r\n"
        "\r\n";
    std::string blocks =
        firstBlock +
        "Line numbers for UnitA(src\\UnitA.pas) segment .text\r\n"
        "\r\n"
        "    10 0001:00000010    11 0001:00000018    12 0001:00000030    20 0001:00000060\r\n"
        "    21 0001:00000070\r\n"
        "\r\n" +
        extraBlocks +
        "Line numbers for UnitC(UnitC.pas) segment .text\r\n"
        "\r\n"
        "     5 0001:00000220     6 0001:00000230     7 0001:00000240\r\n"
        "\r\n";
    return head + (withLines ? blocks : std::string()) + "Bound resource files\r\n\r\nVidudo.res\r\n";
}

// A block in the data segment ahead of the code's blocks.
inline const char* mapDataBlock =
    "Line numbers for UnitA(src\\UnitA.pas) segment .data\r\n"
    "\r\n"
    "     1 0002:00000050     2 0002:00000060\r\n"
    "\r\n";

// A block whose lines run backwards: the second entry is rejected.
inline const char* mapBackwardBlock =
    "Line numbers for UnitB(UnitB.pas) segment .text\r\n"
    "\r\n"
    "    30 0001:00000120    31 0001:00000110\r\n"
    "\r\n";

class Bytes {
public:
    Bytes& U8(uint32_t v)
    {
        b_.push_back(static_cast<uint8_t>(v));
        return *this;
    }
    Bytes& U16(uint32_t v) { return U8(v).U8(v >> 8); }
    Bytes& U32(uint32_t v) { return U16(v).U16(v >> 16); }
    Bytes& Text(const std::string& s)
    {
        b_.insert(b_.end(), s.begin(), s.end());
        return *this;
    }
    Bytes& Append(const std::vector<uint8_t>& v)
    {
        b_.insert(b_.end(), v.begin(), v.end());
        return *this;
    }
    void Put32(size_t at, uint32_t v)
    {
        for (int i = 0; i < 4; ++i)
            b_[at + i] = static_cast<uint8_t>(v >> (8 * i));
    }
    size_t Size() const { return b_.size(); }
    const std::vector<uint8_t>& Data() const { return b_; }

private:
    std::vector<uint8_t> b_;
};

// TD32: names, two modules (UnitA code 0-0x100 and data, UnitB code 0x100-0x180), a source
// module with a skipped unnamed file, UnitA.pas and UnitB.pas, and procedure symbols.
//   names: 1 UnitA, 2 UnitB, 3 UnitA.pas, 4 @UnitA@TFoo@Bar$qqrv, 5 Plain, 6 @UnitB@Baz$qqrv,
//          7 UnitB.pas
struct Td32Layout {
    size_t directory = 0;           // offset of the directory header
    uint32_t entrySize = 12;        // what the header claims
    uint32_t next = 0;              // the next directory
};

inline std::vector<uint8_t> Td32(Td32Layout layout = {}, size_t* directoryAt = nullptr)
{
    Bytes d;
    d.Text("FB09").U32(0);  // directory offset patched below

    struct Sub {
        uint16_t type;
        size_t offset, size;
    };
    std::vector<Sub> subs;

    size_t at = d.Size();
    const char* names[] = {"UnitA", "UnitB", "UnitA.pas", "@UnitA@TFoo@Bar$qqrv", "Plain", "@UnitB@Baz$qqrv",
                           "UnitB.pas"};
    d.U32(7);
    for (const char* n : names) {
        std::string s(n);
        d.U8(static_cast<uint32_t>(s.size())).Text(s).U8(0);
    }
    subs.push_back({0x130, at, d.Size() - at});

    auto module = [&](uint32_t name, std::vector<std::vector<uint32_t>> segs) {
        size_t start = d.Size();
        d.U16(0).U16(0).U16(static_cast<uint32_t>(segs.size())).U16(0).U32(name);
        for (int i = 0; i < 16; ++i)
            d.U8(0);  // fields this reader doesn't take
        for (auto& s : segs)
            d.U16(s[0]).U16(0).U32(s[1]).U32(s[2]);
        subs.push_back({0x120, start, d.Size() - start});
    };
    module(1, {{1, 0x000, 0x100}, {2, 0x200, 0x40}});
    module(2, {{1, 0x100, 0x80}});

    // Source module: 3 files; the first has no name and is skipped.
    {
        size_t start = d.Size();
        struct File {
            uint32_t name, rangeStart, rangeEnd;
            std::vector<std::pair<uint32_t, uint32_t>> lines;  // offset, line
        };
        std::vector<File> files = {
            {0, 0x10, 0x20, {{0x10, 99}}},
            {3, 0x10, 0x80, {{0x10, 10}, {0x18, 11}, {0x30, 12}, {0x50, 20}, {0x58, 21}}},
            {7, 0x110, 0x140, {{0x110, 5}, {0x120, 6}}},
        };
        d.U16(static_cast<uint32_t>(files.size())).U16(1);
        size_t offsetsAt = d.Size();
        for (size_t i = 0; i < files.size(); ++i)
            d.U32(0);
        for (size_t i = 0; i < files.size(); ++i) {
            const File& f = files[i];
            size_t entry = d.Size();
            d.Put32(offsetsAt + 4 * i, static_cast<uint32_t>(entry - start));
            d.U16(1).U32(f.name);
            size_t blockOffsetAt = d.Size();
            d.U32(0).U32(f.rangeStart).U32(f.rangeEnd);
            d.Put32(blockOffsetAt, static_cast<uint32_t>(d.Size() - start));
            d.U16(1).U16(static_cast<uint32_t>(f.lines.size()));
            for (auto& l : f.lines)
                d.U32(l.first);
            for (auto& l : f.lines)
                d.U16(l.second);
        }
        subs.push_back({0x127, start, d.Size() - start});
    }

    // Aligned symbols: a data symbol, four procedures (one without a name), a short record.
    {
        size_t start = d.Size();
        d.U32(1);  // signature of the symbol table
        auto proc = [&](uint16_t type, uint32_t offset, uint32_t size, uint32_t name) {
            d.U16(44 - 2).U16(type);
            d.U32(0).U32(0).U32(0).U32(size).U32(0).U32(0).U32(offset).U16(1).U16(0).U32(0).U32(name);
        };
        d.U16(20 - 2).U16(0x201).U32(0x60).U32(0).U32(0).U32(5);
        proc(0x205, 0x10, 0x40, 4);
        proc(0x204, 0x50, 0x10, 5);
        proc(0x205, 0x60, 0x10, 0);
        proc(0x205, 0x110, 0x30, 6);
        d.U16(2).U16(0x204);  // too short to be a procedure
        subs.push_back({0x125, start, d.Size() - start});
    }
    // An unknown subsection type is skipped.
    subs.push_back({0x999, 0, 4});

    while (d.Size() % 4)
        d.U8(0);
    size_t directory = d.Size();
    if (directoryAt)
        *directoryAt = directory;
    d.Put32(4, static_cast<uint32_t>(directory));
    d.U16(16).U16(layout.entrySize).U32(static_cast<uint32_t>(subs.size()))
        .U32(layout.next == 1 ? static_cast<uint32_t>(directory) : layout.next).U32(0);
    for (auto& s : subs)
        d.U16(s.type).U16(1).U32(static_cast<uint32_t>(s.offset)).U32(static_cast<uint32_t>(s.size));
    uint32_t total = static_cast<uint32_t>(d.Size() + 8);
    d.Text("FB0A").U32(total);
    return d.Data();
}

// JDBG: variable-length integers and packed names.
inline void Varint(Bytes& b, uint32_t v)
{
    do {
        uint8_t byte = v & 0x7F;
        v >>= 7;
        b.U8(byte | (v ? 0x80 : 0));
    } while (v);
}

// Packed form for [0-9A-Za-z_] names, four 6-bit codes in three bytes, ending in code 0.
inline std::vector<uint8_t> PackName(const std::string& name)
{
    std::vector<unsigned> codes;
    for (char c : name) {
        if (c >= '0' && c <= '9')
            codes.push_back(c - '0' + 1);
        else if (c >= 'A' && c <= 'Z')
            codes.push_back(c - 'A' + 11);
        else if (c >= 'a' && c <= 'z')
            codes.push_back(c - 'a' + 37);
        else
            codes.push_back(63);
    }
    codes.push_back(0);
    while (codes.size() % 4)
        codes.push_back(0);
    std::vector<uint8_t> out;
    for (size_t i = 0; i < codes.size(); i += 4) {
        out.push_back(static_cast<uint8_t>(codes[i] | codes[i + 1] << 6));
        out.push_back(static_cast<uint8_t>(codes[i + 1] >> 2 | codes[i + 2] << 4));
        out.push_back(static_cast<uint8_t>(codes[i + 2] >> 4 | codes[i + 3] << 2));
    }
    return out;
}

inline std::vector<uint8_t> ScrambledName(const std::string& name, uint8_t key)
{
    std::vector<uint8_t> out{1};
    for (char c : name) {
        uint8_t b = static_cast<uint8_t>(c);
        out.push_back(b == key ? b : b ^ key);
    }
    out.push_back(0);
    return out;
}

struct Jdbg {
    std::vector<std::vector<uint8_t>> names;  // reference i + 1 ... as stored in the pool
    std::vector<std::pair<uint32_t, uint32_t>> units, sources, lines;  // address, name or line
    struct Symbol {
        uint32_t address, first, second;
    };
    std::vector<Symbol> symbols;
    bool checksum = true;
    uint8_t version = 1;

    // Name i (from 1) as a pool reference.
    std::vector<uint32_t> References() const
    {
        std::vector<uint32_t> refs;
        uint32_t at = 1;
        for (auto& n : names) {
            refs.push_back(at);
            at += static_cast<uint32_t>(n.size());
        }
        return refs;
    }

    std::vector<uint8_t> Build() const
    {
        std::vector<uint32_t> refs = References();
        auto ref = [&](uint32_t i) { return i == 0 ? 0u : refs.at(i - 1); };
        Bytes b;
        b.U32(0x4742444A).U8(version);
        for (int i = 0; i < 7; ++i)
            b.U32(0);
        b.U8(0);
        uint32_t offsets[5];
        auto pairs = [&](const std::vector<std::pair<uint32_t, uint32_t>>& rows, bool names) {
            uint32_t a = 0, v = 0;
            for (auto& r : rows) {
                uint32_t value = names ? ref(r.second) : r.second;
                Varint(b, r.first - a);
                Varint(b, value - v);
                a = r.first;
                v = value;
            }
            Varint(b, 0x7FFFFFFF);
        };
        offsets[0] = static_cast<uint32_t>(b.Size());
        pairs(units, true);
        offsets[1] = static_cast<uint32_t>(b.Size());
        pairs(sources, true);
        offsets[2] = static_cast<uint32_t>(b.Size());
        {
            uint32_t a = 0, f = 0, s = 0;
            for (auto& r : symbols) {
                Varint(b, r.address - a);
                Varint(b, ref(r.first) - f);
                Varint(b, ref(r.second) - s);
                a = r.address;
                f = ref(r.first);
                s = ref(r.second);
            }
            Varint(b, 0x7FFFFFFF);
        }
        offsets[3] = static_cast<uint32_t>(b.Size());
        pairs(lines, false);
        offsets[4] = static_cast<uint32_t>(b.Size());
        for (auto& n : names)
            b.Append(n);
        while (b.Size() % 4)
            b.U8(0);
        for (int i = 0; i < 5; ++i)
            b.Put32(5 + 4 * i, offsets[i]);
        std::vector<uint8_t> d = b.Data();
        if (checksum) {
            d[33] = 1;
            // With the checksum's own bytes 0, the word sum is the checksum.
            uint32_t sum = 0;
            for (size_t i = 0; i < d.size(); i += 4)
                sum += d[i] | d[i + 1] << 8 | d[i + 2] << 16 | static_cast<uint32_t>(d[i + 3]) << 24;
            for (int i = 0; i < 4; ++i)
                d[29 + i] = static_cast<uint8_t>(sum >> (8 * i));
        }
        return d;
    }
};

// Units UnitA at 0x10 and UnitB at 0x100; procedures with and without a class; lines with a
// backward step.
inline Jdbg JdbgSample(uint8_t key)
{
    Jdbg j;
    j.names = {ScrambledName("UnitA.cpp", key), ScrambledName("UnitB.cpp", key), PackName("TFoo"), PackName("Bar"),
               PackName("Plain"), ScrambledName("src/UnitA.cpp", key)};
    j.units = {{0x10, 1}, {0x100, 2}};
    j.sources = {{0x10, 6}, {0x100, 2}};
    j.symbols = {{0x10, 3, 4}, {0x40, 5, 0}, {0x108, 3, 4}};
    j.lines = {{0x10, 10}, {0x18, 12}, {0x20, 11}, {0x40, 30}, {0x100, 7}};
    return j;
}

}  // namespace fixtures
