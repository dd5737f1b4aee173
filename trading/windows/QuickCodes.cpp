#include "trading/windows/QuickCodes.h"

#include "framework/SysUtils.h"

const char kCodeSetSection[] = "CodeSet";
const char kQuickContractKey[] = "QCODE";
const char kQuickCodeKey[] = "QKIND";

TQuickSet ReadQuickSet(const char* prefix, const TIniRead& read)
{
    TQuickSet set;
    for (int n = 0; n < kQuickCount; ++n)
        set[static_cast<size_t>(n)] = read(prefix + IntToStr(n));
    return set;
}

void WriteQuickSet(const char* prefix, const TQuickSet& values, const TIniWrite& write)
{
    for (int n = 0; n < kQuickCount; ++n)
        write(prefix + IntToStr(n), values[static_cast<size_t>(n)]);
}

std::vector<std::string> QuickContractItems(const TQuickSet& contracts)
{
    std::vector<std::string> items;
    for (int n = 0; n < kQuickCount; ++n) {
        const std::string entry = Trim(contracts[static_cast<size_t>(n)]);
        if (!entry.empty())
            items.push_back(IntToStr(n) + " " + entry);
    }
    return items;
}

std::string QuickContractOf(const std::string& item, const TQuickSet& contracts)
{
    const std::string t = TrimLeft(item);
    if (t.empty() || t[0] < '0' || t[0] > '9')
        return "";
    if (t.size() > 1 && t[1] != ' ')
        return "";
    return contracts[static_cast<size_t>(t[0] - '0')];
}

bool IsQuotable(const std::string& contract) { return contract.size() > 1; }

bool TQuickCodeEdit::Substitute(const std::string& text, bool quickContractsOn, const TQuickSet& codes,
                                std::string& replacement)
{
    if (busy_ || quickContractsOn || text.size() != 1 || text[0] < '0' || text[0] > '9')
        return false;
    replacement = codes[static_cast<size_t>(text[0] - '0')];
    return true;
}
