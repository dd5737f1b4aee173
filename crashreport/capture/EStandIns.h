#pragma once
// Module names and the stored-data mark, as the reporter's utilities define them.

#include <windows.h>

#include <cstdint>
#include <string>

std::string ModuleFileNameOf(HMODULE module);
bool ModuleHasFileName(HMODULE module);
bool IsStoredDataMark(uint32_t value);
