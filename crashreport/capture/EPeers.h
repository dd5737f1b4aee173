#pragma once
// Reporters in several modules of one process: a library that carries its own copy forwards
// its exceptions and threads to the main module's copy through that module's exports, and the
// copy that handles an exception tells its events to the faulting module's copy first.

#include <windows.h>

#include <cstdint>
#include <string>

#include "crashreport/capture/EEvents.h"

struct TRoadException;

// Whether this module is not the program's main module and the main module carries reporter
// data of a compatible version.
bool MainModuleTakesOver();

// The export of that name of module (null: the module holding CurrentExceptionRecord's
// address) when the module is another one whose reporter data is compatible; else null.
FARPROC FindPeerEventExport(HMODULE module, const char* name);

// The main module's copy does the work (each only with ForwardToMainModule).
bool ForwardExceptionManager(const TRoadException& e, uintptr_t address, uint8_t outputKind);
void ForwardGeneralRaise(DWORD code, DWORD flags, DWORD count, uintptr_t raiseStackPointer, const ULONG_PTR* parameters);
void ForwardExceptObject(EXCEPTION_RECORD* record, CONTEXT* context);
void ForwardCreateThread(const void* threadRecord);
void ForwardResumeThread(HANDLE thread, const void* threadRecord);
void ForwardExitThread();
// The language flag the module holding address knows, when it is a peer; else fallback.
bool PeerLastLanguageException(uintptr_t address, bool fallback);

// Each event: the peer copy first, then the local handlers.
void DispatchExceptionNotify(TVurazaExceptionRecord& record, bool handled, bool& handle);
void DispatchExceptionActionNotify(TVurazaExceptionRecord& record, uint8_t action, bool& continueFlag);
void DispatchExceptionErrorNotify(TVurazaExceptionRecord& record, uint8_t step, bool& retry);
void DispatchCustomDataRequest(TVurazaExceptionRecord& record, TStringList& lines);
void DispatchAttachedFilesRequest(TVurazaExceptionRecord& record, TStringList& files);
void DispatchCustomWebFieldsRequest(TVurazaExceptionRecord& record, TStringList& fields);
void DispatchCustomButtonClick(TVurazaExceptionRecord& record, bool& close);
// The password of the stored data of module: its own copy is asked first.
void DispatchPasswordRequest(HMODULE module, TVurazaExceptionRecord& record, std::string& password);
// Protected stored data asks for its password so, on the faulting thread; the answer becomes
// RequestedPassword.
void InstallPeerPasswordRequest();
