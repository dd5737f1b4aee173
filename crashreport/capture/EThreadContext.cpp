#include "crashreport/capture/EThreadContext.h"

#include <cstddef>
#include <cstring>

static_assert(offsetof(CONTEXT, ExtendedRegisters) == ThreadContextSavedSize, "context layout");
static_assert(sizeof(EXCEPTION_RECORD) == 80, "exception record layout");

namespace {

// Made before main, while one thread runs; never released, as threads may still use them.
HANDLE heap = HeapCreate(0, 0, 0);
DWORD slot = TlsAlloc();

}  // namespace

HANDLE ReporterHeap()
{
    return heap;
}

TThreadExceptionContext* ThreadExceptionContext()
{
    if (slot == TLS_OUT_OF_INDEXES || !heap)
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
    if (slot == TLS_OUT_OF_INDEXES || !heap)
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
