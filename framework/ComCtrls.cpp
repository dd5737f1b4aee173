#include "framework/ComCtrls.h"

#include <algorithm>
#include <unordered_map>

#include "framework/CodePage.h"
#include "framework/Exception.h"
#include "framework/Forms.h"

// ---- TTabSheet

TTabSheet::TTabSheet(TComponent* owner) : TWinControl(owner) { visible_ = false; }

TTabSheet::~TTabSheet()
{
    if (pageControl_)
        pageControl_->RemovePage(this);
}

void TTabSheet::SetPageControl(TPageControl* control)
{
    if (control == pageControl_)
        return;
    if (pageControl_)
        pageControl_->RemovePage(this);
    pageControl_ = control;
    SetParent(control);
    if (control)
        control->InsertPage(this);
}

int TTabSheet::PageIndex() const
{
    if (!pageControl_)
        return -1;
    auto& pages = pageControl_->pages_;
    return static_cast<int>(std::find(pages.begin(), pages.end(), this) - pages.begin());
}

void TTabSheet::SetText(const std::string& text)
{
    TWinControl::SetText(text);
    if (pageControl_)
        pageControl_->UpdateTab(this);
}

namespace {

// Inserts or renames one tab of a tab control; texts are GBK.
void SendTabText(HWND tabs, UINT message, WPARAM index, const std::string& text)
{
    std::wstring wide = GbkToWide(text);
    TCITEMW item{};
    item.mask = TCIF_TEXT;
    item.pszText = wide.data();
    SendMessageW(tabs, message, index, reinterpret_cast<LPARAM>(&item));
}

}  // namespace

// ---- TPageControl

TPageControl::TPageControl(TComponent* owner) : TWinControl(owner)
{
    tabStop_ = true;
    width_ = 289;
    height_ = 193;
}

void TPageControl::CreateParams(TCreateParams& p)
{
    TWinControl::CreateParams(p);
    p.WinClassName = WC_TABCONTROLW;
    p.Style |= WS_CLIPCHILDREN;
}

void TPageControl::CreateHandleDone()
{
    for (size_t i = 0; i < pages_.size(); ++i) {
        SendTabText(handle_, TCM_INSERTITEMW, i, pages_[i]->Text());
    }
    if (active_)
        SendMessageW(handle_, TCM_SETCURSEL, static_cast<WPARAM>(active_->PageIndex()), 0);
    PlaceSheets();
}

void TPageControl::InsertPage(TTabSheet* page)
{
    pages_.push_back(page);
    if (HandleAllocated()) {
        SendTabText(handle_, TCM_INSERTITEMW, pages_.size() - 1, page->Text());
    }
    if (!active_) {
        // The first page is selected from the start; that is no selection change.
        active_ = page;
        if (HandleAllocated())
            SendMessageW(handle_, TCM_SETCURSEL, 0, 0);
        page->TWinControl::SetVisible(true);
    }
    PlaceSheets();
}

void TPageControl::RemovePage(TTabSheet* page)
{
    auto it = std::find(pages_.begin(), pages_.end(), page);
    if (it == pages_.end())
        return;
    const int index = static_cast<int>(it - pages_.begin());
    pages_.erase(it);
    page->pageControl_ = nullptr;
    if (HandleAllocated())
        SendMessageW(handle_, TCM_DELETEITEM, static_cast<WPARAM>(index), 0);
    if (active_ == page) {
        active_ = nullptr;
        if (!pages_.empty())
            ChangeActivePage(pages_[static_cast<size_t>(std::min(index, PageCount() - 1))]);
    }
}

void TPageControl::UpdateTab(TTabSheet* page)
{
    if (!HandleAllocated())
        return;
    SendTabText(handle_, TCM_SETITEMW, static_cast<WPARAM>(page->PageIndex()), page->Text());
    PlaceSheets();
}

int TPageControl::ActivePageIndex() const { return active_ ? active_->PageIndex() : -1; }

void TPageControl::SetActivePageIndex(int index)
{
    if (index >= 0 && index < PageCount())
        ChangeActivePage(pages_[static_cast<size_t>(index)]);
}

void TPageControl::SetActivePage(TTabSheet* page)
{
    if (page && page->pageControl_ != this)
        return;
    ChangeActivePage(page);
}

void TPageControl::ChangeActivePage(TTabSheet* page)
{
    if (page == active_)
        return;
    TTabSheet* old = active_;
    active_ = page;
    if (HandleAllocated() && page)
        SendMessageW(handle_, TCM_SETCURSEL, static_cast<WPARAM>(page->PageIndex()), 0);
    PlaceSheets();
    if (page)
        page->SetVisible(true);
    if (old) {
        TCustomForm* form = ParentForm();
        const bool hadFocus = form && form->ActiveControl() && old->ContainsControl(form->ActiveControl());
        old->SetVisible(false);
        if (hadFocus && CanFocus() && HandleAllocated())
            SetFocus();
        if (old->OnHide)
            old->OnHide(old);
    }
    if (page && page->OnShow)
        page->OnShow(page);
}

RECT TPageControl::DisplayRect()
{
    RECT r = ClientRect();
    if (HandleAllocated())
        SendMessageW(handle_, TCM_ADJUSTRECT, FALSE, reinterpret_cast<LPARAM>(&r));
    else
        r = {4, 24, r.right - 4, r.bottom - 4};
    return r;
}

void TPageControl::PlaceSheets()
{
    const RECT r = DisplayRect();
    for (TTabSheet* p : pages_)
        p->SetBounds(r.left, r.top, std::max(0L, r.right - r.left), std::max(0L, r.bottom - r.top));
}

void TPageControl::WndProc(TMessage& m)
{
    if (m.Msg == CN_NOTIFY) {
        auto* hdr = reinterpret_cast<NMHDR*>(m.LParam);
        if (hdr->code == TCN_SELCHANGING) {
            bool allow = true;
            if (OnChanging)
                OnChanging(this, allow);
            m.Result = allow ? FALSE : TRUE;
            return;
        }
        if (hdr->code == TCN_SELCHANGE) {
            const int i = static_cast<int>(SendMessageW(handle_, TCM_GETCURSEL, 0, 0));
            if (i >= 0 && i < PageCount())
                ChangeActivePage(pages_[static_cast<size_t>(i)]);
            if (OnChange)
                OnChange(this);
            return;
        }
        return;
    }
    TWinControl::WndProc(m);
    if (m.Msg == WM_SIZE)
        PlaceSheets();
}

// ---- TTabControl

TTabControl::TTabControl(TComponent* owner) : TWinControl(owner)
{
    tabStop_ = true;
    width_ = 289;
    height_ = 193;
}

void TTabControl::CreateParams(TCreateParams& p)
{
    TWinControl::CreateParams(p);
    p.WinClassName = WC_TABCONTROLW;
    p.Style |= WS_CLIPCHILDREN;
}

void TTabControl::CreateHandleDone()
{
    for (size_t i = 0; i < tabs_.size(); ++i) {
        SendTabText(handle_, TCM_INSERTITEMW, i, tabs_[i]);
    }
    SendMessageW(handle_, TCM_SETCURSEL, static_cast<WPARAM>(tabIndex_), 0);
}

void TTabControl::AddTab(const std::string& text)
{
    tabs_.push_back(text);
    if (tabIndex_ < 0)
        tabIndex_ = 0;
    if (!HandleAllocated())
        return;
    SendTabText(handle_, TCM_INSERTITEMW, tabs_.size() - 1, text);
    SendMessageW(handle_, TCM_SETCURSEL, static_cast<WPARAM>(tabIndex_), 0);
}

void TTabControl::ClearTabs()
{
    tabs_.clear();
    tabIndex_ = -1;
    if (HandleAllocated())
        SendMessageW(handle_, TCM_DELETEALLITEMS, 0, 0);
}

int TTabControl::TabIndex()
{
    if (HandleAllocated())
        tabIndex_ = static_cast<int>(SendMessageW(handle_, TCM_GETCURSEL, 0, 0));
    return tabIndex_;
}

void TTabControl::SetTabIndex(int index)
{
    tabIndex_ = index >= 0 && index < TabCount() ? index : -1;
    if (HandleAllocated())
        SendMessageW(handle_, TCM_SETCURSEL, static_cast<WPARAM>(tabIndex_), 0);
}

RECT TTabControl::DisplayRect()
{
    RECT r = ClientRect();
    if (HandleAllocated())
        SendMessageW(handle_, TCM_ADJUSTRECT, FALSE, reinterpret_cast<LPARAM>(&r));
    return r;
}

void TTabControl::WndProc(TMessage& m)
{
    if (m.Msg == CN_NOTIFY) {
        if (reinterpret_cast<NMHDR*>(m.LParam)->code == TCN_SELCHANGE) {
            TabIndex();
            if (OnChange)
                OnChange(this);
        }
        return;
    }
    TWinControl::WndProc(m);
}

// ---- TStatusBar

TStatusBar::TStatusBar(TComponent* owner) : TWinControl(owner)
{
    align_ = TAlign::alBottom;
    height_ = 19;
}

void TStatusBar::CreateParams(TCreateParams& p)
{
    TWinControl::CreateParams(p);
    p.WinClassName = STATUSCLASSNAMEW;
    p.Style |= CCS_NOPARENTALIGN | CCS_NORESIZE | (SizeGrip ? SBARS_SIZEGRIP : 0);
}

void TStatusBar::CreateHandleDone() { UpdatePanels(); }

void TStatusBar::SetSimplePanel(bool value)
{
    simplePanel_ = value;
    UpdatePanels();
}

void TStatusBar::SetSimpleText(const std::string& text)
{
    simpleText_ = text;
    if (HandleAllocated() && simplePanel_)
        SendMessageW(handle_, SB_SETTEXTW, 255, reinterpret_cast<LPARAM>(GbkToWide(text).c_str()));
}

void TStatusBar::AddPanel(const std::string& text, int width)
{
    panels_.push_back({text, width});
    UpdatePanels();
}

void TStatusBar::SetPanelText(int index, const std::string& text)
{
    panels_.at(static_cast<size_t>(index)).Text = text;
    if (HandleAllocated() && !simplePanel_)
        SendMessageW(handle_, SB_SETTEXTW, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(GbkToWide(text).c_str()));
}

void TStatusBar::UpdatePanels()
{
    if (!HandleAllocated())
        return;
    SendMessageW(handle_, SB_SIMPLE, simplePanel_, 0);
    if (simplePanel_) {
        SendMessageW(handle_, SB_SETTEXTW, 255, reinterpret_cast<LPARAM>(GbkToWide(simpleText_).c_str()));
        return;
    }
    std::vector<int> edges;
    int x = 0;
    for (size_t i = 0; i < panels_.size(); ++i) {
        x += panels_[i].Width;
        edges.push_back(i + 1 == panels_.size() ? -1 : x);
    }
    if (edges.empty())
        edges.push_back(-1);
    SendMessageW(handle_, SB_SETPARTS, edges.size(), reinterpret_cast<LPARAM>(edges.data()));
    for (size_t i = 0; i < panels_.size(); ++i)
        SendMessageW(handle_, SB_SETTEXTW, i, reinterpret_cast<LPARAM>(GbkToWide(panels_[i].Text).c_str()));
}
