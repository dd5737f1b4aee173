// The debug sources over an image of arbitrary bytes: headers, section table, debug directory,
// a "JCLDEBUG" section and in-image TD32 data are all read in place, only inside the image.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>

#include "crashreport/capture/EDebug.h"

namespace {

const uint8_t* imageStart = nullptr;
size_t imageSize = 0;

bool InsideTheImage(const void* p, size_t size)
{
    auto a = reinterpret_cast<const uint8_t*>(p);
    return a >= imageStart && a <= imageStart + imageSize && size <= size_t(imageStart + imageSize - a);
}

std::string NoFile(uintptr_t)
{
    return {};
}

bool NoLoad(const std::string&, std::string&)
{
    return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // The image exactly as large as the input, so that the sanitizer sees any read past it.
    auto image = std::make_unique<uint8_t[]>(size + 1);
    std::memcpy(image.get(), data, size);
    imageStart = image.get();
    imageSize = size;
    static const TDebugInfoPlatform platform = {NoFile, NoLoad, InsideTheImage};
    SetDebugInfoPlatform(&platform);
    auto module = reinterpret_cast<uintptr_t>(image.get());
    std::unique_ptr<TELDebugInfoSource> source;
    if (CreateDebugInfoSource(module, source)) {
        TELLocationInfo info;
        for (uintptr_t at : {0x1000u, 0x1010u, 0x101Cu, 0x1100u, 0x12FFu, 0x2010u})
            source->FindLocation(module + at, info);
    }
    SetDebugInfoPlatform(nullptr);
    return 0;
}
