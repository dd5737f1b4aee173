#include "ui/browser/WbCore.h"

#include <mshtmdid.h>

#include <utility>

#include "framework/CodePage.h"
#include "framework/Forms.h"
#include "framework/Menus.h"
#include "framework/ScopedWin.h"
#include "framework/ole/OleError.h"
#include "ui/browser/WbControlComponent.h"
#include "ui/browser/WbTools.h"

namespace {

const GUID kCGID_Explorer = {0x000214D0, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
const GUID kCGID_ShellDocView = {0x000214D1, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
const GUID kCGID_DocHostCommandHandler = {0xF38BC242, 0xB950, 0x11D1, {0x89, 0x18, 0x00, 0xC0, 0x4F, 0xC2, 0xC8, 0x36}};

constexpr DISPID kAmbientUserAgent = -5513;
constexpr DISPID kAmbientDownloadControl = -5512;
constexpr DISPID kAmbientOffline = -709;
constexpr UINT kBrowserMenuResource = 24641;
constexpr UINT kEncodingItem = 2292;

std::wstring Wide(const wchar_t* text) { return text ? std::wstring(text) : std::wstring(); }

// Reads one property of the script-error event object by name, as text.
std::string EventText(IDispatch* event, const wchar_t* name)
{
    DISPID id = DISPID_UNKNOWN;
    LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
    if (FAILED(event->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id)))
        throw Exception(Format("'%s' is not supported.", WideToGbk(name).c_str()));
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    ScopedVariant v;
    OleCheck(event->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET, &none, &v, nullptr, nullptr));
    std::string text;
    if (SUCCEEDED(VariantChangeType(&v, &v, 0, VT_BSTR)) && V_BSTR(&v))
        text = WideToGbk(V_BSTR(&v));
    return text;
}

}  // namespace

TCustomEmbeddedBrowser::TCustomEmbeddedBrowser(TComponent* owner) : TWB(owner)
{
    SetDownloadOptions({TDownloadControlOption::DownloadImages, TDownloadControlOption::DownloadVideos,
                        TDownloadControlOption::DownloadBGSounds});
    SetUserInterfaceOptions({TUserInterfaceOption::EnablesFormsAutoComplete, TUserInterfaceOption::EnableThemes});
}

TCustomEmbeddedBrowser::~TCustomEmbeddedBrowser() { BeginDestroy(); }

void TCustomEmbeddedBrowser::SetDownloadOptions(const TDownloadControlOptions& options)
{
    downloadOptions_ = options;
    downloadFlags_ = DownloadControlFlags(options);
    Host().AmbientChanged(kAmbientDownloadControl);
}

void TCustomEmbeddedBrowser::SetUserInterfaceOptions(const TUserInterfaceOptions& options)
{
    userInterfaceOptions_ = options;
    hostUIFlags_ = UserInterfaceFlags(options);
    Host().AmbientChanged(kAmbientDownloadControl);
}

void TCustomEmbeddedBrowser::SetDropHandlingType(TDragDropHandlingType type)
{
    if (type == dropHandlingType_)
        return;
    dropHandlingType_ = type;
    HWND server = FindChildWindow(L"Internet Explorer_Server");
    if (server)
        RevokeDragDrop(server);
    if (!Host().Created())
        return;
    TComPtr<IDropTarget> target;
    switch (type) {
    case TDragDropHandlingType::ddtMS: SetRegisterAsDropTarget(true); break;
    case TDragDropHandlingType::ddtNo: SetRegisterAsDropTarget(false); break;
    case TDragDropHandlingType::ddtMy:
        target = static_cast<IDropTarget*>(Host().Site());
        break;
    case TDragDropHandlingType::ddtCustom:
        if (server) {
            target = static_cast<IDropTarget*>(Host().Site());
            if (OnGetDropTarget)
                OnGetDropTarget(this, target);
        }
        break;
    }
    if (target && server)
        RegisterDragDrop(server, target.Get());
}

TComPtr<IHTMLDocument2> TCustomEmbeddedBrowser::DocumentAsHtml()
{
    if (!Host().Created())
        return {};
    TComPtr<IDispatch> document = Host().GetDispatchProp(203);
    return document.As<IHTMLDocument2>(IID_IHTMLDocument2);
}

HWND TCustomEmbeddedBrowser::FindChildWindow(const std::wstring& className) const
{
    HWND window = handle_;
    if (!window)
        return nullptr;
    for (HWND w = GetWindow(window, GW_CHILD); w; w = GetWindow(w, GW_CHILD))
        if (WindowClassNameW(w) == className)
            return w;
    return nullptr;
}

void TCustomEmbeddedBrowser::SetZoom(int level)
{
    if (!DocumentAsHtml())
        return;
    ScopedVariant range;
    ExecWB(OLECMDID_GETZOOMRANGE, OLECMDEXECOPT_DONTPROMPTUSER, nullptr, &range);
    if (SUCCEEDED(VariantChangeType(&range, &range, 0, VT_I4))) {
        const long low = static_cast<short>(LOWORD(V_I4(&range)));
        const long high = static_cast<short>(HIWORD(V_I4(&range)));
        level = static_cast<int>(std::max(low, std::min<long>(high, level)));
    }
    VARIANT in;
    V_VT(&in) = VT_I4;
    V_I4(&in) = level;
    ExecWB(OLECMDID_ZOOM, OLECMDEXECOPT_DONTPROMPTUSER, &in);
}

void TCustomEmbeddedBrowser::UIActivate()
{
    if (!DocumentAsHtml() || !Host().OleObject())
        return;
    const bool saved = allowFocusChange_;
    allowFocusChange_ = true;
    RECT r{};
    GetClientRect(handle_, &r);
    const HRESULT hr = Host().OleObject()->DoVerb(OLEIVERB_UIACTIVATE, nullptr, Host().Site(), 0, handle_, &r);
    allowFocusChange_ = saved;
    OleCheck(hr);
    if (CanFocus()) {
        SetFormActiveBrowser(FormWindow(), this);
        if (TCustomForm* form = ParentForm(); form && form->ActiveControl() != this)
            form->SetActiveControl(this);
    }
}

namespace {

// The hidden window that holds parked browser windows, made once.
HWND ParkingWindow()
{
    static HWND window = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
    return window;
}

}  // namespace

void TCustomEmbeddedBrowser::CreateWnd()
{
    HWND parked = std::exchange(parked_, nullptr);
    if (!parked || !IsWindow(parked) || parked != ControlWindow()) {
        TWB::CreateWnd();
        return;
    }
    TWinControl::CreateWnd();
    ::SetParent(parked, handle_);
    const RECT r = SiteClientRect();
    MoveWindow(parked, 0, 0, r.right, r.bottom, TRUE);
    Host().SetBounds(r);
}

void TCustomEmbeddedBrowser::DestroyWnd()
{
    HWND control = ControlWindow();
    if (closing_ || !control || !ParkingWindow()) {
        TWB::DestroyWnd();
        return;
    }
    ::SetParent(control, ParkingWindow());
    parked_ = control;
    TWinControl::DestroyWnd();
}

HWND TCustomEmbeddedBrowser::FormWindow() const
{
    return handle_ ? GetAncestor(handle_, GA_ROOT) : nullptr;
}

// --- answers ---

HRESULT TCustomEmbeddedBrowser::ShowContextMenu(DWORD id, POINT* pt, IUnknown* cmdt, IDispatch* disp)
{
    HRESULT result = E_NOTIMPL;
    if (OnShowContextMenu)
        OnShowContextMenu(this, id, pt, cmdt, disp, result);
    if (result != E_NOTIMPL)
        return result;
    if (DisabledPopupMenus.Contains(TIEPopupMenu::rcmAll) ||
        (id < 10 && DisabledPopupMenus.Contains(static_cast<TIEPopupMenu>(id)))) {
        if (PopupMenu) {
            POINT cursor{};
            GetCursorPos(&cursor);
            PopupMenu->Popup(cursor.x, cursor.y);
        }
        return S_OK;
    }
    if (HasPopupMenuFilter())
        return ShowBrowserMenu(id, pt, cmdt);
    return S_FALSE;
}

HRESULT TCustomEmbeddedBrowser::ShowBrowserMenu(DWORD id, POINT* pt, IUnknown* cmdt)
{
    HMODULE resources = BrowserResourceLibrary();
    HMENU loaded = resources ? LoadMenuW(resources, MAKEINTRESOURCEW(kBrowserMenuResource)) : nullptr;
    if (!loaded)
        return S_FALSE;
    // The loaded menu and the submenus attached to it go with it, whatever happens below.
    struct MenuGuard {
        HMENU menu;
        ~MenuGuard() { DestroyMenu(menu); }
    } guard{loaded};
    HMENU menu = GetSubMenu(loaded, static_cast<int>(id));
    if (!menu)
        return S_FALSE;
    TComPtr<IUnknown> target(cmdt);
    TComPtr<IOleCommandTarget> commands = target.As<IOleCommandTarget>(IID_IOleCommandTarget);
    TComPtr<IOleWindow> window = target.As<IOleWindow>(IID_IOleWindow);
    if (commands) {
        ScopedVariant encoding;
        if (SUCCEEDED(commands->Exec(&kCGID_ShellDocView, 27, 0, nullptr, &encoding)) && V_VT(&encoding) == VT_I4 &&
            IsMenu(reinterpret_cast<HMENU>(static_cast<INT_PTR>(V_I4(&encoding))))) {
            MENUITEMINFOW item{};
            item.cbSize = sizeof item;
            item.fMask = MIIM_SUBMENU;
            item.hSubMenu = reinterpret_cast<HMENU>(static_cast<INT_PTR>(V_I4(&encoding)));
            SetMenuItemInfoW(menu, kEncodingItem, FALSE, &item);
        }
    }
    FilterPopupMenu(id, menu);
    HWND owner = nullptr;
    if (window && commands)
        window->GetWindow(&owner);
    if (!owner || !pt)
        return S_OK;
    const int command = TrackPopupMenu(menu, 0x1502, pt->x, pt->y, 0, owner, nullptr);
    if (command)
        SendMessageW(owner, WM_COMMAND, MAKEWPARAM(command, 0), 0);
    return S_OK;
}

void TCustomEmbeddedBrowser::FilterPopupMenu(DWORD id, HMENU menu)
{
    if (OnFilterPopupMenu)
        OnFilterPopupMenu(this, id, menu);
}

HRESULT TCustomEmbeddedBrowser::GetHostInfo(DOCHOSTUIINFO* info)
{
    info->cbSize = 20;
    info->dwFlags = hostUIFlags_;
    info->dwDoubleClick = DOCHOSTUIDBLCLK_DEFAULT;
    info->pchHostCss = nullptr;
    info->pchHostNS = nullptr;
    if (OnGetHostInfo)
        OnGetHostInfo(this, *info);
    return S_OK;
}

HRESULT TCustomEmbeddedBrowser::ShowUI(DWORD id, IOleInPlaceActiveObject* a, IOleCommandTarget* c,
                                       IOleInPlaceFrame* f, IOleInPlaceUIWindow* d)
{
    HRESULT result = S_FALSE;
    if (OnShowUI)
        OnShowUI(this, id, a, c, f, d, result);
    return result;
}

HRESULT TCustomEmbeddedBrowser::HideUI()
{
    HRESULT result = S_FALSE;
    if (OnHideUI)
        OnHideUI(this, result);
    return result;
}

HRESULT TCustomEmbeddedBrowser::UpdateUI()
{
    HRESULT result = S_FALSE;
    if (OnUpdateUI)
        OnUpdateUI(this, result);
    return result;
}

HRESULT TCustomEmbeddedBrowser::EnableModeless(BOOL enable)
{
    if (OnEnableModeless)
        OnEnableModeless(this, enable != FALSE);
    return S_OK;
}

HRESULT TCustomEmbeddedBrowser::OnDocWindowActivate(BOOL activate)
{
    if (OnOnDocWindowActivate)
        OnOnDocWindowActivate(this, activate != FALSE);
    return S_OK;
}

HRESULT TCustomEmbeddedBrowser::OnFrameWindowActivate(BOOL activate)
{
    if (OnOnFrameWindowActivate)
        OnOnFrameWindowActivate(this, activate != FALSE);
    return S_OK;
}

HRESULT TCustomEmbeddedBrowser::ResizeBorder(LPCRECT border, IOleInPlaceUIWindow* window, BOOL frame)
{
    if (OnResizeBorder)
        OnResizeBorder(this, border, window, frame != FALSE);
    return S_OK;
}

bool TCustomEmbeddedBrowser::IsMaskedCtrlKey(const MSG* msg)
{
    if (DisableCtrlShortcuts.empty() || msg->message != WM_KEYDOWN)
        return false;
    if (GetKeyState(VK_CONTROL) >= 0 || GetKeyState(VK_SHIFT) < 0)
        return false;
    const char key = static_cast<char>(msg->wParam);
    if (msg->wParam > 0xFF || DisableCtrlShortcuts.find(key) == std::string::npos)
        return false;
    if (OnMaskedCtrlChar)
        OnMaskedCtrlChar(this, key);
    return true;
}

HRESULT TCustomEmbeddedBrowser::TranslateDocAccelerator(LPMSG msg, const GUID* group, DWORD cmd)
{
    bool handled = IsMaskedCtrlKey(msg);
    if (!handled && OnTranslateAccelerator)
        OnTranslateAccelerator(this, msg, group, cmd, handled);
    return handled ? S_OK : S_FALSE;
}

HRESULT TCustomEmbeddedBrowser::GetOptionKeyPath(LPOLESTR* key, DWORD)
{
    if (OptionKeyPath.empty() || OverrideOptionKeyPath)
        return S_FALSE;
    *key = TaskMemWideCopy(OptionKeyPath);
    return *key ? S_OK : E_OUTOFMEMORY;
}

HRESULT TCustomEmbeddedBrowser::GetOverrideKeyPath(LPOLESTR* key, DWORD)
{
    if (OptionKeyPath.empty() || !OverrideOptionKeyPath)
        return S_FALSE;
    *key = TaskMemWideCopy(OptionKeyPath);
    return *key ? S_OK : E_OUTOFMEMORY;
}

HRESULT TCustomEmbeddedBrowser::GetDropTarget(IDropTarget*, IDropTarget** out)
{
    switch (dropHandlingType_) {
    case TDragDropHandlingType::ddtMS:
        if (Host().Created())
            SetRegisterAsDropTarget(true);
        return E_NOTIMPL;
    case TDragDropHandlingType::ddtNo:
        if (Host().Created())
            SetRegisterAsDropTarget(false);
        return S_OK;
    case TDragDropHandlingType::ddtMy:
    case TDragDropHandlingType::ddtCustom: {
        TComPtr<IDropTarget> target(static_cast<IDropTarget*>(Host().Site()));
        if (dropHandlingType_ == TDragDropHandlingType::ddtCustom && OnGetDropTarget)
            OnGetDropTarget(this, target);
        *out = target.Detach();
        return S_OK;
    }
    }
    return E_NOTIMPL;
}

HRESULT TCustomEmbeddedBrowser::GetExternal(IDispatch** out)
{
    TComPtr<IDispatch> external;
    if (OnGetExternal)
        OnGetExternal(this, external);
    *out = external.Detach();
    return *out ? S_OK : S_FALSE;
}

HRESULT TCustomEmbeddedBrowser::TranslateUrl(DWORD translate, LPWSTR in, LPWSTR* out)
{
    std::wstring url;
    if (OnTranslateUrl)
        OnTranslateUrl(this, translate, Wide(in), url);
    if (url.empty())
        return S_FALSE;
    *out = TaskMemWideCopyW(url);
    return *out ? S_OK : E_OUTOFMEMORY;
}

HRESULT TCustomEmbeddedBrowser::FilterDataObject(IDataObject* in, IDataObject** out)
{
    TComPtr<IDataObject> filtered;
    if (OnFilterDataObject)
        OnFilterDataObject(this, in, filtered);
    *out = filtered.Detach();
    return *out ? S_OK : S_FALSE;
}

HRESULT TCustomEmbeddedBrowser::ShowMessage(HWND window, LPOLESTR text, LPOLESTR caption, DWORD type, LPOLESTR file,
                                            DWORD ctx, LRESULT* result)
{
    LRESULT answer = IDOK;
    const HRESULT hr =
        OnShowMessage ? OnShowMessage(this, window, Wide(text), Wide(caption), type, Wide(file), ctx, answer) : S_FALSE;
    if (result && hr == S_OK)
        *result = answer;
    return hr;
}

HRESULT TCustomEmbeddedBrowser::ShowHelp(HWND window, LPOLESTR file, UINT cmd, DWORD data, POINT mouse, IDispatch* hit)
{
    if (OnShowHelpRequest)
        return OnShowHelpRequest(this, window, Wide(file), cmd, data, mouse, hit);
    if ((file && *file) || HelpFile.empty())
        return S_FALSE;
    // Without HTML Help the browser may as well show its own.
    return HtmlHelpCall(window, HelpFile, cmd, data) ? S_OK : S_FALSE;
}

HRESULT TCustomEmbeddedBrowser::AmbientTypeInfoCount(UINT* count)
{
    HRESULT result = TOleSiteHandler::AmbientTypeInfoCount(count);
    if (OnGetTypeInfoCount)
        OnGetTypeInfoCount(this, *count, result);
    return result;
}

HRESULT TCustomEmbeddedBrowser::AmbientTypeInfo(UINT index, LCID lcid, ITypeInfo** info)
{
    HRESULT result = TOleSiteHandler::AmbientTypeInfo(index, lcid, info);
    if (OnGetTypeInfo)
        OnGetTypeInfo(this, index, lcid, info, result);
    return result;
}

HRESULT TCustomEmbeddedBrowser::AmbientIDsOfNames(LPOLESTR* names, UINT count, LCID lcid, DISPID* ids)
{
    HRESULT result = TOleSiteHandler::AmbientIDsOfNames(names, count, lcid, ids);
    if (OnGetIDsOfNames)
        OnGetIDsOfNames(this, names, count, lcid, ids, result);
    return result;
}

HRESULT TCustomEmbeddedBrowser::AmbientInvoke(DISPID id, WORD flags, DISPPARAMS* params, VARIANT* value,
                                              EXCEPINFO* excep)
{
    try {
        HRESULT result = S_FALSE;
        if ((flags & DISPATCH_PROPERTYGET) && value) {
            VariantInit(value);
            switch (id) {
            case kAmbientUserAgent: {
                std::string agent;
                if (userAgentProvider_ && userAgentProvider_(agent) && !agent.empty()) {
                    V_VT(value) = VT_BSTR;
                    V_BSTR(value) = SysAllocString(GbkToWide(agent).c_str());
                    result = S_OK;
                }
                break;
            }
            case kAmbientDownloadControl:
                V_VT(value) = VT_I4;
                V_I4(value) = static_cast<LONG>(downloadFlags_);
                result = S_OK;
                break;
            case kAmbientOffline:
                V_VT(value) = VT_BOOL;
                V_BOOL(value) = offlinePut_ ? VARIANT_FALSE : VARIANT_TRUE;
                result = S_OK;
                break;
            default: break;
            }
        } else if ((flags & DISPATCH_PROPERTYPUT) && id == kAmbientOffline && params && params->cArgs >= 1) {
            VARIANT b;
            VariantInit(&b);
            if (SUCCEEDED(VariantChangeType(&b, &params->rgvarg[0], 0, VT_BOOL))) {
                offlinePut_ = V_BOOL(&b) != VARIANT_FALSE;
                result = S_OK;
            }
        }
        if (result == S_FALSE) {
            result = TOleSiteHandler::AmbientInvoke(id, flags, params, value, excep);
            if (result == DISP_E_MEMBERNOTFOUND && OnInvoke)
                OnInvoke(this, id, flags, params, value, result);
        }
        return result;
    } catch (const std::exception& e) {
        if (excep) {
            *excep = EXCEPINFO{};
            excep->wCode = 9999;
            excep->bstrSource = SysAllocString(GbkToWide(std::string(ClassName())).c_str());
            excep->bstrDescription = SysAllocString(GbkToWide(e.what()).c_str());
        }
        return DISP_E_EXCEPTION;
    }
}

HRESULT TCustomEmbeddedBrowser::HandleScriptError(VARIANT* vaIn, VARIANT* vaOut)
{
    HRESULT result = S_FALSE;
    switch (ScriptErrorAction) {
    case TScriptErrorAction::eaContinue:
    case TScriptErrorAction::eaCancel:
        if (vaOut) {
            VariantClear(vaOut);
            V_VT(vaOut) = VT_BOOL;
            V_BOOL(vaOut) = ScriptErrorAction == TScriptErrorAction::eaContinue ? VARIANT_TRUE : VARIANT_FALSE;
        }
        result = S_OK;
        break;
    case TScriptErrorAction::eaAskUser: result = S_FALSE; break;
    }
    if (!OnScriptError)
        return result;
    std::string line, character, code, message, url;
    // Without a document (or its event) the handler still hears of the error, with empty texts.
    if (vaIn && V_VT(vaIn) == VT_UNKNOWN && V_UNKNOWN(vaIn)) {
        IUnknown* unknown = V_UNKNOWN(vaIn);
        TComPtr<IHTMLDocument2> document;
        unknown->QueryInterface(IID_IHTMLDocument2, reinterpret_cast<void**>(document.Out()));
        TComPtr<IHTMLWindow2> window;
        TComPtr<IHTMLEventObj> event;
        if (document && SUCCEEDED(document->get_parentWindow(window.Out())) && window &&
            SUCCEEDED(window->get_event(event.Out())) && event) {
            TComPtr<IDispatch> d = event.As<IDispatch>(IID_IDispatch);
            if (d) {
                character = EventText(d.Get(), L"errorCharacter");
                code = EventText(d.Get(), L"errorCode");
                message = EventText(d.Get(), L"errorMessage");
                url = EventText(d.Get(), L"errorUrl");
                line = EventText(d.Get(), L"errorline");
            }
        }
    }
    OnScriptError(this, line, character, code, message, url, ScriptErrorAction);
    return result;
}

HRESULT TCustomEmbeddedBrowser::Exec(const GUID* group, DWORD cmd, DWORD option, VARIANT* in, VARIANT* out)
{
    HRESULT result = OLECMDERR_E_NOTSUPPORTED;
    if (group && *group == kCGID_Explorer) {
        if (cmd == 37 && OnUnload) {
            OnUnload(this);
            return S_OK;
        }
        if (cmd == 39 && browserWindowNotify_ &&
            (FindChildWindow(L"Internet Explorer_Server") || FindChildWindow(L"SysListView32")))
            browserWindowNotify_();
    } else if (group && *group == kCGID_DocHostCommandHandler) {
        if (cmd == OLECMDID_SHOWSCRIPTERROR)
            return HandleScriptError(in, out);
        if (cmd == 2300 || cmd == 6041 || cmd == 6042) {
            if (!OnRefresh)
                return OLECMDERR_E_NOTSUPPORTED;
            bool cancel = false;
            OnRefresh(this, cmd, cancel);
            return cancel ? S_OK : OLECMDERR_E_NOTSUPPORTED;
        }
    }
    if (OnCommandExec)
        OnCommandExec(this, group, cmd, option, in, out, result);
    return result;
}

bool TCustomEmbeddedBrowser::IsServiceOffered(REFGUID service, REFIID riid, void** out)
{
    const bool offered = (service == IID_INewWindowManager && OnEvaluateNewWindow) || service == IID_IProtectFocus ||
                         (service == IID_IDownloadManager && OnFileDownload) ||
                         (service == IID_IHostBehaviorInit && OnPopulateNSTable) ||
                         (service == IID_IHTMLOMWindowServices &&
                          (FloatingHosting || OnMove || OnMoveBy || OnResize || OnResizeBy)) ||
                         (riid == IID_IAuthenticate && OnAuthenticate);
    return offered && Host().Site()->QueryInterface(riid, out) == S_OK;
}

HRESULT TCustomEmbeddedBrowser::QueryService(REFGUID service, REFIID riid, void** out)
{
    if (IsServiceOffered(service, riid, out))
        return S_OK;
    TComPtr<IUnknown> object;
    if (OnQueryService)
        OnQueryService(this, service, riid, object);
    if (!object)
        return E_NOINTERFACE;
    return object->QueryInterface(riid, out) == S_OK ? S_OK : E_NOINTERFACE;
}

HRESULT TCustomEmbeddedBrowser::DragEnter(IDataObject* data, DWORD keys, POINTL pt, DWORD* effect)
{
    *effect = DROPEFFECT_NONE;
    HRESULT result = S_OK;
    if (OnDragEnter)
        OnDragEnter(this, data, keys, pt, *effect, result);
    return result;
}

HRESULT TCustomEmbeddedBrowser::DragOver(DWORD keys, POINTL pt, DWORD* effect)
{
    *effect = DROPEFFECT_NONE;
    HRESULT result = S_OK;
    if (OnDragOver2)
        OnDragOver2(this, keys, pt, *effect, result);
    return result;
}

HRESULT TCustomEmbeddedBrowser::DragLeave()
{
    if (OnDragLeave)
        OnDragLeave(this);
    return S_OK;
}

HRESULT TCustomEmbeddedBrowser::Drop(IDataObject* data, DWORD keys, POINTL pt, DWORD* effect)
{
    *effect = DROPEFFECT_NONE;
    HRESULT result = S_OK;
    if (OnDropEvent)
        OnDropEvent(this, data, keys, pt, *effect, result);
    return result;
}

HRESULT TCustomEmbeddedBrowser::Authenticate(HWND* window, LPWSTR* user, LPWSTR* password)
{
    HWND w = handle_;
    std::string name, secret;
    HRESULT result = S_OK;
    if (OnAuthenticate)
        OnAuthenticate(this, w, name, secret, result);
    *window = w;
    *user = name.empty() ? nullptr : TaskMemWideCopy(name);
    *password = secret.empty() ? nullptr : TaskMemWideCopy(secret);
    return result;
}

HRESULT TCustomEmbeddedBrowser::AllowFocusChange(BOOL* allow)
{
    bool value = allowFocusChange_;
    if (OnAllowFocusChange)
        OnAllowFocusChange(this, value);
    *allow = value ? TRUE : FALSE;
    return S_OK;
}

HRESULT TCustomEmbeddedBrowser::EvaluateNewWindow(LPCWSTR url, LPCWSTR name, LPCWSTR context, LPCWSTR features,
                                                  BOOL replace, DWORD flags, DWORD time)
{
    HRESULT result = E_FAIL;
    if (OnEvaluateNewWindow)
        OnEvaluateNewWindow(this, Wide(url), Wide(name), Wide(context), Wide(features), replace != FALSE, flags, time,
                            result);
    return result;
}

HRESULT TCustomEmbeddedBrowser::Download(IMoniker* mk, IBindCtx* bc, DWORD verb, LONG bindf, BINDINFO* info,
                                         LPCOLESTR headers, LPCOLESTR redirect, UINT cp)
{
    HRESULT result = E_NOTIMPL;
    if (OnFileDownload)
        OnFileDownload(this, mk, bc, verb, bindf, info, headers, redirect, cp, result);
    return result;
}

HRESULT TCustomEmbeddedBrowser::MoveTo(LONG x, LONG y)
{
    if (HWND form = FloatingHosting ? FormWindow() : nullptr)
        SetWindowPos(form, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    if (OnMove)
        OnMove(this, x, y);
    return S_OK;
}

HRESULT TCustomEmbeddedBrowser::MoveBy(LONG dx, LONG dy)
{
    if (HWND form = FloatingHosting ? FormWindow() : nullptr) {
        RECT r{};
        GetWindowRect(form, &r);
        SetWindowPos(form, nullptr, r.left + dx, r.top + dy, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    if (OnMoveBy)
        OnMoveBy(this, dx, dy);
    return S_OK;
}

HRESULT TCustomEmbeddedBrowser::ResizeTo(LONG cx, LONG cy)
{
    if (HWND form = FloatingHosting ? FormWindow() : nullptr)
        SetWindowPos(form, nullptr, 0, 0, cx, cy, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    if (OnResize)
        OnResize(this, cx, cy);
    return S_OK;
}

HRESULT TCustomEmbeddedBrowser::ResizeBy(LONG dx, LONG dy)
{
    if (HWND form = FloatingHosting ? FormWindow() : nullptr) {
        RECT r{};
        GetWindowRect(form, &r);
        SetWindowPos(form, nullptr, 0, 0, r.right - r.left + dx, r.bottom - r.top + dy,
                     SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    if (OnResizeBy)
        OnResizeBy(this, dx, dy);
    return S_OK;
}

HRESULT TCustomEmbeddedBrowser::OnZoomPercentChanged(ULONG percent)
{
    return OnZoomPercentChange ? OnZoomPercentChange(this, percent) : S_FALSE;
}

HRESULT TCustomEmbeddedBrowser::PopulateNamespaceTable()
{
    if (OnPopulateNSTable)
        OnPopulateNSTable(this);
    return S_OK;
}
