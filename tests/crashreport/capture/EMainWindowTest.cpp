#include <gtest/gtest.h>

#include <windows.h>

#include "crashreport/capture/EHook.h"
#include "crashreport/capture/EUtilsWin.h"
#include "framework/ExceptionBoundary.h"

namespace {

const UINT kPing = WM_APP + 7;
int pings = 0;

LRESULT CALLBACK TestWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    return GuardedCall(LRESULT(0), [&]() -> LRESULT {
        if (message == kPing) {
            ++pings;
            return 0;
        }
        return DefWindowProcW(window, message, wParam, lParam);
    });
}

HWND MakeWindow()
{
    WNDCLASSW wc{};
    wc.lpfnWndProc = &TestWindowProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"ReporterMainWindowTest";
    RegisterClassW(&wc);
    return CreateWindowExW(0, wc.lpszClassName, L"main", WS_OVERLAPPEDWINDOW, 10, 10, 300, 200, nullptr, nullptr,
                           wc.hInstance, nullptr);
}

TEST(MainWindow, PumpsOneMessageAndRestoresTheMinimisedWindow)
{
    HWND window = MakeWindow();
    ASSERT_NE(nullptr, window);
    ShowWindow(window, SW_SHOWNORMAL);
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
        DispatchMessageW(&msg);

    pings = 0;
    PostMessageW(window, kPing, 0, 0);
    PostMessageW(window, kPing, 0, 0);
    PumpOneMessage();
    EXPECT_EQ(1, pings) << "one message at a time";
    PumpOneMessage();
    EXPECT_EQ(2, pings);
    PostQuitMessage(3);
    PumpOneMessage();
    EXPECT_FALSE(PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_NOREMOVE)) << "the quit message is taken";

    ShowWindow(window, SW_MINIMIZE);
    ASSERT_TRUE(IsIconic(window));
    RestoreMainWindow();
    for (int i = 0; i < 50 && IsIconic(window); ++i) {
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageW(&msg);
        Sleep(20);
    }
    EXPECT_FALSE(IsIconic(window));
    EXPECT_TRUE(IsWindowVisible(window));
    DestroyWindow(window);
}

TEST(MainWindow, UserCharsetFollowsTheUserCodePage)
{
    // The tests run in the zh_CN locale: code page 936, GB2312_CHARSET.
    ASSERT_EQ(936u, GetACP());
    EXPECT_EQ(GB2312_CHARSET, UserDefaultCharset());
}

}  // namespace
