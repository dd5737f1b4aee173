// The browser pane with the real WebBrowser control and real dialogs under Xvfb.
#include <gtest/gtest.h>

#include "tests/support/LoopbackHttp.h"

#include <commctrl.h>

#include "framework/CodePage.h"
#include "framework/DialogMark.h"
#include "framework/ole/OleError.h"
#include "ui/browser/EmbeddedBrowser.h"
#include "ui/browser/WbControlComponent.h"
#include "ui/browser/WbTools.h"

namespace {

class EmbeddedBrowserTest : public ::testing::Test {
protected:
    // One form for the suite: Wine without a window manager takes two seconds to unmap one.
    static void SetUpTestSuite()
    {
        OleInitialize(nullptr);
        form = CreateWindowExW(0, L"STATIC", L"form", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 500, 400, nullptr,
                               nullptr, nullptr, nullptr);
    }
    static void TearDownTestSuite()
    {
        DestroyWindow(form);
        OleUninitialize();
    }
    void SetUp() override
    {
        ASSERT_NE(nullptr, form) << "GetLastError=" << GetLastError();
        browser = new TEmbeddedBrowser();
        browser->PlaceInWindow(form, RECT{0, 0, 480, 360});
        browser->Loaded();
        SetForegroundWindow(form);
        SetActiveWindow(form);
    }
    void TearDown() override { delete browser; }
    void Pump(DWORD ms) { PumpUntil([] { return false; }, ms); }

    static HWND form;
    TEmbeddedBrowser* browser = nullptr;
};

HWND EmbeddedBrowserTest::form = nullptr;

DWORD EmbeddedBrowserDefaultWait() { return TEmbeddedBrowser::kDefaultWait; }

INT_PTR CALLBACK PlainDialog(HWND dialog, UINT msg, WPARAM wParam, LPARAM)
{
    if (msg == WM_COMMAND && LOWORD(wParam) == IDCANCEL) {
        DestroyWindow(dialog);
        return TRUE;
    }
    return msg == WM_INITDIALOG;
}

// A modeless "#32770" dialog with the caption, owned by owner; it takes the activation.
HWND ShowDialog(HWND owner, const std::wstring& caption, bool programOwn)
{
    struct {
        DLGTEMPLATE t;
        WORD menu, cls;
        wchar_t title[64];
    } tpl{};
    tpl.t.style = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_VISIBLE;
    tpl.t.cx = 120;
    tpl.t.cy = 60;
    wcsncpy(tpl.title, caption.c_str(), 63);
    if (!programOwn)
        return CreateDialogIndirectParamW(nullptr, &tpl.t, owner, PlainDialog, 0);
    TProgramDialogMarker marker;
    return CreateDialogIndirectParamW(nullptr, &tpl.t, owner, PlainDialog, 0);
}

std::wstring Caption(HWND w)
{
    wchar_t text[128] = {};
    GetWindowTextW(w, text, 128);
    return text;
}

TEST_F(EmbeddedBrowserTest, BrowserDialogsAreRetitledClosedOrDestroyedAndProgramDialogsSurvive)
{
    struct { const wchar_t* caption; bool programOwn; bool disableAll; bool alive; const wchar_t* after; } cases[] = {
        {L"Microsoft Internet Explorer", false, false, true, L""},
        {L"Hello from Internet Explorer", false, false, true, L"Hello from Vidudo"},
        {L"Script Error on page", false, false, false, nullptr},  // clicked and closed
        {L"An error occurred", false, false, false, nullptr},     // destroyed
        {L"Plain notice", false, false, true, L"Plain notice"},
        {L"Plain notice", false, true, false, nullptr},           // DisableAll closes every one
        {L"Script Error on page", true, false, true, L"Script Error on page"},
        {L"Microsoft Internet Explorer", true, true, true, L"Microsoft Internet Explorer"},
    };
    for (const auto& c : cases) {
        browser->DialogBoxes().DisableAll = c.disableAll;
        browser->DialogBoxes().NewCaption = wcsstr(c.caption, L"Hello") ? L"Vidudo" : L"";
        int shown = 0;
        browser->OnShowDialog = [&](TObject*, HWND, LONG, const std::wstring&, std::wstring&, bool&) { ++shown; };
        SetActiveWindow(form);
        HWND dialog = ShowDialog(form, c.caption, c.programOwn);
        ASSERT_NE(nullptr, dialog) << "GetLastError=" << GetLastError();
        Pump(150);
        EXPECT_EQ(c.programOwn ? 0 : 1, shown) << "case " << (&c - cases);
        EXPECT_EQ(c.alive, IsWindow(dialog) != FALSE) << "case " << (&c - cases);
        if (c.alive && IsWindow(dialog)) {
            EXPECT_EQ(std::wstring(c.after), Caption(dialog)) << "case " << (&c - cases);
            const bool iconSet = SendMessageW(dialog, WM_GETICON, ICON_SMALL, 0) != 0;
            EXPECT_EQ(!c.programOwn, iconSet) << "case " << (&c - cases);
            DestroyWindow(dialog);
        }
    }
}

TEST_F(EmbeddedBrowserTest, NavigateToReachesTheServerAndCanBeCancelled)
{
    TLoopbackHttp server;
    bool cancel = false;
    std::vector<std::wstring> asked;
    browser->OnBeforeNavigate2 = [&](TObject*, IDispatch*, const VARIANT& url, const VARIANT&, const VARIANT&,
                                     const VARIANT&, const VARIANT&, bool& c) {
        asked.push_back(V_VT(&url) == VT_BSTR ? V_BSTR(&url) : L"?");
        c = cancel;
    };
    EXPECT_FALSE(browser->HasHtmlDocument());
    struct { const char* path; bool cancel; bool reaches; } cases[] = {
        {"/orders?id=7&kind=%E5%A7%94", false, true},
        {"/blocked", true, false},
    };
    for (const auto& c : cases) {
        cancel = c.cancel;
        ASSERT_TRUE(browser->NavigateTo(server.Url(c.path)));
        const std::string line = std::string("GET ") + c.path + " HTTP/1.1";
        EXPECT_EQ(c.reaches, PumpUntil([&] { return server.Saw(line); }, c.reaches ? 10000 : 1500)) << c.path;
        ASSERT_FALSE(asked.empty());
        EXPECT_EQ(GbkToWide(server.Url(c.path)), asked.back());
    }
    // Navigate sends no post data, whatever an earlier command answered.
    VARTYPE postType = VT_ILLEGAL;
    browser->OnBeforeNavigate2 = [&](TObject*, IDispatch*, const VARIANT& url, const VARIANT&, const VARIANT&,
                                     const VARIANT& postData, const VARIANT&, bool&) {
        asked.push_back(V_VT(&url) == VT_BSTR ? V_BSTR(&url) : L"?");
        postType = V_VT(&postData);
    };
    VARIANT out;
    VariantInit(&out);
    try {
        browser->ExecWB(OLECMDID_GETZOOMRANGE, OLECMDEXECOPT_DONTPROMPTUSER, nullptr, &out);
    } catch (const EOleSysError&) {
    }
    VariantClear(&out);
    browser->Navigate(GbkToWide(server.Url("/plain")));
    EXPECT_TRUE(PumpUntil([&] { return server.Saw("GET /plain HTTP/1.1"); }, 10000));
    EXPECT_EQ(VT_EMPTY, postType);

    const size_t before = asked.size();
    EXPECT_TRUE(browser->NavigateTo("   "));  // blank: nothing to do
    Pump(200);
    EXPECT_EQ(before, asked.size());
}

TEST_F(EmbeddedBrowserTest, HtmlCodeNavigatesOnlyForASingleAddressLine)
{
    TLoopbackHttp server;
    struct { std::vector<std::string> lines; const char* path; bool navigates; } cases[] = {
        {{server.Url("/one")}, "/one", true},
        {{server.Url("/two"), "<p>x</p>"}, "/two", false},
        {{"<html><body>" + server.Url("/three") + "</body></html>"}, "/three", false},
    };
    for (const auto& c : cases) {
        TStringList lines;
        for (const auto& l : c.lines)
            lines.Add(l);
        browser->SetHTMLCode(lines);
        const std::string line = std::string("GET ") + c.path + " HTTP/1.1";
        EXPECT_EQ(c.navigates, PumpUntil([&] { return server.Saw(line); }, c.navigates ? 10000 : 800)) << c.path;
    }
}

// A server that takes the connection and never answers.
class TSilentServer {
public:
    TSilentServer() { socket_ = OpenLoopbackListener(port_); }
    ~TSilentServer()
    {
        closesocket(socket_);
        WSACleanup();
    }
    std::wstring Url() const { return L"http://127.0.0.1:" + std::to_wstring(port_) + L"/slow"; }

private:
    SOCKET socket_;
    int port_ = 0;
};

TEST_F(EmbeddedBrowserTest, WaitsAreBoundedAndEndEarlyOnNavigateErrorOrCancel)
{
    int errors = 0;
    browser->OnNavigateError = [&](TObject*, IDispatch*, const VARIANT&, const VARIANT&, const VARIANT&, bool&) {
        ++errors;
    };
    TSilentServer silent;
    struct { std::wstring url; DWORD timeout; bool cancel; DWORD atLeast; DWORD below; int errors; } cases[] = {
        {silent.Url(), 1500, false, 1400, 4000, 0},                  // runs to its bound
        {L"http://127.0.0.1:1/refused", 20000, false, 0, 10000, 1},   // NavigateError ends it
        {silent.Url(), 20000, true, 0, 1000, 1},                      // the handler cancels it
    };
    for (const auto& c : cases) {
        browser->OnBusyWait = nullptr;
        if (c.cancel)
            browser->OnBusyWait = [](TObject*, DWORD, bool& cancel, DWORD&) { cancel = true; };
        browser->Navigate(c.url);
        const DWORD start = GetTickCount();
        EXPECT_FALSE(browser->WaitWhileBusy(c.timeout));
        const DWORD took = GetTickCount() - start;
        EXPECT_GE(took, c.atLeast);
        EXPECT_LT(took, c.below);
        EXPECT_EQ(c.errors, errors);
    }

    // The first-document wait and loading text into a fresh control are bounded the same way.
    browser->OnBusyWait = nullptr;
    browser->Navigate(silent.Url());
    DWORD start = GetTickCount();
    EXPECT_FALSE(browser->WaitForHtmlDocument(1000));
    EXPECT_LT(GetTickCount() - start, 3000u);
    TStringList page;
    page.Add("<p>a</p>");
    page.Add("<p>b</p>");
    start = GetTickCount();
    EXPECT_EQ(1, browser->LoadFromStrings(page));  // no HTML engine here: no document ever comes
    EXPECT_LT(GetTickCount() - start, EmbeddedBrowserDefaultWait() + 3000);

    // WM_QUIT ends a wait and stays for the loop above it.
    browser->Navigate(silent.Url());
    PostQuitMessage(3);
    EXPECT_FALSE(browser->WaitWhileBusy(20000));
    MSG msg;
    EXPECT_TRUE(PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
}

TEST_F(EmbeddedBrowserTest, BrowserWindowSurvivesRecreatingThePanesWindow)
{
    TLoopbackHttp server;
    HWND control = browser->ControlWindow();
    HWND before = browser->Handle();
    browser->RecreateWnd();
    ASSERT_TRUE(IsWindow(control));
    EXPECT_FALSE(IsWindow(before));
    EXPECT_EQ(control, browser->ControlWindow());
    EXPECT_EQ(browser->Handle(), GetParent(control));
    EXPECT_EQ(nullptr, browser->ParkedWindow());
    RECT r{};
    GetClientRect(control, &r);
    EXPECT_EQ(480, r.right);
    // The same control still works.
    browser->Navigate(GbkToWide(server.Url("/after")));
    EXPECT_TRUE(PumpUntil([&] { return server.Saw("GET /after HTTP/1.1"); }, 10000));
}

TEST_F(EmbeddedBrowserTest, PageWindowMovesMoveTheFormOnlyWhenFloating)
{
    std::vector<std::string> reported;
    browser->OnMove = [&](TObject*, long x, long y) { reported.push_back("to " + std::to_string(x) + "," + std::to_string(y)); };
    browser->OnResizeBy = [&](TObject*, long x, long y) { reported.push_back("by " + std::to_string(x) + "," + std::to_string(y)); };
    TOleSite* site = browser->Host().Site();
    auto rect = [&] {
        RECT r{};
        GetWindowRect(form, &r);
        return r;
    };
    SetWindowPos(form, nullptr, 0, 0, 500, 400, SWP_NOZORDER | SWP_NOACTIVATE);
    browser->FloatingHosting = false;
    EXPECT_EQ(S_OK, site->moveTo(100, 50));
    EXPECT_EQ(0, rect().left);
    browser->FloatingHosting = true;
    struct { HRESULT (STDMETHODCALLTYPE TOleSite::*call)(LONG, LONG); LONG a, b; LONG left, top, width, height; } steps[] = {
        {&TOleSite::moveTo, 100, 50, 100, 50, 500, 400},
        {&TOleSite::moveBy, 10, 5, 110, 55, 500, 400},
        {&TOleSite::resizeTo, 420, 300, 110, 55, 420, 300},
        {&TOleSite::resizeBy, -20, 10, 110, 55, 400, 310},
    };
    for (const auto& step : steps) {
        EXPECT_EQ(S_OK, (site->*step.call)(step.a, step.b));
        const RECT r = rect();
        EXPECT_EQ(step.left, r.left) << (&step - steps);
        EXPECT_EQ(step.top, r.top) << (&step - steps);
        EXPECT_EQ(step.width, r.right - r.left) << (&step - steps);
        EXPECT_EQ(step.height, r.bottom - r.top) << (&step - steps);
    }
    EXPECT_EQ((std::vector<std::string>{"to 100,50", "to 100,50", "by -20,10"}), reported);
    SetWindowPos(form, nullptr, 0, 0, 500, 400, SWP_NOZORDER | SWP_NOACTIVATE);
}

TEST_F(EmbeddedBrowserTest, DestroyedPaneLeavesTheFormAndItsDialogsAlone)
{
    delete browser;
    browser = nullptr;
    SetActiveWindow(form);
    HWND dialog = ShowDialog(form, L"Script Error", false);
    Pump(150);
    EXPECT_TRUE(IsWindow(dialog));
    EXPECT_EQ(L"Script Error", Caption(dialog));
    DestroyWindow(dialog);
}

TEST_F(EmbeddedBrowserTest, RegistryUserAgentRemovesOnlyItsOwnValue)
{
    const wchar_t* path = L"Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\User Agent\\Post Platform";
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_CURRENT_USER, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr));
    RegSetValueExW(key, L"Foreign", 0, REG_SZ, reinterpret_cast<const BYTE*>(L""), 2);
    auto has = [&](const std::string& name) {
        return RegQueryValueExW(key, GbkToWide(name).c_str(), nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
    };
    browser->SetUserAgent("Vidudo\r\n3.2");
    EXPECT_EQ("Vidudo3.2", browser->UserAgent());
    browser->SetUserAgentMode(TUserAgentMode::uaRegistry);
    const std::string written = browser->RegistryUserAgent();
    EXPECT_EQ("User-agent: Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.1; SV1)(Vidudo3.2)", written);
    EXPECT_TRUE(has(written));
    browser->SetUserAgentMode(TUserAgentMode::uaDefault);
    EXPECT_FALSE(has(written));
    EXPECT_TRUE(has("Foreign"));
    EXPECT_EQ("", browser->RegistryUserAgent());

    // Internal mode with no text leaves the browser's own agent: the ambient is not answered.
    browser->SetUserAgent("");
    browser->SetUserAgentMode(TUserAgentMode::uaInternal);
    VARIANT v;
    VariantInit(&v);
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    EXPECT_EQ(DISP_E_MEMBERNOTFOUND,
              browser->Host().Site()->Invoke(-5513, IID_NULL, 0, DISPATCH_PROPERTYGET, &none, &v, nullptr, nullptr));
    browser->SetUserAgent("Pane");
    EXPECT_EQ(S_OK, browser->Host().Site()->Invoke(-5513, IID_NULL, 0, DISPATCH_PROPERTYGET, &none, &v, nullptr, nullptr));
    EXPECT_STREQ(L"Pane", V_BSTR(&v));
    VariantClear(&v);
    RegDeleteValueW(key, L"Foreign");
    RegCloseKey(key);
}

TEST_F(EmbeddedBrowserTest, ClickOnlyForParentNotifyOfAButtonPress)
{
    std::vector<std::pair<bool, int>> clicks;
    browser->OnClick = [&](TObject*, bool right, UINT, int x, int) { clicks.push_back({right, x}); };
    struct { UINT msg; WPARAM wParam; size_t count; } cases[] = {
        {WM_PARENTNOTIFY, WM_LBUTTONDOWN, 1},
        {WM_PARENTNOTIFY, WM_RBUTTONDOWN, 2},
        {WM_PARENTNOTIFY, WM_CREATE, 2},
        {WM_COMMAND, WM_LBUTTONDOWN, 2},  // a WParam that merely equals the number
        {WM_USER + 5, WM_RBUTTONDOWN, 2},
    };
    for (const auto& c : cases) {
        SendMessageW(browser->Handle(), c.msg, c.wParam, MAKELPARAM(12, 34));
        EXPECT_EQ(c.count, clicks.size()) << "msg " << c.msg;
    }
    EXPECT_FALSE(clicks[0].first);
    EXPECT_TRUE(clicks[1].first);
    EXPECT_EQ(12, clicks[0].second);
}

TEST_F(EmbeddedBrowserTest, ArrowAtTheLastFolderItemIsHandledAndMovesNothing)
{
    // A folder view sits at the end of the first-child chain under the pane.
    HWND deepest = browser->Handle();
    for (HWND c = GetWindow(deepest, GW_CHILD); c; c = GetWindow(c, GW_CHILD))
        deepest = c;
    HWND list = CreateWindowExW(0, WC_LISTVIEWW, L"", WS_CHILD | WS_VISIBLE | LVS_REPORT, 0, 0, 200, 200, deepest,
                                nullptr, nullptr, nullptr);
    ASSERT_EQ(list, browser->FindChildWindow(L"SysListView32"));
    LVCOLUMNW col{};
    col.mask = LVCF_WIDTH;
    col.cx = 100;
    ListView_InsertColumn(list, 0, &col);
    for (int i = 0; i < 3; ++i) {
        LVITEMW item{};
        item.mask = LVIF_TEXT;
        item.iItem = i;
        item.pszText = const_cast<wchar_t*>(L"f");
        ListView_InsertItem(list, &item);
    }
    struct { int from; WORD key; int focused; } cases[] = {{2, VK_DOWN, 2}, {0, VK_DOWN, 1}, {1, VK_UP, 0}};
    for (const auto& c : cases) {
        ListView_SetItemState(list, -1, 0, LVIS_SELECTED | LVIS_FOCUSED);
        ListView_SetItemState(list, c.from, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
        WORD key = c.key;
        EXPECT_TRUE(browser->HandleKeyDown(key, 0));
        EXPECT_EQ(c.focused, ListView_GetNextItem(list, -1, LVNI_FOCUSED)) << "from " << c.from;
    }
    DestroyWindow(list);
}

}  // namespace
