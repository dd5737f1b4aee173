#pragma once
// The leak report as call-stack items: each leak's return addresses resolved into items, of
// which only procedure, unit and line items stay; a leak whose first kept item has no source
// line is dropped. The totals give the report's message. No Win32 here.

#include <cstddef>
#include <cstdint>
#include <string>

#include "crashreport/capture/ELeakHeader.h"
#include "crashreport/capture/EStack.h"

class TVurazaModuleOptions;
struct TDebugModel;
struct TDebugUnit;

// For code inlined from a header (the C++ runtime's allocators, say), the line of the unit's
// own source the code was inlined into: the last row of the unit's own file before it, within
// its procedure and run of code. 0 when the row is the unit's own already, or none is known.
uint32_t OwnSourceLine(const TDebugModel& model, uint32_t offset);
// The same for the unit's row at index row.
uint32_t OwnSourceLineBefore(const TDebugUnit& unit, size_t row);

struct TLeakTotals {
    uint64_t size = 0;
    uint64_t count = 0;
    uintptr_t firstAddress = 0;  // the first leak's first address while every leak starts there
    bool started = false;
};

// Appends the leak's items to list and adds it to the totals; false when it was dropped.
bool AppendLeakItems(TVurazaStackList& list, TLeakTotals& totals, const char* text, uint32_t size, uint32_t count,
                     const uintptr_t (&stack)[LeakStackDepth], TStackItemResolver resolve);

// "Memory Leak: Total size=N - Count=M" in the options' texts.
std::string LeakMessage(const TVurazaModuleOptions& options, const TLeakTotals& totals);
