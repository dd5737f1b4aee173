// The screen capture under Xvfb: a window of four colours with a focused edit, the mouse
// parked outside it.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "crashreport/capture/EScreenshot.h"

namespace {

const COLORREF Quadrants[4] = {RGB(0, 0, 255), RGB(0, 255, 0), RGB(255, 255, 0), RGB(0, 255, 255)};
constexpr int Width = 200, Height = 160;

LRESULT CALLBACK PaintQuadrants(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp)
{
    if (msg == WM_PAINT) {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(hwnd, &ps);
        for (int i = 0; i < 4; ++i) {
            RECT r{(i % 2) * Width / 2, (i / 2) * Height / 2, (i % 2 + 1) * Width / 2, (i / 2 + 1) * Height / 2};
            HBRUSH b = CreateSolidBrush(Quadrants[i]);
            FillRect(dc, &r, b);
            DeleteObject(b);
        }
        EndPaint(hwnd, &ps);
        return 0;
    }
    return DefWindowProcW(hwnd, msg, wp, lp);
}

void Pump(int ms)
{
    DWORD end = GetTickCount() + ms;
    while (GetTickCount() < end) {
        MSG m;
        while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&m);
            DispatchMessageW(&m);
        }
        Sleep(10);
    }
}

struct TPixels {
    std::string bgr;
    int width = 0, height = 0;
    size_t stride = 0;
    COLORREF At(int x, int y) const
    {
        const auto* p = reinterpret_cast<const uint8_t*>(&bgr[y * stride + 3 * x]);
        return RGB(p[2], p[1], p[0]);
    }
};

class ScreenshotTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        WNDCLASSW wc{};
        wc.lpfnWndProc = PaintQuadrants;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = L"ScreenshotQuadrants";
        wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
        RegisterClassW(&wc);
        window = CreateWindowExW(WS_EX_TOPMOST, L"ScreenshotQuadrants", L"", WS_POPUP | WS_VISIBLE, 100, 100, Width,
                                 Height, nullptr, nullptr, wc.hInstance, nullptr);
        ASSERT_NE(nullptr, window);
        edit = CreateWindowExW(0, L"EDIT", L"", WS_CHILD | WS_VISIBLE | WS_BORDER, 20, 20, 80, 24, window, nullptr,
                               wc.hInstance, nullptr);
        ASSERT_NE(nullptr, edit);
        SetForegroundWindow(window);
        SetFocus(edit);
        EXPECT_EQ(edit, GetFocus());
        // far from the window: no cursor over the pixels checked
        SetCursorPos(GetSystemMetrics(SM_CXSCREEN) - 2, GetSystemMetrics(SM_CYSCREEN) - 2);
        UpdateWindow(window);
        Pump(500);
    }
    void TearDown() override
    {
        ReleaseScreenshot();
        DestroyWindow(window);
        Pump(50);
    }
    TPixels Capture(uint16_t flags)
    {
        TScreenshotRequest r;
        r.SendFlags = flags;
        r.FocusedWindow = edit;  // noted while it had the focus
        r.Cursor = LoadCursor(nullptr, IDC_ARROW);
        CaptureScreenshot(r);
        TPixels p;
        EXPECT_TRUE(ScreenshotPixels(p.bgr, p.width, p.height, p.stride));
        return p;
    }
    HWND window = nullptr, edit = nullptr;
};

void ExpectWindowPixels(const TPixels& p)
{
    ASSERT_EQ(Width, p.width);
    ASSERT_EQ(Height, p.height);
    const struct { int x, y; COLORREF c; } points[] = {
        {10, 70, Quadrants[0]}, {150, 30, Quadrants[1]}, {30, 130, Quadrants[2]}, {170, 140, Quadrants[3]},
        {99, 79, Quadrants[0]}, {100, 80, Quadrants[3]},
    };
    for (const auto& pt : points) {
        SCOPED_TRACE(pt.x * 1000 + pt.y);
        EXPECT_EQ(pt.c, p.At(pt.x, pt.y));
    }
    // two red rings on the edit: its edge and one pixel inside, nothing more
    const COLORREF red = RGB(255, 0, 0);
    for (int x : {20, 21, 98, 99})
        EXPECT_EQ(red, p.At(x, 32)) << x;
    for (int y : {20, 21, 42, 43})
        EXPECT_EQ(red, p.At(60, y)) << y;
    EXPECT_NE(red, p.At(22, 32));
    EXPECT_NE(red, p.At(60, 22));
    EXPECT_EQ(Quadrants[0], p.At(19, 32));
    EXPECT_EQ(Quadrants[0], p.At(60, 44));
}

TEST_F(ScreenshotTest, ForegroundWindowOfThisProcess)
{
    ASSERT_EQ(window, GetForegroundWindow());
    ExpectWindowPixels(Capture(ScreenshotForegroundWindowFlag));
}

TEST_F(ScreenshotTest, ForegroundWindowOfAnotherProcessIsNotTaken)
{
    STARTUPINFOW si{sizeof si};
    PROCESS_INFORMATION pi{};
    wchar_t cmd[] = L"notepad.exe";
    ASSERT_TRUE(CreateProcessW(nullptr, cmd, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
        << GetLastError();
    WaitForInputIdle(pi.hProcess, 10000);
    HWND other = nullptr;
    for (int i = 0; i < 100 && !other; ++i) {
        other = FindWindowW(L"Notepad", nullptr);
        Pump(50);
    }
    if (other) {
        SetWindowPos(other, nullptr, 700, 500, 400, 300, SWP_NOZORDER | SWP_SHOWWINDOW);
        SetForegroundWindow(other);
        Pump(500);
    }
    RECT mine, theirs, both;
    GetWindowRect(window, &mine);
    GetWindowRect(other, &theirs);
    HWND foreground = GetForegroundWindow();
    TPixels p = Capture(ScreenshotForegroundWindowFlag);
    TerminateProcess(pi.hProcess, 0);
    WaitForSingleObject(pi.hProcess, 5000);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    ASSERT_NE(nullptr, other);
    ASSERT_EQ(other, foreground);
    ASSERT_FALSE(IntersectRect(&both, &mine, &theirs)) << theirs.left << "," << theirs.top;
    // as without the flag: this process's windows, not the other one
    ExpectWindowPixels(p);
}

TEST_F(ScreenshotTest, ApplicationWindowsAndTheirPng)
{
    ExpectWindowPixels(Capture(0));
    wchar_t folder[MAX_PATH], path[MAX_PATH];
    GetTempPathW(MAX_PATH, folder);
    GetTempFileNameW(folder, L"png", 0, path);
    std::string name;
    for (const wchar_t* c = path; *c; ++c)
        name += static_cast<char>(*c);  // the temp path is ASCII here
    SaveScreenshotFile(name);
    HANDLE f = CreateFileW(path, GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, f);
    char head[24] = {};
    DWORD got = 0;
    ReadFile(f, head, sizeof head, &got, nullptr);
    CloseHandle(f);
    DeleteFileW(path);
    ASSERT_EQ(24u, got);
    EXPECT_EQ(std::string("\x89PNG\r\n\x1A\n", 8), std::string(head, 8));
    EXPECT_EQ(std::string("IHDR\0\0\0\xC8\0\0\0\xA0", 12), std::string(head + 12, 12));  // 200 x 160
}

TEST_F(ScreenshotTest, ClippedToTheScreen)
{
    // 50 pixels of the window hang off the left edge: only what is on the screen is copied
    SetWindowPos(window, nullptr, GetSystemMetrics(SM_XVIRTUALSCREEN) - 50, 100, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    Pump(300);
    for (uint16_t flags : {uint16_t(0), ScreenshotForegroundWindowFlag}) {
        SCOPED_TRACE(flags);
        TPixels p = Capture(flags);
        ASSERT_EQ(Width - 50, p.width);
        ASSERT_EQ(Height, p.height);
        EXPECT_EQ(Quadrants[0], p.At(10, 70));
        EXPECT_EQ(Quadrants[1], p.At(60, 30));
        EXPECT_EQ(Quadrants[3], p.At(140, 150));
        EXPECT_EQ(RGB(255, 0, 0), p.At(48, 20));  // the ring's top edge at window x 98
    }
}

TEST_F(ScreenshotTest, WithoutAVisibleWindowTheWholeDesktop)
{
    ShowWindow(window, SW_HIDE);
    Pump(200);
    RECT desktop;
    GetWindowRect(GetDesktopWindow(), &desktop);
    for (uint16_t flags : {uint16_t(0), ScreenshotForegroundWindowFlag}) {
        SCOPED_TRACE(flags);
        TPixels p = Capture(flags);
        EXPECT_EQ(desktop.right - desktop.left, p.width);
        EXPECT_EQ(desktop.bottom - desktop.top, p.height);
    }
}

}  // namespace
