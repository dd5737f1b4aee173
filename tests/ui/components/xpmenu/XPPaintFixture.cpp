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

namespace {

struct TSampling {
    HMENU menu;
    int step = 0;
    int ticks = 0;
    TMenuSample sample;
};
TSampling* g_sampling = nullptr;

BOOL CALLBACK FindPopupMenu(HWND wnd, LPARAM param)
{
    wchar_t cls[16] = {};
    GetClassNameW(wnd, cls, 16);
    if (wcscmp(cls, L"#32768") || !IsWindowVisible(wnd))
        return TRUE;
    *reinterpret_cast<HWND*>(param) = wnd;
    return FALSE;
}

// This thread's visible popup menu window, if any.
HWND OwnPopupMenuWindow()
{
    HWND found = nullptr;
    EnumThreadWindows(GetCurrentThreadId(), FindPopupMenu, reinterpret_cast<LPARAM>(&found));
    return found;
}

void CALLBACK SampleTimer(HWND, UINT, UINT_PTR id, DWORD)
{
    TSampling& s = *g_sampling;
    HWND popup = OwnPopupMenuWindow();
    if (++s.ticks > 100) {  // never a hang, whatever the menu did
        KillTimer(nullptr, id);
        EndMenu();
        return;
    }
    if (!popup)
        return;
    RECT item{};
    GetMenuItemRect(nullptr, s.menu, 0, &item);
    MapWindowPoints(nullptr, popup, reinterpret_cast<POINT*>(&item), 2);
    HDC dc = GetDC(popup);
    const int midY = (item.top + item.bottom) / 2;
    if (s.step == 0) {
        s.sample.shown = true;
        s.sample.background = GetPixel(dc, item.right - 4, midY);
        s.sample.icon = GetPixel(dc, item.left + 3, midY);
        ++s.step;
        PostMessageW(popup, WM_KEYDOWN, VK_DOWN, 0);
    } else if (s.step < 20) {
        COLORREF now = GetPixel(dc, item.right - 4, midY);
        if (now != s.sample.background || ++s.step == 20) {
            s.sample.selected = now;
            s.sample.border = GetPixel(dc, item.left, midY);
            s.step = 20;
        }
    } else {
        KillTimer(nullptr, id);
        EndMenu();
    }
    ReleaseDC(popup, dc);
}

}  // namespace

TMenuSample SampleOpenMenu(HMENU menu, const std::function<void()>& open)
{
    TSampling sampling{menu};
    g_sampling = &sampling;
    UINT_PTR timer = SetTimer(nullptr, 0, 50, SampleTimer);
    open();
    KillTimer(nullptr, timer);
    g_sampling = nullptr;
    return sampling.sample;
}
