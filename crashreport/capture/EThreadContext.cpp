#include "crashreport/capture/EThreadContext.h"

#include <cstddef>
#include <cstring>

static_assert(offsetof(CONTEXT, ExtendedRegisters) == ThreadContextSavedSize, "context layout");
static_assert(sizeof(EXCEPTION_RECORD) == 80, "exception record layout");

namespace {

// Made on first use: the reporter starts during static initialisation, before objects of
// default priority are made. Never released, as threads may still use them.
HANDLE volatile heap = nullptr;
volatile LONG slotPlusOne = 0;

DWORD Slot()
{
    LONG value = slotPlusOne;
    if (value == 0) {
        const DWORD made = TlsAlloc();
        if (made == TLS_OUT_OF_INDEXES)
            return TLS_OUT_OF_INDEXES;
        value = InterlockedCompareExchange(&slotPlusOne, static_cast<LONG>(made) + 1, 0);
        if (value != 0)
            TlsFree(made);  // another thread made it first
        else
            value = static_cast<LONG>(made) + 1;
    }
    return static_cast<DWORD>(value - 1);
}

}  // namespace

HANDLE ReporterHeap()
{
    if (!heap) {
        HANDLE made = HeapCreate(0, 0, 0);
        if (made && InterlockedCompareExchangePointer(const_cast<PVOID volatile*>(&heap), made, nullptr) != nullptr)
            HeapDestroy(made);
    }
    return heap;
}

TThreadExceptionContext* ThreadExceptionContext()
{
    const DWORD slot = Slot();
    if (slot == TLS_OUT_OF_INDEXES || !ReporterHeap())
        return nullptr;
    const DWORD lastError = GetLastError();  // TlsGetValue clears it; callers may be reading it
    auto* record = static_cast<TThreadExceptionContext*>(TlsGetValue(slot));
    if (!record) {
        record = static_cast<TThreadExceptionContext*>(HeapAlloc(heap, HEAP_ZERO_MEMORY, sizeof *record));
        if (record && !TlsSetValue(slot, record)) {
            HeapFree(heap, 0, record);
            record = nullptr;
        }
    }
    SetLastError(lastError);
    return record;
}

void ReleaseThreadExceptionContext()
{
    const DWORD slot = Slot();
    if (slot == TLS_OUT_OF_INDEXES || !ReporterHeap())
        return;
    if (void* record = TlsGetValue(slot)) {
        TlsSetValue(slot, nullptr);
        HeapFree(heap, 0, record);
    }
}

void StoreThreadContext(TThreadExceptionContext& record, const CONTEXT& context)
{
    std::memcpy(record.context, &context, ThreadContextSavedSize);
}

bool LoadThreadContext(const TThreadExceptionContext& record, CONTEXT& context)
{
    DWORD flags = 0;
    std::memcpy(&flags, record.context, sizeof flags);
    if (flags == 0)
        return false;
    std::memset(&context, 0, sizeof context);
    std::memcpy(&context, record.context, ThreadContextSavedSize);
    return true;
}
