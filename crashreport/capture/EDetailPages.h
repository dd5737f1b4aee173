#pragma once
// The six pages of the detailed dialog's large form: rich text of the report's general,
// assembler and CPU parts, tree lists of the call stack, modules and processes.

#include <windows.h>

#include "crashreport/capture/EDialogServices.h"

enum TDetailPage { dpGeneral, dpCallStack, dpModules, dpProcesses, dpAssembler, dpCpu, DetailPageCount };

// Creates the page as a modeless child of the tab control; null when it can't be made.
HWND CreateDetailPage(int page, HWND tab, const TDialogFonts& fonts, HBRUSH background);

// Sends the go-to-source request of a call-stack row (its six column texts); false when the
// row has no line or no listener takes it.
bool GoToSourceRequest(const std::vector<std::string>& columns);
