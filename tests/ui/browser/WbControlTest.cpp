// The wheel and focus fixes with real windows: a real wheel turn through SendInput.
#include <gtest/gtest.h>

#include "tests/support/LoopbackHttp.h"

#include "framework/Exception.h"
#include "framework/ExceptionBoundary.h"
#include "ui/browser/SHDocVw_WB.h"
#include "ui/browser/WbControlComponent.h"
#include "ui/browser/WbTools.h"
#include "tests/support/WheelInput.h"

namespace {

class TTestForm {
public:
    explicit TTestForm(int x)
    {
        // Top-most, away from the corner: other tests' windows share the display.
        window = CreateWindowExW(WS_EX_TOPMOST, L"STATIC", L"form", WS_OVERLAPPEDWINDOW | WS_VISIBLE | SS_NOTIFY, x,
                                 560, 360, 400, nullptr, nullptr, nullptr, nullptr);
        edit = CreateWindowExW(0, L"EDIT", L"", WS_CHILD | WS_VISIBLE | WS_BORDER, 0, 0, 200, 24, window, nullptr,
                               nullptr, nullptr);
        browser.PlaceInWindow(window, RECT{0, 40, 340, 340});
    }
    ~TTestForm()
    {
        DestroyWindow(window);
    }
    POINT PaneCenter() const
    {
        POINT p{170, 190};
        ClientToScreen(window, &p);
        return p;
    }
    HWND window;
    HWND edit;
    TWB browser;
};

int wheelsSeenLater = 0;

LRESULT CALLBACK CountingMouseHook(int code, WPARAM wParam, LPARAM lParam)
{
    if (code == HC_ACTION && wParam == WM_MOUSEWHEEL)
        ++wheelsSeenLater;
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

HWND DeepestChild(HWND w)
{
    for (HWND c = GetWindow(w, GW_CHILD); c; c = GetWindow(c, GW_CHILD))
        w = c;
    return w;
}

class WbControlTest : public ::testing::Test {
protected:
    void SetUp() override { OleInitialize(nullptr); }
    void TearDown() override { OleUninitialize(); }
};

TEST_F(WbControlTest, WheelOverThePaneMovesTheFocusIntoIt)
{
    TTestForm form(500);
    form.browser.Navigate(L"about:blank");
    PumpUntil([] { return false; }, 500);
    // The window of a test that just ended may still cover the pane for a moment.
    HWND under = nullptr;
    PumpUntil([&] {
        SetForegroundWindow(form.window);
        under = WindowFromPoint(form.PaneCenter());
        return GetWindowThreadProcessId(under, nullptr) == GetCurrentThreadId();
    }, 3000);
    ASSERT_EQ(GetCurrentThreadId(), GetWindowThreadProcessId(under, nullptr)) << "another window covers the pane";
    for (bool fixOn : {false, true}) {
        SetFocus(form.edit);
        ASSERT_EQ(form.edit, GetFocus());
        TMouseWheelFix fix(false);
        fix.SetActive(fixOn);
        int seen = 0;
        if (fixOn)
            TWBMouseHook::Instance()->OnMouseWheel = [&](POINT, HWND, const MOUSEHOOKSTRUCT&, bool&) { ++seen; };
        // Installed after the fix, so it runs first: each wheel is waited for, never guessed at
        // by a fixed pause, so a wheel a busy display delivers late can't reach the next round.
        wheelsSeenLater = 0;
        HHOOK arrived = SetWindowsHookExW(WH_MOUSE, CountingMouseHook, nullptr, GetCurrentThreadId());
        ASSERT_NE(nullptr, arrived) << "GetLastError=" << GetLastError();
        SendWheelAt(form.PaneCenter());
        const bool delivered = PumpUntil([] { return wheelsSeenLater > 0; }, 10000);
        UnhookWindowsHookEx(arrived);
        ASSERT_TRUE(delivered) << "the wheel never came, fix on: " << fixOn;
        // Into the pane, not merely away from the edit: a deactivation on a busy display also
        // takes the focus from the edit, and is not the fix's doing.
        const bool moved = PumpUntil([&] { return IsChild(form.browser.Handle(), GetFocus()) != FALSE; },
                                      fixOn ? 3000 : 700);
        EXPECT_EQ(fixOn, moved) << "fix on: " << fixOn << ", focus " << GetFocus();
        if (!fixOn)
            continue;
        EXPECT_EQ(1, seen) << "the hook saw " << seen << " wheels";
    }
}

TEST_F(WbControlTest, AFailingWheelHandlerStillPassesTheWheelOn)
{
    TTestForm form(500);
    form.browser.Navigate(L"about:blank");
    PumpUntil([] { return false; }, 500);
    SetForegroundWindow(form.window);
    SetFocus(form.edit);
    std::string failure;
    auto previous = SetBoundaryExceptionHandler([&](std::exception_ptr e) { failure = BoundaryExceptionMessage(e); });
    // Installed before the fix, so it runs after it.
    wheelsSeenLater = 0;
    HHOOK later = SetWindowsHookExW(WH_MOUSE, CountingMouseHook, nullptr, GetCurrentThreadId());
    ASSERT_NE(nullptr, later) << "GetLastError=" << GetLastError();
    {
        TMouseWheelFix fix(false);
        fix.SetActive(true);
        TWBMouseHook::Instance()->OnMouseWheel = [](POINT, HWND, const MOUSEHOOKSTRUCT&, bool&) {
            throw Exception("wheel handler fails");
        };
        SendWheelAt(form.PaneCenter());
        EXPECT_TRUE(PumpUntil([] { return wheelsSeenLater > 0; }, 3000)) << "the next hook never saw the wheel";
    }
    UnhookWindowsHookEx(later);
    SetBoundaryExceptionHandler(previous);
    EXPECT_EQ("wheel handler fails", failure);
}

TEST_F(WbControlTest, ActiveFormOnlyPassesAnInactiveFormsWheelOn)
{
    TTestForm inactive(500);
    TTestForm active(880);
    inactive.browser.Navigate(L"about:blank");
    active.browser.Navigate(L"about:blank");
    PumpUntil([] { return false; }, 500);
    SetForegroundWindow(active.window);
    SetFocus(active.edit);
    TMouseWheelFix fix(false);
    fix.SetActiveFormOnly(true);
    fix.SetActive(true);
    SendWheelAt(inactive.PaneCenter());
    PumpUntil([] { return false; }, 500);
    EXPECT_EQ(active.edit, GetFocus());
}

TEST_F(WbControlTest, SwitchingTheFixOffFreesTheHookAndOnMakesANewOne)
{
    TMouseWheelFix a(false), b(false);
    a.SetActive(true);
    TWBMouseHook* first = TWBMouseHook::Instance();
    ASSERT_NE(nullptr, first);
    EXPECT_TRUE(first->Installed());
    b.SetActive(true);
    EXPECT_EQ(first, TWBMouseHook::Instance());  // one per process, counted
    a.SetActive(false);
    EXPECT_EQ(first, TWBMouseHook::Instance());
    b.SetActive(false);
    EXPECT_EQ(nullptr, TWBMouseHook::Instance());  // the last user freed it
    a.SetActive(true);
    EXPECT_NE(nullptr, TWBMouseHook::Instance());
    EXPECT_TRUE(TWBMouseHook::Instance()->Installed());
    a.SetActive(false);
    TMouseWheelFix designing(true);
    designing.SetActive(true);
    EXPECT_EQ(nullptr, TWBMouseHook::Instance());
}

TEST_F(WbControlTest, InternetFeaturesOnlySwitchOnTheMembers)
{
    TWbControl control;
    ASSERT_EQ(S_OK, SetInternetFeature(10, 2, true));  // a security feature that must stay on
    control.SetInternetFeatures({TInternetFeature::DisableNavigationSounds, TInternetFeature::EntryCount});
    EXPECT_EQ(1u << 21, control.InternetFeatures());
    EXPECT_EQ(S_OK, IsInternetFeatureEnabled(21, 2));
    EXPECT_EQ(S_OK, IsInternetFeatureEnabled(10, 2));
    control.SetInternetFeatures({});
    EXPECT_EQ(S_OK, IsInternetFeatureEnabled(21, 2));
    EXPECT_EQ(S_OK, IsInternetFeatureEnabled(10, 2));
}

}  // namespace
