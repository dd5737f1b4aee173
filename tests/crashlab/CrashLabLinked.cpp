// A program that carries the reporter linked only as a program author is told to, and nothing
// of the crash lab: its reports must be as full as the lab's. One fault per mode, each three
// calls below where it starts; the report goes into the log beside the program.
//   crashlab_linked main | worker | throw | callback

#include <windows.h>

#include <tlhelp32.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

namespace {

// Calls that stay calls: no inlining, and no tail call that would take a frame off the stack.
#define KEEP_FRAME asm volatile("" ::: "memory")

volatile int* volatile target = reinterpret_cast<int*>(0x10);

__attribute__((noinline)) void WriteInner()
{
    *target = 1;
    KEEP_FRAME;
}

__attribute__((noinline)) void WriteMiddle()
{
    WriteInner();
    KEEP_FRAME;
}

__attribute__((noinline)) void WriteOuter()
{
    WriteMiddle();
    KEEP_FRAME;
}

__attribute__((noinline)) void ThrowInner()
{
    throw std::runtime_error("linked program's error");
}

__attribute__((noinline)) void ThrowMiddle()
{
    ThrowInner();
    KEEP_FRAME;
}

__attribute__((noinline)) void ThrowOuter()
{
    ThrowMiddle();
    KEEP_FRAME;
}

DWORD WINAPI FaultingWorker(void*)
{
    WriteOuter();
    KEEP_FRAME;
    return 0;
}

// Called by user32 for each top-level window: the fault has a system DLL's frame below it.
BOOL CALLBACK FaultInEnumeration(HWND, LPARAM)
{
    WriteOuter();
    KEEP_FRAME;
    return FALSE;
}

// The modules a tool-help snapshot lists now, one file name a line, for the check to compare.
void PrintModules()
{
    HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, GetCurrentProcessId());
    if (snap == INVALID_HANDLE_VALUE)
        return;
    MODULEENTRY32 entry{};
    entry.dwSize = sizeof entry;
    for (BOOL ok = Module32First(snap, &entry); ok; ok = Module32Next(snap, &entry))
        printf("module %s\n", entry.szModule);
    CloseHandle(snap);
    fflush(stdout);
}

}  // namespace

int main(int argc, char** argv)
{
    const char* mode = argc > 1 ? argv[1] : "";
    if (strcmp(mode, "main") == 0) {
        WriteOuter();
    } else if (strcmp(mode, "throw") == 0) {
        ThrowOuter();
    } else if (strcmp(mode, "worker") == 0) {
        HANDLE worker = CreateThread(nullptr, 0, FaultingWorker, nullptr, 0, nullptr);
        if (worker) {
            WaitForSingleObject(worker, INFINITE);
            CloseHandle(worker);
        }
    } else if (strcmp(mode, "callback") == 0) {
        // A top-level window of its own, so that the enumeration has one to call back for.
        CreateWindowExA(0, "STATIC", "linked", WS_OVERLAPPED, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
        // Long enough for the records of what the window loaded to be made.
        const char* scale = getenv("VIDUDO_TIME_SCALE");
        Sleep(static_cast<DWORD>(3000 * (scale && *scale ? atof(scale) : 1.0)));
        PrintModules();
        EnumWindows(FaultInEnumeration, 0);
    } else {
        return 2;
    }
    KEEP_FRAME;
    return 0;
}
