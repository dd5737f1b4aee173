// The leak options come from a program's resource header before anything else runs: any bytes
// give an options byte or none, and the flag is only ever taken from a header that counts.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "crashreport/capture/ELeakTracker.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    bool takeMain = true;
    const uint8_t options = LeakOptionsFromHeader(data, size, takeMain);
    if (size < 16 && (options != 0 || takeMain))
        std::abort();
    if (size >= 16 && options != 0 && options != data[14])
        std::abort();
    return 0;
}
