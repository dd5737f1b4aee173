#pragma once
// The one road every exception of the process travels: the per-thread entry guard, routing
// under HandlingLock into a TExceptionThread while the faulting thread waits, the handling
// itself, and the entries the framework's and the runtime's hooks call.

#include <windows.h>

#include <cstdint>
#include <exception>
#include <string>
#include <typeinfo>

#include "crashreport/capture/EEvents.h"
#include "crashreport/capture/EExternal.h"

class TVurazaStackList;

// An exception on the road. A caught C++ exception travels as its exception_ptr (which keeps
// the object alive); a structured one as an EExternal object on the reporter's heap, shared by
// external (ExternalRoadException). At throw time there is no exception_ptr yet: only the
// object and its type.
struct TRoadException {
    std::exception_ptr error;
    const void* object = nullptr;           // the thrown object, inside error when error is set
    const std::type_info* type = nullptr;   // its type as thrown
    TExternalRef external;                  // keeps a structured exception's object

    TRoadException() = default;
    explicit TRoadException(std::exception_ptr e);
    TRoadException(const void* thrownObject, const std::type_info* thrownType)
        : object(thrownObject), type(thrownType) {}
    explicit TRoadException(TExternalRef e);
    bool Empty() const { return !error && !object; }
};

// A structured exception for the road, its object of the class the record's code calls for,
// made without the process heap; Empty() when the reporter's heap has no room.
TRoadException ExternalRoadException(const EXCEPTION_RECORD& record);

// Modes of a routed exception and output kinds requested by callers.
enum : uint8_t { RouteModeOrdinary = 0, RouteModeSafeCall = 1, RouteModeThreadExecute = 2 };
enum : uint8_t { OutputAutomatic = 0, OutputDialogOrConsole = 1, OutputWebPage = 2 };

// The per-thread entry guard: routes the exception unless something further up will catch it.
// With raiseFlag (a throw seen as it starts) the unwinder decides later: only the last
// exception and the raw stack are recorded.
void EnterExceptionHandling(const TRoadException& e, uintptr_t address, bool language, bool raiseFlag);

// True: let the handler the caller replaced run as well. record and context may be null;
// stackPointer and stackTop 0 take the calling thread's. A call from the hang watchdog's
// thread is reported as the main thread's exception.
bool RouteException(const TRoadException& e, uintptr_t address, bool language, TVurazaStackList* readyStack,
                    bool handled, uint8_t mode, HMODULE module, uint8_t outputKind, const EXCEPTION_RECORD* record,
                    const CONTEXT* context, uintptr_t stackPointer, uintptr_t stackTop);

// The entry of every framework hook. True: the caller's own handling should run as well.
bool ExceptionManager(const TRoadException& e, uintptr_t address, uint8_t outputKind, HMODULE module);

// How far the handling has got (the internal-error line names it): 1 to 18 along the road,
// 701-706 and the finer steps of the report text (7021 on, 702200, 702233, 7027-7040) inside.
extern volatile long HandlingStep;

// Routes the exception as unhandled; False when the reporter is not started.
bool HandleUnhandledException(const TRoadException& e, uintptr_t address);

// Runs procedure on the faulting thread while an exception is handled (that thread waits in
// RouteException and serves the queue), else at once. Faults inside are swallowed.
void RunInMainThread(void (*procedure)(void* data), void* data);

// 1 terminate, 2 restart, at the end of the handling. Returns whether the reporter is started.
bool ScheduleTerminateAction(uint8_t action);

void SetCurrentExceptionObject(const TRoadException& e);
// False when the thread's exceptions are not handled (ExcludedThreadsList).
bool IsThreadHandled(DWORD threadId);
// Adds the thread to the list or takes it out; false when the list is full or not made yet.
bool SetThreadExcluded(DWORD threadId, bool excluded);
void SetCaptureActive(bool value);
bool IsCaptureActive();
bool IsReporterStarted();
void SetThreadWalkStart(uintptr_t stackPosition);

// A copy of the stack the next RouteException from the calling thread scans instead of the
// live stack (the hang watchdog's copy of the main thread): base is the address bytes[0]
// came from. The bytes must stay until that RouteException returns.
void SetRoutedStackCopy(const void* bytes, size_t size, uintptr_t base);

// The exception's message (Exception's, what(), or empty) and its class name.
std::string RoadExceptionMessage(const TRoadException& e);
std::string RoadExceptionTypeName(const TRoadException& e);

// The thread that handles the exception now (0 when none) and the thread the hang watchdog
// runs on; its routes are reported as the main thread's.
DWORD HandlingThreadId();
// The calling thread's next route is followed by the process's end (the filter's, the
// terminate handler's): its handling is inline, nothing left to a background sender.
void MarkProcessEndsAfterRoute();
// Whether the calling thread is the one handling an exception now. Nothing it raises may take
// the road: the road's lock is the faulting thread's, which waits for this very thread.
bool OnHandlingThread();
// A failure of the handling thread's own: reported as an internal error naming HandlingStep.
void ReportHandlingFailure(const char* what) noexcept;
// Ends the handling thread from a fault that got past every frame of its handling: the waiting
// thread is let go, and the next handling gets a new thread.
[[noreturn]] void AbandonHandlingThread(DWORD code);
void SetFreezeWatchThreadId(DWORD threadId);
// Routes of the calling thread are reported as threadId's (0: as its own), for a thread that
// can't route itself.
void SetRouteOnBehalfOf(DWORD threadId);
