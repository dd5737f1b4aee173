#include "crashreport/capture/EDialogServices.h"

#include <algorithm>

#include "crashreport/capture/EOptions.h"
#include "framework/CodePage.h"
#include "framework/ExceptionBoundary.h"
#include "framework/ScopedWin.h"

namespace {

bool activeCaption = true;
int captionMetric = SM_CYCAPTION;
int autoCloseCount = 0;

// The process's top-level windows when the dialog opened: only these are kept behind it.
constexpr int SnapshotCapacity = 512;
HWND snapshot[SnapshotCapacity];
int snapshotCount = 0;

BOOL CALLBACK AddProcessWindow(HWND window, LPARAM)
{
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    if (pid == GetCurrentProcessId() && snapshotCount < SnapshotCapacity)
        snapshot[snapshotCount++] = window;
    return TRUE;
}

bool InSnapshot(HWND window)
{
    return std::find(snapshot, snapshot + snapshotCount, window) != snapshot + snapshotCount;
}

HFONT MakeFont(LOGFONTW lf) { return CreateFontIndirectW(&lf); }

void CopyFace(LOGFONTW& lf, const char* face)
{
    const std::wstring w = GbkToWide(face);
    lstrcpynW(lf.lfFaceName, w.c_str(), LF_FACESIZE);
}

void FillRectColor(HDC dc, const RECT& r, COLORREF color)
{
    ScopedBrush brush(CreateSolidBrush(color));
    FillRect(dc, &r, brush);
}

void FrameRectColor(HDC dc, const RECT& r, COLORREF color)
{
    ScopedBrush brush(CreateSolidBrush(color));
    FrameRect(dc, &r, brush);
}

}  // namespace

TVurazaModuleOptions& DialogOptions()
{
    if (ModuleOptionsHooks().currentOptions)
        if (TVurazaModuleOptions* current = ModuleOptionsHooks().currentOptions())
            return *current;
    static TVurazaModuleOptions defaults("");
    return defaults;
}

std::string DialogText(int slot) { return DialogOptions().MessageText(slot); }

bool DialogFlag(uint16_t bit) { return (DialogOptions().DialogFlags() & bit) != 0; }
bool OwnLook() { return DialogFlag(dfOwnLook); }

HFONT TDialogFonts::Get(TDialogFont font) const
{
    switch (font) {
    case TDialogFont::Caption: return caption;
    case TDialogFont::Message: return message;
    case TDialogFont::MessageBold: return messageBold;
    case TDialogFont::MessageUnderlined: return messageUnderlined;
    case TDialogFont::MessageBoldUnderlined: return messageBoldUnderlined;
    case TDialogFont::Monospace: return monospace;
    case TDialogFont::List: return list;
    }
    return message;
}

TDialogFontFaces DialogFontFacesForCodePage(UINT codePage)
{
    CHARSETINFO info{};
    const bool known = TranslateCharsetInfo(reinterpret_cast<DWORD*>(static_cast<uintptr_t>(codePage)), &info,
                                            TCI_SRCCODEPAGE) != FALSE;
    return DialogFontFaces(!known || info.ciCharset == ANSI_CHARSET);
}

void CreateDialogFonts(HWND window, TDialogFonts& fonts)
{
    FreeDialogFonts(fonts);
    const TDialogFontFaces faces = DialogFontFacesForCodePage(GetACP());
    fonts.pointSize = faces.pointSize;
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof metrics;
    SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0);

    LOGFONTW caption{};
    caption.lfHeight = metrics.lfCaptionFont.lfHeight;
    caption.lfWeight = FW_BOLD;
    caption.lfCharSet = DEFAULT_CHARSET;
    caption.lfOutPrecision = OUT_TT_PRECIS;
    caption.lfQuality = DRAFT_QUALITY;
    caption.lfPitchAndFamily = VARIABLE_PITCH | FF_SWISS;
    CopyFace(caption, faces.interfaceFace);
    fonts.caption = MakeFont(caption);

    LOGFONTW message = metrics.lfMessageFont;
    fonts.message = MakeFont(message);
    message.lfWeight = FW_BOLD;
    fonts.messageBold = MakeFont(message);
    message.lfUnderline = TRUE;
    fonts.messageBoldUnderlined = MakeFont(message);
    message.lfWeight = 0;
    fonts.messageUnderlined = MakeFont(message);

    ScopedGetDC dc(window);
    LOGFONTW mono{};
    mono.lfHeight = -MulDiv(faces.pointSize, GetDeviceCaps(dc, LOGPIXELSY), 72);
    mono.lfWeight = FW_NORMAL;
    mono.lfCharSet = DEFAULT_CHARSET;
    mono.lfPitchAndFamily = FIXED_PITCH | FF_MODERN;
    CopyFace(mono, faces.monospaceFace);
    fonts.monospace = MakeFont(mono);
    CopyFace(mono, faces.listFace);
    fonts.list = MakeFont(mono);
}

void FreeDialogFonts(TDialogFonts& fonts)
{
    for (HFONT* f : {&fonts.caption, &fonts.message, &fonts.messageBold, &fonts.messageUnderlined,
                     &fonts.messageBoldUnderlined, &fonts.monospace, &fonts.list}) {
        if (*f)
            DeleteObject(*f);
        *f = nullptr;
    }
}

int TWindowMeasurer::TextWidth(TDialogFont font, std::string_view text) const
{
    return ::TextWidth(window_, fonts_.Get(font), text);
}

int TWindowMeasurer::LineHeight(TDialogFont font) const
{
    ScopedGetDC dc(window_);
    ScopedSelectObject select(dc, fonts_.Get(font));
    TEXTMETRICW tm{};
    GetTextMetricsW(dc, &tm);
    return tm.tmHeight;
}

int CaptionMetric() { return GetSystemMetrics(captionMetric); }

void UseDialogCaption(HWND window, bool small)
{
    activeCaption = true;
    if (small) {
        captionMetric = SM_CYSMCAPTION;
    } else {
        SetWindowLongW(window, GWL_EXSTYLE, GetWindowLongW(window, GWL_EXSTYLE) & ~WS_EX_TOOLWINDOW);
        captionMetric = SM_CYCAPTION;
    }
}

void PrepareDialogWindow(HWND window, bool forceSmallCaption)
{
    UseDialogCaption(window, (OwnLook() && DialogState != TDialogState::Classic) || forceSmallCaption);
    TopMostMode = DialogFlag(dfTopMost);
    RECT r;
    GetWindowRect(window, &r);
    SetWindowPos(window, TopMostMode ? HWND_TOPMOST : nullptr, 0, 0, r.right - r.left,
                 r.bottom - r.top + CaptionMetric() - 18,
                 SWP_NOMOVE | SWP_NOACTIVATE | SWP_FRAMECHANGED | (TopMostMode ? 0 : SWP_NOZORDER));
}

bool PaintOwnCaption(HWND window, UINT message, WPARAM wParam, std::string_view caption, bool innerFrame,
                     HFONT captionFont)
{
    if (!OwnLook())
        return false;
    if (message == WM_NCACTIVATE)
        activeCaption = wParam != FALSE;
    RECT w;
    GetWindowRect(window, &w);
    const RECT whole{0, 0, w.right - w.left, w.bottom - w.top};
    const bool sizing = (GetWindowLongW(window, GWL_STYLE) & WS_THICKFRAME) != 0;
    const int fx = GetSystemMetrics(sizing ? SM_CXSIZEFRAME : SM_CXFIXEDFRAME) - 1;
    const int fy = GetSystemMetrics(sizing ? SM_CYSIZEFRAME : SM_CYFIXEDFRAME) - 1;
    const RECT inner{whole.left + fx, whole.top + fy, whole.right - fx, whole.bottom - fy};
    const int height = CaptionMetric();
    RECT captionRect{inner.left, inner.top + 1, inner.right, inner.top + 1 + height};

    HDC dc = GetWindowDC(window);
    if (!dc)
        return true;
    RECT band = captionRect;
    for (uint32_t color : CaptionBandColors(height, activeCaption)) {
        FillRectColor(dc, band, color);
        InflateRect(&band, 0, -2);
    }
    const COLORREF outline = activeCaption ? RGB(64, 64, 64) : RGB(48, 48, 48);
    const COLORREF frame = activeCaption ? RGB(128, 128, 128) : RGB(96, 96, 96);
    FillRectColor(dc, RECT{whole.left + 1, whole.top + 1, whole.right - 1, inner.top + 1}, frame);
    FillRectColor(dc, RECT{whole.left + 1, inner.bottom - 1, whole.right - 1, whole.bottom - 1}, frame);
    FillRectColor(dc, RECT{whole.left + 1, inner.top, inner.left + 1, inner.bottom}, frame);
    FillRectColor(dc, RECT{inner.right - 1, inner.top, whole.right - 1, inner.bottom}, frame);
    FrameRectColor(dc, whole, outline);
    FrameRectColor(dc, captionRect, outline);
    if (innerFrame)
        FrameRectColor(dc, inner, outline);

    const std::wstring text = GbkToWide(caption);
    HGDIOBJ old = SelectObject(dc, captionFont ? captionFont : GetStockObject(DEFAULT_GUI_FONT));
    SetBkMode(dc, TRANSPARENT);
    RECT textRect{captionRect.left + 4, captionRect.top, captionRect.right, captionRect.bottom};
    const UINT format = DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX | DT_END_ELLIPSIS;
    if (activeCaption) {
        RECT shadow = textRect;
        OffsetRect(&shadow, 1, 0);
        SetTextColor(dc, RGB(34, 34, 34));
        DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &shadow, format);
        SetTextColor(dc, RGB(255, 255, 255));
    } else {
        SetTextColor(dc, RGB(224, 224, 224));
    }
    DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &textRect, format);
    SelectObject(dc, old);
    ReleaseDC(window, dc);
    return true;
}

HBRUSH OwnLookColor(UINT message, HDC dc, HBRUSH background)
{
    if (message == WM_CTLCOLORSTATIC || message == WM_CTLCOLORBTN) {
        SetTextColor(dc, RGB(0, 0, 0));
        SetBkMode(dc, TRANSPARENT);
    }
    return background;
}

RECT MonitorWorkArea(HWND window)
{
    using MonitorFromWindowFn = HMONITOR(WINAPI*)(HWND, DWORD);
    using GetMonitorInfoFn = BOOL(WINAPI*)(HMONITOR, LPMONITORINFO);
    HMODULE user32 = GetModuleHandleA("user32.dll");
    auto fromWindow = reinterpret_cast<MonitorFromWindowFn>(
        reinterpret_cast<void*>(GetProcAddress(user32, "MonitorFromWindow")));
    auto info = reinterpret_cast<GetMonitorInfoFn>(reinterpret_cast<void*>(GetProcAddress(user32, "GetMonitorInfoA")));
    if (fromWindow && info) {
        MONITORINFO mi{};
        mi.cbSize = sizeof mi;
        if (HMONITOR monitor = fromWindow(window, MONITOR_DEFAULTTONEAREST); monitor && info(monitor, &mi))
            return mi.rcWork;
    }
    RECT area{};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
    return area;
}

bool MonitorsBounds(RECT& rect)
{
    using MonitorFromPointFn = HMONITOR(WINAPI*)(POINT, DWORD);
    using GetMonitorInfoFn = BOOL(WINAPI*)(HMONITOR, LPMONITORINFO);
    HMODULE user32 = GetModuleHandleA("user32.dll");
    auto fromPoint = reinterpret_cast<MonitorFromPointFn>(
        reinterpret_cast<void*>(GetProcAddress(user32, "MonitorFromPoint")));
    auto info = reinterpret_cast<GetMonitorInfoFn>(reinterpret_cast<void*>(GetProcAddress(user32, "GetMonitorInfoA")));
    if (!fromPoint || !info)
        return false;
    MONITORINFO first{}, second{};
    first.cbSize = second.cbSize = sizeof(MONITORINFO);
    HMONITOR a = fromPoint(POINT{rect.left, rect.top}, MONITOR_DEFAULTTONULL);
    HMONITOR b = fromPoint(POINT{rect.right, rect.bottom}, MONITOR_DEFAULTTONULL);
    if (!a || !b || !info(a, &first) || !info(b, &second))
        return false;
    rect = RECT{first.rcMonitor.left, first.rcMonitor.top, second.rcMonitor.right, second.rcMonitor.bottom};
    return true;
}

void CenterInWorkArea(HWND window, const RECT& area)
{
    RECT r;
    GetWindowRect(window, &r);
    const int w = r.right - r.left, h = r.bottom - r.top;
    SetWindowPos(window, nullptr, area.left + (area.right - area.left - w) / 2, area.top + (area.bottom - area.top - h) / 2,
                 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void CenterOnActiveMonitor(HWND window, int width, int height)
{
    HWND foreground = GetForegroundWindow();
    const RECT area = MonitorWorkArea(foreground ? foreground : GetDesktopWindow());
    SetWindowPos(window, nullptr, area.left + (area.right - area.left - width) / 2,
                 area.top + (area.bottom - area.top - height) / 2, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
}

RECT& DialogWorkArea()
{
    static RECT area{};
    return area;
}

void TakeDialogWorkArea()
{
    HWND foreground = GetForegroundWindow();
    DialogWorkArea() = MonitorWorkArea(foreground ? foreground : GetDesktopWindow());
}

namespace {

HWND autoCloseWindow = nullptr;
HHOOK autoCloseHook = nullptr;

// Keys and the wheel go to the focused control, not to the dialog: input to any window of the
// dialog counts as the user being there.
LRESULT CALLBACK AutoCloseInputHook(int code, WPARAM wParam, LPARAM lParam)
{
    return GuardedCall<LRESULT>(0, [&]() -> LRESULT {
        const auto* msg = reinterpret_cast<const MSG*>(lParam);
        if (code == HC_ACTION && msg && autoCloseWindow && IsUserInput(msg->message) &&
            (msg->hwnd == autoCloseWindow || IsChild(autoCloseWindow, msg->hwnd)))
            ResetAutoClose();
        return CallNextHookEx(autoCloseHook, code, wParam, lParam);
    });
}

}  // namespace

void StartAutoClose(HWND window)
{
    if (DialogOptions().DialogAutoCloseSeconds() > 0) {
        autoCloseCount = 0;
        SetTimer(window, AutoCloseTimer, 1000, nullptr);
        if (autoCloseHook)
            UnhookWindowsHookEx(autoCloseHook);
        autoCloseWindow = window;
        autoCloseHook = SetWindowsHookExW(WH_GETMESSAGE, AutoCloseInputHook, nullptr, GetCurrentThreadId());
    }
}

void ResetAutoClose() { autoCloseCount = 0; }

void StopAutoClose(HWND window)
{
    if (window == autoCloseWindow) {
        if (autoCloseHook)
            UnhookWindowsHookEx(autoCloseHook);
        autoCloseHook = nullptr;
        autoCloseWindow = nullptr;
    }
    if (DialogOptions().DialogAutoCloseSeconds() > 0)
        KillTimer(window, AutoCloseTimer);
}

void StartKeepInFront(HWND window)
{
    snapshotCount = 0;
    EnumWindows(AddProcessWindow, 0);
    CurrentDialogWindow = reinterpret_cast<uintptr_t>(window);
    SetTimer(window, KeepInFrontTimer, 10, nullptr);
}

void StopKeepInFront(HWND window)
{
    KillTimer(window, KeepInFrontTimer);
    CurrentDialogWindow = 0;
}

bool HandleServiceTimer(HWND window, UINT_PTR id)
{
    if (id == AutoCloseTimer) {
        if (++autoCloseCount >= DialogOptions().DialogAutoCloseSeconds())
            SendMessageW(window, WM_CLOSE, 0, 0);
        return true;
    }
    if (id == KeepInFrontTimer) {
        HWND current = reinterpret_cast<HWND>(CurrentDialogWindow.load());
        HWND foreground = GetForegroundWindow();
        DWORD pid = 0;
        if (foreground)
            GetWindowThreadProcessId(foreground, &pid);
        if (!TopMostMode && current && foreground && foreground != current && pid == GetCurrentProcessId() &&
            InSnapshot(foreground))
            SetForegroundWindow(current);
        return true;
    }
    return false;
}

bool DialogNeverPainted(HWND window)
{
    // A modal dialog is shown only when its queue first runs empty; on a busy machine the
    // 1 ms tick can come first, and a dialog nobody tried to show yet has not failed to show.
    if (!DialogShown && !IsWindowVisible(window))
        ShowWindow(window, SW_SHOWNORMAL);
    if (!DialogShown && IsWindowVisible(window) && !IsIconic(window))
        RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    return !DialogShown;
}

bool IsUserInput(UINT message)
{
    switch (message) {
    case WM_LBUTTONDOWN: case WM_RBUTTONDOWN: case WM_MBUTTONDOWN:
    case WM_LBUTTONDBLCLK: case WM_RBUTTONDBLCLK: case WM_MBUTTONDBLCLK:
    case WM_NCLBUTTONDOWN: case WM_NCRBUTTONDOWN: case WM_NCMBUTTONDOWN:
    case WM_NCLBUTTONDBLCLK: case WM_NCRBUTTONDBLCLK: case WM_NCMBUTTONDBLCLK:
    case WM_KEYDOWN: case WM_SYSKEYDOWN: case WM_MOUSEWHEEL: case WM_COMMAND: case WM_NOTIFY:
        return true;
    default:
        return false;
    }
}

int TextWidth(HWND window, HFONT font, std::string_view text)
{
    ScopedGetDC dc(window);
    ScopedSelectObject select(dc, font);
    const std::wstring w = GbkToWide(text);
    SIZE size{};
    GetTextExtentPoint32W(dc, w.c_str(), static_cast<int>(w.size()), &size);
    return size.cx;
}

std::string DialogItemText(HWND window, int id)
{
    HWND item = GetDlgItem(window, id);
    const int length = item ? GetWindowTextLengthW(item) : 0;
    if (length <= 0)
        return {};
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    const int got = GetWindowTextW(item, text.data(), length + 1);
    text.resize(static_cast<size_t>(std::max(got, 0)));
    return WideToGbk(text);
}

void SetDialogItemText(HWND window, int id, std::string_view text)
{
    SetDlgItemTextW(window, id, GbkToWide(text).c_str());
}

void SetWindowTextGbk(HWND window, std::string_view text) { SetWindowTextW(window, GbkToWide(text).c_str()); }

void GrowWindowBottom(HWND window, int pixels)
{
    RECT r;
    GetWindowRect(window, &r);
    SetWindowPos(window, nullptr, 0, 0, r.right - r.left, r.bottom - r.top + pixels,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

bool EscapePressed() { return (GetKeyState(VK_ESCAPE) & 0x8000) != 0; }

HINSTANCE ReporterModule()
{
    HMODULE module = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCWSTR>(&ReporterModule), &module);
    return module;
}

void MoveControl(HWND dialog, int id, const TLayoutRect& r)
{
    if (HWND item = GetDlgItem(dialog, id))
        SetWindowPos(item, nullptr, r.left, r.top, r.width, r.height, SWP_NOZORDER | SWP_NOACTIVATE);
}

void ShowControl(HWND dialog, int id, bool show)
{
    if (HWND item = GetDlgItem(dialog, id))
        ShowWindow(item, show ? SW_SHOW : SW_HIDE);
}
