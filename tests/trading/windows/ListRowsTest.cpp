// Reply records as list rows: whole rows or none, and texts as the lists show them.
#include <gtest/gtest.h>

#include "trading/windows/ListRows.h"

namespace {

TEST(ListRows, WholeNumbers)
{
    struct {
        const char* in;
        const char* out;  // nullptr: doesn't convert
    } cases[] = {
        {"5", "5"}, {"5.9", "5"}, {"-5.9", "-5"}, {" 120 ", "120"}, {"1e3", "1000"}, {"0.4", "0"},
        {"#", nullptr}, {"", nullptr}, {"abc", nullptr}, {"1e300", nullptr}, {"7.00%", nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.in);
        const auto got = WholeNumber(c.in);
        if (c.out) {
            ASSERT_TRUE(got.has_value());
            EXPECT_EQ(c.out, *got);
        } else {
            EXPECT_FALSE(got.has_value()) << c.in << " gave " << got.value_or("");
        }
    }
}

TEST(ListRows, DatesAndTimes)
{
    struct {
        const char* in;
        const char* time;
        const char* date;
    } cases[] = {
        {"2026-12-10 09:31:00", "09:31:00", "2026-12-10"},
        {"2026/1/5 9:05:03", "09:05:03", "2026-01-05"},
        {"2026-12-10", "00:00:00", "2026-12-10"},
        {"10:00", "10:00:00", "1899-12-30"},
        {"2024-02-29 23:59:59", "23:59:59", "2024-02-29"},
        // Texts that don't read stay as received.
        {"2026-02-30", "2026-02-30", "2026-02-30"},
        {"25:00:00", "25:00:00", "25:00:00"},
        {"#", "#", "#"},
        {"", "", ""},
        {"2026-12-10T10:00:00", "2026-12-10T10:00:00", "2026-12-10T10:00:00"},
        {"昨天", "昨天", "昨天"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.in);
        EXPECT_EQ(c.time, TimeOfDayText(c.in));
        EXPECT_EQ(c.date, DateText(c.in));
    }
}

Twtxx Order(const char* fill)
{
    return Twtxx{true, "7", "已报", "m1105", "买入", "开仓", "3500", "2", fill, "700", "2026-12-10 10:00:00"};
}

TEST(ListRows, OrderRows)
{
    EXPECT_EQ((TRow{"7", "m1105", "开仓", "买入", "3500", "2", "已报", "700", "10:00:00"}), *OrderRow(Order("0")));
    EXPECT_EQ((TRow{"7", "已报", "m1105", "开仓", "买入", "3500", "2"}), *OrderPageRow(Order("0")));
    EXPECT_EQ((TRow{"7", "已报", "m1105", "开仓", "买入", "3500", "2", "2"}), *PendingOrderRow(Order(" 0 ")));
    EXPECT_FALSE(PendingOrderRow(Order("2")).has_value());
    EXPECT_TRUE(OrderRow(Order("2")).has_value());
    Twtxx odd = Order("0");
    odd.OrderTime = "later";
    EXPECT_EQ("later", OrderRow(odd)->back());
    EXPECT_EQ(OrderColumns().size(), OrderRow(Order("0"))->size());
    EXPECT_EQ(OrderPageColumns().size(), OrderPageRow(Order("0"))->size());
    EXPECT_EQ(PendingOrderColumns().size(), PendingOrderRow(Order("0"))->size());
}

TEST(ListRows, TradeRowNeedsItsFee)
{
    Tcjxx cj{true, "1", "m1105", "买入", "开仓", "3500", "2", "5.6", "2026-12-10 09:31:00"};
    EXPECT_EQ((TRow{"1", "m1105", "开仓", "买入", "3500", "2", "5", "09:31:00"}), *TradeRow(cj));
    cj.Fee = "#";
    EXPECT_FALSE(TradeRow(cj).has_value());
}

TEST(ListRows, PositionRows)
{
    Tccxx cc{true, "m1105", "买入", "3500", "5", "2", "120", "0", "7000", "2026-12-10", "2026-12-10"};
    EXPECT_EQ((TRow{"m1105", "买入", "3", "3500", "7000", "120", "5", "2026-12-10"}), *PositionRow(cc));
    EXPECT_EQ((TRow{"m1105", "买入", "3", "3500", "5", "2026-12-10", "2026-12-10"}), *PositionPageRow(cc));
    for (auto broken : {&Tccxx::TotalQuantity, &Tccxx::ClosedQuantity}) {
        Tccxx b = cc;
        b.*broken = "#";
        EXPECT_FALSE(PositionRow(b).has_value());
        EXPECT_FALSE(PositionPageRow(b).has_value());
    }
}

TEST(ListRows, ContractRows)
{
    struct {
        const char* code;
        const char* exchange;
        const char* shown;
        const char* exchangeName;
    } cases[] = {
        {" a0 ", "B", "a", "大连"}, {"0a", "A", "0", "上海"}, {"ab", "C", "ab", "郑州"},
        {"m1105", "D", "m1105", "中金"}, {"IF1105", "E", "IF1105", "其它市场"}, {"a00", "Z", "a00", "其它市场"},
    };
    for (const auto& c : cases) {
        const TRow row = ContractRow(Thyxx{false, c.code, c.exchange, "10", "0.08", "5", "0", "豆一", "1"});
        EXPECT_EQ((TRow{c.shown, "豆一", c.exchangeName, "10", "0.08", "5", "0", "1"}), row) << c.code;
    }
}

TEST(ListRows, QuoteTexts)
{
    Thqxx q;
    q.Code = "m1105";
    q.Exchange = "B";
    q.LastPrice = 3500;
    q.AskPrice = 3501.5;
    q.UpperLimit = 3800;
    const TQuoteTexts t = QuoteTexts(q);
    EXPECT_EQ("大连 M1105", t.code);
    EXPECT_EQ("3500", t.last);
    EXPECT_EQ("3501.5", t.ask);
    EXPECT_EQ("3800", t.upper);
    q.Exchange = "X";
    EXPECT_EQ("M1105", QuoteTexts(q).code);
}

TEST(ListRows, FundsAndMainContracts)
{
    Tzjxx zj{"100000.7", "93000", "5", "0", "0", "120", "7000", "7.00%", "100000"};
    const auto f = FundsTexts(zj);
    ASSERT_TRUE(f.has_value());
    EXPECT_EQ("100000", f->equity);
    EXPECT_EQ("93000", f->available);
    EXPECT_EQ("7000", f->margin);
    EXPECT_EQ("7.00%", f->riskRatio);
    zj.Margin = "#";
    EXPECT_FALSE(FundsTexts(zj).has_value());

    const char* digits[] = {"1", " 2 ", "3", "9", "4", ""};
    const int lists[] = {0, 1, 2, 3, -1, -1};
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(lists[i], MainContractList(Tzlhy{"铜", "cu1105", digits[i]})) << digits[i];
    EXPECT_EQ("铜-cu1105", MainContractItem(Tzlhy{"铜", "cu1105", "1"}));
}

}  // namespace
