#pragma once
// The exception dialogs as steps of the handling road: their hooks answer from the exception
// being handled, and the road shows them through these two calls on its handling thread.

#include <cstdint>
#include <string>
#include <string_view>

// Points the dialogs' hooks at the handling road's state; duplicateReport tells whether the
// log held the report already (the log is the storage's, which builds on this library).
void InstallDialogRoadHooks(bool (*duplicateReport)());
// Shows the dialog of dialogState (1 box, 2 Windows-style, 3 detailed); repeated: shown again
// after a handler brought it back, large and without a beep. Returns the state it left.
uint8_t ShowDialogStep(uint8_t dialogState, bool repeated);
void ShowReproduceStep();

// The three parts of a report the detail pages show as rich text.
struct TReportParts {
    std::string general, assembler, cpu;
};
TReportParts SplitReportParts(std::string_view report, std::string_view callStackTitle,
                              std::string_view assemblerTitle, std::string_view cpuTitle);
// Replaces the value of the numbered item ("3.3") of a report text; false when it isn't there.
bool ReplaceReportItemValue(std::string& report, std::string_view number, std::string_view value);
