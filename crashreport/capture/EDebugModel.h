#pragma once
// One module's debug data as the reporter understands it, whatever it was read from: source
// units with their procedures and line tables. Every writer of debug data (the build tool, the
// fixtures of the other readers) fills this one model.
//
// Addresses are code offsets: the address minus the module base minus 0x1000, the form
// CodeImageAddress turns back into an address.

#include <cstdint>
#include <string>
#include <vector>

struct TDebugLine {
    uint32_t offset = 0;
    uint32_t line = 0;
    uint16_t file = 0;  // index into the unit's file names
};

struct TDebugProcedure {
    std::string className;  // the enclosing scope, "ns::TFoo" for ns::TFoo::Bar; empty for none
    std::string name;       // "Bar"
    uint32_t start = 0;
    uint32_t end = 0;  // first offset past the code
    uint32_t firstLine = 0;
};

struct TDebugUnit {
    // Source file names without folders, extension kept: "Program.cpp". files[0] is the unit's
    // own source; line rows of inlined header code name the header.
    std::vector<std::string> files;
    uint32_t start = 0;  // code range covering every procedure and row of the unit
    uint32_t end = 0;
    std::vector<TDebugProcedure> procedures;  // sorted by start
    std::vector<TDebugLine> lines;             // sorted by offset; at one offset the last row counts
    const std::string& Name() const
    {
        static const std::string none;
        return files.empty() ? none : files[0];
    }
};

struct TDebugModel {
    std::vector<TDebugUnit> units;
};
