#include "framework/StringList.h"

#include <stdexcept>

#include "framework/SysUtils.h"

long TStringList::Checked(int index, bool allowEnd) const
{
    if (index < 0 || index > Count() || (!allowEnd && index == Count()))
        throw Exception(Format("List index out of bounds (%d)", index));
    return index;
}

int TStringList::IndexOf(std::string_view text) const
{
    for (int i = 0; i < Count(); ++i)
        if (SameText(items_[static_cast<size_t>(i)], text))
            return i;
    return -1;
}

std::string TStringList::Text() const
{
    std::string out;
    for (const auto& s : items_) {
        out += s;
        out += "\r\n";
    }
    return out;
}

void TStringList::SetText(std::string_view text)
{
    items_.clear();
    for (auto line : SplitLines(text))
        items_.emplace_back(line);
}

std::vector<std::string_view> SplitLines(std::string_view text)
{
    std::vector<std::string_view> lines;
    size_t start = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\r' && text[i] != '\n')
            continue;
        lines.push_back(text.substr(start, i - start));
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
            ++i;
        start = i + 1;
    }
    if (start < text.size())
        lines.push_back(text.substr(start));
    return lines;
}
