#include "ui/browser/WbControlComponent.h"

#include <commctrl.h>

#include <map>

#include "framework/ExceptionBoundary.h"
#include "framework/Forms.h"
#include "ui/browser/SHDocVw_WB.h"
#include "ui/browser/WbTools.h"

namespace {

TWBMouseHook* g_hook = nullptr;
bool g_focusActive = false;
constexpr DWORD kProcessFeature = 2;  // the feature setting applies to this process

std::map<HWND, TComponent*>& ActiveBrowsers()
{
    static std::map<HWND, TComponent*> browsers;
    return browsers;
}

bool OwnThread(HWND window) { return window && GetWindowThreadProcessId(window, nullptr) == GetCurrentThreadId(); }

// Gives the focus back to the pane that is the active control of the active form.
void RefocusActivePane()
{
    HWND form = GetActiveWindow();
    if (!form || !IsWindowEnabled(form) || !IsWindowVisible(form) || (Application && Application->Terminated()))
        return;
    TComponent* browser = nullptr;
    if (auto* f = dynamic_cast<TCustomForm*>(TWinControl::FromHandle(form)))
        browser = f->ActiveControl();
    if (!browser)
        browser = FormActiveBrowser(form);
    // A browser by what it is: the program's panes are classes of their own.
    HWND pane = browser ? BrowserControlWindow(browser) : nullptr;
    HWND focus = GetFocus();
    if (pane && focus != pane && !IsChild(pane, focus))
        PostMessageW(pane, WM_WB_REACTIVATE, reinterpret_cast<WPARAM>(browser), 0);
}

// The focus control's hook on the application window: forms send it CM_ACTIVATE when they
// are activated. It never handles a message.
const TWindowHook focusHook = [](TMessage& m) {
    if (m.Msg == WM_WINDOWPOSCHANGING || m.Msg == CM_ACTIVATE || m.Msg == WM_ACTIVATEAPP)
        RefocusActivePane();
    return false;
};

void HookApplication(bool on)
{
    if (!Application)
        return;
    // Removed first, so that it is never there twice.
    Application->UnhookMainWindow(&focusHook);
    if (on)
        Application->HookMainWindow(&focusHook);
}

}  // namespace

TWBMouseHook::TWBMouseHook()
{
    hook_ = SetWindowsHookExW(WH_MOUSE, &TWBMouseHook::HookProc, nullptr, GetCurrentThreadId());
}

TWBMouseHook::~TWBMouseHook()
{
    if (hook_)
        UnhookWindowsHookEx(hook_);
}

TWBMouseHook* TWBMouseHook::Acquire()
{
    if (!g_hook)
        g_hook = new TWBMouseHook();
    ++g_hook->users_;
    return g_hook;
}

void TWBMouseHook::ReleaseUser()
{
    if (--users_ > 0)
        return;
    if (g_hook == this)
        g_hook = nullptr;
    delete this;
}

TWBMouseHook* TWBMouseHook::Instance() { return g_hook; }

LRESULT CALLBACK TWBMouseHook::HookProc(int code, WPARAM wParam, LPARAM lParam)
{
    TWBMouseHook* self = g_hook;
    if (!self)
        return CallNextHookEx(nullptr, code, wParam, lParam);
    LRESULT result = 0;
    if (GuardedCall(false, [&] {
            result = self->Hook(code, wParam, lParam);
            return true;
        }))
        return result;
    // A failing handler must not swallow the message for the hooks after this one.
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

LRESULT TWBMouseHook::Hook(int code, WPARAM wParam, LPARAM lParam)
{
    if (code != HC_ACTION || wParam != WM_MOUSEWHEEL)
        return CallNextHookEx(hook_, code, wParam, lParam);
    const auto& mouse = *reinterpret_cast<const MOUSEHOOKSTRUCT*>(lParam);
    const POINT point = mouse.pt;
    HWND target = WindowFromPoint(point);
    bool skip = false;
    if (OnMouseWheel)
        OnMouseWheel(point, target, mouse, skip);
    // Windows of other threads and processes are none of this hook's business.
    if (!OwnThread(target))
        skip = true;
    if (!skip && ActiveFormOnly)
        skip = GetAncestor(target, GA_ROOT) != GetActiveWindow();
    HWND focus = GetFocus();
    if (!skip && target && focus) {
        HWND targetShell = FindAncestorByClass(target, L"Shell Embedding");
        HWND focusShell = FindAncestorByClass(focus, L"Shell Embedding");
        if (targetShell &&
            (targetShell != focusShell || WindowClassNameW(focus) == L"Shell DocObject View")) {
            SetFocus(target);
            return 2;
        }
    }
    return CallNextHookEx(hook_, code, wParam, lParam);
}

TMouseWheelFix::~TMouseWheelFix()
{
    if (hook_)
        hook_->ReleaseUser();
}

void TMouseWheelFix::SetActive(bool active)
{
    active_ = active;
    if (designing_)
        return;
    if (active && !hook_) {
        hook_ = TWBMouseHook::Acquire();
        hook_->OnMouseWheel = OnMouseWheel;
        hook_->ActiveFormOnly = activeFormOnly_;
    } else if (!active && hook_) {
        hook_->ReleaseUser();
        hook_ = nullptr;
    }
}

void TMouseWheelFix::SetActiveFormOnly(bool value)
{
    activeFormOnly_ = value;
    if (hook_)
        hook_->ActiveFormOnly = value;
}

void SetFormActiveBrowser(HWND form, TComponent* browser)
{
    if (browser)
        ActiveBrowsers()[form] = browser;
    else
        ActiveBrowsers().erase(form);
}

void ForgetActiveBrowser(TComponent* browser)
{
    auto& browsers = ActiveBrowsers();
    for (auto it = browsers.begin(); it != browsers.end();)
        it = it->second == browser ? browsers.erase(it) : std::next(it);
}

TComponent* FormActiveBrowser(HWND form)
{
    auto it = ActiveBrowsers().find(form);
    return it == ActiveBrowsers().end() ? nullptr : it->second;
}

HWND BrowserControlWindow(TComponent* browser)
{
    auto* wb = dynamic_cast<TWB*>(browser);
    return wb && wb->HandleAllocated() ? wb->Handle() : nullptr;
}

TFocusControl::~TFocusControl()
{
    if (active_ && !designing_)
        SetActive(false);
}

void TFocusControl::SetActive(bool active)
{
    active_ = active;
    if (designing_ || g_focusActive == active)
        return;
    g_focusActive = active;
    HookApplication(active);
}

void TFocusControl::AttachToApplication()
{
    if (g_focusActive)
        HookApplication(true);
}

TWbControl::TWbControl(TComponent* owner, bool designing)
    : TComponent(owner), designing_(designing), mouseWheelFix_(designing), focusControl_(designing)
{
    if (designing_) {
        for (int f = 0; f < static_cast<int>(TInternetFeature::EntryCount); ++f)
            if (IsInternetFeatureEnabled(f, kProcessFeature) == S_OK)
                features_ |= 1u << f;
    }
}

TWbControl::~TWbControl()
{
    if (designing_)
        return;
    mouseWheelFix_.SetActive(false);
    focusControl_.SetActive(false);
}

void TWbControl::SetInternetFeatures(std::initializer_list<TInternetFeature> features)
{
    features_ = 0;
    for (TInternetFeature f : features) {
        if (f == TInternetFeature::EntryCount)
            continue;
        features_ |= 1u << static_cast<int>(f);
        SetInternetFeature(static_cast<int>(f), kProcessFeature, true);
    }
}

void TWbControl::Loaded()
{
    TComponent::Loaded();
    mouseWheelFix_.OnMouseWheel = OnMouseWheel;
}

TWbControl& GlobalWbControl()
{
    static TWbControl control;
    static const bool switchedOn = [] {
        control.FocusControl().SetActive(true);
        control.MouseWheelFix().SetActive(true);
        return true;
    }();
    (void)switchedOn;
    return control;
}
