#include "crashreport/capture/EDialogRoad.h"

#include <string>

namespace {

// Offset of the line that is exactly title + ":", searched from `from`; npos when none.
size_t FindTitleLine(std::string_view text, std::string_view title, size_t from)
{
    if (title.empty()) return std::string_view::npos;
    const std::string line = std::string(title) + ":";
    for (size_t at = text.find(line, from); at != std::string_view::npos; at = text.find(line, at + 1)) {
        const bool starts = at == 0 || text[at - 1] == '\n';
        const size_t end = at + line.size();
        const bool ends = end == text.size() || text.compare(end, 2, "\r\n") == 0;
        if (starts && ends) return at;
    }
    return std::string_view::npos;
}

// Past the title line and the rule under it.
size_t SkipTitleBlock(std::string_view text, size_t at)
{
    for (int lines = 0; lines < 2 && at < text.size(); ++lines) {
        const size_t eol = text.find("\r\n", at);
        at = eol == std::string_view::npos ? text.size() : eol + 2;
    }
    return at;
}

std::string TrimBreaks(std::string_view text)
{
    while (text.size() >= 2 && text.substr(text.size() - 2) == "\r\n") text.remove_suffix(2);
    return std::string(text);
}

}  // namespace

TReportParts SplitReportParts(std::string_view report, std::string_view callStackTitle,
                              std::string_view assemblerTitle, std::string_view cpuTitle)
{
    TReportParts parts;
    const size_t stack = FindTitleLine(report, callStackTitle, 0);
    parts.general = TrimBreaks(report.substr(0, stack));
    if (stack == std::string_view::npos) return parts;
    const size_t assembler = FindTitleLine(report, assemblerTitle, stack);
    const size_t cpu = FindTitleLine(report, cpuTitle, assembler == std::string_view::npos ? stack : assembler);
    if (assembler != std::string_view::npos) {
        const size_t body = SkipTitleBlock(report, assembler);
        const size_t end = cpu == std::string_view::npos ? report.size() : cpu;
        if (body < end) parts.assembler = TrimBreaks(report.substr(body, end - body));
    }
    if (cpu != std::string_view::npos) parts.cpu = TrimBreaks(report.substr(cpu));
    return parts;
}

bool ReplaceReportItemValue(std::string& report, std::string_view number, std::string_view value)
{
    const std::string key = std::string(number) + " ";
    for (size_t at = report.find(key); at != std::string::npos; at = report.find(key, at + 1)) {
        size_t lineStart = at;
        while (lineStart > 0 && report[lineStart - 1] == ' ') --lineStart;
        if (lineStart != 0 && report[lineStart - 1] != '\n') continue;
        size_t eol = report.find("\r\n", at);
        if (eol == std::string::npos) eol = report.size();
        const size_t colon = report.find(": ", at);
        if (colon == std::string::npos || colon > eol) continue;
        report.replace(colon + 2, eol - colon - 2, value);
        return true;
    }
    return false;
}
