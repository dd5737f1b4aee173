#pragma once
// The delivery of the running program: the driver's steps over the real disk, zip, boxes,
// senders and progress window, inline or in TSendThread. The handling road sets the hooks
// (its events, lock and terminate scheduling) and starts one delivery per report.

#include <functional>
#include <memory>

#include "crashreport/delivery/EDelivery.h"

struct TDeliveryHooks {
    std::function<void(int action, bool& continueFlag)> ActionNotify;
    std::function<void(int code, bool& retry)> ErrorNotify;
    std::function<void(TStringList& files)> AttachedFilesRequest;
    std::function<void(TStringList& fields)> CustomWebFields;
    // The global handling lock: the delivery thread holds it until it ends.
    std::function<void()> EnterHandlingLock;
    std::function<void()> LeaveHandlingLock;
    // The delivery thread is the next to take the lock, before any later exception.
    std::function<void(unsigned threadId)> PassHandlingLock;
    std::function<void(int action)> ScheduleTerminate;
    // The one flag of restart or terminate, as it stands when it is read.
    std::function<bool()> TerminatePressed;
    std::function<void()> FreeCallStacks;
    // The terminate button's action with its notification; without it the process restarts
    // or terminates at once.
    std::function<void()> TerminateAction;
};
void SetDeliveryHooks(TDeliveryHooks hooks);

class TExceptionHandover;

struct TDeliveryJob {
    const TVurazaModuleOptions* Options = nullptr;  // lives as long as the process
    TDeliveryReport Report;
    TDeliveryRun Run;
    bool InlineHandling = false;
    bool DialogFailed = false;
    // The handled exception taken over from the road by a delivery in TSendThread: its record
    // is the current one while the thread runs, its stacks are freed after the crash rate.
    std::shared_ptr<TExceptionHandover> Handover;
};

// With SendFlags 0x80 and not inline: the whole delivery (SendReport, CheckCrashRate,
// ApplyTerminateAction) in a TSendThread of highest priority under the handling lock.
// The thread frees the job (the handover with it) before it leaves the lock.
// Otherwise SendReport at once, and the road runs the other two after it; inline with 0x80
// (where the road skips them) they run here too. A raising SendReport is reported as a
// failed step and never keeps the other two from running.
void StartSendReport(TDeliveryJob job);
// The road's own steps, for a report that isn't sent or is sent without the thread.
void CheckCrashRate(const TDeliveryJob& job);
void ApplyTerminateAction(const TDeliveryJob& job);
// Before the program ends: waits (at most timeout ms) until no TSendThread runs.
bool WaitForBackgroundSenders(unsigned timeout);
// The platform of the running program, for tests and for the road's own steps.
std::unique_ptr<TDeliveryPlatform> MakeDeliveryPlatform(const TDeliveryJob& job);
