#include "crashreport/capture/EStillProbe.h"

#include "crashreport/capture/EThreadContext.h"

namespace {

struct TStillProbe {
    HANDLE thread = nullptr;
    HANDLE wake = nullptr;
    HANDLE done = nullptr;
    DWORD id = 0;
    volatile LONG stop = 0;
    wchar_t program[MAX_PATH] = {};
    decltype(&GetFileVersionInfoSizeW) versionSize = nullptr;
};
TStillProbe probe;

void ProbeSystemLocks()
{
    HANDLE heaps[64];
    const DWORD count = GetProcessHeaps(64, heaps);
    // The reporter's own heap too: other threads' throw hooks allocate from it.
    for (DWORD i = 0; i < count && i < 64; ++i) {
        if (void* block = HeapAlloc(heaps[i], 0, 16))
            HeapFree(heaps[i], 0, block);
    }
    // The loader's lock and its search-path lock, as any library load takes them.
    if (HMODULE kernel = LoadLibraryExW(L"kernel32.dll", nullptr, 0))
        FreeLibrary(kernel);
    DWORD handle = 0;
    if (probe.program[0] && probe.versionSize)
        probe.versionSize(probe.program, &handle);
}

DWORD WINAPI ServeProbes(void*)
{
    for (;;) {
        WaitForSingleObject(probe.wake, INFINITE);
        if (probe.stop)
            return 0;
        ProbeSystemLocks();
        SetEvent(probe.done);
    }
}

}  // namespace

bool PrepareStillProbe()
{
    if (probe.thread)
        return true;
    if (!probe.wake)
        probe.wake = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    if (!probe.done)
        probe.done = CreateEventW(nullptr, TRUE, TRUE, nullptr);
    if (!probe.wake || !probe.done)
        return false;
    if (!GetModuleFileNameW(nullptr, probe.program, MAX_PATH))
        probe.program[0] = 0;
    if (HMODULE version = LoadLibraryW(L"version.dll"))
        probe.versionSize = reinterpret_cast<decltype(&GetFileVersionInfoSizeW)>(
            reinterpret_cast<void*>(GetProcAddress(version, "GetFileVersionInfoSizeW")));
    probe.stop = 0;
    probe.thread = CreateThread(nullptr, 0, ServeProbes, nullptr, 0, &probe.id);
    if (probe.thread)
        SetThreadPriority(probe.thread, THREAD_PRIORITY_HIGHEST);
    return probe.thread != nullptr;
}

void ReleaseStillProbe()
{
    if (!probe.thread)
        return;
    WaitStillProbe(5000);
    probe.stop = 1;
    SetEvent(probe.wake);
    if (WaitForSingleObject(probe.thread, 5000) != WAIT_OBJECT_0)
        TerminateThread(probe.thread, 1);
    CloseHandle(probe.thread);
    probe.thread = nullptr;
    probe.id = 0;
}

DWORD StillProbeThreadId()
{
    return probe.id;
}

bool RunStillProbe(DWORD milliseconds)
{
    if (!probe.thread)
        return true;
    if (WaitForSingleObject(probe.done, 0) != WAIT_OBJECT_0)
        return false;
    ResetEvent(probe.done);
    SetEvent(probe.wake);
    return WaitForSingleObject(probe.done, milliseconds) == WAIT_OBJECT_0;
}

bool WaitStillProbe(DWORD milliseconds)
{
    return !probe.thread || WaitForSingleObject(probe.done, milliseconds) == WAIT_OBJECT_0;
}
