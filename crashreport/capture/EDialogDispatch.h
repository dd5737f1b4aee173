#pragma once
// Showing the exception dialogs: the dialog of the current dialog state (or a message box),
// with its fall-back when none can be shown; the reproduce request after the detailed dialog;
// the send-progress window's procedure. All run on the thread handling the exception.

#include <windows.h>

#include <atomic>
#include <string>

// One showing; the road calls it again (without beep) while the dialog state is not 0.
void ShowExceptionDialog(bool beep);
// The road's loop around it: from the second pass the detailed dialog opens large.
void ShowExceptionDialogs();
void ShowReproduceDialog();

// The reporter's message box: error icon, task-modal, top-most, service notification.
constexpr unsigned ReporterBoxFlags = 0x242010;
void ShowReporterMessageBox(const std::string& text, const std::string& caption);

// The send-progress window ("EL_Server"); lParam of its creation is the top-most flag.
INT_PTR CALLBACK SendProgressDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
constexpr UINT SendProgressEndMessage = WM_USER + 1234;
extern std::atomic<HWND> SendProgressWindow;
extern std::atomic<bool> SendProgressFocusReceived;

INT_PTR CALLBACK ReproduceDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK DetailedDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK ClassicDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
