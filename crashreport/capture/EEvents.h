#pragma once
// The reporter's nine events: handler owners registered in TDuruvaDodList (dispatched from the
// last registered to the first) and one procedure variable per event (dispatched after them).
// No Win32 here: the dispatch rules build and are tested on the host too.

#include <cstdint>
#include <string>
#include <typeinfo>

#include "crashreport/capture/EModuleInfo.h"
#include "framework/StringList.h"

class TVurazaStackList;
class TVurazaModuleOptions;

// What every event receives: the exception being handled.
struct TVurazaExceptionRecord {
    const void* ExceptionObject = nullptr;
    const std::type_info* ExceptionType = nullptr;
    uintptr_t ExceptionAddress = 0;
    uint32_t ThreadId = 0;
    void* ExceptionRecord = nullptr;  // the system's EXCEPTION_RECORD, or null
    void* Context = nullptr;          // the thread's CONTEXT, or null
    const std::string* ReportText = nullptr;
    TVurazaModulesList* ModulesList = nullptr;
    TVurazaStackList* CallStack = nullptr;
    TVurazaModuleOptions* ModuleOptions = nullptr;
    const char* FocusedWindowClass = "";  // of the faulting thread, read when it was routed
    const char* FocusedWindowText = "";
};

extern TVurazaExceptionRecord CurrentExceptionRecord;
// Points at CurrentExceptionRecord while a report is handled, else null.
extern TVurazaExceptionRecord* volatile CurrentExceptionRecordPtr;

// Action codes of the action notification.
enum : uint8_t {
    ActionBeforeDialog = 0, ActionAfterDialog = 1, ActionBeforeLog = 2, ActionAfterLog = 3,
    ActionBeforeMail = 4, ActionAfterMail = 5, ActionBeforeWeb = 6, ActionAfterWeb = 7,
    ActionBeforeTerminate = 8,
};

// A handler owner: each slot is a procedure taking the owner's Data first; a null slot is skipped.
struct TDuruvaDodHandlers {
    void* Data = nullptr;
    void (*ExceptionNotify)(void* data, TVurazaExceptionRecord& record, bool& handle) = nullptr;
    void (*HandledExceptionNotify)(void* data, TVurazaExceptionRecord& record, bool& handle) = nullptr;
    void (*ExceptionActionNotify)(void* data, TVurazaExceptionRecord& record, uint8_t action, bool& continueFlag) = nullptr;
    void (*ExceptionErrorNotify)(void* data, TVurazaExceptionRecord& record, uint8_t step, bool& retry) = nullptr;
    void (*PasswordRequest)(void* data, TVurazaExceptionRecord& record, std::string& password) = nullptr;
    void (*CustomDataRequest)(void* data, TVurazaExceptionRecord& record, TStringList& lines) = nullptr;
    void (*AttachedFilesRequest)(void* data, TVurazaExceptionRecord& record, TStringList& files) = nullptr;
    void (*CustomWebFieldsRequest)(void* data, TVurazaExceptionRecord& record, TStringList& fields) = nullptr;
    void (*CustomButtonClick)(void* data, TVurazaExceptionRecord& record, bool& close) = nullptr;
};

// TDuruvaDodList. The owner must stay alive until it is unregistered. False when the list is
// full (64 owners).
bool RegisterDuruvaDodHandlers(TDuruvaDodHandlers* owner);
void UnregisterDuruvaDodHandlers(TDuruvaDodHandlers* owner);
// The process-wide procedure variables (their Data is passed as set).
TDuruvaDodHandlers& DuruvaDodEventProcedures();

// Local dispatch: the owners from the last registered to the first, then the procedure variable.
void LocalExceptionNotify(TVurazaExceptionRecord& record, bool handled, bool& handle);
void LocalExceptionActionNotify(TVurazaExceptionRecord& record, uint8_t action, bool& continueFlag);
void LocalExceptionErrorNotify(TVurazaExceptionRecord& record, uint8_t step, bool& retry);
void LocalPasswordRequest(TVurazaExceptionRecord& record, std::string& password);
void LocalCustomDataRequest(TVurazaExceptionRecord& record, TStringList& lines);
void LocalAttachedFilesRequest(TVurazaExceptionRecord& record, TStringList& files);
void LocalCustomWebFieldsRequest(TVurazaExceptionRecord& record, TStringList& fields);
void LocalCustomButtonClick(TVurazaExceptionRecord& record, bool& close);

// The lists and flags the events fill and change.
extern TStringList CustomDataList, AttachedFilesList, CustomWebFieldsList;
extern std::string RequestedPassword;
// TerminatePressed, the flag of action 8, lives with the dialogs' results (EDialogState.h).
extern volatile bool NotifyHandleFlag, ActionContinueFlag, ErrorRetryFlag;
