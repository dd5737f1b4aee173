#pragma once
// The order panel's checks apart from the window: each tells which box to show and which
// field gets the focus, or that the order may go on. Needs no Win32.

#include <cstdint>
#include <string>
#include <string_view>

#include "trading/connection/ClientRecords.h"

enum class TOrderField { None, Contract, Price, Quantity };
enum class TBoxKind { None, Warning, Information };

struct TCheckResult {
    bool passed = true;
    TBoxKind box = TBoxKind::None;
    std::string text;
    TOrderField focus = TOrderField::None;
};

// Plain decimal digits once trimmed, fitting 32 bits: no sign, "$", blanks inside or fraction.
bool ParsePlainInteger(std::string_view text, int32_t& value);
// A float under the given decimal separator, finite.
bool ParsePrice(std::string_view text, double& value, char decimalSeparator);

// Exchanges "D" and "E" and the "au" contracts take prices with a fractional part.
bool AllowsFractionalPrice(const Thqxx& quote);

// Whole number of funds / (price x multiplier x margin rate); 0 when any of them is zero,
// negative or unreadable, so a quote without a multiplier never divides by zero.
int64_t OrderableQuantity(const std::string& availableFunds, double price, const Thqxx& quote);

// The price limits of the quote; a limit of 0 or less means none.
TCheckResult CheckPriceLimits(double price, const Thqxx& quote);

enum class TPriceCheck { Failed, Empty, Passed };
struct TPriceCheckResult {
    TPriceCheck outcome = TPriceCheck::Passed;
    TCheckResult check;
    double price = 0;
};

// Leaving the price: quote held, a float, above 0 for a limit order, inside the limits,
// whole unless the contract allows fractions.
TPriceCheckResult CheckPrice(bool quoteHeld, const Thqxx& quote, std::string_view priceText, bool market,
                             char decimalSeparator);

// The first checks of a submission, before anything is sent.
TCheckResult CheckSubmission(const Thqxx& quote, std::string_view priceText, std::string_view quantityText,
                             bool market, char decimalSeparator);

// The closable quantity answered for a closing order of quantity lots; empty means no answer.
TCheckResult CheckClosable(const std::string& closable, int32_t quantity);

// An opening order against the available funds.
TCheckResult CheckFunds(const std::string& availableFunds, double price, const Thqxx& quote, int32_t quantity);

// Words of the order and of the closable-quantity query, by combo index.
const char* BuySellWord(int directionIndex);   // 1 "卖出", else "买入"
const char* OpenCloseWord(int openCloseIndex);  // 0 "开仓", 1 "平仓", 2 "平今"
bool IsClosing(int openCloseIndex);

Twtzl MakeOrder(const Thqxx& quote, int directionIndex, int openCloseIndex, double price, int32_t quantity,
                bool market);
Tcxzdcczl MakeClosableQuery(const Thqxx& quote, int directionIndex, int openCloseIndex);
