#pragma once
// The container side of one hosted ActiveX control: client site, in-place site and frame,
// control site, ambient properties and the document-host interfaces, all on one COM
// identity. The site answers for a C++ handler; Detach() cuts it off before the handler
// goes away, so calls the control makes later answer E_UNEXPECTED instead of touching freed
// memory. The site's own lifetime follows its COM references.

#include <windows.h>
#include <ole2.h>
#include <docobj.h>
#include <downloadmgr.h>
#include <exdisp.h>
#include <mshtmhst.h>
#include <mshtml.h>
#include <shobjidl.h>
#include <urlmon.h>

#include <atomic>

// The answer of a plain container to an ambient property (user mode, locale ...);
// DISP_E_MEMBERNOTFOUND for the ones it has no opinion on.
HRESULT HostAmbientProperty(DISPID id, WORD flags, VARIANT* result);

// What the site asks its owner. Out-pointers reach the handler non-NULL and cleared; the site
// clears them again on every answer other than S_OK. Defaults are a host without opinions.
class TOleSiteHandler {
public:
    virtual ~TOleSiteHandler() = default;

    virtual HWND SiteParentWindow() = 0;
    virtual RECT SiteClientRect();
    virtual HRESULT AmbientInvoke(DISPID id, WORD flags, DISPPARAMS* params, VARIANT* result, EXCEPINFO* excep);
    virtual HRESULT AmbientTypeInfoCount(UINT* count) { *count = 0; return S_OK; }
    virtual HRESULT AmbientTypeInfo(UINT, LCID, ITypeInfo**) { return E_NOTIMPL; }
    virtual HRESULT AmbientIDsOfNames(LPOLESTR*, UINT, LCID, DISPID*) { return DISP_E_UNKNOWNNAME; }

    // IDocHostUIHandler2
    virtual HRESULT ShowContextMenu(DWORD, POINT*, IUnknown*, IDispatch*) { return S_FALSE; }
    virtual HRESULT GetHostInfo(DOCHOSTUIINFO*) { return E_NOTIMPL; }
    virtual HRESULT ShowUI(DWORD, IOleInPlaceActiveObject*, IOleCommandTarget*, IOleInPlaceFrame*, IOleInPlaceUIWindow*) { return S_FALSE; }
    virtual HRESULT HideUI() { return S_OK; }
    virtual HRESULT UpdateUI() { return S_OK; }
    virtual HRESULT EnableModeless(BOOL) { return S_OK; }
    virtual HRESULT OnDocWindowActivate(BOOL) { return S_OK; }
    virtual HRESULT OnFrameWindowActivate(BOOL) { return S_OK; }
    virtual HRESULT ResizeBorder(LPCRECT, IOleInPlaceUIWindow*, BOOL) { return S_OK; }
    virtual HRESULT TranslateDocAccelerator(LPMSG, const GUID*, DWORD) { return S_FALSE; }
    virtual HRESULT GetOptionKeyPath(LPOLESTR*, DWORD) { return S_FALSE; }
    virtual HRESULT GetDropTarget(IDropTarget*, IDropTarget**) { return E_NOTIMPL; }
    virtual HRESULT GetExternal(IDispatch**) { return S_FALSE; }
    virtual HRESULT TranslateUrl(DWORD, LPWSTR, LPWSTR*) { return S_FALSE; }
    virtual HRESULT FilterDataObject(IDataObject*, IDataObject**) { return S_FALSE; }
    virtual HRESULT GetOverrideKeyPath(LPOLESTR*, DWORD) { return S_FALSE; }
    // IDocHostShowUI
    virtual HRESULT ShowMessage(HWND, LPOLESTR, LPOLESTR, DWORD, LPOLESTR, DWORD, LRESULT*) { return S_FALSE; }
    virtual HRESULT ShowHelp(HWND, LPOLESTR, UINT, DWORD, POINT, IDispatch*) { return S_FALSE; }
    // IOleCommandTarget
    virtual HRESULT QueryStatus(const GUID*, ULONG, OLECMD*, OLECMDTEXT*) { return S_OK; }
    virtual HRESULT Exec(const GUID*, DWORD, DWORD, VARIANT*, VARIANT*) { return OLECMDERR_E_NOTSUPPORTED; }
    // IServiceProvider
    virtual HRESULT QueryService(REFGUID, REFIID, void**) { return E_NOINTERFACE; }
    // IDropTarget
    virtual HRESULT DragEnter(IDataObject*, DWORD, POINTL, DWORD* effect) { *effect = DROPEFFECT_NONE; return S_OK; }
    virtual HRESULT DragOver(DWORD, POINTL, DWORD* effect) { *effect = DROPEFFECT_NONE; return S_OK; }
    virtual HRESULT DragLeave() { return S_OK; }
    virtual HRESULT Drop(IDataObject*, DWORD, POINTL, DWORD* effect) { *effect = DROPEFFECT_NONE; return S_OK; }
    // IAuthenticate
    virtual HRESULT Authenticate(HWND*, LPWSTR*, LPWSTR*) { return E_NOTIMPL; }
    // IProtectFocus
    virtual HRESULT AllowFocusChange(BOOL* allow) { *allow = TRUE; return S_OK; }
    // INewWindowManager
    virtual HRESULT EvaluateNewWindow(LPCWSTR, LPCWSTR, LPCWSTR, LPCWSTR, BOOL, DWORD, DWORD) { return E_FAIL; }
    // IDownloadManager
    virtual HRESULT Download(IMoniker*, IBindCtx*, DWORD, LONG, BINDINFO*, LPCOLESTR, LPCOLESTR, UINT) { return E_NOTIMPL; }
    // IHTMLOMWindowServices
    virtual HRESULT MoveTo(LONG, LONG) { return S_OK; }
    virtual HRESULT MoveBy(LONG, LONG) { return S_OK; }
    virtual HRESULT ResizeTo(LONG, LONG) { return S_OK; }
    virtual HRESULT ResizeBy(LONG, LONG) { return S_OK; }
    // IZoomEvents, IHostBehaviorInit
    virtual HRESULT OnZoomPercentChanged(ULONG) { return S_FALSE; }
    virtual HRESULT PopulateNamespaceTable() { return S_OK; }
};

class TOleSite final : public IOleClientSite,
                       public IOleInPlaceSite,
                       public IOleInPlaceFrame,
                       public IOleControlSite,
                       public IDispatch,
                       public IDocHostUIHandler2,
                       public IDocHostShowUI,
                       public IOleCommandTarget,
                       public IServiceProvider,
                       public IDropTarget,
                       public IAuthenticate,
                       public IProtectFocus,
                       public INewWindowManager,
                       public IDownloadManager,
                       public IHTMLOMWindowServices,
                       public IZoomEvents,
                       public IHostBehaviorInit {
public:
    // Starts with one reference, owned by the caller.
    static TOleSite* Create(TOleSiteHandler* handler);
    // From now on every call answers E_UNEXPECTED.
    void Detach() { handler_ = nullptr; }
    bool Attached() const { return handler_ != nullptr; }
    // The identity the control sees (the IUnknown of the site).
    IUnknown* Identity() { return static_cast<IOleClientSite*>(this); }

    // IUnknown
    STDMETHODIMP QueryInterface(REFIID riid, void** out) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;
    // IOleClientSite
    STDMETHODIMP SaveObject() override;
    STDMETHODIMP GetMoniker(DWORD, DWORD, IMoniker** out) override;
    STDMETHODIMP GetContainer(IOleContainer** out) override;
    STDMETHODIMP ShowObject() override;
    STDMETHODIMP OnShowWindow(BOOL) override;
    STDMETHODIMP RequestNewObjectLayout() override;
    // IOleWindow
    STDMETHODIMP GetWindow(HWND* out) override;
    STDMETHODIMP ContextSensitiveHelp(BOOL) override;
    // IOleInPlaceSite
    STDMETHODIMP CanInPlaceActivate() override;
    STDMETHODIMP OnInPlaceActivate() override;
    STDMETHODIMP OnUIActivate() override;
    STDMETHODIMP GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** doc, LPRECT pos, LPRECT clip,
                                  LPOLEINPLACEFRAMEINFO info) override;
    STDMETHODIMP Scroll(SIZE) override;
    STDMETHODIMP OnUIDeactivate(BOOL) override;
    STDMETHODIMP OnInPlaceDeactivate() override;
    STDMETHODIMP DiscardUndoState() override;
    STDMETHODIMP DeactivateAndUndo() override;
    STDMETHODIMP OnPosRectChange(LPCRECT) override;
    // IOleInPlaceUIWindow, IOleInPlaceFrame
    STDMETHODIMP GetBorder(LPRECT) override;
    STDMETHODIMP RequestBorderSpace(LPCBORDERWIDTHS) override;
    STDMETHODIMP SetBorderSpace(LPCBORDERWIDTHS) override;
    STDMETHODIMP SetActiveObject(IOleInPlaceActiveObject*, LPCOLESTR) override;
    STDMETHODIMP InsertMenus(HMENU, LPOLEMENUGROUPWIDTHS) override;
    STDMETHODIMP SetMenu(HMENU, HOLEMENU, HWND) override;
    STDMETHODIMP RemoveMenus(HMENU) override;
    STDMETHODIMP SetStatusText(LPCOLESTR) override;
    STDMETHODIMP EnableModeless(BOOL enable) override;  // frame and document host alike
    STDMETHODIMP TranslateAccelerator(LPMSG, WORD) override;
    // IOleControlSite
    STDMETHODIMP OnControlInfoChanged() override;
    STDMETHODIMP LockInPlaceActive(BOOL) override;
    STDMETHODIMP GetExtendedControl(IDispatch** out) override;
    STDMETHODIMP TransformCoords(POINTL*, POINTF*, DWORD) override;
    STDMETHODIMP TranslateAccelerator(MSG*, DWORD) override;
    STDMETHODIMP OnFocus(BOOL) override;
    STDMETHODIMP ShowPropertyFrame() override;
    // IDispatch (ambient properties)
    STDMETHODIMP GetTypeInfoCount(UINT* count) override;
    STDMETHODIMP GetTypeInfo(UINT index, LCID lcid, ITypeInfo** out) override;
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID lcid, DISPID* ids) override;
    STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result, EXCEPINFO* excep,
                        UINT* argErr) override;
    // IDocHostUIHandler2
    STDMETHODIMP ShowContextMenu(DWORD id, POINT* pt, IUnknown* cmdt, IDispatch* disp) override;
    STDMETHODIMP GetHostInfo(DOCHOSTUIINFO* info) override;
    STDMETHODIMP ShowUI(DWORD, IOleInPlaceActiveObject*, IOleCommandTarget*, IOleInPlaceFrame*, IOleInPlaceUIWindow*) override;
    STDMETHODIMP HideUI() override;
    STDMETHODIMP UpdateUI() override;
    STDMETHODIMP OnDocWindowActivate(BOOL) override;
    STDMETHODIMP OnFrameWindowActivate(BOOL) override;
    STDMETHODIMP ResizeBorder(LPCRECT, IOleInPlaceUIWindow*, BOOL) override;
    STDMETHODIMP TranslateAccelerator(LPMSG msg, const GUID* group, DWORD cmd) override;
    STDMETHODIMP GetOptionKeyPath(LPOLESTR* key, DWORD) override;
    STDMETHODIMP GetDropTarget(IDropTarget* in, IDropTarget** out) override;
    STDMETHODIMP GetExternal(IDispatch** out) override;
    STDMETHODIMP TranslateUrl(DWORD, LPWSTR in, LPWSTR* out) override;
    STDMETHODIMP FilterDataObject(IDataObject* in, IDataObject** out) override;
    STDMETHODIMP GetOverrideKeyPath(LPOLESTR* key, DWORD) override;
    // IDocHostShowUI
    STDMETHODIMP ShowMessage(HWND, LPOLESTR, LPOLESTR, DWORD, LPOLESTR, DWORD, LRESULT*) override;
    STDMETHODIMP ShowHelp(HWND, LPOLESTR, UINT, DWORD, POINT, IDispatch*) override;
    // IOleCommandTarget
    STDMETHODIMP QueryStatus(const GUID*, ULONG, OLECMD*, OLECMDTEXT*) override;
    STDMETHODIMP Exec(const GUID*, DWORD, DWORD, VARIANT*, VARIANT*) override;
    // IServiceProvider
    STDMETHODIMP QueryService(REFGUID service, REFIID riid, void** out) override;
    // IDropTarget
    STDMETHODIMP DragEnter(IDataObject*, DWORD, POINTL, DWORD*) override;
    STDMETHODIMP DragOver(DWORD, POINTL, DWORD*) override;
    STDMETHODIMP DragLeave() override;
    STDMETHODIMP Drop(IDataObject*, DWORD, POINTL, DWORD*) override;
    // IAuthenticate
    STDMETHODIMP Authenticate(HWND*, LPWSTR*, LPWSTR*) override;
    // IProtectFocus
    STDMETHODIMP AllowFocusChange(BOOL*) override;
    // INewWindowManager
    STDMETHODIMP EvaluateNewWindow(LPCWSTR, LPCWSTR, LPCWSTR, LPCWSTR, BOOL, DWORD, DWORD) override;
    // IDownloadManager
    STDMETHODIMP Download(IMoniker*, IBindCtx*, DWORD, LONG, BINDINFO*, LPCOLESTR, LPCOLESTR, UINT) override;
    // IHTMLOMWindowServices
    STDMETHODIMP moveTo(LONG, LONG) override;
    STDMETHODIMP moveBy(LONG, LONG) override;
    STDMETHODIMP resizeTo(LONG, LONG) override;
    STDMETHODIMP resizeBy(LONG, LONG) override;
    // IZoomEvents, IHostBehaviorInit
    STDMETHODIMP OnZoomPercentChanged(ULONG) override;
    STDMETHODIMP PopulateNamespaceTable() override;

private:
    explicit TOleSite(TOleSiteHandler* handler) : handler_(handler) {}
    ~TOleSite() = default;

    std::atomic<LONG> refs_{1};
    TOleSiteHandler* handler_;
};
