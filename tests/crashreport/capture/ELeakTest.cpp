// The leak tracker's list over a counting block source, and its exit steps on made-up records.
// The program's own operators are not in this binary: the host's sanitizers bring their own.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <set>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "crashreport/capture/EDebugModel.h"
#include "crashreport/capture/ELeakItems.h"
#include "crashreport/capture/ELeakSteps.h"
#include "crashreport/capture/ELeakTracker.h"
#include "crashreport/capture/EOptions.h"
#include "tests/crashreport/capture/FakeMemory.h"

namespace {

std::atomic<int> allocations{0}, releases{0};
std::atomic<size_t> largestRequest{0};

// Like the Win32 heap, each block has a header of its own before it, which a free reads when
// it looks for the guard of an untracked block.
constexpr size_t SourceHeader = 8;

void* CountedAllocate(size_t size)
{
    size_t seen = largestRequest.load();
    while (size > seen && !largestRequest.compare_exchange_weak(seen, size)) {
    }
    if (size > (size_t(1) << 30))  // a heap refuses what it can never hold
        return nullptr;
    auto* p = static_cast<char*>(calloc(1, size + SourceHeader));
    if (!p)
        return nullptr;
    ++allocations;
    return p + SourceHeader;
}

void CountedRelease(void* block)
{
    ++releases;
    free(static_cast<char*>(block) - SourceHeader);
}

void* CountedReallocate(void* block, size_t size)
{
    if (size > (size_t(1) << 30))  // a heap refuses what it can never hold
        return nullptr;
    auto* p = static_cast<char*>(realloc(static_cast<char*>(block) - SourceHeader, size + SourceHeader));
    return p ? p + SourceHeader : nullptr;
}

void FixedStacks(TLeakHeader& header, const void*)
{
    for (size_t i = 0; i < LeakStackDepth; ++i)
        header.rawStack[i] = header.frameChain[i] = 0x1000 + i;
}

class LeakTracker : public ::testing::Test {
protected:
    void SetUp() override
    {
        allocations = releases = 0;
        largestRequest = 0;
    }
    void TearDown() override
    {
        // Blocks a test left live; after an exit copy the test frees its own.
        for (TLeakHeader* h = exitCopied ? nullptr : tracker.ListHead(); h;) {
            TLeakHeader* next = h->next;
            if (h->state == lsLive)
                tracker.Free(LeakDataOf(h), 8);
            h = next;
        }
    }
    void Install(uint8_t options)
    {
        tracker.Install({&CountedAllocate, &CountedRelease, &CountedReallocate}, &FixedStacks, options);
    }
    static uint32_t U32At(const void* p)
    {
        uint32_t v;
        memcpy(&v, p, 4);
        return v;
    }
    TLeakTracker tracker;
    bool exitCopied = false;
};

TEST_F(LeakTracker, TrackedBlocksCarryBothGuardsAndKeepTheAlignment)
{
    Install(loTrack);
    for (size_t n : {0u, 1u, 7u, 100u, 4096u}) {
        SCOPED_TRACE(n);
        auto* p = static_cast<uint8_t*>(tracker.Allocate(n, 8, nullptr));
        ASSERT_NE(nullptr, p);
        EXPECT_EQ(LeakGuard, U32At(p - 4));
        EXPECT_EQ(LeakGuard, U32At(p + n));
        EXPECT_EQ(0u, reinterpret_cast<uintptr_t>(p) % 8);
        const uint32_t recorded = LeakHeaderOf(p)->size;
        EXPECT_EQ(n, recorded);
        EXPECT_EQ(1u, tracker.LiveCount());
        EXPECT_EQ(TLeakFree::Freed, tracker.Free(p, 8));
        EXPECT_EQ(0u, tracker.LiveCount());
    }
    EXPECT_EQ(allocations.load(), releases.load());
}

TEST_F(LeakTracker, WithoutTheBitNothingIsTracked)
{
    Install(0x1E);
    auto* p = static_cast<uint8_t*>(tracker.Allocate(16, 8, nullptr));
    EXPECT_EQ(16u, largestRequest.load());
    EXPECT_FALSE(tracker.IsTrackedBlock(p));
    EXPECT_EQ(0u, tracker.LiveCount());
    EXPECT_EQ(TLeakFree::Untracked, tracker.Free(p, 8));
    EXPECT_EQ(1, releases.load());
}

TEST_F(LeakTracker, AlignedBlocksFreeTheirHeapBlock)
{
    for (uint8_t options : {uint8_t(0), uint8_t(loTrack)}) {
        Install(options);
        for (size_t alignment : {16u, 64u, 4096u}) {
            SCOPED_TRACE(testing::Message() << int(options) << " " << alignment);
            auto* p = static_cast<uint8_t*>(tracker.Allocate(40, alignment, nullptr));
            ASSERT_NE(nullptr, p);
            EXPECT_EQ(0u, reinterpret_cast<uintptr_t>(p) % alignment);
            EXPECT_EQ(options != 0, tracker.IsTrackedBlock(p));
            memset(p, 0xAB, 40);
            EXPECT_NE(TLeakFree::Overrun, tracker.Free(p, alignment));
        }
    }
    EXPECT_EQ(allocations.load(), releases.load());
}

TEST_F(LeakTracker, HugeSizesFailBeforeAnythingIsWritten)
{
    Install(loTrack);
    for (size_t n : {SIZE_MAX, SIZE_MAX - 100, SIZE_MAX - LeakOverhead + 1}) {
        EXPECT_EQ(nullptr, tracker.Allocate(n, 8, nullptr));
        EXPECT_EQ(nullptr, tracker.Allocate(n, 64, nullptr));
    }
    EXPECT_EQ(0, allocations.load());
}

TEST_F(LeakTracker, OverrunAndSecondFreeAreToldApart)
{
    Install(loTrack | loHeapErrors);
    auto* p = static_cast<char*>(tracker.Allocate(16, 8, nullptr));
    p[16] = 'x';
    EXPECT_EQ(TLeakFree::Overrun, tracker.Free(p, 8));
    EXPECT_EQ(1, releases.load());

    // The second free must not reach the source: keep the first block's memory alive for it.
    auto* q = static_cast<char*>(tracker.Allocate(8, 8, nullptr));
    TLeakHeader* header = LeakHeaderOf(q);
    // Simulate the first free without releasing: mark as the exit copy does for late frees.
    uint8_t expected = lsLive;
    ASSERT_TRUE(__atomic_compare_exchange_n(&header->state, &expected, uint8_t(lsFreed), false, __ATOMIC_SEQ_CST,
                                            __ATOMIC_SEQ_CST));
    const int before = releases.load();
    EXPECT_EQ(TLeakFree::MultiFree, tracker.Free(q, 8));
    EXPECT_EQ(before, releases.load());
    header->state = lsLive;
    EXPECT_EQ(TLeakFree::Freed, tracker.Free(q, 8));
}

TEST_F(LeakTracker, ReallocateKeepsTheDataAndTracksTheNewBlock)
{
    for (uint8_t options : {uint8_t(0), uint8_t(loTrack)}) {
        Install(options);
        TLeakFree error;
        auto* p = static_cast<char*>(tracker.Reallocate(nullptr, 10, nullptr, error));
        ASSERT_NE(nullptr, p);
        memcpy(p, "0123456789", 10);
        p = static_cast<char*>(tracker.Reallocate(p, 5000, nullptr, error));
        ASSERT_NE(nullptr, p);
        EXPECT_EQ(0, memcmp(p, "0123456789", 10));
        EXPECT_EQ(options != 0, tracker.IsTrackedBlock(p));
        EXPECT_EQ(options ? 1u : 0u, tracker.LiveCount());
        EXPECT_EQ(nullptr, tracker.Reallocate(p, SIZE_MAX - 8, nullptr, error));
        EXPECT_EQ(0, memcmp(p, "0123456789", 10)) << "a failed reallocation keeps the block";
        tracker.Free(p, 8);
    }
}

TEST_F(LeakTracker, ThreadsKeepTheListExact)
{
    Install(loTrack);
    std::vector<std::thread> threads;
    std::atomic<int> kept{0};
    for (int t = 0; t < 8; ++t) {
        threads.emplace_back([&, t] {
            std::vector<void*> mine;
            for (int i = 0; i < 20000; ++i) {
                mine.push_back(tracker.Allocate(static_cast<size_t>((i * 7 + t) % 200), 8, nullptr));
                if (i % 3 != 0) {
                    EXPECT_EQ(TLeakFree::Freed, tracker.Free(mine.back(), 8));
                    mine.pop_back();
                }
            }
            kept += static_cast<int>(mine.size());
            for (size_t i = 0; i < mine.size() / 2; ++i) {
                tracker.Free(mine[i], 8);
                --kept;
            }
        });
    }
    for (auto& t : threads)
        t.join();
    EXPECT_EQ(static_cast<size_t>(kept.load()), tracker.LiveCount());
    size_t walked = 0;
    for (TLeakHeader* h = tracker.ListHead(); h; h = h->next)
        ++walked;
    EXPECT_EQ(walked, tracker.LiveCount());
}

TEST_F(LeakTracker, OfTwoRacingFreesOnlyOneUnlinks)
{
    // Released blocks stay readable until the end: the loser still looks at its block.
    static std::mutex keptLock;
    static std::vector<void*> keptBlocks;
    tracker.Install({&CountedAllocate,
                     [](void* block) {
                         ++releases;
                         std::lock_guard<std::mutex> hold(keptLock);
                         keptBlocks.push_back(block);
                     },
                     nullptr},
                    &FixedStacks, loTrack | loHeapErrors);
    for (int round = 0; round < 300; ++round) {
        void* p = tracker.Allocate(32, 8, nullptr);
        std::atomic<int> ready{0};
        TLeakFree results[2];
        auto race = [&](int i) {
            ++ready;
            while (ready < 2) {
            }
            results[i] = tracker.Free(p, 8);
        };
        std::thread a(race, 0), b(race, 1);
        a.join();
        b.join();
        SCOPED_TRACE(round);
        EXPECT_EQ(1, (results[0] == TLeakFree::Freed) + (results[1] == TLeakFree::Freed));
        EXPECT_EQ(1, (results[0] == TLeakFree::MultiFree) + (results[1] == TLeakFree::MultiFree));
    }
    EXPECT_EQ(0u, tracker.LiveCount());
    EXPECT_EQ(allocations.load(), releases.load()) << "one release per block";
    for (void* block : keptBlocks)
        free(static_cast<char*>(block) - SourceHeader);
    keptBlocks.clear();
}

TEST_F(LeakTracker, AfterTheExitCopyFreesOnlyMark)
{
    Install(loTrack);
    void* a = tracker.Allocate(48, 8, nullptr);
    void* b = tracker.Allocate(64, 8, nullptr);
    EXPECT_TRUE(tracker.IsTrackedBlock(b));
    void* gone = tracker.Allocate(1, 8, nullptr);
    tracker.Free(gone, 8);
    TLeakRecord* records;
    size_t count;
    tracker.TakeExitSnapshot(&records, count);
    exitCopied = true;
    ASSERT_EQ(2u, count);
    EXPECT_FALSE(tracker.Tracking());
    EXPECT_EQ(LeakHeaderOf(a), records[0].header);
    EXPECT_EQ(64u, records[1].size);
    const int before = releases.load();
    EXPECT_EQ(TLeakFree::Marked, tracker.Free(a, 8));
    EXPECT_EQ(before, releases.load()) << "the steps may still read the block";
    EXPECT_EQ(TLeakFree::MultiFree, tracker.Free(a, 8));
    // Blocks allocated now are plain.
    void* late = tracker.Allocate(8, 8, nullptr);
    EXPECT_FALSE(tracker.IsTrackedBlock(late));
    tracker.Free(late, 8);
    tracker.FreeSnapshotBlocks(records, count);
    EXPECT_EQ(before + 2, releases.load()) << "b released, a only marked, late released";
    tracker.ReleaseSnapshot(records);
    CountedRelease(LeakHeaderOf(a));
}

TEST_F(LeakTracker, StoppedWithoutACopyLaterFreesOnlyMark)
{
    // The exit steps stop tracking before they test the list's head, and skip the rest when it
    // can't be read: the frees after that must leave the list alone too.
    Install(loTrack);
    void* a = tracker.Allocate(48, 8, nullptr);
    void* b = tracker.Allocate(64, 8, nullptr);
    TLeakHeader* head = tracker.ListHead();
    tracker.StopTracking();
    exitCopied = true;
    EXPECT_FALSE(tracker.Tracking());
    const int before = releases.load();
    EXPECT_EQ(TLeakFree::Marked, tracker.Free(a, 8));
    EXPECT_EQ(TLeakFree::Marked, tracker.Free(b, 8));
    EXPECT_EQ(before, releases.load());
    EXPECT_EQ(head, tracker.ListHead()) << "no unlink next to the head";
    EXPECT_EQ(2u, tracker.LiveCount());
    void* late = tracker.Allocate(8, 8, nullptr);
    EXPECT_FALSE(tracker.IsTrackedBlock(late));
    tracker.Free(late, 8);
    CountedRelease(LeakHeaderOf(a));
    CountedRelease(LeakHeaderOf(b));
}

TEST(LeakStacks, CaptureStopsAtTheStackTopAndAtABadLink)
{
    // A made-up stack of 64 words: frames at words 0, 4 and 10, each with its return address
    // one word up; the third frame's link points back down.
    const struct {
        const char* name;
        size_t top;     // the stack's top, in words
        size_t link4;   // where the second frame links to
        size_t raw;     // words copied from word 1 up
        std::vector<uintptr_t> chain;
    } cases[] = {
        {"whole stack", 64, 10, 35, {0xA1, 0xA2, 0xA3}},
        {"top above the third frame", 12, 10, 11, {0xA1, 0xA2, 0xA3}},
        {"link at the top", 64, 64, 35, {0xA1, 0xA2}},
        {"second frame beyond the top", 5, 10, 4, {0xA1}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        uintptr_t words[65] = {};
        for (size_t i = 0; i < 64; ++i)
            words[i] = 0x5000 + i;
        const auto at = [&](size_t i) { return reinterpret_cast<uintptr_t>(&words[i]); };
        words[0] = at(4), words[1] = 0xA1;
        words[4] = at(c.link4), words[5] = 0xA2;
        words[10] = at(8), words[11] = 0xA3;
        TLeakHeader header{};
        CaptureLeakStacks(header, &words[0], at(c.top));
        // The header is packed: its words are copied out before use.
        uintptr_t rawStack[LeakStackDepth], frameChain[LeakStackDepth];
        memcpy(rawStack, header.rawStack, sizeof rawStack);
        memcpy(frameChain, header.frameChain, sizeof frameChain);
        size_t raw = 0;
        while (raw < LeakStackDepth && rawStack[raw])
            ++raw;
        EXPECT_EQ(c.raw, raw);
        for (size_t i = 0; i < raw; ++i)
            EXPECT_EQ(words[i + 1], rawStack[i]) << i;
        std::vector<uintptr_t> chain;
        for (size_t i = 0; i < LeakStackDepth && frameChain[i]; ++i)
            chain.push_back(frameChain[i]);
        EXPECT_EQ(c.chain, chain);
    }
}

TEST(LeakExit, TheStepsWalkOnlyAReadableList)
{
    alignas(8) static uint8_t header[LeakHeaderSize];
    const uintptr_t at = reinterpret_cast<uintptr_t>(header);
    const struct {
        const char* name;
        bool empty;            // no list at all
        size_t readableBytes;  // of the head, from its start
        bool readable;
    } cases[] = {
        {"no list", true, 0, true},
        {"whole header", false, LeakHeaderSize, true},
        {"header cut short", false, LeakHeaderSize - 4, false},
        {"released", false, 0, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TFakeMemory memory;
        if (c.readableBytes)
            memory.Put(at, std::string(c.readableBytes, '\0'));
        const auto* head = c.empty ? nullptr : reinterpret_cast<const TLeakHeader*>(at);
        EXPECT_EQ(c.readable, LeakListReadable(head, memory));
    }
}

// --- the exit steps ---------------------------------------------------------------------------

constexpr uintptr_t CodeBase = 0x401000;
constexpr uintptr_t CodeEnd = 0x409000;
constexpr uintptr_t Allocator = 0x408000;  // the tracker's and the runtime's code

class TFakeInspector : public TLeakInspector {
public:
    TFakeInspector()
    {
        // Every even address returns from a two-byte call (FF D0) just before it.
        std::string bytes;
        for (uintptr_t a = CodeBase; a < CodeEnd; a += 2)
            bytes += "\xFF\xD0";
        memory.Put(CodeBase, bytes);
    }
    bool ObjectName(const void* data, uint32_t, char (&name)[65]) override
    {
        auto it = classes.find(data);
        if (it == classes.end())
            return false;
        snprintf(name, sizeof name, "%s", it->second.c_str());
        return true;
    }
    bool IsAllocatorFrame(uintptr_t address) override { return address >= Allocator && address < CodeEnd; }
    TStackMemoryReader& Code() override { return memory; }

    TFakeMemory memory;
    std::map<const void*, std::string> classes;
};

struct TReportedLeak {
    std::string name;
    uint32_t size, count;
    uintptr_t first;
};

class TCollectingSink : public TLeakSink {
public:
    void Begin() override
    {
        ++begins;
        if (failBegins > 0) {
            --failBegins;
            throw std::runtime_error("begin");
        }
    }
    void Item(const char* name, uint32_t size, uint32_t count, const uintptr_t (&stack)[LeakStackDepth]) override
    {
        leaks.push_back({name, size, count, stack[0]});
    }
    void End() override { ++ends; }
    std::vector<TReportedLeak> leaks;
    int begins = 0, ends = 0, failBegins = 0;
};

// Records over headers of their own; stacks as return addresses (call + 2).
class LeakSteps : public ::testing::Test {
protected:
    TLeakRecord& Add(uint32_t size, std::initializer_list<uintptr_t> calls, const char* className = nullptr)
    {
        headers.emplace_back();
        records.emplace_back();
        TLeakRecord& r = records.back();
        memset(&r, 0, sizeof r);
        r.size = r.totalSize = size;
        r.count = 1;
        size_t i = 0;
        for (uintptr_t c : calls)
            r.rawStack[i] = r.frameChain[i] = c + 2, ++i;
        pendingClasses.push_back(className ? className : "");
        return r;
    }
    void Bind()
    {
        for (size_t i = 0; i < records.size(); ++i) {
            records[i].header = &headers[i].header;
            if (!pendingClasses[i].empty())
                inspector.classes[LeakDataOf(records[i].header)] = pendingClasses[i];
        }
    }
    void Run(uint8_t options)
    {
        Bind();
        const char* step = nullptr;
        RunLeakSteps(records.data(), records.size(), options, inspector, sink, step);
        EXPECT_STREQ("HandleAnyLeak", step);
    }
    struct alignas(8) THeaderWithData {
        TLeakHeader header;
        uint8_t data[16];
    };
    std::vector<THeaderWithData> headers;
    std::vector<TLeakRecord> records;
    std::vector<std::string> pendingClasses;
    TFakeInspector inspector;
    TCollectingSink sink;

    void SetUp() override
    {
        headers.reserve(4096);
        records.reserve(4096);
    }
};

TEST_F(LeakSteps, ObjectAndDataLeaksAreReportedAtTheirCallSites)
{
    Add(12, {Allocator + 0x10, CodeBase + 0x100, CodeBase + 0x200}, "Foo");
    Add(100, {Allocator + 0x20, Allocator + 0x30, CodeBase + 0x300, CodeBase + 0x200});
    Run(loTrack);
    ASSERT_EQ(2u, sink.leaks.size());
    EXPECT_EQ("Foo", sink.leaks[0].name);
    EXPECT_EQ(12u, sink.leaks[0].size);
    EXPECT_EQ(1u, sink.leaks[0].count);
    EXPECT_EQ(CodeBase + 0x100, sink.leaks[0].first) << "allocator frames trimmed, moved back to the call";
    EXPECT_EQ("Data", sink.leaks[1].name);
    EXPECT_EQ(100u, sink.leaks[1].size);
    EXPECT_EQ(CodeBase + 0x300, sink.leaks[1].first);
    EXPECT_EQ(1, sink.begins);
    EXPECT_EQ(1, sink.ends);
}

TEST_F(LeakSteps, OneSiteAndSizeMergeIntoOneLeak)
{
    for (int i = 0; i < 10; ++i)
        Add(48, {CodeBase + 0x100, CodeBase + 0x400});
    Add(48, {CodeBase + 0x180, CodeBase + 0x400});
    Add(32, {CodeBase + 0x100, CodeBase + 0x400});
    Run(loTrack);
    ASSERT_EQ(3u, sink.leaks.size());
    EXPECT_EQ(480u, sink.leaks[0].size);
    EXPECT_EQ(10u, sink.leaks[0].count);
    EXPECT_EQ(48u, sink.leaks[1].size);
    EXPECT_EQ(32u, sink.leaks[2].size);
}

TEST_F(LeakSteps, TheStepsChangeOnlyTheirCopies)
{
    for (int i = 0; i < 3; ++i)
        Add(48, {CodeBase + 0x100});
    for (auto& h : headers) {
        h.header.size = 48;
        h.header.guard = LeakGuard;
    }
    Run(loTrack | loFoldChildren);
    for (auto& h : headers) {
        const uint32_t size = h.header.size;
        EXPECT_EQ(48u, size);
        const uint32_t guard = h.header.guard;
        EXPECT_EQ(LeakGuard, guard);
        EXPECT_EQ(lsLive, h.header.state);
    }
}

TEST_F(LeakSteps, BlocksAnObjectsConstructorMadeFoldIntoIt)
{
    // The owner was allocated at 0x100 in F, called from 0x500; its constructor, called at
    // 0x106 in F, allocated two blocks, one of which allocated one more.
    Add(20, {CodeBase + 0x100, CodeBase + 0x500}, "Owner");
    Add(30, {CodeBase + 0x700, CodeBase + 0x106, CodeBase + 0x500});
    Add(40, {CodeBase + 0x800, CodeBase + 0x106, CodeBase + 0x500}, "Part");
    Add(50, {CodeBase + 0x900, CodeBase + 0x806, CodeBase + 0x106, CodeBase + 0x500});
    Add(60, {CodeBase + 0xA00, CodeBase + 0x1106, CodeBase + 0x500});  // another call, too far from 0x100
    Run(loTrack | loFoldChildren);
    ASSERT_EQ(2u, sink.leaks.size());
    EXPECT_EQ("Owner", sink.leaks[0].name);
    EXPECT_EQ(20u + 30 + 40 + 50, sink.leaks[0].size);
    EXPECT_EQ(1u, sink.leaks[0].count);
    EXPECT_EQ(60u, sink.leaks[1].size);

    sink.leaks.clear();
    for (auto& r : records) {
        r.state = lsLive;
        r.totalSize = r.size;
        r.count = 1;
    }
    const char* step;
    RunLeakSteps(records.data(), records.size(), loTrack, inspector, sink, step);
    EXPECT_EQ(5u, sink.leaks.size()) << "without the bit nothing folds";
}

TEST_F(LeakSteps, KnownHarmlessObjectsGoOnlyWithTheBit)
{
    const TKnownLeak known[] = {{"Once", false}, {"Always", true}};
    const struct {
        const char* name;
        uint8_t options;
        std::vector<uint8_t> states;  // Once, Once, Always, Always, Data named Always
    } cases[] = {
        {"without 0x4", loTrack, {lsLive, lsLive, lsLive, lsLive, lsLive}},
        {"with 0x4", loTrack | loPurgeKnown, {lsExcluded, lsLive, lsExcluded, lsExcluded, lsLive}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        records.clear();
        headers.clear();
        pendingClasses.clear();
        inspector.classes.clear();
        for (const char* name : {"Once", "Once", "Always", "Always"})
            Add(16, {CodeBase + 0x100}, name);
        Add(16, {CodeBase + 0x100});
        Bind();
        ClassifyLeaks(records.data(), records.size(), inspector);
        snprintf(records[4].className, sizeof records[4].className, "Always");  // data keeps its name out
        PurgeInvalidLeaks(records.data(), records.size(), c.options, known, 2);
        std::vector<uint8_t> states;
        for (const auto& r : records)
            states.push_back(r.state);
        EXPECT_EQ(c.states, states);
    }
}

TEST_F(LeakSteps, TheProgramsKnownListIsEmpty)
{
    // Nothing of ours outlives the exit steps on purpose: 0x4 leaves every leak in the report.
    EXPECT_EQ(0u, KnownHarmlessLeakCount);
    Add(12, {CodeBase + 0x100}, "Foo");
    Add(100, {CodeBase + 0x300});
    Run(loTrack | loPurgeKnown);
    ASSERT_EQ(2u, sink.leaks.size());
    EXPECT_EQ("Foo", sink.leaks[0].name);
    EXPECT_EQ("Data", sink.leaks[1].name);
}

TEST_F(LeakSteps, AtMost1025BlocksReachTheReport)
{
    for (uint32_t i = 0; i < 2000; ++i)
        Add(8 + i, {CodeBase + 0x100});
    Run(loTrack);
    EXPECT_EQ(1025u, sink.leaks.size());
    EXPECT_EQ(8u + 1024, sink.leaks.back().size);
}

TEST_F(LeakSteps, StacksWithoutCallsFallBackToTheChainOrAreDropped)
{
    TLeakRecord& r = Add(8, {});
    r.rawStack[0] = 0x12345;  // no code there
    r.rawStack[1] = Allocator + 0x12;
    r.frameChain[0] = Allocator + 0x12;
    r.frameChain[1] = CodeBase + 0x202;
    TLeakRecord& none = Add(9, {});
    none.rawStack[0] = 0x12345;
    none.frameChain[0] = CodeBase + 0x101;  // odd: after no call
    Run(loTrack);
    ASSERT_EQ(1u, sink.leaks.size());
    EXPECT_EQ(8u, sink.leaks[0].size);
    EXPECT_EQ(CodeBase + 0x200, sink.leaks[0].first);
}

TEST_F(LeakSteps, AFailedBeginIsTriedAgainAtTheNextLeak)
{
    Add(1, {CodeBase + 0x100});
    Add(2, {CodeBase + 0x200});
    Add(3, {CodeBase + 0x300});
    sink.failBegins = 1;
    Run(loTrack);
    ASSERT_EQ(2u, sink.leaks.size());
    EXPECT_EQ(2u, sink.leaks[0].size);
    EXPECT_EQ(2, sink.begins);
    EXPECT_EQ(1, sink.ends);
}

TEST(LeakValidation, OnlyTheRecognisedCallFormsStay)
{
    TFakeMemory memory;
    const std::string code = std::string("\x90\x90\x90\xE8", 4) + std::string("\x00\xF0\xFF\xFF", 4) +  // E8 rel32
                             "\xFF\x55\x08" +                                                        // FF 55 disp8
                             "\x90\x90";
    memory.Put(0x400000, std::string(0x1000, '\x90'));
    memory.Put(0x401000, code);
    uintptr_t stack[LeakStackDepth] = {0x401008, 0x40100B, 0x40100D, 0x999999};
    ValidateReturnAddresses(stack, memory);
    EXPECT_EQ(0x401003u, stack[0]);
    EXPECT_EQ(0x401008u, stack[1]) << "FF 55 without the load before it: kept here";
    EXPECT_EQ(0u, stack[2]);
}

// --- the report's items ----------------------------------------------------------------------

void FakeResolve(uintptr_t address, uint32_t, TVurazaStackItem& item, bool, uint8_t)
{
    item.Address = address;
    item.Kind = static_cast<uint8_t>(address & 0xF);  // the kind sits in the low digit
    item.Line = static_cast<int32_t>(address >> 4);
}

TEST(LeakItems, KeptItemsCarryTheLeakAndTheFirstOneStartsARow)
{
    TVurazaStackList list;
    TLeakTotals totals;
    const uintptr_t stackA[LeakStackDepth] = {0x1004, 0x2001, 0x3002, 0x4004};
    const uintptr_t stackB[LeakStackDepth] = {0x1003, 0x5004};  // first kept has no line
    const uintptr_t stackC[LeakStackDepth] = {0x1004, 0x6004};
    EXPECT_TRUE(AppendLeakItems(list, totals, "Foo", 12, 1, stackA, &FakeResolve));
    EXPECT_FALSE(AppendLeakItems(list, totals, "Data", 100, 1, stackB, &FakeResolve));
    EXPECT_EQ(0x1004u, totals.firstAddress);
    EXPECT_TRUE(AppendLeakItems(list, totals, "Data", 480, 10, stackC, &FakeResolve));
    ASSERT_EQ(5u, list.Count());
    EXPECT_EQ(0x1004u, totals.firstAddress) << "both start at one address";
    EXPECT_EQ(492u, totals.size);
    EXPECT_EQ(11u, totals.count);
    const struct {
        uintptr_t address;
        const char* text;
        uint32_t size, count;
        uint8_t first;
    } rows[] = {{0x1004, "Foo", 12, 1, 1}, {0x3002, "Foo", 12, 1, 0}, {0x4004, "Foo", 12, 1, 0},
                {0x1004, "Data", 480, 10, 1}, {0x6004, "Data", 480, 10, 0}};
    for (size_t i = 0; i < 5; ++i) {
        SCOPED_TRACE(i);
        const TVurazaStackItem& item = *list.GetItem(i);
        EXPECT_EQ(rows[i].address, item.Address);
        EXPECT_EQ(1, item.LeakItem);
        EXPECT_STREQ(rows[i].text, item.LeakText.text);
        EXPECT_EQ(rows[i].size, item.LeakSize);
        EXPECT_EQ(rows[i].count, item.LeakCount);
        EXPECT_EQ(rows[i].first, item.First);
    }
    const uintptr_t stackD[LeakStackDepth] = {0x7004};
    AppendLeakItems(list, totals, "Data", 1, 1, stackD, &FakeResolve);
    EXPECT_EQ(0u, totals.firstAddress);
    AppendLeakItems(list, totals, "Data", 1, 1, stackA, &FakeResolve);
    EXPECT_EQ(0u, totals.firstAddress) << "once apart, no common address";
}

TEST(LeakItems, InlinedHeaderRowsTakeTheUnitsOwnLine)
{
    TDebugModel model;
    TDebugUnit unit;
    unit.files = {"Lab.cpp", "new_allocator.h"};
    unit.start = 0x100;
    unit.end = 0x400;
    unit.procedures = {{"", "First", 0x100, 0x200, 10}, {"", "Second", 0x200, 0x400, 30}};
    unit.lines = {{0x100, 10, 0}, {0x120, 12, 0}, {0x130, 137, 1}, {0x140, 13, 0},
                  {0x200, 30, 0}, {0x210, 138, 1}};
    model.units.push_back(unit);
    const struct {
        uint32_t offset, line;
    } cases[] = {{0x134, 12}, {0x120, 0}, {0x144, 0}, {0x214, 30}, {0x500, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.offset);
        EXPECT_EQ(c.line, OwnSourceLine(model, c.offset));
    }
    model.units[0].lines = {{0x130, 137, 1}};
    EXPECT_EQ(0u, OwnSourceLine(model, 0x134)) << "no own row before it in the procedure";
}

TEST(LeakItems, TheMessageUsesTheOptionsTexts)
{
    TVurazaModuleOptions options("");
    TLeakTotals totals;
    totals.size = 4108;
    totals.count = 2;
    EXPECT_EQ("Memory Leak: Total size=4108 - Count=2", LeakMessage(options, totals));
    options.SetMessageText(105, "泄漏");
    EXPECT_EQ("泄漏: Total size=4108 - Count=2", LeakMessage(options, totals));
}

}  // namespace

namespace {

TEST(LeakOptions, TheHeaderDecidesByMarkAndVersion)
{
    const struct {
        uint32_t mark;
        uint16_t version;
        uint8_t options, takeMain;
        uint8_t expected;
        bool expectedTakeMain;
    } cases[] = {
        {0x100FAB10, 6101, 0x11, 0, 0x11, false}, {0x000FAB10, 6000, 0x13, 1, 0x13, true},
        {0x100FAB10, 600, 0x01, 0, 0x01, false},  {0x100FAB10, 602, 0x01, 0, 0x01, false},
        {0x100FAB10, 603, 0x01, 0, 0x00, false},  {0x100FAB10, 5999, 0x11, 0, 0x00, false},
        {0x200FAB10, 6000, 0x11, 0, 0x00, false}, {0x100FAB10, 6000, 0x00, 0, 0x00, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << c.mark << " " << std::dec << c.version);
        uint8_t header[16] = {};
        memcpy(header, &c.mark, 4);
        memcpy(header + 4, &c.version, 2);
        header[14] = c.options;
        header[15] = c.takeMain;
        bool takeMain = false;
        EXPECT_EQ(c.expected, LeakOptionsFromHeader(header, sizeof header, takeMain));
        EXPECT_EQ(c.expectedTakeMain, takeMain);
    }
    bool takeMain;
    uint8_t shortHeader[15] = {0x10, 0xAB, 0x0F, 0x10, 0x70, 0x17};
    EXPECT_EQ(0, LeakOptionsFromHeader(shortHeader, sizeof shortHeader, takeMain));
}

}  // namespace
