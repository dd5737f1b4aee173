#include "crashreport/capture/ELeakMemory.h"

#include <cstdio>
#include <cstring>
#include <exception>
#include <typeinfo>

namespace {

// Constant-initialised: the first operator new may run before any constructor.
constinit TLeakTracker tracker;
constinit TLeakCallbacks callbacks;
HANDLE heap = nullptr;
volatile LONG startState = 0;  // 0 not started, 1 starting, 2 started
volatile DWORD startingThread = 0;
TLeakMessageBox messageBox = nullptr;

void* HeapAllocate(size_t size)
{
    return HeapAlloc(heap, 0, size);
}

void HeapRelease(void* block)
{
    HeapFree(heap, 0, block);
}

void* HeapReallocate(void* block, size_t size)
{
    return HeapReAlloc(heap, 0, block, size);
}

void CaptureStacks(TLeakHeader& header, const void* frame)
{
    const NT_TIB* tib = reinterpret_cast<const NT_TIB*>(NtCurrentTeb());
    const auto top = reinterpret_cast<uintptr_t>(tib->StackBase);
    const auto at = reinterpret_cast<uintptr_t>(frame);
    if (at < reinterpret_cast<uintptr_t>(tib->StackLimit) || at >= top)
        return;
    CaptureLeakStacks(header, frame, top);
}

HMODULE ThisModule()
{
    HMODULE self = nullptr;
    GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCSTR>(&ThisModule), &self);
    return self;
}

uint8_t ModuleLeakOptions(HMODULE module, bool& takeMain)
{
    takeMain = false;
    HRSRC found = FindResourceA(module, "ELDATA", MAKEINTRESOURCEA(10));  // RT_RCDATA
    HGLOBAL loaded = found ? LoadResource(module, found) : nullptr;
    const void* bytes = loaded ? LockResource(loaded) : nullptr;
    return bytes ? LeakOptionsFromHeader(bytes, SizeofResource(module, found), takeMain) : 0;
}

// The module's file name without its folder, in path.
const char* ModuleName(HMODULE module, char (&path)[MAX_PATH + 1])
{
    const DWORD n = GetModuleFileNameA(module, path, MAX_PATH);
    path[n < MAX_PATH ? n : MAX_PATH] = 0;
    const char* name = path;
    for (DWORD i = 0; i < n; ++i)
        if (path[i] == '\\' || path[i] == '/' || path[i] == ':')
            name = path + i + 1;
    return name;
}

bool InsideTheIde()
{
    char path[MAX_PATH + 1] = {};
    return lstrcmpiA(ModuleName(nullptr, path), "ZORBEL32.EXE") == 0;
}

// The C++ runtime in a library of its own (a shared libstdc++): what it allocates and frees
// bypasses these operators, so blocks would cross between heaps. Tracking stays off.
bool RuntimeInOtherModule(HMODULE self)
{
    HMODULE runtime = nullptr;
    GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCSTR>(&typeid(std::exception)), &runtime);
    return runtime && runtime != self;
}

void SayRuntimeInOtherModule(HMODULE self)
{
    char path[MAX_PATH + 1] = {};
    const char* name = ModuleName(self, path);
    char text[MAX_PATH + 160];
    snprintf(text, sizeof text,
             "The \"Memory Leaks Catches\" is disabled in the \"%s\" module, because compiled with RunTime-Packages.",
             name);
    ShowLeakMessage(text, "Error");
}

// Reads the header with the resource API only: nothing here may reach operator new.
void Start()
{
    heap = HeapCreate(0, 0, 0);
    uint8_t options = 0;
    if (heap && !InsideTheIde()) {
        bool takeMain = false;
        const HMODULE self = ThisModule();
        options = ModuleLeakOptions(self, takeMain);
        const HMODULE main = GetModuleHandleA(nullptr);
        if (takeMain && main != self) {
            bool ignored;
            options = ModuleLeakOptions(main, ignored);
        }
        if ((options & loTrack) && RuntimeInOtherModule(self)) {
            options = 0;
            if (IsDebuggerPresent())
                SayRuntimeInOtherModule(self);
        }
    }
    if (!heap)
        heap = GetProcessHeap();
    tracker.Install({&HeapAllocate, &HeapRelease, &HeapReallocate}, &CaptureStacks, options);
}

void EnsureStarted()
{
    if (startState == 2)
        return;
    if (InterlockedCompareExchange(&startState, 1, 0) == 0) {
        startingThread = GetCurrentThreadId();
        Start();
        InterlockedExchange(&startState, 2);
        return;
    }
    while (startState != 2) {
        if (startingThread == GetCurrentThreadId())
            return;  // the start itself allocates; served below from the process heap
        Sleep(0);
    }
}

void ReportHeapError(TLeakFree result)
{
    if (!(tracker.Options() & loHeapErrors))
        return;
    void (*callback)() = result == TLeakFree::Overrun ? callbacks.overrun : callbacks.multiFree;
    if (callback)
        callback();
}

}  // namespace

void SetLeakCallbacks(const TLeakCallbacks& value)
{
    callbacks = value;
}

const TLeakCallbacks& LeakCallbacks()
{
    return callbacks;
}

void SetLeakMessageBox(TLeakMessageBox box)
{
    messageBox = box;
}

void ShowLeakMessage(const char* text, const char* caption)
{
    if (messageBox) {
        messageBox(text, caption);
        return;
    }
    MessageBoxA(nullptr, text, caption, MB_ICONWARNING | MB_TASKMODAL | MB_TOPMOST | MB_SERVICE_NOTIFICATION);
}

TLeakTracker& ProgramLeakTracker()
{
    EnsureStarted();
    return tracker;
}

bool IsLeakTrackingActive()
{
    EnsureStarted();
    return tracker.Installed() && (tracker.Options() & loTrack);
}

HANDLE LeakHeap()
{
    EnsureStarted();
    return heap;
}

void* LeakAllocate(size_t size, size_t alignment, const void* frame)
{
    EnsureStarted();
    if (startState != 2) {
        // Only the starting thread gets here, before the tracker exists: from the heap the
        // tracker will free untracked blocks to.
        return alignment <= 8 ? HeapAlloc(heap ? heap : GetProcessHeap(), 0, size ? size : 1) : nullptr;
    }
    return tracker.Allocate(size, alignment, frame);
}

void LeakFree(void* data, size_t alignment) noexcept
{
    if (!data)
        return;
    EnsureStarted();
    const TLeakFree result = tracker.Free(data, alignment);
    if (result == TLeakFree::Overrun || result == TLeakFree::MultiFree)
        ReportHeapError(result);
}

void* TrackedRealloc(void* data, size_t size)
{
    EnsureStarted();
    TLeakFree error;
    void* fresh = tracker.Reallocate(data, size, __builtin_frame_address(0), error);
    if (error == TLeakFree::Overrun || error == TLeakFree::MultiFree)
        ReportHeapError(error);
    return fresh;
}

void TrackedFree(void* data)
{
    LeakFree(data, 8);
}
