#include "framework/ExceptionBoundary.h"

#include <atomic>
#include <cstdio>
#include "framework/Exception.h"
#include "framework/LockedValue.h"

namespace {

TLockedValue<BoundaryExceptionHandler>& Handler()
{
    static TLockedValue<BoundaryExceptionHandler> handler;
    return handler;
}

std::atomic<BoundaryReporter> reporter = nullptr;

}  // namespace

void SetBoundaryReporter(BoundaryReporter r)
{
    reporter = r;
}

BoundaryExceptionHandler SetBoundaryExceptionHandler(BoundaryExceptionHandler handler)
{
    return Handler().Exchange(std::move(handler));
}

std::string BoundaryExceptionMessage(std::exception_ptr error)
{
    try {
        if (error)
            std::rethrow_exception(error);
    } catch (const Exception& e) {
        return e.Message();
    } catch (const std::exception& e) {
        return e.what();
    } catch (...) {
    }
    return "Unknown exception";
}

void HandleBoundaryExceptionInApplication(std::exception_ptr error) noexcept
{
    try {
        const BoundaryExceptionHandler handler = Handler().Get();
        if (handler) {
            handler(error);
            return;
        }
        std::fprintf(stderr, "%s\n", BoundaryExceptionMessage(error).c_str());
    } catch (...) {
    }
}

void HandleBoundaryException(std::exception_ptr error) noexcept
{
    try {
        if (const BoundaryReporter r = reporter.load())
            if (!r(error))
                return;
        const BoundaryExceptionHandler handler = Handler().Get();
        if (handler) {
            handler(error);
            return;
        }
        std::fprintf(stderr, "%s\n", BoundaryExceptionMessage(error).c_str());
    } catch (...) {
        // A failing handler must not take the boundary down with it.
    }
}
