#include "trading/windows/ListRows.h"

#include <cmath>
#include <cstdio>

#include "framework/SysUtils.h"

namespace {

struct TDateTime {
    int year = 1899, month = 12, day = 30;  // the runtime's day 0
    int hour = 0, minute = 0, second = 0;
};

// Reads up to maxDigits digits at pos.
bool ReadNumber(const std::string& t, size_t& pos, size_t maxDigits, int& value)
{
    const size_t start = pos;
    value = 0;
    while (pos < t.size() && pos - start < maxDigits && t[pos] >= '0' && t[pos] <= '9')
        value = value * 10 + (t[pos++] - '0');
    return pos > start;
}

bool IsLeapYear(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

bool ReadDate(const std::string& t, size_t& pos, TDateTime& dt)
{
    int y = 0, m = 0, d = 0;
    if (!ReadNumber(t, pos, 4, y) || pos >= t.size() || (t[pos] != '-' && t[pos] != '/'))
        return false;
    const char sep = t[pos++];
    if (!ReadNumber(t, pos, 2, m) || pos >= t.size() || t[pos++] != sep || !ReadNumber(t, pos, 2, d))
        return false;
    static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (y < 1 || m < 1 || m > 12 || d < 1 || d > days[m - 1] + (m == 2 && IsLeapYear(y) ? 1 : 0))
        return false;
    dt.year = y;
    dt.month = m;
    dt.day = d;
    return true;
}

bool ReadTime(const std::string& t, size_t& pos, TDateTime& dt)
{
    int h = 0, mi = 0, s = 0;
    if (!ReadNumber(t, pos, 2, h) || pos >= t.size() || t[pos++] != ':' || !ReadNumber(t, pos, 2, mi))
        return false;
    if (pos < t.size() && t[pos] == ':') {
        ++pos;
        if (!ReadNumber(t, pos, 2, s))
            return false;
    }
    if (h > 23 || mi > 59 || s > 59)
        return false;
    dt.hour = h;
    dt.minute = mi;
    dt.second = s;
    return true;
}

// "yyyy-M-d", "H:m[:s]" or both separated by blanks; the whole text must be read.
bool ParseDateTime(const std::string& text, TDateTime& dt)
{
    const std::string t = Trim(text);
    if (t.empty())
        return false;
    size_t pos = 0;
    if (t.find(':') == std::string::npos || (t.find('-') != std::string::npos || t.find('/') != std::string::npos)) {
        if (!ReadDate(t, pos, dt))
            return false;
        if (pos == t.size())
            return true;
        if (t[pos] != ' ')
            return false;
        while (pos < t.size() && t[pos] == ' ')
            ++pos;
    }
    return ReadTime(t, pos, dt) && pos == t.size();
}

std::string Two(int v)
{
    char buf[8];
    std::snprintf(buf, sizeof buf, "%02d", v);
    return buf;
}

const std::vector<std::string>& Columns(std::initializer_list<const char*> titles, std::vector<std::string>& store)
{
    if (store.empty())
        store.assign(titles.begin(), titles.end());
    return store;
}

}  // namespace

std::optional<std::string> WholeNumber(const std::string& text)
{
    double v = 0;
    if (!TryStrToFloat(text, v, '.') || !std::isfinite(v))
        return std::nullopt;
    v = std::trunc(v);
    if (!(v > -9.0e18 && v < 9.0e18))
        return std::nullopt;
    return IntToStr(static_cast<int64_t>(v));
}

std::string TimeOfDayText(const std::string& dateTime)
{
    TDateTime dt;
    if (!ParseDateTime(dateTime, dt))
        return dateTime;
    return Two(dt.hour) + ":" + Two(dt.minute) + ":" + Two(dt.second);
}

std::string DateText(const std::string& dateTime)
{
    TDateTime dt;
    if (!ParseDateTime(dateTime, dt))
        return dateTime;
    char buf[16];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", dt.year, dt.month, dt.day);
    return buf;
}

std::string ExchangeName(const std::string& letter)
{
    if (letter == "A") return "上海";
    if (letter == "B") return "大连";
    if (letter == "C") return "郑州";
    if (letter == "D") return "中金";
    return "其它市场";
}

std::string ExchangePrefix(const std::string& letter)
{
    if (letter == "A" || letter == "B" || letter == "C" || letter == "D")
        return ExchangeName(letter) + " ";
    return "";
}

std::optional<TRow> OrderRow(const Twtxx& wt)
{
    return TRow{wt.OrderNo, wt.Contract, wt.OpenClose, wt.BuySell, wt.Price, wt.Quantity,
                wt.Status, wt.FrozenFunds, TimeOfDayText(wt.OrderTime)};
}

std::optional<TRow> OrderPageRow(const Twtxx& wt)
{
    return TRow{wt.OrderNo, wt.Status, wt.Contract, wt.OpenClose, wt.BuySell, wt.Price, wt.Quantity};
}

bool IsPendingOrder(const Twtxx& wt) { return Trim(wt.FillState) == "0"; }

std::optional<TRow> PendingOrderRow(const Twtxx& wt)
{
    if (!IsPendingOrder(wt))
        return std::nullopt;
    return TRow{wt.OrderNo, wt.Status, wt.Contract, wt.OpenClose, wt.BuySell, wt.Price, wt.Quantity, wt.Quantity};
}

std::optional<TRow> TradeRow(const Tcjxx& cj)
{
    const auto fee = WholeNumber(cj.Fee);
    if (!fee)
        return std::nullopt;
    return TRow{cj.OrderNo, cj.Contract, cj.OpenClose, cj.BuySell, cj.Price, cj.Quantity, *fee,
                TimeOfDayText(cj.TradeTime)};
}

namespace {

std::optional<std::string> AvailableQuantity(const Tccxx& cc)
{
    double total = 0, closed = 0;
    if (!TryStrToFloat(cc.TotalQuantity, total, '.') || !TryStrToFloat(cc.ClosedQuantity, closed, '.'))
        return std::nullopt;
    return WholeNumber(FloatToStr(total - closed));
}

}  // namespace

std::optional<TRow> PositionRow(const Tccxx& cc)
{
    const auto available = AvailableQuantity(cc);
    const auto total = WholeNumber(cc.TotalQuantity);
    if (!available || !total)
        return std::nullopt;
    return TRow{cc.Contract, cc.BuySell, *available, cc.OpenPrice, cc.Margin, cc.Profit, *total, DateText(cc.OpenDate)};
}

std::optional<TRow> PositionPageRow(const Tccxx& cc)
{
    const auto available = AvailableQuantity(cc);
    const auto total = WholeNumber(cc.TotalQuantity);
    if (!available || !total)
        return std::nullopt;
    return TRow{cc.Contract, cc.BuySell, *available, cc.OpenPrice, *total, DateText(cc.OpenDate), cc.TradingDay};
}

TRow ContractRow(const Thyxx& hy)
{
    std::string code = Trim(hy.Code);
    if (code.size() == 2 && code.find('0') != std::string::npos)
        code = code.substr(0, 1);
    return TRow{code, hy.Name, ExchangeName(hy.Exchange), hy.TradingUnit, hy.MarginStandard,
                hy.Fee, hy.CloseTodayFee, hy.PriceTick};
}

const std::vector<std::string>& OrderColumns()
{
    static std::vector<std::string> s;
    return Columns({"委托号", "合约", "开/平", "买/卖", "委托价格", "数量", "状态", "冻结资金", "委托时间"}, s);
}

const std::vector<std::string>& OrderPageColumns()
{
    static std::vector<std::string> s;
    return Columns({"单号", "状态", "合约", "开平", "买卖", "价格", "数量"}, s);
}

const std::vector<std::string>& PendingOrderColumns()
{
    static std::vector<std::string> s;
    return Columns({"单号", "状态", "合约", "开平", "买卖", "价格", "剩余", "数量"}, s);
}

const std::vector<std::string>& TradeColumns()
{
    static std::vector<std::string> s;
    return Columns({"委托号", "合约代码", "开/平仓", "买/卖", "成交价格", "成交数量", "交易手续费", "成交时间"}, s);
}

const std::vector<std::string>& PositionColumns()
{
    static std::vector<std::string> s;
    return Columns({"合约", "买/卖", "可用", "开仓价格", "占用保证金", "盯市盈亏", "未平数量", "开仓日期"}, s);
}

const std::vector<std::string>& PositionPageColumns()
{
    static std::vector<std::string> s;
    return Columns({"合约", "买卖", "可用", "开仓价"}, s);
}

const std::vector<std::string>& ContractColumns()
{
    static std::vector<std::string> s;
    return Columns({"合约代码", "合约名称", "交易所", "交易单位", "保证金标准", "手续费", "平今手续费", "最小变动单位"}, s);
}

TQuoteTexts QuoteTexts(const Thqxx& hq)
{
    TQuoteTexts t;
    t.code = ExchangePrefix(hq.Exchange) + UpperCase(hq.Code);
    t.last = FloatToStr(hq.LastPrice);
    t.ask = FloatToStr(hq.AskPrice);
    t.askVolume = FloatToStr(hq.AskVolume);
    t.bid = FloatToStr(hq.BidPrice);
    t.bidVolume = FloatToStr(hq.BidVolume);
    t.upper = Trim(FloatToStr(hq.UpperLimit));
    t.high = Trim(FloatToStr(hq.High));
    t.lower = FloatToStr(hq.LowerLimit);
    t.low = FloatToStr(hq.Low);
    return t;
}

std::optional<TFundsTexts> FundsTexts(const Tzjxx& zj)
{
    const auto equity = WholeNumber(zj.Equity), available = WholeNumber(zj.Available),
               opening = WholeNumber(zj.OpeningBalance), margin = WholeNumber(zj.Margin),
               frozen = WholeNumber(zj.FrozenToday);
    if (!equity || !available || !opening || !margin || !frozen)
        return std::nullopt;
    return TFundsTexts{*equity, *available, *opening, *margin, *frozen,
                       zj.ClosedProfit, zj.FloatingProfit, zj.Fee, zj.RiskRatio};
}

int MainContractList(const Tzlhy& entry)
{
    const std::string d = Trim(entry.Exchange);
    if (d == "1") return 0;
    if (d == "2") return 1;
    if (d == "3") return 2;
    if (d == "9") return 3;
    return -1;
}

std::string MainContractItem(const Tzlhy& entry) { return entry.Name + "-" + entry.Code; }
