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
        std::wstring text = GbkToWide(pages_[i]->Text());
        TCITEMW item{};
        item.mask = TCIF_TEXT;
        item.pszText = text.data();
        SendMessageW(handle_, TCM_INSERTITEMW, i, reinterpret_cast<LPARAM>(&item));
    }
    if (active_)
        SendMessageW(handle_, TCM_SETCURSEL, static_cast<WPARAM>(active_->PageIndex()), 0);
    PlaceSheets();
}

void TPageControl::InsertPage(TTabSheet* page)
{
    pages_.push_back(page);
    if (HandleAllocated()) {
        std::wstring text = GbkToWide(page->Text());
        TCITEMW item{};
        item.mask = TCIF_TEXT;
        item.pszText = text.data();
        SendMessageW(handle_, TCM_INSERTITEMW, pages_.size() - 1, reinterpret_cast<LPARAM>(&item));
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
    std::wstring text = GbkToWide(page->Text());
    TCITEMW item{};
    item.mask = TCIF_TEXT;
    item.pszText = text.data();
    SendMessageW(handle_, TCM_SETITEMW, static_cast<WPARAM>(page->PageIndex()), reinterpret_cast<LPARAM>(&item));
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

// ---- list view model

void TListColumn::SetCaption(const std::string& caption)
{
    caption_ = caption;
    if (view_ && view_->HandleAllocated())
        view_->UpdateNativeColumn(*this);
}

int TListColumn::Width() const
{
    if (view_ && view_->HandleAllocated())
        return static_cast<int>(SendMessageW(view_->handle_, LVM_GETCOLUMNWIDTH, static_cast<WPARAM>(index_), 0));
    return width_;
}

void TListColumn::SetWidth(int width)
{
    width_ = width;
    if (view_ && view_->HandleAllocated()) {
        SendMessageW(view_->handle_, LVM_SETCOLUMNWIDTH, static_cast<WPARAM>(index_), width);
        view_->ColumnsChanged();
    }
}

void TListColumn::SetAlignment(TAlignment alignment)
{
    alignment_ = alignment;
    if (view_ && view_->HandleAllocated())
        view_->UpdateNativeColumn(*this);
}

TListColumn& TListColumns::Add()
{
    auto c = std::make_unique<TListColumn>();
    c->view_ = view_;
    c->index_ = Count();
    columns_.push_back(std::move(c));
    TListColumn& column = *columns_.back();
    if (view_->HandleAllocated()) {
        view_->InsertNativeColumn(column);
        view_->ColumnsChanged();
    }
    return column;
}

void TListColumns::Clear()
{
    if (view_->HandleAllocated())
        for (int i = Count() - 1; i >= 0; --i)
            SendMessageW(view_->handle_, LVM_DELETECOLUMN, static_cast<WPARAM>(i), 0);
    columns_.clear();
}

int TSubItems::Add(std::string text)
{
    texts_.push_back(std::move(text));
    item_->Changed();
    return Count() - 1;
}

void TSubItems::Set(int index, std::string text)
{
    texts_.at(static_cast<size_t>(index)) = std::move(text);
    item_->Changed();
}

void TSubItems::Delete(int index)
{
    texts_.erase(texts_.begin() + index);
    item_->Changed();
}

void TSubItems::Clear()
{
    texts_.clear();
    item_->Changed();
}

void TListItem::SetCaption(const std::string& caption)
{
    caption_ = caption;
    Changed();
}

void TListItem::Changed()
{
    if (view_)
        view_->RedrawItem(*this);
}

bool TListItem::Selected() const
{
    return view_->HandleAllocated() &&
           (SendMessageW(view_->handle_, LVM_GETITEMSTATE, static_cast<WPARAM>(index_), LVIS_SELECTED) & LVIS_SELECTED);
}

void TListItem::SetSelected(bool value)
{
    if (!view_->HandleAllocated())
        return;
    LVITEMW it{};
    it.stateMask = LVIS_SELECTED;
    it.state = value ? LVIS_SELECTED : 0;
    SendMessageW(view_->handle_, LVM_SETITEMSTATE, static_cast<WPARAM>(index_), reinterpret_cast<LPARAM>(&it));
}

bool TListItem::Focused() const
{
    return view_->HandleAllocated() &&
           (SendMessageW(view_->handle_, LVM_GETITEMSTATE, static_cast<WPARAM>(index_), LVIS_FOCUSED) & LVIS_FOCUSED);
}

void TListItem::SetFocused(bool value)
{
    if (!view_->HandleAllocated())
        return;
    LVITEMW it{};
    it.stateMask = LVIS_FOCUSED;
    it.state = value ? LVIS_FOCUSED : 0;
    SendMessageW(view_->handle_, LVM_SETITEMSTATE, static_cast<WPARAM>(index_), reinterpret_cast<LPARAM>(&it));
}

void TListItem::MakeVisible()
{
    if (view_->HandleAllocated())
        SendMessageW(view_->handle_, LVM_ENSUREVISIBLE, static_cast<WPARAM>(index_), FALSE);
}

RECT TListItem::DisplayRect(int code) const
{
    RECT r{code, 0, 0, 0};
    if (!view_->HandleAllocated() || !SendMessageW(view_->handle_, LVM_GETITEMRECT, static_cast<WPARAM>(index_), reinterpret_cast<LPARAM>(&r)))
        r = {0, 0, 0, 0};
    return r;
}

void TListItem::Delete() { view_->Items().Delete(index_); }

TListItem* TListItems::Add() { return Insert(Count()); }

TListItem* TListItems::Insert(int index)
{
    if (index < 0 || index > Count())
        throw Exception(Format("List index out of bounds (%d)", index));
    auto item = std::make_unique<TListItem>();
    item->view_ = view_;
    item->subItems_.item_ = item.get();
    item->index_ = index;
    TListItem* raw = item.get();
    items_.insert(items_.begin() + index, std::move(item));
    if (index + 1 < Count())
        Renumber(index + 1);
    if (view_->HandleAllocated())
        view_->InsertNativeItem(*raw);
    return raw;
}

void TListItems::Delete(int index)
{
    if (index < 0 || index >= Count())
        throw Exception(Format("List index out of bounds (%d)", index));
    if (view_->HandleAllocated())
        SendMessageW(view_->handle_, LVM_DELETEITEM, static_cast<WPARAM>(index), 0);
    items_.erase(items_.begin() + index);
    Renumber(index);
}

void TListItems::Clear()
{
    if (view_->HandleAllocated())
        SendMessageW(view_->handle_, LVM_DELETEALLITEMS, 0, 0);
    items_.clear();
}

void TListItems::Renumber(int from)
{
    for (int i = from; i < Count(); ++i)
        items_[static_cast<size_t>(i)]->index_ = i;
}

void TListItems::BeginUpdate()
{
    if (view_->updating_++ == 0 && view_->HandleAllocated())
        SendMessageW(view_->handle_, WM_SETREDRAW, FALSE, 0);
}

void TListItems::EndUpdate()
{
    if (view_->updating_ == 0 || --view_->updating_ != 0 || !view_->HandleAllocated())
        return;
    SendMessageW(view_->handle_, WM_SETREDRAW, TRUE, 0);
    view_->Invalidate();
}

// ---- TListView

TListView::TListView(TComponent* owner) : TWinControl(owner)
{
    columns_.view_ = this;
    items_.view_ = this;
    tabStop_ = true;
    color_ = clWindow;
    parentColor_ = false;
    width_ = 250;
    height_ = 150;
}

TListView::~TListView()
{
    // The window asks the model for texts until it is gone.
    if (HandleAllocated())
        DestroyWnd();
}

void TListView::CreateParams(TCreateParams& p)
{
    TWinControl::CreateParams(p);
    p.WinClassName = WC_LISTVIEWW;
    switch (viewStyle_) {
    case TViewStyle::vsIcon: p.Style |= LVS_ICON; break;
    case TViewStyle::vsSmallIcon: p.Style |= LVS_SMALLICON; break;
    case TViewStyle::vsList: p.Style |= LVS_LIST; break;
    case TViewStyle::vsReport: p.Style |= LVS_REPORT; break;
    }
    p.Style |= LVS_SHAREIMAGELISTS | (HideSelection ? 0 : LVS_SHOWSELALWAYS) | (MultiSelect ? 0 : LVS_SINGLESEL) |
               (ReadOnly ? 0 : LVS_EDITLABELS);
    if (ctl3D_)
        p.ExStyle |= WS_EX_CLIENTEDGE;
    else
        p.Style |= WS_BORDER;
}

void TListView::CreateHandleDone()
{
    ApplyExtendedStyle();
    ColorChanged();
    for (auto& c : columns_.columns_)
        InsertNativeColumn(*c);
    SendMessageW(handle_, LVM_SETITEMCOUNT, static_cast<WPARAM>(items_.Count()), 0);
    for (auto& i : items_.items_)
        InsertNativeItem(*i);
    if (columns_.Count() > 0)
        ColumnsChanged();
}

void TListView::SetViewStyle(TViewStyle style)
{
    viewStyle_ = style;
    if (!HandleAllocated())
        return;
    LONG_PTR s = GetWindowLongPtrW(handle_, GWL_STYLE) & ~LVS_TYPEMASK;
    static const LONG_PTR kinds[] = {LVS_ICON, LVS_SMALLICON, LVS_LIST, LVS_REPORT};
    SetWindowLongPtrW(handle_, GWL_STYLE, s | kinds[static_cast<int>(style)]);
}

void TListView::SetRowSelect(bool value)
{
    rowSelect_ = value;
    ApplyExtendedStyle();
}

void TListView::SetGridLines(bool value)
{
    gridLines_ = value;
    ApplyExtendedStyle();
}

void TListView::ApplyExtendedStyle()
{
    if (!HandleAllocated())
        return;
    const DWORD mask = LVS_EX_FULLROWSELECT | LVS_EX_GRIDLINES;
    const DWORD ex = (rowSelect_ ? LVS_EX_FULLROWSELECT : 0) | (gridLines_ ? LVS_EX_GRIDLINES : 0);
    SendMessageW(handle_, LVM_SETEXTENDEDLISTVIEWSTYLE, mask, ex);
}

void TListView::ColorChanged()
{
    TWinControl::ColorChanged();
    if (!HandleAllocated())
        return;
    SendMessageW(handle_, LVM_SETBKCOLOR, 0, ColorToRGB(color_));
    SendMessageW(handle_, LVM_SETTEXTBKCOLOR, 0, ColorToRGB(color_));
    SendMessageW(handle_, LVM_SETTEXTCOLOR, 0, ColorToRGB(font_.Color()));
}

namespace {

int ColumnFormat(const TListColumn& c)
{
    if (c.Index() == 0)
        return LVCFMT_LEFT;  // the first column is always left-aligned
    switch (c.Alignment()) {
    case TAlignment::taRightJustify: return LVCFMT_RIGHT;
    case TAlignment::taCenter: return LVCFMT_CENTER;
    default: return LVCFMT_LEFT;
    }
}

}  // namespace

void TListView::InsertNativeColumn(TListColumn& column)
{
    std::wstring text = GbkToWide(column.caption_);
    LVCOLUMNW lc{};
    lc.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT | LVCF_SUBITEM;
    lc.fmt = ColumnFormat(column);
    lc.cx = column.width_;
    lc.pszText = text.data();
    lc.iSubItem = column.index_;
    SendMessageW(handle_, LVM_INSERTCOLUMNW, static_cast<WPARAM>(column.index_), reinterpret_cast<LPARAM>(&lc));
}

void TListView::UpdateNativeColumn(TListColumn& column)
{
    std::wstring text = GbkToWide(column.caption_);
    LVCOLUMNW lc{};
    lc.mask = LVCF_FMT | LVCF_TEXT;
    lc.fmt = ColumnFormat(column);
    lc.pszText = text.data();
    SendMessageW(handle_, LVM_SETCOLUMNW, static_cast<WPARAM>(column.index_), reinterpret_cast<LPARAM>(&lc));
    ColumnsChanged();
}

void TListView::InsertNativeItem(TListItem& item)
{
    LVITEMW it{};
    it.mask = LVIF_TEXT | LVIF_PARAM;
    it.iItem = item.index_;
    it.pszText = LPSTR_TEXTCALLBACKW;
    it.lParam = reinterpret_cast<LPARAM>(&item);
    SendMessageW(handle_, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&it));
}

void TListView::RedrawItem(const TListItem& item)
{
    if (HandleAllocated() && updating_ == 0)
        SendMessageW(handle_, LVM_REDRAWITEMS, static_cast<WPARAM>(item.index_), item.index_);
}

bool TListView::CustomSort(const TLVCompare& compare, intptr_t data)
{
    if (!HandleAllocated()) {
        std::stable_sort(items_.items_.begin(), items_.items_.end(),
                         [&](const auto& a, const auto& b) { return compare(a.get(), b.get(), data) < 0; });
        items_.Renumber(0);
        return true;
    }
    struct Context {
        const TLVCompare& compare;
        intptr_t data;
        std::exception_ptr error;
    } context{compare, data, nullptr};
    auto callback = [](LPARAM a, LPARAM b, LPARAM c) -> int CALLBACK {
        auto* ctx = reinterpret_cast<Context*>(c);
        if (ctx->error)
            return 0;
        try {
            return ctx->compare(reinterpret_cast<TListItem*>(a), reinterpret_cast<TListItem*>(b), ctx->data);
        } catch (...) {
            // Nothing may cross the control's frames; the first failure is raised after the sort.
            ctx->error = std::current_exception();
            return 0;
        }
    };
    const bool ok = SendMessageW(handle_, LVM_SORTITEMS, reinterpret_cast<WPARAM>(&context),
                                 reinterpret_cast<LPARAM>(static_cast<PFNLVCOMPARE>(callback))) != 0;
    SyncOrderFromControl();
    if (context.error)
        std::rethrow_exception(context.error);
    return ok;
}

void TListView::SyncOrderFromControl()
{
    const int n = items_.Count();
    std::unordered_map<TListItem*, size_t> position;
    position.reserve(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i)
        position[items_.items_[static_cast<size_t>(i)].get()] = static_cast<size_t>(i);
    std::vector<std::unique_ptr<TListItem>> sorted;
    sorted.reserve(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) {
        LVITEMW it{};
        it.mask = LVIF_PARAM;
        it.iItem = i;
        SendMessageW(handle_, LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&it));
        auto found = position.find(reinterpret_cast<TListItem*>(it.lParam));
        if (found == position.end() || !items_.items_[found->second])
            return;  // the control and the model disagree: keep the model as it was
        sorted.push_back(std::move(items_.items_[found->second]));
    }
    items_.items_ = std::move(sorted);
    items_.Renumber(0);
}

TListItem* TListView::Selected() const
{
    if (!handle_)
        return nullptr;
    const int i = static_cast<int>(SendMessageW(handle_, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
    return i >= 0 && i < items_.Count() ? items_[i] : nullptr;
}

int TListView::SelCount() const
{
    return handle_ ? static_cast<int>(SendMessageW(handle_, LVM_GETSELECTEDCOUNT, 0, 0)) : 0;
}

TListItem* TListView::ItemFocused() const
{
    if (!handle_)
        return nullptr;
    const int i = static_cast<int>(SendMessageW(handle_, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_FOCUSED));
    return i >= 0 && i < items_.Count() ? items_[i] : nullptr;
}

TListItem* TListView::TopItem() const
{
    if (!handle_ || items_.Count() == 0)
        return nullptr;
    const int i = static_cast<int>(SendMessageW(handle_, LVM_GETTOPINDEX, 0, 0));
    return i >= 0 && i < items_.Count() ? items_[i] : nullptr;
}

HWND TListView::HeaderHandle()
{
    return reinterpret_cast<HWND>(SendMessageW(Handle(), LVM_GETHEADER, 0, 0));
}

LRESULT TListView::Notify(NMHDR& hdr)
{
    switch (hdr.code) {
    case LVN_GETDISPINFOW:
    case LVN_GETDISPINFOA: {
        auto& di = reinterpret_cast<NMLVDISPINFOW&>(hdr);
        if (!(di.item.mask & LVIF_TEXT) || di.item.cchTextMax <= 0)
            return 0;
        auto* item = reinterpret_cast<TListItem*>(di.item.lParam);
        if (!item && di.item.iItem >= 0 && di.item.iItem < items_.Count())
            item = items_[di.item.iItem];
        static const std::string empty;
        const std::string* text = &empty;
        if (item) {
            if (di.item.iSubItem == 0)
                text = &item->caption_;
            else if (di.item.iSubItem - 1 < item->subItems_.Count())
                text = &item->subItems_.texts_[static_cast<size_t>(di.item.iSubItem - 1)];
        }
        if (hdr.code == LVN_GETDISPINFOA) {
            lstrcpynA(reinterpret_cast<LPSTR>(di.item.pszText), text->c_str(), di.item.cchTextMax);
        } else {
            dispText_ = GbkToWide(*text);
            lstrcpynW(di.item.pszText, dispText_.c_str(), di.item.cchTextMax);
        }
        return 0;
    }
    case NM_CLICK:
        Click();
        return 0;
    case NM_DBLCLK:
        DblClick();
        return 0;
    case LVN_COLUMNCLICK: {
        auto& nm = reinterpret_cast<NMLISTVIEW&>(hdr);
        if (OnColumnClick && nm.iSubItem >= 0 && nm.iSubItem < columns_.Count())
            OnColumnClick(this, columns_[nm.iSubItem]);
        return 0;
    }
    case LVN_ITEMCHANGED: {
        auto& nm = reinterpret_cast<NMLISTVIEW&>(hdr);
        if (OnSelectItem && (nm.uChanged & LVIF_STATE) && ((nm.uOldState ^ nm.uNewState) & LVIS_SELECTED) &&
            nm.iItem >= 0 && nm.iItem < items_.Count())
            OnSelectItem(this, items_[nm.iItem], (nm.uNewState & LVIS_SELECTED) != 0);
        return 0;
    }
    case NM_CUSTOMDRAW: {
        auto& cd = reinterpret_cast<NMLVCUSTOMDRAW&>(hdr);
        if (cd.nmcd.dwDrawStage != CDDS_PREPAINT || !OnCustomDraw)
            return CDRF_DODEFAULT;
        canvas_.SetHandle(cd.nmcd.hdc);
        bool defaultDraw = true;
        try {
            OnCustomDraw(this, cd.nmcd.rc, defaultDraw);
        } catch (...) {
            canvas_.SetHandle(nullptr);
            throw;
        }
        canvas_.SetHandle(nullptr);
        return defaultDraw ? CDRF_DODEFAULT : CDRF_SKIPDEFAULT;
    }
    default:
        return 0;
    }
}

void TListView::WndProc(TMessage& m)
{
    if (m.Msg == CN_NOTIFY) {
        m.Result = Notify(*reinterpret_cast<NMHDR*>(m.LParam));
        return;
    }
    TWinControl::WndProc(m);
}
