#include "framework/Controls.h"

#include <windows.h>
#include <commctrl.h>
#include <windowsx.h>

#include <algorithm>

#include "framework/CodePage.h"
#include "framework/Exception.h"
#include "framework/ExceptionBoundary.h"
#include "framework/Forms.h"
#include "framework/Menus.h"

namespace {

// A window finds its control without a lookup table: a window of the framework's own class
// keeps it in its user data from WM_NCCREATE on; a system control the framework subclasses
// keeps it as the reference data of its subclass.
ATOM ownClassAtom = 0;
constexpr UINT_PTR kControlSubclassId = 1;

UINT nextControlId = 100;

bool IsOwnClass(HWND window) { return ownClassAtom && GetClassLongPtrW(window, GCW_ATOM) == ownClassAtom; }

LRESULT RunWindowProc(TWinControl* control, UINT msg, WPARAM wparam, LPARAM lparam)
{
    TMessage message{msg, wparam, lparam, 0};
    GuardedCall([&] {
        // A copy: a subclasser may put the old WindowProc back (or free itself) while it runs.
        const TWndMethod proc = control->WindowProc;
        proc(message);
    });
    return message.Result;
}

LRESULT CALLBACK ControlSubclassProc(HWND, UINT msg, WPARAM wparam, LPARAM lparam, UINT_PTR, DWORD_PTR control)
{
    return RunWindowProc(reinterpret_cast<TWinControl*>(control), msg, wparam, lparam);
}

}  // namespace

TShiftState KeyboardShiftState()
{
    TShiftState s = 0;
    if (GetKeyState(VK_SHIFT) < 0) s |= ssShift;
    if (GetKeyState(VK_CONTROL) < 0) s |= ssCtrl;
    if (GetKeyState(VK_MENU) < 0) s |= ssAlt;
    return s;
}

TShiftState KeysToShiftState(WPARAM keys)
{
    TShiftState s = 0;
    if (keys & MK_SHIFT) s |= ssShift;
    if (keys & MK_CONTROL) s |= ssCtrl;
    if (keys & MK_LBUTTON) s |= ssLeft;
    if (keys & MK_RBUTTON) s |= ssRight;
    if (keys & MK_MBUTTON) s |= ssMiddle;
    if (GetKeyState(VK_MENU) < 0) s |= ssAlt;
    return s;
}

LRESULT CALLBACK ControlWindowProc(HWND window, UINT msg, WPARAM wparam, LPARAM lparam)
{
    if (msg == WM_NCCREATE) {
        // CreateWnd passes the control as the creation parameter.
        if (auto* control = static_cast<TWinControl*>(reinterpret_cast<CREATESTRUCTW*>(lparam)->lpCreateParams))
            control->Bind(window);
    }
    auto* control = reinterpret_cast<TWinControl*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (!control)
        return DefWindowProcW(window, msg, wparam, lparam);
    return RunWindowProc(control, msg, wparam, lparam);
}

const wchar_t* FrameworkWindowClass()
{
    static const wchar_t* name = [] {
        WNDCLASSEXW wc{};
        wc.cbSize = sizeof(wc);
        wc.style = CS_DBLCLKS;
        wc.lpfnWndProc = ControlWindowProc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);  // a system cursor: the A and W forms are one
        wc.lpszClassName = L"VidudoWindow";
        ownClassAtom = RegisterClassExW(&wc);
        return L"VidudoWindow";
    }();
    return name;
}

// ---- TControl

TControl::TControl(TComponent* owner) : TComponent(owner)
{
    WindowProc = [this](TMessage& m) { WndProc(m); };
    font_.OnChange = [this] { FontChanged(); };
}

TControl::~TControl()
{
    font_.OnChange = nullptr;
    if (parent_)
        parent_->RemoveControl(this);
}

void TControl::SetParent(TWinControl* parent)
{
    if (parent == parent_)
        return;
    if (parent_)
        parent_->RemoveControl(this);
    if (parent)
        parent->InsertControl(this);
}

void TControl::SetBounds(int left, int top, int width, int height)
{
    left_ = left;
    top_ = top;
    width_ = width;
    height_ = height;
}

RECT TControl::ClientRect() { return {0, 0, width_, height_}; }

void TControl::SetAlign(TAlign align)
{
    align_ = align;
    if (parent_)
        parent_->AlignControls();
}

void TControl::SetVisible(bool visible) { visible_ = visible; }

bool TControl::Showing() const
{
    for (const TControl* c = this; c; c = c->parent_)
        if (!c->visible_)
            return false;
    return true;
}

void TControl::SetEnabled(bool enabled) { enabled_ = enabled; }

void TControl::SetColor(TColor color)
{
    if (!followingParent_)
        parentColor_ = false;
    if (color == color_)
        return;
    color_ = color;
    ColorChanged();
}

void TControl::SetParentColor(bool value)
{
    parentColor_ = value;
    if (value)
        ParentColorChanged();
}

void TControl::SetParentFont(bool value)
{
    parentFont_ = value;
    if (value)
        ParentFontChanged();
}

void TControl::ParentFontChanged()
{
    if (!parentFont_ || !parent_)
        return;
    followingParent_ = true;
    font_.Assign(parent_->Font());
    followingParent_ = false;
}

void TControl::ParentColorChanged()
{
    if (!parentColor_ || !parent_)
        return;
    followingParent_ = true;
    SetColor(parent_->Color());
    followingParent_ = false;
}

void TControl::FontChanged()
{
    if (!followingParent_)
        parentFont_ = false;
    Perform(CM_FONTCHANGED);
}

void TControl::ColorChanged() { Perform(CM_COLORCHANGED); }

void TControl::SetText(const std::string& text)
{
    text_ = text;
    Perform(CM_TEXTCHANGED);
}

LRESULT TControl::Perform(UINT msg, WPARAM wparam, LPARAM lparam)
{
    TMessage m{msg, wparam, lparam, 0};
    const TWndMethod proc = WindowProc;  // see ControlWindowProc
    proc(m);
    return m.Result;
}

void TControl::Invalidate() {}
void TControl::Repaint() { Invalidate(); }

TCustomForm* TControl::ParentForm() const
{
    const TControl* c = this;
    while (c->parent_)
        c = c->parent_;
    return const_cast<TCustomForm*>(dynamic_cast<const TCustomForm*>(c));
}

void TControl::Click()
{
    if (OnClick)
        OnClick(this);
}

void TControl::DblClick()
{
    if (OnDblClick)
        OnDblClick(this);
}

void TControl::WndProc(TMessage& message)
{
    switch (message.Msg) {
    case CM_MOUSEENTER:
        if (OnMouseEnter) OnMouseEnter(this);
        return;
    case CM_MOUSELEAVE:
        if (OnMouseLeave) OnMouseLeave(this);
        return;
    default:
        break;
    }
    DefaultHandler(message);
}

void TControl::DefaultHandler(TMessage& message) {}

// ---- TWinControl

TWinControl::TWinControl(TComponent* owner) : TControl(owner) {}

TWinControl::~TWinControl()
{
    if (TCustomForm* form = ParentForm(); form && form != static_cast<TControl*>(this))
        form->ControlDestroyed(this);
    if (Application)
        Application->ControlDestroyed(this);
    destroying_ = true;
    // Children parented here but owned elsewhere must not keep a dangling parent.
    while (!controls_.empty())
        controls_.back()->SetParent(nullptr);
    if (handle_)
        DestroyWnd();
}

TWinControl* TWinControl::FromHandle(HWND window)
{
    if (!window)
        return nullptr;
    if (IsOwnClass(window))
        return reinterpret_cast<TWinControl*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    DWORD_PTR control = 0;
    return GetWindowSubclass(window, ControlSubclassProc, kControlSubclassId, &control)
               ? reinterpret_cast<TWinControl*>(control)
               : nullptr;
}

TWinControl* TWinControl::FindOwningControl(HWND window)
{
    HWND desktop = GetDesktopWindow();
    while (window && window != desktop) {
        if (auto* c = FromHandle(window))
            return c;
        window = GetAncestor(window, GA_PARENT);
    }
    return nullptr;
}

HWND TWinControl::Handle()
{
    if (!handle_)
        CreateWnd();
    return handle_;
}

void TWinControl::CreateParams(TCreateParams& p)
{
    p.Caption = GbkToWide(text_);
    p.Style = WS_CHILD | WS_CLIPSIBLINGS;
    if (visible_) p.Style |= WS_VISIBLE;
    if (!enabled_) p.Style |= WS_DISABLED;
    if (tabStop_) p.Style |= WS_TABSTOP;
    p.X = left_;
    p.Y = top_;
    p.Width = width_;
    p.Height = height_;
}

void TWinControl::CreateWnd()
{
    TCreateParams p;
    CreateParams(p);
    if (!p.WndParent && parent_)
        p.WndParent = parent_->Handle();
    if (handle_)  // the parent's creation created this one already
        return;
    if ((p.Style & WS_CHILD) && !p.WndParent)
        throw Exception(Format("Control '%s' has no parent window", Name().c_str()));
    const bool own = p.WinClassName.empty();
    if (own)
        p.Style |= WS_CLIPCHILDREN;  // our containers paint their background, never over children
    const wchar_t* cls = own ? FrameworkWindowClass() : p.WinClassName.c_str();
    HMENU id = (p.Style & WS_CHILD) ? reinterpret_cast<HMENU>(static_cast<UINT_PTR>(nextControlId++ & 0x7FFF)) : nullptr;
    // Our own class binds at WM_NCCREATE, so WM_NCCREATE and WM_CREATE reach the control.
    HWND h = CreateWindowExW(p.ExStyle, cls, p.Caption.c_str(), p.Style, p.X, p.Y, p.Width, p.Height, p.WndParent, id,
                             GetModuleHandleW(nullptr), own ? this : nullptr);
    if (!h)
        throw Exception(Format("Error creating window of '%s' (%lu)", Name().c_str(), GetLastError()));
    if (!own)
        Bind(h);
    SendMessageW(h, WM_SETFONT, reinterpret_cast<WPARAM>(font_.Handle()), FALSE);
    SetNameProperty();
    CreateHandleDone();
    for (TControl* c : controls_)
        if (auto* w = dynamic_cast<TWinControl*>(c))
            w->HandleNeeded();
    AlignControls();
}

void TWinControl::DestroyWnd()
{
    if (handle_)
        DestroyWindow(handle_);
}

void TWinControl::Bind(HWND window)
{
    handle_ = window;
    ownClass_ = IsOwnClass(window);
    if (ownClass_)
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    else
        SetWindowSubclass(window, ControlSubclassProc, kControlSubclassId, reinterpret_cast<DWORD_PTR>(this));
}

void TWinControl::Unbind(HWND window)
{
    if (ownClass_)
        SetWindowLongPtrW(window, GWLP_USERDATA, 0);
    else
        RemoveWindowSubclass(window, ControlSubclassProc, kControlSubclassId);
    handle_ = nullptr;
    ownClass_ = false;
}

HWND TWinControl::DetachHandle()
{
    HWND h = handle_;
    if (h)
        Unbind(h);
    return h;
}

void TWinControl::AttachHandle(HWND window)
{
    if (!window || handle_)
        return;
    Bind(window);
    SetNameProperty();
}

void TWinControl::RecreateWnd()
{
    if (!handle_)
        return;
    DestroyWnd();
    HandleNeeded();
}

void TWinControl::SetNameProperty()
{
    if (!handle_)
        return;
    if (nameAtom_) {
        RemovePropW(handle_, kComponentNameProp);
        GlobalDeleteAtom(nameAtom_);
        nameAtom_ = 0;
    }
    if (Name().empty())
        return;
    // Atoms ignore case and keep the first spelling; the prefix keeps names apart from class names.
    nameAtom_ = GlobalAddAtomW((std::wstring(kComponentNamePrefix) + GbkToWide(Name())).c_str());
    SetPropW(handle_, kComponentNameProp, reinterpret_cast<HANDLE>(static_cast<UINT_PTR>(nameAtom_)));
}

void TWinControl::SetName(const std::string& name)
{
    TControl::SetName(name);
    SetNameProperty();
}

void TWinControl::InsertControl(TControl* control)
{
    controls_.push_back(control);
    control->parent_ = this;
    if (auto* w = dynamic_cast<TWinControl*>(control))
        tabList_.push_back(w);
    control->ParentFontChanged();
    control->ParentColorChanged();
    if (auto* w = dynamic_cast<TWinControl*>(control)) {
        if (w->handle_)
            ::SetParent(w->handle_, Handle());
        else if (handle_)
            w->HandleNeeded();
    }
    if (control->Align() != TAlign::alNone)
        AlignControls();
}

void TWinControl::RemoveControl(TControl* control)
{
    auto it = std::find(controls_.begin(), controls_.end(), control);
    if (it == controls_.end())
        return;
    controls_.erase(it);
    if (auto* w = dynamic_cast<TWinControl*>(control)) {
        tabList_.erase(std::remove(tabList_.begin(), tabList_.end(), w), tabList_.end());
        if (w->handle_ && !destroying_)
            w->DestroyWnd();
    }
    control->parent_ = nullptr;
}

bool TWinControl::ContainsControl(const TControl* control) const
{
    for (const TControl* c = control; c; c = c->Parent())
        if (c == this)
            return true;
    return false;
}

int TWinControl::TabOrder() const
{
    if (!parent_)
        return -1;
    auto& list = parent_->tabList_;
    auto it = std::find(list.begin(), list.end(), this);
    return it == list.end() ? -1 : static_cast<int>(it - list.begin());
}

void TWinControl::SetTabOrder(int order)
{
    if (!parent_)
        return;
    auto& list = parent_->tabList_;
    list.erase(std::remove(list.begin(), list.end(), this), list.end());
    order = std::clamp(order, 0, static_cast<int>(list.size()));
    list.insert(list.begin() + order, this);
}

void TWinControl::SetTabStop(bool value)
{
    tabStop_ = value;
    if (!handle_)
        return;
    LONG_PTR style = GetWindowLongPtrW(handle_, GWL_STYLE);
    SetWindowLongPtrW(handle_, GWL_STYLE, value ? (style | WS_TABSTOP) : (style & ~WS_TABSTOP));
}

bool TWinControl::CanFocus() const
{
    for (const TControl* c = this; c; c = c->Parent())
        if (!c->Visible() || !c->Enabled())
            return false;
    return true;
}

bool TWinControl::Focused() { return handle_ && GetFocus() == handle_; }

void TWinControl::SetFocus()
{
    TCustomForm* form = ParentForm();
    // A form not on the screen yet gives the focus to this control when it is activated.
    if (form && form != this && (!form->HandleAllocated() || !IsWindowVisible(form->Handle()))) {
        form->SetActiveControl(this);
        return;
    }
    if (!CanFocus())
        throw Exception("Cannot focus a disabled or invisible window");
    ::SetFocus(Handle());
}

namespace {

void CollectTabOrder(TWinControl* container, std::vector<TWinControl*>& out, const std::vector<TWinControl*>& (*list)(TWinControl*))
{
    for (TWinControl* c : list(container)) {
        out.push_back(c);
        CollectTabOrder(c, out, list);
    }
}

}  // namespace

TWinControl* TWinControl::FindNextControl(TWinControl* current, bool forward, bool checkTabStop)
{
    std::vector<TWinControl*> order;
    CollectTabOrder(this, order, [](TWinControl* c) -> const std::vector<TWinControl*>& { return c->tabList_; });
    if (order.empty())
        return nullptr;
    const int n = static_cast<int>(order.size());
    int start = static_cast<int>(std::find(order.begin(), order.end(), current) - order.begin());
    if (start == n)
        start = forward ? n - 1 : 0;
    for (int step = 1; step <= n; ++step) {
        const int i = ((start + (forward ? step : -step)) % n + n) % n;
        TWinControl* c = order[static_cast<size_t>(i)];
        if ((!checkTabStop || c->TabStop()) && c->CanFocus())
            return c;
    }
    return nullptr;
}

void TWinControl::SelectNext(TWinControl* current, bool forward, bool checkTabStop)
{
    if (TWinControl* next = FindNextControl(current, forward, checkTabStop))
        next->SetFocus();
}

void TWinControl::SetCtl3D(bool value)
{
    if (value == ctl3D_)
        return;
    ctl3D_ = value;
    Perform(CM_CTL3DCHANGED);
    for (TControl* c : controls_)
        c->Perform(CM_PARENTCTL3DCHANGED);
}

void TWinControl::SetBounds(int left, int top, int width, int height)
{
    const bool changed = left != left_ || top != top_ || width != width_ || height != height_;
    TControl::SetBounds(left, top, width, height);
    if (handle_ && changed)
        SetWindowPos(handle_, nullptr, left, top, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
}

void TWinControl::UpdateBounds()
{
    if (!handle_)
        return;
    RECT r;
    GetWindowRect(handle_, &r);
    if (GetWindowLongPtrW(handle_, GWL_STYLE) & WS_CHILD) {
        HWND parent = GetAncestor(handle_, GA_PARENT);
        MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&r), 2);
    }
    TControl::SetBounds(r.left, r.top, r.right - r.left, r.bottom - r.top);
}

void TWinControl::SetVisible(bool visible)
{
    if (visible == visible_)
        return;
    TControl::SetVisible(visible);
    if (handle_)
        ShowWindow(handle_, visible ? SW_SHOWNA : SW_HIDE);
    Perform(CM_VISIBLECHANGED, visible);
    if (parent_ && align_ != TAlign::alNone)
        parent_->AlignControls();
}

void TWinControl::SetEnabled(bool enabled)
{
    if (enabled == enabled_)
        return;
    TControl::SetEnabled(enabled);
    if (handle_)
        EnableWindow(handle_, enabled);
    Perform(CM_ENABLEDCHANGED);
}

std::string TWinControl::Text() const
{
    if (!handle_)
        return text_;
    const int n = GetWindowTextLengthW(handle_);
    std::wstring w(static_cast<size_t>(n) + 1, L'\0');
    const int got = GetWindowTextW(handle_, w.data(), n + 1);
    w.resize(static_cast<size_t>(got > 0 ? got : 0));
    return WideToGbk(w);
}

void TWinControl::SetText(const std::string& text)
{
    if (handle_) {
        SetWindowTextW(handle_, GbkToWide(text).c_str());  // WM_SETTEXT sends CM_TEXTCHANGED
        return;
    }
    text_ = text;
    Perform(CM_TEXTCHANGED);
}

RECT TWinControl::ClientRect()
{
    RECT r{0, 0, width_, height_};
    if (handle_)
        GetClientRect(handle_, &r);
    return r;
}

void TWinControl::Invalidate()
{
    if (handle_)
        InvalidateRect(handle_, nullptr, TRUE);
}

void TWinControl::AlignControls()
{
    RECT r = ClientRect();
    static const TAlign order[] = {TAlign::alTop, TAlign::alBottom, TAlign::alLeft, TAlign::alRight, TAlign::alClient};
    for (TAlign a : order)
        for (TControl* c : controls_) {
            if (c->Align() != a || !c->Visible())
                continue;
            switch (a) {
            case TAlign::alTop:
                c->SetBounds(r.left, r.top, r.right - r.left, c->Height());
                r.top += c->Height();
                break;
            case TAlign::alBottom:
                c->SetBounds(r.left, r.bottom - c->Height(), r.right - r.left, c->Height());
                r.bottom -= c->Height();
                break;
            case TAlign::alLeft:
                c->SetBounds(r.left, r.top, c->Width(), r.bottom - r.top);
                r.left += c->Width();
                break;
            case TAlign::alRight:
                c->SetBounds(r.right - c->Width(), r.top, c->Width(), r.bottom - r.top);
                r.right -= c->Width();
                break;
            default:
                c->SetBounds(r.left, r.top, std::max(0L, r.right - r.left), std::max(0L, r.bottom - r.top));
                break;
            }
        }
}

void TWinControl::FontChanged()
{
    TControl::FontChanged();
    if (handle_) {
        SendMessageW(handle_, WM_SETFONT, reinterpret_cast<WPARAM>(font_.Handle()), TRUE);
        Invalidate();
    }
    for (TControl* c : controls_)
        c->ParentFontChanged();
}

void TWinControl::ColorChanged()
{
    brush_.Reset();
    TControl::ColorChanged();
    Invalidate();
    for (TControl* c : controls_) {
        c->ParentColorChanged();
        c->Perform(CM_PARENTCOLORCHANGED);
    }
}

HBRUSH TWinControl::BackgroundBrush()
{
    if (!brush_)
        brush_.Reset(CreateSolidBrush(ColorToRGB(color_)));
    return brush_;
}

LRESULT TWinControl::CtlColor(HDC dc)
{
    SetTextColor(dc, ColorToRGB(font_.Color()));
    SetBkColor(dc, ColorToRGB(color_));
    return reinterpret_cast<LRESULT>(BackgroundBrush());
}

void TWinControl::DoEnter()
{
    if (OnEnter)
        OnEnter(this);
}

void TWinControl::DoExit()
{
    if (OnExit)
        OnExit(this);
}

bool TWinControl::DoKeyDown(WORD& key, TShiftState shift)
{
    TCustomForm* form = ParentForm();
    if (form && form != this && form->KeyPreview && form->OnKeyDown) {
        form->OnKeyDown(form, key, shift);
        if (!key)
            return true;
    }
    if (OnKeyDown) {
        OnKeyDown(this, key, shift);
        if (!key)
            return true;
    }
    return false;
}

// ---- TControlCanvas

void TControlCanvas::SetControl(TWinControl* control)
{
    if (control == control_)
        return;
    FreeHandle();
    control_ = control;
}

void TControlCanvas::FreeHandle()
{
    if (!dc_)
        return;
    HDC dc = dc_;
    SetHandle(nullptr);
    ReleaseDC(window_, dc);
    window_ = nullptr;
}

void TControlCanvas::CreateHandle()
{
    if (!control_)
        return;
    window_ = control_->Handle();
    dc_ = GetDCEx(window_, nullptr, DCX_CACHE | DCX_CLIPSIBLINGS);
}
