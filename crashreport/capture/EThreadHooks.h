#pragma once
// The process's threads as the crash reporter knows them, and the hooks that keep the list:
// CreateThread, ResumeThread and ExitThread (with RaiseException, RtlUnwind and WriteFile)
// replaced in the import tables of the program and of the C runtime, so threads started by the
// runtime (_beginthreadex, std::thread) get records as well.

#include <windows.h>

#include <cstddef>
#include <cstdint>

// One thread (49 bytes, the layout other modules' copies exchange).
#pragma pack(push, 1)
struct TVurazaThreadRecord {
    DWORD threadId;
    HANDLE threadHandle;     // our own duplicate (access 0x4A), closed with the record
    DWORD resumerId;         // the thread that resumed it last: its creator
    DWORD reserved;          // 0x80000000
    void* threadObject;      // the framework's TThread, or nullptr
    uintptr_t stackTop;      // stored when the thread starts running
    void* replacedExecute;
    void* runtimeThreadFunction;  // started through the C runtime: the function it runs
    void* startAddress;      // the start routine the creator gave
    void* parameter;
    uint32_t creatorStackSize;
    uint8_t* creatorStackCopy;  // the resumer's stack from its call up (ReporterHeap), or nullptr
    uint8_t borrowed;        // copied from another module's list: the stack copy isn't ours
};
#pragma pack(pop)
static_assert(sizeof(TVurazaThreadRecord) == 49, "thread record layout");

constexpr DWORD ThreadRecordAccess = 0x4A;  // suspend/resume, get context, query information
constexpr size_t CreatorStackLimit = 102400;

// Owns its records (allocated from ReporterHeap); guarded by a slim reader/writer lock. A
// snapshot copies every record under the other list's read lock, has no lock of its own and
// frees no stack copy (nor closes a handle) of the records it copied.
class TVurazaThreadsList {
public:
    TVurazaThreadsList();
    explicit TVurazaThreadsList(TVurazaThreadsList& source);  // snapshot
    ~TVurazaThreadsList();
    TVurazaThreadsList(const TVurazaThreadsList&) = delete;
    TVurazaThreadsList& operator=(const TVurazaThreadsList&) = delete;

    bool IsSnapshot() const { return snapshot_; }
    int Count() const { return count_; }
    TVurazaThreadRecord* Item(int index) const { return index >= 0 && index < count_ ? items_[index] : nullptr; }

    // Callers of what follows hold the matching lock; a snapshot's locks do nothing.
    void BeginRead();
    // The read lock when no writer holds the list; EndRead after true.
    bool TryBeginRead();
    void EndRead();
    void BeginWrite();
    void EndWrite();

    void Clear();
    void Delete(int index);
    // Each searches from the last record down; -1 when absent.
    int FindByHandle(HANDLE handle) const;  // by the thread's id (GetThreadId), any handle to it
    int FindByObject(const void* threadObject) const;
    int FindById(DWORD threadId) const;
    void RemoveCurrentThread();
    // Zeroed, reserved 0x80000000; appended when asked. nullptr when the heap has no room.
    TVurazaThreadRecord* NewRecord(bool append);
    bool Append(TVurazaThreadRecord* record);
    // Takes the write lock itself: deletes every record whose thread has ended.
    void Purge();

    // A record not listed (or removed from the list): closes its handle, frees its copy.
    static void FreeRecord(TVurazaThreadRecord* record, bool ownsResources);

private:
    bool Grow();

    TVurazaThreadRecord** items_ = nullptr;
    int count_ = 0;
    int capacity_ = 0;
    bool snapshot_ = false;
    SRWLOCK lock_ = SRWLOCK_INIT;
};

// The process's list; nullptr outside the reporter's life.
TVurazaThreadsList* VurazaThreadsList();
// Start-up: makes the list with the calling (main) thread's record: its id, a duplicated
// handle and its stack top. Shut-down frees it, after RemoveExceptionHooks.
void CreateVurazaThreadsList();
void FreeVurazaThreadsList();

// A duplicate of thread with ThreadRecordAccess, or nullptr.
HANDLE DuplicateThreadHandle(HANDLE thread);
// The thread's id from any handle to it (0 when unknown).
DWORD ThreadIdOfHandle(HANDLE thread);
// Copies the calling thread's stack from stackPointer up to its top (at most
// CreatorStackLimit bytes) into a block of ReporterHeap; nullptr and 0 when unreadable.
uint8_t* CopyCallerStack(uintptr_t stackPointer, uint32_t& size);

// The six kernel32 imports of the program's and the C runtime's import tables, and the
// framework's thread and callback-boundary seams. Install once the list exists; remove before
// freeing the list or any lock the hooks take. Both are idempotent.
void InstallExceptionHooks();
void RemoveExceptionHooks();
bool ExceptionHooksInstalled();
