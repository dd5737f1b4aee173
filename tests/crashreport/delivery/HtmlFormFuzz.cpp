// Pages from a bug tracker: any bytes.
#include <cstddef>
#include <cstdint>
#include <string>

#include "crashreport/delivery/EWebText.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string html(reinterpret_cast<const char*>(data), size);
    std::string value;
    size_t position = 0;
    int tags = 0;
    while (ExtractTag(html, "<input ", kInputEndMarkers, value, position) && ++tags < 1000)
        if (position == 0 || position > html.size() + 1)
            __builtin_trap();
    FindInputValue(html, "token", value);
    FindTextAreaValue(html, "desc", value);
    FindSelectedValue(html, "project", value);
    FindOptionValue(html, "project", "One", value);
    ExtractAfter(html, "value=\"", 2);
    std::string decoded = html;
    DecodeEntities(decoded);
    if (decoded.size() > html.size())
        __builtin_trap();
    std::string counter = html;
    BumpCounterText(counter);
    return 0;
}
