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
    const EXCEPTION_RECORD& ExceptionRecord() const { return record_; }
    DWORD ExceptionCode() const { return record_.ExceptionCode; }

private:
    EXCEPTION_RECORD record_{};
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
// A new exception of the class the record's code calls for, ready to travel the road.
std::exception_ptr MakeExternalException(const EXCEPTION_RECORD& record);
