#include "crashreport/capture/EStackWin.h"

#include <cstring>

#include "crashreport/capture/EModules.h"
#include "crashreport/capture/EUtilsWin.h"
#include "framework/ExceptionBoundary.h"

namespace {

bool IsReadableProtection(DWORD protect)
{
    if (protect & (PAGE_GUARD | PAGE_NOACCESS))
        return false;
    return (protect & (PAGE_READONLY | PAGE_READWRITE | PAGE_WRITECOPY | PAGE_EXECUTE_READ |
                       PAGE_EXECUTE_READWRITE | PAGE_EXECUTE_WRITECOPY)) != 0;
}

using TLdrLock = LONG(NTAPI*)(ULONG flags, ULONG* state, ULONG_PTR* cookie);
using TLdrUnlock = LONG(NTAPI*)(ULONG flags, ULONG_PTR cookie);

template <typename T>
T NtdllProc(const char* name)
{
    return reinterpret_cast<T>(reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), name)));
}

// Memory another running thread may free meanwhile: a fault while copying stops the copy.
struct TCopyRequest {
    void* dest;
    const void* source;
    size_t count;
};

bool CopyWithoutFault(void* dest, const void* source, size_t count)
{
    TCopyRequest request{dest, source, count};
    return RunInSilentFrame(
        [](void* data) {
            auto* r = static_cast<TCopyRequest*>(data);
            memcpy(r->dest, r->source, r->count);
        },
        &request);
}

constexpr ULONG LoaderLockTryOnly = 2;
constexpr ULONG LoaderLockAcquired = 1;

}  // namespace

TLiveMemoryReader::~TLiveMemoryReader()
{
    if (loaderHeld_ == 1)
        if (const auto unlock = NtdllProc<TLdrUnlock>("LdrUnlockLoaderLock"))
            unlock(0, loaderCookie_);
}

// Never waits for the lock: its holder may be a thread that is suspended or hung.
bool TLiveMemoryReader::HoldImages()
{
    if (loaderHeld_ == 0) {
        loaderHeld_ = -1;
        if (const auto lock = NtdllProc<TLdrLock>("LdrLockLoaderLock"))
            for (int i = 0; i < 20 && loaderHeld_ != 1; ++i) {
                ULONG state = 0;
                if (lock(LoaderLockTryOnly, &state, &loaderCookie_) >= 0 && state == LoaderLockAcquired)
                    loaderHeld_ = 1;
                else
                    Sleep(1);
            }
    }
    return loaderHeld_ == 1;
}

const TLiveMemoryReader::TRegion* TLiveMemoryReader::Cached(uintptr_t address, size_t count) const
{
    for (const TRegion& r : regions_) {
        if (address >= r.begin && address < r.end && count <= r.end - address)
            return &r;
    }
    return nullptr;
}

bool TLiveMemoryReader::IsReadable(uintptr_t address, size_t count)
{
    if (count == 0)
        return true;
    if (Cached(address, count))
        return true;
    uintptr_t at = address;
    const uintptr_t last = address + count - 1;
    if (last < address)
        return false;
    for (;;) {
        MEMORY_BASIC_INFORMATION info{};
        if (VirtualQuery(reinterpret_cast<const void*>(at), &info, sizeof info) != sizeof info)
            return false;
        if (info.State != MEM_COMMIT || !IsReadableProtection(info.Protect))
            return false;
        const uintptr_t begin = reinterpret_cast<uintptr_t>(info.BaseAddress);
        const uintptr_t end = begin + info.RegionSize;
        if (end <= at)
            return false;
        regions_[next_] = {begin, end, info.Type == MEM_IMAGE};
        next_ = (next_ + 1) % RegionCount;
        if (end - 1 >= last)
            return true;
        at = end;
    }
}

bool TLiveMemoryReader::Read(uintptr_t address, void* dest, size_t count)
{
    // What was found readable before the lock may have been unloaded since.
    if (loaderHeld_ == 0 && HoldImages())
        for (TRegion& region : regions_)
            region = {};
    if (!IsReadable(address, count))
        return false;
    // Stacks and heap blocks stay while their thread waits or is suspended; a library may go.
    const TRegion* region = Cached(address, count);
    if (region && (!region->image || loaderHeld_ == 1)) {
        if (CopyWithoutFault(dest, reinterpret_cast<const void*>(address), count))
            return true;
        for (TRegion& r : regions_)
            r = {};
        return false;
    }
    SIZE_T read = 0;
    if (ReadProcessMemory(GetCurrentProcess(), reinterpret_cast<const void*>(address), dest, count, &read) &&
        read == count)
        return true;
    for (TRegion& region : regions_)
        region = {};
    return false;
}

bool TLiveMemoryReader::ModuleOf(uintptr_t address, uintptr_t& handle, TReporterString& fileName)
{
    HMODULE module = nullptr;
    if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            reinterpret_cast<LPCWSTR>(address), &module) ||
        !module)
        return false;
    handle = reinterpret_cast<uintptr_t>(module);
    // The loader's name as it is: expanding it to long names would go through the process heap.
    if (!ModuleFileNameInto(module, fileName))
        fileName.clear();
    return true;
}

TThreadStackCopy::TThreadStackCopy()
{
    buffer_ = static_cast<uint8_t*>(VirtualAlloc(nullptr, StackScanLimit, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
}

TThreadStackCopy::~TThreadStackCopy()
{
    if (buffer_)
        VirtualFree(buffer_, 0, MEM_RELEASE);
}

bool TThreadStackCopy::Capture(HANDLE thread)
{
    size_ = 0;
    stackPointer_ = 0;
    if (!buffer_ || SuspendThread(thread) == static_cast<DWORD>(-1))
        return false;
    // Nothing here allocates or locks: the suspended thread may hold the heap's lock.
    context_.ContextFlags = CONTEXT_FULL;
    bool ok = GetThreadContext(thread, &context_) != FALSE;
    if (ok) {
        stackPointer_ = context_.Esp;
        MEMORY_BASIC_INFORMATION info{};
        // A guard or no-access page at ESP (a stack about to grow) is not read; the copy goes
        // through a read that can't fault.
        ok = VirtualQuery(reinterpret_cast<const void*>(stackPointer_), &info, sizeof info) == sizeof info &&
             info.State == MEM_COMMIT && IsReadableProtection(info.Protect);
        if (ok) {
            const uintptr_t end = reinterpret_cast<uintptr_t>(info.BaseAddress) + info.RegionSize;
            size_ = end - stackPointer_ < StackScanLimit ? end - stackPointer_ : StackScanLimit;
            SIZE_T read = 0;
            ok = ReadProcessMemory(GetCurrentProcess(), reinterpret_cast<const void*>(stackPointer_), buffer_, size_,
                                   &read) && read == size_;
            if (!ok)
                size_ = 0;
        }
    }
    ResumeThread(thread);
    return ok;
}

void ScanCapturedStack(TVurazaStackList& list, const TThreadStackCopy& copy, uint32_t threadId, uint8_t group,
                       bool resolve, TLiveMemoryReader& live)
{
    TStackCopyReader reader(copy.StackPointer(), copy.Bytes(), copy.Size(), live);
    TStackScanRequest r;
    r.Address = copy.Context().Eip;
    r.StackPointer = copy.StackPointer();
    r.StackTop = copy.StackTop();
    r.FollowTargets = true;
    r.Resolve = resolve;
    r.Group = group;
    r.ThreadId = threadId;
    ScanStack(list, r, reader);
}
