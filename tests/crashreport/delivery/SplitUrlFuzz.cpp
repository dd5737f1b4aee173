// Server and proxy addresses from the options and from redirects: any text.
#include <cstddef>
#include <cstdint>
#include <string>

#include "crashreport/delivery/EWebText.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string url(reinterpret_cast<const char*>(data), size);
    std::string scheme, user, password, host, path, directory, page, query;
    uint16_t port = 0;
    if (SplitUrl(url, scheme, user, password, host, path, port)) {
        // Whatever was read comes back the same after joining it again.
        std::string joined = (scheme.empty() ? "" : scheme + "://") + host + (path.empty() ? "" : "/" + path);
        AddCredentials(joined, user, password, port);
        std::string s2, u2, p2, h2, path2;
        uint16_t port2 = 0;
        if (!host.empty() && path.find_first_of(":@") == std::string::npos && path.find("//") == std::string::npos &&
            SplitUrl(joined, s2, u2, p2, h2, path2, port2) && (u2 != user || p2 != password || h2 != host))
            __builtin_trap();
    }
    SplitPath(url, directory, page, query);
    UrlHostOf(url);
    UrlDecode(url);
    return 0;
}
