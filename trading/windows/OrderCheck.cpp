#include "trading/windows/OrderCheck.h"

#include <cmath>

#include "framework/SysUtils.h"

namespace {

const char kBadPrice[] = "无效的委托价格";
const char kBadQuantity[] = "无效的委托数量";

TCheckResult Fail(TBoxKind box, const char* text, TOrderField focus)
{
    return TCheckResult{false, box, text, focus};
}

}  // namespace

bool ParsePlainInteger(std::string_view text, int32_t& value)
{
    const std::string t = Trim(text);
    if (t.empty() || t.size() > 10)
        return false;
    int64_t v = 0;
    for (char c : t) {
        if (c < '0' || c > '9')
            return false;
        v = v * 10 + (c - '0');
    }
    if (v > INT32_MAX)
        return false;
    value = static_cast<int32_t>(v);
    return true;
}

bool ParsePrice(std::string_view text, double& value, char decimalSeparator)
{
    double v = 0;
    if (!TryStrToFloat(text, v, decimalSeparator) || !std::isfinite(v))
        return false;
    value = v;
    return true;
}

bool AllowsFractionalPrice(const Thqxx& quote)
{
    if (quote.Exchange == "D" || quote.Exchange == "E")
        return true;
    return quote.Code.size() >= 2 && SameText(std::string_view(quote.Code).substr(0, 2), "au");
}

int64_t OrderableQuantity(const std::string& availableFunds, double price, const Thqxx& quote)
{
    double funds = 0;
    if (!TryStrToFloat(availableFunds, funds, '.') || !std::isfinite(funds))
        return 0;
    const double perLot = price * quote.Multiplier * quote.MarginRate;
    if (!(perLot > 0) || !std::isfinite(perLot))
        return 0;
    // Margin rates are decimal fractions that binary floats miss by a hair: 6000 of funds at
    // 2000 x 10 x 0.3 is one lot, not 0.99999...
    const double lots = std::trunc(funds / perLot * (1 + 1e-12));
    if (!(lots > -9.0e18 && lots < 9.0e18))
        return 0;
    return static_cast<int64_t>(lots);
}

TCheckResult CheckPriceLimits(double price, const Thqxx& quote)
{
    if (quote.UpperLimit > 0 && price > quote.UpperLimit)
        return Fail(TBoxKind::Information, "价格输入错误,价格不能高于涨停价格", TOrderField::Price);
    if (quote.LowerLimit > 0 && price < quote.LowerLimit)
        return Fail(TBoxKind::Information, "价格输入错误,价格不能低于跌停价格", TOrderField::Price);
    return {};
}

TPriceCheckResult CheckPrice(bool quoteHeld, const Thqxx& quote, std::string_view priceText, bool market,
                             char decimalSeparator)
{
    TPriceCheckResult r;
    if (!quoteHeld) {
        r.outcome = TPriceCheck::Failed;
        r.check = Fail(TBoxKind::Information, "请输入合约代码", TOrderField::Contract);
        return r;
    }
    if (Trim(priceText).empty()) {
        r.outcome = TPriceCheck::Empty;
        return r;
    }
    // A limit order at 0 or below means nothing to the exchange.
    if (!ParsePrice(priceText, r.price, decimalSeparator) || (!market && r.price <= 0)) {
        r.outcome = TPriceCheck::Failed;
        r.check = Fail(TBoxKind::Warning, kBadPrice, TOrderField::Price);
        return r;
    }
    r.check = CheckPriceLimits(r.price, quote);
    if (!r.check.passed) {
        r.outcome = TPriceCheck::Failed;
        return r;
    }
    if (!AllowsFractionalPrice(quote) && r.price != std::trunc(r.price)) {
        r.outcome = TPriceCheck::Failed;
        r.check = Fail(TBoxKind::Information, "合约委托价格应为整数", TOrderField::Price);
        return r;
    }
    return r;
}

TCheckResult CheckSubmission(const Thqxx& quote, std::string_view priceText, std::string_view quantityText,
                             bool market, char decimalSeparator)
{
    double price = 0;
    if (!ParsePrice(priceText, price, decimalSeparator) || (!market && price <= 0))
        return Fail(TBoxKind::Warning, kBadPrice, TOrderField::Price);
    int32_t quantity = 0;
    if (!ParsePlainInteger(quantityText, quantity))
        return Fail(TBoxKind::Warning, kBadQuantity, TOrderField::Quantity);
    const TCheckResult limits = CheckPriceLimits(price, quote);
    if (!limits.passed)
        return limits;
    if (quantity <= 0)
        return Fail(TBoxKind::Warning, kBadQuantity, TOrderField::Quantity);
    return {};
}

TCheckResult CheckClosable(const std::string& closable, int32_t quantity)
{
    int32_t most = 0;
    if (closable.empty() || !TryStrToInt(closable, most))
        return Fail(TBoxKind::Warning, "服务器忙，请稍后再试", TOrderField::None);
    if (most < quantity)
        return TCheckResult{false, TBoxKind::Information, "没有足够的持仓,最多能委托" + closable + "手",
                            TOrderField::None};
    return {};
}

TCheckResult CheckFunds(const std::string& availableFunds, double price, const Thqxx& quote, int32_t quantity)
{
    if (OrderableQuantity(availableFunds, price, quote) < quantity)
        return Fail(TBoxKind::Information, "可用资金不足", TOrderField::None);
    return {};
}

const char* BuySellWord(int directionIndex) { return directionIndex == 1 ? "卖出" : "买入"; }

const char* OpenCloseWord(int openCloseIndex)
{
    switch (openCloseIndex) {
    case 1: return "平仓";
    case 2: return "平今";
    default: return "开仓";
    }
}

bool IsClosing(int openCloseIndex) { return openCloseIndex == 1 || openCloseIndex == 2; }

Twtzl MakeOrder(const Thqxx& quote, int directionIndex, int openCloseIndex, double price, int32_t quantity,
                bool market)
{
    Twtzl o;
    o.BuySell = BuySellWord(directionIndex);
    o.OpenClose = OpenCloseWord(openCloseIndex);
    o.Code = quote.Code;
    o.Quantity = quantity;
    o.Price = price;
    o.Multiplier = quote.Multiplier;
    o.Market = market ? 1 : 0;
    return o;
}

Tcxzdcczl MakeClosableQuery(const Thqxx& quote, int directionIndex, int openCloseIndex)
{
    return Tcxzdcczl{quote.Code, OpenCloseWord(openCloseIndex), BuySellWord(directionIndex)};
}
