#include "crashreport/capture/EPeers.h"

#include <algorithm>
#include <cstring>

#include "crashreport/capture/EModules.h"
#include "crashreport/capture/ERoad.h"
#include "crashreport/capture/EUtils.h"
#include "crashreport/capture/EUtilsWin.h"
#include "crashreport/capture/ExceptionLog.h"

namespace {

using TManagerExport = bool(__stdcall*)(const TRoadException*, uintptr_t, uint8_t, HMODULE);
using TGeneralRaiseExport = void(__stdcall*)(DWORD, DWORD, DWORD, uintptr_t, const ULONG_PTR*);
using TExceptObjectExport = const void*(__stdcall*)(EXCEPTION_RECORD*, CONTEXT*, bool);
using TLanguageExport = bool(__stdcall*)();
using TThreadExport = void(__stdcall*)(const void*);
using TResumeExport = void(__stdcall*)(HANDLE, const void*);
using TExitExport = void(__stdcall*)();
using TFlagExport = void(__stdcall*)(TVurazaExceptionRecord*, bool*);
using TCodeFlagExport = void(__stdcall*)(TVurazaExceptionRecord*, uint8_t, bool*);
using TListExport = void(__stdcall*)(TVurazaExceptionRecord*, TStringList*);
using TPasswordExport = void(__stdcall*)(unsigned char*, int);
using TPasswordExExport = void(__stdcall*)(TVurazaExceptionRecord*, unsigned char*, int);

template <class T>
T As(FARPROC proc)
{
    return reinterpret_cast<T>(reinterpret_cast<void*>(proc));
}

HMODULE ModuleOfAddress(uintptr_t address)
{
    HMODULE module = nullptr;
    if (!address ||
        !GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            reinterpret_cast<LPCWSTR>(address), &module))
        return nullptr;
    return module;
}

// Another module that carries the reporter in a version this one speaks with.
bool IsCompatiblePeer(HMODULE module)
{
    const uintptr_t handle = reinterpret_cast<uintptr_t>(module);
    return module && module != CurrentModuleHandle() && HasReporterData(handle) &&
           IsCompatibleLibraryVersion(ReporterDataVersion(handle));
}

FARPROC MainModuleExport(const char* name)
{
    return ForwardToMainModule ? GetProcAddress(GetModuleHandleW(nullptr), name) : nullptr;
}

void ToShortText(const std::string& text, unsigned char* shortText)
{
    const size_t n = std::min<size_t>(text.size(), 255);
    shortText[0] = static_cast<unsigned char>(n);
    std::memcpy(shortText + 1, text.data(), n);
}

}  // namespace

bool MainModuleTakesOver()
{
    HMODULE main = GetModuleHandleW(nullptr);
    return main != CurrentModuleHandle() && IsCompatiblePeer(main);
}

FARPROC FindPeerEventExport(HMODULE module, const char* name)
{
    if (!module)
        module = ModuleOfAddress(CurrentExceptionRecord.ExceptionAddress);
    return IsCompatiblePeer(module) ? GetProcAddress(module, name) : nullptr;
}

bool ForwardExceptionManager(const TRoadException& e, uintptr_t address, uint8_t outputKind)
{
    const auto manager = As<TManagerExport>(MainModuleExport("ExceptionManager"));
    return manager ? manager(&e, address, outputKind, CurrentModuleHandle()) : true;
}

void ForwardGeneralRaise(DWORD code, DWORD flags, DWORD count, uintptr_t raiseStackPointer, const ULONG_PTR* parameters)
{
    if (const auto raise = As<TGeneralRaiseExport>(MainModuleExport("DuruvaDod_CallGeneralRaise")))
        raise(code, flags, count, raiseStackPointer, parameters);
}

void ForwardExceptObject(EXCEPTION_RECORD* record, CONTEXT* context)
{
    if (const auto make = As<TExceptObjectExport>(MainModuleExport("DuruvaDod_CallExceptObject")))
        make(record, context, false);
}

void ForwardCreateThread(const void* threadRecord)
{
    if (const auto create = As<TThreadExport>(MainModuleExport("DuruvaDod_CallCreateThread")))
        create(threadRecord);
}

void ForwardResumeThread(HANDLE thread, const void* threadRecord)
{
    if (const auto resume = As<TResumeExport>(MainModuleExport("DuruvaDod_CallResumeThread")))
        resume(thread, threadRecord);
}

void ForwardExitThread()
{
    if (FinalizationStarted)
        return;
    if (const auto exitThread = As<TExitExport>(MainModuleExport("DuruvaDod_CallExitThread")))
        exitThread();
}

bool PeerLastLanguageException(uintptr_t address, bool fallback)
{
    const auto last = As<TLanguageExport>(FindPeerEventExport(ModuleOfAddress(address), "DuruvaDod_LastZorbelException"));
    return last ? last() : fallback;
}

void DispatchExceptionNotify(TVurazaExceptionRecord& record, bool handled, bool& handle)
{
    const char* name = handled ? "DuruvaDod_HandledExceptionNotifyEvent" : "DuruvaDod_ExceptionNotifyEvent";
    if (const auto peer = As<TFlagExport>(FindPeerEventExport(nullptr, name)))
        peer(&record, &handle);
    LocalExceptionNotify(record, handled, handle);
}

void DispatchExceptionActionNotify(TVurazaExceptionRecord& record, uint8_t action, bool& continueFlag)
{
    if (const auto peer = As<TCodeFlagExport>(FindPeerEventExport(nullptr, "DuruvaDod_ExceptionActionNotifyEvent"))) {
        TVurazaExceptionRecord copy = record;
        peer(&copy, action, &continueFlag);
    }
    LocalExceptionActionNotify(record, action, continueFlag);
}

void DispatchExceptionErrorNotify(TVurazaExceptionRecord& record, uint8_t step, bool& retry)
{
    if (const auto peer = As<TCodeFlagExport>(FindPeerEventExport(nullptr, "DuruvaDod_ExceptionErrorNotifyEvent"))) {
        TVurazaExceptionRecord copy = record;
        peer(&copy, step, &retry);
    }
    LocalExceptionErrorNotify(record, step, retry);
}

namespace {

// The request events pass the caller's list; the peer fills its own copy of it.
void DispatchListRequest(const char* name, void (*local)(TVurazaExceptionRecord&, TStringList&),
                         TVurazaExceptionRecord& record, TStringList& list)
{
    if (const auto peer = As<TListExport>(FindPeerEventExport(nullptr, name)))
        peer(&record, &list);
    local(record, list);
}

}  // namespace

void DispatchCustomDataRequest(TVurazaExceptionRecord& record, TStringList& lines)
{
    DispatchListRequest("DuruvaDod_CustomDataRequestEventEx", LocalCustomDataRequest, record, lines);
}

void DispatchAttachedFilesRequest(TVurazaExceptionRecord& record, TStringList& files)
{
    DispatchListRequest("DuruvaDod_AttachedFilesRequestEvent", LocalAttachedFilesRequest, record, files);
}

void DispatchCustomWebFieldsRequest(TVurazaExceptionRecord& record, TStringList& fields)
{
    DispatchListRequest("DuruvaDod_CustomWebFieldsRequestEvent", LocalCustomWebFieldsRequest, record, fields);
}

void DispatchCustomButtonClick(TVurazaExceptionRecord& record, bool& close)
{
    if (const auto peer = As<TFlagExport>(FindPeerEventExport(nullptr, "DuruvaDod_CustomButtonClickEvent")))
        peer(&record, &close);
    LocalCustomButtonClick(record, close);
}

void DispatchPasswordRequest(HMODULE module, TVurazaExceptionRecord& record, std::string& password)
{
    unsigned char text[256];
    if (const auto ex = As<TPasswordExExport>(FindPeerEventExport(module, "DuruvaDod_PasswordRequestEventEx"))) {
        ToShortText(password, text);
        ex(&record, text, 255);
        password.assign(reinterpret_cast<const char*>(text + 1), text[0]);
    } else if (const auto plain = As<TPasswordExport>(FindPeerEventExport(module, "DuruvaDod_PasswordRequestEvent"))) {
        ToShortText(password, text);
        plain(text, 255);
        password.assign(reinterpret_cast<const char*>(text + 1), text[0]);
    }
    LocalPasswordRequest(record, password);
}

namespace {

struct TPasswordCall {
    HMODULE module;
    std::string password;
};

void PasswordOnFaultingThread(void* data)
{
    auto* call = static_cast<TPasswordCall*>(data);
    DispatchPasswordRequest(call->module, CurrentExceptionRecord, call->password);
}

bool AskStoredDataPassword(const TVurazaModuleInfo& record, std::string& password)
{
    TPasswordCall call{reinterpret_cast<HMODULE>(record.Handle), password};
    RunInMainThread(PasswordOnFaultingThread, &call);
    RequestedPassword = call.password;
    password = call.password;
    return !password.empty();
}

}  // namespace

void InstallPeerPasswordRequest()
{
    SetStoredDataPasswordProc(&AskStoredDataPassword);
}
