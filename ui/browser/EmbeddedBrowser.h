#pragma once
// The browser pane the windows place: the document host plus the options that keep the
// browser quiet inside the application (its dialogs closed or retitled, script-error boxes
// dismissed, shortcuts and context menus swallowed), loading of HTML text, user-agent and
// proxy choices, keyboard handling for folder views and the focus fixes of its inner windows.

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>

#include "framework/StringList.h"
#include "ui/browser/WbCore.h"
#include "ui/browser/WbProtocol.h"

// The x87 control word; tests and the unit's end read it back.
uint16_t FpuControlWord();

class TDisableErrors {
public:
    bool EnableDDE = true;
    bool fpExceptions() const { return fpExceptions_; }
    void SetfpExceptions(bool value);
    bool ScriptErrorsSuppressed = true;

private:
    bool fpExceptions_ = true;
};

struct TDialogBoxes {
    bool DisableAll = false;
    bool ReplaceCaption = true;
    bool ReplaceIcon = true;
    std::wstring NewCaption;
};

struct TVisualEffects {
    int TextSize = 2;
    bool DisableSounds = false;
};

struct TProxySettings {
    bool AutoLoadProxy = false;
    int Port = 80;
    std::string Password;
    std::string Address;
    std::string UserName;
    std::string UserAgent;
};

enum class TPrintOrientationOption { poPortrait, poLandScape };
struct TMargins {
    double Left = 0, Right = 0, Top = 0, Bottom = 0;
};
// Kept with the component; nothing at run time applies it.
struct TPrintOptions {
    bool Enabled = false;
    TMargins Margins;
    std::string Header;
    TStringList HTMLHeader;
    std::string Footer;
    TPrintOrientationOption Orientation = TPrintOrientationOption::poPortrait;
    bool Inches = false;
};

// Fills header, footer and margins from the browser's page setup in the registry; false when
// the key can't be read. Margins there are inches; they are converted unless Inches is set.
bool LoadPrintOptionsFromRegistry(TPrintOptions& options);

enum class TIEPopupMenuItem {
    rcsBack, rcsForward, rcsSavePageBkg, rcsSetAsBkg, rcsCopyBkg, rcsSetAsDeskT, rcsSelectAll, rcsPaste, rcsCreateSC,
    rcsAddToFav, rcsEncoding, rcsRefresh, rcsViewSource, rcsProperties, rcsPrint, rcsOpenNWindow, rcsOpenLink,
};
using TIEPopupMenuItems = TSet<TIEPopupMenuItem>;

enum class TUserAgentMode { uaDefault, uaInternal, uaRegistry };

class TEmbeddedBrowser : public TCustomEmbeddedBrowser {
    VIDUDO_CLASS(TEmbeddedBrowser, TCustomEmbeddedBrowser)
public:
    explicit TEmbeddedBrowser(TComponent* owner = nullptr);
    ~TEmbeddedBrowser() override;

    void Loaded() override;

    // Nothing happens when the pane can't take the focus.
    void SetFocus() override;
    // The control's own visibility (not the browser's OLE property); reports OnVisible.
    void SetVisible(bool visible) override;

    std::string HostCSS;
    std::string HostNS;
    bool EnableMessageHandler = true;
    TIEPopupMenuItems DisabledPopupMenuItems;
    TDisableErrors& DisableErrors() { return *disableErrors_; }
    TDialogBoxes& DialogBoxes() { return *dialogBoxes_; }
    TVisualEffects& VisualEffects() { return *visualEffects_; }
    TProxySettings& ProxySettings() { return *proxySettings_; }
    TPrintOptions& PrintOptions() { return *printOptions_; }
    std::string About() const;

    const TStringList& HTMLCode() const { return htmlCode_; }
    // Copies the lines and shows them (see the loading rule in the .cpp).
    void SetHTMLCode(const TStringList& lines);

    const std::string& UserAgent() const { return userAgent_; }
    void SetUserAgent(const std::string& agent);
    TUserAgentMode UserAgentMode() const { return userAgentMode_; }
    void SetUserAgentMode(TUserAgentMode mode);
    // The registry value name this component wrote; empty when none.
    const std::string& RegistryUserAgent() const { return registryAgent_; }

    std::function<void(TObject*, bool visible)> OnVisible;
    std::function<void(TObject*, bool& canClose)> OnCloseQuery;
    std::function<void(TObject*, MSG& msg, bool& handled)> OnMessage;
    std::function<void(TObject*, HWND dialog, LONG exStyle, const std::wstring& caption, std::wstring& newCaption,
                       bool& disableAll)> OnShowDialog;
    std::function<void(TObject*, DWORD startTick, bool& cancel, DWORD& timeout)> OnBusyWait;
    std::function<void(TObject*, bool right, UINT shift, int x, int y)> OnClick;

    bool HasHtmlDocument();
    bool GoAboutBlank(bool wait);
    bool NavigateTo(const std::string& text, DWORD timeout = 0);
    // Waits, pumping messages, until the page is complete; false when it ended otherwise.
    // Bounded: a timeout of 0 means the default bound.
    bool WaitWhileBusy(DWORD timeout = 0);
    static constexpr DWORD kDefaultWait = 12000;
    // Waits the same way until a document exists (what a window polls after Navigate).
    bool WaitForHtmlDocument(DWORD timeout = 0);
    int LoadFromStrings(const TStringList& lines);
    HRESULT LoadFromStream(IStream* stream);

    // What the owner form's subclass does when a window takes the activation from it.
    void HandleDialog(HWND dialog);
    // Folder-view arrow keys; true when the key is used up (OnKeyDown runs otherwise).
    bool HandleKeyDown(WORD& key, LPARAM keyData);

    // The component's pass-through protocol (IInternetProtocolRoot, IInternetProtocol).
    IInternetProtocol* Protocol() const { return protocol_; }

    HRESULT GetHostInfo(DOCHOSTUIINFO* info) override;
    void DispatchEvent(DISPID id, const TEventArgs& args) override;

protected:
    void WndProc(TMessage& message) override;
    void CreateWnd() override;
    bool HasPopupMenuFilter() const override;
    void FilterPopupMenu(DWORD id, HMENU menu) override;

private:
    // Pumps messages (MsgWaitForMultipleObjects, never a spin) until done() holds; ends early
    // on NavigateError, quit, close, WM_QUIT or destruction; bounded by timeout.
    bool PumpUntil(const std::function<bool()>& done, DWORD timeout, bool askHandler);
    void ApplyUserAgentMode();
    void RemoveRegistryUserAgent();
    void InstallOwnerSubclass();
    void RemoveOwnerSubclass();
    void InstallInnerFocusFixes();
    void RemoveInnerFocusFixes();
    void Reactivate();
    HWND FormHandle() const { return handle_ ? GetAncestor(handle_, GA_ROOT) : nullptr; }
    static LRESULT CALLBACK OwnerProc(HWND, UINT, WPARAM, LPARAM, UINT_PTR, DWORD_PTR);
    static LRESULT CALLBACK InnerProc(HWND, UINT, WPARAM, LPARAM, UINT_PTR, DWORD_PTR);

    TDisableErrors* disableErrors_;
    TDialogBoxes* dialogBoxes_;
    TVisualEffects* visualEffects_;
    TProxySettings* proxySettings_;
    TPrintOptions* printOptions_;
    TStringList htmlCode_;
    std::string userAgent_;
    TUserAgentMode userAgentMode_ = TUserAgentMode::uaDefault;
    std::string registryAgent_;
    std::string internalAgent_;
    bool xpSp2_ = false;
    bool blockLoneMoves_ = true;
    HWND owner_ = nullptr;
    bool ownsOwnerSubclass_ = false;
    HWND inner_[3] = {};
    bool waitEnded_ = false;
    TWbProtocol* protocol_ = TWbProtocol::Create();
    TComPtr<IInternetSecurityManager> securityManager_;
    TComPtr<IInternetZoneManager> zoneManager_;  // NavigateError, quit or close seen during a wait
};
