// A module's "ELDATA" resource and the option stream inside it are read from a file anyone may
// have damaged: the first byte picks the stream version, the rest is the resource or stream.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "crashreport/capture/EByteStream.h"
#include "crashreport/capture/EOptions.h"
#include "crashreport/capture/EOptionsResource.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view bytes(reinterpret_cast<const char*>(data), size);
    {
        TVurazaModuleOptions options("fuzz.exe");
        UnpackOptionsResource(bytes, options);
    }
    if (size > 0) {
        static const uint16_t versions[] = {6000, 500, 421, 400};
        OptionsStreamVersion = versions[data[0] % 4];
        TVurazaModuleOptions options("fuzz.exe");
        TByteReader reader(bytes.substr(1));
        options.LoadFromStream(reader);
    }
    return 0;
}
