#include "crashreport/capture/EStack.h"

#include <cstdlib>
#include <cstring>
#include <new>

#include "crashreport/capture/ECore.h"

template <size_t N>
void TShortText<N>::Assign(std::string_view value)
{
    const size_t n = value.size() < N ? value.size() : N;
    memcpy(text, value.data(), n);
    text[n] = 0;
}

template <size_t N>
bool TShortText<N>::operator==(const TShortText& other) const
{
    return strcmp(text, other.text) == 0;
}

template struct TShortText<64>;
template struct TShortText<255>;

bool TStackCopyReader::IsReadable(uintptr_t address, size_t count)
{
    return Inside(address, count) || live_.IsReadable(address, count);
}

bool TStackCopyReader::Read(uintptr_t address, void* dest, size_t count)
{
    if (Inside(address, count)) {
        memcpy(dest, copy_ + (address - base_), count);
        return true;
    }
    return live_.Read(address, dest, count);
}

uintptr_t CallInstructionBefore(TStackMemoryReader& reader, uintptr_t v, bool frameLoadRule)
{
    uint8_t b[8];  // b[7 - k] is the byte at v - k
    if (v < 7 || !reader.Read(v - 7, b, 7))
        return 0;
    const auto at = [&](int back) { return b[7 - back]; };
    const auto u32At = [&](int back) {
        uint32_t x;
        memcpy(&x, &b[7 - back], 4);
        return x;
    };

    // The first form that matches wins: an E8 byte whose target is unreadable is no call, and
    // may be a displacement of another form (8B 45 E8 8B 10 FF D2).
    if (at(5) == 0xE8 && reader.IsReadable(static_cast<uint32_t>(v + u32At(4)), 1))
        return v - 5;
    if (at(2) == 0xFF) {
        const uint8_t m = at(1);
        if (m >= 0xD0 && m <= 0xD7)
            return v - 2;
        if ((m >= 0x10 && m <= 0x13) || m == 0x16 || m == 0x17)
            return v - 2;
    }
    if (at(3) == 0xFF) {
        const uint8_t m = at(2);
        if (((m >= 0x50 && m <= 0x53) || (m >= 0x55 && m <= 0x57)) &&
            (!frameLoadRule || at(5) == 0x8B || at(6) == 0x8B))
            return v - 3;
    }
    if (at(6) == 0xFF) {
        const uint8_t m = at(5);
        if ((m >= 0x90 && m <= 0x93) || (m >= 0x95 && m <= 0x97))
            return v - 6;
    }
    if (at(3) == 0xFF && at(2) == 0x14 && at(1) == 0x24)
        return v - 3;
    if (at(4) == 0xFF && at(3) == 0x54 && at(2) == 0x24)
        return v - 4;
    if (at(7) == 0xFF && at(6) == 0x94 && at(5) == 0x24)
        return v - 7;
    if (at(6) == 0xFF && at(5) == 0x15 && reader.IsReadable(u32At(4), 4))
        return v - 6;
    return 0;
}

namespace {

TStackItemResolver itemResolver = nullptr;

bool IsResolvedKind(uint8_t kind)
{
    return kind >= 2 && kind <= 4;
}

class TStackScanner {
public:
    TStackScanner(TVurazaStackList& list, const TStackScanRequest& request, TStackMemoryReader& reader)
        : list_(list), r_(request), reader_(reader) {}

    void Run();

private:
    void AddStackItem(uintptr_t address, bool first);
    // The instruction's first byte when the bytes before v form a call, else 0.
    uintptr_t CallBefore(uintptr_t v, uintptr_t& followed);
    uintptr_t FollowThunk(uintptr_t target);

    TVurazaStackList& list_;
    const TStackScanRequest& r_;
    TStackMemoryReader& reader_;
    int32_t kept_ = 0;
    int32_t added_ = 0;
};

void TStackScanner::AddStackItem(uintptr_t address, bool first)
{
    if (list_.Count() > StackItemLimit - 1)
        return;
    auto item = std::make_unique<TVurazaStackItem>();
    if (r_.Resolve && itemResolver) {
        itemResolver(address, r_.ThreadId, *item, first, r_.Group);
    } else {
        item->Kind = 1;
        item->Group = r_.Group;
        item->First = first ? 1 : 0;
        item->ThreadId = r_.ThreadId;
        item->Address = address;
        auto module = std::make_unique<TVurazaModuleInfo>();
        if (reader_.ModuleOf(address, module->Handle, module->FileName)) {
            item->OwnModule = std::move(module);
            item->Module = item->OwnModule.get();
        }
    }
    if (item->Kind > 7 || !(r_.KindsMask & (1u << item->Kind)))
        return;
    const int32_t index = kept_++;
    if (r_.Skip != -1) {
        if (index < r_.Skip)
            return;
        if (r_.Maximum >= 0 && added_ >= r_.Maximum)
            return;
    }
    ++added_;
    list_.Add(std::move(item));
}

uintptr_t TStackScanner::FollowThunk(uintptr_t target)
{
    uint8_t code[6];
    if (!reader_.Read(target, code, 6) || code[0] != 0xFF || code[1] != 0x25)
        return target;
    uint32_t slot = 0, to = 0;
    memcpy(&slot, code + 2, 4);
    if (!reader_.ReadU32(slot, to))
        return target;
    return to;
}

uintptr_t TStackScanner::CallBefore(uintptr_t v, uintptr_t& followed)
{
    followed = 0;
    const uintptr_t call = CallInstructionBefore(reader_, v, true);
    if (call && r_.FollowTargets) {
        uint8_t code[5];
        uint32_t rel = 0;
        if (reader_.Read(call, code, 5) && code[0] == 0xE8) {
            memcpy(&rel, code + 1, 4);
            const uintptr_t to = FollowThunk(static_cast<uint32_t>(v + rel));
            uint8_t head[5];
            if (reader_.Read(to, head, 5) && head[0] != 0xE8)
                followed = to;
        }
    }
    return call;
}

void TStackScanner::Run()
{
    const size_t start = list_.Count();
    if (r_.Address)
        AddStackItem(r_.Address, true);
    uintptr_t top = r_.StackTop;
    if (top > r_.StackPointer && top - r_.StackPointer > StackScanLimit)
        top = r_.StackPointer + StackScanLimit;
    size_t run = 0;
    for (uintptr_t pos = r_.StackPointer; pos < top && top - pos >= 4; pos += 4) {
        if (run == 0)
            run = reader_.IsReadable(pos, 400) ? 400 : reader_.IsReadable(pos, 4) ? 4 : 0;
        if (run == 0)
            continue;
        uint32_t v = 0;
        if (!reader_.ReadU32(pos, v)) {
            run = 0;  // the stack changed under us: probe again at the next word
            continue;
        }
        run -= 4;
        uintptr_t followed = 0;
        const uintptr_t call = CallBefore(v, followed);
        if (!call)
            continue;
        if (followed)
            AddStackItem(followed, false);
        AddStackItem(call, false);
    }
    CleanUpStackItems(list_, start, r_.Resolve);
}

bool SameRoutine(const TVurazaStackItem& a, const TVurazaStackItem& b)
{
    return a.UnitName == b.UnitName && a.ClassName == b.ClassName && a.ProcedureName == b.ProcedureName;
}

}  // namespace

void AddCreatorStack(TVurazaStackList& list, const TCreatorStack& stack, bool resolve, TStackMemoryReader& live)
{
    if (!stack.bytes || stack.size == 0)
        return;
    TStackCopyReader reader(stack.start, stack.bytes, stack.size, live);
    TStackScanRequest r;
    r.StackPointer = stack.start;
    r.StackTop = stack.start + stack.size;
    r.FollowTargets = true;
    r.Resolve = resolve;
    r.Group = 0;
    r.ThreadId = stack.resumerThreadId;
    ScanStack(list, r, reader);
}

void SetStackItemResolver(TStackItemResolver resolver)
{
    itemResolver = resolver;
}

TStackItemResolver StackItemResolver()
{
    return itemResolver;
}

void CleanUpStackItems(TVurazaStackList& list, size_t start, bool resolve)
{
    if (IsRunningInIde() && resolve) {
        for (size_t i = list.Count(); i-- > start;) {
            const TVurazaStackItem& item = *list.GetItem(i);
            if (!IsResolvedKind(item.Kind) || strstr(item.ProcedureName.text, "HandleException"))
                list.Delete(i);
        }
    }
    const size_t count = list.Count();
    // Two calls at one address in one module: the earlier is a left-over of a finished call.
    for (size_t i = count >= 2 ? count - 1 : 0; i-- > start;) {
        TVurazaStackItem& item = *list.GetItem(i);
        if (!IsResolvedKind(item.Kind))
            continue;
        int compared = 0;
        for (size_t j = i + 1; j < count && compared < 2; ++j) {
            const TVurazaStackItem& later = *list.GetItem(j);
            if (!IsResolvedKind(later.Kind) || later.Module != item.Module)
                continue;
            ++compared;
            if (later.Address == item.Address) {
                item.Kind = 0;
                break;
            }
        }
    }
    // A line at the start of a routine below a deeper line of the same routine: what lies
    // between them are left-overs. The walk never leaves this scan's items.
    for (size_t n = count; n-- > start + 1;) {
        const TVurazaStackItem& top = *list.GetItem(n);
        if (top.Kind != 4 || top.LineDistance != 0)
            continue;
        size_t m = n - 1;
        const auto sameThread = [&](const TVurazaStackItem& x) {
            return x.ThreadId == top.ThreadId && x.Group == top.Group;
        };
        while (m > start) {
            const TVurazaStackItem& x = *list.GetItem(m);
            if (!sameThread(x) || !(!SameRoutine(x, top) || x.LineDistance == 0))
                break;
            --m;
        }
        const TVurazaStackItem& stop = *list.GetItem(m);
        if (m < n - 1 && sameThread(stop) && SameRoutine(stop, top) && stop.LineDistance != 0) {
            for (size_t k = m + 1; k < n; ++k)
                list.GetItem(k)->Kind = 0;
        }
    }
}

void ScanStack(TVurazaStackList& list, const TStackScanRequest& request, TStackMemoryReader& reader)
{
    TStackScanner(list, request, reader).Run();
}

void ScanStack(TVurazaStackList& list, uintptr_t address, uintptr_t stackPointer, uint32_t kindsMask,
               int32_t maximum, int32_t skip, bool followTargets, bool resolve, uint8_t group, uint32_t threadId,
               uintptr_t stackTop, TStackMemoryReader& reader)
{
    TStackScanRequest r;
    r.Address = address;
    r.StackPointer = stackPointer;
    r.StackTop = stackTop;
    r.KindsMask = kindsMask;
    r.Maximum = maximum;
    r.Skip = skip;
    r.FollowTargets = followTargets;
    r.Resolve = resolve;
    r.Group = group;
    r.ThreadId = threadId;
    ScanStack(list, r, reader);
}

std::unique_ptr<TVurazaStackList> BuildStackList(uintptr_t address, uintptr_t stackPointer, uintptr_t stackTop,
                                                 uint32_t kindsMask, int32_t maximum, int32_t skip,
                                                 bool followTargets, uint8_t group, uint32_t threadId,
                                                 TStackMemoryReader& reader)
{
    auto list = std::make_unique<TVurazaStackList>();
    list->Reserve(64);
    ScanStack(*list, address, stackPointer, kindsMask, maximum, skip, followTargets, true, group, threadId, stackTop,
              reader);
    return list;
}
