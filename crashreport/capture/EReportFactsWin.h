#pragma once
// The system facts of a report read from the running process and machine: registry, network
// adapters, token privileges, display, printer, memory, disk, system and user. Each source
// leaves its value empty when its call fails, and functions older systems lack are looked up
// by name.
//
// These calls allocate on the process heap inside the system (registry, IP helper, spooler),
// so the facts are gathered on the handling thread after the other threads run again, never
// while threads are held suspended.

#include <windows.h>

#include <string>
#include <vector>

#include "crashreport/capture/EReportText.h"

// A REG_DWORD or 4-byte REG_BINARY value; false otherwise.
bool RegistryDword(HKEY root, const std::string& key, const std::string& value, uint32_t& out);

std::string RegisteredCompanyName();
std::vector<TReportPrivilege> ProcessPrivileges();
std::string SystemLanguageName();
std::string ServicePackText();
uint64_t SystemUpTimeMilliseconds();
// False when the IP helper library or its functions are missing.
bool ReadNetworkAdapters(std::vector<TReportAdapter>& adapters);
// Whether the module's image was linked for the console subsystem.
bool IsConsoleModule(HMODULE module);

void ReadMemoryFacts(TReportGeneralFacts& facts);
void ReadDiskFacts(const std::string& programFile, TReportGeneralFacts& facts);
void ReadProcessorFacts(TReportGeneralFacts& facts);
void ReadDisplayFacts(TReportGeneralFacts& facts);
void ReadVideoCardFacts(TReportGeneralFacts& facts);
void ReadPrinterFacts(TReportGeneralFacts& facts);
// Class and text of the foreground window.
void ReadForegroundWindowFacts(TReportGeneralFacts& facts);

// Every machine, system and user fact of sections 3 to 7, and the program's own of section 1.
void GatherSystemFacts(TReportGeneralFacts& facts);
