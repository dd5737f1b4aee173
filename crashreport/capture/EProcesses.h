#pragma once
// The processes running on the machine, the windows of a process, and the process helpers of
// the handling road (clipboard, restart, termination).

#include <windows.h>

#include <cstdint>
#include <string>

#include "crashreport/capture/EModuleInfo.h"
#include "crashreport/capture/EModules.h"

TVurazaProcessesList& ProcessesList();
void RefreshProcessList();
// The Windows NT 4 form of it: process ids from the process-status library, each process opened
// for its file name, priority class and working set; threads from a tool-help snapshot when
// the system has one.
void RefreshProcessListById();
int FindProcessIndex(uint32_t processId);
// ReadVersionInfo of a program file, kept from one refresh to the next while the file keeps
// its time and size: reading a version resource costs a load of the file.
TVersionInfo ProgramVersionInfo(const std::string& fileName);
uint32_t ParentProcessId();

HWND FindProcessMainWindow(uint32_t processId);
bool IsIdeProcess(uint32_t processId);
// (-1, -1, -1, -1) when the process shows no window.
RECT ProcessWindowsBounds(uint32_t processId);
void SnapshotProcessWindows();
bool IsWindowOfProcess(HWND window);
bool IsNewWindow(HWND window);

// Nothing for an empty text. The clipboard owns the memory once it took it.
void CopyReportToClipboard(const std::string& text);
// The folder the program was started in; the restart runs there.
void SetStartupFolder(const std::string& folder);
[[noreturn]] void RestartOrTerminate(bool restart);
