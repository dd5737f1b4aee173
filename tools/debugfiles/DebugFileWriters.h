#pragma once
// Writers of the debug files the reporter reads beside (or inside) a module: a detailed ".map",
// TD32 data (".tds" or an image section) and binary debug data (".jdbg" or a "JCLDEBUG"
// section), all from the one model of units, procedures and lines.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "crashreport/capture/EDebugModel.h"

// The unit's source name without its extension: "Program" for "Program.cpp". Map and TD32
// names join unit, class and procedure with "." or "@", so the unit's own "." must go.
std::string BareUnitName(const TDebugUnit& unit);
// A name as the files carry it: map names end at a blank or "(", so those become "_".
std::string DebugFileName(std::string_view name);

std::string WriteMapFile(const TDebugModel& model);
std::vector<uint8_t> WriteTD32Data(const TDebugModel& model);
std::vector<uint8_t> WriteJdbgData(const TDebugModel& model);
