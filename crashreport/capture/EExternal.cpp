#include "crashreport/capture/EExternal.h"

#include <cstdint>
#include <cstring>
#include <new>

#include "crashreport/capture/EThreadContext.h"

EExternal::EExternal(std::string message, const EXCEPTION_RECORD& record) : Exception(std::move(message))
{
    std::memcpy(&record_, &record, sizeof record_);
    record_.ExceptionRecord = nullptr;  // the nested record doesn't outlive the fault
    FormatExternalExceptionMessage(record_, text_, sizeof text_);
}

EExternal::EExternal(const EXCEPTION_RECORD& record) : Exception(std::string())
{
    std::memcpy(&record_, &record, sizeof record_);
    record_.ExceptionRecord = nullptr;
    FormatExternalExceptionMessage(record_, text_, sizeof text_);
}

const char* EExternal::what() const noexcept
{
    return Message().empty() ? text_ : Message().c_str();
}

namespace {

// Formatting by hand: the runtime's printf reads errno, which on a thread new to it makes the
// runtime's thread data on the process heap.
class TMessageText {
public:
    TMessageText(char* text, size_t size) : text_(text), size_(size) { Put(""); }
    TMessageText& Put(const char* part)
    {
        while (*part && used_ + 1 < size_)
            text_[used_++] = *part++;
        if (size_)
            text_[used_ < size_ ? used_ : size_ - 1] = 0;
        return *this;
    }
    // Upper-case hexadecimal: eight digits, or as many as the value needs.
    TMessageText& Hex(uint32_t value, bool eightDigits)
    {
        char digits[9];
        int n = 0;
        for (int shift = 28; shift >= 0; shift -= 4) {
            const unsigned digit = (value >> shift) & 0xF;
            if (digit || n || eightDigits || shift == 0)
                digits[n++] = "0123456789ABCDEF"[digit];
        }
        digits[n] = 0;
        return Put(digits);
    }

private:
    char* text_;
    size_t size_;
    size_t used_ = 0;
};

}  // namespace

void FormatExternalExceptionMessage(const EXCEPTION_RECORD& record, char* text, size_t size)
{
    const auto address = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(record.ExceptionAddress));
    TMessageText out(text, size);
    switch (record.ExceptionCode) {
    case EXCEPTION_ACCESS_VIOLATION:
        out.Put("Access violation at address ").Hex(address, true);
        if (record.NumberParameters >= 2) {
            const char* what = record.ExceptionInformation[0] == 1 ? "Write"
                               : record.ExceptionInformation[0] == 8 ? "Execution" : "Read";
            out.Put(". ").Put(what).Put(" of address ").Hex(static_cast<uint32_t>(record.ExceptionInformation[1]), true);
        }
        return;
    case EXCEPTION_STACK_OVERFLOW:
        out.Put("Stack overflow");
        return;
    default:
        out.Put("External exception ").Hex(static_cast<uint32_t>(record.ExceptionCode), false);
        return;
    }
}

std::string ExternalExceptionMessage(const EXCEPTION_RECORD& record)
{
    char text[128];
    FormatExternalExceptionMessage(record, text, sizeof text);
    return text;
}

std::exception_ptr MakeExternalException(const EXCEPTION_RECORD& record)
{
    const std::string message = ExternalExceptionMessage(record);
    switch (record.ExceptionCode) {
    case EXCEPTION_ACCESS_VIOLATION:
        return std::make_exception_ptr(EAccessViolation(message, record));
    case EXCEPTION_STACK_OVERFLOW:
        return std::make_exception_ptr(EStackOverflow(message, record));
    default:
        return std::make_exception_ptr(EExternalException(message, record));
    }
}

namespace {

// The reference count sits in front of the object, in the same block.
struct alignas(8) TExternalBlock {
    volatile LONG references;
};
union TExternalStorage {
    EAccessViolation accessViolation;
    EStackOverflow stackOverflow;
    EExternalException external;
};

TExternalBlock* BlockOf(EExternal* object)
{
    return reinterpret_cast<TExternalBlock*>(reinterpret_cast<unsigned char*>(object) - sizeof(TExternalBlock));
}

}  // namespace

EExternal* NewExternalObject(const EXCEPTION_RECORD& record)
{
    HANDLE heap = ReporterHeap();
    void* block = heap ? HeapAlloc(heap, 0, sizeof(TExternalBlock) + sizeof(TExternalStorage)) : nullptr;
    if (!block)
        return nullptr;
    static_cast<TExternalBlock*>(block)->references = 1;
    void* at = static_cast<unsigned char*>(block) + sizeof(TExternalBlock);
    switch (record.ExceptionCode) {
    case EXCEPTION_ACCESS_VIOLATION:
        return new (at) EAccessViolation(record);
    case EXCEPTION_STACK_OVERFLOW:
        return new (at) EStackOverflow(record);
    default:
        return new (at) EExternalException(record);
    }
}

void RetainExternalObject(EExternal* object)
{
    if (object)
        InterlockedIncrement(&BlockOf(object)->references);
}

void ReleaseExternalObject(EExternal* object)
{
    if (!object || InterlockedDecrement(&BlockOf(object)->references) != 0)
        return;
    object->~EExternal();
    HeapFree(ReporterHeap(), 0, BlockOf(object));
}
