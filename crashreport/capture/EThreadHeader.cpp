#include "crashreport/capture/EThreadHeader.h"

#include "crashreport/capture/EOptions.h"

std::string ThreadHeaderText(const TThreadHeaderFacts& item, bool marker, const TVurazaModuleOptions& options)
{
    const auto text = [&](int slot) { return options.MessageText(slot); };
    if (item.IsLeak) {
        const std::string name = item.LeakClassName == "Data" ? text(106) : item.LeakClassName;
        return std::string(marker ? "+" : "") + text(105) + ": " + text(107) + "=" + name + "; " + text(108) + "=" +
               std::to_string(item.LeakTotalSize) + "; " + text(109) + "=" + std::to_string(item.LeakCount);
    }
    std::string out;
    if (item.Group == 0)
        out = text(101);
    else if (marker && item.IsExceptionThread)
        out = "*" + text(99);
    else if (item.IsExceptionThread)
        out = text(99);
    else
        out = text(100);
    out += ": " + text(102) + "=" + std::to_string(item.ThreadId < 0 ? 0 : item.ThreadId) + "; " + text(103) + "=" +
           (item.Priority.empty() ? std::string("??") : item.Priority);
    if (marker || !item.ThreadClassName.empty()) out += "; " + text(104) + "=" + item.ThreadClassName;
    if (item.IsMainThread) out += "; [" + text(98) + "]";
    if (!item.ThreadName.empty()) out += " (" + item.ThreadName + ")";
    return out;
}
