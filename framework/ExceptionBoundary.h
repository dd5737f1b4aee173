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

// Hands an exception to the application's handler alone (the boundary's reporter has seen it).
void HandleBoundaryExceptionInApplication(std::exception_ptr error) noexcept;

// A structured (processor or system) exception reaching a boundary. The router returns true
// to stop it there: the stack is then unwound to the boundary, skipping every frame between,
// and the call is abandoned; what it left in forApplication goes to the application's handler.
// Without a router, or when it returns false, the exception travels on as before. A stack
// overflow leaves no room to route on the spot: the router is told first (StructuredNote) and
// asked to route once the stack is unwound (StructuredRouteUnwound, the pointers a copy).
enum : int { StructuredRoute = 0, StructuredNote = 1, StructuredRouteUnwound = 2 };
using StructuredExceptionRouter = bool (*)(void* exceptionPointers, int step, std::exception_ptr* forApplication);
StructuredExceptionRouter SetStructuredExceptionRouter(StructuredExceptionRouter router);

// Runs proc(data) inside a structured-exception frame (Win32; elsewhere a plain call). False
// when a structured exception was stopped there.
bool RunInStructuredFrame(void (*proc)(void*), void* data) noexcept;

// Runs proc(data) inside a structured-exception frame that stops every structured exception
// unrouted, abandoning the call: for code that runs while an exception is being handled, where
// a fault must neither reach the router again nor end the process. False when one was stopped.
bool RunInSilentFrame(void (*proc)(void*), void* data) noexcept;

template <class F>
void GuardedCall(F&& f) noexcept
{
    auto body = [&f]() {
        try {
            std::forward<F>(f)();
        } catch (...) {
            HandleBoundaryException(std::current_exception());
        }
    };
    RunInStructuredFrame([](void* p) { (*static_cast<decltype(body)*>(p))(); }, &body);
}

template <class R, class F>
R GuardedCall(R fallback, F&& f) noexcept
{
    R result = fallback;
    auto body = [&f, &result]() {
        try {
            result = std::forward<F>(f)();
        } catch (...) {
            HandleBoundaryException(std::current_exception());
        }
    };
    if (!RunInStructuredFrame([](void* p) { (*static_cast<decltype(body)*>(p))(); }, &body))
        return fallback;
    return result;
}
