#pragma once
// The send-progress window while a report is mailed or sent to the web: opened in the
// handling thread (modeless) or in a thread of its own, fed status texts and bar positions
// by the senders, and closed by them. Every call is a no-op while the window isn't open.

#include <cstdint>
#include <string>

class TVurazaModuleOptions;

// How the window may be opened for this report.
struct TSendProgressSettings {
    bool InlineHandling = false;  // the window lives in the calling thread
    bool DialogFailed = false;    // the exception dialog didn't appear for this report
};

// Opens the window unless SendFlags 0x1 is clear, no channel is set, the program has no
// windows or the dialog failed; waits until it is ready, at most 5 s (without it delivery
// goes on silently).
void BeginSendProgress(const TVurazaModuleOptions& options, const TSendProgressSettings& settings, bool topMost);
bool SendProgressOpen();
void SetSendProgressText(const std::string& text);
// The text after "Message n/count: " (SMTP).
void SetSendMessageText(const std::string& text);
void SetSendMessageCounter(int current, int count);
// Moves the bar forward only; ResetSendProgress puts it back to 0.
void SetSendProgressPosition(int position);
void AdvanceSendProgress(int step);
void ResetSendProgress();
int SendProgressPosition();
// Closes the window and waits for its thread.
void EndSendProgress();
// In the handling thread: dispatches the waiting messages, WM_QUIT dropped.
void PumpSendMessages();

// The status displays of the web senders: a tracker connection's states and the plain uploads.
void ShowConnectionStatus(int state, int percent);
void ShowUploadStatus(int kind, uint64_t total, uint64_t done);
// Told of every status text the open window shows (for tests).
using TSendProgressTrace = void (*)(const std::string& text);
void SetSendProgressTrace(TSendProgressTrace trace);
// A message text of the options the window was opened for.
std::string SendProgressMessageText(int slot);
