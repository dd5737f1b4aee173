#include "crashreport/capture/EReportBuildWin.h"

#include <algorithm>
#include <utility>
#include <vector>

#include "crashreport/capture/EAddressLookup.h"
#include "crashreport/capture/EAsmListingWin.h"
#include "crashreport/capture/ECore.h"
#include "crashreport/capture/ECoreWin.h"
#include "crashreport/capture/EModules.h"
#include "crashreport/capture/EOptions.h"
#include "crashreport/capture/EProcesses.h"
#include "crashreport/capture/EReportFactsWin.h"
#include "crashreport/capture/EReportSources.h"
#include "crashreport/capture/ERoad.h"
#include "crashreport/capture/EStack.h"
#include "crashreport/capture/EThreadFactsWin.h"
#include "crashreport/capture/EUtilsWin.h"
#include "framework/NeverDestroyed.h"

std::string& ReportExceptionClassText()
{
    static TNeverDestroyed<std::string> text;
    return text.Get();
}

std::string& ReportExceptionMessageText()
{
    static TNeverDestroyed<std::string> text;
    return text.Get();
}

std::string& ReportHeaderText()
{
    static TNeverDestroyed<std::string> text;
    return text.Get();
}

namespace {

// The listing's names come from the same lookup as the call stack's.
class TLookupSymbols : public TListingSymbols {
public:
    void LookupWithDebugSource(uint32_t address, TCodeLocation& location) override
    {
        TVurazaStackItem item;
        if (!::LookupWithDebugSource(address, item)) {
            location = {};
            return;
        }
        location.Kind = item.Kind;
        location.UnitName = item.UnitName.Str();
        location.ClassName = item.ClassName.Str();
        location.ProcedureName = item.ProcedureName.Str();
        location.Line = item.Line < 0 ? 0 : static_cast<uint32_t>(item.Line);
        location.LineDistance = item.LineDistance < 0 ? 0 : static_cast<uint32_t>(item.LineDistance);
    }
};

double ProcessStartTime()
{
    FILETIME created, exited, kernel, user, local;
    if (!GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user) ||
        !FileTimeToLocalFileTime(&created, &local))
        return NowDateTime();
    const uint64_t ticks = (static_cast<uint64_t>(local.dwHighDateTime) << 32) | local.dwLowDateTime;
    // 100 ns units since 1601-01-01; day 0 of a date-time is 1899-12-30, 109205 days later.
    return static_cast<double>(ticks) / 864000000000.0 - 109205.0;
}

// The module whose image holds a committed address; none for other memory.
HMODULE ModuleOfCode(uintptr_t address)
{
    MEMORY_BASIC_INFORMATION info{};
    if (VirtualQuery(reinterpret_cast<const void*>(address), &info, sizeof info) != sizeof info) return nullptr;
    if (info.State != MEM_COMMIT || info.Type != MEM_IMAGE || !info.AllocationBase) return nullptr;
    return static_cast<HMODULE>(info.AllocationBase);
}

}  // namespace

std::string AccessViolationText(const EXCEPTION_RECORD* record, const std::string& ownMessage)
{
    if (!record || !IsReadableMemory(record, sizeof(EXCEPTION_RECORD))) return {};
    if (record->ExceptionCode != EXCEPTION_ACCESS_VIOLATION || record->NumberParameters < 2) return {};
    const auto code = reinterpret_cast<uintptr_t>(record->ExceptionAddress);
    const bool write = record->ExceptionInformation[0] == 1;
    const auto data = static_cast<uint32_t>(record->ExceptionInformation[1]);
    HMODULE module = ModuleOfCode(code);
    const std::string file = module ? ModuleFileNameOf(module) : std::string();
    std::string text = AccessViolationMessage(static_cast<uint32_t>(code), file, write, data);
    if (!file.empty() && text == ownMessage)
        text = AccessViolationMessage(static_cast<uint32_t>(code), ExpandLongPathName(file), write, data);
    return text;
}

TReportGeneralFacts GatherGeneralFacts(const TReportRequest& request)
{
    TReportGeneralFacts facts;
    GatherSystemFacts(facts);
    HandlingStep = 702200;  // the network values are the last of the system's
    facts.ExceptionTime = request.ExceptionTime != 0 ? request.ExceptionTime : NowDateTime();
    facts.StartTime = request.StartTime != 0 ? request.StartTime : ProcessStartTime();
    facts.TimeZoneMinutes = LocalUtcOffsetMinutesAt(facts.ExceptionTime);
    if (TVurazaModuleInfo* program = FindModuleRecord(reinterpret_cast<uintptr_t>(GetModuleHandleW(nullptr))))
        facts.CompilationDate = program->CompilationDate;
    facts.ExceptionAddress = static_cast<uint32_t>(request.ExceptionAddress);
    if (request.ExceptionAddress != 0) {
        if (TVurazaModuleInfo* module = FindModuleRecordOfAddress(request.ExceptionAddress)) {
            facts.ExceptModuleName = ExtractFileName(module->FileName);
            facts.ExceptModuleDescription = module->Description;
            facts.ExceptModuleVersion = module->Version;
        }
    }
    facts.ExceptionClass = request.ExceptionClass;
    facts.IsExceptionObject = request.IsExceptionObject;
    facts.ExceptionMessage = request.ExceptionMessage;
    if (!request.CustomMessage.empty()) {
        facts.IsExceptionObject = true;
        facts.ExceptionMessage = request.CustomMessage;
    } else if (request.IsExceptionObject) {
        const std::string violation = AccessViolationText(request.ExceptionRecord, request.ExceptionMessage);
        if (!violation.empty()) facts.ExceptionMessage = violation;
    }
    facts.BugId = request.BugId;
    facts.UserEmail = request.UserEmail;
    facts.ControlClass = request.FocusedClass;
    facts.ControlText = request.FocusedText;
    facts.IsWebServerApplication = request.IsWebServerApplication;
    HandlingStep = 702233;
    return facts;
}

TReportText BuildReportText(const TReportRequest& request, const TVurazaModuleOptions& options)
{
    HandlingStep = 7021;
    TReportFacts facts;
    HandlingStep = 7022;
    facts.General = GatherGeneralFacts(request);
    HandlingStep = 7027;
    if (request.StackList) {
        facts.HasStackList = true;
        const TVurazaStackList& list = *request.StackList;
        facts.StackList.reserve(list.Count());
        // Asked once per thread: a thread has dozens of items.
        std::vector<std::pair<uint32_t, TThreadHeaderFacts>> threads;
        for (size_t i = 0; i < list.Count(); ++i) {
            const TVurazaStackItem& item = *list.GetItem(i);
            auto known = std::find_if(threads.begin(), threads.end(),
                                      [&](const auto& t) { return t.first == item.ThreadId; });
            if (known == threads.end()) {
                threads.emplace_back(item.ThreadId, request.ThreadFacts ? request.ThreadFacts(item.ThreadId)
                                                                        : SystemThreadFacts(item.ThreadId, request.ThreadId));
                known = threads.end() - 1;
            }
            facts.StackList.push_back(ReportStackItemOf(item, known->second));
        }
    }
    HandlingStep = 7040;
    if (options.LogFlags() & 0x10) {
        const TModulesReadScope read;
        TVurazaModulesList& modules = ModulesList();
        for (size_t i = 0; i < modules.Count(); ++i) facts.Modules.push_back(ReportModuleOf(*modules.Items(i)));
        TVurazaProcessesList& processes = ProcessesList();
        for (size_t i = 0; i < processes.Count(); ++i) facts.Processes.push_back(ReportProcessOf(*processes.Items(i)));
    }
    if (request.Context) {
        const CONTEXT& c = *request.Context;
        facts.HasContext = true;
        facts.Registers = {c.Eax, c.Edi, c.Ebx, c.Esi, c.Ecx, c.Esp, c.Edx, c.Eip};
    }
    facts.StackPointer = static_cast<uint32_t>(
        request.StackPointer != 0 ? request.StackPointer : (request.Context ? request.Context->Esp : 0));
    TLiveListingMemory memory;
    TLookupSymbols symbols;
    facts.Memory = &memory;
    facts.Symbols = &symbols;
    TReportText text = BuildReportText(facts, options);
    ReportExceptionClassText() = text.ExceptionClassText;
    ReportExceptionMessageText() = text.ExceptionMessageText;
    ReportHeaderText() = text.Header;
    return text;
}
