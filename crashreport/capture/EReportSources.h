#pragma once
// The report's rows taken from the records the call-stack capture and the module and process
// lists keep.

#include "crashreport/capture/EModuleInfo.h"
#include "crashreport/capture/EReportText.h"
#include "crashreport/capture/EStack.h"

// thread: what the thread list knows of the item's thread (leak items fill their own part).
TReportStackItem ReportStackItemOf(const TVurazaStackItem& item, const TThreadHeaderFacts& thread);
TReportModule ReportModuleOf(const TVurazaModuleInfo& module);
TReportProcess ReportProcessOf(const TVurazaProcessInfo& process);
