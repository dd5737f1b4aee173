#pragma once
// The DWARF line programs of .debug_line (versions 2 to 5), run into their rows.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

struct TLineRow {
    uint64_t address = 0;
    uint32_t file = 0;  // index into TLineProgram::files
    uint32_t line = 0;
    bool endSequence = false;
};

struct TLineProgram {
    // Full names ("dir/file"), indexed as the program's rows index them; the compilation
    // unit's own source is files[primary].
    std::vector<std::string> files;
    uint32_t primary = 0;
    std::vector<TLineRow> rows;  // in program order
};

// lineStrings: the .debug_line_str section (DWARF 5), strings: .debug_str. Throws
// EDwarfError on a malformed program.
std::vector<TLineProgram> ReadLinePrograms(std::string_view debugLine, std::string_view lineStrings,
                                           std::string_view strings);
