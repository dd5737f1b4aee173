#pragma once
// The host side of the WebBrowser control: the document-host answers. Each answer asks the
// component's event handler first; the built-in behaviour applies only when no handler is
// assigned or the handler leaves the default result.

#include <windows.h>
#include <mshtml.h>

#include <functional>
#include <string>

#include "ui/browser/SHDocVw_WB.h"
#include "ui/browser/WbSets.h"

enum class TScriptErrorAction { eaContinue, eaCancel, eaAskUser };
enum class TDragDropHandlingType { ddtMS, ddtMy, ddtCustom, ddtNo };

class TCustomEmbeddedBrowser : public TWB {
    VIDUDO_CLASS(TCustomEmbeddedBrowser, TWB)
public:
    explicit TCustomEmbeddedBrowser(TComponent* owner = nullptr);
    ~TCustomEmbeddedBrowser() override;

    const TDownloadControlOptions& DownloadOptions() const { return downloadOptions_; }
    void SetDownloadOptions(const TDownloadControlOptions& options);
    const TUserInterfaceOptions& UserInterfaceOptions() const { return userInterfaceOptions_; }
    void SetUserInterfaceOptions(const TUserInterfaceOptions& options);
    uint32_t HostUIFlags() const { return hostUIFlags_; }
    uint32_t DownloadFlags() const { return downloadFlags_; }
    TDragDropHandlingType DropHandlingType() const { return dropHandlingType_; }
    void SetDropHandlingType(TDragDropHandlingType type);

    std::string DisableCtrlShortcuts = "N";
    TIEPopupMenus DisabledPopupMenus;
    TScriptErrorAction ScriptErrorAction = TScriptErrorAction::eaContinue;
    std::string HelpFile;
    std::string OptionKeyPath;
    bool OverrideOptionKeyPath = false;
    bool FloatingHosting = false;

    std::function<void(TObject*, DWORD id, POINT* pt, IUnknown* cmdt, IDispatch* disp, HRESULT& result)> OnShowContextMenu;
    std::function<void(TObject*, DOCHOSTUIINFO& info)> OnGetHostInfo;
    std::function<void(TObject*, DWORD id, IOleInPlaceActiveObject*, IOleCommandTarget*, IOleInPlaceFrame*,
                       IOleInPlaceUIWindow*, HRESULT& result)> OnShowUI;
    std::function<void(TObject*, HRESULT& result)> OnHideUI;
    std::function<void(TObject*, HRESULT& result)> OnUpdateUI;
    std::function<void(TObject*, bool enable)> OnEnableModeless;
    std::function<void(TObject*, bool activate)> OnOnDocWindowActivate;
    std::function<void(TObject*, bool activate)> OnOnFrameWindowActivate;
    std::function<void(TObject*, const RECT* border, IOleInPlaceUIWindow*, bool frameWindow)> OnResizeBorder;
    std::function<void(TObject*, MSG* msg, const GUID* group, DWORD cmd, bool& handled)> OnTranslateAccelerator;
    std::function<void(TObject*, TComPtr<IDropTarget>& target)> OnGetDropTarget;
    std::function<void(TObject*, TComPtr<IDispatch>& external)> OnGetExternal;
    std::function<void(TObject*, DWORD translate, const std::wstring& in, std::wstring& out)> OnTranslateUrl;
    std::function<void(TObject*, IDataObject* in, TComPtr<IDataObject>& out)> OnFilterDataObject;
    std::function<HRESULT(TObject*, HWND, const std::wstring& text, const std::wstring& caption, DWORD type,
                          const std::wstring& helpFile, DWORD helpContext, LRESULT& result)> OnShowMessage;
    std::function<HRESULT(TObject*, HWND, const std::wstring& file, UINT command, DWORD data, POINT mouse,
                          IDispatch* hit)> OnShowHelpRequest;
    std::function<void(TObject*, UINT& count, HRESULT& result)> OnGetTypeInfoCount;
    std::function<void(TObject*, UINT index, LCID, ITypeInfo** info, HRESULT& result)> OnGetTypeInfo;
    std::function<void(TObject*, LPOLESTR* names, UINT count, LCID, DISPID* ids, HRESULT& result)> OnGetIDsOfNames;
    std::function<void(TObject*, DISPID id, WORD flags, DISPPARAMS* params, VARIANT* value, HRESULT& result)> OnInvoke;
    std::function<void(TObject*, IDataObject*, DWORD keys, POINTL pt, DWORD& effect, HRESULT& result)> OnDragEnter;
    std::function<void(TObject*, DWORD keys, POINTL pt, DWORD& effect, HRESULT& result)> OnDragOver2;
    std::function<void(TObject*)> OnDragLeave;
    std::function<void(TObject*, IDataObject*, DWORD keys, POINTL pt, DWORD& effect, HRESULT& result)> OnDropEvent;
    std::function<void(TObject*, const std::string& line, const std::string& character, const std::string& code,
                       const std::string& message, const std::string& url, TScriptErrorAction& action)> OnScriptError;
    std::function<void(TObject*, DWORD command, bool& cancel)> OnRefresh;
    std::function<void(TObject*)> OnUnload;
    std::function<void(TObject*, const GUID* group, DWORD cmd, DWORD option, VARIANT* in, VARIANT* out,
                       HRESULT& result)> OnCommandExec;
    std::function<void(TObject*, REFGUID service, REFIID riid, TComPtr<IUnknown>& object)> OnQueryService;
    std::function<void(TObject*, const std::wstring& url, const std::wstring& name, const std::wstring& context,
                       const std::wstring& features, bool replace, DWORD flags, DWORD userActionTime,
                       HRESULT& result)> OnEvaluateNewWindow;
    std::function<void(TObject*, DWORD id, HMENU menu)> OnFilterPopupMenu;
    std::function<void(TObject*, char key)> OnMaskedCtrlChar;
    std::function<void(TObject*, long x, long y)> OnMove;
    std::function<void(TObject*, long dx, long dy)> OnMoveBy;
    std::function<void(TObject*, long cx, long cy)> OnResize;
    std::function<void(TObject*, long dx, long dy)> OnResizeBy;
    std::function<void(TObject*)> OnPopulateNSTable;
    std::function<void(TObject*, HWND& window, std::string& user, std::string& password, HRESULT& result)> OnAuthenticate;
    std::function<HRESULT(TObject*, ULONG percent)> OnZoomPercentChange;
    std::function<void(TObject*, bool& allow)> OnAllowFocusChange;
    // Download manager: replaces the browser's own download handling when it answers S_OK.
    std::function<void(TObject*, IMoniker*, IBindCtx*, DWORD verb, LONG bindf, BINDINFO*, const wchar_t* headers,
                       const wchar_t* redirect, UINT codePage, HRESULT& result)> OnFileDownload;

    // The current document as IHTMLDocument2, or empty.
    TComPtr<IHTMLDocument2> DocumentAsHtml();
    // Follows first-child links from the control's window down to a window of that class.
    HWND FindChildWindow(const std::wstring& className) const;
    void SetZoom(int level);
    void UIActivate();

    // While the window is recreated the browser's window waits under a hidden window.
    HWND ParkedWindow() const { return parked_; }

    // The document-host answers.
    HRESULT ShowContextMenu(DWORD id, POINT* pt, IUnknown* cmdt, IDispatch* disp) override;
    HRESULT GetHostInfo(DOCHOSTUIINFO* info) override;
    HRESULT ShowUI(DWORD, IOleInPlaceActiveObject*, IOleCommandTarget*, IOleInPlaceFrame*, IOleInPlaceUIWindow*) override;
    HRESULT HideUI() override;
    HRESULT UpdateUI() override;
    HRESULT EnableModeless(BOOL enable) override;
    HRESULT OnDocWindowActivate(BOOL activate) override;
    HRESULT OnFrameWindowActivate(BOOL activate) override;
    HRESULT ResizeBorder(LPCRECT border, IOleInPlaceUIWindow* window, BOOL frame) override;
    HRESULT TranslateDocAccelerator(LPMSG msg, const GUID* group, DWORD cmd) override;
    HRESULT GetOptionKeyPath(LPOLESTR* key, DWORD) override;
    HRESULT GetOverrideKeyPath(LPOLESTR* key, DWORD) override;
    HRESULT GetDropTarget(IDropTarget* in, IDropTarget** out) override;
    HRESULT GetExternal(IDispatch** out) override;
    HRESULT TranslateUrl(DWORD translate, LPWSTR in, LPWSTR* out) override;
    HRESULT FilterDataObject(IDataObject* in, IDataObject** out) override;
    HRESULT ShowMessage(HWND, LPOLESTR text, LPOLESTR caption, DWORD type, LPOLESTR file, DWORD ctx, LRESULT* result) override;
    HRESULT ShowHelp(HWND, LPOLESTR file, UINT cmd, DWORD data, POINT mouse, IDispatch* hit) override;
    HRESULT AmbientInvoke(DISPID id, WORD flags, DISPPARAMS* params, VARIANT* result, EXCEPINFO* excep) override;
    HRESULT AmbientTypeInfoCount(UINT* count) override;
    HRESULT AmbientTypeInfo(UINT index, LCID lcid, ITypeInfo** info) override;
    HRESULT AmbientIDsOfNames(LPOLESTR* names, UINT count, LCID lcid, DISPID* ids) override;
    HRESULT QueryStatus(const GUID*, ULONG, OLECMD*, OLECMDTEXT*) override { return S_OK; }
    HRESULT Exec(const GUID* group, DWORD cmd, DWORD option, VARIANT* in, VARIANT* out) override;
    HRESULT QueryService(REFGUID service, REFIID riid, void** out) override;
    HRESULT DragEnter(IDataObject* data, DWORD keys, POINTL pt, DWORD* effect) override;
    HRESULT DragOver(DWORD keys, POINTL pt, DWORD* effect) override;
    HRESULT DragLeave() override;
    HRESULT Drop(IDataObject* data, DWORD keys, POINTL pt, DWORD* effect) override;
    HRESULT Authenticate(HWND* window, LPWSTR* user, LPWSTR* password) override;
    HRESULT AllowFocusChange(BOOL* allow) override;
    HRESULT EvaluateNewWindow(LPCWSTR url, LPCWSTR name, LPCWSTR context, LPCWSTR features, BOOL replace, DWORD flags,
                              DWORD time) override;
    HRESULT Download(IMoniker*, IBindCtx*, DWORD, LONG, BINDINFO*, LPCOLESTR, LPCOLESTR, UINT) override;
    HRESULT MoveTo(LONG x, LONG y) override;
    HRESULT MoveBy(LONG dx, LONG dy) override;
    HRESULT ResizeTo(LONG cx, LONG cy) override;
    HRESULT ResizeBy(LONG dx, LONG dy) override;
    HRESULT OnZoomPercentChanged(ULONG percent) override;
    HRESULT PopulateNamespaceTable() override;

protected:
    // A window destroyed while the component lives parks the browser's window under a hidden
    // window and the next CreateWnd takes it back, so the page survives its form recreating
    // windows.
    void CreateWnd() override;
    void DestroyWnd() override;
    virtual bool IsMaskedCtrlKey(const MSG* msg);
    virtual HRESULT HandleScriptError(VARIANT* vaIn, VARIANT* vaOut);
    virtual bool IsServiceOffered(REFGUID service, REFIID riid, void** out);
    virtual bool HasPopupMenuFilter() const { return static_cast<bool>(OnFilterPopupMenu); }
    virtual void FilterPopupMenu(DWORD id, HMENU menu);

    // Filled by the derived component: the internal user agent, and the notice that the
    // browser's inner windows exist.
    std::function<bool(std::string& agent)> userAgentProvider_;
    std::function<void()> browserWindowNotify_;
    bool allowFocusChange_ = true;

private:
    HRESULT ShowBrowserMenu(DWORD id, POINT* pt, IUnknown* cmdt);
    HWND FormWindow() const;

    TDownloadControlOptions downloadOptions_;
    TUserInterfaceOptions userInterfaceOptions_;
    uint32_t hostUIFlags_ = 0;
    uint32_t downloadFlags_ = 0;
    TDragDropHandlingType dropHandlingType_ = TDragDropHandlingType::ddtMS;
    bool offlinePut_ = false;
    HWND parked_ = nullptr;
};
