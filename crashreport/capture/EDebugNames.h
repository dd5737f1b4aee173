#pragma once
// Turning the names debug data and export tables give into unit, class and procedure.

#include <cstdint>
#include <string>
#include <string_view>

#include "crashreport/capture/EReporterHeap.h"

// The names part of a call-stack item; Kind as the item's: 1 module, 2 procedure, 3 unit and
// procedure, 4 the same with a line.
struct TAddressNames {
    uint8_t Kind = 0;
    TReporterString UnitName, ClassName, ProcedureName;  // on the reporter's heap
};

// Fills unit, class and procedure from an export name; false leaves the item unchanged.
bool ParseExportName(std::string_view exportName, TAddressNames& item);

// What a debug-information source found, in the item's terms: the unit is the file name of
// the source file (else of the unit), the dotted name splits into class and procedure.
void SplitDebugSourceNames(std::string_view unitText, std::string_view sourceFile, std::string_view procText,
                           uint32_t line, bool hasModule, TAddressNames& item);

// Equal but for the case of ASCII letters.
bool EqualNoCase(std::string_view a, std::string_view b);

// The file name without its folder.
std::string_view FileNameOfPath(std::string_view path);
