#include "ui/browser/WbControlComponent.h"

#include <commctrl.h>

#include <map>

#include "framework/ExceptionBoundary.h"
#include "framework/Forms.h"
#include "ui/browser/SHDocVw_WB.h"
#include "ui/browser/WbTools.h"

namespace {

TWBMouseHook* g_hook = nullptr;
HWND g_mainWindow = nullptr;
bool g_focusActive = false;
constexpr UINT_PTR kFocusSubclassId = 0x57424643;  // 'WBFC'
constexpr UINT CM_ACTIVATE = 0xB000;
constexpr DWORD kProcessFeature = 2;  // the feature setting applies to this process

std::map<HWND, TComponent*>& ActiveBrowsers()
{
    static std::map<HWND, TComponent*> browsers;
    return browsers;
}

bool OwnThread(HWND window) { return window && GetWindowThreadProcessId(window, nullptr) == GetCurrentThreadId(); }

LRESULT CALLBACK FocusProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR)
{
    if (msg == WM_WINDOWPOSCHANGING || msg == CM_ACTIVATE || msg == WM_ACTIVATEAPP) {
        GuardedCall([&] {
            HWND form = GetActiveWindow();
            if (!form || !IsWindowEnabled(form) || !IsWindowVisible(form))
                return;
            TComponent* browser = nullptr;
            if (auto* f = dynamic_cast<TCustomForm*>(TWinControl::FromHandle(form)))
                browser = f->ActiveControl();
            if (!browser)
                browser = FormActiveBrowser(form);
            if (!browser || !(browser->ClassName() == "TEmbeddedBrowser" || browser->ClassName() == "TWBCore"))
                return;
            HWND pane = BrowserControlWindow(browser);
            HWND focus = GetFocus();
            if (pane && focus != pane && !IsChild(pane, focus))
                PostMessageW(pane, WM_WB_REACTIVATE, reinterpret_cast<WPARAM>(browser), 0);
        });
    }
    if (msg == WM_NCDESTROY) {
        RemoveWindowSubclass(window, FocusProc, kFocusSubclassId);
        g_mainWindow = nullptr;
    }
    return DefSubclassProc(window, msg, wParam, lParam);
}

void HookMainWindow(bool on)
{
    if (!g_mainWindow)
        return;
    if (on)
        SetWindowSubclass(g_mainWindow, FocusProc, kFocusSubclassId, 0);
    else
        RemoveWindowSubclass(g_mainWindow, FocusProc, kFocusSubclassId);
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
    return GuardedCall(LRESULT(0), [&] { return self->Hook(code, wParam, lParam); });
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
    HookMainWindow(active);
}

void TFocusControl::SetMainWindow(HWND window)
{
    if (g_focusActive)
        HookMainWindow(false);
    g_mainWindow = window;
    if (g_focusActive)
        HookMainWindow(true);
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
