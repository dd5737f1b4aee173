// The system side of the debug-information sources: module file names, whole files, probes.
#include <windows.h>

#include "crashreport/capture/ECoreWin.h"
#include "crashreport/capture/EDebug.h"
#include "crashreport/capture/EUtilsWin.h"
#include "framework/CodePage.h"

namespace {

std::string ModuleFileName(uintptr_t module)
{
    wchar_t name[MAX_PATH + 1];
    DWORD length = GetModuleFileNameW(reinterpret_cast<HMODULE>(module), name, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return {};
    return WideToGbk(std::wstring_view(name, length));
}

bool LoadFile(const std::string& path, std::string& bytes)
{
    return ReadWholeFile(path, bytes, MaxDebugFileSize);
}

bool Readable(const void* address, size_t size)
{
    return IsReadableMemory(address, size);
}

const TDebugInfoPlatform systemPlatform = {ModuleFileName, LoadFile, Readable};

}  // namespace

const TDebugInfoPlatform& SystemDebugInfoPlatform()
{
    return systemPlatform;
}
