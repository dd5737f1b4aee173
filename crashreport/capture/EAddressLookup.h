#pragma once
// Resolving a code address to module, unit, class, procedure and line for a call-stack item:
// the module's stored debug data first, then its debug-information source (map, TD32, binary
// debug data), then its export table.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "crashreport/capture/EDebugNames.h"

struct TVurazaStackItem;
struct TVurazaModuleInfo;
struct TVurazaFunctionInfo;
struct TDebugModel;

// Clears the item and fills it; no exception leaves it.
void LookupAddressInfo(uintptr_t address, uint32_t threadId, TVurazaStackItem& item, bool first, uint8_t group);
// LookupAddressInfo; when that knows no more than the module, the module's debug-information
// source is created (once) and asked.
bool LookupWithDebugSource(uintptr_t address, TVurazaStackItem& item);
// The function of the module's export list that contains the address.
bool FindFunctionIndex(uintptr_t address, const TVurazaModuleInfo& module, size_t& index);
// The export's code length, measured once.
uint32_t FunctionLength(const TVurazaFunctionInfo& function);
bool ParseExportName(std::string_view exportName, TVurazaStackItem& item);
// The module's decoded stored data holding the address, with the address as a code offset.
const TDebugModel* StoredDebugModelOf(uintptr_t address, uint32_t& offset);
// Frees what the lookups keep (decoded data, sources, lengths); later lookups build it again.
void ReleaseAddressLookup();
// Makes LookupAddressInfo the resolver of every call stack the reporter takes.
void InstallAddressLookup();
