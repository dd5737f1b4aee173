// The detailed exception dialog ("EL_Dialog"): a small form with the message and the choices,
// and a large, sizable one with the six detail pages.
#include <windows.h>
#include <shellapi.h>

#include "crashreport/capture/ECoreWin.h"
#include "crashreport/capture/EDetailPages.h"
#include "crashreport/capture/EDialogDispatch.h"
#include "crashreport/capture/EDialogHooks.h"
#include "crashreport/capture/EDialogServices.h"
#include "crashreport/capture/EDialogSettings.h"
#include "crashreport/capture/EOptions.h"
#include "crashreport/capture/ETreeList.h"
#include "framework/CodePage.h"
#include "framework/DialogMark.h"
#include "framework/ExceptionBoundary.h"
#include "framework/StringList.h"
#include "framework/SysUtils.h"

namespace {

enum {
    idText = 101, idOk = 102, idTerminate = 103, idDetails = 104, idHelp = 105, idTab = 1000, idLine = 2000,
    idSend = 3000, idScreenshot = 4000, idCopy = 5000,
};

struct TDetailedState {
    TDialogFonts fonts;
    HBITMAP picture = nullptr;
    HBRUSH background = nullptr;
    HBRUSH white = nullptr;
    bool sendBox = false, screenshotBox = false, copyBox = false, supportLink = false;
    bool large = false, forcedLarge = false;
    int bottomArea = 0;
    int buttonWidth = 75;
    HWND page = nullptr;
    RECT linkRect{};
    bool linkHot = false;
    TDialogGeometry geometry;
    int recordedWidth = 0, recordedHeight = 0;
};
TDetailedState detailed;

const TVurazaModuleOptions& Options() { return DialogOptions(); }

bool TerminateButtonShown()
{
    return Options().TerminateButtonAction() != 0 && Options().TerminateButtonAfter() < HookedReportCounter();
}

RECT WorkArea(HWND h)
{
    const RECT& area = DialogWorkArea();
    return area.right > area.left ? area : MonitorWorkArea(h);
}

TIniRead IniReader()
{
    return [](const std::string& s, const std::string& k, const std::string& d) {
        return ReadIniText(DialogIniFileName, s, k, d);
    };
}

void SaveGeometry()
{
    SaveDialogGeometry(
        [](const std::string& s, const std::string& k, const std::string& v) { WriteIniText(DialogIniFileName, s, k, v); },
        detailed.geometry, detailed.recordedWidth, detailed.recordedHeight, detailed.bottomArea);
}

int TabToPage(int index)
{
    const uint8_t log = Options().LogFlags();
    int page = index;
    if ((page == 2 || page == 3) && !(log & 0x10))
        page += 2;
    return page;
}

int PageToTab(int page)
{
    if ((page == 4 || page == 5) && !(Options().LogFlags() & 0x10))
        return page - 2;
    return page;
}

void FitPage(HWND h)
{
    HWND tab = GetDlgItem(h, idTab);
    if (!detailed.page || !tab)
        return;
    RECT r;
    GetClientRect(tab, &r);
    SendMessageW(tab, TCM_ADJUSTRECT, FALSE, reinterpret_cast<LPARAM>(&r));
    OffsetRect(&r, -3, -1);
    SetWindowPos(detailed.page, nullptr, r.left, r.top, r.right - r.left, r.bottom - r.top,
                 SWP_NOZORDER | SWP_NOACTIVATE);
    MoveControl(detailed.page, 103, {3, 20, r.right - r.left - 8, r.bottom - r.top - 24});
}

void ShowTabPage(HWND h, int index)
{
    ResetAutoClose();
    const int page = index >= 0 ? TabToPage(index) : -index;
    if (detailed.page)
        DestroyWindow(detailed.page);
    detailed.page = CreateDetailPage(page, GetDlgItem(h, idTab), detailed.fonts, detailed.background);
    if (detailed.page) {
        FitPage(h);
        ShowWindow(detailed.page, SW_SHOW);
    }
}

void Layout(HWND h, WPARAM sizeKind)
{
    RECT client;
    GetClientRect(h, &client);
    TDetailedLayoutInput in;
    in.clientWidth = client.right;
    in.clientHeight = client.bottom;
    in.bottomArea = detailed.bottomArea;
    in.buttonWidth = detailed.buttonWidth;
    in.terminateButton = TerminateButtonShown();
    in.helpButton = DialogFlag(dfHelpButton);
    in.copyBox = detailed.copyBox;
    in.linkTextWidth = detailed.supportLink ? TextWidth(h, detailed.fonts.messageBoldUnderlined, DialogText(25)) : 0;
    const TDetailedLayout l = LayoutDetailedControls(in);
    MoveControl(h, idTab, l.tab);
    InvalidateRect(h, nullptr, TRUE);
    if (detailed.large)
        MoveControl(h, idText, {48, 8, in.clientWidth - 56, 42});
    MoveControl(h, idTerminate, l.terminate);
    ShowControl(h, idTerminate, in.terminateButton);
    MoveControl(h, idOk, l.ok);
    MoveControl(h, idHelp, l.help);
    MoveControl(h, idDetails, l.details);
    ShowControl(h, idDetails, DialogFlag(dfDetails) && !detailed.forcedLarge);
    ShowControl(h, idLine, false);
    MoveControl(h, idSend, l.send);
    MoveControl(h, idCopy, l.copy);
    MoveControl(h, idScreenshot, l.screenshot);
    SetDialogItemText(h, idSend, DialogText(22));
    SetDialogItemText(h, idCopy, DialogText(24));
    SetDialogItemText(h, idScreenshot, DialogText(23));
    detailed.linkRect = RECT{l.link.left, l.link.top, l.link.Right(), l.link.Bottom()};
    if (sizeKind == SIZE_MAXIMIZED) {
        detailed.geometry.state = wsMaximized;
    } else if (sizeKind == SIZE_MINIMIZED) {
        detailed.geometry.state = wsMinimized;
    } else if (detailed.large) {
        detailed.geometry.state = wsNormal;
        RECT w;
        GetWindowRect(h, &w);
        detailed.recordedWidth = w.right - w.left;
        detailed.recordedHeight = w.bottom - w.top;
    }
    FitPage(h);
}

void LayoutDetailedDialog(HWND h, bool large)
{
    detailed.large = large;
    if (!OwnLook())
        for (int id : {idOk, idTerminate, idDetails, idHelp, idSend, idScreenshot, idCopy})
            if (HWND c = GetDlgItem(h, id))
                SetWindowLongW(c, GWL_STYLE, GetWindowLongW(c, GWL_STYLE) & ~BS_FLAT);
    LONG style = GetWindowLongW(h, GWL_STYLE);
    const LONG sizing = WS_THICKFRAME | WS_MAXIMIZEBOX | (OwnLook() ? 0 : WS_SYSMENU);
    style = large ? (style | sizing) : (style & ~sizing);
    SetWindowLongW(h, GWL_STYLE, style);
    SetDialogItemText(h, idDetails, large ? "<< " + DialogText(20) : DialogText(20) + " >>");
    const RECT area = WorkArea(h);
    if (large) {
        SetDialogItemText(h, idText, DialogText(4));
        detailed.geometry = LoadDialogGeometry(IniReader(), TWorkArea{area.left, area.top, area.right, area.bottom},
                                               detailed.bottomArea);
        const TDialogGeometry g = detailed.geometry;
        SetWindowPos(h, nullptr, g.left, g.top, g.width, g.height + detailed.bottomArea,
                     SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
        if (g.state == wsMaximized)
            ShowWindow(h, SW_MAXIMIZE);
        ShowControl(h, idTab, true);
        return;
    }
    const std::string message = HookedExceptionMessage();
    SetDialogItemText(h, idText, message);
    TStringList split;
    split.SetText(message);
    std::vector<std::string> lines(split.begin(), split.end());
    lines.push_back(DialogText(22) + "    " + DialogText(24));
    const TWindowMeasurer measurer(h, detailed.fonts);
    const int rowWidth = DetailedButtonRowWidth(detailed.buttonWidth, TerminateButtonShown(), DialogFlag(dfHelpButton),
                                                DialogFlag(dfDetails) && !detailed.forcedLarge);
    const TDetailedSmallForm form =
        DetailedSmallFormSize(measurer, lines, GetSystemMetrics(SM_CXFIXEDFRAME), GetSystemMetrics(SM_CYFIXEDFRAME),
                              CaptionMetric(), detailed.bottomArea, rowWidth);
    MoveControl(h, idText, {48, 8, form.textWidth, form.textHeight});
    SetWindowPos(h, nullptr, 0, 0, form.windowWidth, form.windowHeight,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
    CenterInWorkArea(h, area);
    ShowControl(h, idTab, false);
}

void InitDetailed(HWND h)
{
    MarkProgramDialog(h);
    const TVurazaModuleOptions& o = Options();
    CurrentDialogWindow = reinterpret_cast<uintptr_t>(h);
    TopMostMode = DialogFlag(dfTopMost);
    if (TopMostMode)
        SetWindowPos(h, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    UseDialogCaption(h, OwnLook());

    detailed.sendBox = (o.MailMethod() != 0 || o.UploadMethod() != 0) && !HookedDuplicateError() &&
                       DialogFlag(dfSendBox);
    detailed.screenshotBox = (o.SendFlags() & 0x10) && detailed.sendBox && DialogFlag(dfScreenshotBox);
    detailed.copyBox = DialogFlag(dfCopyBox);
    detailed.supportLink = !Trim(o.SupportPageAddress()).empty();
    detailed.bottomArea =
        DetailedBottomArea(detailed.sendBox, detailed.screenshotBox, detailed.copyBox, detailed.supportLink);
    SendChecked = true;
    CopyToClipboardChecked = true;
    detailed.forcedLarge = DetailedDialogForcedLarge;
    const bool large = detailed.forcedLarge || DialogFlag(dfLarge);

    detailed.picture = static_cast<HBITMAP>(LoadImageW(ReporterModule(), L"EL_Error", IMAGE_BITMAP, 0, 0, 0));
    detailed.background = OwnLook() ? CreateSolidBrush(RGB(212, 208, 200)) : nullptr;
    detailed.white = CreateSolidBrush(RGB(255, 255, 255));
    CreateDialogFonts(h, detailed.fonts);
    const TWindowMeasurer measurer(h, detailed.fonts);
    detailed.buttonWidth = DetailedButtonWidth(measurer, {DialogText(17), DialogText(18), DialogText(19),
                                                          DialogText(20), DialogText(21)});
    for (int id : {idText, idOk, idTerminate, idDetails, idHelp, idSend, idScreenshot, idCopy})
        SendDlgItemMessageW(h, id, WM_SETFONT, reinterpret_cast<WPARAM>(detailed.fonts.message), FALSE);

    SetDialogItemText(h, idOk, DialogText(17));
    SetDialogItemText(h, idTerminate, DialogText(o.TerminateButtonAction() == 1 ? 18 : 19));
    SetDialogItemText(h, idHelp, DialogText(21));
    ShowControl(h, idHelp, DialogFlag(dfHelpButton));
    const bool sendOn = SendChecked && DialogFlag(dfSendChecked);
    CheckDlgButton(h, idSend, sendOn ? BST_CHECKED : BST_UNCHECKED);
    EnableWindow(GetDlgItem(h, idScreenshot), sendOn);
    CheckDlgButton(h, idScreenshot, AttachScreenshotChecked && DialogFlag(dfScreenshotChecked) ? BST_CHECKED : BST_UNCHECKED);
    ShowControl(h, idSend, detailed.sendBox);
    ShowControl(h, idScreenshot, detailed.sendBox && detailed.screenshotBox);
    CheckDlgButton(h, idCopy, BST_UNCHECKED);
    ShowControl(h, idCopy, detailed.copyBox);
    SetWindowTextGbk(h, DialogText(3));

    HWND tab = GetDlgItem(h, idTab);
    SendMessageW(tab, WM_SETFONT, reinterpret_cast<WPARAM>(detailed.fonts.message), FALSE);
    std::vector<int> tabTexts = {5, 7};
    if (o.LogFlags() & 0x10)
        tabTexts.insert(tabTexts.end(), {9, 11});
    if (o.LogFlags() & 0x20)
        tabTexts.insert(tabTexts.end(), {13, 15});
    for (size_t i = 0; i < tabTexts.size(); ++i) {
        const std::wstring text = GbkToWide(DialogText(tabTexts[i]));
        TCITEMW item{};
        item.mask = TCIF_TEXT;
        item.pszText = const_cast<wchar_t*>(text.c_str());
        SendMessageW(tab, TCM_INSERTITEMW, i, reinterpret_cast<LPARAM>(&item));
    }
    int first = o.FirstDialogTab();
    if (first > 5 || ((first == 2 || first == 3) && !(o.LogFlags() & 0x10)) ||
        ((first == 4 || first == 5) && !(o.LogFlags() & 0x20)))
        first = 0;
    ShowTabPage(h, -first);
    SendMessageW(tab, TCM_SETCURSEL, PageToTab(first), 0);
    SetFocus(GetDlgItem(h, idOk));

    LayoutDetailedDialog(h, large);
    SetTimer(h, ShownCheckTimer, 1, nullptr);
    StartAutoClose(h);
    StartKeepInFront(h);
    Layout(h, SIZE_RESTORED);
}

void Close(HWND h) { EndDialog(h, IDOK); }

void Paint(HWND h)
{
    DialogShown = true;
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(h, &ps);
    BITMAP info{};
    if (detailed.picture && GetObjectW(detailed.picture, sizeof info, &info))
        DrawTransparentBitmap(dc, detailed.picture, 8, 8, info.bmWidth, info.bmHeight);
    if (detailed.supportLink) {
        HGDIOBJ oldFont = SelectObject(dc, detailed.fonts.messageBoldUnderlined);
        SetBkMode(dc, TRANSPARENT);
        SetTextColor(dc, RGB(0, 0, 128));
        if (detailed.background)
            FillRect(dc, &detailed.linkRect, detailed.background);
        const std::wstring text = GbkToWide(DialogText(25));
        RECT r = detailed.linkRect;
        DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &r, DT_LEFT | DT_SINGLELINE | DT_NOPREFIX);
        SelectObject(dc, oldFont);
    }
    EndPaint(h, &ps);
}

void OpenSupportPage(HWND h)
{
    TopMostMode = false;
    SetWindowPos(h, HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    const std::wstring address = GbkToWide(Trim(Options().SupportPageAddress()));
    ShellExecuteW(nullptr, L"open", address.c_str(), nullptr, nullptr, SW_SHOWMAXIMIZED);
}

void Destroy(HWND h)
{
    KillTimer(h, ShownCheckTimer);
    StopAutoClose(h);
    StopKeepInFront(h);
    const bool sendBox = IsDlgButtonChecked(h, idSend) == BST_CHECKED;
    const bool screenshot = IsDlgButtonChecked(h, idScreenshot) == BST_CHECKED;
    SendChecked = SendChecked && sendBox;
    AttachScreenshotChecked = screenshot;
    CopyToClipboardChecked = CopyToClipboardChecked && IsDlgButtonChecked(h, idCopy) == BST_CHECKED;
    TVurazaModuleOptions& o = DialogOptions();
    uint16_t flags = o.DialogFlags();
    flags = static_cast<uint16_t>(SendChecked ? flags | dfSendChecked : flags & ~dfSendChecked);
    flags = static_cast<uint16_t>(screenshot ? flags | dfScreenshotChecked : flags & ~dfScreenshotChecked);
    o.SetDialogFlags(flags);
    if (detailed.page)
        DestroyWindow(detailed.page);
    detailed.page = nullptr;
    if (detailed.large)
        SaveGeometry();
    FreeDialogFonts(detailed.fonts);
    for (HGDIOBJ* object : {reinterpret_cast<HGDIOBJ*>(&detailed.background), reinterpret_cast<HGDIOBJ*>(&detailed.white),
                            reinterpret_cast<HGDIOBJ*>(&detailed.picture)}) {
        if (*object)
            DeleteObject(*object);
        *object = nullptr;
    }
}

INT_PTR OnCommand(HWND h, int id)
{
    switch (id) {
    case idOk: DialogState = TDialogState::None; Close(h); return TRUE;
    case idTerminate:
        DialogState = TDialogState::None;
        TerminatePressed = true;
        Close(h);
        return TRUE;
    case idDetails:
        if (detailed.large)
            SaveGeometry();
        LayoutDetailedDialog(h, !detailed.large);
        InvalidateRect(h, nullptr, TRUE);
        Layout(h, SIZE_RESTORED);
        return TRUE;
    case idHelp:
        if (ExceptionDialogHooks().customButton && ExceptionDialogHooks().customButton()) {
            DialogState = TDialogState::None;
            Close(h);
        }
        return TRUE;
    case idSend:
        EnableWindow(GetDlgItem(h, idScreenshot), IsDlgButtonChecked(h, idSend) == BST_CHECKED);
        return TRUE;
    case IDCANCEL:
        SendChecked = false;
        DialogCancelled = true;
        CopyToClipboardChecked = false;
        DialogState = TDialogState::None;
        Close(h);
        return TRUE;
    }
    return FALSE;
}

}  // namespace

INT_PTR CALLBACK DetailedDialogProc(HWND h, UINT message, WPARAM wParam, LPARAM lParam)
{
    return GuardedCall<INT_PTR>(FALSE, [&]() -> INT_PTR {
        if (IsUserInput(message))
            ResetAutoClose();
        switch (message) {
        case WM_INITDIALOG: InitDetailed(h); return FALSE;
        case WM_COMMAND: return OnCommand(h, LOWORD(wParam));
        case WM_CLOSE: DialogState = TDialogState::None; Close(h); return TRUE;
        case WM_NOTIFY: {
            const auto* n = reinterpret_cast<const NMHDR*>(lParam);
            if (n->idFrom == idTab && n->code == TCN_SELCHANGE)
                ShowTabPage(h, static_cast<int>(SendDlgItemMessageW(h, idTab, TCM_GETCURSEL, 0, 0)));
            return FALSE;
        }
        case WM_TIMER:
            if (wParam == ShownCheckTimer) {
                KillTimer(h, ShownCheckTimer);
                if (DialogNeverPainted(h))
                    SendMessageW(h, WM_CLOSE, 0, 0);
                return TRUE;
            }
            return HandleServiceTimer(h, wParam);
        case WM_PAINT: Paint(h); return TRUE;
        case WM_MOUSEMOVE: {
            const POINT p{static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
            const bool hot = detailed.supportLink && PtInRect(&detailed.linkRect, p);
            if (hot != detailed.linkHot) {
                detailed.linkHot = hot;
                InvalidateRect(h, &detailed.linkRect, TRUE);
            }
            return FALSE;
        }
        case WM_SETCURSOR:
            if (detailed.linkHot && reinterpret_cast<HWND>(wParam) == h) {
                SetCursor(LoadCursorW(nullptr, MAKEINTRESOURCEW(32649)));  // the hand
                SetWindowLongPtrW(h, DWLP_MSGRESULT, TRUE);
                return TRUE;
            }
            return FALSE;
        case WM_LBUTTONUP:
            if (detailed.linkHot)
                OpenSupportPage(h);
            return TRUE;
        case WM_SIZE:
            if (CurrentDialogWindow == reinterpret_cast<uintptr_t>(h))
                Layout(h, wParam);
            return FALSE;
        case WM_MOVE:
            if (detailed.large && !IsZoomed(h)) {
                RECT w;
                GetWindowRect(h, &w);
                detailed.geometry.left = w.left;
                detailed.geometry.top = w.top;
            }
            return FALSE;
        case WM_NCPAINT:
        case WM_NCACTIVATE:
            if (PaintOwnCaption(h, message, wParam, DialogText(3), detailed.large, detailed.fonts.caption)) {
                SetWindowLongPtrW(h, DWLP_MSGRESULT, TRUE);
                return TRUE;
            }
            return FALSE;
        case WM_CTLCOLORDLG:
        case WM_CTLCOLORSTATIC:
        case WM_CTLCOLORBTN:
            if (OwnLook())
                return reinterpret_cast<INT_PTR>(OwnLookColor(message, reinterpret_cast<HDC>(wParam), detailed.background));
            return FALSE;
        case WM_DESTROY: Destroy(h); return FALSE;
        }
        return FALSE;
    });
}
