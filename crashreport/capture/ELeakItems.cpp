#include "crashreport/capture/ELeakItems.h"

#include <algorithm>
#include <memory>

#include "crashreport/capture/EDebugModel.h"
#include "crashreport/capture/EOptions.h"
#include "framework/Exception.h"

uint32_t OwnSourceLineBefore(const TDebugUnit& u, size_t row)
{
    if (row >= u.lines.size() || u.lines[row].line == 0 || u.lines[row].file == 0)
        return 0;
    const uint32_t offset = u.lines[row].offset;
    uint32_t procedureStart = u.start;
    for (const TDebugProcedure& p : u.procedures)
        if (p.start <= offset && offset < p.end)
            procedureStart = p.start;
    // A row of line 0 ends a run of code: what comes before it is other code.
    for (size_t r = row + 1; r-- > 0 && u.lines[r].offset >= procedureStart && u.lines[r].line != 0;)
        if (u.lines[r].file == 0)
            return u.lines[r].line;
    return 0;
}

uint32_t OwnSourceLine(const TDebugModel& model, uint32_t offset)
{
    for (const TDebugUnit& u : model.units) {
        if (offset < u.start || offset >= u.end)
            continue;
        auto row = std::upper_bound(u.lines.begin(), u.lines.end(), offset,
                                    [](uint32_t o, const TDebugLine& l) { return o < l.offset; });
        if (row == u.lines.begin() || (row - 1)->line == 0 || (row - 1)->file == 0)
            continue;
        if (const uint32_t own = OwnSourceLineBefore(u, static_cast<size_t>(row - u.lines.begin()) - 1))
            return own;
    }
    return 0;
}

bool AppendLeakItems(TVurazaStackList& list, TLeakTotals& totals, const char* text, uint32_t size, uint32_t count,
                     const uintptr_t (&stack)[LeakStackDepth], TStackItemResolver resolve)
{
    const size_t start = list.Count();
    for (uintptr_t address : stack) {
        if (!address)
            break;
        auto item = std::make_unique<TVurazaStackItem>();
        if (resolve)
            resolve(address, 0, *item, false, 1);
        if (item->Kind < 2 || item->Kind > 4)
            continue;
        if (list.Count() == start && item->Kind != 4)
            break;  // the leak's own line is unknown: the report would show no one who leaked it
        item->LeakItem = 1;
        item->LeakText.Assign(text);
        item->LeakSize = size;
        item->LeakCount = count;
        // Each leak gets its own header row.
        item->First = list.Count() == start ? 1 : 0;
        list.Add(std::move(item));
    }
    if (list.Count() == start)
        return false;
    const uintptr_t first = list.GetItem(start)->Address;
    if (!totals.started)
        totals.firstAddress = first;
    else if (totals.firstAddress != first)
        totals.firstAddress = 0;
    totals.started = true;
    totals.size += size;
    totals.count += count;
    return true;
}

std::string LeakMessage(const TVurazaModuleOptions& options, const TLeakTotals& totals)
{
    return Format("%s: %s=%llu - %s=%llu", options.MessageText(105).c_str(), options.MessageText(108).c_str(),
                  static_cast<unsigned long long>(totals.size), options.MessageText(109).c_str(),
                  static_cast<unsigned long long>(totals.count));
}
