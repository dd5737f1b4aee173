#pragma once
// The program's leak tracker: every form of the global operator new and delete (ELeakNew.cpp)
// comes here, and blocks come from a private heap. The first call decides tracking from the
// "ELDATA" header and it holds until the exit steps switch it off. The C runtime's malloc is
// left alone: the runtime and Wine use it.

#include <windows.h>

#include <cstddef>
#include <cstdint>

#include "crashreport/capture/ELeakTracker.h"

// What the reporter hands the tracker. All empty until set; each may be left empty.
struct TLeakCallbacks {
    void (*overrun)() = nullptr;
    void (*multiFree)() = nullptr;
    void (*finalization)() = nullptr;
    void (*reportBegin)() = nullptr;
    void (*reportItem)(const char* name, uint32_t totalSize, uint32_t count,
                       const uintptr_t (&stack)[LeakStackDepth]) = nullptr;
    void (*reportEnd)() = nullptr;
};
void SetLeakCallbacks(const TLeakCallbacks& callbacks);
const TLeakCallbacks& LeakCallbacks();

// The tracker's own boxes (flags 0x242030, no owner): the exit steps run after the framework's
// hooks are gone, so tests replace this plain pointer.
using TLeakMessageBox = void (*)(const char* text, const char* caption);
void SetLeakMessageBox(TLeakMessageBox box);
void ShowLeakMessage(const char* text, const char* caption);

// Started on the first allocation; these start it too.
TLeakTracker& ProgramLeakTracker();
bool IsLeakTrackingActive();
HANDLE LeakHeap();

// The operators' common paths. frame: the calling operator's frame.
void* LeakAllocate(size_t size, size_t alignment, const void* frame);
void LeakFree(void* data, size_t alignment) noexcept;

// Our own C-style buffers: realloc semantics over the tracker (nullptr grows from nothing);
// TrackedFree releases them.
void* TrackedRealloc(void* data, size_t size);
void TrackedFree(void* data);

// The exit steps: run once, by the exit step ELeakExit.cpp registers.
void ReleaseLeaks();
// Tests only: runs first in the exit step, before the exit steps, where no static is left to
// undo what it changes.
using TLeakExitHook = void (*)();
void SetLeakExitHook(TLeakExitHook hook);
