// The main window's part in the reply dispatch: each reply code copies its record into the
// quote panel, a list or the funds panels.

#include "framework/Dialogs.h"
#include "framework/SysUtils.h"
#include "trading/windows/ListRows.h"
#include "trading/windows/MainUnit.h"

namespace {

void AddRow(TListView* list, const TRow& row)
{
    TListItem* item = list->Items().Add();
    item->SetCaption(row[0]);
    for (size_t i = 1; i < row.size(); ++i)
        item->SubItems().Add(row[i]);
}

void ClearList(TListView* list)
{
    if (list->Items().Count() > 0)
        list->Items().Clear();
}

}  // namespace

bool TMainForm::QuoteHeld() const { return Client && !Client->Hqxx.Code.empty(); }

void TMainForm::ShowQuote()
{
    try {
        const TQuoteTexts t = QuoteTexts(Client->Hqxx);
        hydmCaption->SetText(t.code);
        zxjgCaption->SetText(t.last);
        SPCaption->SetText(t.ask);
        SCCaption->SetText(t.askVolume);
        BPCaption->SetText(t.bid);
        BCCaption->SetText(t.bidVolume);
        UPCaption->SetText(t.upper);
        HPCaption->SetText(t.high);
        DPCaption->SetText(t.lower);
        LPCaption->SetText(t.low);
        if (LianDong->Checked())
            SetProgramPrice(zxjgCaption->Text());
        if (SJWTCheck->Checked()) {
            SetProgramPrice(zxjgCaption->Text());
            fwtjg->SetEnabled(false);
        } else {
            fwtjg->SetEnabled(true);
        }
    } catch (...) {
        // A quote that can't be shown leaves the panel as it was.
    }
}

void TMainForm::AddOrderLine()
{
    const Twtxx& wt = Client->Wtxx;
    if (wt.First) {
        ClearList(fwtlb);
        ClearList(fwtlb2);
        ClearList(fwtlb3);
    }
    const auto row = OrderRow(wt);
    const auto pageRow = OrderPageRow(wt);
    if (!row || !pageRow)
        return;
    AddRow(fwtlb, *row);
    AddRow(fwtlb2, *pageRow);
    if (const auto pending = PendingOrderRow(wt))
        AddRow(fwtlb3, *pending);
}

void TMainForm::AddPositionLine()
{
    const Tccxx& cc = Client->Ccxx;
    if (cc.First) {
        ClearList(fcclb);
        ClearList(fcclb2);
    }
    const auto row = PositionRow(cc);
    const auto pageRow = PositionPageRow(cc);
    if (!row || !pageRow)
        return;
    AddRow(fcclb, *row);
    AddRow(fcclb2, *pageRow);
}

void TMainForm::ShowFunds()
{
    const auto f = FundsTexts(Client->Zjxx);
    if (!f)
        return;
    khqyCaption->SetText(f->equity);
    kyzjCaption->SetText(f->available);
    kczjCaption->SetText(f->available);
    qcjeCaption->SetText(f->openingBalance);
    lybzjCaption->SetText(f->margin);
    drydjCaption->SetText(f->frozenToday);
    dspcykCaption->SetText(f->closedProfit);
    DsfdykCaption->SetText(f->floatingProfit);
    sxfCaption->SetText(f->fee);
    fxlCaption->SetText(f->riskRatio);
    ecCaption->SetText(Client->Zjxx.Available);
}

void TMainForm::Task(int code)
{
    switch (code) {
    case rcQuote:
        ShowQuote();
        break;
    case rcOrder:
        AddOrderLine();
        break;
    case rcTrade: {
        if (Client->Cjxx.First)
            ClearList(fcjlb);
        if (const auto row = TradeRow(Client->Cjxx))
            AddRow(fcjlb, *row);
        break;
    }
    case rcFunds:
        ShowFunds();
        break;
    case rcPosition:
        AddPositionLine();
        break;
    case rcContract:
        AddRow(hylb, ContractRow(Client->Hyxx));
        break;
    case rcClosable:
        break;  // the order check reads the record
    case rcBadContractCode:
        Timer2->SetEnabled(false);
        ShowInformation("合约代码输入错误");
        break;
    case rcTradeReport:
        for (TListView* l : {static_cast<TListView*>(fwtlb), static_cast<TListView*>(fwtlb2),
                             static_cast<TListView*>(fwtlb3), static_cast<TListView*>(fcjlb),
                             static_cast<TListView*>(fcclb)})
            ClearList(l);
        Client->CXWT();
        Client->CXCC();
        Client->CXCJ();
        break;
    case rcMainContracts: {
        TListBox* lists[] = {shzlhyList, dlzlhyList, zzzlhylist, zjzlhylist};
        for (const Tzlhy& entry : Client->Zlhy) {
            const int list = MainContractList(entry);
            if (list >= 0)
                lists[list]->Items().Add(MainContractItem(entry));
        }
        break;
    }
    default:
        break;
    }
}
