#include <atomic>

#include "framework/ExceptionBoundary.h"

namespace {

std::atomic<StructuredExceptionRouter> router{nullptr};

}  // namespace

StructuredExceptionRouter SetStructuredExceptionRouter(StructuredExceptionRouter value)
{
    return router.exchange(value);
}

// No structured exceptions here: signals are not caught at boundaries.
bool RunInStructuredFrame(void (*proc)(void*), void* data) noexcept
{
    proc(data);
    return true;
}

bool RunInSilentFrame(void (*proc)(void*), void* data) noexcept
{
    proc(data);
    return true;
}
