#pragma once
// Hand-over of a module's options to the other modules of the process: a named page-file
// mapping per module holding a 32-bit size N and N bytes of payload (byte 1, then the option
// stream). Every access stays inside the mapped view, whatever size the mapping claims.

#include <windows.h>

#include <cstdint>
#include <string>

#include "crashreport/capture/EOptions.h"

// Process id and module handle as 16 upper-case hexadecimal digits.
std::string OptionsMappingName(HMODULE module);

struct TOptionsMapping {
    HANDLE handle = nullptr;
    uint8_t* payload = nullptr;  // after the size field
    size_t capacity = 0;         // payload bytes the view holds
};
// Creates or opens the module's mapping for size payload bytes. An existing one keeps its
// size; a size of 0 opens only an existing one. False when there is none, or it is too small
// for size (a mapping another handle keeps open can't grow), or it claims more than its view.
bool OpenOptionsMapping(HMODULE module, uint32_t size, TOptionsMapping& mapping);
void CloseOptionsMapping(TOptionsMapping& mapping);

// Replaces this module's published options; warns and keeps the old ones when they can't be.
void PublishModuleOptions(TVurazaModuleOptions& options);
// Loads the options another module published for options' module. False when none are there
// or they are not sound.
bool LoadPublishedOptions(TVurazaModuleOptions& options);
// Closes this module's own mapping (at shut-down).
void ClosePublishedOptions();

// Makes the options objects publish through the mapping.
void InstallOptionsMapping();
