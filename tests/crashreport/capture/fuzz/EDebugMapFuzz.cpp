// Map-file reader over arbitrary text: every lookup stays inside the text.
#include <cstddef>
#include <cstdint>
#include <string>

#include "crashreport/capture/EDebugMap.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    TELMapScanner map(std::string(reinterpret_cast<const char*>(data), size));
    const uint32_t offsets[] = {0, 1, 0x10, 0x100, 0x1000, 0x7FFFFFFF, 0xFFFFFFFF, static_cast<uint32_t>(size)};
    for (uint32_t o : offsets) {
        uint32_t distance = 0;
        map.UnitAt(o);
        map.ProcedureAt(o, distance);
        map.LineAt(o, distance);
        map.SourceAt(o);
    }
    map.LinkerBugUnitName();
    return 0;
}
