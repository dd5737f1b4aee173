#pragma once
// Quick contracts and quick codes of "Client.ini" [CodeSet], and what the order panel makes of
// them. Needs no Win32: the file access comes in as two functions.

#include <array>
#include <functional>
#include <string>
#include <vector>

constexpr int kQuickCount = 10;
using TQuickSet = std::array<std::string, kQuickCount>;

extern const char kCodeSetSection[];  // "CodeSet"
extern const char kQuickContractKey[];  // "QCODE"
extern const char kQuickCodeKey[];      // "QKIND"

using TIniRead = std::function<std::string(const std::string& key)>;
using TIniWrite = std::function<void(const std::string& key, const std::string& value)>;

// prefix + "0" .. prefix + "9", empty when missing.
TQuickSet ReadQuickSet(const char* prefix, const TIniRead& read);
void WriteQuickSet(const char* prefix, const TQuickSet& values, const TIniWrite& write);

// n + " " + trimmed entry for every entry that isn't blank.
std::vector<std::string> QuickContractItems(const TQuickSet& contracts);
// The entry whose number leads the item, empty when the item carries none.
std::string QuickContractOf(const std::string& item, const TQuickSet& contracts);

// Only a contract text longer than one character is worth a quote.
bool IsQuotable(const std::string& contract);

// A single digit typed alone, with the quick-contract switch off, becomes that quick code.
// Runs once per user edit: the replacement's own change notice passes through untouched, so
// a code that is itself a digit can't recurse.
class TQuickCodeEdit {
public:
    // True, with the replacement, when text must become a quick code.
    bool Substitute(const std::string& text, bool quickContractsOn, const TQuickSet& codes, std::string& replacement);
    // Around the program's own change of the text.
    class Scope {
    public:
        explicit Scope(TQuickCodeEdit& edit) : edit_(edit), was_(edit.busy_) { edit_.busy_ = true; }
        ~Scope() { edit_.busy_ = was_; }
        Scope(const Scope&) = delete;
        Scope& operator=(const Scope&) = delete;

    private:
        TQuickCodeEdit& edit_;
        bool was_;
    };
    bool Busy() const { return busy_; }

private:
    bool busy_ = false;
};
