#pragma once
// The codes the reply dispatch passes to IClientTask::Task, one per reply tag; the record the
// tag fills is set before the code is passed.

enum TReplyCode : int {
    rcQuote = 1125,            // "HQXX": Hqxx
    rcOrder = 1126,            // "WTXX": Wtxx, one order line
    rcTrade = 1127,            // "CJXX": Cjxx, one trade line
    rcFunds = 1128,            // "ZJXX": Zjxx
    rcPosition = 1129,         // "CCXX": Ccxx, one position line
    rcContract = 1130,         // "HYXX": Hyxx, one contract line
    rcClosable = 1131,         // "ZDCCXX": ZDcc, the largest closable quantity
    rcBadContractCode = 1132,  // "HYDMCW": the server knows no such contract
    rcTradeReport = 1133,      // "CJHB": a trade happened; orders, positions and trades are stale
    rcMainContracts = 1134,    // "ZLHYXX": Zlhy is complete
};
