// The linker's wraps of the C++ runtime's throw, rethrow and end of catch. Only programs that
// carry the reporter link this (with --wrap for the three): they tell the throw capture first.

#include <typeinfo>

#include "crashreport/capture/ERaiseCapture.h"

extern "C" {
[[noreturn]] void __real___cxa_throw(void* object, std::type_info* type, void (*destructor)(void*));
[[noreturn]] void __real___cxa_rethrow();
void __real___cxa_end_catch();

[[noreturn]] __attribute__((noinline)) void __wrap___cxa_throw(void* object, std::type_info* type,
                                                              void (*destructor)(void*))
{
    RuntimeThrowSeen(object, type, reinterpret_cast<uintptr_t>(__builtin_return_address(0)),
                     static_cast<const uintptr_t*>(__builtin_frame_address(0)));
    __real___cxa_throw(object, type, destructor);
}

[[noreturn]] __attribute__((noinline)) void __wrap___cxa_rethrow()
{
    RuntimeRethrowSeen(reinterpret_cast<uintptr_t>(__builtin_return_address(0)),
                       static_cast<const uintptr_t*>(__builtin_frame_address(0)));
    __real___cxa_rethrow();
}

void __wrap___cxa_end_catch()
{
    RuntimeCatchEnds();
    __real___cxa_end_catch();
}
}
