#include "crashreport/capture/EDialogRoad.h"

#include <windows.h>

#include <algorithm>
#include <vector>

#include "crashreport/capture/EDialogDispatch.h"
#include "crashreport/capture/EDialogHooks.h"
#include "crashreport/capture/EDialogServices.h"
#include "crashreport/capture/EDialogState.h"
#include "crashreport/capture/EEvents.h"
#include "crashreport/capture/EModules.h"
#include "crashreport/capture/EOptions.h"
#include "crashreport/capture/EPeers.h"
#include "crashreport/capture/EProcesses.h"
#include "crashreport/capture/ERoad.h"
#include "crashreport/capture/ERoadState.h"
#include "crashreport/capture/ERoadSteps.h"
#include "crashreport/capture/EStack.h"
#include "crashreport/capture/EThreadFactsWin.h"
#include "crashreport/capture/EThreadHeader.h"
#include "crashreport/capture/EUtils.h"
#include "crashreport/capture/ExceptionLog.h"

namespace {

TReportParts CurrentReportParts()
{
    const TVurazaModuleOptions& o = DialogOptions();
    return SplitReportParts(LastReportText, o.MessageText(8), o.MessageText(14), o.MessageText(141));
}

bool WindowedProgram()
{
    IMAGE_NT_HEADERS32 nt;
    return ReadModuleNtHeaders(reinterpret_cast<uintptr_t>(GetModuleHandleW(nullptr)), nt) &&
           nt.OptionalHeader.Subsystem == IMAGE_SUBSYSTEM_WINDOWS_GUI;
}

// The custom-button handlers run on the faulting thread, as every event does.
void CustomButtonOnFaultingThread(void* data)
{
    DispatchCustomButtonClick(CurrentExceptionRecord, *static_cast<bool*>(data));
}

std::vector<TDialogStackItem> CurrentStackItems()
{
    std::vector<TDialogStackItem> items;
    const TVurazaStackList* list = CurrentExceptionRecord.CallStack;
    if (!list) return items;
    const TVurazaModuleOptions& o = DialogOptions();
    const uint32_t faultingThread = CurrentExceptionRecord.ThreadId;
    // Asked once per thread: a thread has dozens of rows.
    std::vector<TThreadHeaderFacts> known;
    return DialogStackItems(*list, o.ListedStackKinds(), reinterpret_cast<uintptr_t>(GetModuleHandleW(nullptr)),
                            [&](const TVurazaStackItem& item) {
                                auto it = std::find_if(known.begin(), known.end(), [&](const TThreadHeaderFacts& f) {
                                    return f.ThreadId == item.ThreadId;
                                });
                                if (it == known.end()) {
                                    known.push_back(SystemThreadFacts(item.ThreadId, faultingThread));
                                    it = known.end() - 1;
                                }
                                TThreadHeaderFacts facts = *it;
                                facts.IsLeak = item.LeakItem != 0;
                                facts.LeakClassName = item.LeakText.Str();
                                facts.LeakTotalSize = item.LeakSize;
                                facts.LeakCount = item.LeakCount;
                                facts.Group = item.Group;
                                // The page's rows carry no marker: the report text's do.
                                return ThreadHeaderText(facts, false, o);
                            });
}

std::vector<TDialogModuleRow> CurrentModuleRows()
{
    std::vector<TDialogModuleRow> rows;
    const TModulesReadScope read;
    const TVurazaModulesList& modules = ModulesList();
    for (size_t i = 0; i < modules.Count(); ++i) {
        const TVurazaModuleInfo* m = modules.Items(i);
        rows.push_back({static_cast<uint32_t>(m->Handle), m->FileName, m->Description, m->Version,
                        SizeInKbText(m->Size), m->LastModified == 0 ? std::string() : ReportDateTimeText(m->LastModified)});
    }
    return rows;
}

std::vector<TDialogProcessRow> CurrentProcessRows()
{
    std::vector<TDialogProcessRow> rows;
    const TVurazaProcessesList& processes = ProcessesList();
    for (size_t i = 0; i < processes.Count(); ++i) {
        const TVurazaProcessInfo* p = processes.Items(i);
        rows.push_back({p->ProcessId, p->FileName, p->Description, p->Version, SizeInKbText(p->Memory),
                        PriorityText(p->PriorityClass), ThreadCountText(p->ThreadCount)});
    }
    return rows;
}

}  // namespace

void InstallDialogRoadHooks(bool (*duplicateReport)())
{
    TExceptionDialogHooks& h = ExceptionDialogHooks();
    h.exceptionMessage = [] {
        return ExceptionMessageTextOf(TRoadException(CurrentExceptionRecord.ExceptionObject,
                                                     CurrentExceptionRecord.ExceptionType));
    };
    h.reportCounter = [] { return static_cast<int>(ReportCounter); };
    h.duplicateError = duplicateReport;
    h.windowedApplication = WindowedProgram;
    h.customButton = [] {
        bool close = false;
        RunInMainThread(CustomButtonOnFaultingThread, &close);
        return close;
    };
    h.beforeTerminate = [](bool& terminate) { NotifyActionFlag(ActionBeforeTerminate, terminate); };
    h.replaceReportEmail = [](const std::string& address) {
        ReplaceReportItemValue(LastReportText, "3.3", address);
        ReplaceReportItemValue(LogReportText, "3.3", address);
    };
    h.generalText = [] { return CurrentReportParts().general; };
    h.assemblerText = [] { return CurrentReportParts().assembler; };
    h.cpuText = [] { return CurrentReportParts().cpu; };
    h.modules = CurrentModuleRows;
    h.processes = CurrentProcessRows;
    h.stack = CurrentStackItems;
    // The go-to-source record carries where the frame's module lies: its handle and image size.
    h.moduleValues = [](uint32_t address, uint32_t& first, uint32_t& second) {
        const TVurazaModuleInfo* record = FindModuleRecordOfAddress(address);
        if (!record)
            return false;
        first = static_cast<uint32_t>(record->Handle);
        second = record->ImageSize;
        return true;
    };
}

uint8_t ShowDialogStep(uint8_t dialogState, bool repeated)
{
    // The dialogs open on the monitor the user was working on when the exception came.
    if (!repeated)
        TakeDialogWorkArea();
    DialogState = static_cast<TDialogState>(dialogState);
    DetailedDialogForcedLarge = repeated;
    ShowExceptionDialog(!repeated);
    DetailedDialogForcedLarge = false;
    return static_cast<uint8_t>(DialogState.load());
}

void ShowReproduceStep() { ShowReproduceDialog(); }
