#include "crashreport/capture/EScreenshot.h"

#include <algorithm>
#include <vector>

#include "framework/CodePage.h"

namespace {

// One capture per process, from CaptureScreenshot to ReleaseScreenshot.
struct TCaptureState {
    HWND window = nullptr;
    HDC windowDc = nullptr;
    HDC memoryDc = nullptr;
    HBITMAP bitmap = nullptr;
    HGDIOBJ oldBitmap = nullptr;
    HPALETTE palette = nullptr;
    HPALETTE oldPalette = nullptr;
    int width = 0, height = 0, paddedWidth = 0;
};
TCaptureState state;

RECT VirtualScreen()
{
    RECT r;
    r.left = GetSystemMetrics(SM_XVIRTUALSCREEN);
    r.top = GetSystemMetrics(SM_YVIRTUALSCREEN);
    r.right = r.left + GetSystemMetrics(SM_CXVIRTUALSCREEN);
    r.bottom = r.top + GetSystemMetrics(SM_CYVIRTUALSCREEN);
    if (r.right <= r.left || r.bottom <= r.top)
        GetWindowRect(GetDesktopWindow(), &r);
    return r;
}

struct TBoundsSearch {
    DWORD processId;
    RECT bounds;
    bool found;
};

BOOL CALLBACK AddProcessWindow(HWND hwnd, LPARAM param)
{
    auto* s = reinterpret_cast<TBoundsSearch*>(param);
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    RECT r;
    if (pid != s->processId || !IsWindowVisible(hwnd) || IsIconic(hwnd) || !GetWindowRect(hwnd, &r) ||
        IsRectEmpty(&r))
        return TRUE;
    if (s->found)
        UnionRect(&s->bounds, &s->bounds, &r);
    else
        s->bounds = r;
    s->found = true;
    return TRUE;
}

bool OwnWindow(HWND hwnd)
{
    DWORD pid = 0;
    return hwnd && GetWindowThreadProcessId(hwnd, &pid) && pid == GetCurrentProcessId();
}

}  // namespace

bool ProcessWindowsBounds(DWORD processId, RECT& bounds)
{
    TBoundsSearch s{processId, {}, false};
    EnumWindows(AddProcessWindow, reinterpret_cast<LPARAM>(&s));
    bounds = s.bounds;
    return s.found;
}

void CaptureScreenshot(const TScreenshotRequest& request)
{
    ReleaseScreenshot();
    // The area in screen coordinates and where it starts in the window's own coordinates.
    RECT area{};
    POINT origin{};
    HWND window = nullptr;
    HWND foreground = GetForegroundWindow();
    if ((request.SendFlags & ScreenshotForegroundWindowFlag) && OwnWindow(foreground) &&
        GetWindowRect(foreground, &area)) {
        window = foreground;
        origin = {0, 0};
    } else {
        window = GetDesktopWindow();
        if (!ProcessWindowsBounds(GetCurrentProcessId(), area) ||
            !MonitorFromRect(&area, MONITOR_DEFAULTTONULL))
            GetWindowRect(window, &area);
    }
    // Only what is on the screen can be copied.
    RECT screen = VirtualScreen(), clipped;
    if (IntersectRect(&clipped, &area, &screen)) {
        if (window != GetDesktopWindow()) {
            origin.x = clipped.left - area.left;
            origin.y = clipped.top - area.top;
        }
        area = clipped;
    } else {
        area = {area.left, area.top, area.left, area.top};
    }
    if (window == GetDesktopWindow())
        origin = {area.left, area.top};  // the screen's own coordinates

    state.window = window;
    state.width = std::max<int>(1, area.right - area.left);
    state.height = std::max<int>(1, area.bottom - area.top);
    state.paddedWidth = ((state.width * 8 + 31) & ~31) / 8;
    state.windowDc = window == GetDesktopWindow() ? GetDC(nullptr) : GetWindowDC(window);
    if (!state.windowDc)
        return;
    state.memoryDc = CreateCompatibleDC(state.windowDc);
    state.bitmap = CreateCompatibleBitmap(state.windowDc, state.paddedWidth, state.height);
    if (!state.memoryDc || !state.bitmap) {
        ReleaseScreenshot();
        return;
    }
    state.oldBitmap = SelectObject(state.memoryDc, state.bitmap);

    if (GetDeviceCaps(state.windowDc, RASTERCAPS) & RC_PALETTE) {
        // on the stack: the capture runs while the exception is handled
        struct {
            LOGPALETTE head;
            PALETTEENTRY more[255];
        } logical{};
        LOGPALETTE* lp = &logical.head;
        lp->palVersion = 0x300;
        lp->palNumEntries = static_cast<WORD>(GetSystemPaletteEntries(state.windowDc, 0, 256, lp->palPalEntry));
        if (lp->palNumEntries) {
            state.palette = CreatePalette(lp);
            if (state.palette) {
                state.oldPalette = SelectPalette(state.memoryDc, state.palette, FALSE);
                RealizePalette(state.memoryDc);
            }
        }
    }

    BitBlt(state.memoryDc, 0, 0, state.width, state.height, state.windowDc, origin.x, origin.y, SRCCOPY);

    // From screen to capture coordinates.
    const int dx = -area.left, dy = -area.top;
    RECT focus;
    if (request.FocusedWindow && GetWindowRect(request.FocusedWindow, &focus)) {
        OffsetRect(&focus, dx, dy);
        HBRUSH red = CreateSolidBrush(RGB(255, 0, 0));
        if (red) {
            FrameRect(state.memoryDc, &focus, red);
            InflateRect(&focus, -1, -1);
            FrameRect(state.memoryDc, &focus, red);
            DeleteObject(red);
        }
    }
    POINT mouse;
    if (request.Cursor && GetCursorPos(&mouse)) {
        ICONINFO info{};
        if (GetIconInfo(request.Cursor, &info)) {
            if (info.hbmMask)
                DeleteObject(info.hbmMask);
            if (info.hbmColor)
                DeleteObject(info.hbmColor);
        }
        DrawIconEx(state.memoryDc, mouse.x + dx - static_cast<int>(info.xHotspot),
                   mouse.y + dy - static_cast<int>(info.yHotspot), request.Cursor, 32, 32, 0, nullptr, DI_NORMAL);
    }
}

bool ScreenshotPixels(std::string& bgr, int& width, int& height, size_t& stride)
{
    if (!state.bitmap)
        return false;
    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof bi.bmiHeader;
    bi.bmiHeader.biWidth = state.paddedWidth;
    bi.bmiHeader.biHeight = -state.height;  // top row first
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 24;
    bi.bmiHeader.biCompression = BI_RGB;
    stride = (static_cast<size_t>(state.paddedWidth) * 3 + 3) & ~static_cast<size_t>(3);
    bgr.assign(stride * static_cast<size_t>(state.height), '\0');
    // The bitmap must not be selected while GetDIBits reads it.
    SelectObject(state.memoryDc, state.oldBitmap);
    int rows = GetDIBits(state.memoryDc, state.bitmap, 0, static_cast<UINT>(state.height), bgr.data(), &bi,
                         DIB_RGB_COLORS);
    SelectObject(state.memoryDc, state.bitmap);
    width = state.width;
    height = state.height;
    return rows == state.height;
}

bool WriteScreenshotPng(std::string& png)
{
    std::string bgr;
    int width = 0, height = 0;
    size_t stride = 0;
    if (!ScreenshotPixels(bgr, width, height, stride))
        return false;
    TBgrImage image{reinterpret_cast<const uint8_t*>(bgr.data()), width, height, stride};
    return WritePngStream(image, png);
}

void SaveScreenshotFile(const std::string& fileName)
{
    if (fileName.empty())
        return;
    std::string png;
    if (!WriteScreenshotPng(png))
        return;
    HANDLE f = CreateFileW(GbkToWide(fileName).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (f == INVALID_HANDLE_VALUE)
        return;
    DWORD written = 0;
    WriteFile(f, png.data(), static_cast<DWORD>(png.size()), &written, nullptr);
    CloseHandle(f);
}

void ReleaseScreenshot()
{
    if (state.memoryDc) {
        if (state.oldPalette)
            SelectPalette(state.memoryDc, state.oldPalette, FALSE);
        if (state.oldBitmap)
            SelectObject(state.memoryDc, state.oldBitmap);
    }
    if (state.palette)
        DeleteObject(state.palette);
    if (state.bitmap)
        DeleteObject(state.bitmap);
    if (state.memoryDc)
        DeleteDC(state.memoryDc);
    if (state.windowDc)
        ReleaseDC(state.window == GetDesktopWindow() ? nullptr : state.window, state.windowDc);
    state = TCaptureState{};
}
