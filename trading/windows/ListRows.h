#pragma once
// Reply records as list rows and panel texts. A row is built whole or not at all, so a line
// with a number that doesn't read never leaves half a row. Needs no Win32.

#include <optional>
#include <string>
#include <vector>

#include "trading/connection/ClientRecords.h"

using TRow = std::vector<std::string>;  // caption first, then the sub-items

// The text as a float, truncated towards zero, in decimal.
std::optional<std::string> WholeNumber(const std::string& text);

// Date-time texts written back as "HH:mm:ss" and "yyyy-MM-dd"; a text that doesn't read as a
// date or time stays as received.
std::string TimeOfDayText(const std::string& dateTime);
std::string DateText(const std::string& dateTime);

std::string ExchangeName(const std::string& letter);    // "上海" ... "其它市场"
std::string ExchangePrefix(const std::string& letter);  // "上海 " ... or nothing

std::optional<TRow> OrderRow(const Twtxx& wt);          // fwtlb
std::optional<TRow> OrderPageRow(const Twtxx& wt);      // fwtlb2
bool IsPendingOrder(const Twtxx& wt);
std::optional<TRow> PendingOrderRow(const Twtxx& wt);   // fwtlb3
std::optional<TRow> TradeRow(const Tcjxx& cj);          // fcjlb
std::optional<TRow> PositionRow(const Tccxx& cc);       // fcclb
std::optional<TRow> PositionPageRow(const Tccxx& cc);   // fcclb2
TRow ContractRow(const Thyxx& hy);                      // hylb

// The column of an order's status (0 is the caption column).
constexpr int kOrderStatusColumn = 6;      // fwtlb
constexpr int kOrderPageStatusColumn = 1;  // fwtlb2, fwtlb3

// Column titles of the lists.
const std::vector<std::string>& OrderColumns();
const std::vector<std::string>& OrderPageColumns();
const std::vector<std::string>& PendingOrderColumns();
const std::vector<std::string>& TradeColumns();
const std::vector<std::string>& PositionColumns();
const std::vector<std::string>& PositionPageColumns();
const std::vector<std::string>& ContractColumns();

struct TQuoteTexts {
    std::string code, last, ask, askVolume, bid, bidVolume, upper, high, lower, low;
};
TQuoteTexts QuoteTexts(const Thqxx& hq);

struct TFundsTexts {
    std::string equity, available, openingBalance, margin, frozenToday;  // whole numbers
    std::string closedProfit, floatingProfit, fee, riskRatio;            // as received
};
std::optional<TFundsTexts> FundsTexts(const Tzjxx& zj);

// Main-contract list entry: index 0..3 of the lists "上海", "大连", "郑州", "中金", or -1.
int MainContractList(const Tzlhy& entry);
std::string MainContractItem(const Tzlhy& entry);
