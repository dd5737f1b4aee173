#include "crashreport/capture/EExternal.h"

#include <cstring>

EExternal::EExternal(std::string message, const EXCEPTION_RECORD& record) : Exception(std::move(message))
{
    std::memcpy(&record_, &record, sizeof record_);
    record_.ExceptionRecord = nullptr;  // the nested record doesn't outlive the fault
}

std::string ExternalExceptionMessage(const EXCEPTION_RECORD& record)
{
    const unsigned address = static_cast<unsigned>(reinterpret_cast<uintptr_t>(record.ExceptionAddress));
    switch (record.ExceptionCode) {
    case EXCEPTION_ACCESS_VIOLATION:
        if (record.NumberParameters >= 2) {
            const char* what = record.ExceptionInformation[0] == 1 ? "Write"
                               : record.ExceptionInformation[0] == 8 ? "Execution" : "Read";
            return Format("Access violation at address %08X. %s of address %08X", address, what,
                          static_cast<unsigned>(record.ExceptionInformation[1]));
        }
        return Format("Access violation at address %08X", address);
    case EXCEPTION_STACK_OVERFLOW:
        return "Stack overflow";
    default:
        return Format("External exception %X", static_cast<unsigned>(record.ExceptionCode));
    }
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
