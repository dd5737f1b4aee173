#include "framework/ExceptionBoundary.h"

#include <cstdio>
#include <mutex>

#include "framework/Exception.h"

namespace {

std::mutex& HandlerLock()
{
    static std::mutex lock;
    return lock;
}

BoundaryExceptionHandler& Handler()
{
    static BoundaryExceptionHandler handler;
    return handler;
}

}  // namespace

BoundaryExceptionHandler SetBoundaryExceptionHandler(BoundaryExceptionHandler handler)
{
    std::lock_guard<std::mutex> guard(HandlerLock());
    std::swap(Handler(), handler);
    return handler;
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

void HandleBoundaryException(std::exception_ptr error) noexcept
{
    try {
        BoundaryExceptionHandler handler;
        {
            std::lock_guard<std::mutex> guard(HandlerLock());
            handler = Handler();
        }
        if (handler) {
            handler(error);
            return;
        }
        std::fprintf(stderr, "%s\n", BoundaryExceptionMessage(error).c_str());
    } catch (...) {
        // A failing handler must not take the boundary down with it.
    }
}
