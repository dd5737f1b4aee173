#include "tools/stamp/ImageDebugData.h"

#include <algorithm>
#include <map>

#include "crashreport/capture/ELeakItems.h"
#include "crashreport/capture/EStoredData.h"
#include "tools/stamp/DwarfLines.h"
#include "tools/stamp/ProcedureNames.h"

namespace {

std::string BaseName(const std::string& path)
{
    const size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string_view Section(const TPeImage& image, std::string_view name)
{
    const TPeSection* s = image.FindSection(name);
    return s ? image.SectionBytes(*s) : std::string_view();
}

bool IsCodeSymbol(const TPeSymbol& s, int textSection)
{
    return s.section == textSection && (s.type == 0x20 || s.storageClass == 2) && !s.name.empty() && s.name[0] != '.';
}

struct TRowKey {
    uint32_t offset;
    int order;  // an end of code before the rows that start new code at the same offset
    size_t index;
    TDebugLine row;
};

}  // namespace

TDebugModel ReadImageDebugModel(const TPeImage& image)
{
    TDebugModel model;
    const uint32_t base = image.ImageBase() + CodeOffsetBase;
    auto toOffset = [base](uint64_t address) { return static_cast<uint32_t>(address - base); };

    for (const TLineProgram& p :
         ReadLinePrograms(Section(image, ".debug_line"), Section(image, ".debug_line_str"), Section(image, ".debug_str"))) {
        TDebugUnit u;
        std::map<std::string, uint16_t> fileIndex;
        auto fileOf = [&](uint32_t f) {
            const std::string name = f < p.files.size() ? BaseName(p.files[f]) : std::string("?");
            auto [it, added] = fileIndex.emplace(name, static_cast<uint16_t>(u.files.size()));
            if (added)
                u.files.push_back(name);
            return it->second;
        };
        fileOf(p.primary);
        std::vector<TRowKey> keys;
        size_t sequenceStart = 0;
        for (const TLineRow& r : p.rows) {
            // Rows of code the linker dropped (discarded COMDAT copies) sit at address 0.
            if (r.address < base)
                continue;
            if (r.endSequence) {
                // Rows at the very end of a sequence cover no code.
                while (keys.size() > sequenceStart && keys.back().offset == toOffset(r.address))
                    keys.pop_back();
                sequenceStart = keys.size() + 1;
            }
            TDebugLine row{toOffset(r.address), r.endSequence ? 0u : r.line, r.endSequence ? uint16_t(0) : fileOf(r.file)};
            keys.push_back({row.offset, r.endSequence ? 0 : 1, keys.size(), row});
        }
        if (keys.empty())
            continue;
        std::sort(keys.begin(), keys.end(), [](const TRowKey& a, const TRowKey& b) {
            return a.offset != b.offset ? a.offset < b.offset : a.order != b.order ? a.order < b.order : a.index < b.index;
        });
        for (const TRowKey& k : keys)
            u.lines.push_back(k.row);
        u.start = u.lines.front().offset;
        u.end = u.lines.back().offset + 1;
        model.units.push_back(std::move(u));
    }

    // Function symbols, one per address, each ending where the next begins.
    const TPeSection* text = image.FindSection(".text");
    int textSection = 0;
    for (size_t i = 0; i < image.Sections().size(); ++i)
        if (&image.Sections()[i] == text)
            textSection = static_cast<int>(i) + 1;
    std::map<uint32_t, TPeSymbol> functions;
    for (TPeSymbol& s : image.Symbols())
        if (IsCodeSymbol(s, textSection)) {
            auto [it, added] = functions.emplace(s.rva, s);
            if (!added && s.type == 0x20 && it->second.type != 0x20)
                it->second = s;
        }
    TDebugUnit rest;
    for (auto it = functions.begin(); it != functions.end(); ++it) {
        const auto next = std::next(it);
        const uint32_t startRva = it->first;
        const uint32_t endRva = next != functions.end() ? next->first : text->virtualAddress + text->virtualSize;
        TDebugProcedure proc;
        TProcedureName split = SplitProcedureName(DemangleSymbol(it->second.name));
        proc.className = std::move(split.className);
        proc.name = std::move(split.name);
        proc.start = startRva - CodeOffsetBase;
        proc.end = endRva - CodeOffsetBase;

        // The unit whose rows cover the start.
        TDebugUnit* owner = nullptr;
        uint32_t ownerRow = 0;
        for (TDebugUnit& u : model.units) {
            if (proc.start < u.start || proc.start >= u.end)
                continue;
            auto row = std::upper_bound(u.lines.begin(), u.lines.end(), proc.start,
                                        [](uint32_t o, const TDebugLine& l) { return o < l.offset; });
            if (row == u.lines.begin() || (row - 1)->line == 0)
                continue;
            if (!owner || (row - 1)->offset > ownerRow) {
                owner = &u;
                ownerRow = (row - 1)->offset;
                proc.firstLine = (row - 1)->line;
            }
        }
        if (!owner)
            owner = &rest;
        if (owner != &rest && ownerRow != proc.start)
            proc.firstLine = 0;  // no row at the start: the first line is unknown
        owner->procedures.push_back(std::move(proc));
    }
    if (!rest.procedures.empty()) {
        rest.files.push_back("");
        rest.start = rest.procedures.front().start;
        rest.end = rest.procedures.back().end;
        model.units.push_back(std::move(rest));
    }
    for (TDebugUnit& u : model.units) {
        std::stable_sort(u.procedures.begin(), u.procedures.end(),
                         [](const TDebugProcedure& a, const TDebugProcedure& b) { return a.start < b.start; });
        for (const TDebugProcedure& p : u.procedures) {
            u.start = std::min(u.start, p.start);
            u.end = std::max(u.end, p.end);
        }
        AttributeInlinedRows(u);
    }
    return model;
}

void AttributeInlinedRows(TDebugUnit& unit)
{
    std::vector<uint32_t> own(unit.lines.size());
    for (size_t i = 0; i < unit.lines.size(); ++i)
        own[i] = OwnSourceLineBefore(unit, i);
    for (size_t i = 0; i < unit.lines.size(); ++i)
        if (own[i]) {
            unit.lines[i].line = own[i];
            unit.lines[i].file = 0;
        }
}

bool FindSymbolRva(const TPeImage& image, std::string_view name, uint32_t& rva)
{
    for (const TPeSymbol& s : image.Symbols())
        if (s.name == name || DemangleSymbol(s.name) == name) {
            rva = s.rva;
            return true;
        }
    return false;
}
