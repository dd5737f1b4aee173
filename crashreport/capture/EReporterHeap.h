#pragma once
// Memory of the records the reporter fills while an exception is handled: call-stack items and
// lists, the texts of address lookups, the spare module records. The Win32 build points it at
// the reporter's private heap, as the process heap's lock may be held by the faulting code; a
// native build uses malloc.

#include <cstddef>
#include <new>
#include <string>
#include <string_view>
#include <vector>

struct TStackHeap {
    void* (*allocate)(size_t size) = nullptr;
    void (*release)(void* block) = nullptr;
};
// nullptr (either function) restores the platform's: the reporter's private heap on Win32.
void SetStackHeap(TStackHeap heap);
void* PlatformReporterAllocate(size_t size);
void PlatformReporterRelease(void* block);
// Throws std::bad_alloc when the heap has no room.
void* StackHeapAllocate(size_t size);
void StackHeapRelease(void* block) noexcept;

template <typename T>
struct TStackHeapAllocator {
    using value_type = T;
    TStackHeapAllocator() = default;
    template <typename U>
    TStackHeapAllocator(const TStackHeapAllocator<U>&) {}
    T* allocate(size_t n) { return static_cast<T*>(StackHeapAllocate(n * sizeof(T))); }
    void deallocate(T* p, size_t) noexcept { StackHeapRelease(p); }
    bool operator==(const TStackHeapAllocator&) const { return true; }
};

template <typename T>
using TReporterAllocator = TStackHeapAllocator<T>;
// Texts and tables made while an exception is handled.
using TReporterString = std::basic_string<char, std::char_traits<char>, TReporterAllocator<char>>;
template <typename T>
using TReporterVector = std::vector<T, TReporterAllocator<T>>;

inline std::string StdString(const TReporterString& text) { return std::string(text.data(), text.size()); }
// Found by argument lookup (the allocator is ours); the reverse order comes with C++20.
inline bool operator==(const TReporterString& a, const std::string& b)
{
    return std::string_view(a) == std::string_view(b);
}
