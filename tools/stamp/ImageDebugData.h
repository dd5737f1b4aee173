#pragma once
// The debug model of a linked image: one unit per DWARF line program, procedures from the
// COFF function symbols, each in the unit whose rows cover its start (procedures no row
// covers go to a unit without a name).

#include <cstdint>
#include <string_view>

#include "crashreport/capture/EDebugModel.h"
#include "tools/stamp/PeImage.h"

// Code offsets count from the image base plus 0x1000.
constexpr uint32_t CodeOffsetBase = 0x1000;

TDebugModel ReadImageDebugModel(const TPeImage& image);
// Rows of code inlined from a header take the line of the unit's own source the code was
// inlined into (the unit's last own row before them within their procedure), so a line shown
// under the unit is one of its own file. Rows with no own row before them keep the header's.
void AttributeInlinedRows(TDebugUnit& unit);
// The RVA of a function symbol given raw ("_main", "__ZN2ns4TFoo3BarEi") or demangled
// ("ns::TFoo::Bar(int)"); false when there is none.
bool FindSymbolRva(const TPeImage& image, std::string_view name, uint32_t& rva);
