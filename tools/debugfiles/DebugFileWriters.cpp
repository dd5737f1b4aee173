#include "tools/debugfiles/DebugFileWriters.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <map>

#include "crashreport/capture/EDebugBin.h"

namespace {

struct Row {
    uint32_t offset, line;
    size_t unit;
    uint16_t file;
};

bool Named(const TDebugUnit& unit)
{
    return !unit.Name().empty();
}

// Every row of every named unit, ascending, one per offset: of rows at one offset the last.
std::vector<Row> Rows(const TDebugModel& model)
{
    std::vector<Row> rows;
    for (size_t u = 0; u < model.units.size(); ++u)
        if (Named(model.units[u]))
            for (const TDebugLine& l : model.units[u].lines)
                rows.push_back({l.offset, l.line, u, l.file});
    std::stable_sort(rows.begin(), rows.end(), [](const Row& a, const Row& b) { return a.offset < b.offset; });
    std::vector<Row> unique;
    for (const Row& r : rows) {
        if (!unique.empty() && unique.back().offset == r.offset)
            unique.back() = r;
        else
            unique.push_back(r);
    }
    return unique;
}

std::string FileOf(const TDebugModel& model, const Row& r)
{
    const TDebugUnit& u = model.units[r.unit];
    return r.file < u.files.size() ? u.files[r.file] : u.Name();
}

// Consecutive rows of one unit and one file: a map line block, a TD32 line block.
struct Run {
    size_t first, count;
};

std::vector<Run> Runs(const std::vector<Row>& rows)
{
    std::vector<Run> runs;
    for (size_t i = 0; i < rows.size(); ++i) {
        if (runs.empty() || rows[i].unit != rows[i - 1].unit || rows[i].file != rows[i - 1].file)
            runs.push_back({i, 0});
        ++runs.back().count;
    }
    return runs;
}

// No unit in front: a unit's name splits from its class only where the unit is the row's file,
// and rows of inlined headers name the header.
std::string QualifiedName(const TDebugProcedure& p)
{
    std::string name = DebugFileName(p.name);
    return p.className.empty() ? name : DebugFileName(p.className) + "." + name;
}

void Append(std::string& out, const char* format, ...) __attribute__((format(printf, 2, 3)));
void Append(std::string& out, const char* format, ...)
{
    va_list args, again;
    va_start(args, format);
    va_copy(again, args);
    int n = std::vsnprintf(nullptr, 0, format, args);
    va_end(args);
    if (n > 0) {
        size_t at = out.size();
        out.resize(at + size_t(n) + 1);
        std::vsnprintf(&out[at], size_t(n) + 1, format, again);
        out.resize(at + size_t(n));
    }
    va_end(again);
}

class Bytes {
public:
    void U8(uint32_t v) { b_.push_back(static_cast<uint8_t>(v)); }
    void U16(uint32_t v)
    {
        U8(v);
        U8(v >> 8);
    }
    void U32(uint32_t v)
    {
        U16(v);
        U16(v >> 16);
    }
    void Text(std::string_view s) { b_.insert(b_.end(), s.begin(), s.end()); }
    void Put32(size_t at, uint32_t v)
    {
        for (int i = 0; i < 4; ++i)
            b_[at + i] = static_cast<uint8_t>(v >> (8 * i));
    }
    void Align4()
    {
        while (b_.size() % 4)
            U8(0);
    }
    size_t Size() const { return b_.size(); }
    std::vector<uint8_t>& Data() { return b_; }

private:
    std::vector<uint8_t> b_;
};

}  // namespace

std::string BareUnitName(const TDebugUnit& unit)
{
    std::string name = DebugFileName(unit.Name());
    size_t dot = name.find('.');
    return dot == std::string::npos ? name : name.substr(0, dot);
}

std::string DebugFileName(std::string_view name)
{
    std::string s(name);
    for (char& c : s)
        if (c == ' ' || c == '(' || c == ')' || (c >= 9 && c <= 13))
            c = '_';
    return s;
}

std::string WriteMapFile(const TDebugModel& model)
{
    uint32_t end = 0;
    for (const TDebugUnit& u : model.units)
        end = std::max(end, u.end);
    std::string out = "\r\n Start         Length     Name                   Class\r\n";
    Append(out, " 0001:00401000 %08XH .text                   CODE\r\n\r\n\r\nDetailed map of segments\r\n\r\n", end);
    std::vector<const TDebugUnit*> units;
    for (const TDebugUnit& u : model.units)
        if (Named(u))
            units.push_back(&u);
    std::stable_sort(units.begin(), units.end(), [](auto a, auto b) { return a->start < b->start; });
    for (const TDebugUnit* u : units)
        Append(out, " 0001:%08X %08X C=CODE     S=.text    G=(none)   M=%s ACBP=A9\r\n", u->start, u->end - u->start,
               BareUnitName(*u).c_str());
    struct Public {
        uint32_t offset;
        std::string name;
    };
    std::vector<Public> publics;
    for (const TDebugUnit* u : units)
        for (const TDebugProcedure& p : u->procedures)
            // A public needs a name token, or the next line's address would be read as one.
            publics.push_back({p.start, p.name.empty() ? std::string("_") : QualifiedName(p)});
    std::stable_sort(publics.begin(), publics.end(), [](auto& a, auto& b) { return a.offset < b.offset; });
    out += "\r\n\r\n  Address             Publics by Name\r\n\r\n";
    out += "\r\n\r\n  Address             Publics by Value\r\n\r\n";
    for (const Public& p : publics)
        Append(out, " 0001:%08X       %s\r\n", p.offset, p.name.c_str());
    out += "\r\n\r\n";
    std::vector<Row> rows = Rows(model);
    for (const Run& run : Runs(rows)) {
        const Row& first = rows[run.first];
        Append(out, "Line numbers for %s(%s) segment .text\r\n\r\n", BareUnitName(model.units[first.unit]).c_str(),
               DebugFileName(FileOf(model, first)).c_str());
        for (size_t i = 0; i < run.count; ++i)
            Append(out, "%6u 0001:%08X%s", rows[run.first + i].line, rows[run.first + i].offset,
                   i % 4 == 3 || i + 1 == run.count ? "\r\n" : "");
        out += "\r\n";
    }
    return out;
}

std::vector<uint8_t> WriteTD32Data(const TDebugModel& model)
{
    Bytes d;
    d.Text("FB09");
    d.U32(0);
    struct Sub {
        uint16_t type;
        size_t offset, size;
    };
    std::vector<Sub> subs;
    std::vector<std::string> names;
    std::map<std::string, uint32_t> indexes;
    auto name = [&](const std::string& s) {
        auto it = indexes.find(s);
        if (it != indexes.end())
            return it->second;
        names.push_back(s.substr(0, 255));
        return indexes[s] = static_cast<uint32_t>(names.size());
    };

    std::vector<Row> rows = Rows(model);
    std::vector<Run> runs = Runs(rows);
    for (size_t u = 0; u < model.units.size(); ++u) {
        const TDebugUnit& unit = model.units[u];
        if (!Named(unit))
            continue;
        std::string bare = BareUnitName(unit);
        size_t start = d.Size();
        d.U16(0);
        d.U16(0);
        d.U16(1);
        d.U16(0);
        d.U32(name(bare));
        for (int i = 0; i < 16; ++i)
            d.U8(0);
        d.U16(1);
        d.U16(0);
        d.U32(unit.start);
        d.U32(unit.end - unit.start);
        subs.push_back({0x120, start, d.Size() - start});

        // Source module: one file entry per file, one line block per run of that file.
        std::vector<uint16_t> files;
        for (const Run& r : runs)
            if (rows[r.first].unit == u && std::find(files.begin(), files.end(), rows[r.first].file) == files.end())
                files.push_back(rows[r.first].file);
        if (!files.empty()) {
            d.Align4();
            start = d.Size();
            d.U16(static_cast<uint32_t>(files.size()));
            d.U16(1);
            size_t entryOffsets = d.Size();
            for (size_t i = 0; i < files.size(); ++i)
                d.U32(0);
            for (size_t f = 0; f < files.size(); ++f) {
                std::vector<size_t> mine;
                for (size_t r = 0; r < runs.size(); ++r)
                    if (rows[runs[r].first].unit == u && rows[runs[r].first].file == files[f])
                        mine.push_back(r);
                d.Put32(entryOffsets + 4 * f, static_cast<uint32_t>(d.Size() - start));
                d.U16(static_cast<uint32_t>(mine.size()));
                d.U32(name(DebugFileName(FileOf(model, rows[runs[mine[0]].first]))));
                size_t blockOffsets = d.Size();
                for (size_t i = 0; i < mine.size(); ++i)
                    d.U32(0);
                for (size_t r : mine) {
                    // A run covers its code up to the next run, or to the unit's end.
                    const Run& run = runs[r];
                    uint32_t from = rows[run.first].offset;
                    uint32_t to = r + 1 < runs.size() ? rows[runs[r + 1].first].offset : unit.end;
                    d.U32(from);
                    d.U32(std::max(to, from + 1));
                }
                for (size_t i = 0; i < mine.size(); ++i) {
                    const Run& run = runs[mine[i]];
                    d.Put32(blockOffsets + 4 * i, static_cast<uint32_t>(d.Size() - start));
                    d.U16(1);
                    d.U16(static_cast<uint32_t>(std::min<size_t>(run.count, 0xFFFF)));
                    for (size_t k = 0; k < run.count && k < 0xFFFF; ++k)
                        d.U32(rows[run.first + k].offset);
                    for (size_t k = 0; k < run.count && k < 0xFFFF; ++k)
                        d.U16(std::min<uint32_t>(rows[run.first + k].line, 0xFFFF));
                }
            }
            subs.push_back({0x127, start, d.Size() - start});
        }

        d.Align4();
        start = d.Size();
        d.U32(1);
        for (const TDebugProcedure& p : unit.procedures) {
            d.U16(44 - 2);
            d.U16(0x205);
            for (int i = 0; i < 3; ++i)
                d.U32(0);
            d.U32(p.end - p.start);
            d.U32(0);
            d.U32(0);
            d.U32(p.start);
            d.U16(1);
            d.U16(0);
            d.U32(0);
            std::string mangled = "@" + bare + "@";
            if (!p.className.empty())
                mangled += DebugFileName(p.className) + "@";
            d.U32(name(mangled + DebugFileName(p.name) + "$qqrv"));
        }
        subs.push_back({0x125, start, d.Size() - start});
    }

    size_t start = d.Size();
    d.U32(static_cast<uint32_t>(names.size()));
    for (const std::string& n : names) {
        d.U8(static_cast<uint32_t>(n.size()));
        d.Text(n);
        d.U8(0);
    }
    subs.push_back({0x130, start, d.Size() - start});

    d.Align4();
    size_t directory = d.Size();
    d.Put32(4, static_cast<uint32_t>(directory));
    d.U16(16);
    d.U16(12);
    d.U32(static_cast<uint32_t>(subs.size()));
    d.U32(0);
    d.U32(0);
    for (const Sub& s : subs) {
        d.U16(s.type);
        d.U16(1);
        d.U32(static_cast<uint32_t>(s.offset));
        d.U32(static_cast<uint32_t>(s.size));
    }
    uint32_t total = static_cast<uint32_t>(d.Size() + 8);
    d.Text("FB0A");
    d.U32(total);
    return d.Data();
}

namespace {

void Varint(Bytes& b, uint32_t v)
{
    do {
        uint8_t byte = v & 0x7F;
        v >>= 7;
        b.U8(byte | (v ? 0x80 : 0));
    } while (v);
}

int Code(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0' + 1;
    if (c >= 'A' && c <= 'Z')
        return c - 'A' + 11;
    if (c >= 'a' && c <= 'z')
        return c - 'a' + 37;
    if (c == '_')
        return 63;
    return -1;
}

std::vector<uint8_t> PoolName(const std::string& name)
{
    std::vector<unsigned> codes;
    bool packable = !name.empty() && name.size() <= TELBinDebugScanner::MaxNameLength;
    for (char c : name)
        if (Code(c) < 0)
            packable = false;
        else
            codes.push_back(static_cast<unsigned>(Code(c)));
    std::vector<uint8_t> out;
    if (packable) {
        codes.push_back(0);
        while (codes.size() % 4)
            codes.push_back(0);
        for (size_t i = 0; i < codes.size(); i += 4) {
            out.push_back(static_cast<uint8_t>(codes[i] | codes[i + 1] << 6));
            out.push_back(static_cast<uint8_t>(codes[i + 1] >> 2 | codes[i + 2] << 4));
            out.push_back(static_cast<uint8_t>(codes[i + 2] >> 4 | codes[i + 3] << 2));
        }
        // A first byte of 1 or 2 would read as a form mark.
        if (out[0] != 1 && out[0] != 2)
            return out;
        out.clear();
    }
    const uint8_t key = TELBinDebugScanner::NameScramble;
    out.push_back(1);
    for (size_t i = 0; i < name.size() && i < TELBinDebugScanner::MaxNameLength; ++i) {
        uint8_t b = static_cast<uint8_t>(name[i]);
        out.push_back(b == key ? b : b ^ key);
    }
    out.push_back(0);
    return out;
}

}  // namespace

std::vector<uint8_t> WriteJdbgData(const TDebugModel& model)
{
    std::vector<uint8_t> pool;
    std::map<std::string, uint32_t> refs;
    auto ref = [&](const std::string& s) -> uint32_t {
        if (s.empty())
            return 0;
        auto it = refs.find(s);
        if (it != refs.end())
            return it->second;
        uint32_t r = static_cast<uint32_t>(pool.size() + 1);
        std::vector<uint8_t> n = PoolName(s);
        pool.insert(pool.end(), n.begin(), n.end());
        return refs[s] = r;
    };
    std::vector<const TDebugUnit*> units;
    for (const TDebugUnit& u : model.units)
        if (Named(u))
            units.push_back(&u);
    std::stable_sort(units.begin(), units.end(), [](auto a, auto b) { return a->start < b->start; });
    std::vector<Row> rows = Rows(model);
    std::vector<Run> runs = Runs(rows);

    struct Triple {
        uint32_t a, b, c;
    };
    std::vector<Triple> unitRows, sourceRows, symbolRows, lineRows;
    for (const TDebugUnit* u : units) {
        unitRows.push_back({u->start, ref(BareUnitName(*u)), 0});
        for (const TDebugProcedure& p : u->procedures) {
            std::string cls = DebugFileName(p.className), proc = DebugFileName(p.name);
            symbolRows.push_back(cls.empty() ? Triple{p.start, ref(proc), 0} : Triple{p.start, ref(cls), ref(proc)});
        }
    }
    for (const Run& r : runs)
        sourceRows.push_back({rows[r.first].offset, ref(DebugFileName(FileOf(model, rows[r.first]))), 0});
    for (const Row& r : rows)
        lineRows.push_back({r.offset, r.line, 0});
    auto byAddress = [](const Triple& x, const Triple& y) { return x.a < y.a; };
    std::stable_sort(symbolRows.begin(), symbolRows.end(), byAddress);

    Bytes b;
    b.U32(0x4742444A);
    b.U8(1);
    for (int i = 0; i < 7; ++i)
        b.U32(0);
    b.U8(0);
    auto table = [&b](const std::vector<Triple>& t, int columns) {
        uint32_t pa = 0, pb = 0, pc = 0;
        for (const Triple& r : t) {
            Varint(b, r.a - pa);
            Varint(b, r.b - pb);
            if (columns == 3)
                Varint(b, r.c - pc);
            pa = r.a;
            pb = r.b;
            pc = r.c;
        }
        Varint(b, TELBinDebugScanner::TableEnd);
    };
    uint32_t offsets[5];
    offsets[0] = static_cast<uint32_t>(b.Size());
    table(unitRows, 2);
    offsets[1] = static_cast<uint32_t>(b.Size());
    table(sourceRows, 2);
    offsets[2] = static_cast<uint32_t>(b.Size());
    table(symbolRows, 3);
    offsets[3] = static_cast<uint32_t>(b.Size());
    table(lineRows, 2);
    offsets[4] = static_cast<uint32_t>(b.Size());
    for (uint8_t c : pool)
        b.U8(c);
    b.U8(0);  // the pool is never empty, so its offset lies inside the data
    b.Align4();
    for (int i = 0; i < 5; ++i)
        b.Put32(5 + 4 * size_t(i), offsets[i]);
    std::vector<uint8_t>& d = b.Data();
    d[33] = 1;
    // With the checksum's own bytes 0, the sum of the words is the checksum.
    uint32_t sum = 0;
    for (size_t i = 0; i < d.size(); i += 4)
        sum += d[i] | d[i + 1] << 8 | d[i + 2] << 16 | static_cast<uint32_t>(d[i + 3]) << 24;
    b.Put32(29, sum);
    return d;
}
