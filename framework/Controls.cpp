#include "framework/Controls.h"

#include <windowsx.h>

#include <algorithm>
#include <mutex>
#include <unordered_map>

#include "framework/CodePage.h"
#include "framework/Exception.h"
#include "framework/ExceptionBoundary.h"
#include "framework/Forms.h"
#include "framework/Menus.h"

namespace {

thread_local TWinControl* creatingControl = nullptr;

// Window to control. Not a window property: Wine keeps those in its server, and this lookup
// runs for every message of every control.
std::mutex controlsLock;
std::unordered_map<HWND, TWinControl*>& ControlMap()
{
    static std::unordered_map<HWND, TWinControl*> map;
    return map;
}

void BindControl(HWND window, TWinControl* control)
{
    std::lock_guard<std::mutex> guard(controlsLock);
    ControlMap()[window] = control;
}

void UnbindControl(HWND window)
{
    std::lock_guard<std::mutex> guard(controlsLock);
    ControlMap().erase(window);
}
UINT nextControlId = 100;

bool IsFrameworkMessage(UINT msg) { return msg >= CM_BASE && msg < 0xC000; }

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
    TWinControl* control = TWinControl::FromHandle(window);
    if (!control && creatingControl) {
        // Our own class: bind during creation, so WM_NCCREATE and WM_CREATE reach the control.
        control = creatingControl;
        creatingControl = nullptr;
        control->handle_ = window;
        control->defWndProc_ = DefWindowProcW;
        BindControl(window, control);
    }
    if (!control)
        return DefWindowProcW(window, msg, wparam, lparam);
    TMessage message{msg, wparam, lparam, 0};
    GuardedCall([&] { control->WindowProc(message); });
    return message.Result;
}

const wchar_t* FrameworkWindowClass()
{
    static const wchar_t* name = [] {
        WNDCLASSEXW wc{};
        wc.cbSize = sizeof(wc);
        wc.style = CS_DBLCLKS;
        wc.lpfnWndProc = ControlWindowProc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));
        wc.lpszClassName = L"VidudoWindow";
        RegisterClassExW(&wc);
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
    WindowProc(m);
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
    destroying_ = true;
    // Children parented here but owned elsewhere must not keep a dangling parent.
    while (!controls_.empty())
        controls_.back()->SetParent(nullptr);
    if (handle_)
        DestroyWnd();
    if (brush_)
        DeleteObject(brush_);
}

TWinControl* TWinControl::FromHandle(HWND window)
{
    if (!window)
        return nullptr;
    std::lock_guard<std::mutex> guard(controlsLock);
    auto it = ControlMap().find(window);
    return it == ControlMap().end() ? nullptr : it->second;
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
    const wchar_t* cls = own ? FrameworkWindowClass() : p.WinClassName.c_str();
    HMENU id = (p.Style & WS_CHILD) ? reinterpret_cast<HMENU>(static_cast<UINT_PTR>(nextControlId++ & 0x7FFF)) : nullptr;
    if (own)
        creatingControl = this;
    HWND h = CreateWindowExW(p.ExStyle, cls, p.Caption.c_str(), p.Style, p.X, p.Y, p.Width, p.Height, p.WndParent, id,
                             GetModuleHandleW(nullptr), nullptr);
    creatingControl = nullptr;
    if (!h)
        throw Exception(Format("Error creating window of '%s' (%lu)", Name().c_str(), GetLastError()));
    if (!own) {
        handle_ = h;
        BindControl(h, this);
        defWndProc_ = reinterpret_cast<WNDPROC>(SetWindowLongPtrW(h, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(ControlWindowProc)));
    }
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
    if (form && form != this && !form->HandleAllocated()) {
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

void TWinControl::SetText(const std::string& text)
{
    text_ = text;
    if (handle_)
        SetWindowTextW(handle_, GbkToWide(text).c_str());  // WM_SETTEXT sends CM_TEXTCHANGED
    else
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
    if (brush_) {
        DeleteObject(brush_);
        brush_ = nullptr;
    }
    TControl::ColorChanged();
    Invalidate();
    for (TControl* c : controls_) {
        c->ParentColorChanged();
        c->Perform(CM_PARENTCOLORCHANGED);
    }
}

LRESULT TWinControl::CtlColor(HDC dc)
{
    if (!brush_)
        brush_ = CreateSolidBrush(ColorToRGB(color_));
    SetTextColor(dc, ColorToRGB(font_.Color()));
    SetBkColor(dc, ColorToRGB(color_));
    return reinterpret_cast<LRESULT>(brush_);
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

void TWinControl::KeyNotification(TMessage& m)
{
    m.Result = 0;
    WORD key = static_cast<WORD>(m.WParam);
    const TShiftState shift = KeyboardShiftState();
    TCustomForm* form = ParentForm();
    switch (m.Msg) {
    case CN_KEYDOWN:
    case CN_SYSKEYDOWN: {
        if (form && form->IsShortCut(key, shift)) {
            m.Result = 1;
            return;
        }
        UINT mask = 0;
        if (key == VK_TAB) mask = DLGC_WANTTAB;
        else if (key == VK_RETURN || key == VK_ESCAPE) mask = DLGC_WANTALLKEYS;
        if (mask && handle_) {
            const UINT code = static_cast<UINT>(SendMessageW(GetFocus(), WM_GETDLGCODE, key, 0)) | DialogCode();
            if (!(code & mask) && form && form->DialogKey(key, shift)) {
                m.Result = 1;
                return;
            }
        }
        if (DoKeyDown(key, shift))
            m.Result = 1;
        return;
    }
    case CN_KEYUP:
    case CN_SYSKEYUP: {
        TCustomForm* f = form;
        if (f && f != this && f->KeyPreview && f->OnKeyUp) {
            f->OnKeyUp(f, key, shift);
            if (!key) { m.Result = 1; return; }
        }
        if (OnKeyUp) {
            OnKeyUp(this, key, shift);
            if (!key) m.Result = 1;
        }
        return;
    }
    case CN_CHAR:
        if (OnKeyPress && m.WParam < 0x80) {
            char c = static_cast<char>(m.WParam);
            OnKeyPress(this, c);
            if (!c) m.Result = 1;
        }
        return;
    default:
        return;
    }
}

void TWinControl::WndProc(TMessage& m)
{
    switch (m.Msg) {
    case WM_COMMAND:
        if (m.LParam) {
            TWinControl* child = FromHandle(reinterpret_cast<HWND>(m.LParam));
            if (child && child != this) {
                m.Result = child->Perform(CN_COMMAND, m.WParam, m.LParam);
                return;
            }
        } else if (HIWORD(m.WParam) == 0 && HandleMenuCommand(LOWORD(m.WParam))) {
            return;
        }
        break;
    case WM_NOTIFY: {
        auto* hdr = reinterpret_cast<NMHDR*>(m.LParam);
        TWinControl* child = hdr ? FromHandle(hdr->hwndFrom) : nullptr;
        if (child && child != this) {
            m.Result = child->Perform(CN_NOTIFY, m.WParam, m.LParam);
            return;
        }
        break;
    }
    case WM_DRAWITEM: {
        auto* dis = reinterpret_cast<DRAWITEMSTRUCT*>(m.LParam);
        if (dis->CtlType == ODT_MENU) {
            if (HandleMenuDrawItem(*dis)) {
                m.Result = 1;
                return;
            }
            break;
        }
        TWinControl* child = FromHandle(dis->hwndItem);
        if (child && child != this) {
            m.Result = child->Perform(CN_DRAWITEM, m.WParam, m.LParam);
            return;
        }
        break;
    }
    case WM_MEASUREITEM: {
        auto* mis = reinterpret_cast<MEASUREITEMSTRUCT*>(m.LParam);
        if (mis->CtlType == ODT_MENU) {
            if (HandleMenuMeasureItem(*mis)) {
                m.Result = 1;
                return;
            }
            break;
        }
        TWinControl* child = handle_ ? FromHandle(GetDlgItem(handle_, static_cast<int>(mis->CtlID))) : nullptr;
        if (child && child != this) {
            m.Result = child->Perform(CN_MEASUREITEM, m.WParam, m.LParam);
            return;
        }
        break;
    }
    case WM_CTLCOLORBTN:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORSTATIC: {
        TWinControl* child = FindOwningControl(reinterpret_cast<HWND>(m.LParam));
        if (child && child != this) {
            m.Result = child->Perform(CN_BASE + m.Msg, m.WParam, m.LParam);
            return;
        }
        break;
    }
    case WM_HSCROLL:
    case WM_VSCROLL:
        if (m.LParam) {
            TWinControl* child = FromHandle(reinterpret_cast<HWND>(m.LParam));
            if (child && child != this) {
                m.Result = child->Perform(CN_BASE + m.Msg, m.WParam, m.LParam);
                return;
            }
        }
        break;
    case CN_CTLCOLORBTN:
    case CN_CTLCOLOREDIT:
    case CN_CTLCOLORLISTBOX:
    case CN_CTLCOLORSTATIC:
        m.Result = CtlColor(reinterpret_cast<HDC>(m.WParam));
        return;
    case CN_KEYDOWN:
    case CN_SYSKEYDOWN:
    case CN_KEYUP:
    case CN_SYSKEYUP:
    case CN_CHAR:
        KeyNotification(m);
        return;
    case CM_ENTER:
        DoEnter();
        return;
    case CM_EXIT:
        DoExit();
        return;
    case WM_SETFOCUS:
        DefaultHandler(m);
        if (TCustomForm* form = ParentForm(); form && form != this)
            form->SetFocusedControl(this);
        return;
    case WM_SETTEXT:
        DefaultHandler(m);
        Perform(CM_TEXTCHANGED);
        return;
    case WM_ERASEBKGND:
        if (defWndProc_ == DefWindowProcW) {
            RECT r;
            GetClientRect(handle_, &r);
            if (!brush_)
                brush_ = CreateSolidBrush(ColorToRGB(color_));
            ::FillRect(reinterpret_cast<HDC>(m.WParam), &r, brush_);
            m.Result = 1;
            return;
        }
        break;
    case WM_PAINT:
        if (HasOwnPaint()) {
            PAINTSTRUCT ps;
            HDC dc = BeginPaint(handle_, &ps);
            TCanvas canvas;
            canvas.SetHandle(dc);
            canvas.Font().Assign(font_);
            Paint(canvas);
            canvas.SetHandle(nullptr);
            EndPaint(handle_, &ps);
            return;
        }
        break;
    case WM_MOUSEMOVE:
        if (!mouseInside_) {
            mouseInside_ = true;
            TRACKMOUSEEVENT tme{sizeof(tme), TME_LEAVE, handle_, 0};
            TrackMouseEvent(&tme);
            Perform(CM_MOUSEENTER);
        }
        DefaultHandler(m);
        if (OnMouseMove)
            OnMouseMove(this, KeysToShiftState(m.WParam), GET_X_LPARAM(m.LParam), GET_Y_LPARAM(m.LParam));
        return;
    case WM_MOUSELEAVE:
        mouseInside_ = false;
        DefaultHandler(m);
        Perform(CM_MOUSELEAVE);
        return;
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN:
    case WM_LBUTTONUP:
    case WM_RBUTTONUP:
    case WM_MBUTTONUP: {
        DefaultHandler(m);
        const bool down = m.Msg == WM_LBUTTONDOWN || m.Msg == WM_RBUTTONDOWN || m.Msg == WM_MBUTTONDOWN;
        const TMouseButton b = (m.Msg == WM_LBUTTONDOWN || m.Msg == WM_LBUTTONUP) ? TMouseButton::mbLeft
                               : (m.Msg == WM_RBUTTONDOWN || m.Msg == WM_RBUTTONUP) ? TMouseButton::mbRight
                                                                                    : TMouseButton::mbMiddle;
        const int x = GET_X_LPARAM(m.LParam), y = GET_Y_LPARAM(m.LParam);
        auto& handler = down ? OnMouseDown : OnMouseUp;
        if (handler)
            handler(this, b, KeysToShiftState(m.WParam), x, y);
        // Our own windows have no click notification of their own.
        if (m.Msg == WM_LBUTTONUP && defWndProc_ == DefWindowProcW && handle_) {
            RECT r;
            GetClientRect(handle_, &r);
            if (x >= 0 && y >= 0 && x < r.right && y < r.bottom)
                Click();
        }
        return;
    }
    case WM_LBUTTONDBLCLK:
        DefaultHandler(m);
        if (defWndProc_ == DefWindowProcW)
            DblClick();
        return;
    case WM_INITMENUPOPUP:
        HandleInitMenuPopup(reinterpret_cast<HMENU>(m.WParam));
        break;
    case WM_CONTEXTMENU:
        if (PopupMenu) {
            POINT pt{GET_X_LPARAM(m.LParam), GET_Y_LPARAM(m.LParam)};
            if (pt.x == -1 && pt.y == -1)
                GetCursorPos(&pt);
            PopupMenu->Popup(pt.x, pt.y);
            return;
        }
        break;
    case WM_SIZE:
        DefaultHandler(m);
        UpdateBounds();
        AlignControls();
        if (OnResize)
            OnResize(this);
        return;
    case WM_MOVE:
        DefaultHandler(m);
        UpdateBounds();
        return;
    case WM_DESTROY:
        DestroyingHandle();
        DefaultHandler(m);
        if (nameAtom_) {
            RemovePropW(handle_, kComponentNameProp);
            GlobalDeleteAtom(nameAtom_);
            nameAtom_ = 0;
        }
        return;
    case WM_NCDESTROY: {
        HWND h = handle_;
        DefaultHandler(m);
        if (defWndProc_ && defWndProc_ != DefWindowProcW)
            SetWindowLongPtrW(h, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(defWndProc_));
        UnbindControl(h);
        handle_ = nullptr;
        defWndProc_ = nullptr;
        mouseInside_ = false;
        return;
    }
    default:
        break;
    }
    TControl::WndProc(m);
}

void TWinControl::DefaultHandler(TMessage& m)
{
    if (!handle_ || !defWndProc_ || IsFrameworkMessage(m.Msg))
        return;
    m.Result = CallWindowProcW(defWndProc_, handle_, m.Msg, m.WParam, m.LParam);
}
