// Replies from a DNS server: any bytes.
#include <cstddef>
#include <cstdint>
#include <string>

#include "crashreport/delivery/EDns.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string reply(reinterpret_cast<const char*>(data), size);
    const std::string host = ParseMxReply(reply);
    if (host.size() > 255)
        __builtin_trap();
    for (size_t start = 1; start <= reply.size() && start <= 64; ++start) {
        size_t position = start;
        const std::string name = ReadDnsName(reply, position);
        if (name.size() > 255 || position == 0)
            __builtin_trap();
    }
    return 0;
}
