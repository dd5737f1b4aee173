#pragma once
// A program's crash-reporter settings as the build keeps them: a UTF-8 text of "Name=Value"
// lines under the option names ("DialogKind=3"), "#" comments, "Text.N=" for message text N,
// "Entry.N=symbol" for code entry N and "DebugDataPassword=" for the stored debug data. Texts
// take \r, \n, \t and \\ escapes. A program without a file keeps every default.

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

class TVurazaModuleOptions;

struct TOptionsSource {
    std::vector<std::pair<uint8_t, std::string>> entries;  // entry id, symbol
    std::string debugDataPassword;
    std::vector<std::string> keys;  // the option keys the text set, in order
};

// Throws Exception naming the line on an unknown key or a malformed value.
TOptionsSource ApplyOptionsSource(std::string_view text, TVurazaModuleOptions& options);
// Every option as "Name=Value" lines (UTF-8, escaped), in the form ApplyOptionsSource reads.
std::string DescribeOptions(const TVurazaModuleOptions& options);
