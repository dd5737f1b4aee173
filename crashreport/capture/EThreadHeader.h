#pragma once
// The text of a thread or leak row, shared by the report's call-stack table and the
// call-stack page of the detailed dialog.

#include <cstdint>
#include <string>

class TVurazaModuleOptions;

struct TThreadHeaderFacts {
    bool IsLeak = false;
    // Leak rows.
    std::string LeakClassName;  // "Data" is shown as the "Data" message text
    uint32_t LeakTotalSize = 0;
    uint32_t LeakCount = 0;
    // Thread rows.
    uint8_t Group = 1;  // 0: the stack of the thread that created it
    bool IsExceptionThread = false;
    int64_t ThreadId = 0;
    std::string Priority;  // empty: unreadable, shown as "??"
    std::string ThreadClassName;
    bool IsMainThread = false;
    std::string ThreadName;
};

std::string ThreadHeaderText(const TThreadHeaderFacts& item, bool marker, const TVurazaModuleOptions& options);
