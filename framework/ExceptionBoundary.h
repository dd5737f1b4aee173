#pragma once
// The one place where exceptions stop at a callback boundary (window procedure, timer,
// thread, COM method): the unwinder can't cross system frames, so nothing may leave them.
// The application installs the handler that shows the message; the crash reporter extends it.

#include <exception>
#include <functional>
#include <string>
#include <utility>

using BoundaryExceptionHandler = std::function<void(std::exception_ptr)>;

// Replaces the handler and returns the previous one.
BoundaryExceptionHandler SetBoundaryExceptionHandler(BoundaryExceptionHandler handler);

// The crash reporter sees every exception a boundary stops before the handler does, and says
// whether the handler should run as well.
using BoundaryReporter = bool (*)(std::exception_ptr error);
void SetBoundaryReporter(BoundaryReporter reporter);

// Hands an exception caught at a boundary to the reporter, then to the handler; never throws.
void HandleBoundaryException(std::exception_ptr error) noexcept;

// The message of an exception_ptr: Exception's message, what(), or a fixed text.
std::string BoundaryExceptionMessage(std::exception_ptr error);

template <class F>
void GuardedCall(F&& f) noexcept
{
    try {
        std::forward<F>(f)();
    } catch (...) {
        HandleBoundaryException(std::current_exception());
    }
}

template <class R, class F>
R GuardedCall(R fallback, F&& f) noexcept
{
    try {
        return std::forward<F>(f)();
    } catch (...) {
        HandleBoundaryException(std::current_exception());
        return fallback;
    }
}
