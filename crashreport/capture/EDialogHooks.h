#pragma once
// What the exception dialogs ask of the handling road and the report. The road fills these
// in when it starts; until then each one answers as an empty report would.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "crashreport/capture/EStackRows.h"

struct TDialogModuleRow {
    uint32_t handle = 0;
    std::string path, description, version, size, modified;
};
struct TDialogProcessRow {
    uint32_t id = 0;
    std::string path, description, version, memory, priority, threads;
};
struct TExceptionDialogHooks {
    // The custom message when one was set, else the last exception's message.
    std::function<std::string()> exceptionMessage;
    std::function<int()> reportCounter;       // reports made in this run
    std::function<bool()> duplicateError;     // the report was logged before
    std::function<bool()> windowedApplication;
    // Runs the custom-button handlers on the main thread; true when one asks to close.
    std::function<bool()> customButton;
    // The before-terminate notification on the main thread; a handler may clear the flag.
    std::function<void(bool& terminate)> beforeTerminate;
    // Writes the address into the report texts (the general part, the log copy, the delivery).
    std::function<void(const std::string& address)> replaceReportEmail;
    std::function<std::string()> generalText, assemblerText, cpuText;
    std::function<std::vector<TDialogModuleRow>()> modules;
    std::function<std::vector<TDialogProcessRow>()> processes;
    std::function<std::vector<TDialogStackItem>()> stack;
    // The two values of the module record holding an address, for the go-to-source request.
    std::function<bool(uint32_t address, uint32_t& first, uint32_t& second)> moduleValues;
};
TExceptionDialogHooks& ExceptionDialogHooks();

std::string HookedExceptionMessage();
int HookedReportCounter();
bool HookedDuplicateError();
