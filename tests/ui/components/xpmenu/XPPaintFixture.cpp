#include "XPPaintFixture.h"

#include <commctrl.h>

#include <cstdio>

namespace {

// Xvfb runs no window manager, and Wine waits two seconds for one whenever a managed window
// is hidden or destroyed; this executable's windows are made unmanaged before the first one.
struct TUnmanagedWindows {
    TUnmanagedWindows()
    {
        wchar_t path[MAX_PATH] = {};
        GetModuleFileNameW(nullptr, path, MAX_PATH);
        std::wstring exe = path;
        exe = exe.substr(exe.find_last_of(L"\\/") + 1);
        std::wstring key = L"Software\\Wine\\AppDefaults\\" + exe + L"\\X11 Driver";
        HKEY k;
        if (RegCreateKeyExW(HKEY_CURRENT_USER, key.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &k, nullptr) == 0) {
            RegSetValueExW(k, L"Managed", 0, REG_SZ, reinterpret_cast<const BYTE*>(L"N"), 2 * sizeof(wchar_t));
            RegCloseKey(k);
        }
    }
} unmanagedWindows __attribute__((init_priority(101)));  // before any library touches user32

}  // namespace

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
