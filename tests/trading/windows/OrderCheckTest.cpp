// The order panel's checks: the boxes, the focus and the values an order is built from.
#include <gtest/gtest.h>

#include "trading/windows/OrderCheck.h"

namespace {

Thqxx Quote(const char* code, const char* exchange, double upper = 3800, double lower = 3200)
{
    Thqxx q;
    q.Code = code;
    q.Exchange = exchange;
    q.UpperLimit = upper;
    q.LowerLimit = lower;
    q.MarginRate = 0.1;
    q.Multiplier = 10;
    return q;
}

TEST(OrderCheck, PlainIntegers)
{
    struct {
        const char* text;
        bool ok;
        int32_t value;
    } cases[] = {
        {"5", true, 5}, {" 12 ", true, 12}, {"0", true, 0}, {"2147483647", true, 2147483647},
        {"2147483648", false, 0}, {"-1", false, 0}, {"+1", false, 0}, {"$10", false, 0}, {"1.5", false, 0},
        {"1e2", false, 0}, {"abc", false, 0}, {"", false, 0}, {"1 2", false, 0}, {"00000000001", false, 0},
    };
    for (const auto& c : cases) {
        int32_t v = -7;
        EXPECT_EQ(c.ok, ParsePlainInteger(c.text, v)) << "'" << c.text << "'";
        if (c.ok) {
            EXPECT_EQ(c.value, v) << c.text;
        }
    }
}

TEST(OrderCheck, FractionalPricesOnlyWhereAllowed)
{
    struct {
        const char* code;
        const char* exchange;
        bool allowed;
    } cases[] = {
        {"m1105", "A", false}, {"m1105", "B", false}, {"SR105", "C", false}, {"IF1105", "D", true},
        {"x1", "E", true}, {"au1106", "A", true}, {"AU1106", "A", true}, {"Au1", "B", true}, {"a", "A", false},
        {"cu1105", "", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.code);
        EXPECT_EQ(c.allowed, AllowsFractionalPrice(Quote(c.code, c.exchange))) << c.code << " " << c.exchange;
        const TPriceCheckResult r = CheckPrice(true, Quote(c.code, c.exchange), "3500.5", false, '.');
        if (c.allowed) {
            EXPECT_EQ(TPriceCheck::Passed, r.outcome);
        } else {
            EXPECT_EQ(TPriceCheck::Failed, r.outcome);
            EXPECT_EQ("合约委托价格应为整数", r.check.text);
            EXPECT_EQ(TBoxKind::Information, r.check.box);
            EXPECT_EQ(TOrderField::Price, r.check.focus);
        }
    }
}

TEST(OrderCheck, PriceCheckSteps)
{
    struct {
        bool held;
        const char* price;
        bool market;
        double upper, lower;
        TPriceCheck outcome;
        const char* text;
        TBoxKind box;
        TOrderField focus;
    } cases[] = {
        {false, "3500", false, 3800, 3200, TPriceCheck::Failed, "请输入合约代码", TBoxKind::Information, TOrderField::Contract},
        {true, "  ", false, 3800, 3200, TPriceCheck::Empty, "", TBoxKind::None, TOrderField::None},
        {true, "abc", false, 3800, 3200, TPriceCheck::Failed, "无效的委托价格", TBoxKind::Warning, TOrderField::Price},
        {true, "0", false, 0, 0, TPriceCheck::Failed, "无效的委托价格", TBoxKind::Warning, TOrderField::Price},
        {true, "-5", false, 0, 0, TPriceCheck::Failed, "无效的委托价格", TBoxKind::Warning, TOrderField::Price},
        {true, "0", true, 0, 0, TPriceCheck::Passed, "", TBoxKind::None, TOrderField::None},
        {true, "3801", false, 3800, 3200, TPriceCheck::Failed, "价格输入错误,价格不能高于涨停价格", TBoxKind::Information, TOrderField::Price},
        {true, "3199", false, 3800, 3200, TPriceCheck::Failed, "价格输入错误,价格不能低于跌停价格", TBoxKind::Information, TOrderField::Price},
        {true, "3800", false, 3800, 3200, TPriceCheck::Passed, "", TBoxKind::None, TOrderField::None},
        {true, "99999", false, 0, 0, TPriceCheck::Passed, "", TBoxKind::None, TOrderField::None},
        {true, "1", false, 0, 0, TPriceCheck::Passed, "", TBoxKind::None, TOrderField::None},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.price);
        const TPriceCheckResult r = CheckPrice(c.held, Quote("m1105", "B", c.upper, c.lower), c.price, c.market, '.');
        EXPECT_EQ(c.outcome, r.outcome);
        EXPECT_EQ(c.text, r.check.text);
        EXPECT_EQ(c.box, r.check.box);
        EXPECT_EQ(c.focus, r.check.focus);
    }
}

TEST(OrderCheck, DecimalSeparatorOfTheUser)
{
    double v = 0;
    EXPECT_TRUE(ParsePrice("3500,5", v, ','));
    EXPECT_DOUBLE_EQ(3500.5, v);
    EXPECT_FALSE(ParsePrice("3500.5", v, ','));
}

TEST(OrderCheck, SubmissionSteps)
{
    struct {
        const char* price;
        const char* quantity;
        const char* text;
        TOrderField focus;
    } cases[] = {
        {"x", "1", "无效的委托价格", TOrderField::Price},
        {"0", "1", "无效的委托价格", TOrderField::Price},
        {"3500", "abc", "无效的委托数量", TOrderField::Quantity},
        {"3500", "1.5", "无效的委托数量", TOrderField::Quantity},
        {"3500", "-2", "无效的委托数量", TOrderField::Quantity},
        {"3500", "$A", "无效的委托数量", TOrderField::Quantity},
        {"3900", "abc", "无效的委托数量", TOrderField::Quantity},  // quantity before the limits
        {"3900", "1", "价格输入错误,价格不能高于涨停价格", TOrderField::Price},
        {"3000", "0", "价格输入错误,价格不能低于跌停价格", TOrderField::Price},  // limits before zero lots
        {"3500", "0", "无效的委托数量", TOrderField::Quantity},
        {"3500", "3", "", TOrderField::None},
    };
    for (const auto& c : cases) {
        const TCheckResult r = CheckSubmission(Quote("m1105", "B"), c.price, c.quantity, false, '.');
        EXPECT_EQ(c.text, r.text) << c.price << " " << c.quantity;
        EXPECT_EQ(c.focus, r.focus) << c.price << " " << c.quantity;
        EXPECT_EQ(*c.text == 0, r.passed);
    }
}

TEST(OrderCheck, OrderableQuantityNeverDividesByZero)
{
    struct {
        const char* funds;
        double price;
        int32_t multiplier;
        double margin;
        int64_t lots;
    } cases[] = {
        {"10000", 2000, 10, 0.1, 5}, {"10999", 2000, 10, 0.1, 5}, {"9999", 2000, 10, 0.1, 4},
        {"6000", 2000, 10, 0.3, 1}, {"5999.99", 2000, 10, 0.3, 0},
        {"10000", 2000, 0, 0.1, 0}, {"10000", 2000, 10, 0, 0}, {"10000", 0, 10, 0.1, 0},
        {"10000", 2000, -10, 0.1, 0}, {"abc", 2000, 10, 0.1, 0}, {"#", 2000, 10, 0.1, 0},
        {"1e300", 1e-300, 1, 1e-300, 0},
    };
    for (const auto& c : cases) {
        Thqxx q = Quote("m1105", "B");
        q.Multiplier = c.multiplier;
        q.MarginRate = c.margin;
        EXPECT_EQ(c.lots, OrderableQuantity(c.funds, c.price, q)) << c.funds << " " << c.multiplier << " " << c.margin;
    }
    Thqxx q = Quote("m1105", "B");
    EXPECT_TRUE(CheckFunds("10000", 2000, q, 5).passed);
    const TCheckResult r = CheckFunds("10000", 2000, q, 6);
    EXPECT_FALSE(r.passed);
    EXPECT_EQ("可用资金不足", r.text);
    EXPECT_EQ(TBoxKind::Information, r.box);
    q.Multiplier = 0;
    EXPECT_EQ("可用资金不足", CheckFunds("10000", 2000, q, 1).text);
}

TEST(OrderCheck, ClosableQuantity)
{
    EXPECT_TRUE(CheckClosable("3", 3).passed);
    TCheckResult r = CheckClosable("3", 5);
    EXPECT_EQ("没有足够的持仓,最多能委托3手", r.text);
    EXPECT_EQ(TBoxKind::Information, r.box);
    r = CheckClosable("", 1);
    EXPECT_EQ("服务器忙，请稍后再试", r.text);
    EXPECT_EQ(TBoxKind::Warning, r.box);
}

TEST(OrderCheck, WordsOfTheOrder)
{
    Thqxx q = Quote("m1105", "B");
    const Twtzl o = MakeOrder(q, 1, 2, 3500, 4, true);
    EXPECT_EQ("卖出", o.BuySell);
    EXPECT_EQ("平今", o.OpenClose);
    EXPECT_EQ("m1105", o.Code);
    EXPECT_EQ(4.0, o.Quantity);
    EXPECT_EQ(3500.0, o.Price);
    EXPECT_EQ(10, o.Multiplier);
    EXPECT_EQ(1, o.Market);
    EXPECT_EQ(0, MakeOrder(q, 0, 0, 1, 1, false).Market);
    const char* openClose[] = {"开仓", "平仓", "平今"};
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(openClose[i], std::string(OpenCloseWord(i)));
        EXPECT_EQ(i != 0, IsClosing(i));
    }
    const Tcxzdcczl z = MakeClosableQuery(q, 0, 1);
    EXPECT_EQ("m1105", z.Code);
    EXPECT_EQ("平仓", z.OpenClose);
    EXPECT_EQ("买入", z.BuySell);
}

}  // namespace
