#include "framework/StdCtrls.h"

#include "framework/CodePage.h"
#include "framework/Exception.h"
#include "framework/ScopedWin.h"
#include "framework/StringList.h"

// ---- TItemList

int TItemList::Add(std::string text)
{
    Insert(Count(), std::move(text));
    return Count() - 1;
}

void TItemList::Insert(int index, std::string text)
{
    if (index < 0 || index > Count())
        throw Exception(Format("List index out of bounds (%d)", index));
    items_.insert(items_.begin() + index, std::move(text));
    if (owner_)
        owner_->ItemInserted(index);
}

void TItemList::Delete(int index)
{
    if (index < 0 || index >= Count())
        throw Exception(Format("List index out of bounds (%d)", index));
    items_.erase(items_.begin() + index);
    if (owner_)
        owner_->ItemDeleted(index);
}

void TItemList::Clear()
{
    items_.clear();
    if (owner_)
        owner_->ItemsCleared();
}

void TItemList::Set(int index, std::string text)
{
    Delete(index);
    Insert(index, std::move(text));
}

int TItemList::IndexOf(std::string_view text) const
{
    for (int i = 0; i < Count(); ++i)
        if (items_[static_cast<size_t>(i)] == text)
            return i;
    return -1;
}

std::string TItemList::Text() const
{
    std::string out;
    for (const auto& s : items_)
        out += s + "\r\n";
    return out;
}

void TItemList::SetText(std::string_view text)
{
    Clear();
    for (auto line : SplitLines(text))
        Add(std::string(line));
}

// ---- TCustomListControl

TCustomListControl::TCustomListControl(TComponent* owner) : TWinControl(owner)
{
    items_.owner_ = this;
    tabStop_ = true;
    color_ = clWindow;
    parentColor_ = false;
}

int TCustomListControl::ItemIndex()
{
    if (HandleAllocated())
        itemIndex_ = static_cast<int>(SendMessageW(handle_, GetSelMessage(), 0, 0));
    return itemIndex_;
}

void TCustomListControl::SetItemIndex(int index)
{
    itemIndex_ = index < items_.Count() ? index : -1;
    if (HandleAllocated())
        SendMessageW(handle_, SetSelMessage(), static_cast<WPARAM>(itemIndex_), 0);
}

void TCustomListControl::CreateHandleDone()
{
    for (int i = 0; i < items_.Count(); ++i)
        SendMessageW(handle_, InsertMessage(), static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(GbkToWide(items_[i]).c_str()));
    if (itemIndex_ >= 0)
        SendMessageW(handle_, SetSelMessage(), static_cast<WPARAM>(itemIndex_), 0);
}

void TCustomListControl::DestroyingHandle() { ItemIndex(); }

void TCustomListControl::ItemInserted(int index)
{
    if (HandleAllocated())
        SendMessageW(handle_, InsertMessage(), static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(GbkToWide(items_[index]).c_str()));
}

void TCustomListControl::ItemDeleted(int index)
{
    if (HandleAllocated())
        SendMessageW(handle_, DeleteMessage(), static_cast<WPARAM>(index), 0);
    if (itemIndex_ >= items_.Count())
        itemIndex_ = -1;
}

void TCustomListControl::ItemsCleared()
{
    itemIndex_ = -1;
    if (HandleAllocated())
        SendMessageW(handle_, ResetMessage(), 0, 0);
}

// ---- TLabel

TCustomLabel::TCustomLabel(TComponent* owner) : TWinControl(owner)
{
    width_ = 65;
    height_ = 13;
}

void TCustomLabel::CreateParams(TCreateParams& p)
{
    TWinControl::CreateParams(p);
    p.WinClassName = L"STATIC";
    p.Style |= SS_NOTIFY | (WordWrap ? 0 : SS_LEFTNOWORDWRAP);
    if (Alignment == TAlignment::taCenter) p.Style = (p.Style & ~SS_LEFTNOWORDWRAP) | SS_CENTER;
    if (Alignment == TAlignment::taRightJustify) p.Style = (p.Style & ~SS_LEFTNOWORDWRAP) | SS_RIGHT;
    if (Layout) p.Style |= SS_CENTERIMAGE;
}

void TCustomLabel::SetAutoSize(bool value)
{
    autoSize_ = value;
    AdjustSize();
}

void TCustomLabel::SetText(const std::string& text)
{
    TWinControl::SetText(text);
    AdjustSize();
}

void TCustomLabel::FontChanged()
{
    TWinControl::FontChanged();
    AdjustSize();
}

void TCustomLabel::AdjustSize()
{
    if (!autoSize_ || WordWrap)
        return;
    ScopedGetDC dc(nullptr);
    TCanvas c;
    c.SetHandle(dc);
    c.Font().Assign(font_);
    const std::string text = Text();
    SIZE s = c.TextExtent(text.empty() ? std::string(" ") : text);
    c.SetHandle(nullptr);
    SetBounds(left_, top_, text.empty() ? width_ : s.cx, s.cy);
}

void TCustomLabel::WndProc(TMessage& m)
{
    if (m.Msg == CN_COMMAND) {
        switch (HIWORD(m.WParam)) {
        case STN_CLICKED: Click(); return;
        case STN_DBLCLK: DblClick(); return;
        default: return;
        }
    }
    TWinControl::WndProc(m);
}

// ---- TCustomEdit

TCustomEdit::TCustomEdit(TComponent* owner) : TWinControl(owner)
{
    tabStop_ = true;
    color_ = clWindow;
    parentColor_ = false;
    width_ = 121;
    height_ = 21;
}

void TCustomEdit::CreateParams(TCreateParams& p)
{
    TWinControl::CreateParams(p);
    p.WinClassName = L"EDIT";
    p.Style |= ES_AUTOHSCROLL | (passwordChar_ ? ES_PASSWORD : 0) | (readOnly_ ? ES_READONLY : 0);
    if (borderStyle_ == TBorderStyle::bsSingle) {
        if (ctl3D_)
            p.ExStyle |= WS_EX_CLIENTEDGE;
        else
            p.Style |= WS_BORDER;
    }
}

void TCustomEdit::SetPasswordChar(char c)
{
    passwordChar_ = c;
    if (HandleAllocated()) {
        SendMessageW(handle_, EM_SETPASSWORDCHAR, static_cast<WPARAM>(static_cast<unsigned char>(c)), 0);
        Invalidate();
    }
}

void TCustomEdit::SetReadOnly(bool value)
{
    readOnly_ = value;
    if (HandleAllocated())
        SendMessageW(handle_, EM_SETREADONLY, value, 0);
}

void TCustomEdit::SetMaxLength(int value)
{
    maxLength_ = value;
    if (HandleAllocated())
        SendMessageW(handle_, EM_LIMITTEXT, static_cast<WPARAM>(value), 0);
}

void TCustomEdit::SetBorderStyle(TBorderStyle value)
{
    borderStyle_ = value;
    ApplyFrame();
}

void TCustomEdit::ApplyFrame()
{
    if (!HandleAllocated())
        return;
    LONG_PTR style = GetWindowLongPtrW(handle_, GWL_STYLE) & ~WS_BORDER;
    LONG_PTR ex = GetWindowLongPtrW(handle_, GWL_EXSTYLE) & ~WS_EX_CLIENTEDGE;
    if (borderStyle_ == TBorderStyle::bsSingle) {
        if (ctl3D_)
            ex |= WS_EX_CLIENTEDGE;
        else
            style |= WS_BORDER;
    }
    SetWindowLongPtrW(handle_, GWL_STYLE, style);
    SetWindowLongPtrW(handle_, GWL_EXSTYLE, ex);
    SetWindowPos(handle_, nullptr, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
}

int TCustomEdit::SelStart()
{
    DWORD start = 0;
    if (HandleAllocated())
        SendMessageW(handle_, EM_GETSEL, reinterpret_cast<WPARAM>(&start), 0);
    return static_cast<int>(start);
}

void TCustomEdit::SetSelStart(int value)
{
    if (HandleAllocated())
        SendMessageW(handle_, EM_SETSEL, static_cast<WPARAM>(value), value);
}

int TCustomEdit::SelLength()
{
    DWORD start = 0, end = 0;
    if (HandleAllocated())
        SendMessageW(handle_, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
    return static_cast<int>(end - start);
}

void TCustomEdit::SetSelLength(int value)
{
    if (!HandleAllocated())
        return;
    const int start = SelStart();
    SendMessageW(handle_, EM_SETSEL, static_cast<WPARAM>(start), start + value);
}

void TCustomEdit::SelectAll()
{
    if (HandleAllocated())
        SendMessageW(handle_, EM_SETSEL, 0, -1);
}

void TCustomEdit::Change()
{
    if (OnChange)
        OnChange(this);
}

void TCustomEdit::WndProc(TMessage& m)
{
    switch (m.Msg) {
    case CN_COMMAND:
        if (HIWORD(m.WParam) == EN_CHANGE)
            Change();
        return;
    case CM_CTL3DCHANGED:
        ApplyFrame();
        return;
    default:
        break;
    }
    TWinControl::WndProc(m);
}

// ---- TComboBox

TCustomComboBox::TCustomComboBox(TComponent* owner) : TCustomListControl(owner)
{
    width_ = 145;
    height_ = 21;
}

void TCustomComboBox::CreateParams(TCreateParams& p)
{
    TWinControl::CreateParams(p);
    p.WinClassName = L"COMBOBOX";
    p.Style |= WS_VSCROLL | CBS_AUTOHSCROLL;
    switch (style_) {
    case TComboBoxStyle::csDropDown: p.Style |= CBS_DROPDOWN; break;
    case TComboBoxStyle::csSimple: p.Style |= CBS_SIMPLE; break;
    case TComboBoxStyle::csDropDownList: p.Style |= CBS_DROPDOWNLIST; break;
    }
    // The window height includes the dropped-down list.
    p.Height = height_ + std::max(DropDownCount, 1) * 18 + 2;
}

void TCustomComboBox::SetStyle(TComboBoxStyle style)
{
    if (style == style_)
        return;
    style_ = style;
    RecreateWnd();
}

void TCustomComboBox::CreateHandleDone()
{
    TCustomListControl::CreateHandleDone();
    if (style_ != TComboBoxStyle::csDropDownList && itemIndex_ < 0)
        SetWindowTextW(handle_, GbkToWide(text_).c_str());
}

std::string TCustomComboBox::Text() const
{
    if (!handle_)
        return itemIndex_ >= 0 && style_ == TComboBoxStyle::csDropDownList ? items_[itemIndex_] : text_;
    const int n = GetWindowTextLengthW(handle_);
    std::wstring w(static_cast<size_t>(n) + 1, L'\0');
    GetWindowTextW(handle_, w.data(), n + 1);
    w.resize(static_cast<size_t>(n));
    return WideToGbk(w);
}

void TCustomComboBox::SetItemIndex(int index)
{
    TCustomListControl::SetItemIndex(index);
    if (itemIndex_ >= 0 && !handle_)
        text_ = items_[itemIndex_];
}

bool TCustomComboBox::DroppedDown() { return HandleAllocated() && SendMessageW(handle_, CB_GETDROPPEDSTATE, 0, 0) != 0; }

void TCustomComboBox::SetDroppedDown(bool value)
{
    if (HandleAllocated())
        SendMessageW(handle_, CB_SHOWDROPDOWN, value, 0);
}

void TCustomComboBox::Change()
{
    if (OnChange)
        OnChange(this);
}

void TCustomComboBox::WndProc(TMessage& m)
{
    if (m.Msg == CN_COMMAND) {
        switch (HIWORD(m.WParam)) {
        case CBN_SELCHANGE:
            if (style_ != TComboBoxStyle::csDropDownList) {
                // The edit shows the new item only after this notification.
                const int i = ItemIndex();
                if (i >= 0)
                    SetWindowTextW(handle_, GbkToWide(items_[i]).c_str());
            }
            Click();
            Change();
            return;
        case CBN_EDITCHANGE:
            Change();
            return;
        case CBN_DROPDOWN:
            if (OnDropDown) OnDropDown(this);
            return;
        case CBN_CLOSEUP:
            if (OnCloseUp) OnCloseUp(this);
            return;
        case CBN_SETFOCUS:
            if (TCustomForm* f = ParentForm())
                f->SetFocusedControl(this);
            return;
        default:
            return;
        }
    }
    TCustomListControl::WndProc(m);
}

// ---- TListBox

TCustomListBox::TCustomListBox(TComponent* owner) : TCustomListControl(owner)
{
    width_ = 121;
    height_ = 97;
}

void TCustomListBox::CreateParams(TCreateParams& p)
{
    TWinControl::CreateParams(p);
    p.WinClassName = L"LISTBOX";
    p.Style |= LBS_NOTIFY | WS_VSCROLL | LBS_NOINTEGRALHEIGHT;
    if (ctl3D_)
        p.ExStyle |= WS_EX_CLIENTEDGE;
    else
        p.Style |= WS_BORDER;
}

void TCustomListBox::WndProc(TMessage& m)
{
    if (m.Msg == CN_COMMAND) {
        switch (HIWORD(m.WParam)) {
        case LBN_SELCHANGE: Click(); return;
        case LBN_DBLCLK: DblClick(); return;
        default: return;
        }
    }
    TCustomListControl::WndProc(m);
}

// ---- buttons

TButtonControl::TButtonControl(TComponent* owner) : TWinControl(owner) { tabStop_ = true; }

void TButtonControl::WndProc(TMessage& m)
{
    if (m.Msg == CN_COMMAND) {
        if (HIWORD(m.WParam) == BN_CLICKED)
            Clicked();
        return;
    }
    TWinControl::WndProc(m);
}

TButton::TButton(TComponent* owner) : TButtonControl(owner)
{
    width_ = 75;
    height_ = 25;
}

void TButton::CreateParams(TCreateParams& p)
{
    TWinControl::CreateParams(p);
    p.WinClassName = L"BUTTON";
    p.Style |= default_ ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON;
}

void TButton::SetDefault(bool value)
{
    default_ = value;
    if (HandleAllocated())
        SendMessageW(handle_, BM_SETSTYLE, value ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON, TRUE);
}

void TButton::Click()
{
    if (TCustomForm* form = ParentForm(); form && ModalResult != mrNone)
        form->SetModalResult(ModalResult);
    TButtonControl::Click();
}

void TButton::WndProc(TMessage& m)
{
    if (m.Msg == CM_DIALOGKEY) {
        const bool mine = (m.WParam == VK_RETURN && default_) || (m.WParam == VK_ESCAPE && Cancel);
        if (mine && CanFocus()) {
            Click();
            m.Result = 1;
        }
        return;
    }
    TButtonControl::WndProc(m);
}

TCustomCheckBox::TCustomCheckBox(TComponent* owner) : TButtonControl(owner)
{
    width_ = 97;
    height_ = 17;
}

void TCustomCheckBox::CreateParams(TCreateParams& p)
{
    TWinControl::CreateParams(p);
    p.WinClassName = L"BUTTON";
    p.Style |= AllowGrayed ? BS_3STATE : BS_CHECKBOX;
    if (Alignment == TAlignment::taLeftJustify)
        p.Style |= BS_LEFTTEXT;
}

void TCustomCheckBox::CreateHandleDone()
{
    SendMessageW(handle_, BM_SETCHECK, static_cast<WPARAM>(state_), 0);
}

void TCustomCheckBox::SetState(TCheckBoxState state)
{
    if (state == state_)
        return;
    state_ = state;
    if (HandleAllocated())
        SendMessageW(handle_, BM_SETCHECK, static_cast<WPARAM>(state), 0);
    Click();
}

void TCustomCheckBox::Clicked()
{
    // The box is not automatic: the framework owns the state, so code and clicks agree.
    switch (state_) {
    case TCheckBoxState::cbUnchecked: SetState(AllowGrayed ? TCheckBoxState::cbGrayed : TCheckBoxState::cbChecked); break;
    case TCheckBoxState::cbGrayed: SetState(TCheckBoxState::cbChecked); break;
    case TCheckBoxState::cbChecked: SetState(TCheckBoxState::cbUnchecked); break;
    }
}

TRadioButton::TRadioButton(TComponent* owner) : TButtonControl(owner)
{
    tabStop_ = false;  // only the checked button of a group is a tab stop
    width_ = 113;
    height_ = 17;
}

void TRadioButton::CreateParams(TCreateParams& p)
{
    TWinControl::CreateParams(p);
    p.WinClassName = L"BUTTON";
    p.Style |= BS_RADIOBUTTON;
    if (Alignment == TAlignment::taLeftJustify)
        p.Style |= BS_LEFTTEXT;
}

void TRadioButton::CreateHandleDone()
{
    SendMessageW(handle_, BM_SETCHECK, checked_ ? BST_CHECKED : BST_UNCHECKED, 0);
}

void TRadioButton::SetChecked(bool value)
{
    if (value == checked_)
        return;
    checked_ = value;
    SetTabStop(value);
    if (HandleAllocated())
        SendMessageW(handle_, BM_SETCHECK, value ? BST_CHECKED : BST_UNCHECKED, 0);
    if (!value)
        return;
    if (parent_)
        for (int i = 0; i < parent_->ControlCount(); ++i)
            if (auto* r = dynamic_cast<TRadioButton*>(parent_->Controls(i)); r && r != this)
                r->SetChecked(false);
    Click();
}

void TRadioButton::Clicked() { SetChecked(true); }

// ---- TCustomGroupBox

TCustomGroupBox::TCustomGroupBox(TComponent* owner) : TWinControl(owner)
{
    width_ = 185;
    height_ = 105;
}

void TCustomGroupBox::Paint(TCanvas& canvas)
{
    RECT r = ClientRect();
    const std::string text = Text();
    const int h = canvas.TextHeight(text.empty() ? std::string(" ") : text);
    RECT frame{r.left, r.top + h / 2, r.right, r.bottom};
    DrawEdge(canvas.Handle(), &frame, ctl3D_ ? EDGE_ETCHED : BDR_SUNKENOUTER, BF_RECT);
    if (text.empty())
        return;
    canvas.Brush().SetColor(color_);
    canvas.Font().Assign(font_);
    const int w = canvas.TextWidth(text);
    RECT caption{8, 0, 8 + w + 2, h};
    canvas.FillRect(caption);
    canvas.TextOut(9, 0, text);
}

void TCustomGroupBox::WndProc(TMessage& m)
{
    if (m.Msg == CM_TEXTCHANGED || m.Msg == CM_FONTCHANGED)
        Invalidate();
    TWinControl::WndProc(m);
}
