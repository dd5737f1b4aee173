// Export names and debug-source names of any bytes.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "crashreport/capture/EDebugNames.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::string_view text(reinterpret_cast<const char*>(data), size);
    TAddressNames item;
    ParseExportName(text, item);
    size_t third = size / 3;
    SplitDebugSourceNames(text.substr(0, third), text.substr(third, third), text.substr(2 * third), 1, true, item);
    return 0;
}
