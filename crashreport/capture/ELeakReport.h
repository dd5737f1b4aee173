#pragma once
// The reporter's side of the leak tracker: the procedures it hands the tracker. At exit,
// after every static destructor, Internal_ResetLeaks makes the report's objects again (tracking
// is off by then), Internal_AddLeak turns each leak into call-stack items and Internal_ShowLeaks
// routes one EMemoryLeak with them as its ready stack. Heap errors found by a free are routed
// as EMemoryOverrun or EMultiFree on the freeing thread, never thrown: operator delete is
// noexcept. Everything kept between the calls is a pointer or fixed storage.

#include <cstddef>
#include <cstdint>

#include "crashreport/capture/ELeakHeader.h"
#include "crashreport/capture/EStack.h"
#include "framework/Exception.h"

class TVurazaModuleOptions;

class EMemoryLeak : public Exception {
public:
    using Exception::Exception;
};

class EMemoryOverrun : public Exception {
public:
    using Exception::Exception;
};

class EMultiFree : public Exception {
public:
    using Exception::Exception;
};

// Where the leak report and the heap errors go: the handling road, on the calling thread.
// readyStack is the leak report's stack, nullptr for heap errors. Must not throw.
using TLeakRoute = void (*)(Exception& error, uintptr_t address, TVurazaStackList* readyStack);
void SetLeakRoute(TLeakRoute route);

// Hands the reporter's start-up and shut-down the two calls below (InstallLeakReport with the
// options file's name, SaveLeakOptionsFile): before the reporter starts.
void RegisterLeakMode();
// Hands the procedures below to the tracker (start-up, with the tracker active), and takes the
// heap-error texts from this module's stored options.
void InstallLeakReport();
// The heap-error messages: texts 155 and 154 of the options in force.
void SetHeapErrorTexts(const TVurazaModuleOptions& options);

// The options temporary file: saved at shut-down, read back by Internal_ResetLeaks.
void SetLeakOptionsFile(const char* fileName);
void SaveLeakOptionsFile(const TVurazaModuleOptions& options);
void DeleteLeakOptionsFile();

void Internal_ResetLeaks();
void Internal_AddLeak(const char* text, uint32_t size, uint32_t count, const uintptr_t (&stack)[LeakStackDepth]);
void Internal_ShowLeaks();
void RaiseMemoryOverrun();
void RaiseMultiFree();
