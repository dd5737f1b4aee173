// Compressed data stored with a module is read from a file anyone may have damaged: inflation
// either yields a whole stream within its limit or raises, never more.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "crashreport/capture/EInflate.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string out;
    try {
        InflateBuffer(data, size, out, 1u << 20);
        if (out.size() > (1u << 20))
            std::abort();
    } catch (const EZLibError&) {
        if (!out.empty())
            std::abort();
    }
    return 0;
}
