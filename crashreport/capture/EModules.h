#pragma once
// The records of the modules loaded in this process: their files' version resources, PE
// headers and exports, the reporter data stored in each, and the list the report reads.

#include <windows.h>

#include <cstdint>
#include <string>

#include "crashreport/capture/EModuleInfo.h"

// A stream over a loaded module's image; a read succeeds only when every byte is readable.
class THModuleStream {
public:
    explicit THModuleStream(uintptr_t module) : start_(module) {}
    bool Read(void* dest, size_t count);
    void Seek(uint32_t position) { position_ = position; }
    uint32_t Position() const { return position_; }

private:
    static constexpr uint32_t Size = 0x7FFFFFFF;
    uintptr_t start_;
    uint32_t position_ = 0;
};

bool IsLibraryImage(uintptr_t module);
uint8_t ModuleImageKind(uintptr_t module);

struct TVersionInfo {
    std::string Description;
    std::string Version;
};
TVersionInfo ReadVersionInfo(const std::string& fileName);
std::string ReadProductVersion(const std::string& fileName);
std::string ApplicationVersion();
uint32_t FileSizeOf(const std::string& fileName);
bool ForceDeleteFile(const std::string& fileName);

// Fills the list with the module's named exports, sorted by address; true when any was added.
bool ReadExportedFunctions(uintptr_t module, TVurazaFunctionsList& functions);

TVurazaModulesList& ModulesList();
bool IsRefreshingModules();
// Sets the refreshing flag (records made meanwhile get no debug data); returns the old value.
bool SetRefreshingModules(bool value);
bool AddModuleRecord(uintptr_t module, const std::string& fileName, bool load);
bool AddModuleRecordOfHandle(uintptr_t module);
void RefreshModuleList();
TVurazaModuleInfo* FindModuleRecord(uintptr_t module);
TVurazaModuleInfo* FindModuleRecordOfAddress(uintptr_t address);

// Reporter data stored in a module: the "ELDATA" resource, or the block at the file's end.
bool HasStoredDataResource(uintptr_t module);
bool HasStoredDataTail(uintptr_t module);
bool HasReporterData(uintptr_t module);
bool HasCompatibleReporterData(uintptr_t module);
uint16_t ReporterDataVersion(uintptr_t module);
bool LoadModuleDebugData(TVurazaModuleInfo& record);

// A readable frame prologue (push ebp; mov ebp, esp in either encoding) at address.
bool HasFramePrologue(uintptr_t address);
bool StartsWithPushEbx(uintptr_t address);
