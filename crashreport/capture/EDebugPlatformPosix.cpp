// Host builds have no loaded modules of their own: no file names, memory is ours. Files are
// read so that tests can put debug files beside fake modules.
#include <cstdio>

#include "crashreport/capture/EDebug.h"

namespace {

std::string ModuleFileName(uintptr_t)
{
    return {};
}

bool LoadFile(const std::string& path, std::string& bytes)
{
    bytes.clear();
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f)
        return false;
    char buffer[65536];
    bool ok = true;
    for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, f)) > 0;) {
        if (bytes.size() + n > MaxDebugFileSize) {
            ok = false;
            break;
        }
        bytes.append(buffer, n);
    }
    std::fclose(f);
    if (!ok)
        bytes.clear();
    return ok;
}

const TDebugInfoPlatform systemPlatform = {ModuleFileName, LoadFile, nullptr};

}  // namespace

const TDebugInfoPlatform& SystemDebugInfoPlatform()
{
    return systemPlatform;
}
