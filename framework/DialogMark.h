#pragma once
// The program's own dialogs carry a window property, so code that handles dialogs other
// components raise (the browser's) can leave them alone.

#include <windows.h>

void MarkProgramDialog(HWND window);
bool IsProgramDialog(HWND window);

// While it lives, every dialog window ("#32770") this thread creates is marked: wraps the
// system calls that make a dialog of their own, like MessageBoxW.
class TProgramDialogMarker {
public:
    TProgramDialogMarker();
    ~TProgramDialogMarker();
    TProgramDialogMarker(const TProgramDialogMarker&) = delete;
    TProgramDialogMarker& operator=(const TProgramDialogMarker&) = delete;

private:
    HHOOK hook_;
};
