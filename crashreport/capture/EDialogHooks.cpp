#include "crashreport/capture/EDialogHooks.h"

TExceptionDialogHooks& ExceptionDialogHooks()
{
    static TExceptionDialogHooks hooks;
    return hooks;
}

std::string HookedExceptionMessage()
{
    auto& h = ExceptionDialogHooks();
    return h.exceptionMessage ? h.exceptionMessage() : std::string();
}

int HookedReportCounter()
{
    auto& h = ExceptionDialogHooks();
    return h.reportCounter ? h.reportCounter() : 1;
}

bool HookedDuplicateError()
{
    auto& h = ExceptionDialogHooks();
    return h.duplicateError && h.duplicateError();
}
