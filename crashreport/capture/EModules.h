#pragma once
// The records of the modules loaded in this process: their files' version resources, PE
// headers and exports, the reporter data stored in each, and the list the report reads.

#include <windows.h>

#include <cstdint>
#include <string>
#include <string_view>

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

// The module's resource of that name and type, locked, and its size; nullptr when it has none.
const void* LoadResourceData(uintptr_t module, const wchar_t* name, const wchar_t* type, uint32_t& size);
// The code address the program's "ELDATA" resource records under the entry id; 0 when the
// resource, its mark or the entry is missing. Ids in use: ECodeEntries.h.
uintptr_t ResourceAddressById(uint8_t id);

// The PE headers of a loaded module, probed and inside its SizeOfImage; false when they are
// unreadable or damaged.
bool ReadModuleNtHeaders(uintptr_t module, IMAGE_NT_HEADERS32& nt);
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
// The list is read by every thread and written by the thread that makes records: walk it
// inside a read scope. A reader waits only while a writer holds it, and a writer holds it only
// to put a finished record in or take one out.
class TModulesReadScope {
public:
    TModulesReadScope();
    ~TModulesReadScope();
    TModulesReadScope(const TModulesReadScope&) = delete;
    TModulesReadScope& operator=(const TModulesReadScope&) = delete;
};
// Held while threads are suspended to be kept still, so that none is left holding the list;
// false when it could not be had within the time.
bool LockModulesForWriting(unsigned milliseconds);
void UnlockModulesForWriting();
void ClearModuleRecords();
// Full records (exports, version, size, dates, debug data) of every module loaded now, and of
// each loaded later, made by a thread of their own as the loader reports the load: the
// handling of an exception finds them ready. Started once the lookup is installed.
void StartModuleRecordMaker();
void StopModuleRecordMaker();
DWORD ModuleRecordMakerThreadId();
bool ModuleRecordMakerRunning();
// Waits, at most the time, until the maker has made the records of every load reported so
// far; true when it has.
bool WaitForModuleRecords(unsigned milliseconds);
bool IsRefreshingModules();
// Sets the refreshing flag (records made meanwhile get no debug data); returns the old value.
bool SetRefreshingModules(bool value);
bool AddModuleRecord(uintptr_t module, const std::string& fileName, bool load);
bool AddModuleRecordOfHandle(uintptr_t module);
void RefreshModuleList();
// Where RefreshModuleList lists the modules: the process-status library on Windows NT, a
// tool-help snapshot on the 95 family. Automatic asks the system; a test may choose.
enum class TModuleListSource : uint8_t { Automatic, ProcessStatus, ToolHelp };
void SetModuleListSource(TModuleListSource source);
TModuleListSource ModuleListSourceInUse();
TVurazaModuleInfo* FindModuleRecord(uintptr_t module);
TVurazaModuleInfo* FindModuleRecordOfAddress(uintptr_t address);

// What a lookup needs of a record (decoded stored data, debug-information source) is made by
// the preparer when a loaded record is made; the address lookup installs it. It must leave a
// record it has prepared once unchanged.
using TModuleRecordPreparer = void (*)(TVurazaModuleInfo& record);
void SetModuleRecordPreparer(TModuleRecordPreparer prepare);
// Prepares the records there are and the spare records for modules first met while frozen.
void PrepareModuleRecords();
void ReleaseSpareModuleRecords();
// While an exception is handled the records are frozen: FindModuleRecord neither remakes nor
// reads a record; a module without one gets a spare record (handle and file name only) until
// the spares run out; RefreshModuleList only adds spare records for modules loaded since.
// Frozen lookups allocate nothing from the process heap.
void FreezeModuleRecords(bool freeze);
bool ModuleRecordsFrozen();
// The loader's file name of the module (GBK, no object-path prefix) into name; nothing comes
// from the process heap, and nothing from the reporter's when name has room.
bool ModuleFileNameInto(HMODULE module, TReporterString& name);
// The file's last-write time as the system keeps it, 0 when it can't be read; read by the
// native call, so the process heap is not touched.
uint64_t FileWriteStamp(std::string_view fileName);
// Before the records are frozen for a handling: takes out the records of modules unloaded or
// written since their record was made, and returns how many. Their memory is freed by
// ReleaseDroppedModuleRecords, once the handling is over.
size_t DropStaleModuleRecords();
void ReleaseDroppedModuleRecords();
class TFrozenModuleRecords {
public:
    TFrozenModuleRecords() : was_(ModuleRecordsFrozen()) { FreezeModuleRecords(true); }
    ~TFrozenModuleRecords() { FreezeModuleRecords(was_); }
    TFrozenModuleRecords(const TFrozenModuleRecords&) = delete;
    TFrozenModuleRecords& operator=(const TFrozenModuleRecords&) = delete;

private:
    bool was_;
};

// Reporter data stored in a module: the "ELDATA" resource, or the block at the file's end.
bool HasStoredDataResource(uintptr_t module);
bool HasStoredDataTail(uintptr_t module);
bool HasReporterData(uintptr_t module);
bool HasCompatibleReporterData(uintptr_t module);
uint16_t ReporterDataVersion(uintptr_t module);
bool LoadModuleDebugData(TVurazaModuleInfo& record);
// Asked for the password of a module's protected debug data (the events unit installs the
// password request); false when there is none. Without an answer that opens it the data is
// dropped and the record's data-valid flag cleared.
using TStoredDataPasswordProc = bool (*)(const TVurazaModuleInfo& record, std::string& password);
void SetStoredDataPasswordProc(TStoredDataPasswordProc proc);

// A readable frame prologue (push ebp; mov ebp, esp in either encoding) at address.
bool HasFramePrologue(uintptr_t address);
bool StartsWithPushEbx(uintptr_t address);
