#pragma once
// Two process-wide fixes for browser panes inside forms, and the component that switches
// them on: a wheel turn over a pane gives the pane the focus (so the page scrolls without a
// click first), and activating or moving the main window gives the focus back to a pane that
// is the active control of the active form. Also the process's URL moniker features.

#include <windows.h>

#include <functional>

#include "framework/Classes.h"

using TMouseWheelEvent = std::function<void(POINT point, HWND target, const MOUSEHOOKSTRUCT& mouse, bool& skip)>;

// The wheel hook: one per process, counted; a thread hook of the thread that made it.
class TWBMouseHook {
public:
    static TWBMouseHook* Acquire();
    void ReleaseUser();
    static TWBMouseHook* Instance();
    bool Installed() const { return hook_ != nullptr; }

    TMouseWheelEvent OnMouseWheel;
    bool ActiveFormOnly = false;

private:
    TWBMouseHook();
    ~TWBMouseHook();
    static LRESULT CALLBACK HookProc(int code, WPARAM wParam, LPARAM lParam);
    LRESULT Hook(int code, WPARAM wParam, LPARAM lParam);

    HHOOK hook_ = nullptr;
    int users_ = 0;
};

class TMouseWheelFix {
public:
    explicit TMouseWheelFix(bool designing) : designing_(designing) {}
    ~TMouseWheelFix();
    bool Active() const { return active_; }
    void SetActive(bool active);
    bool ActiveFormOnly() const { return activeFormOnly_; }
    void SetActiveFormOnly(bool value);
    TMouseWheelEvent OnMouseWheel;  // copied into the hook when it is next created

private:
    bool active_ = false;
    bool activeFormOnly_ = false;
    bool designing_;
    TWBMouseHook* hook_ = nullptr;
};

// The browser pane a form last gave the focus to; the focus control re-activates it.
void SetFormActiveBrowser(HWND form, TComponent* browser);
// Drops every entry of the browser: its form's window may be gone before it is.
void ForgetActiveBrowser(TComponent* browser);
TComponent* FormActiveBrowser(HWND form);
HWND BrowserControlWindow(TComponent* browser);  // the pane's control window, if it is one

class TFocusControl {
public:
    explicit TFocusControl(bool designing) : designing_(designing) {}
    ~TFocusControl();
    bool Active() const { return active_; }
    void SetActive(bool active);
    // While active, the focus control hooks the application's window (TApplication), which
    // may be made after the control: each browser pane calls this when it is created.
    static void AttachToApplication();

private:
    bool active_ = false;
    bool designing_;
};

// Message the focus control posts to a pane that should take the focus back.
constexpr UINT WM_WB_REACTIVATE = WM_USER + 68;

enum class TInternetFeature {
    ObjectCaching, ZoneElevation, MimeHandling, MimeSniffing, WindowRestrictions, WebocPopupManagement, Behaviors,
    DisableMkProtocol, LocalMachineLockDown, Securityband, RestrictActivexInstall, ValidateNavigateUrl,
    RestrictFileDownload, AddonManagement, ProtocolLockdown, HttpUsernamePasswordDisable, SafeBindToObject,
    UncSavedFileCheck, GetUrlDomFilePathUnencoded, TabbedBrowsing, Sslux, DisableNavigationSounds,
    DisableLegacyCompression, ForceAddrAndStatus, XmlHttp, DisableTelnetProtocol, Feeds, BlockInputPrompts, EntryCount,
};

class TWbControl : public TComponent {
    VIDUDO_CLASS(TWbControl, TComponent)
public:
    explicit TWbControl(TComponent* owner = nullptr, bool designing = false);
    ~TWbControl() override;

    TMouseWheelFix& MouseWheelFix() { return mouseWheelFix_; }
    TFocusControl& FocusControl() { return focusControl_; }
    TMouseWheelEvent OnMouseWheel;

    // Features in the set are switched on for the process; the others are left as they are,
    // so no security feature is ever switched off from here.
    uint32_t InternetFeatures() const { return features_; }
    void SetInternetFeatures(std::initializer_list<TInternetFeature> features);
    void Loaded() override;

private:
    bool designing_;
    TMouseWheelFix mouseWheelFix_;
    TFocusControl focusControl_;
    uint32_t features_ = 0;
};

// The process's one TWbControl, made at start-up with both fixes on.
TWbControl& GlobalWbControl();
