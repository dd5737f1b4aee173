#pragma once
// The leak tracker's exit steps over the copy of the live blocks: purge the known harmless
// ones, keep at most 1025, clean and trim the stacks, merge blocks of one size and call site,
// fold an object's own blocks into it, and hand each remaining leak to the report. They change
// only the records: no block's header is written. No Win32 here.

#include <cstddef>
#include <cstdint>
#include <string>

#include "crashreport/capture/ELeakTracker.h"
#include "crashreport/capture/EStackReader.h"

constexpr size_t LeakReportLimit = 1025;

// What the steps ask of the program around them.
class TLeakInspector {
public:
    virtual ~TLeakInspector() = default;
    // The class of an object block (written into name, at most 64 characters); false for data.
    virtual bool ObjectName(const void* data, uint32_t size, char (&name)[65]) = 0;
    // Entries a leak's stack starts with that say nothing of who leaked: the tracker, the
    // allocation operators, the static runtime.
    virtual bool IsAllocatorFrame(uintptr_t address) = 0;
    // The code the return addresses point into.
    virtual TStackMemoryReader& Code() = 0;
};

// Receives the leaks: Begin once before the first, Item per leak, End once after the last.
class TLeakSink {
public:
    virtual ~TLeakSink() = default;
    virtual void Begin() = 0;
    virtual void Item(const char* name, uint32_t totalSize, uint32_t count,
                      const uintptr_t (&stack)[LeakStackDepth]) = 0;
    virtual void End() = 0;
};

// Classes of our own that live until the process ends on purpose (loPurgeKnown). The
// program's list is empty: nothing of ours is meant to outlive the exit steps.
struct TKnownLeak {
    const char* className;
    bool all;  // every one, or only the first
};
extern const TKnownLeak KnownHarmlessLeaks[];
extern const size_t KnownHarmlessLeakCount;

// Whether the exit steps can walk the list: its first header readable, or no list at all.
// Another memory manager may have released the blocks before the steps run.
bool LeakListReadable(const TLeakHeader* head, TStackMemoryReader& memory);

void ClassifyLeaks(TLeakRecord* records, size_t count, TLeakInspector& inspector);
// Drops, with loPurgeKnown, the objects of the known classes given.
void PurgeInvalidLeaks(TLeakRecord* records, size_t count, uint8_t options, const TKnownLeak* known,
                       size_t knownCount);
void RemoveExtraLeaks(TLeakRecord* records, size_t count);
// Keeps of a stack only the return addresses preceded by a call, moved back to the call, in
// order at the front; the rest zero.
void ValidateReturnAddresses(uintptr_t (&stack)[LeakStackDepth], TStackMemoryReader& code);
void PurgeCallStacks(TLeakRecord* records, size_t count, TLeakInspector& inspector);
void CountAllLeaks(TLeakRecord* records, size_t count);
void RemoveLeaksSons(TLeakRecord* records, size_t count);
void HandleAnyLeak(TLeakRecord* records, size_t count, TLeakSink& sink);

// Steps 4 to 9 in order, with the options' bits; step holds the name of the one running, for
// the message when one fails.
void RunLeakSteps(TLeakRecord* records, size_t count, uint8_t options, TLeakInspector& inspector, TLeakSink& sink,
                  const char*& step);
