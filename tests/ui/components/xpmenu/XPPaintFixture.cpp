#include "XPPaintFixture.h"

#include <commctrl.h>

#include <cstdio>

std::string HexColour(COLORREF c)
{
    char b[16];
    std::snprintf(b, sizeof b, "0x%06lX", static_cast<unsigned long>(c));
    return b;
}

HWND XPPaintFixture::form_ = nullptr;

void XPPaintFixture::SetUpTestSuite()
{
    INITCOMMONCONTROLSEX icc{sizeof icc, ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&icc);
    form_ = CreateWindowExW(0, L"STATIC", L"paint", WS_POPUP | WS_VISIBLE | WS_CLIPCHILDREN, 40, 40, 420, 320,
                            nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    Pump();
}

void XPPaintFixture::TearDownTestSuite()
{
    if (form_)
        DestroyWindow(form_);
    form_ = nullptr;
    Pump();
}

void XPPaintFixture::SetUp()
{
    ASSERT_NE(nullptr, form_) << "GetLastError=" << GetLastError();
}

void XPPaintFixture::TearDown()
{
    while (HWND child = GetWindow(form_, GW_CHILD))
        DestroyWindow(child);
    Pump();
}

HWND XPPaintFixture::Child(const wchar_t* cls, DWORD style, int x, int y, int w, int h, const wchar_t* text)
{
    HWND wnd = CreateWindowExW(0, cls, text, WS_CHILD | WS_VISIBLE | style, x, y, w, h, form_, nullptr,
                               GetModuleHandleW(nullptr), nullptr);
    EXPECT_NE(nullptr, wnd) << "GetLastError=" << GetLastError();
    UpdateWindow(wnd);
    Pump();
    return wnd;
}

COLORREF WindowPixel(HWND wnd, int x, int y)
{
    HDC dc = GetDC(wnd);
    COLORREF c = GetPixel(dc, x, y);
    ReleaseDC(wnd, dc);
    return c;
}

void XPPaintFixture::Pump()
{
    MSG msg;
    for (int i = 0; i < 3; ++i) {
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        Sleep(5);
    }
}
