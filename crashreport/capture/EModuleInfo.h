#pragma once
// The record the reporter keeps of one loaded module and of one running process, and the
// lists that own them. The records are plain data; the code that fills them from the system
// lives in EModules and EProcesses.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "crashreport/capture/EReporterHeap.h"

class TVurazaModuleOptionsEx;
class TELDebugInfoSource;
struct TDebugModel;

struct TVurazaFunctionInfo {
    TReporterText Name;
    uintptr_t Address = 0;
    bool BelowCode = false;  // lies below the start of the module's code section
    // The code length, measured once on first use (FunctionLength).
    mutable uint32_t Length = 0;
    mutable bool LengthKnown = false;
};

// Owns its records, sorted by address.
class TVurazaFunctionsList {
public:
    static void* operator new(size_t size) { return StackHeapAllocate(size); }
    static void operator delete(void* block) noexcept { StackHeapRelease(block); }

    void Add(TVurazaFunctionInfo info) { items_.push_back(std::move(info)); }
    void SortByAddress();
    size_t Count() const { return items_.size(); }
    const TVurazaFunctionInfo& Items(size_t index) const { return items_[index]; }
    void Clear() { items_.clear(); }

private:
    TReporterVector<TVurazaFunctionInfo> items_;
};

// A record owns its debug-information source; the unit that makes sources says how to free
// one, so that records don't depend on the debug readers.
struct TDebugSourceRelease {
    void (*release)(TELDebugInfoSource* source) = nullptr;
    void operator()(TELDebugInfoSource* source) const noexcept
    {
        if (release)
            release(source);
    }
};
using TOwnedDebugSource = std::unique_ptr<TELDebugInfoSource, TDebugSourceRelease>;

// 0 not classified, 1 program, 2 package, 3 other library.
enum TModuleKind : uint8_t { mkUnknown = 0, mkProgram = 1, mkPackage = 2, mkLibrary = 3 };

// Records live on the reporter's heap; what a lookup needs (decoded stored data, the debug
// information source, exports) is made when the record is, so that a lookup while an exception
// is handled only reads.
struct TVurazaModuleInfo {
    static void* operator new(size_t size) { return StackHeapAllocate(size); }
    static void operator delete(void* block) noexcept { StackHeapRelease(block); }

    TVurazaModuleInfo();
    ~TVurazaModuleInfo();
    TVurazaModuleInfo(const TVurazaModuleInfo&) = delete;
    TVurazaModuleInfo& operator=(const TVurazaModuleInfo&) = delete;

    uintptr_t Handle = 0;
    uint32_t ImageSize = 0;  // SizeOfImage: addresses are looked up without the loader
    // Texts on the reporter's heap, like the record itself.
    TReporterText FileName;
    TReporterText Description;
    TReporterText Version;
    uint32_t Size = 0;
    std::unique_ptr<TVurazaFunctionsList> Functions;
    uint8_t Kind = mkUnknown;
    uint16_t DataVersion = 0;
    double CompilationDate = 0;
    std::unique_ptr<TVurazaModuleOptionsEx> Options;
    std::unique_ptr<std::string> DebugData;  // the stored debug data, still as stored
    std::unique_ptr<TDebugModel> DebugModel;  // DebugData decoded; none when it doesn't decode
    bool DebugModelTried = false;
    TOwnedDebugSource DebugInfoSource;
    bool DebugSourceSought = false;  // CreateDebugInfoSource has run for the module
    double LastModified = 0;
    // The file's last-write time as the system keeps it (0 unknown), compared without the
    // process heap while an exception is handled.
    uint64_t WriteStamp = 0;
    TReporterText DataKey;
    bool DataValid = true;
    bool StoredDataLoaded = false;  // the options came from the module's stored data
    bool PublishedOptionsRead = false;  // read again at the module's first exception
};

struct TVurazaProcessInfo {
    uint32_t ProcessId = 0;
    std::string FileName;
    std::string Description;
    std::string Version;
    uint32_t PriorityClass = 0;
    uint64_t Memory = 0;  // working set in bytes, 0 when not read
    uint32_t ThreadCount = 0;
};

// A list that owns its records.
template <typename T>
class TOwningList {
public:
    size_t Count() const { return items_.size(); }
    T* Items(size_t index) const { return items_[index].get(); }
    T* Add(std::unique_ptr<T> item)
    {
        items_.push_back(std::move(item));
        return items_.back().get();
    }
    void Delete(size_t index) { items_.erase(items_.begin() + static_cast<ptrdiff_t>(index)); }
    void Clear() { items_.clear(); }
    TReporterVector<std::unique_ptr<T>>& Raw() { return items_; }

private:
    // On the reporter's heap: a record added while an exception is handled grows it there.
    TReporterVector<std::unique_ptr<T>> items_;
};

using TVurazaModulesList = TOwningList<TVurazaModuleInfo>;
using TVurazaProcessesList = TOwningList<TVurazaProcessInfo>;

// Priority class (the Windows value) from a thread's or process's base priority.
uint32_t PriorityClassOfBasePriority(int32_t basePriority);
// "Normal", "Low", ... ; empty for any other value.
std::string PriorityText(uint32_t priorityClass);
// The number, or "??" for 0.
std::string ThreadCountText(uint32_t count);

// File helpers whose rules need no system.
std::string ModuleFolderText(const std::string& fileName);
std::string SizeInKbText(uint64_t bytes);
std::string VersionFamilyText(const std::string& version);
// The image address of an offset stored relative to the start of the code section.
inline uintptr_t CodeImageAddress(uintptr_t module, uintptr_t offset) { return module + offset + 0x1000; }
// Runtime packages don't exist here: every module carries its own runtime.
inline bool UsesRuntimePackages() { return false; }
