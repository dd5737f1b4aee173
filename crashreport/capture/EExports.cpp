// The reporter's exported entry points, named undecorated by ExceptionLog.def: a library that
// carries its own copy of the reporter hands its exceptions, threads and events to the
// program's copy through them.

#include <windows.h>

#include <algorithm>
#include <cstring>

#include "crashreport/capture/ECoreWin.h"
#include "crashreport/capture/EExternal.h"
#include "crashreport/capture/EModules.h"
#include "crashreport/capture/EOptions.h"
#include "crashreport/capture/ERoad.h"
#include "crashreport/capture/EUtilsWin.h"
#include "crashreport/capture/ExceptionLog.h"

namespace {

// This copy's options object of a module, when it has a record of it: none is made now.
TVurazaModuleOptionsEx* KnownOptionsOf(uintptr_t module)
{
    const TModulesReadScope read;
    TVurazaModulesList& list = ModulesList();
    for (size_t i = 0; module && i < static_cast<size_t>(list.Count()); ++i)
        if (list.Items(i)->Handle == module)
            return list.Items(i)->Options.get();
    return nullptr;
}

bool InsideThisModule(const void* address)
{
    HMODULE module = nullptr;
    return address &&
           GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                              static_cast<LPCWSTR>(address), &module) &&
           module == CurrentModuleHandle();
}

// A received record is current for the time of the dispatch; the saved one is put back. Its
// exception is made anew here from the system's record when its class is another module's,
// and its options become this module's object for the same module, published again after.
class TRecordInForce {
public:
    explicit TRecordInForce(TVurazaExceptionRecord* received) : saved_(CurrentExceptionRecord)
    {
        if (!received || !IsReadableMemory(received, sizeof *received))
            return;
        CurrentExceptionRecord = *received;
        TVurazaExceptionRecord& record = CurrentExceptionRecord;
        const auto* system = static_cast<const EXCEPTION_RECORD*>(record.ExceptionRecord);
        if (!InsideThisModule(record.ExceptionType) && system && IsReadableMemory(system, 80)) {
            try {
                local_ = TRoadException(MakeExternalException(*system));
                record.ExceptionObject = local_.object;
                record.ExceptionType = local_.type;
            } catch (...) {
            }
        }
        uintptr_t module = 0;
        if (record.ModuleOptions && IsReadableMemory(record.ModuleOptions, sizeof(TVurazaModuleOptions)))
            module = record.ModuleOptions->ModuleHandle();
        options_ = KnownOptionsOf(module);
        record.ModuleOptions = options_;
    }
    ~TRecordInForce()
    {
        if (options_)
            options_->PublishOptions();
        CurrentExceptionRecord = saved_;
    }

private:
    TVurazaExceptionRecord saved_;
    TRoadException local_;
    TVurazaModuleOptionsEx* options_ = nullptr;
};

// Short text: a length byte, then the characters.
std::string ReadShortText(const unsigned char* text)
{
    return text ? std::string(reinterpret_cast<const char*>(text + 1), text[0]) : std::string();
}

void WriteShortText(unsigned char* text, int maximum, const std::string& value)
{
    if (!text)
        return;
    const size_t n = std::min<size_t>(value.size(), static_cast<size_t>(std::max(0, std::min(maximum, 255))));
    text[0] = static_cast<unsigned char>(n);
    std::memcpy(text + 1, value.data(), n);
}

void CopyLines(TStringList* source, TStringList& target)
{
    target.Clear();
    if (source)
        for (const std::string& line : *source)
            target.Add(line);
}

}  // namespace

extern "C" {

bool __stdcall ExportExceptionManager(const TRoadException* e, uintptr_t address, uint8_t outputKind, HMODULE module)
{
    return ExceptionManager(e ? *e : TRoadException(), address, outputKind, module);
}

void __stdcall ExportCallGeneralRaise(DWORD code, DWORD flags, DWORD count, uintptr_t raiseStackPointer,
                                      const ULONG_PTR* parameters)
{
    if (auto proc = ExceptionHookProcs().callGeneralRaise)
        proc(code, flags, count, raiseStackPointer, parameters);
}

const void* __stdcall ExportCallExceptObject(EXCEPTION_RECORD* record, CONTEXT* context, bool flag)
{
    auto proc = ExceptionHookProcs().callExceptObject;
    return proc ? proc(record, context, flag) : nullptr;
}

bool __stdcall ExportLastZorbelException()
{
    auto proc = ExceptionHookProcs().lastLanguageException;
    return proc ? proc() : false;
}

void __stdcall ExportCallCreateThread(const void* threadRecord)
{
    if (auto proc = ExceptionHookProcs().callCreateThread)
        proc(threadRecord);
}

void __stdcall ExportCallResumeThread(HANDLE thread, const void* threadRecord)
{
    if (auto proc = ExceptionHookProcs().callResumeThread)
        proc(thread, threadRecord);
}

void __stdcall ExportCallExitThread()
{
    if (auto proc = ExceptionHookProcs().callExitThread)
        proc();
}

void __stdcall ExportExceptionNotifyEvent(TVurazaExceptionRecord* record, bool* handle)
{
    // Another module's copy calls in at any time: before start-up and after shut-down there is
    // nothing to tell.
    if (!ReporterStarted)
        return;
    TRecordInForce inForce(record);
    bool flag = handle ? *handle : true;
    LocalExceptionNotify(CurrentExceptionRecord, false, flag);
    if (handle)
        *handle = flag;
}

void __stdcall ExportHandledExceptionNotifyEvent(TVurazaExceptionRecord* record, bool* handle)
{
    if (!ReporterStarted)
        return;
    TRecordInForce inForce(record);
    bool flag = handle ? *handle : true;
    LocalExceptionNotify(CurrentExceptionRecord, true, flag);
    if (handle)
        *handle = flag;
}

void __stdcall ExportExceptionActionNotifyEvent(TVurazaExceptionRecord* record, uint8_t action, bool* continueFlag)
{
    if (!ReporterStarted)
        return;
    TRecordInForce inForce(record);
    bool flag = continueFlag ? *continueFlag : true;
    LocalExceptionActionNotify(CurrentExceptionRecord, action, flag);
    if (continueFlag)
        *continueFlag = flag;
}

void __stdcall ExportExceptionErrorNotifyEvent(TVurazaExceptionRecord* record, uint8_t step, bool* retry)
{
    if (!ReporterStarted)
        return;
    TRecordInForce inForce(record);
    bool flag = retry ? *retry : false;
    LocalExceptionErrorNotify(CurrentExceptionRecord, step, flag);
    if (retry)
        *retry = flag;
}

void __stdcall ExportPasswordRequestEvent(unsigned char* password, int maximum)
{
    if (!ReporterStarted)
        return;
    std::string text = ReadShortText(password);
    LocalPasswordRequest(CurrentExceptionRecord, text);
    WriteShortText(password, maximum, text);
}

void __stdcall ExportPasswordRequestEventEx(TVurazaExceptionRecord* record, unsigned char* password, int maximum)
{
    if (!ReporterStarted)
        return;
    TRecordInForce inForce(record);
    ExportPasswordRequestEvent(password, maximum);
}

void __stdcall ExportCustomDataRequestEventEx(TVurazaExceptionRecord* record, TStringList* lines)
{
    if (!ReporterStarted)
        return;
    TRecordInForce inForce(record);
    CopyLines(lines, CustomDataList);
    LocalCustomDataRequest(CurrentExceptionRecord, CustomDataList);
}

void __stdcall ExportAttachedFilesRequestEvent(TVurazaExceptionRecord* record, TStringList* files)
{
    if (!ReporterStarted)
        return;
    TRecordInForce inForce(record);
    CopyLines(files, AttachedFilesList);
    LocalAttachedFilesRequest(CurrentExceptionRecord, AttachedFilesList);
}

void __stdcall ExportCustomWebFieldsRequestEvent(TVurazaExceptionRecord* record, TStringList* fields)
{
    if (!ReporterStarted)
        return;
    TRecordInForce inForce(record);
    CopyLines(fields, CustomWebFieldsList);
    LocalCustomWebFieldsRequest(CurrentExceptionRecord, CustomWebFieldsList);
}

void __stdcall ExportCustomButtonClickEvent(TVurazaExceptionRecord* record, bool* close)
{
    if (!ReporterStarted)
        return;
    TRecordInForce inForce(record);
    bool flag = close ? *close : false;
    LocalCustomButtonClick(CurrentExceptionRecord, flag);
    if (close)
        *close = flag;
}

}  // extern "C"
