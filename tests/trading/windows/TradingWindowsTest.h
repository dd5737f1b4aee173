#pragma once
// Shared by the GUI tests of the trading windows: the program folder's "Client.ini", steps run
// from inside whatever message loop is running (a modal dialog's too), and the focused control.

#include <windows.h>

#include <functional>
#include <string>

#include "tests/support/ClientIni.h"


// Runs step once, from a timer, in the message loop that is running then. A step that opens
// a modal dialog needs another Later for that dialog.
UINT_PTR Later(std::function<void()> step, UINT delayMs = 50);
void CancelLater(UINT_PTR id);

// Component name of the control that has the keyboard focus, "<none>" when none.
std::string FocusedName();
// The first window of this process whose component name is name; waits for it.
HWND WaitForNamed(const std::string& name, int timeoutMs = 5000);
// Replaces an edit's text by typing: focus, select all, type.
void TypeInto(HWND edit, const std::string& text);
// Called at the end of a Later step that drove a modal dialog: true when the dialog is
// closing by itself; otherwise cancels it, so the test never hangs in its modal loop.
bool EndModal(HWND dialog);
// Selects item index of a drop-down list by the keyboard, as a user would (fires the change).
void PickItem(HWND combo, int index);
