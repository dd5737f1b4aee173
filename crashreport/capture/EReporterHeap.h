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

// A record's text kept on the reporter's heap that reads like a std::string: what the
// system fills while an exception is handled goes into one of these, and the report, made
// when the handling allows it, copies it out.
class TReporterText : public TReporterString {
public:
    TReporterText() = default;
    TReporterText(const char* text) : TReporterString(text) {}
    TReporterText(std::string_view text) : TReporterString(text) {}
    TReporterText(const std::string& text) : TReporterString(text.data(), text.size()) {}
    TReporterText(const TReporterString& text) : TReporterString(text) {}
    TReporterText& operator=(std::string_view text)
    {
        assign(text.data(), text.size());
        return *this;
    }
    TReporterText& operator=(const std::string& text) { return *this = std::string_view(text); }
    TReporterText& operator=(const char* text) { return *this = std::string_view(text); }
    operator std::string() const { return StdString(*this); }
};
// Found by argument lookup (the allocator is ours); the reverse order comes with C++20.
inline bool operator==(const TReporterString& a, const std::string& b)
{
    return std::string_view(a) == std::string_view(b);
}
