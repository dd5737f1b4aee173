#pragma once
// The go-to-source request of the call-stack page: a frame row read back from its columns and
// packed into the fixed 376-byte record the development environment reads from its mailslot.
// No Win32 here.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

constexpr size_t GoToSourceRecordSize = 376;
constexpr size_t GoToSourceTextSize = 90;
using TGoToSourceRecord = std::array<uint8_t, GoToSourceRecordSize>;

struct TGoToSourceRequest {
    uint32_t address = 0;
    int32_t line = 0;
    int32_t offset = -1;  // the number in brackets after the line, -1 without one
    std::string unit, className, procedure;
};

// From the row's address, unit, class, procedure and line columns; nothing when the line
// column holds no line (empty, or 0).
std::optional<TGoToSourceRequest> ParseGoToSourceRow(std::string_view address, std::string_view unit,
                                                     std::string_view className, std::string_view procedure,
                                                     std::string_view line);

// moduleFirst, moduleSecond: the two values of the module record holding the address.
TGoToSourceRecord EncodeGoToSourceRecord(const TGoToSourceRequest& request, uint32_t moduleFirst,
                                         uint32_t moduleSecond);

// "\\.\mailslot\DuruvaDod" followed by the listening process id.
std::string GoToSourceMailslotName(uint32_t processId);
