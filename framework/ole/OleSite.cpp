#include "framework/ole/OleSite.h"

#include <olectl.h>

#include "framework/ExceptionBoundary.h"

namespace {

template <class F>
HRESULT Answer(TOleSiteHandler* handler, F&& f)
{
    if (!handler)
        return E_UNEXPECTED;
    return GuardedCall(HRESULT(E_FAIL), [&] { return f(*handler); });
}

// Out-pointers are cleared first and stay NULL on every answer but S_OK.
template <class T, class F>
HRESULT AnswerInterface(TOleSiteHandler* handler, T** out, F&& f)
{
    if (!out)
        return E_POINTER;
    *out = nullptr;
    const HRESULT hr = Answer(handler, f);
    if (hr != S_OK && *out) {
        reinterpret_cast<IUnknown*>(*out)->Release();
        *out = nullptr;
    }
    return hr;
}

template <class F>
HRESULT AnswerText(TOleSiteHandler* handler, LPWSTR* out, F&& f)
{
    if (!out)
        return E_POINTER;
    *out = nullptr;
    const HRESULT hr = Answer(handler, f);
    if (hr != S_OK && *out) {
        CoTaskMemFree(*out);
        *out = nullptr;
    }
    return hr;
}

void SetBool(VARIANT* v, bool value)
{
    V_VT(v) = VT_BOOL;
    V_BOOL(v) = value ? VARIANT_TRUE : VARIANT_FALSE;
}

}  // namespace

HRESULT HostAmbientProperty(DISPID id, WORD flags, VARIANT* result)
{
    if (!(flags & DISPATCH_PROPERTYGET) || !result)
        return DISP_E_MEMBERNOTFOUND;
    VariantInit(result);
    switch (id) {
    case DISPID_AMBIENT_USERMODE: SetBool(result, true); return S_OK;
    case DISPID_AMBIENT_UIDEAD:
    case DISPID_AMBIENT_MESSAGEREFLECT:
    case DISPID_AMBIENT_SHOWGRABHANDLES:
    case DISPID_AMBIENT_SHOWHATCHING: SetBool(result, false); return S_OK;
    case DISPID_AMBIENT_SUPPORTSMNEMONICS: SetBool(result, true); return S_OK;
    case DISPID_AMBIENT_LOCALEID:
        V_VT(result) = VT_I4;
        V_I4(result) = static_cast<LONG>(GetUserDefaultLCID());
        return S_OK;
    default: return DISP_E_MEMBERNOTFOUND;
    }
}

RECT TOleSiteHandler::SiteClientRect()
{
    RECT r{};
    GetClientRect(SiteParentWindow(), &r);
    return r;
}

HRESULT TOleSiteHandler::AmbientInvoke(DISPID id, WORD flags, DISPPARAMS*, VARIANT* result, EXCEPINFO*)
{
    return HostAmbientProperty(id, flags, result);
}

TOleSite* TOleSite::Create(TOleSiteHandler* handler) { return new TOleSite(handler); }

STDMETHODIMP TOleSite::QueryInterface(REFIID riid, void** out)
{
    if (!out)
        return E_POINTER;
    *out = nullptr;
    if (riid == IID_IUnknown || riid == IID_IOleClientSite) *out = static_cast<IOleClientSite*>(this);
    else if (riid == IID_IOleWindow || riid == IID_IOleInPlaceSite) *out = static_cast<IOleInPlaceSite*>(this);
    else if (riid == IID_IOleInPlaceUIWindow || riid == IID_IOleInPlaceFrame) *out = static_cast<IOleInPlaceFrame*>(this);
    else if (riid == IID_IOleControlSite) *out = static_cast<IOleControlSite*>(this);
    else if (riid == IID_IDispatch) *out = static_cast<IDispatch*>(this);
    else if (riid == IID_IDocHostUIHandler || riid == IID_IDocHostUIHandler2) *out = static_cast<IDocHostUIHandler2*>(this);
    else if (riid == IID_IDocHostShowUI) *out = static_cast<IDocHostShowUI*>(this);
    else if (riid == IID_IOleCommandTarget) *out = static_cast<IOleCommandTarget*>(this);
    else if (riid == IID_IServiceProvider) *out = static_cast<IServiceProvider*>(this);
    else if (riid == IID_IDropTarget) *out = static_cast<IDropTarget*>(this);
    else if (riid == IID_IAuthenticate) *out = static_cast<IAuthenticate*>(this);
    else if (riid == IID_IProtectFocus) *out = static_cast<IProtectFocus*>(this);
    else if (riid == IID_INewWindowManager) *out = static_cast<INewWindowManager*>(this);
    else if (riid == IID_IDownloadManager) *out = static_cast<IDownloadManager*>(this);
    else if (riid == IID_IHTMLOMWindowServices) *out = static_cast<IHTMLOMWindowServices*>(this);
    else if (riid == IID_IZoomEvents) *out = static_cast<IZoomEvents*>(this);
    else if (riid == IID_IHostBehaviorInit) *out = static_cast<IHostBehaviorInit*>(this);
    else return E_NOINTERFACE;
    AddRef();
    return S_OK;
}

STDMETHODIMP_(ULONG) TOleSite::AddRef() { return static_cast<ULONG>(++refs_); }

STDMETHODIMP_(ULONG) TOleSite::Release()
{
    const LONG left = --refs_;
    if (left == 0)
        delete this;
    return static_cast<ULONG>(left);
}

// IOleClientSite
STDMETHODIMP TOleSite::SaveObject() { return handler_ ? E_NOTIMPL : E_UNEXPECTED; }
STDMETHODIMP TOleSite::GetMoniker(DWORD, DWORD, IMoniker** out)
{
    if (out) *out = nullptr;
    return handler_ ? E_NOTIMPL : E_UNEXPECTED;
}
STDMETHODIMP TOleSite::GetContainer(IOleContainer** out)
{
    if (out) *out = nullptr;
    return handler_ ? E_NOINTERFACE : E_UNEXPECTED;
}
STDMETHODIMP TOleSite::ShowObject() { return handler_ ? S_OK : E_UNEXPECTED; }
STDMETHODIMP TOleSite::OnShowWindow(BOOL) { return handler_ ? S_OK : E_UNEXPECTED; }
STDMETHODIMP TOleSite::RequestNewObjectLayout() { return handler_ ? E_NOTIMPL : E_UNEXPECTED; }

// IOleWindow
STDMETHODIMP TOleSite::GetWindow(HWND* out)
{
    if (!out)
        return E_POINTER;
    *out = nullptr;
    return Answer(handler_, [&](TOleSiteHandler& h) {
        *out = h.SiteParentWindow();
        return *out ? S_OK : E_FAIL;
    });
}
STDMETHODIMP TOleSite::ContextSensitiveHelp(BOOL) { return handler_ ? E_NOTIMPL : E_UNEXPECTED; }

// IOleInPlaceSite
STDMETHODIMP TOleSite::CanInPlaceActivate() { return handler_ ? S_OK : E_UNEXPECTED; }
STDMETHODIMP TOleSite::OnInPlaceActivate() { return handler_ ? S_OK : E_UNEXPECTED; }
STDMETHODIMP TOleSite::OnUIActivate() { return handler_ ? S_OK : E_UNEXPECTED; }

STDMETHODIMP TOleSite::GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** doc, LPRECT pos, LPRECT clip,
                                        LPOLEINPLACEFRAMEINFO info)
{
    if (frame) *frame = nullptr;
    if (doc) *doc = nullptr;
    if (!frame || !doc || !pos || !clip || !info)
        return E_POINTER;
    return Answer(handler_, [&](TOleSiteHandler& h) {
        *pos = h.SiteClientRect();
        *clip = *pos;
        const HWND parent = h.SiteParentWindow();
        info->cb = sizeof(OLEINPLACEFRAMEINFO);
        info->fMDIApp = FALSE;
        info->hwndFrame = parent ? GetAncestor(parent, GA_ROOT) : nullptr;
        info->haccel = nullptr;
        info->cAccelEntries = 0;
        *frame = static_cast<IOleInPlaceFrame*>(this);
        AddRef();
        return S_OK;
    });
}

STDMETHODIMP TOleSite::Scroll(SIZE) { return handler_ ? E_NOTIMPL : E_UNEXPECTED; }
STDMETHODIMP TOleSite::OnUIDeactivate(BOOL) { return handler_ ? S_OK : E_UNEXPECTED; }
STDMETHODIMP TOleSite::OnInPlaceDeactivate() { return handler_ ? S_OK : E_UNEXPECTED; }
STDMETHODIMP TOleSite::DiscardUndoState() { return handler_ ? E_NOTIMPL : E_UNEXPECTED; }
STDMETHODIMP TOleSite::DeactivateAndUndo() { return handler_ ? E_NOTIMPL : E_UNEXPECTED; }
STDMETHODIMP TOleSite::OnPosRectChange(LPCRECT) { return handler_ ? S_OK : E_UNEXPECTED; }

// IOleInPlaceUIWindow, IOleInPlaceFrame: no toolbars, menus or status bar to share.
STDMETHODIMP TOleSite::GetBorder(LPRECT) { return handler_ ? INPLACE_E_NOTOOLSPACE : E_UNEXPECTED; }
STDMETHODIMP TOleSite::RequestBorderSpace(LPCBORDERWIDTHS) { return handler_ ? INPLACE_E_NOTOOLSPACE : E_UNEXPECTED; }
STDMETHODIMP TOleSite::SetBorderSpace(LPCBORDERWIDTHS) { return handler_ ? OLE_E_INVALIDRECT : E_UNEXPECTED; }
STDMETHODIMP TOleSite::SetActiveObject(IOleInPlaceActiveObject*, LPCOLESTR) { return handler_ ? S_OK : E_UNEXPECTED; }
STDMETHODIMP TOleSite::InsertMenus(HMENU, LPOLEMENUGROUPWIDTHS) { return handler_ ? E_NOTIMPL : E_UNEXPECTED; }
STDMETHODIMP TOleSite::SetMenu(HMENU, HOLEMENU, HWND) { return handler_ ? S_OK : E_UNEXPECTED; }
STDMETHODIMP TOleSite::RemoveMenus(HMENU) { return handler_ ? E_NOTIMPL : E_UNEXPECTED; }
STDMETHODIMP TOleSite::SetStatusText(LPCOLESTR) { return handler_ ? S_OK : E_UNEXPECTED; }
STDMETHODIMP TOleSite::EnableModeless(BOOL enable)
{
    return Answer(handler_, [&](TOleSiteHandler& h) { return h.EnableModeless(enable); });
}
STDMETHODIMP TOleSite::TranslateAccelerator(LPMSG, WORD) { return handler_ ? S_FALSE : E_UNEXPECTED; }

// IOleControlSite
STDMETHODIMP TOleSite::OnControlInfoChanged() { return handler_ ? S_OK : E_UNEXPECTED; }
STDMETHODIMP TOleSite::LockInPlaceActive(BOOL) { return handler_ ? S_OK : E_UNEXPECTED; }
STDMETHODIMP TOleSite::GetExtendedControl(IDispatch** out)
{
    if (out) *out = nullptr;
    return handler_ ? E_NOTIMPL : E_UNEXPECTED;
}
STDMETHODIMP TOleSite::TransformCoords(POINTL*, POINTF*, DWORD) { return handler_ ? E_NOTIMPL : E_UNEXPECTED; }
STDMETHODIMP TOleSite::TranslateAccelerator(MSG*, DWORD) { return handler_ ? S_FALSE : E_UNEXPECTED; }
STDMETHODIMP TOleSite::OnFocus(BOOL) { return handler_ ? S_OK : E_UNEXPECTED; }
STDMETHODIMP TOleSite::ShowPropertyFrame() { return handler_ ? E_NOTIMPL : E_UNEXPECTED; }

// IDispatch
STDMETHODIMP TOleSite::GetTypeInfoCount(UINT* count)
{
    if (!count)
        return E_POINTER;
    *count = 0;
    return Answer(handler_, [&](TOleSiteHandler& h) { return h.AmbientTypeInfoCount(count); });
}
STDMETHODIMP TOleSite::GetTypeInfo(UINT index, LCID lcid, ITypeInfo** out)
{
    return AnswerInterface(handler_, out, [&](TOleSiteHandler& h) { return h.AmbientTypeInfo(index, lcid, out); });
}
STDMETHODIMP TOleSite::GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID lcid, DISPID* ids)
{
    if (!names || !ids)
        return E_POINTER;
    for (UINT i = 0; i < count; ++i)
        ids[i] = DISPID_UNKNOWN;
    return Answer(handler_, [&](TOleSiteHandler& h) { return h.AmbientIDsOfNames(names, count, lcid, ids); });
}
STDMETHODIMP TOleSite::Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                              EXCEPINFO* excep, UINT*)
{
    return Answer(handler_, [&](TOleSiteHandler& h) { return h.AmbientInvoke(id, flags, params, result, excep); });
}

// IDocHostUIHandler2
STDMETHODIMP TOleSite::ShowContextMenu(DWORD id, POINT* pt, IUnknown* cmdt, IDispatch* disp)
{
    return Answer(handler_, [&](TOleSiteHandler& h) { return h.ShowContextMenu(id, pt, cmdt, disp); });
}
STDMETHODIMP TOleSite::GetHostInfo(DOCHOSTUIINFO* info)
{
    if (!info)
        return E_POINTER;
    return Answer(handler_, [&](TOleSiteHandler& h) { return h.GetHostInfo(info); });
}
STDMETHODIMP TOleSite::ShowUI(DWORD id, IOleInPlaceActiveObject* a, IOleCommandTarget* c, IOleInPlaceFrame* f,
                              IOleInPlaceUIWindow* d)
{
    return Answer(handler_, [&](TOleSiteHandler& h) { return h.ShowUI(id, a, c, f, d); });
}
STDMETHODIMP TOleSite::HideUI() { return Answer(handler_, [&](TOleSiteHandler& h) { return h.HideUI(); }); }
STDMETHODIMP TOleSite::UpdateUI() { return Answer(handler_, [&](TOleSiteHandler& h) { return h.UpdateUI(); }); }
STDMETHODIMP TOleSite::OnDocWindowActivate(BOOL a)
{
    return Answer(handler_, [&](TOleSiteHandler& h) { return h.OnDocWindowActivate(a); });
}
STDMETHODIMP TOleSite::OnFrameWindowActivate(BOOL a)
{
    return Answer(handler_, [&](TOleSiteHandler& h) { return h.OnFrameWindowActivate(a); });
}
STDMETHODIMP TOleSite::ResizeBorder(LPCRECT r, IOleInPlaceUIWindow* w, BOOL frame)
{
    return Answer(handler_, [&](TOleSiteHandler& h) { return h.ResizeBorder(r, w, frame); });
}
STDMETHODIMP TOleSite::TranslateAccelerator(LPMSG msg, const GUID* group, DWORD cmd)
{
    if (!msg)
        return S_FALSE;
    return Answer(handler_, [&](TOleSiteHandler& h) { return h.TranslateDocAccelerator(msg, group, cmd); });
}
STDMETHODIMP TOleSite::GetOptionKeyPath(LPOLESTR* key, DWORD dw)
{
    return AnswerText(handler_, key, [&](TOleSiteHandler& h) { return h.GetOptionKeyPath(key, dw); });
}
STDMETHODIMP TOleSite::GetDropTarget(IDropTarget* in, IDropTarget** out)
{
    return AnswerInterface(handler_, out, [&](TOleSiteHandler& h) { return h.GetDropTarget(in, out); });
}
STDMETHODIMP TOleSite::GetExternal(IDispatch** out)
{
    return AnswerInterface(handler_, out, [&](TOleSiteHandler& h) { return h.GetExternal(out); });
}
STDMETHODIMP TOleSite::TranslateUrl(DWORD t, LPWSTR in, LPWSTR* out)
{
    return AnswerText(handler_, out, [&](TOleSiteHandler& h) { return h.TranslateUrl(t, in, out); });
}
STDMETHODIMP TOleSite::FilterDataObject(IDataObject* in, IDataObject** out)
{
    return AnswerInterface(handler_, out, [&](TOleSiteHandler& h) { return h.FilterDataObject(in, out); });
}
STDMETHODIMP TOleSite::GetOverrideKeyPath(LPOLESTR* key, DWORD dw)
{
    return AnswerText(handler_, key, [&](TOleSiteHandler& h) { return h.GetOverrideKeyPath(key, dw); });
}

// IDocHostShowUI
STDMETHODIMP TOleSite::ShowMessage(HWND w, LPOLESTR text, LPOLESTR caption, DWORD type, LPOLESTR file, DWORD ctx,
                                   LRESULT* result)
{
    return Answer(handler_, [&](TOleSiteHandler& h) { return h.ShowMessage(w, text, caption, type, file, ctx, result); });
}
STDMETHODIMP TOleSite::ShowHelp(HWND w, LPOLESTR file, UINT cmd, DWORD data, POINT pt, IDispatch* hit)
{
    return Answer(handler_, [&](TOleSiteHandler& h) { return h.ShowHelp(w, file, cmd, data, pt, hit); });
}

// IOleCommandTarget
STDMETHODIMP TOleSite::QueryStatus(const GUID* group, ULONG count, OLECMD* cmds, OLECMDTEXT* text)
{
    return Answer(handler_, [&](TOleSiteHandler& h) { return h.QueryStatus(group, count, cmds, text); });
}
STDMETHODIMP TOleSite::Exec(const GUID* group, DWORD cmd, DWORD opt, VARIANT* in, VARIANT* out)
{
    return Answer(handler_, [&](TOleSiteHandler& h) { return h.Exec(group, cmd, opt, in, out); });
}

// IServiceProvider
STDMETHODIMP TOleSite::QueryService(REFGUID service, REFIID riid, void** out)
{
    return AnswerInterface(handler_, out, [&](TOleSiteHandler& h) { return h.QueryService(service, riid, out); });
}

// IDropTarget
STDMETHODIMP TOleSite::DragEnter(IDataObject* d, DWORD keys, POINTL pt, DWORD* effect)
{
    if (!effect)
        return E_INVALIDARG;
    return Answer(handler_, [&](TOleSiteHandler& h) { return h.DragEnter(d, keys, pt, effect); });
}
STDMETHODIMP TOleSite::DragOver(DWORD keys, POINTL pt, DWORD* effect)
{
    if (!effect)
        return E_INVALIDARG;
    return Answer(handler_, [&](TOleSiteHandler& h) { return h.DragOver(keys, pt, effect); });
}
STDMETHODIMP TOleSite::DragLeave() { return Answer(handler_, [&](TOleSiteHandler& h) { return h.DragLeave(); }); }
STDMETHODIMP TOleSite::Drop(IDataObject* d, DWORD keys, POINTL pt, DWORD* effect)
{
    if (!effect)
        return E_INVALIDARG;
    return Answer(handler_, [&](TOleSiteHandler& h) { return h.Drop(d, keys, pt, effect); });
}

// IAuthenticate
STDMETHODIMP TOleSite::Authenticate(HWND* window, LPWSTR* user, LPWSTR* password)
{
    if (!window || !user || !password)
        return E_POINTER;
    *window = nullptr;
    *user = nullptr;
    *password = nullptr;
    const HRESULT hr = Answer(handler_, [&](TOleSiteHandler& h) { return h.Authenticate(window, user, password); });
    if (hr != S_OK) {
        CoTaskMemFree(*user);
        CoTaskMemFree(*password);
        *user = *password = nullptr;
        *window = nullptr;
    }
    return hr;
}

// IProtectFocus
STDMETHODIMP TOleSite::AllowFocusChange(BOOL* allow)
{
    if (!allow)
        return E_POINTER;
    *allow = TRUE;
    return Answer(handler_, [&](TOleSiteHandler& h) { return h.AllowFocusChange(allow); });
}

// INewWindowManager, IDownloadManager
STDMETHODIMP TOleSite::EvaluateNewWindow(LPCWSTR url, LPCWSTR name, LPCWSTR context, LPCWSTR features, BOOL replace,
                                         DWORD flags, DWORD time)
{
    return Answer(handler_, [&](TOleSiteHandler& h) {
        return h.EvaluateNewWindow(url, name, context, features, replace, flags, time);
    });
}
STDMETHODIMP TOleSite::Download(IMoniker* mk, IBindCtx* bc, DWORD verb, LONG bindf, BINDINFO* info, LPCOLESTR headers,
                                LPCOLESTR redir, UINT cp)
{
    return Answer(handler_, [&](TOleSiteHandler& h) { return h.Download(mk, bc, verb, bindf, info, headers, redir, cp); });
}

// IHTMLOMWindowServices
STDMETHODIMP TOleSite::moveTo(LONG x, LONG y) { return Answer(handler_, [&](TOleSiteHandler& h) { return h.MoveTo(x, y); }); }
STDMETHODIMP TOleSite::moveBy(LONG x, LONG y) { return Answer(handler_, [&](TOleSiteHandler& h) { return h.MoveBy(x, y); }); }
STDMETHODIMP TOleSite::resizeTo(LONG x, LONG y) { return Answer(handler_, [&](TOleSiteHandler& h) { return h.ResizeTo(x, y); }); }
STDMETHODIMP TOleSite::resizeBy(LONG x, LONG y) { return Answer(handler_, [&](TOleSiteHandler& h) { return h.ResizeBy(x, y); }); }

// IZoomEvents, IHostBehaviorInit
STDMETHODIMP TOleSite::OnZoomPercentChanged(ULONG percent)
{
    return Answer(handler_, [&](TOleSiteHandler& h) { return h.OnZoomPercentChanged(percent); });
}
STDMETHODIMP TOleSite::PopulateNamespaceTable()
{
    return Answer(handler_, [&](TOleSiteHandler& h) { return h.PopulateNamespaceTable(); });
}
