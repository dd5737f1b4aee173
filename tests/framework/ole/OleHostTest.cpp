// The OLE control host against the real WebBrowser control (Wine's has no HTML engine, but
// creates, navigates and fires events), and against small fakes where a case needs one.
#include <gtest/gtest.h>

#include "tests/support/LoopbackHttp.h"

#include <exdisp.h>
#include <exdispid.h>

#include "framework/ExceptionBoundary.h"
#include "framework/ole/OleControl.h"
#include "framework/ole/OleError.h"

namespace {

const CLSID kWebBrowser = {0x8856F961, 0x340A, 0x11D0, {0xA9, 0x6B, 0x00, 0xC0, 0x4F, 0xD7, 0x05, 0xA2}};

struct TWindowHandler : TOleSiteHandler {
    HWND parent = nullptr;
    HWND SiteParentWindow() override { return parent; }
    HRESULT ShowUI(DWORD, IOleInPlaceActiveObject*, IOleCommandTarget*, IOleInPlaceFrame*, IOleInPlaceUIWindow*) override
    {
        throw Exception("handler failed");
    }
    HRESULT GetExternal(IDispatch** out) override
    {
        // Leaves an object behind while answering failure: the site must drop it.
        *out = static_cast<IDispatch*>(site);
        site->AddRef();
        return E_FAIL;
    }
    TOleSite* site = nullptr;
};

class OleHostTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        OleInitialize(nullptr);
        window_ = CreateWindowExW(0, L"STATIC", L"host", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 400, 300, nullptr,
                                  nullptr, nullptr, nullptr);
        ASSERT_NE(nullptr, window_) << "GetLastError=" << GetLastError();
        handler_.parent = window_;
    }
    void TearDown() override
    {
        DestroyWindow(window_);
        OleUninitialize();
    }
    HWND window_ = nullptr;
    TWindowHandler handler_;
};

const TEventSignature kBeforeNavigate2{VT_DISPATCH,         VT_BYREF | VT_VARIANT, VT_BYREF | VT_VARIANT,
                                       VT_BYREF | VT_VARIANT, VT_BYREF | VT_VARIANT, VT_BYREF | VT_VARIANT,
                                       VT_BYREF | VT_BOOL};

TEST_F(OleHostTest, NavigatesAndCancelsThroughTheEventSink)
{
    TLoopbackHttp server;
    TOleControlHost host(&handler_);
    host.Create(kWebBrowser);
    ASSERT_NE(nullptr, host.ControlWindow());
    EXPECT_EQ(window_, GetParent(host.ControlWindow()));

    std::vector<std::wstring> seen;
    bool cancel = false;
    TOleEventSink* sink = TOleEventSink::Create(
        DIID_DWebBrowserEvents2,
        [](DISPID id) -> const TEventSignature* { return id == DISPID_BEFORENAVIGATE2 ? &kBeforeNavigate2 : nullptr; },
        [&](DISPID, const TEventArgs& args) {
            seen.push_back(args.Text(1));
            args.SetBool(6, cancel);
        });
    host.Advise(sink);
    sink->Release();

    TComPtr<IWebBrowser2> browser;
    ASSERT_EQ(S_OK, host.Dispatch()->QueryInterface(IID_IWebBrowser2, reinterpret_cast<void**>(browser.Out())));
    struct { const char* path; bool cancel; bool reaches; } cases[] = {
        {"/first?a=1", false, true},
        {"/cancelled", true, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        cancel = c.cancel;
        const std::string url = server.Url(c.path);
        const std::wstring wide(url.begin(), url.end());
        BSTR b = SysAllocString(wide.c_str());
        EXPECT_EQ(S_OK, browser->Navigate(b, nullptr, nullptr, nullptr, nullptr));
        SysFreeString(b);
        const std::string line = std::string("GET ") + c.path + " HTTP/1.1";
        const bool reached = PumpUntil([&] { return server.Saw(line); }, c.reaches ? 10000 : 1500);
        EXPECT_EQ(c.reaches, reached);
        ASSERT_FALSE(seen.empty());
        EXPECT_EQ(wide, seen.back());
    }
    host.Destroy();
}

TEST_F(OleHostTest, TypedPropertiesRoundTrip)
{
    TOleControlHost host(&handler_);
    host.Create(kWebBrowser);
    for (bool value : {true, false}) {
        host.SetBoolProp(551, value);  // Silent
        EXPECT_EQ(value, host.GetBoolProp(551));
        host.SetBoolProp(552, value);  // RegisterAsBrowser
        EXPECT_EQ(value, host.GetBoolProp(552));
    }
    try {
        host.GetIntProp(0x7FFF0001);
        ADD_FAILURE() << "unknown DISPID did not raise";
    } catch (const EOleSysError& e) {
        EXPECT_TRUE(FAILED(e.ErrorCode()));
    }
}

TEST_F(OleHostTest, LateCallsAnswerUnexpectedAndExceptionsStayInside)
{
    std::vector<std::string> caught;
    auto previous = SetBoundaryExceptionHandler(
        [&](std::exception_ptr e) { caught.push_back(BoundaryExceptionMessage(e)); });
    TOleSite* site = nullptr;
    {
        TOleControlHost host(&handler_);
        host.Create(kWebBrowser);
        site = host.Site();
        site->AddRef();
        handler_.site = site;
        HWND w = nullptr;
        EXPECT_EQ(S_OK, site->GetWindow(&w));
        EXPECT_EQ(window_, w);
        EXPECT_EQ(E_FAIL, site->ShowUI(0, nullptr, nullptr, nullptr, nullptr));
        ASSERT_EQ(1u, caught.size());
        EXPECT_EQ("handler failed", caught[0]);
        IDispatch* external = reinterpret_cast<IDispatch*>(1);
        EXPECT_EQ(E_FAIL, site->GetExternal(&external));
        EXPECT_EQ(nullptr, external);
        EXPECT_EQ(E_POINTER, site->GetExternal(nullptr));
        // One COM identity for every interface.
        IUnknown* a = nullptr;
        IUnknown* b = nullptr;
        site->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&a));
        IDocHostUIHandler* doc = nullptr;
        site->QueryInterface(IID_IDocHostUIHandler, reinterpret_cast<void**>(&doc));
        ASSERT_NE(nullptr, doc);
        doc->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&b));
        EXPECT_EQ(a, b);
        a->Release();
        b->Release();
        doc->Release();
    }
    HWND w = reinterpret_cast<HWND>(1);
    EXPECT_EQ(E_UNEXPECTED, site->GetWindow(&w));
    EXPECT_EQ(E_UNEXPECTED, site->ShowContextMenu(0, nullptr, nullptr, nullptr));
    EXPECT_EQ(E_UNEXPECTED, site->Invoke(-709, IID_NULL, 0, DISPATCH_PROPERTYGET, nullptr, nullptr, nullptr, nullptr));
    site->Release();
    SetBoundaryExceptionHandler(previous);
}

TEST_F(OleHostTest, RecreatedControlGetsAFreshSite)
{
    TOleControlHost host(&handler_);
    host.Create(kWebBrowser);
    TOleSite* first = host.Site();
    first->AddRef();
    host.Destroy();
    host.Create(kWebBrowser);
    ASSERT_NE(first, host.Site());
    HWND w = nullptr;
    EXPECT_EQ(E_UNEXPECTED, first->GetWindow(&w));
    EXPECT_EQ(S_OK, host.Site()->GetWindow(&w));
    EXPECT_NE(nullptr, host.ControlWindow());
    first->Release();
}

TEST_F(OleHostTest, FactoryFailureRaisesItsCode)
{
    auto previous = SetOleControlFactory([](REFCLSID, IUnknown** out) {
        *out = nullptr;
        return REGDB_E_CLASSNOTREG;
    });
    TOleControlHost host(&handler_);
    try {
        host.Create(kWebBrowser);
        ADD_FAILURE() << "no exception";
    } catch (const EOleSysError& e) {
        EXPECT_EQ(REGDB_E_CLASSNOTREG, e.ErrorCode());
    }
    SetOleControlFactory(previous);
}

TEST(OleEventSinkTest, ChecksCountAndTypesAndWritesBack)
{
    const TEventSignature signature{VT_I4, VT_BYREF | VT_BOOL};
    int calls = 0;
    TOleEventSink* sink = TOleEventSink::Create(
        DIID_DWebBrowserEvents2, [&](DISPID id) { return id == 1 ? &signature : nullptr; },
        [&](DISPID, const TEventArgs& args) {
            ++calls;
            args.SetBool(1, args.Int(0) == 7);
        });
    VARIANT_BOOL flag = VARIANT_FALSE;
    VARIANT good[2];  // reversed: [0] is the last argument
    V_VT(&good[0]) = VT_BYREF | VT_BOOL;
    V_BOOLREF(&good[0]) = &flag;
    V_VT(&good[1]) = VT_I4;
    V_I4(&good[1]) = 7;
    VARIANT wrongType[2] = {good[0], good[1]};
    V_VT(&wrongType[1]) = VT_BSTR;
    V_BSTR(&wrongType[1]) = nullptr;
    struct { DISPID id; VARIANT* args; UINT count; HRESULT hr; int calls; } cases[] = {
        {1, good, 2, S_OK, 1},
        {1, good, 1, DISP_E_BADPARAMCOUNT, 1},
        {1, wrongType, 2, DISP_E_TYPEMISMATCH, 1},
        {2, good, 2, DISP_E_MEMBERNOTFOUND, 1},
    };
    for (const auto& c : cases) {
        DISPPARAMS p{c.args, nullptr, c.count, 0};
        EXPECT_EQ(c.hr, sink->Invoke(c.id, IID_NULL, 0, DISPATCH_METHOD, &p, nullptr, nullptr, nullptr)) << c.id;
        EXPECT_EQ(c.calls, calls);
    }
    EXPECT_EQ(VARIANT_TRUE, flag);
    sink->Detach();
    DISPPARAMS p{good, nullptr, 2, 0};
    EXPECT_EQ(E_UNEXPECTED, sink->Invoke(1, IID_NULL, 0, DISPATCH_METHOD, &p, nullptr, nullptr, nullptr));
    sink->Release();
}

}  // namespace
