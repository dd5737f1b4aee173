#pragma once
// The reporter's own source files ("EDebug.cpp", ...), sorted; the build lists them.

#include <cstddef>
#include <string_view>

size_t ReporterUnitCount();
std::string_view ReporterUnitName(size_t index);
// Whether the unit, a source file name, is one of them (case does not matter).
bool IsReporterUnit(std::string_view unitName);
