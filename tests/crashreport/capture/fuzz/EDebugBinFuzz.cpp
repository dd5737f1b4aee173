// Binary debug-data reader over arbitrary bytes; the cached and the walking lookups must agree.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "crashreport/capture/EDebugBin.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::vector<uint8_t> bytes(data, data + size);
    TDebugBytes span(bytes.data(), bytes.size());
    TELBinDebugScanner cached(span, true), walked(span, false);
    if (cached.ValidFormat() != walked.ValidFormat())
        std::abort();
    const uint32_t offsets[] = {0, 0x10, 0x22, 0x40, 0x104, 0x200, 0x7FFFFFFF, 0xFFFFFFFF};
    for (uint32_t o : offsets) {
        uint32_t d1 = 0, d2 = 0;
        if (cached.ProcedureAt(o, d1) != walked.ProcedureAt(o, d2) || d1 != d2)
            std::abort();
        if (cached.LineAt(o, d1) != walked.LineAt(o, d2) || d1 != d2)
            std::abort();
        if (cached.UnitAt(o) != walked.UnitAt(o) || cached.SourceAt(o) != walked.SourceAt(o))
            std::abort();
    }
    return 0;
}
