#include "ui/browser/SHDocVw_WB.h"

#include <exdispid.h>

#include "framework/ExceptionBoundary.h"
#include "framework/ole/OleError.h"

const CLSID CLSID_WebBrowserControl = {0x8856F961, 0x340A, 0x11D0, {0xA9, 0x6B, 0x00, 0xC0, 0x4F, 0xD7, 0x05, 0xA2}};

const DISPID kWebBrowserEventIds[34] = {102, 108, 105, 106, 104, 113, 112, 250, 251, 252, 259, 253,
                                        254, 255, 256, 257, 258, 260, 261, 262, 264, 265, 266, 267,
                                        263, 268, 269, 270, 271, 225, 226, 227, 272, 273};

namespace {

constexpr VARTYPE kRefVar = VT_BYREF | VT_VARIANT;
constexpr VARTYPE kRefBool = VT_BYREF | VT_BOOL;

}  // namespace

const TEventSignature* WebBrowserEventSignature(DISPID id)
{
    static const TEventSignature none{};
    static const TEventSignature text{VT_BSTR};
    static const TEventSignature boolean{VT_BOOL};
    static const TEventSignature integer{VT_I4};
    static const TEventSignature twoInts{VT_I4, VT_I4};
    static const TEventSignature command{VT_I4, VT_BOOL};
    static const TEventSignature before{VT_DISPATCH, kRefVar, kRefVar, kRefVar, kRefVar, kRefVar, kRefBool};
    static const TEventSignature newWindow2{VT_BYREF | VT_DISPATCH, kRefBool};
    static const TEventSignature complete{VT_DISPATCH, kRefVar};
    static const TEventSignature closing{VT_BOOL, kRefBool};
    static const TEventSignature clientToHost{VT_BYREF | VT_I4, VT_BYREF | VT_I4};
    static const TEventSignature error{VT_DISPATCH, kRefVar, kRefVar, kRefVar, kRefBool};
    static const TEventSignature dispatch{VT_DISPATCH};
    static const TEventSignature pageStatus{VT_DISPATCH, kRefVar, kRefVar};
    static const TEventSignature newWindow3{VT_BYREF | VT_DISPATCH, kRefBool, VT_UI4, VT_BSTR, VT_BSTR};
    switch (id) {
    case DISPID_STATUSTEXTCHANGE:
    case DISPID_TITLECHANGE:
    case DISPID_PROPERTYCHANGE:
        return &text;
    case DISPID_PROGRESSCHANGE:
        return &twoInts;
    case DISPID_COMMANDSTATECHANGE:
        return &command;
    case DISPID_DOWNLOADBEGIN:
    case DISPID_DOWNLOADCOMPLETE:
    case DISPID_ONQUIT:
        return &none;
    case DISPID_BEFORENAVIGATE2:
        return &before;
    case DISPID_NEWWINDOW2:
        return &newWindow2;
    case DISPID_NAVIGATECOMPLETE2:
    case DISPID_DOCUMENTCOMPLETE:
        return &complete;
    case DISPID_ONVISIBLE:
    case DISPID_ONTOOLBAR:
    case DISPID_ONMENUBAR:
    case DISPID_ONSTATUSBAR:
    case DISPID_ONFULLSCREEN:
    case DISPID_ONTHEATERMODE:
    case DISPID_ONADDRESSBAR:
    case DISPID_WINDOWSETRESIZABLE:
    case DISPID_PRIVACYIMPACTEDSTATECHANGE:
        return &boolean;
    case DISPID_WINDOWSETLEFT:
    case DISPID_WINDOWSETTOP:
    case DISPID_WINDOWSETWIDTH:
    case DISPID_WINDOWSETHEIGHT:
    case DISPID_SETSECURELOCKICON:
        return &integer;
    case DISPID_WINDOWCLOSING:
    case DISPID_FILEDOWNLOAD:
        return &closing;
    case DISPID_CLIENTTOHOSTWINDOW:
        return &clientToHost;
    case DISPID_NAVIGATEERROR:
        return &error;
    case DISPID_PRINTTEMPLATEINSTANTIATION:
    case DISPID_PRINTTEMPLATETEARDOWN:
        return &dispatch;
    case DISPID_UPDATEPAGESTATUS:
        return &pageStatus;
    case DISPID_NEWWINDOW3:
        return &newWindow3;
    default: return nullptr;
    }
}

TWB::TWB(TComponent* owner) : TWinControl(owner), host_(this)
{
    tabStop_ = true;
    sink_ = TOleEventSink::Create(DIID_DWebBrowserEvents2, WebBrowserEventSignature,
                                  [this](DISPID id, const TEventArgs& args) { DispatchEvent(id, args); });
}

TWB::~TWB() { BeginDestroy(); }

void TWB::BeginDestroy() noexcept
{
    closing_ = true;
    if (sink_) {
        sink_->Detach();
        sink_->Release();
        sink_ = nullptr;
    }
    default_.Reset();
    host_.Destroy();
}

void TWB::PlaceInWindow(HWND parent, const RECT& bounds)
{
    parentWindow_ = parent;
    SetBounds(bounds.left, bounds.top, bounds.right - bounds.left, bounds.bottom - bounds.top);
    HandleNeeded();
}

void TWB::CreateParams(TCreateParams& params)
{
    TWinControl::CreateParams(params);
    params.Style |= WS_CLIPCHILDREN;
    if (parentWindow_ && !parent_)
        params.WndParent = parentWindow_;
}

void TWB::CreateWnd()
{
    TWinControl::CreateWnd();
    CreateControl();
}

void TWB::CreateControl()
{
    if (host_.Created() || !handle_ || closing_)
        return;
    host_.Create(CLSID_WebBrowserControl);
    host_.SetBounds(SiteClientRect());
    if (sink_)
        host_.Advise(sink_);
}

void TWB::DestroyWnd()
{
    default_.Reset();
    host_.Destroy();
    TWinControl::DestroyWnd();
}

RECT TWB::SiteClientRect()
{
    RECT r{};
    if (handle_)
        GetClientRect(handle_, &r);
    return r;
}

void TWB::WndProc(TMessage& m)
{
    switch (m.Msg) {
    case WM_SIZE:
        TWinControl::WndProc(m);
        if (HWND control = ControlWindow()) {
            const RECT r = SiteClientRect();
            MoveWindow(control, 0, 0, r.right, r.bottom, TRUE);
            host_.SetBounds(r);
        }
        return;
    case WM_SETFOCUS:
        TWinControl::WndProc(m);
        // The page, not the holder, takes the keys.
        if (HWND control = ControlWindow())
            ::SetFocus(control);
        return;
    default:
        TWinControl::WndProc(m);
    }
}

IWebBrowser2* TWB::DefaultInterface()
{
    if (!default_) {
        if (!host_.Dispatch())
            OleCheck(E_NOINTERFACE);
        OleCheck(host_.Dispatch()->QueryInterface(IID_IWebBrowser2, reinterpret_cast<void**>(default_.Out())));
    }
    return default_.Get();
}

void TWB::Navigate(const std::wstring& url)
{
    // Fresh arguments on every call: nothing an earlier call returned becomes post data.
    VARIANT omitted, postData;
    V_VT(&omitted) = VT_ERROR;
    V_ERROR(&omitted) = DISP_E_PARAMNOTFOUND;
    VariantInit(&postData);
    VARIANT flags = omitted, target = omitted, headers = omitted;
    BSTR b = SysAllocStringLen(url.data(), static_cast<UINT>(url.size()));
    const HRESULT hr = DefaultInterface()->Navigate(b, &flags, &target, &postData, &headers);
    SysFreeString(b);
    OleCheck(hr);
}

void TWB::Navigate2(VARIANT* url, VARIANT* flags, VARIANT* targetFrameName, VARIANT* postData, VARIANT* headers)
{
    OleCheck(DefaultInterface()->Navigate2(url, flags, targetFrameName, postData, headers));
}

void TWB::ExecWB(OLECMDID cmd, OLECMDEXECOPT option, VARIANT* vaIn, VARIANT* vaOut)
{
    VARIANT out;
    VariantInit(&out);
    const HRESULT hr = DefaultInterface()->ExecWB(cmd, option, vaIn, &out);
    if (vaOut && SUCCEEDED(hr))
        *vaOut = out;
    else
        VariantClear(&out);
    OleCheck(hr);
}

void TWB::DispatchEvent(DISPID id, const TEventArgs& a)
{
    auto call = [](auto& handler, auto&&... args) {
        if (handler)
            handler(std::forward<decltype(args)>(args)...);
    };
    auto withCancel = [&](int index, auto&& fire) {
        bool cancel = a.Bool(index);
        fire(cancel);
        a.SetBool(index, cancel);
    };
    auto withDisp = [&](int index, auto&& fire) {
        IDispatch* disp = a.Dispatch(index);
        IDispatch* before = disp;
        fire(disp);
        if (disp != before)
            a.SetDispatch(index, disp);
    };
    TObject* self = this;
    switch (id) {
    case DISPID_STATUSTEXTCHANGE: call(OnStatusTextChange, self, a.Text(0)); break;
    case DISPID_PROGRESSCHANGE: call(OnProgressChange, self, a.Int(0), a.Int(1)); break;
    case DISPID_COMMANDSTATECHANGE: call(OnCommandStateChange, self, a.Int(0), a.Bool(1)); break;
    case DISPID_DOWNLOADBEGIN: call(OnDownloadBegin, self); break;
    case DISPID_DOWNLOADCOMPLETE: call(OnDownloadComplete, self); break;
    case DISPID_TITLECHANGE: call(OnTitleChange, self, a.Text(0)); break;
    case DISPID_PROPERTYCHANGE: call(OnPropertyChange, self, a.Text(0)); break;
    case DISPID_BEFORENAVIGATE2:
        withCancel(6, [&](bool& cancel) {
            call(OnBeforeNavigate2, self, a.Dispatch(0), a.Value(1), a.Value(2), a.Value(3), a.Value(4), a.Value(5),
                 cancel);
        });
        break;
    case DISPID_NEWWINDOW2:
        withCancel(1, [&](bool& cancel) { withDisp(0, [&](IDispatch*& d) { call(OnNewWindow2, self, d, cancel); }); });
        break;
    case DISPID_NAVIGATECOMPLETE2: call(OnNavigateComplete2, self, a.Dispatch(0), a.Value(1)); break;
    case DISPID_DOCUMENTCOMPLETE: call(OnDocumentComplete, self, a.Dispatch(0), a.Value(1)); break;
    case DISPID_ONQUIT: call(OnQuit, self); break;
    case DISPID_ONVISIBLE: call(OnVisible, self, a.Bool(0)); break;
    case DISPID_ONTOOLBAR: call(OnToolBar, self, a.Bool(0)); break;
    case DISPID_ONMENUBAR: call(OnMenuBar, self, a.Bool(0)); break;
    case DISPID_ONSTATUSBAR: call(OnStatusBar, self, a.Bool(0)); break;
    case DISPID_ONFULLSCREEN: call(OnFullScreen, self, a.Bool(0)); break;
    case DISPID_ONTHEATERMODE: call(OnTheaterMode, self, a.Bool(0)); break;
    case DISPID_ONADDRESSBAR: call(OnAddressBar, self, a.Bool(0)); break;
    case DISPID_WINDOWSETRESIZABLE: call(OnWindowSetResizable, self, a.Bool(0)); break;
    case DISPID_WINDOWSETLEFT: call(OnWindowSetLeft, self, a.Int(0)); break;
    case DISPID_WINDOWSETTOP: call(OnWindowSetTop, self, a.Int(0)); break;
    case DISPID_WINDOWSETWIDTH: call(OnWindowSetWidth, self, a.Int(0)); break;
    case DISPID_WINDOWSETHEIGHT: call(OnWindowSetHeight, self, a.Int(0)); break;
    case DISPID_WINDOWCLOSING:
        withCancel(1, [&](bool& cancel) { call(OnWindowClosing, self, a.Bool(0), cancel); });
        break;
    case DISPID_CLIENTTOHOSTWINDOW: {
        long cx = a.Int(0), cy = a.Int(1);
        call(OnClientToHostWindow, self, cx, cy);
        a.SetInt(0, cx);
        a.SetInt(1, cy);
        break;
    }
    case DISPID_SETSECURELOCKICON: call(OnSetSecureLockIcon, self, a.Int(0)); break;
    case DISPID_FILEDOWNLOAD:
        withCancel(1, [&](bool& cancel) { call(OnFileDownload, self, a.Bool(0), cancel); });
        break;
    case DISPID_NAVIGATEERROR:
        withCancel(4, [&](bool& cancel) {
            call(OnNavigateError, self, a.Dispatch(0), a.Value(1), a.Value(2), a.Value(3), cancel);
        });
        break;
    case DISPID_PRINTTEMPLATEINSTANTIATION: call(OnPrintTemplateInstantiation, self, a.Dispatch(0)); break;
    case DISPID_PRINTTEMPLATETEARDOWN: call(OnPrintTemplateTeardown, self, a.Dispatch(0)); break;
    case DISPID_UPDATEPAGESTATUS: call(OnUpdatePageStatus, self, a.Dispatch(0), a.Value(1), a.Value(2)); break;
    case DISPID_PRIVACYIMPACTEDSTATECHANGE: call(OnPrivacyImpactedStateChange, self, a.Bool(0)); break;
    case DISPID_NEWWINDOW3:
        withCancel(1, [&](bool& cancel) {
            withDisp(0, [&](IDispatch*& d) {
                call(OnNewWindow3, self, d, cancel, static_cast<unsigned long>(V_UI4(&a.Raw(2))), a.Text(3), a.Text(4));
            });
        });
        break;
    default: break;
    }
}

