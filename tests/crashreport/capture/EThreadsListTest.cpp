#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <thread>

#include "crashreport/capture/EThreadContext.h"
#include "crashreport/capture/EThreadFactsWin.h"
#include "crashreport/capture/EThreadHooks.h"
#include "crashreport/capture/EThreadNames.h"
#include "crashreport/capture/EUtilsWin.h"
#include "framework/Thread.h"

namespace {

DWORD WINAPI WaitForEvent(void* event)
{
    WaitForSingleObject(static_cast<HANDLE>(event), 10000);
    return 0;
}

bool HandleOpen(HANDLE handle)
{
    DWORD flags = 0;
    return GetHandleInformation(handle, &flags) != FALSE;
}

// A record for a running thread, with our own duplicate of its handle.
TVurazaThreadRecord* AddThread(TVurazaThreadsList& list, HANDLE thread)
{
    list.BeginWrite();
    TVurazaThreadRecord* record = list.NewRecord(true);
    record->threadId = GetThreadId(thread);
    record->threadHandle = DuplicateThreadHandle(thread);
    list.EndWrite();
    return record;
}

TEST(ThreadsList, NewRecordsAreZeroedWithTheReservedMark)
{
    TVurazaThreadsList list;
    list.BeginWrite();
    TVurazaThreadRecord* listed = list.NewRecord(true);
    TVurazaThreadRecord* loose = list.NewRecord(false);
    list.EndWrite();
    ASSERT_TRUE(listed && loose);
    EXPECT_EQ(1, list.Count());
    EXPECT_EQ(0x80000000u, listed->reserved);
    EXPECT_EQ(0u, listed->threadId);
    EXPECT_EQ(nullptr, listed->creatorStackCopy);
    TVurazaThreadsList::FreeRecord(loose, true);
}

TEST(ThreadsList, FoundByIdThroughAnyHandleEvenAfterTheCreatorClosedItsOwn)
{
    HANDLE go = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE thread = CreateThread(nullptr, 0, &WaitForEvent, go, 0, nullptr);
    const DWORD id = GetThreadId(thread);
    TVurazaThreadsList list;
    TVurazaThreadRecord* record = AddThread(list, thread);
    EXPECT_NE(thread, record->threadHandle) << "the record keeps a duplicate";
    HANDLE other = OpenThread(THREAD_QUERY_INFORMATION, FALSE, id);
    CloseHandle(thread);  // the creator's handle may go at any time
    list.BeginRead();
    EXPECT_EQ(0, list.FindByHandle(other));
    EXPECT_EQ(0, list.FindById(id));
    EXPECT_EQ(-1, list.FindById(id + 4));
    EXPECT_TRUE(IsThreadRunning(record->threadHandle));
    list.EndRead();
    SetEvent(go);
    WaitForSingleObject(other, 10000);
    CloseHandle(other);
    CloseHandle(go);
}

TEST(ThreadsList, DeleteClosesTheDuplicateAndPurgeDropsEndedThreads)
{
    HANDLE go = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE running = CreateThread(nullptr, 0, &WaitForEvent, go, 0, nullptr);
    HANDLE ended = CreateThread(nullptr, 0, &WaitForEvent, nullptr, 0, nullptr);
    WaitForSingleObject(ended, 10000);
    TVurazaThreadsList list;
    TVurazaThreadRecord* kept = AddThread(list, running);
    const HANDLE endedDuplicate = AddThread(list, ended)->threadHandle;
    list.Purge();
    ASSERT_EQ(1, list.Count());
    EXPECT_EQ(kept, list.Item(0));
    EXPECT_FALSE(HandleOpen(endedDuplicate));
    const HANDLE keptDuplicate = kept->threadHandle;
    list.BeginWrite();
    list.Delete(0);
    list.EndWrite();
    EXPECT_FALSE(HandleOpen(keptDuplicate));
    SetEvent(go);
    WaitForSingleObject(running, 10000);
    for (HANDLE h : {running, ended, go})
        CloseHandle(h);
}

TEST(ThreadsList, SnapshotCopiesAndFreesNothingOfTheOriginal)
{
    TVurazaThreadsList list;
    TVurazaThreadRecord* record = AddThread(list, GetCurrentThread());
    uint32_t size = 0;
    record->creatorStackCopy = CopyCallerStack(reinterpret_cast<uintptr_t>(__builtin_frame_address(0)), size);
    record->creatorStackSize = size;
    {
        TVurazaThreadsList snapshot(list);
        EXPECT_TRUE(snapshot.IsSnapshot());
        ASSERT_EQ(1, snapshot.Count());
        EXPECT_NE(record, snapshot.Item(0));
        // Its own copies: a thread that ends during the report frees the original's.
        const TVurazaThreadRecord& copy = *snapshot.Item(0);
        ASSERT_NE(nullptr, copy.creatorStackCopy);
        EXPECT_NE(record->creatorStackCopy, copy.creatorStackCopy);
        ASSERT_EQ(record->creatorStackSize, copy.creatorStackSize);
        EXPECT_EQ(0, std::memcmp(record->creatorStackCopy, copy.creatorStackCopy, copy.creatorStackSize));
        EXPECT_NE(record->threadHandle, copy.threadHandle);
        EXPECT_TRUE(HandleOpen(copy.threadHandle));
        snapshot.Clear();
    }
    EXPECT_TRUE(HandleOpen(record->threadHandle));
    ASSERT_NE(nullptr, record->creatorStackCopy);
    volatile uint8_t first = record->creatorStackCopy[0];  // still ours to read
    (void)first;
}

TEST(ThreadsList, CreatorStackCopiesStopAtTheirLimit)
{
    uint32_t size = 0;
    uint8_t* whole = CopyCallerStack(reinterpret_cast<uintptr_t>(__builtin_frame_address(0)), size);
    ASSERT_NE(nullptr, whole);
    EXPECT_GT(size, 0u);
    EXPECT_LE(size, CreatorStackLimit);
    HeapFree(ReporterHeap(), 0, whole);
    // From deep in a thread's stack only the part next to the caller is copied.
    std::thread deep([] {
        volatile uint8_t pad[200000];
        pad[0] = 1;
        uint32_t n = 0;
        uint8_t* copy = CopyCallerStack(reinterpret_cast<uintptr_t>(&pad[0]), n);
        EXPECT_EQ(CreatorStackLimit, n);
        EXPECT_EQ(1, copy ? copy[0] : 0);
        HeapFree(ReporterHeap(), 0, copy);
    });
    deep.join();
    uint32_t none = 7;
    EXPECT_EQ(nullptr, CopyCallerStack(0, none));
    EXPECT_EQ(0u, none);
}

}  // namespace

// A framework thread waiting until told.
class TFactsThread : public TThread {
public:
    HANDLE stop = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    ~TFactsThread() override
    {
        SetEvent(stop);
        WaitFor();
        CloseHandle(stop);
    }

protected:
    void Execute() override { WaitForSingleObject(stop, 10000); }
};

namespace {

TEST(ThreadFacts, TheListsObjectGivesTheClassAndTheNamingGivesTheName)
{
    if (!VurazaThreadsList()) CreateVurazaThreadsList();
    TVurazaThreadsList& list = *VurazaThreadsList();
    TFactsThread thread;
    thread.Resume();
    const DWORD id = thread.ThreadID();
    TVurazaThreadRecord* record = AddThread(list, thread.Handle());
    record->threadObject = &thread;
    NoteThreadName(id, "行情");

    TThreadHeaderFacts facts = SystemThreadFacts(id, 0);
    EXPECT_EQ(id, facts.ThreadId);
    EXPECT_EQ("TFactsThread", facts.ThreadClassName);
    EXPECT_EQ("行情", facts.ThreadName);
    EXPECT_EQ("0", facts.Priority);
    EXPECT_FALSE(facts.IsExceptionThread);
    EXPECT_FALSE(facts.IsMainThread);
    EXPECT_TRUE(SystemThreadFacts(id, id).IsExceptionThread);
    EXPECT_TRUE(SystemThreadFacts(GetCurrentThreadId(), 0).IsMainThread);

    // A writer holding the list (a thread kept suspended may): the facts come without the class.
    HANDLE held = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE release = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    std::thread writer([&] {
        list.BeginWrite();
        SetEvent(held);
        WaitForSingleObject(release, 10000);
        list.EndWrite();
    });
    WaitForSingleObject(held, 10000);
    facts = SystemThreadFacts(id, 0);
    SetEvent(release);
    writer.join();
    EXPECT_EQ("", facts.ThreadClassName);
    EXPECT_EQ("行情", facts.ThreadName);

    list.BeginWrite();
    list.Delete(list.FindById(id));
    list.EndWrite();
    ForgetThreadName(id);
    EXPECT_EQ("", SystemThreadFacts(id, 0).ThreadClassName);
    CloseHandle(held);
    CloseHandle(release);
}

// Where the system keeps descriptions, one stands in for a name the naming never gave.
TEST(ThreadFacts, ADescriptionIsTheNameWhenNoneWasNoted)
{
    using TSetDescription = HRESULT(WINAPI*)(HANDLE, PCWSTR);
    const auto set = reinterpret_cast<TSetDescription>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "SetThreadDescription")));
    if (!set) GTEST_SKIP() << "no thread descriptions here";
    TFactsThread thread;
    thread.Resume();
    ASSERT_TRUE(SUCCEEDED(set(thread.Handle(), L"\x884c\x60c5")));  // 行情
    EXPECT_EQ("行情", SystemThreadFacts(thread.ThreadID(), 0).ThreadName);
    NoteThreadName(thread.ThreadID(), "Quotes");
    EXPECT_EQ("Quotes", SystemThreadFacts(thread.ThreadID(), 0).ThreadName) << "the naming comes first";
    ForgetThreadName(thread.ThreadID());
}

}  // namespace
