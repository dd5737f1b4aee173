// TD32 reader over arbitrary bytes: no read outside the block, no endless walk.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "crashreport/capture/EDebugTD32.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // A copy of exactly the input's size, so that the sanitizer sees any read past it.
    std::vector<uint8_t> bytes(data, data + size);
    TELTD32InfoScanner td(TDebugBytes(bytes.data(), bytes.size()));
    const uint32_t offsets[] = {0, 0x10, 0x7F, 0x80, 0x100, 0x115, 0x180, 0xFFFFFFFF};
    for (uint32_t o : offsets) {
        uint32_t distance = 0;
        td.UnitAt(o);
        td.ProcedureAt(o, distance);
        td.LineAt(o, distance);
        td.SourceAt(o);
    }
    return 0;
}
