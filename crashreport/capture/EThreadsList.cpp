#include <cstring>

#include "crashreport/capture/EThreadContext.h"
#include "crashreport/capture/EThreadHooks.h"
#include "crashreport/capture/ECoreWin.h"
#include "crashreport/capture/EUtilsWin.h"

namespace {

TVurazaThreadsList* processList = nullptr;

void* HeapBlock(size_t size)
{
    HANDLE heap = ReporterHeap();
    return heap ? HeapAlloc(heap, HEAP_ZERO_MEMORY, size) : nullptr;
}

void FreeBlock(void* block)
{
    if (block && ReporterHeap())
        HeapFree(ReporterHeap(), 0, block);
}

using TGetThreadId = DWORD(WINAPI*)(HANDLE);

TGetThreadId GetThreadIdProc()
{
    static TGetThreadId proc = reinterpret_cast<TGetThreadId>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "GetThreadId")));
    return proc;
}

}  // namespace

HANDLE DuplicateThreadHandle(HANDLE thread)
{
    HANDLE duplicate = nullptr;
    if (!DuplicateHandle(GetCurrentProcess(), thread, GetCurrentProcess(), &duplicate, ThreadRecordAccess, FALSE, 0))
        return nullptr;
    return duplicate;
}

DWORD ThreadIdOfHandle(HANDLE thread)
{
    if (!thread)
        return 0;
    if (thread == GetCurrentThread())
        return GetCurrentThreadId();
    TGetThreadId proc = GetThreadIdProc();
    return proc ? proc(thread) : 0;
}

uint8_t* CopyCallerStack(uintptr_t stackPointer, uint32_t& size)
{
    size = 0;
    const uintptr_t top = CurrentStackTop();
    if (stackPointer == 0 || stackPointer >= top)
        return nullptr;
    size_t count = top - stackPointer;
    if (count > CreatorStackLimit)
        count = CreatorStackLimit;
    if (!IsReadableMemory(reinterpret_cast<const void*>(stackPointer), count))
        return nullptr;
    auto* copy = static_cast<uint8_t*>(HeapBlock(count));
    if (!copy)
        return nullptr;
    std::memcpy(copy, reinterpret_cast<const void*>(stackPointer), count);
    size = static_cast<uint32_t>(count);
    return copy;
}

TVurazaThreadsList::TVurazaThreadsList() = default;

TVurazaThreadsList::TVurazaThreadsList(TVurazaThreadsList& source) : snapshot_(true)
{
    source.BeginRead();
    capacity_ = source.count_;
    if (capacity_ > 0)
        items_ = static_cast<TVurazaThreadRecord**>(HeapBlock(sizeof(TVurazaThreadRecord*) * capacity_));
    if (items_) {
        for (int i = 0; i < source.count_; ++i) {
            auto* copy = static_cast<TVurazaThreadRecord*>(HeapBlock(sizeof(TVurazaThreadRecord)));
            if (!copy)
                break;
            *copy = *source.items_[i];
            // A snapshot keeps what it reads: a thread that ends or is resumed during the report
            // frees its record's stack copy and closes its handle.
            copy->threadHandle = copy->threadHandle ? DuplicateThreadHandle(copy->threadHandle) : nullptr;
            if (copy->creatorStackCopy && copy->creatorStackSize) {
                auto* bytes = static_cast<uint8_t*>(HeapBlock(copy->creatorStackSize));
                if (bytes)
                    std::memcpy(bytes, copy->creatorStackCopy, copy->creatorStackSize);
                copy->creatorStackCopy = bytes;
                if (!bytes)
                    copy->creatorStackSize = 0;
            }
            copy->borrowed = 0;
            items_[count_++] = copy;
        }
    } else {
        capacity_ = 0;
    }
    source.EndRead();
}

TVurazaThreadsList::~TVurazaThreadsList()
{
    Clear();
    FreeBlock(items_);
}

void TVurazaThreadsList::BeginRead()
{
    if (!snapshot_)
        AcquireSRWLockShared(&lock_);
}

bool TVurazaThreadsList::TryBeginRead()
{
    return snapshot_ || TryAcquireSRWLockShared(&lock_);
}

void TVurazaThreadsList::EndRead()
{
    if (!snapshot_)
        ReleaseSRWLockShared(&lock_);
}

void TVurazaThreadsList::BeginWrite()
{
    if (!snapshot_)
        AcquireSRWLockExclusive(&lock_);
}

void TVurazaThreadsList::EndWrite()
{
    if (!snapshot_)
        ReleaseSRWLockExclusive(&lock_);
}

void TVurazaThreadsList::FreeRecord(TVurazaThreadRecord* record, bool ownsResources)
{
    if (!record)
        return;
    if (ownsResources) {
        if (record->threadHandle)
            CloseHandle(record->threadHandle);
        if (!record->borrowed)
            FreeBlock(record->creatorStackCopy);
    }
    FreeBlock(record);
}

void TVurazaThreadsList::Clear()
{
    while (count_ > 0)
        Delete(count_ - 1);
}

void TVurazaThreadsList::Delete(int index)
{
    if (index < 0 || index >= count_)
        return;
    TVurazaThreadRecord* record = items_[index];
    std::memmove(items_ + index, items_ + index + 1, sizeof(*items_) * (count_ - index - 1));
    --count_;
    FreeRecord(record, true);
}

int TVurazaThreadsList::FindByHandle(HANDLE handle) const
{
    // The creator's handle may be closed and its value reused: the thread's id is what counts.
    const DWORD id = ThreadIdOfHandle(handle);
    if (id == 0) {
        for (int i = count_ - 1; i >= 0; --i)
            if (items_[i]->threadHandle == handle)
                return i;
        return -1;
    }
    return FindById(id);
}

int TVurazaThreadsList::FindByObject(const void* threadObject) const
{
    if (!threadObject)
        return -1;
    for (int i = count_ - 1; i >= 0; --i)
        if (items_[i]->threadObject == threadObject)
            return i;
    return -1;
}

int TVurazaThreadsList::FindById(DWORD threadId) const
{
    for (int i = count_ - 1; i >= 0; --i)
        if (items_[i]->threadId == threadId)
            return i;
    return -1;
}

void TVurazaThreadsList::RemoveCurrentThread()
{
    const int index = FindById(GetCurrentThreadId());
    if (index >= 0)
        Delete(index);
}

bool TVurazaThreadsList::Grow()
{
    const int capacity = capacity_ ? capacity_ * 2 : 16;
    auto* items = static_cast<TVurazaThreadRecord**>(HeapBlock(sizeof(TVurazaThreadRecord*) * capacity));
    if (!items)
        return false;
    if (count_)
        std::memcpy(items, items_, sizeof(*items_) * count_);
    FreeBlock(items_);
    items_ = items;
    capacity_ = capacity;
    return true;
}

bool TVurazaThreadsList::Append(TVurazaThreadRecord* record)
{
    if (!record || (count_ == capacity_ && !Grow()))
        return false;
    items_[count_++] = record;
    return true;
}

TVurazaThreadRecord* TVurazaThreadsList::NewRecord(bool append)
{
    auto* record = static_cast<TVurazaThreadRecord*>(HeapBlock(sizeof(TVurazaThreadRecord)));
    if (!record)
        return nullptr;
    record->reserved = 0x80000000u;
    if (append && !Append(record)) {
        FreeBlock(record);
        return nullptr;
    }
    return record;
}

void TVurazaThreadsList::Purge()
{
    BeginWrite();
    for (int i = count_ - 1; i >= 0; --i)
        if (!IsThreadRunning(items_[i]->threadHandle))
            Delete(i);
    EndWrite();
}

TVurazaThreadsList* VurazaThreadsList()
{
    return processList;
}

void CreateVurazaThreadsList()
{
    if (processList)
        return;
    auto* list = new TVurazaThreadsList();
    list->BeginWrite();
    if (TVurazaThreadRecord* record = list->NewRecord(true)) {
        record->threadId = GetCurrentThreadId();
        record->threadHandle = DuplicateThreadHandle(GetCurrentThread());
        record->stackTop = CurrentStackTop();
    }
    list->EndWrite();
    processList = list;
}

void FreeVurazaThreadsList()
{
    TVurazaThreadsList* list = processList;
    processList = nullptr;
    delete list;
}
