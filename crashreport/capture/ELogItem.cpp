#include "crashreport/capture/ELogItem.h"

#include <algorithm>
#include <vector>

#include "crashreport/capture/ECore.h"
#include "framework/SysUtils.h"

namespace {

constexpr std::string_view kCrLf = "\r\n";

using TSection = std::vector<std::string>;

bool IsTitled(const TSection& s) { return s.size() >= 2 && IsTitleLine(s[0], s[1]); }

void AlignSection(TSection& s)
{
    size_t column = 0;
    bool anyItem = false;
    for (size_t i = 2; i < s.size(); ++i) {
        const size_t at = s[i].find(": ");
        if (at != std::string::npos) {
            column = std::max(column, at);
            anyItem = true;
        }
    }
    if (anyItem) {
        for (size_t i = 2; i < s.size(); ++i) {
            std::string& line = s[i];
            const size_t at = line.find(": ");
            if (at != std::string::npos)
                line.insert(at, column - at, ' ');
            else
                line.insert(0, column + 1, ' ');  // under the value: one blank is already there
        }
    }
    size_t width = 0;
    for (const std::string& line : s) width = std::max(width, line.size());
    s[1] = std::string(width, '-');
}

}  // namespace

std::string ToCrLf(std::string_view text)
{
    std::string out;
    out.reserve(text.size() + 8);
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\r') {
            out += kCrLf;
            if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
        } else if (c == '\n') {
            out += kCrLf;
        } else {
            out += c;
        }
    }
    return out;
}

std::vector<std::string_view> SplitCrLfLines(std::string_view text)
{
    std::vector<std::string_view> lines;
    size_t start = 0;
    for (;;) {
        const size_t at = text.find(kCrLf, start);
        if (at == std::string_view::npos) {
            lines.push_back(text.substr(start));
            return lines;
        }
        lines.push_back(text.substr(start, at - start));
        start = at + kCrLf.size();
    }
}

bool IsRuleLine(std::string_view line)
{
    return !line.empty() && line.find_first_not_of('-') == std::string_view::npos;
}

bool IsTitleLine(std::string_view line, std::string_view next)
{
    if (line.empty() || line[0] == ' ') return false;
    return line.find(':') == line.size() - 1 && IsRuleLine(next);
}

std::string StoredItemValue(std::string_view value)
{
    const std::string text = ToCrLf(value);
    if (text.find(kCrLf) == std::string::npos) return text;
    const std::string replaced = ReplaceAllText(text, ": ", ":_");
    const std::vector<std::string_view> lines = SplitCrLfLines(replaced);
    std::string out;
    for (size_t i = 0; i < lines.size(); ++i) {
        if (i > 0) out += "\r\n ";
        out += Trim(lines[i]).empty() ? std::string_view(".") : lines[i];
    }
    return out;
}

void TLogItem::AddHeader(std::string_view title)
{
    ++headerNumber_;
    itemNumber_ = 0;
    if (!text_.empty()) text_ += "\r\n\r\n";
    text_.append(title);
    text_ += ":\r\n-";
}

void TLogItem::AddItem(std::string_view label, std::string_view value, bool include)
{
    ++itemNumber_;
    if (!include) return;
    text_ += "\r\n  ";
    text_ += std::to_string(headerNumber_) + "." + std::to_string(itemNumber_) + " ";
    text_.append(label);
    text_ += ": ";
    text_ += StoredItemValue(value);
}

std::string TLogItem::GetFormattedText() const
{
    std::vector<TSection> sections(1);
    for (std::string_view line : SplitCrLfLines(text_)) {
        if (line.empty())
            sections.emplace_back();
        else
            sections.back().emplace_back(line);
    }
    std::string out;
    for (TSection& s : sections) {
        if (s.empty()) continue;
        if (IsTitled(s)) {
            if (s.size() == 2) continue;  // a section whose items were all left out
            AlignSection(s);
        }
        if (!out.empty()) out += "\r\n\r\n";
        for (size_t i = 0; i < s.size(); ++i) {
            if (i > 0) out += kCrLf;
            out += s[i];
        }
    }
    return out;
}
