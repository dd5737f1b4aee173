#include "framework/Forms.h"

#include <commctrl.h>

#include <algorithm>

#include "framework/CodePage.h"
#include "framework/Dialogs.h"
#include "framework/Exception.h"
#include "framework/ExceptionBoundary.h"
#include "framework/Menus.h"

TApplication* Application = nullptr;
TScreen Screen;

namespace {

constexpr UINT CM_RELEASE = CM_BASE + 0x21;

struct DisabledWindows {
    HWND self;
    std::vector<HWND> windows;
};

BOOL CALLBACK DisableWindow(HWND w, LPARAM l)
{
    auto* d = reinterpret_cast<DisabledWindows*>(l);
    if (w != d->self && IsWindowVisible(w) && IsWindowEnabled(w)) {
        EnableWindow(w, FALSE);
        d->windows.push_back(w);
    }
    return TRUE;
}

void Broadcast(TWinControl* container, UINT msg, WPARAM w, LPARAM l)
{
    for (int i = 0; i < container->ControlCount(); ++i) {
        TControl* c = container->Controls(i);
        c->Perform(msg, w, l);
        if (auto* wc = dynamic_cast<TWinControl*>(c))
            Broadcast(wc, msg, w, l);
    }
}

}  // namespace

// ---- TCustomForm

TCustomForm::TCustomForm(TComponent* owner) : TWinControl(owner)
{
    visible_ = false;
    parentColor_ = false;
    parentFont_ = false;
    width_ = 320;
    height_ = 240;
    Screen.forms_.push_back(this);
}

TCustomForm::~TCustomForm()
{
    if (OnDestroy)
        GuardedCall([&] { OnDestroy(this); });
    auto& forms = Screen.forms_;
    forms.erase(std::remove(forms.begin(), forms.end(), this), forms.end());
    if (Application && Application->MainForm() == this)
        Application->SetMainForm(nullptr);
    if (menu_)
        menu_->WindowHandle = nullptr;
    if (handle_) {
        ::SetMenu(handle_, nullptr);
        DestroyWnd();
    }
}

void TCustomForm::AfterConstruction()
{
    // The builder has finished every component: tell the form and its components of them.
    TComponent::AnnounceNewComponents();
    Loaded();
    if (OnCreate)
        OnCreate(this);
}

void TCustomForm::CreateParams(TCreateParams& p)
{
    p.Caption = GbkToWide(text_);
    p.X = left_;
    p.Y = top_;
    p.Width = width_;
    p.Height = height_;
    p.Style = WS_CLIPCHILDREN;
    if (!enabled_)
        p.Style |= WS_DISABLED;
    switch (BorderStyle) {
    case TFormBorderStyle::bsNone: p.Style |= WS_POPUP; break;
    case TFormBorderStyle::bsSingle: p.Style |= WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_MAXIMIZEBOX; break;
    case TFormBorderStyle::bsSizeable: p.Style |= WS_OVERLAPPEDWINDOW; break;
    case TFormBorderStyle::bsDialog:
        p.Style |= WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME;
        p.ExStyle |= WS_EX_DLGMODALFRAME;
        break;
    case TFormBorderStyle::bsToolWindow:
        p.Style |= WS_CAPTION | WS_SYSMENU;
        p.ExStyle |= WS_EX_TOOLWINDOW;
        break;
    case TFormBorderStyle::bsSizeToolWin:
        p.Style |= WS_CAPTION | WS_SYSMENU | WS_THICKFRAME;
        p.ExStyle |= WS_EX_TOOLWINDOW;
        break;
    }
    p.WndParent = Application ? Application->Handle() : nullptr;
}

void TCustomForm::CreateHandleDone()
{
    if (menu_) {
        ::SetMenu(handle_, menu_->Handle());
        menu_->WindowHandle = handle_;
    }
}

void TCustomForm::SetMenu(TMainMenu* menu)
{
    if (menu_)
        menu_->WindowHandle = nullptr;
    menu_ = menu;
    if (!handle_)
        return;
    ::SetMenu(handle_, menu ? menu->Handle() : nullptr);
    if (menu)
        menu->WindowHandle = handle_;
}

void TCustomForm::SetClientSize(int width, int height)
{
    TCreateParams p;
    CreateParams(p);
    RECT r{0, 0, width, height};
    AdjustWindowRectEx(&r, p.Style, menu_ != nullptr, p.ExStyle);
    SetBounds(left_, top_, r.right - r.left, r.bottom - r.top);
}

void TCustomForm::PlaceOnShow()
{
    RECT area{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    switch (Position) {
    case TPosition::poMainFormCenter:
    case TPosition::poOwnerFormCenter:
        if (Application && Application->MainForm() && Application->MainForm() != this &&
            Application->MainForm()->HandleAllocated() && Application->MainForm()->Visible()) {
            area = Application->MainForm()->BoundsRect();
            break;
        }
        [[fallthrough]];
    case TPosition::poScreenCenter:
        SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
        break;
    default:
        return;
    }
    const int x = area.left + (area.right - area.left - width_) / 2;
    const int y = area.top + (area.bottom - area.top - height_) / 2;
    SetBounds(std::max(0, x), std::max(0, y), width_, height_);
}

void TCustomForm::SetVisible(bool visible)
{
    if (visible == visible_)
        return;
    if (visible) {
        HandleNeeded();
        if (!shownOnce_) {
            shownOnce_ = true;
            PlaceOnShow();
        }
        visible_ = true;
        if (OnShow)
            OnShow(this);
        if (!visible_ || !handle_)  // the handler closed the form
            return;
        const int cmd = WindowState == TWindowState::wsMaximized   ? SW_SHOWMAXIMIZED
                        : WindowState == TWindowState::wsMinimized ? SW_SHOWMINIMIZED
                                                                   : SW_SHOWNORMAL;
        ShowWindow(handle_, cmd);
        SetForegroundWindow(handle_);
        Perform(CM_VISIBLECHANGED, 1);
    } else {
        visible_ = false;
        if (handle_)
            ShowWindow(handle_, SW_HIDE);
        if (OnHide)
            OnHide(this);
        Perform(CM_VISIBLECHANGED, 0);
    }
}

void TCustomForm::Show()
{
    SetVisible(true);
    if (handle_)
        BringWindowToTop(handle_);
}

TModalResult TCustomForm::ShowModal()
{
    if (visible_ || modal_)
        throw Exception("Cannot make a visible window modal");
    HandleNeeded();
    HWND previous = GetActiveWindow();
    ReleaseCapture();
    DisabledWindows disabled{handle_, {}};
    EnumThreadWindows(GetCurrentThreadId(), DisableWindow, reinterpret_cast<LPARAM>(&disabled));
    modal_ = true;
    modalResult_ = mrNone;
    auto restore = [&] {
        for (HWND w : disabled.windows)
            if (IsWindow(w))
                EnableWindow(w, TRUE);
        SetVisible(false);
        if (previous && IsWindow(previous))
            SetActiveWindow(previous);
        modal_ = false;
    };
    try {
        Show();
        while (modalResult_ == mrNone) {
            if (!Application)
                break;
            Application->HandleMessage();
            if (Application->Terminated()) {
                // The outer loops must see the quit message too.
                PostQuitMessage(Application->ExitCode());
                if (modalResult_ == mrNone)
                    modalResult_ = mrCancel;
                break;
            }
            if (modalResult_ != mrNone) {
                TCloseAction action = TCloseAction::caHide;
                if (!CloseQuery())
                    action = TCloseAction::caNone;
                else if (OnClose)
                    OnClose(this, action);
                if (action == TCloseAction::caNone)
                    modalResult_ = mrNone;
            }
        }
    } catch (...) {
        restore();
        throw;
    }
    restore();
    return modalResult_;
}

bool TCustomForm::CloseQuery()
{
    bool can = true;
    if (OnCloseQuery)
        OnCloseQuery(this, can);
    return can;
}

void TCustomForm::Close()
{
    if (modal_) {
        modalResult_ = mrCancel;
        return;
    }
    if (!CloseQuery())
        return;
    TCloseAction action = TCloseAction::caHide;
    if (OnClose)
        OnClose(this, action);
    if (action == TCloseAction::caNone)
        return;
    const bool main = Application && Application->MainForm() == this;
    if (action == TCloseAction::caMinimize && handle_)
        ShowWindow(handle_, SW_MINIMIZE);
    else if (action == TCloseAction::caHide || main)
        SetVisible(false);
    if (main)
        Application->Terminate();
    else if (action == TCloseAction::caFree)
        Release();
}

void TCustomForm::Release()
{
    if (handle_)
        PostMessageW(handle_, CM_RELEASE, 0, 0);
}

bool TCustomForm::Active() const { return handle_ && GetActiveWindow() == handle_; }

void TCustomForm::SetActiveControl(TWinControl* control)
{
    activeControl_ = control;
    if (control && handle_ && Active() && control->CanFocus())
        control->SetFocus();
}

void TCustomForm::SetFocusedControl(TWinControl* control)
{
    if (!control || !ContainsControl(control))
        return;
    const int save = ++focusCount_;
    activeControl_ = control != this ? control : nullptr;
    focusedControl_ = control;
    if (!lastFocusedControl_)
        lastFocusedControl_ = this;
    while (lastFocusedControl_ && !lastFocusedControl_->ContainsControl(control)) {
        TWinControl* c = lastFocusedControl_;
        c->Perform(CM_EXIT);
        if (focusCount_ != save)
            return;  // a handler moved the focus; that call finished the chain
        lastFocusedControl_ = c->Parent();
    }
    while (lastFocusedControl_ && lastFocusedControl_ != control) {
        TWinControl* t = control;
        while (t->Parent() && t->Parent() != lastFocusedControl_)
            t = t->Parent();
        lastFocusedControl_ = t;
        t->Perform(CM_ENTER);
        if (focusCount_ != save)
            return;
    }
    Broadcast(this, CM_FOCUSCHANGED, 0, reinterpret_cast<LPARAM>(control));
}

void TCustomForm::ControlDestroyed(TWinControl* control)
{
    if (activeControl_ && control->ContainsControl(activeControl_))
        activeControl_ = nullptr;
    if (focusedControl_ && control->ContainsControl(focusedControl_))
        focusedControl_ = nullptr;
    if (lastFocusedControl_ && control->ContainsControl(lastFocusedControl_))
        lastFocusedControl_ = control->Parent();
}

bool TCustomForm::IsShortCut(WORD key, TShiftState shift)
{
    if (!OnShortCut)
        return false;
    bool handled = false;
    OnShortCut(key, shift, handled);
    return handled;
}

bool TCustomForm::DialogKey(WORD key, TShiftState shift)
{
    if (key == VK_TAB) {
        if (shift & (ssCtrl | ssAlt))
            return false;
        TWinControl* current = TWinControl::FindOwningControl(GetFocus());
        SelectNext(current && ContainsControl(current) ? current : activeControl_, !(shift & ssShift), true);
        return true;
    }
    if (key == VK_RETURN || key == VK_ESCAPE) {
        struct Finder {
            static bool Run(TWinControl* w, WORD key)
            {
                for (int i = 0; i < w->ControlCount(); ++i) {
                    TControl* c = w->Controls(i);
                    if (c->Perform(CM_DIALOGKEY, key) != 0)
                        return true;
                    if (auto* wc = dynamic_cast<TWinControl*>(c); wc && Run(wc, key))
                        return true;
                }
                return false;
            }
        };
        return Finder::Run(this, key);
    }
    return false;
}

void TCustomForm::WndProc(TMessage& m)
{
    switch (m.Msg) {
    case WM_CLOSE:
        Close();
        return;
    case WM_ACTIVATE:
        if (LOWORD(m.WParam) != WA_INACTIVE) {
            if (Application)
                SendMessageW(Application->Handle(), CM_ACTIVATE, 0, 0);
            // Focus goes back to the control that had it, which fires no Enter or Exit.
            if (HIWORD(m.WParam) == 0) {
                if (activeControl_ && activeControl_->CanFocus())
                    ::SetFocus(activeControl_->Handle());
                else if (TWinControl* first = FindNextControl(nullptr, true, true))
                    first->SetFocus();
                else
                    ::SetFocus(handle_);
            }
            if (OnActivate)
                OnActivate(this);
            m.Result = 0;
            return;
        }
        if (OnDeactivate)
            OnDeactivate(this);
        break;
    case WM_SETFOCUS:
        DefaultHandler(m);
        if (activeControl_ && activeControl_ != this && activeControl_->CanFocus())
            ::SetFocus(activeControl_->Handle());
        return;
    case CM_RELEASE:
        delete this;
        return;
    default:
        break;
    }
    TWinControl::WndProc(m);
}

// ---- TApplication

LRESULT CALLBACK ApplicationWindowProc(HWND window, UINT msg, WPARAM wparam, LPARAM lparam)
{
    auto* app = reinterpret_cast<TApplication*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (!app)
        return DefWindowProcW(window, msg, wparam, lparam);
    TMessage m{msg, wparam, lparam, 0};
    bool handled = false;
    GuardedCall([&] {
        for (const TWindowHook* hook : std::vector<const TWindowHook*>(app->hooks_))
            if ((*hook)(m)) {
                handled = true;
                return;
            }
        switch (msg) {
        case WM_DRAWITEM:
            handled = HandleMenuDrawItem(*reinterpret_cast<DRAWITEMSTRUCT*>(lparam));
            if (handled) m.Result = 1;
            break;
        case WM_MEASUREITEM:
            handled = HandleMenuMeasureItem(*reinterpret_cast<MEASUREITEMSTRUCT*>(lparam));
            if (handled) m.Result = 1;
            break;
        case WM_INITMENUPOPUP:
            HandleInitMenuPopup(reinterpret_cast<HMENU>(wparam));
            break;
        case WM_COMMAND:
            handled = lparam == 0 && HandleMenuCommand(LOWORD(wparam));
            break;
        case WM_CLOSE:
            if (app->MainForm())
                app->MainForm()->Close();
            handled = true;
            break;
        case CM_ANNOUNCECOMPONENTS:
            TComponent::AnnounceNewComponents();
            handled = true;
            break;
        default:
            break;
        }
    });
    if (handled)
        return m.Result;
    if (msg >= CM_BASE && msg < 0xC000)
        return 0;
    return DefWindowProcW(window, msg, wparam, lparam);
}

TApplication::TApplication() : TComponent(nullptr)
{
    if (!Application)
        Application = this;
    INITCOMMONCONTROLSEX icc{sizeof(icc), ICC_WIN95_CLASSES | ICC_STANDARD_CLASSES | ICC_TAB_CLASSES |
                                              ICC_LISTVIEW_CLASSES | ICC_BAR_CLASSES};
    InitCommonControlsEx(&icc);
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = ApplicationWindowProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"TApplication";
    RegisterClassExW(&wc);
    handle_ = CreateWindowExW(0, L"TApplication", L"", WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX, 0, 0, 0, 0,
                              nullptr, nullptr, wc.hInstance, nullptr);
    SetWindowLongPtrW(handle_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    SetBoundaryExceptionHandler([this](std::exception_ptr e) { HandleException(e); });
    if (Application == this)
        TComponent::SetAnnouncementWaker([] {
            if (Application)
                PostMessageW(Application->Handle(), CM_ANNOUNCECOMPONENTS, 0, 0);
        });
}

TApplication::~TApplication()
{
    if (Application == this)
        TComponent::SetAnnouncementWaker(nullptr);
    SetBoundaryExceptionHandler(nullptr);
    if (handle_) {
        SetWindowLongPtrW(handle_, GWLP_USERDATA, 0);
        DestroyWindow(handle_);
    }
    if (Application == this)
        Application = nullptr;
}

void TApplication::SetTitle(const std::string& title)
{
    title_ = title;
    SetWindowTextW(handle_, GbkToWide(title).c_str());
    SetMessageBoxCaption(title);
}

void TApplication::Run()
{
    if (mainForm_ && !mainForm_->Visible())
        mainForm_->Show();
    while (!terminated_)
        HandleMessage();
}

void TApplication::Terminate() { PostQuitMessage(0); }

void TApplication::HandleMessage()
{
    MSG msg;
    if (!ProcessMessage(msg)) {
        if (OnIdle)
            GuardedCall([&] { OnIdle(this); });
        WaitMessage();
    }
}

void TApplication::ProcessMessages()
{
    MSG msg;
    while (ProcessMessage(msg)) {
    }
}

bool TApplication::ProcessMessage(MSG& msg)
{
    if (!PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
        return false;
    if (msg.message == WM_QUIT) {
        terminated_ = true;
        exitCode_ = static_cast<int>(msg.wParam);
        return true;
    }
    const bool handled = GuardedCall(true, [&] {
        bool h = false;
        if (OnMessage)
            OnMessage(msg, h);
        if (msg.message == WM_MOUSEMOVE || msg.message == WM_MOUSELEAVE)
            TrackMouse(msg);
        return h || IsKeyMsg(msg);
    });
    if (!handled) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return true;
}

bool TApplication::IsKeyMsg(MSG& msg)
{
    switch (msg.message) {
    case WM_KEYDOWN:
    case WM_KEYUP:
    case WM_CHAR:
    case WM_SYSKEYDOWN:
    case WM_SYSKEYUP:
    case WM_SYSCHAR:
        break;
    default:
        return false;
    }
    TWinControl* control = TWinControl::FindOwningControl(msg.hwnd);
    if (!control)
        return false;
    return control->Perform(CN_BASE + msg.message, msg.wParam, msg.lParam) != 0;
}

void TApplication::TrackMouse(const MSG& msg)
{
    if (msg.message == WM_MOUSEMOVE) {
        // Any window under the mouse, inner windows of a control included, reports leaving.
        TRACKMOUSEEVENT tme{sizeof(tme), TME_LEAVE, msg.hwnd, 0};
        TrackMouseEvent(&tme);
        SetMouseControl(TWinControl::FindOwningControl(msg.hwnd));
        return;
    }
    POINT p;
    GetCursorPos(&p);
    HWND under = WindowFromPoint(p);
    DWORD pid = 0;
    const bool ours = under && GetWindowThreadProcessId(under, &pid) == GetCurrentThreadId();
    SetMouseControl(ours ? TWinControl::FindOwningControl(under) : nullptr);
}

void TApplication::SetMouseControl(TWinControl* control)
{
    if (control == mouseControl_)
        return;
    TWinControl* old = mouseControl_;
    mouseControl_ = control;
    if (old)
        old->Perform(CM_MOUSELEAVE);
    if (control && control == mouseControl_)
        control->Perform(CM_MOUSEENTER);
}

void TApplication::ControlDestroyed(TWinControl* control)
{
    if (mouseControl_ == control)
        mouseControl_ = nullptr;
}

void TApplication::ShowException(std::exception_ptr error)
{
    MessageDlg(BoundaryExceptionMessage(error), TMsgDlgType::Error, TMsgDlgButtons::Ok);
}

void TApplication::HandleException(std::exception_ptr error)
{
    if (OnException)
        OnException(error);
    else
        ShowException(error);
}

void TApplication::HookMainWindow(const TWindowHook* hook) { hooks_.push_back(hook); }

void TApplication::UnhookMainWindow(const TWindowHook* hook)
{
    hooks_.erase(std::remove(hooks_.begin(), hooks_.end(), hook), hooks_.end());
}

// ---- TScreen

TCustomForm* TScreen::ActiveForm() const
{
    return dynamic_cast<TCustomForm*>(TWinControl::FromHandle(GetActiveWindow()));
}

TWinControl* TScreen::ActiveControl() const
{
    TCustomForm* f = ActiveForm();
    return f ? f->ActiveControl() : nullptr;
}
