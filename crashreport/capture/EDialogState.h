#pragma once
// What the exception dialogs leave for the handling road and the delivery, and the little
// state they share while one of them is up. One exception dialog exists at a time; the values
// are atomics because the send-progress window may run on a thread of its own.

#include <atomic>
#include <cstdint>

enum class TDialogState : uint8_t { None = 0, MessageBox = 1, Classic = 2, Detailed = 3 };

extern std::atomic<TDialogState> DialogState;
extern std::atomic<bool> DialogShown;      // set by a dialog's first paint
extern std::atomic<bool> DialogFailed;     // no dialog could be shown
extern std::atomic<bool> DialogCancelled;  // closed by Escape
extern std::atomic<bool> SendChecked;
extern std::atomic<bool> AttachScreenshotChecked;
extern std::atomic<bool> CopyToClipboardChecked;
extern std::atomic<bool> TerminatePressed;
// Set from the second showing on: the detailed dialog opens large, without its details button.
extern std::atomic<bool> DetailedDialogForcedLarge;
extern std::atomic<bool> TopMostMode;
extern std::atomic<uintptr_t> CurrentDialogWindow;  // the window keep-in-front serves

// Set when the dialog told the handlers "before terminate" and they let it stand: the
// terminate step then does not tell them again.
extern std::atomic<bool> TerminateTold;

// Back to the state before any exception of this run.
void ResetDialogResults();
// What one report's dialog leaves (cancelled, shown, copy wanted, failed, terminate told)
// starts fresh with each handling: an Escape on one report must not cancel the next.
void StartReportDialogResults();
