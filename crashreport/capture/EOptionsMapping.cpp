#include "crashreport/capture/EOptionsMapping.h"

#include <cstring>

#include "crashreport/capture/EByteStream.h"
#include "crashreport/capture/EInternalWarning.h"
#include "crashreport/capture/EUtils.h"
#include "framework/CodePage.h"
#include "framework/Exception.h"

namespace {

TOptionsMapping published;

// Bytes the view at base really holds: the run of committed pages from there.
size_t ViewSize(const void* base)
{
    MEMORY_BASIC_INFORMATION info{};
    if (VirtualQuery(base, &info, sizeof info) != sizeof info || info.State != MEM_COMMIT)
        return 0;
    return info.RegionSize;
}

bool Refuse(const char* why)
{
    ReportInternalWarning(TDuruvaDodErrorCode::eeOptionsError, Format("[Options mapping] %s", why));
    return false;
}

}  // namespace

std::string OptionsMappingName(HMODULE module)
{
    return Format("%8.8X%8.8X", static_cast<unsigned>(GetCurrentProcessId()),
                  static_cast<unsigned>(reinterpret_cast<uintptr_t>(module)));
}

bool OpenOptionsMapping(HMODULE module, uint32_t size, TOptionsMapping& mapping)
{
    mapping = {};
    if (size > 0x7FFFFFF0u)
        return false;
    const std::wstring name = GbkToWide(OptionsMappingName(module));
    HANDLE handle = CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, size + 4, name.c_str());
    if (!handle)
        return false;
    const bool existed = GetLastError() == ERROR_ALREADY_EXISTS;
    if (!existed && size == 0) {
        CloseHandle(handle);
        return false;
    }
    // The whole section is mapped; its real size is what the view holds, not what it claims.
    auto* base = static_cast<uint8_t*>(MapViewOfFile(handle, FILE_MAP_READ | FILE_MAP_WRITE, 0, 0, 0));
    const size_t view = base ? ViewSize(base) : 0;
    if (!base || view < 4) {
        if (base)
            UnmapViewOfFile(base);
        CloseHandle(handle);
        return false;
    }
    uint32_t stored = 0;
    std::memcpy(&stored, base, 4);
    bool ok = true;
    if (existed) {
        if (static_cast<uint64_t>(stored) + 4 > view)
            ok = Refuse("the stored size passes the mapping");
        else if (size > stored)
            ok = Refuse("the mapping is open elsewhere and can't grow");
    }
    if (!ok) {
        UnmapViewOfFile(base);
        CloseHandle(handle);
        return false;
    }
    if (size > 0)
        std::memcpy(base, &size, 4);
    mapping.handle = handle;
    mapping.payload = base + 4;
    mapping.capacity = size > 0 ? size : stored;
    return true;
}

void CloseOptionsMapping(TOptionsMapping& mapping)
{
    if (mapping.payload)
        UnmapViewOfFile(mapping.payload - 4);
    if (mapping.handle)
        CloseHandle(mapping.handle);
    mapping = {};
}

void PublishModuleOptions(TVurazaModuleOptions& options)
{
    if (options.ModuleHandle() == 0)
        return;
    TByteWriter stream;
    stream.U8(1);
    options.SaveToStream(stream);
    const std::string& bytes = stream.Data();
    CloseOptionsMapping(published);
    TOptionsMapping mapping;
    if (bytes.size() > 0x7FFFFFF0u ||
        !OpenOptionsMapping(reinterpret_cast<HMODULE>(options.ModuleHandle()), static_cast<uint32_t>(bytes.size()), mapping)) {
        Refuse("cannot publish the options");
        return;
    }
    std::memcpy(mapping.payload, bytes.data(), bytes.size());
    published = mapping;
}

bool LoadPublishedOptions(TVurazaModuleOptions& options)
{
    if (options.ModuleHandle() == 0)
        return false;
    TOptionsMapping mapping;
    if (!OpenOptionsMapping(reinterpret_cast<HMODULE>(options.ModuleHandle()), 0, mapping))
        return false;
    bool loaded = false;
    if (mapping.capacity > 1 && mapping.payload[0] != 0) {
        const std::string bytes(reinterpret_cast<const char*>(mapping.payload) + 1, mapping.capacity - 1);
        CloseOptionsMapping(mapping);
        OptionsStreamVersion = ReporterLibraryVersion;
        TByteReader stream(bytes);
        options.LoadFromStream(stream);
        loaded = true;
    }
    CloseOptionsMapping(mapping);
    return loaded;
}

void ClosePublishedOptions()
{
    CloseOptionsMapping(published);
}

void InstallOptionsMapping()
{
    ModuleOptionsHooks().publish = &PublishModuleOptions;
    ModuleOptionsHooks().readPublished = [](TVurazaModuleOptions& options) { LoadPublishedOptions(options); };
}
