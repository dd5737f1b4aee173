// Order entry on the order page: field order by keyboard, the contract field and quick codes,
// the price check, submission, closing from a position list and cancelling from an order list.

#include <windows.h>

#include "framework/Dialogs.h"
#include "framework/SysUtils.h"
#include "trading/connection/SysInfo.h"
#include "trading/windows/MainUnit.h"

namespace {

const char kConnectionFailed[] = "服务器连接失败,网络故障";
const DWORD kClosableWaitMs = 10000;
// The quote labels hold FloatToStr's text.
const char kLabelDecimalSeparator = '.';

void Focus(TWinControl* control)
{
    if (control->CanFocus())
        control->SetFocus();
}

// Exactly one row selected: that row.
TListItem* OnlySelected(TListView* list)
{
    return list->SelCount() == 1 ? list->Selected() : nullptr;
}

std::string SubItem(const TListItem* item, int index)
{
    return index < item->SubItems().Count() ? item->SubItems()[index] : std::string();
}

// Re-enables the button on every way out of a submission.
class TButtonHold {
public:
    explicit TButtonHold(TButton* button) : button_(button) { button_->SetEnabled(false); }
    ~TButtonHold() { button_->SetEnabled(true); }
    TButtonHold(const TButtonHold&) = delete;
    TButtonHold& operator=(const TButtonHold&) = delete;

private:
    TButton* button_;
};

}  // namespace

void TMainForm::FocusField(TOrderField field)
{
    switch (field) {
    case TOrderField::Contract:
        Focus(QKEnabled->Checked() ? static_cast<TWinControl*>(fhydmlist) : fhydm);
        break;
    case TOrderField::Price:
        Focus(fwtjg);
        break;
    case TOrderField::Quantity:
        Focus(fwtsl);
        break;
    case TOrderField::None:
        break;
    }
}

void TMainForm::ShowCheck(const TCheckResult& check)
{
    if (check.box == TBoxKind::Warning)
        ShowWarning(check.text);
    else if (check.box == TBoxKind::Information)
        ShowInformation(check.text);
    FocusField(check.focus);
}

// Enter or Down goes on to the next field, Up back to the previous one; the key is used up so
// that a drop-down list doesn't also change its selection.
void TMainForm::fhydmKeyDown(TObject*, WORD& key, TShiftState)
{
    if (key == VK_RETURN || key == VK_DOWN) {
        key = 0;
        Focus(fmmfx);
    }
}

void TMainForm::fmmfxKeyDown(TObject*, WORD& key, TShiftState)
{
    if (key == VK_RETURN || key == VK_DOWN) {
        key = 0;
        Focus(fwtfx);
    } else if (key == VK_UP) {
        key = 0;
        FocusField(TOrderField::Contract);
    }
}

void TMainForm::fwtfxKeyDown(TObject*, WORD& key, TShiftState)
{
    if (key == VK_RETURN || key == VK_DOWN) {
        key = 0;
        Focus(fwtjg);
    } else if (key == VK_UP) {
        key = 0;
        Focus(fmmfx);
    }
}

void TMainForm::fwtjgKeyDown(TObject*, WORD& key, TShiftState)
{
    if (key == VK_RETURN || key == VK_DOWN) {
        key = 0;
        Focus(fwtsl);
    } else if (key == VK_UP) {
        key = 0;
        Focus(fwtfx);
    }
}

void TMainForm::fwtslKeyDown(TObject* sender, WORD& key, TShiftState)
{
    if (key == VK_RETURN || key == VK_DOWN) {
        key = 0;
        OkButtonClick(sender);
    } else if (key == VK_UP) {
        key = 0;
        Focus(fwtjg);
    }
}

void TMainForm::fhydmEnter(TObject*)
{
    fhydm->SetText("");
    pnlHint->SetText(SysInfo ? SysInfo->VarietyTitle : "");
}

void TMainForm::fhydmChange(TObject*)
{
    OkButton->SetEnabled(true);
    if (Client)
        Client->Hqxx.Code.clear();
    std::string code;
    if (quickCodeEdit_.Substitute(fhydm->Text(), QKEnabled->Checked(), QuickCodes, code)) {
        TQuickCodeEdit::Scope scope(quickCodeEdit_);
        fhydm->SetText(code);
        fhydm->SetSelStart(static_cast<int>(code.size()));
    }
    Timer2->SetEnabled(false);
}

void TMainForm::fhydmlistChange(TObject*)
{
    if (Client)
        Client->Hqxx.Code.clear();
    Timer2->SetEnabled(false);
    OkButton->SetEnabled(true);
}

void TMainForm::fhydmExit(TObject*)
{
    if (!fhydm->Text().empty())
        zlhyPanel->SetVisible(false);
    Timer2->SetEnabled(true);
}

void TMainForm::fhydmlistExit(TObject*)
{
    Timer2->SetInterval(100);
    Timer2->SetEnabled(true);
}

void TMainForm::SJWTCheckClick(TObject*) { fwtjg->SetEnabled(!SJWTCheck->Checked()); }

void TMainForm::SetProgramPrice(const std::string& text)
{
    programPrice_ = text;
    fwtjg->SetText(text);
}

char TMainForm::PriceSeparator() const
{
    return !programPrice_.empty() && fwtjg->Text() == programPrice_ ? kLabelDecimalSeparator : UserDecimalSeparator();
}

void TMainForm::QuotePriceDblClick(TLabel* price, int direction)
{
    double value = 0;
    if (!ParsePrice(price->Text(), value, kLabelDecimalSeparator))
        return;
    SetProgramPrice(price->Text());
    if (direction >= 0)
        fmmfx->SetItemIndex(direction);
}

void TMainForm::fwtslExit(TObject*)
{
    if (!QuoteHeld()) {
        FocusField(TOrderField::Contract);
        return;
    }
    int32_t quantity = 0;
    const std::string text = Trim(fwtsl->Text());
    if (!text.empty() && !ParsePlainInteger(text, quantity)) {
        ShowWarning("无效的委托数量");
        Focus(fwtsl);
    }
}

bool TMainForm::fwtjgExit(TObject*)
{
    const Thqxx& quote = Client->Hqxx;
    const TPriceCheckResult r =
        CheckPrice(QuoteHeld(), quote, fwtjg->Text(), SJWTCheck->Checked(), PriceSeparator());
    if (r.outcome == TPriceCheck::Failed) {
        ShowCheck(r.check);
        return false;
    }
    if (r.outcome == TPriceCheck::Empty)
        return true;
    const int openClose = fwtfx->ItemIndex();
    if (!IsClosing(openClose)) {
        csCaption->SetText(IntToStr(OrderableQuantity(Client->Zjxx.Available, r.price, quote)));
        return true;
    }
    csCaption->SetText("0");
    Client->Cxzdcczl = MakeClosableQuery(quote, fmmfx->ItemIndex(), openClose);
    // An older contract's answer must not stand in for this one's when the query fails.
    Client->ZDcc = TZDcc();
    Client->CXZDCC();
    return true;
}

void TMainForm::OkButtonClick(TObject* sender)
{
    TButtonHold hold(OkButton);
    const bool market = SJWTCheck->Checked();
    const char separator = PriceSeparator();
    const TCheckResult first = CheckSubmission(Client->Hqxx, fwtjg->Text(), fwtsl->Text(), market, separator);
    if (!first.passed) {
        ShowCheck(first);
        return;
    }
    double price = 0;
    int32_t quantity = 0;
    ParsePrice(fwtjg->Text(), price, separator);
    ParsePlainInteger(fwtsl->Text(), quantity);

    Client->CXZJ();
    if (!fwtjgExit(sender))
        return;
    const int openClose = fwtfx->ItemIndex();
    if (IsClosing(openClose)) {
        const DWORD start = GetTickCount();
        while (Client->ZDcc.MaxQuantity.empty() && GetTickCount() - start < kClosableWaitMs) {
            Sleep(50);
            if (Application)
                Application->ProcessMessages();
        }
        const TCheckResult closable = CheckClosable(Client->ZDcc.MaxQuantity, quantity);
        if (!closable.passed) {
            ShowCheck(closable);
            return;
        }
    } else {
        const TCheckResult funds = CheckFunds(Client->Zjxx.Available, price, Client->Hqxx, quantity);
        if (!funds.passed) {
            ShowCheck(funds);
            return;
        }
    }
    Client->Wtzl = MakeOrder(Client->Hqxx, fmmfx->ItemIndex(), openClose, price, quantity, market);
    const TOrderReply placed = Client->XD();
    OkButton->SetEnabled(true);
    // A refusal has shown the server's own text.
    if (placed == TOrderReply::Accepted)
        ShowInformation("委托成功");
    else if (placed == TOrderReply::Unanswered)
        ShowInformation(kConnectionFailed);
    Client->CXWT();
}

void TMainForm::cancelbuttonClick(TObject*)
{
    fhydm->SetText("");
    fwtsl->SetText("");
    fwtjg->SetText("");
}

void TMainForm::ClosePosition(const std::string& contract, const std::string& buySell, const std::string& available)
{
    QKEnabled->SetChecked(false);
    QKEnabledClick(QKEnabled);
    fhydm->SetText(contract);
    fmmfx->SetItemIndex(buySell == "买入" ? 1 : 0);
    fwtfx->SetItemIndex(1);
    fwtsl->SetText(available);
}

void TMainForm::fcclb2Click(TObject*)
{
    TListItem* row = OnlySelected(fcclb2);
    if (!row)
        return;
    Client->CXZJ();
    // The reply dispatch may have refilled the list meanwhile.
    row = OnlySelected(fcclb2);
    if (!row)
        return;
    const std::string buySell = SubItem(row, 0), available = SubItem(row, 1), total = SubItem(row, 3);
    const bool today = SubItem(row, 4) == SubItem(row, 5);
    const bool buy = buySell == "买入";
    TLabel* const boxes[2][2] = {{bdCaption, sdCaption}, {tbCaption, tsCaption}};
    for (TLabel* l : boxes[today ? 0 : 1])
        l->SetText("0");
    boxes[today ? 1 : 0][0]->SetText(buy ? available : "0");
    boxes[today ? 1 : 0][1]->SetText(buy ? "0" : available);
    csCaption->SetText(total);
}

void TMainForm::fcclb2DblClick(TObject* sender)
{
    TListItem* row = OnlySelected(fcclb2);
    if (!row)
        return;
    ClosePosition(row->Caption(), SubItem(row, 0), SubItem(row, 1));
    fcclb2Click(sender);
    fhydmExit(sender);
}

void TMainForm::fcclbDblClick(TObject* sender)
{
    TListItem* row = OnlySelected(fcclb);
    if (!row)
        return;
    const std::string available = SubItem(row, 1);
    ClosePosition(row->Caption(), SubItem(row, 0), available);
    csCaption->SetText(available);
    PageControl1->SetActivePageIndex(mpOrder);
    fhydmExit(sender);
}

void TMainForm::CancelOrderDblClick(TListView* list, int statusColumn)
{
    TListItem* row = OnlySelected(list);
    if (!row || SubItem(row, statusColumn - 1) == "已撤单")
        return;
    int32_t number = 0;
    if (!ParsePlainInteger(row->Caption(), number))
        return;
    if (!AskYesNo("确实要撤单吗?"))
        return;
    Client->cdwth = number;
    const TOrderReply cancelled = Client->WTCD();
    if (cancelled == TOrderReply::Accepted)
        ShowInformation("撤单成功");
    else if (cancelled == TOrderReply::Unanswered)
        ShowInformation(kConnectionFailed);
    Client->CXWT();
}
