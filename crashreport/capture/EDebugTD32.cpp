#include "crashreport/capture/EDebugTD32.h"

#include <cctype>
#include <set>

#include "crashreport/capture/EDebugNames.h"

namespace {

constexpr uint16_t sstModule = 0x120;
constexpr uint16_t sstAlignSym = 0x125;
constexpr uint16_t sstSrcModule = 0x127;
constexpr uint16_t sstNames = 0x130;
constexpr uint16_t codeSegment = 1;
constexpr size_t directoryHeaderSize = 16;
constexpr size_t directoryEntrySize = 12;
// Both signatures and the directory offset: nothing shorter holds a directory.
constexpr uint32_t smallestDistance = 16;

bool IsSignature(const TDebugBytes& data, size_t offset)
{
    if (!data.Holds(offset, 4))
        return false;
    const uint8_t* p = data.Data() + offset;
    return p[0] == 'F' && p[1] == 'B' && p[2] == '0' && (p[3] == '9' || p[3] == 'A');
}

}  // namespace

bool TELTD32InfoParser::IsTD32DebugInfoValid(const TDebugBytes& data)
{
    size_t size = data.Size();
    if (size <= 8 || !IsSignature(data, size - 8))
        return false;
    uint32_t distance = 0;
    data.U32(size - 4, distance);
    if (distance > size || distance < smallestDistance)
        return false;
    return IsSignature(data, size - distance);
}

TReporterString TELTD32InfoParser::CleanProcedureName(std::string_view name, std::string_view unitName)
{
    if (name.empty() || name[0] != '@')
        return TReporterString(name);
    TReporterString s(name.substr(1));
    size_t dollar = s.find('$');
    if (dollar != TReporterString::npos) {
        if (dollar > 0 && s[dollar - 1] == '@')
            --dollar;
        s.erase(dollar);
    }
    for (char& c : s)
        if (c == '@')
            c = '.';
    for (size_t at = 0; (at = s.find("..", at)) != TReporterString::npos; at += 2)
        s[at + 1] = '@';
    // The unit prefix counts only when a "." follows it: unit "Main" leaves "MainUnit.X" whole.
    if (!unitName.empty() && s.size() > unitName.size() && s[unitName.size()] == '.' &&
        EqualNoCase(std::string_view(s).substr(0, unitName.size()), unitName))
        s.erase(0, unitName.size() + 1);
    return s;
}

TELTD32InfoParser::TELTD32InfoParser(TDebugBytes data, TReadableProbe probe) : data_(data), probe_(probe)
{
    names_.push_back({0, 0});
}

void TELTD32InfoParser::Analyse()
{
    valid_ = false;
    if (!data_.Data() || (probe_ && !probe_(data_.Data(), data_.Size())))
        return;
    if (!IsTD32DebugInfoValid(data_))
        return;
    if (!WalkDirectories()) {
        // Half-indexed tables would answer wrongly; damaged data answers nothing.
        modules_.clear();
        sourceModules_.clear();
        symbols_.clear();
        names_.resize(1);
        return;
    }
    valid_ = true;
}

bool TELTD32InfoParser::WalkDirectories()
{
    uint32_t directory = 0;
    if (!data_.U32(4, directory))
        return false;
    std::set<uint32_t> seen;
    while (directory != 0) {
        if (!seen.insert(directory).second)
            return false;  // the chain loops
        uint16_t headerSize = 0, entrySize = 0;
        uint32_t count = 0, next = 0;
        if (!data_.U16(directory, headerSize) || !data_.U16(directory + size_t(2), entrySize) ||
            !data_.U32(directory + size_t(4), count) || !data_.U32(directory + size_t(8), next))
            return false;
        if (entrySize != directoryEntrySize)
            return false;
        size_t entries = directory + directoryHeaderSize;
        if (count > data_.Size() / directoryEntrySize || !data_.Holds(entries, size_t(count) * directoryEntrySize))
            return false;
        for (uint32_t i = 0; i < count; ++i) {
            size_t e = entries + size_t(i) * directoryEntrySize;
            uint16_t type = 0;
            uint32_t offset = 0, size = 0;
            data_.U16(e, type);
            data_.U32(e + 4, offset);
            data_.U32(e + 8, size);
            if (type != sstNames && type != sstAlignSym && type != sstModule && type != sstSrcModule)
                continue;
            if (!data_.Holds(offset, size))
                return false;
            bool ok = type == sstNames      ? AnalyseNames(offset, size)
                      : type == sstAlignSym ? AnalyseAlignSymbols(offset, size)
                      : type == sstModule   ? AnalyseModules(offset, size)
                                            : AnalyseSourceModules(offset, size);
            if (!ok)
                return false;
        }
        directory = next;
    }
    return true;
}

bool TELTD32InfoParser::AnalyseNames(size_t offset, size_t size)
{
    TDebugBytes sub(data_.Data() + offset, size);
    uint32_t count = 0;
    if (!sub.U32(0, count))
        return false;
    size_t p = 4;
    for (uint32_t i = 0; i < count; ++i) {
        uint8_t length = 0;
        if (!sub.U8(p, length) || !sub.Holds(p + 1, size_t(length) + 1))
            return false;
        names_.push_back({offset + p + 1, length});
        p += size_t(length) + 2;
    }
    return true;
}

bool TELTD32InfoParser::AnalyseAlignSymbols(size_t offset, size_t size)
{
    TDebugBytes sub(data_.Data() + offset, size);
    size_t p = 4;
    while (p + 4 <= size) {
        uint16_t length = 0, type = 0;
        sub.U16(p, length);
        sub.U16(p + 2, type);
        if (!sub.Holds(p, size_t(length) + 2))
            return false;
        // Fields are read from this record only: a short record leaves them 0.
        TDebugBytes rec(sub.Data() + p, size_t(length) + 2);
        auto u32 = [&rec](size_t at) {
            uint32_t v = 0;
            rec.U32(at, v);
            return v;
        };
        std::unique_ptr<TELSymbolInfo> symbol;
        switch (type) {
        case 3: {
            auto s = std::make_unique<TELConstantSymbolInfo>(type);
            s->TypeIndex = u32(4);
            s->NameIndex = u32(8);
            s->Value = u32(16);
            symbol = std::move(s);
            break;
        }
        case 4: {
            auto s = std::make_unique<TELUdtSymbolInfo>(type);
            s->TypeIndex = u32(4);
            rec.U16(8, s->Properties);
            s->NameIndex = u32(10);
            symbol = std::move(s);
            break;
        }
        case 9: {
            auto s = std::make_unique<TELObjNameSymbolInfo>(type);
            s->Signature = u32(4);
            s->NameIndex = u32(8);
            symbol = std::move(s);
            break;
        }
        case 0x201:
        case 0x202:
        case 0x203: {
            std::unique_ptr<TELDataSymbolInfo> s;
            if (type == 0x201)
                s = std::make_unique<TELLDataSymbolInfo>(type);
            else if (type == 0x202)
                s = std::make_unique<TELGDataSymbolInfo>(type);
            else
                s = std::make_unique<TELPublicSymbolInfo>(type);
            s->Offset = u32(4);
            s->TypeIndex = u32(12);
            s->NameIndex = u32(16);
            symbol = std::move(s);
            break;
        }
        case 0x204:
        case 0x205: {
            std::unique_ptr<TELProcSymbolInfo> s;
            if (type == 0x204)
                s = std::make_unique<TELLocalProcSymbolInfo>(type);
            else
                s = std::make_unique<TELGlobalProcSymbolInfo>(type);
            // A procedure record too short for its name is no procedure.
            if (rec.Holds(40, 4)) {
                s->Size = u32(16);
                s->Offset = u32(28);
                s->NameIndex = u32(40);
                symbol = std::move(s);
            }
            break;
        }
        case 0x208: {
            auto s = std::make_unique<TELWithSymbolInfo>(type);
            s->Size = u32(12);
            s->Offset = u32(16);
            s->NameIndex = u32(24);
            symbol = std::move(s);
            break;
        }
        case 0x209: {
            auto s = std::make_unique<TELLabelSymbolInfo>(type);
            s->Offset = u32(4);
            s->NameIndex = u32(12);
            symbol = std::move(s);
            break;
        }
        case 0x20B: {
            auto s = std::make_unique<TELVftPathSymbolInfo>(type);
            s->Offset = u32(4);
            s->RootIndex = u32(12);
            s->PathIndex = u32(16);
            symbol = std::move(s);
            break;
        }
        default:
            break;
        }
        if (symbol)
            symbols_.push_back(std::move(symbol));
        p += size_t(length) + 2;
    }
    return true;
}

bool TELTD32InfoParser::AnalyseModules(size_t offset, size_t size)
{
    TDebugBytes sub(data_.Data() + offset, size);
    uint16_t count = 0;
    TELModuleInfo module;
    if (!sub.U16(4, count) || !sub.U32(8, module.NameIndex) || !sub.Holds(28, size_t(count) * 12))
        return false;
    for (size_t i = 0; i < count; ++i) {
        size_t e = 28 + i * 12;
        TELModuleInfo::Segment s{};
        sub.U16(e, s.Number);
        sub.U16(e + 2, s.Flags);
        sub.U32(e + 4, s.Offset);
        sub.U32(e + 8, s.Size);
        module.Segments.push_back(s);
    }
    modules_.push_back(std::move(module));
    return true;
}

bool TELTD32InfoParser::AnalyseSourceModules(size_t offset, size_t size)
{
    TDebugBytes sub(data_.Data() + offset, size);
    uint16_t files = 0;
    if (!sub.U16(0, files) || !sub.Holds(4, size_t(files) * 4))
        return false;
    for (size_t f = 0; f < files; ++f) {
        uint32_t entry = 0;
        sub.U32(4 + f * 4, entry);
        TELSourceModuleInfo module;
        uint16_t segments = 0;
        if (!sub.U16(entry, segments) || !sub.U32(entry + size_t(2), module.NameIndex))
            return false;
        size_t blocks = entry + size_t(6);
        size_t ranges = blocks + size_t(segments) * 4;
        if (!sub.Holds(blocks, size_t(segments) * 12))
            return false;
        if (module.NameIndex == 0)
            continue;
        for (size_t s = 0; s < segments; ++s) {
            uint32_t block = 0;
            TELSourceModuleInfo::Range range{};
            sub.U32(blocks + s * 4, block);
            sub.U32(ranges + s * 8, range.Start);
            sub.U32(ranges + s * 8 + 4, range.End);
            uint16_t pairs = 0;
            if (!sub.U16(block, range.Segment) || !sub.U16(block + size_t(2), pairs) ||
                !sub.Holds(block + size_t(4), size_t(pairs) * 6))
                return false;
            range.FirstLine = module.Lines.size();
            range.LineCount = pairs;
            size_t offsets = block + size_t(4);
            size_t numbers = offsets + size_t(pairs) * 4;
            for (size_t i = 0; i < pairs; ++i) {
                TELLineInfo line{};
                uint16_t number = 0;
                sub.U32(offsets + i * 4, line.Offset);
                sub.U16(numbers + i * 2, number);
                line.LineNo = number;
                module.Lines.push_back(line);
            }
            module.Ranges.push_back(range);
        }
        sourceModules_.push_back(std::move(module));
    }
    return true;
}

std::string_view TELTD32InfoParser::Name(uint32_t index) const
{
    if (index == 0 || index >= names_.size())
        return {};
    const NameRef& n = names_[index];
    return std::string_view(reinterpret_cast<const char*>(data_.Data()) + n.Offset, n.Length);
}

std::string_view TELTD32InfoParser::UnitAt(uint32_t offset) const
{
    // A segment that ends at the offset yields to one that starts there: the offset's code
    // belongs to the next unit.
    const TELModuleInfo* atEnd = nullptr;
    for (const TELModuleInfo& m : modules_)
        for (const TELModuleInfo::Segment& s : m.Segments) {
            // Data segments share offsets with code; only code segments place code.
            if (s.Number != codeSegment || s.Offset > offset)
                continue;
            uint32_t into = offset - s.Offset;
            if (into < s.Size)
                return Name(m.NameIndex);
            if (into == s.Size && !atEnd)
                atEnd = &m;
        }
    return atEnd ? Name(atEnd->NameIndex) : std::string_view();
}

const TELSourceModuleInfo::Range* TELTD32InfoParser::RangeAt(uint32_t offset, const TELSourceModuleInfo** module) const
{
    for (const TELSourceModuleInfo& m : sourceModules_)
        for (const TELSourceModuleInfo::Range& r : m.Ranges)
            if (r.Segment == codeSegment && r.Start <= offset && offset < r.End) {
                *module = &m;
                return &r;
            }
    return nullptr;
}

std::string_view TELTD32InfoParser::SourceAt(uint32_t offset) const
{
    const TELSourceModuleInfo* m = nullptr;
    return RangeAt(offset, &m) ? Name(m->NameIndex) : std::string_view();
}

uint32_t TELTD32InfoParser::LineAt(uint32_t offset, uint32_t& distance) const
{
    distance = 0;
    const TELSourceModuleInfo* m = nullptr;
    const TELSourceModuleInfo::Range* r = RangeAt(offset, &m);
    if (!r)
        return 0;
    // The last line at or before the offset within its block, so that the code of a block's
    // last line has a line too.
    const TELLineInfo* best = nullptr;
    for (size_t i = r->FirstLine; i < r->FirstLine + r->LineCount; ++i) {
        const TELLineInfo& l = m->Lines[i];
        if (l.Offset <= offset && (!best || l.Offset > best->Offset))
            best = &l;
    }
    if (!best)
        return 0;
    distance = offset - best->Offset;
    return best->LineNo;
}

TReporterString TELTD32InfoParser::ProcedureAt(uint32_t offset, uint32_t& distance) const
{
    distance = 0;
    for (const auto& symbol : symbols_) {
        if (symbol->SymbolType != 0x204 && symbol->SymbolType != 0x205)
            continue;
        const auto* p = static_cast<const TELProcSymbolInfo*>(symbol.get());
        if (p->Offset <= offset && offset - p->Offset < p->Size) {
            distance = offset - p->Offset;
            return CleanProcedureName(Name(p->NameIndex), UnitAt(offset));
        }
    }
    return {};
}
