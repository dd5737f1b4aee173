#include <windows.h>

#include "crashreport/capture/EHandover.h"

#include <cstring>
#include <exception>
#include <string>

#include "crashreport/capture/ECoreWin.h"
#include "crashreport/capture/EEvents.h"
#include "crashreport/capture/ERoadState.h"
#include "crashreport/capture/EStack.h"

namespace {

const TRoadException* handledException = nullptr;

}  // namespace

THandledExceptionScope::THandledExceptionScope(const TRoadException& e)
{
    handledException = &e;
}

THandledExceptionScope::~THandledExceptionScope()
{
    handledException = nullptr;
}

class TExceptionHandover {
public:
    TVurazaExceptionRecord record;
    TRoadException kept;  // holds the thrown object while the copy lives
    decltype(CurrentStackList) stacks;
    EXCEPTION_RECORD systemRecord{};
    CONTEXT context{};
    std::string reportText;
    char focusedClass[256] = {};
    char focusedText[256] = {};

    ~TExceptionHandover()
    {
        // The global record keeps what describes the exception, not what leads into this.
        TVurazaExceptionRecord& current = CurrentExceptionRecord;
        if (current.CallStack == stacks.get())
            current.CallStack = nullptr;
        if (current.ExceptionRecord == &systemRecord)
            current.ExceptionRecord = nullptr;
        if (current.Context == &context)
            current.Context = nullptr;
        if (current.ReportText == &reportText)
            current.ReportText = nullptr;
        if (current.FocusedWindowClass == focusedClass)
            current.FocusedWindowClass = "";
        if (current.FocusedWindowText == focusedText)
            current.FocusedWindowText = "";
        if (record.ExceptionObject && current.ExceptionObject == record.ExceptionObject)
            current.ExceptionObject = nullptr;
    }
};

namespace {

void CopyText(char (&to)[256], const char* from)
{
    if (from && IsReadableMemory(from, 1))
        lstrcpynA(to, from, sizeof to);
}

}  // namespace

std::shared_ptr<TExceptionHandover> TakeExceptionHandover()
{
    auto handover = std::make_shared<TExceptionHandover>();
    const TVurazaExceptionRecord& current = CurrentExceptionRecord;
    TVurazaExceptionRecord& record = handover->record;
    record = current;
    // A thrown object that nothing holds is still in flight on the faulting thread and gone
    // once its catch ends: the delivery doesn't see it.
    if (handledException && (handledException->error || handledException->external.Get()) &&
        handledException->object == current.ExceptionObject)
        handover->kept = *handledException;
    else
        record.ExceptionObject = nullptr;
    handover->stacks = std::move(CurrentStackList);
    // A stack that isn't the road's own stays its caller's, who frees it after the handling.
    record.CallStack = current.CallStack && current.CallStack == handover->stacks.get() ? handover->stacks.get() : nullptr;
    record.ExceptionRecord = nullptr;
    if (current.ExceptionRecord && IsReadableMemory(current.ExceptionRecord, sizeof(EXCEPTION_RECORD))) {
        std::memcpy(&handover->systemRecord, current.ExceptionRecord, sizeof(EXCEPTION_RECORD));
        handover->systemRecord.ExceptionRecord = nullptr;
        record.ExceptionRecord = &handover->systemRecord;
    }
    record.Context = nullptr;
    if (current.Context && IsReadableMemory(current.Context, sizeof(CONTEXT))) {
        std::memcpy(&handover->context, current.Context, sizeof(CONTEXT));
        record.Context = &handover->context;
    }
    record.ReportText = nullptr;
    if (current.ReportText) {
        handover->reportText = *current.ReportText;
        record.ReportText = &handover->reportText;
    }
    CopyText(handover->focusedClass, current.FocusedWindowClass);
    CopyText(handover->focusedText, current.FocusedWindowText);
    record.FocusedWindowClass = handover->focusedClass;
    record.FocusedWindowText = handover->focusedText;
    return handover;
}

void InstallExceptionHandover(TExceptionHandover& handover)
{
    CurrentExceptionRecord = handover.record;
}

void ReleaseHandoverStacks(TExceptionHandover& handover)
{
    if (CurrentExceptionRecord.CallStack == handover.stacks.get())
        CurrentExceptionRecord.CallStack = nullptr;
    handover.record.CallStack = nullptr;
    handover.stacks.reset();
}

void FreeCurrentStackList()
{
    if (CurrentExceptionRecord.CallStack == CurrentStackList.get())
        CurrentExceptionRecord.CallStack = nullptr;
    CurrentStackList.reset();
}
