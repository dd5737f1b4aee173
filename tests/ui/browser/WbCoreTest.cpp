// The document-host answers, called through the site object the control would call.
#include <gtest/gtest.h>

#include <windows.h>

#include <exdispid.h>

#include "framework/Exception.h"
#include "ui/browser/WbCore.h"
#include "ui/browser/WbTools.h"

namespace {

const GUID kExplorer = {0x000214D0, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
const GUID kDocHost = {0xF38BC242, 0xB950, 0x11D1, {0x89, 0x18, 0x00, 0xC0, 0x4F, 0xC2, 0xC8, 0x36}};

class WbCoreTest : public ::testing::Test {
protected:
    TCustomEmbeddedBrowser browser;
    TOleSite* site = browser.Host().Site();
};

TEST_F(WbCoreTest, ContextMenuAnswers)
{
    using M = TIEPopupMenu;
    // Wine ships the browser's resource library with its context menus.
    HMENU menus = BrowserResourceLibrary() ? LoadMenuW(BrowserResourceLibrary(), MAKEINTRESOURCEW(24641)) : nullptr;
    const HRESULT custom = menus ? S_OK : S_FALSE;
    if (menus)
        DestroyMenu(menus);
    struct { TIEPopupMenus disabled; bool handler; bool filter; DWORD id; HRESULT expected; } cases[] = {
        {{}, false, false, 0, S_FALSE},                 // the browser's own menu
        {{M::rcmAll}, false, false, 4, S_OK},           // every kind suppressed
        {{M::rcmAll}, false, false, 12, S_OK},
        {{M::rcmAnchor}, false, false, 5, S_OK},
        {{M::rcmAnchor}, false, false, 4, S_FALSE},
        {{M::rcmAll}, true, false, 0, E_ABORT},         // the handler decides first
        {{}, false, true, 0, custom},                   // the component builds the browser's menu
    };
    for (const auto& c : cases) {
        browser.DisabledPopupMenus = c.disabled;
        browser.OnShowContextMenu = nullptr;
        if (c.handler)
            browser.OnShowContextMenu = [](TObject*, DWORD, POINT*, IUnknown*, IDispatch*, HRESULT& r) { r = E_ABORT; };
        browser.OnFilterPopupMenu = nullptr;
        if (c.filter)
            browser.OnFilterPopupMenu = [](TObject*, DWORD, HMENU) {};
        POINT pt{10, 10};
        EXPECT_EQ(c.expected, site->ShowContextMenu(c.id, &pt, nullptr, nullptr)) << "id=" << c.id;
    }
}

TEST_F(WbCoreTest, CtrlShortcutsAreMasked)
{
    struct { const char* masked; bool ctrl; bool shift; WPARAM key; UINT message; HRESULT expected; char reported; } cases[] = {
        {"N", true, false, 'N', WM_KEYDOWN, S_OK, 'N'},
        {"N", true, true, 'N', WM_KEYDOWN, S_FALSE, 0},    // Ctrl+Shift+N reaches the browser
        {"N", false, false, 'N', WM_KEYDOWN, S_FALSE, 0},
        {"n", true, false, 'N', WM_KEYDOWN, S_FALSE, 0},   // letter keys have upper-case codes
        {"", true, false, 'N', WM_KEYDOWN, S_FALSE, 0},
        {"NP", true, false, 'P', WM_KEYDOWN, S_OK, 'P'},
        {"N", true, false, 'N', WM_KEYUP, S_FALSE, 0},
    };
    for (const auto& c : cases) {
        browser.DisableCtrlShortcuts = c.masked;
        char reported = 0;
        browser.OnMaskedCtrlChar = [&](TObject*, char key) { reported = key; };
        BYTE keys[256] = {};
        keys[VK_CONTROL] = c.ctrl ? 0x80 : 0;
        keys[VK_SHIFT] = c.shift ? 0x80 : 0;
        SetKeyboardState(keys);
        MSG msg{nullptr, c.message, c.key, 0, 0, {}};
        EXPECT_EQ(c.expected, site->TranslateAccelerator(&msg, nullptr, 0)) << c.masked << " key " << char(c.key);
        EXPECT_EQ(c.reported, reported) << c.masked;
    }
    BYTE keys[256] = {};
    SetKeyboardState(keys);
    EXPECT_EQ(S_FALSE, site->TranslateAccelerator(static_cast<MSG*>(nullptr), nullptr, 0));
}

VARIANT Get(TOleSite* site, DISPID id, HRESULT* hr)
{
    VARIANT v;
    VariantInit(&v);
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    *hr = site->Invoke(id, IID_NULL, 0, DISPATCH_PROPERTYGET, &none, &v, nullptr, nullptr);
    return v;
}

TEST_F(WbCoreTest, AmbientProperties)
{
    HRESULT hr;
    VARIANT v = Get(site, -709, &hr);  // offline: True before the browser put one
    EXPECT_EQ(S_OK, hr);
    EXPECT_EQ(VT_BOOL, V_VT(&v));
    EXPECT_EQ(VARIANT_TRUE, V_BOOL(&v));
    VARIANT put;
    V_VT(&put) = VT_BOOL;
    V_BOOL(&put) = VARIANT_TRUE;
    DISPID named = DISPID_PROPERTYPUT;
    DISPPARAMS params{&put, &named, 1, 1};
    EXPECT_EQ(S_OK, site->Invoke(-709, IID_NULL, 0, DISPATCH_PROPERTYPUT, &params, nullptr, nullptr, nullptr));
    v = Get(site, -709, &hr);
    EXPECT_EQ(VARIANT_FALSE, V_BOOL(&v));

    v = Get(site, -5512, &hr);
    EXPECT_EQ(S_OK, hr);
    EXPECT_EQ(0x70, V_I4(&v));
    browser.SetDownloadOptions({TDownloadControlOption::DontExecuteScripts, TDownloadControlOption::WorkOffline});
    v = Get(site, -5512, &hr);
    EXPECT_EQ(static_cast<LONG>(0x80000080u), V_I4(&v));

    v = Get(site, -5513, &hr);  // no user agent of our own: not handled here, nor by the host
    EXPECT_EQ(DISP_E_MEMBERNOTFOUND, hr);

    v = Get(site, -705, &hr);  // the host's own answer
    EXPECT_EQ(S_OK, hr);
    EXPECT_EQ(VT_I4, V_VT(&v));

    browser.OnInvoke = [](TObject*, DISPID id, WORD, DISPPARAMS*, VARIANT* value, HRESULT& r) {
        if (id == 4242) {
            V_VT(value) = VT_I4;
            V_I4(value) = 7;
            r = S_OK;
        } else if (id == 4343) {
            throw Exception("bad ambient");
        }
    };
    v = Get(site, 4242, &hr);
    EXPECT_EQ(S_OK, hr);
    EXPECT_EQ(7, V_I4(&v));
    EXCEPINFO info{};
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    VariantInit(&v);
    EXPECT_EQ(DISP_E_EXCEPTION, site->Invoke(4343, IID_NULL, 0, DISPATCH_PROPERTYGET, &none, &v, &info, nullptr));
    EXPECT_EQ(9999, info.wCode);
    EXPECT_STREQ(L"bad ambient", info.bstrDescription);
    EXPECT_STREQ(L"TCustomEmbeddedBrowser", info.bstrSource);
    SysFreeString(info.bstrDescription);
    SysFreeString(info.bstrSource);
}

TEST_F(WbCoreTest, ExecAnswers)
{
    int unloads = 0, refreshes = 0, scriptErrors = 0;
    browser.OnUnload = [&](TObject*) { ++unloads; };
    browser.OnRefresh = [&](TObject*, DWORD cmd, bool& cancel) {
        ++refreshes;
        cancel = cmd == 2300;
    };
    struct { const GUID* group; DWORD cmd; TScriptErrorAction action; HRESULT expected; VARTYPE outType; bool out; } cases[] = {
        {nullptr, 37, TScriptErrorAction::eaContinue, OLECMDERR_E_NOTSUPPORTED, VT_EMPTY, false},
        {&kExplorer, 37, TScriptErrorAction::eaContinue, S_OK, VT_EMPTY, false},
        {&kExplorer, 39, TScriptErrorAction::eaContinue, OLECMDERR_E_NOTSUPPORTED, VT_EMPTY, false},
        {&kDocHost, 40, TScriptErrorAction::eaContinue, S_OK, VT_BOOL, true},
        {&kDocHost, 40, TScriptErrorAction::eaCancel, S_OK, VT_BOOL, false},
        {&kDocHost, 40, TScriptErrorAction::eaAskUser, S_FALSE, VT_EMPTY, false},
        {&kDocHost, 2300, TScriptErrorAction::eaContinue, S_OK, VT_EMPTY, false},
        {&kDocHost, 6041, TScriptErrorAction::eaContinue, OLECMDERR_E_NOTSUPPORTED, VT_EMPTY, false},
    };
    for (const auto& c : cases) {
        browser.ScriptErrorAction = c.action;
        VARIANT out;
        VariantInit(&out);
        EXPECT_EQ(c.expected, site->Exec(c.group, c.cmd, 0, nullptr, &out)) << "cmd " << c.cmd;
        EXPECT_EQ(c.outType, V_VT(&out)) << "cmd " << c.cmd;
        if (c.outType == VT_BOOL)
            EXPECT_EQ(c.out ? VARIANT_TRUE : VARIANT_FALSE, V_BOOL(&out));
    }
    EXPECT_EQ(1, unloads);
    EXPECT_EQ(2, refreshes);

    // A handler that switches to eaCancel changes the next error, not this one.
    browser.ScriptErrorAction = TScriptErrorAction::eaContinue;
    browser.OnScriptError = [&](TObject*, const std::string&, const std::string&, const std::string&,
                                const std::string&, const std::string&, TScriptErrorAction& action) {
        ++scriptErrors;
        action = TScriptErrorAction::eaCancel;
    };
    for (VARIANT_BOOL expected : {VARIANT_TRUE, VARIANT_FALSE}) {
        VARIANT out;
        VariantInit(&out);
        EXPECT_EQ(S_OK, site->Exec(&kDocHost, 40, 0, nullptr, &out));
        EXPECT_EQ(expected, V_BOOL(&out));
    }
    EXPECT_EQ(2, scriptErrors);

    HRESULT seen = 0;
    browser.OnCommandExec = [&](TObject*, const GUID*, DWORD, DWORD, VARIANT*, VARIANT*, HRESULT& r) {
        seen = r;
        r = S_OK;
    };
    EXPECT_EQ(S_OK, site->Exec(nullptr, 1, 0, nullptr, nullptr));
    EXPECT_EQ(OLECMDERR_E_NOTSUPPORTED, seen);
}

TEST_F(WbCoreTest, HostInfoKeyPathsAndTexts)
{
    DOCHOSTUIINFO info{};
    info.pchHostCss = reinterpret_cast<OLECHAR*>(1);
    EXPECT_EQ(S_OK, site->GetHostInfo(&info));
    EXPECT_EQ(20u, info.cbSize);
    EXPECT_EQ(0x44000u, info.dwFlags);
    EXPECT_EQ(nullptr, info.pchHostCss);
    EXPECT_EQ(E_POINTER, site->GetHostInfo(nullptr));

    struct { const char* path; bool override; HRESULT option; HRESULT overrideAnswer; } cases[] = {
        {"", false, S_FALSE, S_FALSE},
        {"Software\\Vidudo", false, S_OK, S_FALSE},
        {"Software\\Vidudo", true, S_FALSE, S_OK},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        browser.OptionKeyPath = c.path;
        browser.OverrideOptionKeyPath = c.override;
        LPOLESTR a = reinterpret_cast<LPOLESTR>(1), b = reinterpret_cast<LPOLESTR>(1);
        EXPECT_EQ(c.option, site->GetOptionKeyPath(&a, 0));
        EXPECT_EQ(c.overrideAnswer, site->GetOverrideKeyPath(&b, 0));
        for (LPOLESTR s : {a, b}) {
            if (s) {
                EXPECT_STREQ(L"Software\\Vidudo", s);
                CoTaskMemFree(s);
            }
        }
        EXPECT_TRUE((a == nullptr) != (b == nullptr) || !*c.path);
    }
    EXPECT_EQ(E_POINTER, site->GetOptionKeyPath(nullptr, 0));

    LPWSTR url = reinterpret_cast<LPWSTR>(1);
    EXPECT_EQ(S_FALSE, site->TranslateUrl(0, const_cast<LPWSTR>(L"http://a/"), &url));
    EXPECT_EQ(nullptr, url);
    browser.OnTranslateUrl = [](TObject*, DWORD, const std::wstring& in, std::wstring& out) { out = in + L"x"; };
    EXPECT_EQ(S_OK, site->TranslateUrl(0, const_cast<LPWSTR>(L"http://a/"), &url));
    EXPECT_STREQ(L"http://a/x", url);
    CoTaskMemFree(url);

    IDispatch* external = reinterpret_cast<IDispatch*>(1);
    EXPECT_EQ(S_FALSE, site->GetExternal(&external));
    EXPECT_EQ(nullptr, external);
}

TEST_F(WbCoreTest, ServicesFocusHelpAndAuthentication)
{
    struct { REFGUID service; REFIID riid; bool withHandler; HRESULT expected; } cases[] = {
        {IID_IProtectFocus, IID_IProtectFocus, false, S_OK},
        {IID_INewWindowManager, IID_INewWindowManager, false, E_NOINTERFACE},
        {IID_INewWindowManager, IID_INewWindowManager, true, S_OK},
        {IID_IHTMLOMWindowServices, IID_IHTMLOMWindowServices, false, E_NOINTERFACE},
        {IID_IHTMLOMWindowServices, IID_IHTMLOMWindowServices, true, S_OK},
        {IID_IServiceProvider, IID_IAuthenticate, true, S_OK},
    };
    for (const auto& c : cases) {
        browser.OnEvaluateNewWindow = nullptr;
        browser.OnMove = nullptr;
        browser.OnAuthenticate = nullptr;
        if (c.withHandler) {
            browser.OnEvaluateNewWindow = [](TObject*, const std::wstring&, const std::wstring&, const std::wstring&,
                                             const std::wstring&, bool, DWORD, DWORD, HRESULT&) {};
            browser.OnMove = [](TObject*, long, long) {};
            browser.OnAuthenticate = [](TObject*, HWND&, std::string&, std::string&, HRESULT&) {};
        }
        void* out = reinterpret_cast<void*>(1);
        EXPECT_EQ(c.expected, site->QueryService(c.service, c.riid, &out));
        EXPECT_EQ(c.expected == S_OK, out != nullptr);
        if (out)
            static_cast<IUnknown*>(out)->Release();
    }
    EXPECT_EQ(E_FAIL, site->EvaluateNewWindow(L"u", L"n", L"c", L"f", FALSE, 0, 0));
    browser.OnEvaluateNewWindow = nullptr;
    EXPECT_EQ(E_FAIL, site->EvaluateNewWindow(L"u", L"n", L"c", L"f", FALSE, 0, 0));

    BOOL allow = FALSE;
    EXPECT_EQ(S_OK, site->AllowFocusChange(&allow));
    EXPECT_TRUE(allow);

    POINT pt{};
    EXPECT_EQ(S_FALSE, site->ShowHelp(nullptr, nullptr, 0, 0, pt, nullptr));  // no help file at all
    browser.HelpFile = "C:\\no-such-help.chm";
    EXPECT_EQ(S_FALSE, site->ShowHelp(nullptr, nullptr, 0, 0, pt, nullptr));  // help that can't open
    EXPECT_EQ(S_FALSE, site->ShowHelp(nullptr, const_cast<LPOLESTR>(L"page.chm"), 0, 0, pt, nullptr));
    LRESULT answer = 0;
    EXPECT_EQ(S_FALSE, site->ShowMessage(nullptr, const_cast<LPOLESTR>(L"hi"), nullptr, 0, nullptr, 0, &answer));

    browser.OnAuthenticate = [](TObject*, HWND&, std::string& user, std::string& password, HRESULT&) {
        user = "\xD3\xC3\xBB\xA7";
        password = "";
    };
    HWND w = reinterpret_cast<HWND>(1);
    LPWSTR user = nullptr, password = reinterpret_cast<LPWSTR>(1);
    EXPECT_EQ(S_OK, site->Authenticate(&w, &user, &password));
    EXPECT_STREQ(L"\x7528\x6237", user);
    EXPECT_EQ(nullptr, password);
    CoTaskMemFree(user);
}

TEST_F(WbCoreTest, DropTargetByHandlingType)
{
    using D = TDragDropHandlingType;
    IDropTarget* own = static_cast<IDropTarget*>(site);
    struct { D type; HRESULT expected; bool ownTarget; } cases[] = {
        {D::ddtMS, E_NOTIMPL, false}, {D::ddtMy, S_OK, true}, {D::ddtNo, S_OK, false}, {D::ddtCustom, S_OK, true}};
    for (const auto& c : cases) {
        browser.SetDropHandlingType(c.type);
        IDropTarget* out = reinterpret_cast<IDropTarget*>(1);
        EXPECT_EQ(c.expected, site->GetDropTarget(nullptr, &out)) << int(c.type);
        EXPECT_EQ(c.ownTarget ? own : nullptr, out) << int(c.type);
        if (out)
            out->Release();
    }
    // A custom handler may hand the browser nothing at all.
    browser.OnGetDropTarget = [](TObject*, TComPtr<IDropTarget>& target) { target.Reset(); };
    IDropTarget* out = reinterpret_cast<IDropTarget*>(1);
    EXPECT_EQ(S_OK, site->GetDropTarget(nullptr, &out));
    EXPECT_EQ(nullptr, out);

    DWORD effect = DROPEFFECT_COPY;
    POINTL pt{};
    EXPECT_EQ(S_OK, site->DragEnter(nullptr, 0, pt, &effect));
    EXPECT_EQ(DROPEFFECT_NONE, effect);
    browser.OnDropEvent = [](TObject*, IDataObject*, DWORD, POINTL, DWORD& e, HRESULT& r) {
        e = DROPEFFECT_LINK;
        r = S_FALSE;
    };
    EXPECT_EQ(S_FALSE, site->Drop(nullptr, 0, pt, &effect));
    EXPECT_EQ(DROPEFFECT_LINK, effect);
}

TEST_F(WbCoreTest, All34EventsReachTheirOwnHandlers)
{
    std::vector<DISPID> fired;
    auto mark = [&](DISPID id) { fired.push_back(id); };
    browser.OnStatusTextChange = [&](TObject*, const std::wstring&) { mark(102); };
    browser.OnProgressChange = [&](TObject*, long, long) { mark(108); };
    browser.OnCommandStateChange = [&](TObject*, long, bool) { mark(105); };
    browser.OnDownloadBegin = [&](TObject*) { mark(106); };
    browser.OnDownloadComplete = [&](TObject*) { mark(104); };
    browser.OnTitleChange = [&](TObject*, const std::wstring&) { mark(113); };
    browser.OnPropertyChange = [&](TObject*, const std::wstring&) { mark(112); };
    browser.OnBeforeNavigate2 = [&](TObject*, IDispatch*, const VARIANT&, const VARIANT&, const VARIANT&,
                                    const VARIANT&, const VARIANT&, bool& cancel) { mark(250); cancel = true; };
    browser.OnNewWindow2 = [&](TObject*, IDispatch*&, bool& cancel) { mark(251); cancel = true; };
    browser.OnNavigateComplete2 = [&](TObject*, IDispatch*, const VARIANT&) { mark(252); };
    browser.OnDocumentComplete = [&](TObject*, IDispatch*, const VARIANT&) { mark(259); };
    browser.OnQuit = [&](TObject*) { mark(253); };
    browser.OnVisible = [&](TObject*, bool) { mark(254); };
    browser.OnToolBar = [&](TObject*, bool) { mark(255); };
    browser.OnMenuBar = [&](TObject*, bool) { mark(256); };
    browser.OnStatusBar = [&](TObject*, bool) { mark(257); };
    browser.OnFullScreen = [&](TObject*, bool) { mark(258); };
    browser.OnTheaterMode = [&](TObject*, bool) { mark(260); };
    browser.OnAddressBar = [&](TObject*, bool) { mark(261); };
    browser.OnWindowSetResizable = [&](TObject*, bool) { mark(262); };
    browser.OnWindowSetLeft = [&](TObject*, long) { mark(264); };
    browser.OnWindowSetTop = [&](TObject*, long) { mark(265); };
    browser.OnWindowSetWidth = [&](TObject*, long) { mark(266); };
    browser.OnWindowSetHeight = [&](TObject*, long) { mark(267); };
    browser.OnWindowClosing = [&](TObject*, bool, bool& cancel) { mark(263); cancel = true; };
    browser.OnClientToHostWindow = [&](TObject*, long& cx, long& cy) { mark(268); cx = 11; cy = 22; };
    browser.OnSetSecureLockIcon = [&](TObject*, long) { mark(269); };
    browser.TWB::OnFileDownload = [&](TObject*, bool, bool& cancel) { mark(270); cancel = true; };
    browser.OnNavigateError = [&](TObject*, IDispatch*, const VARIANT&, const VARIANT&, const VARIANT&, bool& cancel) {
        mark(271);
        cancel = true;
    };
    browser.OnPrintTemplateInstantiation = [&](TObject*, IDispatch*) { mark(225); };
    browser.OnPrintTemplateTeardown = [&](TObject*, IDispatch*) { mark(226); };
    browser.OnUpdatePageStatus = [&](TObject*, IDispatch*, const VARIANT&, const VARIANT&) { mark(227); };
    browser.OnPrivacyImpactedStateChange = [&](TObject*, bool) { mark(272); };
    browser.OnNewWindow3 = [&](TObject*, IDispatch*&, bool& cancel, unsigned long, const std::wstring&,
                               const std::wstring& url) { mark(273); cancel = url == L"u"; };

    for (DISPID id : kWebBrowserEventIds) {
        const TEventSignature* signature = WebBrowserEventSignature(id);
        ASSERT_NE(nullptr, signature) << id;
        // One value store per argument; by-reference arguments point into it.
        std::vector<VARIANT> values(signature->size()), args(signature->size());
        std::vector<VARIANT_BOOL> bools(signature->size(), VARIANT_FALSE);
        std::vector<LONG> ints(signature->size(), 0);
        std::vector<IDispatch*> disps(signature->size(), nullptr);
        for (size_t i = 0; i < signature->size(); ++i) {
            VARIANT& a = args[signature->size() - 1 - i];
            VariantInit(&values[i]);
            const VARTYPE t = (*signature)[i];
            V_VT(&a) = t;
            if (t == VT_BSTR) V_BSTR(&a) = SysAllocString(L"u");
            else if (t == VT_BOOL) V_BOOL(&a) = VARIANT_FALSE;
            else if (t == VT_I4 || t == VT_UI4) V_I4(&a) = 1;
            else if (t == VT_DISPATCH) V_DISPATCH(&a) = nullptr;
            else if (t == (VT_BYREF | VT_VARIANT)) V_VARIANTREF(&a) = &values[i];
            else if (t == (VT_BYREF | VT_BOOL)) V_BOOLREF(&a) = &bools[i];
            else if (t == (VT_BYREF | VT_I4)) V_I4REF(&a) = &ints[i];
            else if (t == (VT_BYREF | VT_DISPATCH)) V_DISPATCHREF(&a) = &disps[i];
        }
        DISPPARAMS p{args.data(), nullptr, static_cast<UINT>(args.size()), 0};
        const size_t before = fired.size();
        EXPECT_EQ(S_OK, browser.EventSink()->Invoke(id, IID_NULL, 0, DISPATCH_METHOD, &p, nullptr, nullptr, nullptr))
            << id;
        ASSERT_EQ(before + 1, fired.size()) << id;
        EXPECT_EQ(id, fired.back());
        for (size_t i = 0; i < signature->size(); ++i) {
            if ((*signature)[i] == (VT_BYREF | VT_BOOL))
                EXPECT_EQ(VARIANT_TRUE, bools[i]) << "Cancel of " << id << " not written back";
            if ((*signature)[i] == (VT_BYREF | VT_I4))
                EXPECT_EQ(i == 0 ? 11 : 22, ints[i]) << id;
        }
        for (VARIANT& a : args)
            if (V_VT(&a) == VT_BSTR) SysFreeString(V_BSTR(&a));
    }
    EXPECT_EQ(34u, fired.size());
}

}  // namespace
