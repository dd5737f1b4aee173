#pragma once
// The numbered text layout of a report, built section by section. Every reader of stored
// reports (the log, its XML form, the dialogs) relies on this layout:
//   Title:
//   ------
//     2.1 Label  : value
//     2.2 Longer : first line
//                  second line
// Items keep their number when left out; ": " inside a value of several lines is stored as
// ":_" and an empty line as ".", so a section never holds an empty line.

#include <string>
#include <string_view>
#include <vector>

// Lone CR and lone LF made CR LF.
std::string ToCrLf(std::string_view text);
// The lines between CR LF breaks; a text without one is one line (an empty text, one empty line).
std::vector<std::string_view> SplitCrLfLines(std::string_view text);

// Value of several lines in its stored form: CR LF breaks, ": " as ":_", empty lines as ".",
// every line after the first indented by one blank (the alignment adds the rest).
std::string StoredItemValue(std::string_view value);

class TLogItem {
public:
    explicit TLogItem(int firstHeaderNumber) : headerNumber_(firstHeaderNumber) {}

    void AddHeader(std::string_view title);
    void AddItem(std::string_view label, std::string_view value, bool include = true);
    // Sections without items dropped, ": " aligned per section, rules widened to the section.
    std::string GetFormattedText() const;

    const std::string& Text() const { return text_; }
    int HeaderNumber() const { return headerNumber_; }
    int ItemNumber() const { return itemNumber_; }

private:
    int headerNumber_;
    int itemNumber_ = 0;
    std::string text_;
};

// A title line: starts in column 1, its first ":" is its last character, and a rule of "-"
// follows. A value line ending in ":" is indented, so it never reads as a title.
bool IsTitleLine(std::string_view line, std::string_view next);
bool IsRuleLine(std::string_view line);
