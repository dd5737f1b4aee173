#pragma once
// An ordered list of GBK texts, the runtime's TStringList in the small shape the program uses.

#include <string>
#include <string_view>
#include <vector>

class TStringList {
public:
    int Count() const { return static_cast<int>(items_.size()); }
    bool Empty() const { return items_.empty(); }
    const std::string& operator[](int index) const { return items_.at(static_cast<size_t>(index)); }
    std::string& operator[](int index) { return items_.at(static_cast<size_t>(index)); }
    int Add(std::string text)
    {
        items_.push_back(std::move(text));
        return Count() - 1;
    }
    void Insert(int index, std::string text) { items_.insert(items_.begin() + Checked(index, true), std::move(text)); }
    void Delete(int index) { items_.erase(items_.begin() + Checked(index, false)); }
    void Clear() { items_.clear(); }
    // Index of the first entry equal to text without regard to ASCII case, or -1.
    int IndexOf(std::string_view text) const;
    // Entries joined with CR LF after each one.
    std::string Text() const;
    // Splits at CR, LF or CR LF; a trailing line break adds no empty entry.
    void SetText(std::string_view text);

    const std::vector<std::string>& Items() const { return items_; }
    auto begin() const { return items_.begin(); }
    auto end() const { return items_.end(); }

private:
    long Checked(int index, bool allowEnd) const;
    std::vector<std::string> items_;
};

// Splits a text into lines at CR, LF or CR LF; an empty text has no lines, a final line
// break adds no empty line.
std::vector<std::string_view> SplitLines(std::string_view text);
