// The system side of the debug-information sources: module file names, whole files, probes.
#include <windows.h>

#include "crashreport/capture/ECoreWin.h"
#include "crashreport/capture/EDebug.h"
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

class TFileHandle {
public:
    explicit TFileHandle(HANDLE h) : h_(h) {}
    ~TFileHandle()
    {
        if (h_ != INVALID_HANDLE_VALUE)
            CloseHandle(h_);
    }
    TFileHandle(const TFileHandle&) = delete;
    TFileHandle& operator=(const TFileHandle&) = delete;
    operator HANDLE() const { return h_; }

private:
    HANDLE h_;
};

bool LoadFile(const std::string& path, std::string& bytes)
{
    bytes.clear();
    TFileHandle file(CreateFileW(GbkToWide(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                 OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    LARGE_INTEGER size{};
    if (file == INVALID_HANDLE_VALUE || !GetFileSizeEx(file, &size) || size.QuadPart < 0 ||
        static_cast<unsigned long long>(size.QuadPart) > MaxDebugFileSize)
        return false;
    bytes.resize(static_cast<size_t>(size.QuadPart));
    size_t done = 0;
    while (done < bytes.size()) {
        DWORD read = 0;
        if (!ReadFile(file, bytes.data() + done, static_cast<DWORD>(bytes.size() - done), &read, nullptr) || read == 0) {
            bytes.clear();
            return false;
        }
        done += read;
    }
    return true;
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
