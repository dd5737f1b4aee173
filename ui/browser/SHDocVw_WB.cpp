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
    case 102: case 113: case 112: return &text;
    case 108: return &twoInts;
    case 105: return &command;
    case 106: case 104: case 253: return &none;
    case 250: return &before;
    case 251: return &newWindow2;
    case 252: case 259: return &complete;
    case 254: case 255: case 256: case 257: case 258: case 260: case 261: case 262: case 272: return &boolean;
    case 264: case 265: case 266: case 267: case 269: return &integer;
    case 263: case 270: return &closing;
    case 268: return &clientToHost;
    case 271: return &error;
    case 225: case 226: return &dispatch;
    case 227: return &pageStatus;
    case 273: return &newWindow3;
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
    case 102: call(OnStatusTextChange, self, a.Text(0)); break;
    case 108: call(OnProgressChange, self, a.Int(0), a.Int(1)); break;
    case 105: call(OnCommandStateChange, self, a.Int(0), a.Bool(1)); break;
    case 106: call(OnDownloadBegin, self); break;
    case 104: call(OnDownloadComplete, self); break;
    case 113: call(OnTitleChange, self, a.Text(0)); break;
    case 112: call(OnPropertyChange, self, a.Text(0)); break;
    case 250:
        withCancel(6, [&](bool& cancel) {
            call(OnBeforeNavigate2, self, a.Dispatch(0), a.Value(1), a.Value(2), a.Value(3), a.Value(4), a.Value(5),
                 cancel);
        });
        break;
    case 251:
        withCancel(1, [&](bool& cancel) { withDisp(0, [&](IDispatch*& d) { call(OnNewWindow2, self, d, cancel); }); });
        break;
    case 252: call(OnNavigateComplete2, self, a.Dispatch(0), a.Value(1)); break;
    case 259: call(OnDocumentComplete, self, a.Dispatch(0), a.Value(1)); break;
    case 253: call(OnQuit, self); break;
    case 254: call(OnVisible, self, a.Bool(0)); break;
    case 255: call(OnToolBar, self, a.Bool(0)); break;
    case 256: call(OnMenuBar, self, a.Bool(0)); break;
    case 257: call(OnStatusBar, self, a.Bool(0)); break;
    case 258: call(OnFullScreen, self, a.Bool(0)); break;
    case 260: call(OnTheaterMode, self, a.Bool(0)); break;
    case 261: call(OnAddressBar, self, a.Bool(0)); break;
    case 262: call(OnWindowSetResizable, self, a.Bool(0)); break;
    case 264: call(OnWindowSetLeft, self, a.Int(0)); break;
    case 265: call(OnWindowSetTop, self, a.Int(0)); break;
    case 266: call(OnWindowSetWidth, self, a.Int(0)); break;
    case 267: call(OnWindowSetHeight, self, a.Int(0)); break;
    case 263: withCancel(1, [&](bool& cancel) { call(OnWindowClosing, self, a.Bool(0), cancel); }); break;
    case 268: {
        long cx = a.Int(0), cy = a.Int(1);
        call(OnClientToHostWindow, self, cx, cy);
        a.SetInt(0, cx);
        a.SetInt(1, cy);
        break;
    }
    case 269: call(OnSetSecureLockIcon, self, a.Int(0)); break;
    case 270: withCancel(1, [&](bool& cancel) { call(OnFileDownload, self, a.Bool(0), cancel); }); break;
    case 271:
        withCancel(4, [&](bool& cancel) {
            call(OnNavigateError, self, a.Dispatch(0), a.Value(1), a.Value(2), a.Value(3), cancel);
        });
        break;
    case 225: call(OnPrintTemplateInstantiation, self, a.Dispatch(0)); break;
    case 226: call(OnPrintTemplateTeardown, self, a.Dispatch(0)); break;
    case 227: call(OnUpdatePageStatus, self, a.Dispatch(0), a.Value(1), a.Value(2)); break;
    case 272: call(OnPrivacyImpactedStateChange, self, a.Bool(0)); break;
    case 273:
        withCancel(1, [&](bool& cancel) {
            withDisp(0, [&](IDispatch*& d) {
                call(OnNewWindow3, self, d, cancel, static_cast<unsigned long>(V_UI4(&a.Raw(2))), a.Text(3), a.Text(4));
            });
        });
        break;
    default: break;
    }
}

