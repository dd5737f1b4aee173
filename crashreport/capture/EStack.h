#pragma once
// Call stacks. No frame chain is trusted: the stack is scanned word by word and a word is a
// return address only when the bytes before it form a CALL instruction. Each kept address
// becomes an item; a clean-up pass hides left-overs of earlier calls.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "crashreport/capture/EModuleInfo.h"
#include "crashreport/capture/EReporterHeap.h"
#include "crashreport/capture/EStackReader.h"

// Copies at most 255 characters (64 for leak texts): the item's texts are fixed-size so that
// filling one allocates nothing.
template <size_t N>
struct TShortText {
    char text[N + 1] = {};
    void Assign(std::string_view value);
    std::string Str() const { return text; }
    bool Empty() const { return text[0] == 0; }
    bool operator==(const TShortText& other) const;
};

struct TVurazaStackItem {
    static void* operator new(size_t size) { return StackHeapAllocate(size); }
    static void operator delete(void* block) noexcept { StackHeapRelease(block); }

    uint8_t Kind = 0;  // 0 nothing known or hidden, 1 module, 2 procedure, 3 unit, 4 line
    TVurazaModuleInfo* Module = nullptr;
    uint32_t ThreadId = 0;
    uint8_t Group = 0;     // 1 a thread's own stack, 0 a creator stack
    uint8_t First = 0;     // 1 for the exception address itself
    uint8_t LeakItem = 0;
    TShortText<64> LeakText;
    uint32_t LeakSize = 0;
    uint32_t LeakCount = 0;
    uintptr_t Address = 0;  // the call instruction, or the exception address
    TShortText<255> UnitName;
    TShortText<255> ClassName;
    TShortText<255> ProcedureName;
    int32_t Line = 0;
    int32_t LineDistance = 0;
    // The record of an unresolved item: handle and file name only, owned by the item.
    std::unique_ptr<TVurazaModuleInfo> OwnModule;
};

class TVurazaStackList {
public:
    size_t Count() const { return items_.size(); }
    TVurazaStackItem* GetItem(size_t index) const { return items_[index].get(); }
    void Add(std::unique_ptr<TVurazaStackItem> item) { items_.push_back(std::move(item)); }
    void Delete(size_t index) { items_.erase(items_.begin() + static_cast<ptrdiff_t>(index)); }
    void Clear() { items_.clear(); }
    void Reserve(size_t count) { items_.reserve(count); }

    static void* operator new(size_t size) { return StackHeapAllocate(size); }
    static void operator delete(void* block) noexcept { StackHeapRelease(block); }

private:
    std::vector<std::unique_ptr<TVurazaStackItem>, TStackHeapAllocator<std::unique_ptr<TVurazaStackItem>>> items_;
};

constexpr size_t StackScanLimit = 102400;
constexpr size_t StackItemLimit = 1025;
constexpr uint32_t HandlingKindsMask = 31;

// Fills an item from the module's debug data and exports. Until one is installed, resolved
// items are filled like unresolved ones.
using TStackItemResolver = void (*)(uintptr_t address, uint32_t threadId, TVurazaStackItem& item, bool first,
                                    uint8_t group);
void SetStackItemResolver(TStackItemResolver resolver);
TStackItemResolver StackItemResolver();  // nullptr until one is installed

struct TStackScanRequest {
    uintptr_t Address = 0;  // 0: no exception address
    uintptr_t StackPointer = 0;
    uintptr_t StackTop = 0;
    uint32_t KindsMask = HandlingKindsMask;
    int32_t Maximum = -1;
    int32_t Skip = -1;  // -1: no limits
    bool FollowTargets = false;
    bool Resolve = false;
    uint8_t Group = 1;
    uint32_t ThreadId = 0;
};

// Appends the stack's items to list.
void ScanStack(TVurazaStackList& list, const TStackScanRequest& request, TStackMemoryReader& reader);
void ScanStack(TVurazaStackList& list, uintptr_t address, uintptr_t stackPointer, uint32_t kindsMask,
               int32_t maximum, int32_t skip, bool followTargets, bool resolve, uint8_t group, uint32_t threadId,
               uintptr_t stackTop, TStackMemoryReader& reader);
// The first byte of the call instruction that returns to v, or 0 when the bytes before v form
// none of the recognised call forms. frameLoadRule asks, for FF 50-57 calls, for the 8B load of
// the pointer just before them.
uintptr_t CallInstructionBefore(TStackMemoryReader& reader, uintptr_t returnAddress, bool frameLoadRule);

// A new list, scanned with the resolve flag.
std::unique_ptr<TVurazaStackList> BuildStackList(uintptr_t address, uintptr_t stackPointer, uintptr_t stackTop,
                                                 uint32_t kindsMask, int32_t maximum, int32_t skip,
                                                 bool followTargets, uint8_t group, uint32_t threadId,
                                                 TStackMemoryReader& reader);

// A copy of the stack of the thread that created or resumed a thread: scanned as group 0 under
// the resumer's thread id.
struct TCreatorStack {
    const void* bytes = nullptr;
    size_t size = 0;
    uintptr_t start = 0;  // the address bytes[0] was copied from
    uint32_t resumerThreadId = 0;
};
void AddCreatorStack(TVurazaStackList& list, const TCreatorStack& stack, bool resolve, TStackMemoryReader& live);

// The clean-up of the items from index start on (the list's length before the scan).
void CleanUpStackItems(TVurazaStackList& list, size_t start, bool resolve);
