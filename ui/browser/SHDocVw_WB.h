#pragma once
// The typed wrapper of the WebBrowser control: its class and event interface, the control's
// Boolean and text properties by dispatch ID, its 34 events, and the navigation and command
// calls the windows use. A framework control: its own window holds the ActiveX control in
// place, filling it; the control's window ("Shell Embedding") is ControlWindow(). Placed on
// a form like any control, or inside a plain window with PlaceInWindow.

#include <windows.h>
#include <exdisp.h>

#include <functional>
#include <memory>
#include <string>

#include "framework/Controls.h"
#include "framework/ole/OleControl.h"

using TWBTextEvent = std::function<void(TObject* sender, const std::wstring& text)>;
using TWBBoolEvent = std::function<void(TObject* sender, bool value)>;
using TWBIntEvent = std::function<void(TObject* sender, long value)>;
using TWBStatusTextChange = TWBTextEvent;
using TWBTitleChange = TWBTextEvent;
using TWBPropertyChange = TWBTextEvent;
using TWBProgressChange = std::function<void(TObject*, long progress, long progressMax)>;
using TWBCommandStateChange = std::function<void(TObject*, long command, bool enable)>;
using TWBBeforeNavigate2 = std::function<void(TObject*, IDispatch* disp, const VARIANT& url, const VARIANT& flags,
                                              const VARIANT& targetFrameName, const VARIANT& postData,
                                              const VARIANT& headers, bool& cancel)>;
using TWBNewWindow2 = std::function<void(TObject*, IDispatch*& disp, bool& cancel)>;
using TWBNavigateComplete2 = std::function<void(TObject*, IDispatch* disp, const VARIANT& url)>;
using TWBDocumentComplete = TWBNavigateComplete2;
using TWBWindowClosing = std::function<void(TObject*, bool isChildWindow, bool& cancel)>;
using TWBClientToHostWindow = std::function<void(TObject*, long& cx, long& cy)>;
using TWBFileDownload = std::function<void(TObject*, bool activeDocument, bool& cancel)>;
using TWBNavigateError = std::function<void(TObject*, IDispatch* disp, const VARIANT& url, const VARIANT& frame,
                                            const VARIANT& statusCode, bool& cancel)>;
using TWBPrintTemplate = std::function<void(TObject*, IDispatch* disp)>;
using TWBUpdatePageStatus = std::function<void(TObject*, IDispatch* disp, const VARIANT& page, const VARIANT& done)>;
using TWBNewWindow3 = std::function<void(TObject*, IDispatch*& disp, bool& cancel, unsigned long flags,
                                         const std::wstring& urlContext, const std::wstring& url)>;

// The control's class, event interface and the event IDs in slot order.
extern const CLSID CLSID_WebBrowserControl;
extern const DISPID kWebBrowserEventIds[34];
// The argument types of a DWebBrowserEvents2 event; nullptr for an ID it doesn't have.
const TEventSignature* WebBrowserEventSignature(DISPID id);

class TWB : public TWinControl, public TOleSiteHandler {
    VIDUDO_CLASS(TWB, TWinControl)
public:
    explicit TWB(TComponent* owner = nullptr);
    ~TWB() override;

    // Creates the window (and the control in it) as a child of a window outside the
    // framework; raises when the control can't be made.
    void PlaceInWindow(HWND parent, const RECT& bounds);
    // The first step of every destructor in the chain: from here on the control reaches no
    // handler (late calls answer E_UNEXPECTED) and its window is closed.
    void BeginDestroy() noexcept;
    bool Destroying() const { return closing_; }
    // The ActiveX control's own window; nullptr before it exists.
    HWND ControlWindow() const { return host_.ControlWindow(); }
    TOleControlHost& Host() { return host_; }

    // The control's IWebBrowser2; raises when the control doesn't answer it.
    IWebBrowser2* DefaultInterface();
    void Navigate(const std::wstring& url);
    void Navigate2(VARIANT* url, VARIANT* flags, VARIANT* targetFrameName, VARIANT* postData, VARIANT* headers);
    // vaOut, when given, receives the command's output; otherwise it is dropped.
    void ExecWB(OLECMDID cmd, OLECMDEXECOPT option, VARIANT* vaIn, VARIANT* vaOut = nullptr);

    // The browser's own Visible property (the control's visibility is the framework's).
    bool BrowserVisible() { return host_.GetBoolProp(402); }
    void SetBrowserVisible(bool v) { host_.SetBoolProp(402, v); }
    bool StatusBar() { return host_.GetBoolProp(403); }
    void SetStatusBar(bool v) { host_.SetBoolProp(403, v); }
    std::wstring StatusText() { return host_.GetWideStrProp(404); }
    void SetStatusText(const std::wstring& v) { host_.SetWideStrProp(404, v); }
    long ToolBar() { return host_.GetIntProp(405); }
    void SetToolBar(long v) { host_.SetIntProp(405, v); }
    bool MenuBar() { return host_.GetBoolProp(406); }
    void SetMenuBar(bool v) { host_.SetBoolProp(406, v); }
    bool FullScreen() { return host_.GetBoolProp(407); }
    void SetFullScreen(bool v) { host_.SetBoolProp(407, v); }
    bool Offline() { return host_.GetBoolProp(550); }
    void SetOffline(bool v) { host_.SetBoolProp(550, v); }
    bool Silent() { return host_.GetBoolProp(551); }
    void SetSilent(bool v) { host_.SetBoolProp(551, v); }
    bool RegisterAsBrowser() { return host_.GetBoolProp(552); }
    void SetRegisterAsBrowser(bool v) { host_.SetBoolProp(552, v); }
    bool RegisterAsDropTarget() { return host_.GetBoolProp(553); }
    void SetRegisterAsDropTarget(bool v) { host_.SetBoolProp(553, v); }
    bool TheaterMode() { return host_.GetBoolProp(554); }
    void SetTheaterMode(bool v) { host_.SetBoolProp(554, v); }
    bool AddressBar() { return host_.GetBoolProp(555); }
    void SetAddressBar(bool v) { host_.SetBoolProp(555, v); }
    bool Resizable() { return host_.GetBoolProp(556); }
    void SetResizable(bool v) { host_.SetBoolProp(556, v); }

    TWBStatusTextChange OnStatusTextChange;
    TWBProgressChange OnProgressChange;
    TWBCommandStateChange OnCommandStateChange;
    TNotifyEvent OnDownloadBegin;
    TNotifyEvent OnDownloadComplete;
    TWBTitleChange OnTitleChange;
    TWBPropertyChange OnPropertyChange;
    TWBBeforeNavigate2 OnBeforeNavigate2;
    TWBNewWindow2 OnNewWindow2;
    TWBNavigateComplete2 OnNavigateComplete2;
    TWBDocumentComplete OnDocumentComplete;
    TNotifyEvent OnQuit;
    TWBBoolEvent OnVisible;
    TWBBoolEvent OnToolBar;
    TWBBoolEvent OnMenuBar;
    TWBBoolEvent OnStatusBar;
    TWBBoolEvent OnFullScreen;
    TWBBoolEvent OnTheaterMode;
    TWBBoolEvent OnAddressBar;
    TWBBoolEvent OnWindowSetResizable;
    TWBIntEvent OnWindowSetLeft;
    TWBIntEvent OnWindowSetTop;
    TWBIntEvent OnWindowSetWidth;
    TWBIntEvent OnWindowSetHeight;
    TWBWindowClosing OnWindowClosing;
    TWBClientToHostWindow OnClientToHostWindow;
    TWBIntEvent OnSetSecureLockIcon;
    TWBFileDownload OnFileDownload;
    TWBNavigateError OnNavigateError;
    TWBPrintTemplate OnPrintTemplateInstantiation;
    TWBPrintTemplate OnPrintTemplateTeardown;
    TWBUpdatePageStatus OnUpdatePageStatus;
    TWBBoolEvent OnPrivacyImpactedStateChange;
    TWBNewWindow3 OnNewWindow3;

    // Routes one event to its handler; the sink calls this after checking the arguments.
    virtual void DispatchEvent(DISPID id, const TEventArgs& args);
    // The sink connected to the control, for tests that fire events themselves.
    TOleEventSink* EventSink() const { return sink_; }

    HWND SiteParentWindow() override { return handle_; }
    RECT SiteClientRect() override;

protected:
    void CreateParams(TCreateParams& params) override;
    // The framework window first, then the control in place inside it.
    void CreateWnd() override;
    void DestroyWnd() override;
    void WndProc(TMessage& message) override;
    // Makes the ActiveX control inside the window (once the window exists).
    void CreateControl();

    bool closing_ = false;

private:
    HWND parentWindow_ = nullptr;
    TOleControlHost host_;
    TOleEventSink* sink_ = nullptr;
    TComPtr<IWebBrowser2> default_;
};
