#pragma once
// The records of the trading session: what the server last sent of each kind, and what the
// windows fill in before an order or a closable-quantity query. Texts are GBK, as received.

#include <cstdint>
#include <string>

struct Tkhxx {  // the logged-in customer
    std::string Account, Password, Name, FundName, Philosophy;
};

struct Thqxx {  // quote, "HQXX"
    std::string Code;
    double LastPrice = 0, AskPrice = 0, AskVolume = 0, BidPrice = 0, BidVolume = 0;
    double UpperLimit = 0, LowerLimit = 0, High = 0, Low = 0;
    std::string Exchange;  // "A" .. "D"
    double MarginRate = 0, SecondRate = 0;
    int32_t Multiplier = 0;
};

struct Twtxx {  // order line, "WTXX"
    bool First = false;
    std::string OrderNo, Status, Contract, BuySell, OpenClose, Price, Quantity, FillState, FrozenFunds, OrderTime;
};

struct Tcjxx {  // trade line, "CJXX"
    bool First = false;
    std::string OrderNo, Contract, BuySell, OpenClose, Price, Quantity, Fee, TradeTime;
};

struct Tzjxx {  // funds, "ZJXX"
    std::string Equity, Available, Fee, FrozenToday, ClosedProfit, FloatingProfit, Margin, RiskRatio,
        OpeningBalance;
};

struct Tccxx {  // position line, "CCXX"
    bool First = false;
    std::string Contract, BuySell, OpenPrice, TotalQuantity;
    std::string ClosedQuantity;  // subtracted from the total to give the available quantity
    std::string Profit, Field11, Margin, OpenDate, TradingDay;
};

struct Thyxx {  // contract line, "HYXX"
    bool First = false;
    std::string Code, Exchange, TradingUnit, MarginStandard, Fee, CloseTodayFee, Name, PriceTick;
};

struct TZDcc {  // largest closable quantity, "ZDCCXX"
    std::string Field3, MaxQuantity, Field5;
};

struct Tzlhy {  // main-contract entry, "ZLHYXX"
    std::string Name, Code, Exchange;  // exchange digit "1", "2", "3" or "9"
};

struct Twtzl {  // order to place
    std::string OpenClose;  // "开仓", "平仓" or "平今"
    std::string BuySell;    // "买入" or "卖出"
    std::string Code;
    int32_t Multiplier = 0;  // not sent
    double Price = 0;
    double Quantity = 0;
    int32_t Market = 0;  // 1 market order, 0 limit
};

struct Tcxzdcczl {  // closable-quantity query
    std::string Code, OpenClose, BuySell;
};
