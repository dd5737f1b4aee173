#include "crashreport/capture/ERoad.h"

#include <cstring>

#include "crashreport/capture/ExceptionLog.h"

TRoadException::TRoadException(std::exception_ptr e) : error(std::move(e))
{
    if (error) {
        // The runtime's exception_ptr is one pointer to the thrown object.
        static_assert(sizeof(std::exception_ptr) == sizeof(void*));
        std::memcpy(&object, &error, sizeof object);
        type = error.__cxa_exception_type();
    }
}

void EnterExceptionHandling(const TRoadException&, uintptr_t, bool, bool) {}

bool RouteException(const TRoadException&, uintptr_t, bool, TVurazaStackList*, bool, uint8_t, HMODULE, uint8_t,
                    const EXCEPTION_RECORD*, const CONTEXT*, uintptr_t, uintptr_t)
{
    return true;
}

bool ExceptionManager(const TRoadException&, uintptr_t, uint8_t, HMODULE)
{
    return true;
}

bool HandleUnhandledException(const TRoadException&, uintptr_t)
{
    return false;
}

void RunInMainThread(void (*procedure)(void*), void* data)
{
    procedure(data);
}

bool ScheduleTerminateAction(uint8_t)
{
    return ReporterStarted;
}

void SetCurrentExceptionObject(const TRoadException&) {}
bool IsThreadHandled(DWORD)
{
    return true;
}
void SetCaptureActive(bool value)
{
    CaptureActive = value;
}
bool IsCaptureActive()
{
    return CaptureActive;
}
bool IsReporterStarted()
{
    return ReporterStarted;
}
void SetThreadWalkStart(uintptr_t) {}
DWORD HandlingThreadId()
{
    return 0;
}
void SetFreezeWatchThreadId(DWORD) {}
