// The leak tracker's exit step and the exit steps themselves. The step is registered with
// atexit from the program's only constructor of priority 101, before any other static
// constructor runs, so it runs after every static destructor. Linked as an object, with the
// operators.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>

#include "crashreport/capture/EAddressLookup.h"
#include "crashreport/capture/ECoreWin.h"
#include "crashreport/capture/ELeakMemory.h"
#include "crashreport/capture/ELeakReport.h"
#include "crashreport/capture/EModules.h"
#include "crashreport/capture/ELeakSteps.h"
#include "crashreport/capture/EObjects.h"
#include "crashreport/capture/EStackWin.h"

namespace {

// One byte per 4 KB page of the 4 GB space: 0 not tested, 1 readable, 2 not.
class TPageCacheReader : public TStackMemoryReader {
public:
    TPageCacheReader()
    {
        pages_ = static_cast<uint8_t*>(VirtualAlloc(nullptr, PageCount, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
    }
    ~TPageCacheReader()
    {
        if (pages_)
            VirtualFree(pages_, 0, MEM_RELEASE);
    }
    bool IsReadable(uintptr_t address, size_t count) override
    {
        if (!count)
            return true;
        const uintptr_t page = address >> 12;
        if (!pages_ || address + count < address || ((address + count - 1) >> 12) != page || page >= PageCount)
            return live_.IsReadable(address, count);
        if (!pages_[page])
            pages_[page] = ReadableByteCount(reinterpret_cast<const void*>(page << 12), 4096) == 4096 ? 1 : 2;
        return pages_[page] == 1;
    }
    bool Read(uintptr_t address, void* dest, size_t count) override
    {
        if (!IsReadable(address, count))
            return false;
        memcpy(dest, reinterpret_cast<const void*>(address), count);
        return true;
    }
    bool ModuleOf(uintptr_t address, uintptr_t& handle, TReporterString& fileName) override
    {
        return live_.ModuleOf(address, handle, fileName);
    }

private:
    static constexpr size_t PageCount = size_t(1) << 20;
    uint8_t* pages_ = nullptr;
    TLiveMemoryReader live_;
};

// The end of the module's image; its start when the headers can't be read (no range).
uintptr_t ImageEnd(HMODULE module)
{
    const auto base = reinterpret_cast<uintptr_t>(module);
    IMAGE_NT_HEADERS32 nt;
    return ReadModuleNtHeaders(base, nt) ? base + nt.OptionalHeader.SizeOfImage : base;
}

class TProgramInspector : public TLeakInspector {
public:
    TProgramInspector()
    {
        GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                           reinterpret_cast<LPCSTR>(&ReleaseLeaks), &self_);
        if (self_) {
            begin_ = reinterpret_cast<uintptr_t>(self_);
            end_ = ImageEnd(self_);
        }
    }
    bool ObjectName(const void* data, uint32_t size, char (&name)[65]) override
    {
        // A polymorphic object at the block's start: its virtual table names a class and the
        // object is a whole one (offset to top 0).
        if (size < sizeof(void*) || !IsValidObject(data))
            return false;
        const uintptr_t* vtable = *static_cast<const uintptr_t* const*>(data);
        if (!code_.IsReadable(reinterpret_cast<uintptr_t>(vtable - 2), 8) || vtable[-2] != 0)
            return false;
        const std::string className = ObjectClassName(data);
        if (className.empty())
            return false;
        snprintf(name, sizeof name, "%s", className.c_str());
        return true;
    }
    bool IsAllocatorFrame(uintptr_t address) override
    {
        // Our code without a source line: the static runtime (operator new's callers inside it,
        // std::string's members) and the tracker itself, which is reporter code.
        if (address < begin_ || address >= end_)
            return false;
        TVurazaStackItem item;
        LookupAddressInfo(address, 0, item, false, 1);
        return item.Kind != 4;
    }
    TStackMemoryReader& Code() override { return code_; }

private:
    HMODULE self_ = nullptr;
    uintptr_t begin_ = 0, end_ = 0;
    TPageCacheReader code_;
};

class TCallbackSink : public TLeakSink {
public:
    void Begin() override
    {
        if (LeakCallbacks().reportBegin)
            LeakCallbacks().reportBegin();
    }
    void Item(const char* name, uint32_t totalSize, uint32_t count, const uintptr_t (&stack)[LeakStackDepth]) override
    {
        if (LeakCallbacks().reportItem)
            LeakCallbacks().reportItem(name, totalSize, count, stack);
    }
    void End() override
    {
        if (LeakCallbacks().reportEnd)
            LeakCallbacks().reportEnd();
    }
};

void SectionError(const char* step)
{
    char text[160];
    snprintf(text, sizeof text, "Error in ELeaks \"%s\" section.", step);
    ShowLeakMessage(text, "Error");
}

bool exitStepRan = false;
TLeakExitHook exitHook = nullptr;

void LeakExitStep()
{
    if (exitStepRan)
        return;
    exitStepRan = true;
    try {
        if (exitHook)
            exitHook();
        if (ProgramLeakTracker().Installed() && (ProgramLeakTracker().Options() & loTrack))
            ReleaseLeaks();
        if (LeakCallbacks().finalization)
            LeakCallbacks().finalization();
    } catch (...) {
        ShowLeakMessage("Error in ELeaks Finalization.", "Error");
    }
}

struct TLeakExitRegistration {
    TLeakExitRegistration()
    {
        // Also decides tracking now, should nothing have allocated yet.
        ProgramLeakTracker();
        atexit(&LeakExitStep);
        RegisterLeakMode();
    }
};

__attribute__((init_priority(101))) TLeakExitRegistration leakExitRegistration;

}  // namespace

void SetLeakExitHook(TLeakExitHook hook)
{
    exitHook = hook;
}

void ReleaseLeaks()
{
    TLeakTracker& tracker = ProgramLeakTracker();
    const char* step = "Initialize the Memory Pages Cache";
    TLeakRecord* records = nullptr;
    size_t count = 0;
    try {
        TProgramInspector inspector;
        step = "Lock AllocatedList_Lock";
        // Off first, whatever follows: a later free must not unlink next to a released head.
        tracker.StopTracking();
        if (!LeakListReadable(tracker.ListHead(), inspector.Code())) {
            // Another memory manager released the blocks: nothing to show, and no list to walk.
            if (IsDebuggerPresent())
                ShowLeakMessage("The application contains some memory leaks but it's impossible to show them because "
                                "another Memory Manager has already freed them.\r\n"
                                "Replace that memory manager with a current FastMM4 memory manager "
                                "(https://github.com/pleriche/FastMM4).",
                                "Error");
            return;
        }
        tracker.TakeExitSnapshot(&records, count);
        TCallbackSink sink;
        RunLeakSteps(records, count, tracker.Options(), inspector, sink, step);
        if (tracker.Options() & loFreeAllAtExit) {
            step = "FreeAllLeaks";
            tracker.FreeSnapshotBlocks(records, count);
        }
        step = "Free The Memory Pages Cache";
    } catch (...) {
        SectionError(step);
    }
    tracker.ReleaseSnapshot(records);
}
