// Reply dispatch: each reply line into the record of its tag, then the reply code to the window.

#include "framework/Dialogs.h"
#include "framework/SysUtils.h"
#include "trading/connection/ClientModules.h"

namespace {

double Num(const std::string& text) { return WireStrToFloat(text); }

bool IsFirst(const TCmdStr& r) { return r[29] == "FIRST"; }

}  // namespace

void TClient::DispatchReply(const std::string& utf8Text, TCmdStr& reply, bool& refused)
{
    // Split while still UTF-8: 0x7C is a legal GBK trail byte.
    const auto lines = SplitLines(utf8Text);
    const int lineCount = static_cast<int>(lines.size());
    bool zlhyStarted = false;  // a "FIRST" entry was seen in this reply
    int zlhyIndex = 0;
    for (std::string_view line : lines) {
        reply = UnpackUtf8Cmd(line);
        const TCmdStr& r = reply;
        const std::string tag = UpperCase(r[2]);
        // Each record is built aside and assigned only once every field converted.
        if (tag == "MESSAGE" || tag == "MESS") {
            refused = true;
            ShowInformation(r[3]);
        } else if (tag == "HQXX") {
            Thqxx q;
            q.Code = r[3];
            q.LastPrice = Num(r[4]);
            q.AskPrice = Num(r[5]);
            q.AskVolume = Num(r[6]);
            q.BidPrice = Num(r[7]);
            q.BidVolume = Num(r[8]);
            q.UpperLimit = Num(r[9]);
            q.LowerLimit = Num(r[10]);
            q.High = Num(r[11]);
            q.Low = Num(r[12]);
            q.Exchange = r[13];
            q.MarginRate = Num(r[14]);
            q.SecondRate = Num(r[15]);
            q.Multiplier = WireStrToInt(r[16]);
            Hqxx = q;
            RunTask(rcQuote);
        } else if (tag == "WTXX") {
            Wtxx = Twtxx{IsFirst(r), r[3], r[12], r[4], r[6], r[5], r[7], r[8], r[9], r[10], r[11]};
            RunTask(rcOrder);
        } else if (tag == "CJXX") {
            Cjxx = Tcjxx{IsFirst(r), r[3], r[4], r[5], r[6], r[7], r[8], r[9], r[10]};
            RunTask(rcTrade);
        } else if (tag == "ZJXX") {
            Zjxx = Tzjxx{r[3], r[4], r[5], r[6], r[7], r[8], r[9], r[10], r[11]};
            RunTask(rcFunds);
        } else if (tag == "CCXX") {
            Ccxx = Tccxx{IsFirst(r), r[3], r[4], r[5], r[8], r[9], r[10], r[11], r[13], r[12], r[14]};
            RunTask(rcPosition);
        } else if (tag == "HYXX") {
            Hyxx = Thyxx{IsFirst(r), Trim(r[3]), r[4], r[5], r[6], r[7], r[8], r[9], r[10]};
            RunTask(rcContract);
        } else if (tag == "ZDCCXX") {
            const double n = Num(r[4]);
            if (!(n > -2147483649.0 && n < 2147483648.0))
                throw EConvertError(Format("'%s' is out of range", r[4].c_str()));
            ZDcc = TZDcc{r[3], IntToStr(static_cast<int64_t>(n)), r[5]};
            RunTask(rcClosable);
        } else if (tag == "HYDMCW") {
            RunTask(rcBadContractCode);
        } else if (tag == "CJHB") {
            RunTask(rcTradeReport);
        } else if (tag == "ZLHYXX") {
            if (IsFirst(r)) {
                Zlhy.assign(static_cast<size_t>(lineCount), Tzlhy());
                zlhyIndex = 0;
                zlhyStarted = true;
            } else {
                ++zlhyIndex;
            }
            // Without a "FIRST" line in this reply the array belongs to an earlier reply.
            if (!zlhyStarted || zlhyIndex >= static_cast<int>(Zlhy.size()))
                continue;
            Zlhy[static_cast<size_t>(zlhyIndex)] = Tzlhy{r[3], r[4], r[5]};
            if (zlhyIndex == lineCount - 1)
                RunTask(rcMainContracts);
        }
    }
}
