// A server reply body as it arrives: Base64, inflation, then every line to a record.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "framework/Exception.h"
#include "framework/StringList.h"
#include "trading/connection/Fun.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view body(reinterpret_cast<const char*>(data), size);
    try {
        std::string text = DecodeReplyBody(body);
        for (std::string_view line : SplitLines(text)) UnpackUtf8Cmd(line);
    } catch (const Exception&) {
        // a malformed reply is refused with an exception; anything else is a fault
    }
    try {
        UnpackUtf8Cmd(body);
    } catch (const Exception&) {
    }
    UnpackCmd(body);
    return 0;
}
