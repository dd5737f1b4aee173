// Quick contracts and quick codes: the [CodeSet] keys, the drop-down items and the
// single-digit substitution with its re-entry guard.
#include <gtest/gtest.h>

#include <map>

#include "trading/windows/QuickCodes.h"

namespace {

TEST(QuickCodes, ReadAndWriteTheTenKeys)
{
    std::map<std::string, std::string> ini{{"QCODE1", "m1105"}, {"QCODE9", " cu1105 "}, {"QKIND0", "x"}};
    const TQuickSet read = ReadQuickSet(kQuickContractKey, [&](const std::string& key) {
        auto it = ini.find(key);
        return it == ini.end() ? std::string() : it->second;
    });
    EXPECT_EQ("", read[0]);
    EXPECT_EQ("m1105", read[1]);
    EXPECT_EQ(" cu1105 ", read[9]);

    std::vector<std::pair<std::string, std::string>> written;
    TQuickSet values;
    values[3] = "SR105";
    WriteQuickSet(kQuickCodeKey, values, [&](const std::string& k, const std::string& v) { written.emplace_back(k, v); });
    ASSERT_EQ(10u, written.size());
    EXPECT_EQ("QKIND0", written[0].first);
    EXPECT_EQ("QKIND9", written[9].first);
    EXPECT_EQ("SR105", written[3].second);
}

TEST(QuickCodes, DropDownItems)
{
    TQuickSet c;
    c[1] = "m1105";
    c[4] = "  ";
    c[7] = " au1106 ";
    EXPECT_EQ((std::vector<std::string>{"1 m1105", "7 au1106"}), QuickContractItems(c));
    EXPECT_EQ("m1105", QuickContractOf("1 m1105", c));
    EXPECT_EQ(" au1106 ", QuickContractOf("7 au1106", c));
    EXPECT_EQ("", QuickContractOf("", c));
    EXPECT_EQ("", QuickContractOf("x m1105", c));
    EXPECT_EQ("", QuickContractOf("12 m1105", c));
}

TEST(QuickCodes, OnlyLongerTextsAreQuoted)
{
    EXPECT_FALSE(IsQuotable(""));
    EXPECT_FALSE(IsQuotable("m"));
    EXPECT_TRUE(IsQuotable("m1"));
}

TEST(QuickCodes, SubstitutionRunsOncePerEdit)
{
    TQuickSet codes;
    codes[3] = "m1105";
    codes[5] = "3";
    TQuickCodeEdit edit;
    std::string out;
    EXPECT_TRUE(edit.Substitute("3", false, codes, out));
    EXPECT_EQ("m1105", out);
    EXPECT_FALSE(edit.Substitute("3", true, codes, out)) << "quick contracts on";
    EXPECT_FALSE(edit.Substitute("33", false, codes, out));
    EXPECT_FALSE(edit.Substitute("a", false, codes, out));

    // The edit control reports the program's own change like a typed one: simulate it.
    int substitutions = 0;
    std::string text;
    std::function<void()> onChange = [&] {
        std::string replacement;
        if (!edit.Substitute(text, false, codes, replacement))
            return;
        ++substitutions;
        TQuickCodeEdit::Scope scope(edit);
        text = replacement;
        onChange();
    };
    text = "5";
    onChange();
    EXPECT_EQ(1, substitutions);
    EXPECT_EQ("3", text);
    EXPECT_FALSE(edit.Busy());
    text = "3";  // the user's next edit substitutes again
    onChange();
    EXPECT_EQ(2, substitutions);
    EXPECT_EQ("m1105", text);
}

}  // namespace
