#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "crashreport/capture/ECore.h"
#include "crashreport/capture/EStack.h"
#include "tests/crashreport/capture/FakeMemory.h"

namespace {

constexpr uintptr_t Code = 0x401000;
constexpr uintptr_t Stack = 0x100000;

std::string Bytes(std::initializer_list<int> bytes)
{
    std::string s;
    for (int b : bytes)
        s += static_cast<char>(b);
    return s;
}

std::string U32(uint32_t v)
{
    return std::string(reinterpret_cast<char*>(&v), 4);
}

std::vector<uintptr_t> Addresses(const TVurazaStackList& list)
{
    std::vector<uintptr_t> out;
    for (size_t i = 0; i < list.Count(); ++i)
        out.push_back(list.GetItem(i)->Address);
    return out;
}

TStackScanRequest Request(uintptr_t sp, uintptr_t top)
{
    TStackScanRequest r;
    r.StackPointer = sp;
    r.StackTop = top;
    r.ThreadId = 7;
    return r;
}

TEST(StackScan, CallFormsBeforeAReturnAddress)
{
    // The instruction ends at V = Code + 0x20; the filler 90 matches no form.
    constexpr uintptr_t V = Code + 0x20;
    const auto at = [](int back) { return V - back; };
    const std::string nop(0x20, '\x90');
    struct Case {
        const char* name;
        std::string tail;  // bytes just before V
        bool follow;
        std::vector<uintptr_t> expected;
    } cases[] = {
        {"E8 to a readable target", Bytes({0xE8}) + U32(0x40), false, {at(5)}},
        {"E8 followed: the target comes first", Bytes({0xE8}) + U32(0x40), true, {V + 0x40, at(5)}},
        {"E8 followed through an import thunk", Bytes({0xE8}) + U32(0x60), true, {Code + 0x100, at(5)}},
        {"E8 to a target starting with E8", Bytes({0xE8}) + U32(0x80), true, {at(5)}},
        {"E8 to an unreadable target", Bytes({0xE8}) + U32(0x10000), true, {}},
        {"8B 45 E8 8B 10 FF D2: the E8 is a displacement", Bytes({0x8B, 0x45, 0xE8, 0x8B, 0x10, 0xFF, 0xD2}), true,
         {at(2)}},
        {"FF 50 08 after 8B 00", Bytes({0x8B, 0x00, 0xFF, 0x50, 0x08}), false, {at(3)}},
        {"FF 50 08 after 8B 45 FC", Bytes({0x8B, 0x45, 0xFC, 0xFF, 0x50, 0x08}), false, {at(3)}},
        {"FF 50 08 without a move", Bytes({0x90, 0x90, 0xFF, 0x50, 0x08}), false, {}},
        {"FF 14 24", Bytes({0xFF, 0x14, 0x24}), false, {at(3)}},
        {"FF 15 with an unreadable pointer", Bytes({0xFF, 0x15}) + U32(0x7000000), false, {}},
        {"FF 15 with a readable pointer", Bytes({0xFF, 0x15}) + U32(Code), false, {at(6)}},
        {"FF D3", Bytes({0xFF, 0xD3}), false, {at(2)}},
        {"FF 94 24 d32", Bytes({0xFF, 0x94, 0x24}) + U32(0x104), false, {at(7)}},
        {"FF 54 24 d8", Bytes({0xFF, 0x54, 0x24, 0x08}), false, {at(4)}},
        {"FF 93 d32", Bytes({0xFF, 0x93}) + U32(0x10), false, {at(6)}},
        {"FF 16", Bytes({0xFF, 0x16}), false, {at(2)}},
        {"FF 14 not followed by 24", Bytes({0x90, 0xFF, 0x14}), false, {}},
        {"no call", Bytes({0x90, 0x90, 0xC3}), false, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TFakeMemory memory;
        std::string code = nop.substr(0, 0x20 - c.tail.size()) + c.tail + std::string(0x40, '\x90');
        code.resize(0x200, '\x90');
        code[0x80 + 0x20] = '\xE8';                          // V + 0x80 starts with E8
        code.replace(0x60 + 0x20, 6, Bytes({0xFF, 0x25}) + U32(Code + 0x180));  // thunk at V + 0x60
        code.replace(0x180, 4, U32(Code + 0x100));
        memory.Put(Code, code);
        memory.Put(Stack, U32(0) + U32(V) + U32(0x12345678));
        TVurazaStackList list;
        TStackScanRequest r = Request(Stack, Stack + 12);
        r.FollowTargets = c.follow;
        ScanStack(list, r, memory);
        EXPECT_EQ(c.expected, Addresses(list));
    }
}

// A stack of count words with a return address after an E8 call at each position in marks.
struct TCallStack {
    TFakeMemory memory;
    uintptr_t returnAddress = Code + 0x10;
    explicit TCallStack(size_t words, const std::vector<size_t>& marks)
    {
        memory.Put(Code, std::string(0x0B, '\x90') + Bytes({0xE8}) + U32(0) + std::string(0x20, '\x90'));
        std::string stack(words * 4, '\0');
        for (size_t m : marks)
            stack.replace(m * 4, 4, U32(static_cast<uint32_t>(returnAddress)));
        memory.Put(Stack, stack);
        memory.modules.push_back({Code - 0x1000, Code + 0x10000, "C:\\app\\crashlab.exe"});
    }
};

TEST(StackScan, ItemsOfAnUnresolvedScanNameTheirModule)
{
    TCallStack s(4, {1});
    TVurazaStackList list;
    TStackScanRequest r = Request(Stack, Stack + 16);
    r.Address = Code + 3;
    r.Group = 0;
    ScanStack(list, r, s.memory);
    ASSERT_EQ(2u, list.Count());
    const TVurazaStackItem& first = *list.GetItem(0);
    EXPECT_EQ(1, first.First);
    EXPECT_EQ(Code + 3, first.Address);
    const TVurazaStackItem& call = *list.GetItem(1);
    EXPECT_EQ(0, call.First);
    EXPECT_EQ(1, call.Kind);
    EXPECT_EQ(0, call.Group);
    EXPECT_EQ(7u, call.ThreadId);
    EXPECT_EQ(Code + 0x0B, call.Address);
    ASSERT_NE(nullptr, call.Module);
    EXPECT_EQ(Code - 0x1000, call.Module->Handle);
    EXPECT_EQ("C:\\app\\crashlab.exe", call.Module->FileName);
}

TEST(StackScan, ACreatorStackIsGroupZeroUnderTheResumer)
{
    TCallStack s(4, {});
    const std::string copy = U32(0) + U32(static_cast<uint32_t>(s.returnAddress)) + U32(0);
    TVurazaStackList list;
    // The copy's addresses are not mapped live: only the copy serves them.
    AddCreatorStack(list, {copy.data(), copy.size(), 0x300000, 99}, false, s.memory);
    // Targets are followed: the called routine comes before the call.
    EXPECT_EQ((std::vector<uintptr_t>{Code + 0x10, Code + 0x0B}), Addresses(list));
    for (size_t i = 0; i < list.Count(); ++i) {
        EXPECT_EQ(0, list.GetItem(i)->Group);
        EXPECT_EQ(99u, list.GetItem(i)->ThreadId);
    }
    AddCreatorStack(list, {}, false, s.memory);
    EXPECT_EQ(2u, list.Count());
}

TEST(StackScan, ScansAtMost102400BytesAboveTheStackPointer)
{
    const size_t limitWords = 102400 / 4;
    TCallStack s(limitWords + 64, {0, limitWords - 1, limitWords, limitWords + 10});
    TVurazaStackList list;
    ScanStack(list, Request(Stack, Stack + (limitWords + 64) * 4), s.memory);
    EXPECT_EQ(2u, list.Count());
}

TEST(StackScan, UnreadableWordsAreSkipped)
{
    TCallStack s(8, {0, 7});
    // A hole: the stack's readable bytes stop at word 4 and start again at word 6.
    std::string stack = s.memory.regions[Stack];
    s.memory.regions.erase(Stack);
    s.memory.Put(Stack, stack.substr(0, 16));
    s.memory.Put(Stack + 24, stack.substr(24));
    TVurazaStackList list;
    ScanStack(list, Request(Stack, Stack + 32), s.memory);
    EXPECT_EQ(2u, list.Count());
}

TEST(StackScan, AListHoldsAtMost1025Items)
{
    std::vector<size_t> marks;
    for (size_t i = 0; i < 2000; ++i)
        marks.push_back(i);
    TCallStack s(2000, marks);
    TVurazaStackList list;
    TStackScanRequest r = Request(Stack, Stack + 8000);
    r.Address = Code;
    ScanStack(list, r, s.memory);
    EXPECT_EQ(StackItemLimit, list.Count());
    // A second scan into the full list adds nothing.
    ScanStack(list, r, s.memory);
    EXPECT_EQ(StackItemLimit, list.Count());
}

TEST(StackScan, SkipAndMaximumChooseTheKeptItems)
{
    TCallStack s(10, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9});
    struct Case {
        int32_t skip, maximum;
        uint32_t mask;
        size_t expected;
    } cases[] = {
        {-1, -1, 31, 10}, {2, 3, 31, 3}, {8, 5, 31, 2}, {0, 0, 31, 0}, {-1, 2, 31, 10}, {-1, -1, 1, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "skip " << c.skip << " maximum " << c.maximum << " mask " << c.mask);
        TVurazaStackList list;
        TStackScanRequest r = Request(Stack, Stack + 40);
        r.Skip = c.skip;
        r.Maximum = c.maximum;
        r.KindsMask = c.mask;
        ScanStack(list, r, s.memory);
        EXPECT_EQ(c.expected, list.Count());
    }
}

// Resolution from a table: what the debug data would say of each call site.
struct TResolved {
    uint8_t kind;
    const char* routine;
    int32_t distance;
};
std::map<uintptr_t, TResolved> resolved;
TVurazaModuleInfo resolvedModule;

void ResolveFromTable(uintptr_t address, uint32_t threadId, TVurazaStackItem& item, bool first, uint8_t group)
{
    item.Address = address;
    item.ThreadId = threadId;
    item.First = first;
    item.Group = group;
    item.Module = &resolvedModule;
    const auto it = resolved.find(address);
    if (it == resolved.end()) {
        item.Kind = 1;
        return;
    }
    item.Kind = it->second.kind;
    item.UnitName.Assign("Unit");
    item.ProcedureName.Assign(it->second.routine);
    item.Line = 100 + it->second.distance;
    item.LineDistance = it->second.distance;
}

// Call sites at Code + 0x10 * i for i in 1..8: each after an E8 call.
struct TResolvedStack {
    TFakeMemory memory;
    TResolvedStack() { SetStackItemResolver(&ResolveFromTable); }
    ~TResolvedStack() { SetStackItemResolver(nullptr); }
    void Scan(TVurazaStackList& list, const std::vector<int>& sites)
    {
        std::string code(0x100, '\x90');
        for (int i = 1; i <= 8; ++i)
            code.replace(0x10 * i, 5, Bytes({0xE8}) + U32(0));
        memory.Put(Code, code);
        std::string stack;
        for (int s : sites)
            stack += U32(static_cast<uint32_t>(Code + 0x10 * s + 5));
        memory.Put(Stack, stack);
        TStackScanRequest r = Request(Stack, Stack + stack.size());
        r.Resolve = true;
        ScanStack(list, r, memory);
    }
};

std::string Kinds(const TVurazaStackList& list)
{
    std::string s;
    for (size_t i = 0; i < list.Count(); ++i)
        s += static_cast<char>('0' + list.GetItem(i)->Kind);
    return s;
}

TEST(StackCleanUp, HidesLeftOversOfEarlierCalls)
{
    struct Case {
        const char* name;
        std::map<uintptr_t, TResolved> table;
        std::vector<int> sites;
        std::string kinds;
    } cases[] = {
        {"a repeated call site hides the earlier",
         {{Code + 0x10, {4, "A", 2}}, {Code + 0x20, {4, "B", 2}}},
         {1, 1, 2},
         "044"},
        {"a repeat two items later hides too",
         {{Code + 0x10, {4, "A", 2}}, {Code + 0x20, {4, "B", 2}}, {Code + 0x30, {4, "C", 2}}},
         {1, 2, 1, 3},
         "0444"},
        {"a repeat three items later does not",
         {{Code + 0x10, {4, "A", 2}}, {Code + 0x20, {4, "B", 2}}, {Code + 0x30, {4, "C", 2}}},
         {1, 2, 3, 1},
         "4444"},
        {"between a routine's start line and its deeper line",
         {{Code + 0x10, {4, "R", 5}}, {Code + 0x20, {4, "X", 1}}, {Code + 0x30, {2, "Y", 0}}, {Code + 0x40, {4, "R", 0}}},
         {1, 2, 3, 4},
         "4004"},
        {"unresolved items stay",
         {{Code + 0x30, {4, "R", 0}}},
         {1, 1, 3},
         "114"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        resolved = c.table;
        TResolvedStack s;
        TVurazaStackList list;
        s.Scan(list, c.sites);
        EXPECT_EQ(c.kinds, Kinds(list));
    }
}

TEST(StackCleanUp, InsideTheDevelopmentEnvironmentOnlyNamedRoutinesStay)
{
    resolved = {{Code + 0x10, {4, "A", 2}}, {Code + 0x20, {2, "TApplication::HandleException", 0}},
                {Code + 0x30, {3, "C", 1}}};
    TResolvedStack s;
    DetectRunningInIde("C:\\Tools\\zorbel32.exe");
    TVurazaStackList list;
    s.Scan(list, {1, 4, 2, 3});
    DetectRunningInIde("crash_test.exe");
    EXPECT_EQ("43", Kinds(list));
}

TEST(StackCleanUp, TheLineWalkStaysInsideTheCurrentScan)
{
    resolved = {{Code + 0x10, {4, "R", 5}}, {Code + 0x20, {4, "X", 1}}, {Code + 0x40, {4, "R", 0}}};
    TResolvedStack s;
    TVurazaStackList list;
    s.Scan(list, {1});
    s.Scan(list, {2, 4});
    EXPECT_EQ("444", Kinds(list));
}

}  // namespace
