#pragma once
// Exceptions the system raises rather than code: a structured exception travels the road as an
// object of one of these, carrying a copy of its record. EAbort is the quiet exception the
// reporter never reports.

#include <windows.h>

#include <exception>
#include <string>

#include "framework/Exception.h"

class EAbort : public Exception {
public:
    using Exception::Exception;
};

class EExternal : public Exception {
public:
    EExternal(std::string message, const EXCEPTION_RECORD& record);
    // The message kept in the object itself (Message() stays empty): made while the fault is
    // handled, it takes nothing from any heap.
    explicit EExternal(const EXCEPTION_RECORD& record);
    const EXCEPTION_RECORD& ExceptionRecord() const { return record_; }
    DWORD ExceptionCode() const { return record_.ExceptionCode; }
    const char* what() const noexcept override;

private:
    EXCEPTION_RECORD record_{};
    char text_[128] = {};
};

class EAccessViolation : public EExternal {
public:
    using EExternal::EExternal;
};

class EStackOverflow : public EExternal {
public:
    using EExternal::EExternal;
};

class EExternalException : public EExternal {
public:
    using EExternal::EExternal;
};

// The message the runtime gives a structured exception: "Access violation at address ...",
// "Stack overflow", else "External exception C0000..." with its code.
std::string ExternalExceptionMessage(const EXCEPTION_RECORD& record);
// The same into text (cut to size), without allocating.
void FormatExternalExceptionMessage(const EXCEPTION_RECORD& record, char* text, size_t size);
// A new exception of the class the record's code calls for, for the program's own handler
// once the road is done (the runtime allocates it).
std::exception_ptr MakeExternalException(const EXCEPTION_RECORD& record);

// The object of that class the road carries while the fault is handled: made in a block of the
// reporter's heap, never from the process heap or the runtime's exception allocation, and
// shared by reference counts (one held by the caller); nullptr when the heap has no room.
// The procedure is the exception-object procedure the program's data names.
EExternal* NewExternalObject(const EXCEPTION_RECORD& record);
void RetainExternalObject(EExternal* object);
void ReleaseExternalObject(EExternal* object);

// A share of such an object, as exception_ptr shares a thrown one.
class TExternalRef {
public:
    TExternalRef() = default;
    // Takes over the caller's reference.
    explicit TExternalRef(EExternal* object) : object_(object) {}
    TExternalRef(const TExternalRef& other) : object_(other.object_) { RetainExternalObject(object_); }
    TExternalRef& operator=(const TExternalRef& other)
    {
        RetainExternalObject(other.object_);
        ReleaseExternalObject(object_);
        object_ = other.object_;
        return *this;
    }
    ~TExternalRef() { ReleaseExternalObject(object_); }
    EExternal* Get() const { return object_; }

private:
    EExternal* object_ = nullptr;
};
