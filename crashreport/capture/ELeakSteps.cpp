#include "crashreport/capture/ELeakSteps.h"

#include <cstring>

#include "crashreport/capture/EStack.h"

// Empty until a class of ours is meant to outlive the exit steps; the row shape is kept so a
// documented one is one line.
const TKnownLeak KnownHarmlessLeaks[] = {
    {nullptr, false},
};
const size_t KnownHarmlessLeakCount = 0;

namespace {

bool Live(const TLeakRecord& r)
{
    return r.state == lsLive;
}

void Compact(uintptr_t (&stack)[LeakStackDepth])
{
    size_t to = 0;
    for (size_t i = 0; i < LeakStackDepth; ++i)
        if (stack[i])
            stack[to++] = stack[i];
    for (; to < LeakStackDepth; ++to)
        stack[to] = 0;
}

// Drops the leading entries that only say how the block was allocated; true when one is left.
bool TrimToCreation(uintptr_t (&stack)[LeakStackDepth], TLeakInspector& inspector)
{
    size_t first = 0;
    while (first < LeakStackDepth && stack[first] && inspector.IsAllocatorFrame(stack[first]))
        ++first;
    if (first == LeakStackDepth || !stack[first])
        return false;
    if (first) {
        memmove(stack, stack + first, (LeakStackDepth - first) * sizeof stack[0]);
        memset(stack + LeakStackDepth - first, 0, first * sizeof stack[0]);
    }
    return true;
}

uintptr_t Distance(uintptr_t a, uintptr_t b)
{
    return a > b ? a - b : b - a;
}

// The owner's first two entries at position 1 to 33 of a child's stack: the first is the call
// of the owner's constructor, which lies just behind the owner's allocation call.
bool HoldsPair(const uintptr_t (&child)[LeakStackDepth], uintptr_t first, uintptr_t second)
{
    if (!first || !second)
        return false;
    for (size_t k = 1; k <= 33; ++k)
        if (child[k] && Distance(child[k], first) < 65 && child[k + 1] == second)
            return true;
    return false;
}

bool IsChildOf(const TLeakRecord& owner, const TLeakRecord& child)
{
    if (HoldsPair(child.rawStack, owner.rawStack[0], owner.rawStack[1]))
        return true;
    return owner.rawStack[0] == owner.frameChain[0] &&
           HoldsPair(child.frameChain, owner.frameChain[0], owner.frameChain[1]);
}

void FoldChildren(TLeakRecord* records, size_t count, size_t owner, size_t depth)
{
    for (size_t j = owner + 1; j < count; ++j) {
        if (!Live(records[j]) || !IsChildOf(records[owner], records[j]))
            continue;
        if (depth < count)
            FoldChildren(records, count, j, depth + 1);
        records[owner].totalSize += records[j].totalSize;
        records[j].state = lsExcluded;
    }
}

}  // namespace

bool LeakListReadable(const TLeakHeader* head, TStackMemoryReader& memory)
{
    return !head || memory.IsReadable(reinterpret_cast<uintptr_t>(head), LeakHeaderSize);
}

void ClassifyLeaks(TLeakRecord* records, size_t count, TLeakInspector& inspector)
{
    for (size_t i = 0; i < count; ++i) {
        TLeakRecord& r = records[i];
        r.className[0] = 0;
        r.kind = inspector.ObjectName(LeakDataOf(r.header), r.size, r.className) ? 1 : 0;
        if (!r.kind)
            r.className[0] = 0;
    }
}

void PurgeInvalidLeaks(TLeakRecord* records, size_t count, uint8_t options, const TKnownLeak* known,
                       size_t knownCount)
{
    if (!(options & loPurgeKnown))
        return;
    for (size_t k = 0; k < knownCount; ++k) {
        for (size_t i = 0; i < count; ++i) {
            TLeakRecord& r = records[i];
            if (!Live(r) || !r.kind || strcmp(r.className, known[k].className) != 0)
                continue;
            r.state = lsExcluded;
            if (!known[k].all)
                break;
        }
    }
}

void RemoveExtraLeaks(TLeakRecord* records, size_t count)
{
    size_t kept = 0;
    for (size_t i = 0; i < count; ++i) {
        if (!Live(records[i]))
            continue;
        if (kept < LeakReportLimit)
            ++kept;
        else
            records[i].state = lsExcluded;
    }
}

void ValidateReturnAddresses(uintptr_t (&stack)[LeakStackDepth], TStackMemoryReader& code)
{
    for (uintptr_t& entry : stack)
        if (entry)
            entry = CallInstructionBefore(code, entry, false);
    Compact(stack);
}

void PurgeCallStacks(TLeakRecord* records, size_t count, TLeakInspector& inspector)
{
    for (size_t i = 0; i < count; ++i) {
        TLeakRecord& r = records[i];
        if (!Live(r))
            continue;
        ValidateReturnAddresses(r.rawStack, inspector.Code());
        ValidateReturnAddresses(r.frameChain, inspector.Code());
        if (TrimToCreation(r.rawStack, inspector))
            continue;
        memcpy(r.rawStack, r.frameChain, sizeof r.rawStack);
        if (!TrimToCreation(r.rawStack, inspector)) {
            memset(r.rawStack, 0, sizeof r.rawStack);
            memset(r.frameChain, 0, sizeof r.frameChain);
        }
    }
}

void CountAllLeaks(TLeakRecord* records, size_t count)
{
    for (size_t i = 0; i < count; ++i) {
        TLeakRecord& group = records[i];
        if (!Live(group))
            continue;
        for (size_t j = i + 1; j < count; ++j) {
            TLeakRecord& r = records[j];
            if (!Live(r) || r.size != group.size || r.rawStack[0] != group.rawStack[0])
                continue;
            group.totalSize += r.totalSize;
            group.count += r.count;
            r.state = lsExcluded;
        }
    }
}

void RemoveLeaksSons(TLeakRecord* records, size_t count)
{
    for (size_t i = 0; i < count; ++i)
        if (Live(records[i]) && records[i].kind)
            FoldChildren(records, count, i, 0);
}

void HandleAnyLeak(TLeakRecord* records, size_t count, TLeakSink& sink)
{
    bool begun = false;
    for (size_t i = 0; i < count; ++i) {
        const TLeakRecord& r = records[i];
        if (!Live(r) || !r.rawStack[0])
            continue;
        if (!begun) {
            try {
                sink.Begin();
                begun = true;
            } catch (...) {
                continue;
            }
        }
        try {
            sink.Item(r.kind ? r.className : "Data", r.totalSize, r.count, r.rawStack);
        } catch (...) {
        }
    }
    if (begun)
        sink.End();
}

void RunLeakSteps(TLeakRecord* records, size_t count, uint8_t options, TLeakInspector& inspector, TLeakSink& sink,
                  const char*& step)
{
    step = "PurgeInvalidLeaks";
    ClassifyLeaks(records, count, inspector);
    PurgeInvalidLeaks(records, count, options, KnownHarmlessLeaks, KnownHarmlessLeakCount);
    step = "RemoveExtraLeaks";
    RemoveExtraLeaks(records, count);
    step = "PurgeCallStacks";
    PurgeCallStacks(records, count, inspector);
    step = "CountAllLeaks";
    CountAllLeaks(records, count);
    if (options & loFoldChildren) {
        step = "RemoveLeaksSons";
        RemoveLeaksSons(records, count);
    }
    step = "HandleAnyLeak";
    HandleAnyLeak(records, count, sink);
}
