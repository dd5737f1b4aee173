#pragma once
// Drives the reporter's modal dialogs from a second thread: each step waits for the next
// "#32770" window of this process to appear, then reads and clicks its controls by id.

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

namespace dlg {

using TStep = std::function<void(HWND dialog)>;

// Runs show() here while the steps run one per dialog, in order, on a driver thread. A step
// that finds no dialog within timeoutMs fails the test.
void Drive(const std::function<void()>& show, std::vector<TStep> steps, int timeoutMs = 5000);

std::string Text(HWND dialog, int id);
std::string WindowTitle(HWND window);
bool Visible(HWND dialog, int id);
bool Checked(HWND dialog, int id);
void SetChecked(HWND dialog, int id, bool checked);  // with its click notification
void Command(HWND dialog, int id);                   // as a click (IDCANCEL: as Escape)
void SetText(HWND dialog, int id, const std::string& gbk);
RECT Bounds(HWND dialog, int id);                    // in the dialog's client coordinates
bool WaitClosed(HWND dialog, int timeoutMs);

}  // namespace dlg
