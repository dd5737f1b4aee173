// Answers that need a peer Wine can't give (no HTML engine): small fakes stand in for the
// browser's command target and protocol sink.
#include <gtest/gtest.h>

#include <windows.h>

#include <vector>

#include "ui/browser/EmbeddedBrowser.h"
#include "ui/browser/WbTools.h"

namespace {

const GUID kShellDocView = {0x000214D1, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

// The command target the browser passes with a right-click.
struct TFakeCommandTarget : IOleCommandTarget, IOleWindow {
    std::vector<std::pair<GUID, DWORD>> execs;
    HMENU encoding = CreatePopupMenu();
    STDMETHODIMP QueryInterface(REFIID riid, void** out) override
    {
        *out = nullptr;
        if (riid == IID_IUnknown || riid == IID_IOleCommandTarget) *out = static_cast<IOleCommandTarget*>(this);
        else if (riid == IID_IOleWindow) *out = static_cast<IOleWindow*>(this);
        else return E_NOINTERFACE;
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return 2; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }
    STDMETHODIMP QueryStatus(const GUID*, ULONG, OLECMD*, OLECMDTEXT*) override { return S_OK; }
    STDMETHODIMP Exec(const GUID* group, DWORD cmd, DWORD, VARIANT*, VARIANT* out) override
    {
        execs.push_back({group ? *group : GUID_NULL, cmd});
        if (out) {
            V_VT(out) = VT_I4;
            V_I4(out) = static_cast<LONG>(reinterpret_cast<INT_PTR>(encoding));
        }
        return S_OK;
    }
    // No owner window: the menu is built and filtered but not tracked (that would be modal).
    STDMETHODIMP GetWindow(HWND* w) override
    {
        *w = nullptr;
        return E_FAIL;
    }
    STDMETHODIMP ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }
};

TEST(WbFakesTest, CustomMenuAsksTheEncodingMenuAndFiltersItems)
{
    HMENU probe = BrowserResourceLibrary() ? LoadMenuW(BrowserResourceLibrary(), MAKEINTRESOURCEW(24641)) : nullptr;
    if (!probe)
        GTEST_SKIP() << "no browser resource library";
    DestroyMenu(probe);
    TEmbeddedBrowser browser;
    browser.DisabledPopupMenuItems = {TIEPopupMenuItem::rcsSelectAll, TIEPopupMenuItem::rcsViewSource};
    HMENU filtered = nullptr;
    int itemsBefore = -1;
    browser.OnFilterPopupMenu = [&](TObject*, DWORD, HMENU menu) {
        filtered = menu;
        itemsBefore = GetMenuItemCount(menu);
    };
    TFakeCommandTarget target;
    POINT pt{5, 5};
    EXPECT_EQ(S_OK, browser.Host().Site()->ShowContextMenu(0, &pt, static_cast<IOleCommandTarget*>(&target), nullptr));
    ASSERT_EQ(1u, target.execs.size());
    EXPECT_TRUE(IsEqualGUID(kShellDocView, target.execs[0].first));
    EXPECT_EQ(27u, target.execs[0].second);
    ASSERT_NE(nullptr, filtered);
    EXPECT_GT(itemsBefore, 0);
    // The loaded menu (and the encoding menu attached to it) is gone after use.
    EXPECT_FALSE(IsMenu(filtered));
}

struct TFakeNegotiate : IHttpNegotiate {
    std::vector<std::wstring> urls;
    STDMETHODIMP QueryInterface(REFIID riid, void** out) override
    {
        *out = (riid == IID_IUnknown || riid == IID_IHttpNegotiate) ? this : nullptr;
        return *out ? S_OK : E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return 2; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }
    STDMETHODIMP BeginningTransaction(LPCWSTR url, LPCWSTR headers, DWORD, LPWSTR* added) override
    {
        urls.push_back(url);
        EXPECT_EQ(nullptr, headers);
        *added = nullptr;
        return S_OK;
    }
    STDMETHODIMP OnResponse(DWORD, LPCWSTR, LPCWSTR, LPWSTR*) override { return S_OK; }
};

struct TFakeSink : IInternetProtocolSink, IServiceProvider {
    TFakeNegotiate negotiate;
    STDMETHODIMP QueryInterface(REFIID riid, void** out) override
    {
        *out = nullptr;
        if (riid == IID_IUnknown || riid == IID_IInternetProtocolSink) *out = static_cast<IInternetProtocolSink*>(this);
        else if (riid == IID_IServiceProvider) *out = static_cast<IServiceProvider*>(this);
        else return E_NOINTERFACE;
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return 2; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }
    STDMETHODIMP Switch(PROTOCOLDATA*) override { return S_OK; }
    STDMETHODIMP ReportProgress(ULONG, LPCWSTR) override { return S_OK; }
    STDMETHODIMP ReportData(DWORD, ULONG, ULONG) override { return S_OK; }
    STDMETHODIMP ReportResult(HRESULT, DWORD, LPCWSTR) override { return S_OK; }
    STDMETHODIMP QueryService(REFGUID service, REFIID riid, void** out) override
    {
        *out = nullptr;
        if (service == IID_IHttpNegotiate && riid == IID_IHttpNegotiate)
            *out = &negotiate;
        return *out ? S_OK : E_NOINTERFACE;
    }
};

TEST(WbFakesTest, ProtocolStartNegotiatesAndHandsBackToTheDefaultHandler)
{
    TEmbeddedBrowser browser;
    IInternetProtocol* protocol = browser.Protocol();
    TFakeSink sink;
    EXPECT_EQ(INET_E_USE_DEFAULT_PROTOCOLHANDLER, protocol->Start(L"http://127.0.0.1/x", &sink, nullptr, 0, 0));
    ASSERT_EQ(1u, sink.negotiate.urls.size());
    EXPECT_EQ(L"http://127.0.0.1/x", sink.negotiate.urls[0]);
    EXPECT_EQ(INET_E_USE_DEFAULT_PROTOCOLHANDLER, protocol->Start(L"http://a/", nullptr, nullptr, 0, 0));
    struct { HRESULT got; HRESULT expected; } cases[] = {
        {protocol->Continue(nullptr), S_OK},     {protocol->Terminate(0), S_OK},
        {protocol->Read(nullptr, 0, nullptr), S_OK}, {protocol->LockRequest(0), S_OK},
        {protocol->UnlockRequest(), S_OK},       {protocol->Abort(E_FAIL, 0), E_NOTIMPL},
        {protocol->Suspend(), E_NOTIMPL},        {protocol->Resume(), E_NOTIMPL},
        {protocol->Seek({}, 0, nullptr), E_NOTIMPL},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.expected, c.got) << (&c - cases);
}

TEST(WbFakesTest, HostStyleSheetAndNamespaceGoInTheHostInfo)
{
    TEmbeddedBrowser browser;
    browser.HostCSS = "body{margin:0}";
    DOCHOSTUIINFO info{};
    EXPECT_EQ(S_OK, browser.Host().Site()->GetHostInfo(&info));
    ASSERT_NE(nullptr, info.pchHostCss);
    EXPECT_STREQ(L"body{margin:0}", info.pchHostCss);
    EXPECT_EQ(nullptr, info.pchHostNS);
    CoTaskMemFree(info.pchHostCss);
}

TEST(WbFakesTest, FloatingPointExceptionsSwitch)
{
    TEmbeddedBrowser browser;
    const uint16_t start = FpuControlWord();
    browser.DisableErrors().SetfpExceptions(false);
    EXPECT_EQ(0x133F, FpuControlWord() & ~0x40);  // bit 6 is reserved and reads as 1
    volatile double zero = 0.0;
    volatile double r = 1.0 / zero;  // masked: no trap
    EXPECT_GT(r, 1e308);
    browser.DisableErrors().SetfpExceptions(true);
    EXPECT_EQ(start, FpuControlWord());
}

TEST(WbFakesTest, PageSetupFromTheRegistry)
{
    const wchar_t* path = L"Software\\Microsoft\\Internet Explorer\\PageSetup";
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_CURRENT_USER, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr));
    auto set = [&](const wchar_t* name, const wchar_t* value) {
        RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value),
                       static_cast<DWORD>((wcslen(value) + 1) * sizeof(wchar_t)));
    };
    set(L"header", L"&w&b\x9875");
    set(L"footer", L"&u");
    set(L"margin_left", L" 1.000000");
    set(L"margin_top", L"0.5");
    RegDeleteValueW(key, L"margin_right");
    set(L"margin_bottom", L"junk");
    struct { bool inches; double left, right, top, bottom; } cases[] = {
        {true, 1.0, 0.75, 0.5, 0.75},
        {false, 25.4, 19.05, 12.7, 19.05},
    };
    for (const auto& c : cases) {
        TPrintOptions options;
        options.Inches = c.inches;
        ASSERT_TRUE(LoadPrintOptionsFromRegistry(options));
        EXPECT_EQ("&w&b\xD2\xB3", options.Header);
        EXPECT_EQ("&u", options.Footer);
        EXPECT_NEAR(c.left, options.Margins.Left, 1e-9);
        EXPECT_NEAR(c.right, options.Margins.Right, 1e-9);
        EXPECT_NEAR(c.top, options.Margins.Top, 1e-9);
        EXPECT_NEAR(c.bottom, options.Margins.Bottom, 1e-9);
    }
    RegCloseKey(key);
}

}  // namespace
