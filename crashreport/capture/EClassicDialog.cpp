// The Windows-style exception dialog ("EL_MS_Dialog"): laid out at run time from its texts.
#include "crashreport/capture/EDialogDispatch.h"
#include "crashreport/capture/ECoreWin.h"
#include "crashreport/capture/EDialogHooks.h"
#include "crashreport/capture/EDialogServices.h"
#include "crashreport/capture/EDialogSettings.h"
#include "crashreport/capture/EOptions.h"
#include "crashreport/capture/ETreeList.h"
#include "framework/CodePage.h"
#include "framework/DialogMark.h"
#include "framework/ExceptionBoundary.h"
#include "framework/SysUtils.h"

namespace {

enum {
    idHeading = 102, idMessage = 103, idTerminate = 104, idRequest = 105, idExplanation = 106, idLinkLead = 107,
    idReproduceQuestion = 108, idReproduce = 109, idEmailLabel = 110, idEmail = 111,
    idSend = 1000, idSecond = 1001, idHelp = 1002,
};

struct TClassicState {
    TDialogFonts fonts;
    HBITMAP picture = nullptr;
    bool sendControls = false;
    bool link = false;
    bool linkHot = false;
    RECT linkRect{};
};
TClassicState classic;

void SetFont(HWND h, int id, HFONT font) { SendDlgItemMessageW(h, id, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE); }

void InitClassic(HWND h)
{
    MarkProgramDialog(h);
    const TVurazaModuleOptions& o = DialogOptions();
    PrepareDialogWindow(h, false);
    CreateDialogFonts(h, classic.fonts);
    classic.picture = static_cast<HBITMAP>(LoadImageW(ReporterModule(), L"EL_Error", IMAGE_BITMAP, 0, 0, 0));
    SetWindowTextGbk(h, DialogText(3));

    classic.sendControls = (o.MailMethod() != 0 || o.UploadMethod() != 0) && !HookedDuplicateError() &&
                           DialogFlag(dfSendBox);
    TClassicLayoutInput in;
    in.borderHeight = GetSystemMetrics(SM_CYBORDER);
    in.frameHeight = GetSystemMetrics(SM_CYFIXEDFRAME);
    in.captionHeight = CaptionMetric();
    in.heading = DialogText(26);
    in.message = HookedExceptionMessage();
    in.terminateText = DialogText(o.TerminateButtonAction() == 1 ? 28 : 27);
    in.request = DialogText(29);
    in.explanation = DialogText(30);
    in.linkLead = DialogText(31) + " ";
    in.linkText = DialogText(32);
    in.reproduceQuestion = DialogText(33);
    in.emailLabel = DialogText(34) + " ";
    in.sendText = DialogText(35);
    in.dontSendText = DialogText(36);
    in.okText = DialogText(17);
    in.helpText = DialogText(21);
    in.terminateBox = o.TerminateButtonAction() != 0 && o.TerminateButtonAfter() < HookedReportCounter();
    in.sendControls = classic.sendControls;
    in.link = DialogFlag(dfDetails);
    in.reproduce = (o.LogFlags() & 0x2) != 0;
    in.email = classic.sendControls && (o.MailMethod() != 1 || o.UploadMethod() != 0);
    in.helpButton = DialogFlag(dfHelpButton);
    in.sendWanted = SendChecked;
    const TWindowMeasurer measurer(h, classic.fonts);
    const TClassicLayout l = LayoutClassicDialog(measurer, in);

    struct {
        int id;
        bool shown;
        const std::string* text;
        TLayoutRect rect;
        HFONT font;
    } controls[] = {
        {idHeading, true, &in.heading, l.heading, classic.fonts.messageBold},
        {idMessage, true, &in.message, l.message, classic.fonts.message},
        {idTerminate, in.terminateBox, &in.terminateText, l.terminate, classic.fonts.message},
        {idRequest, in.sendControls, &in.request, l.request, classic.fonts.messageBold},
        {idExplanation, in.sendControls, &in.explanation, l.explanation, classic.fonts.message},
        {idLinkLead, in.link, &in.linkLead, l.linkLead, classic.fonts.message},
        {idReproduceQuestion, in.reproduce, &in.reproduceQuestion, l.reproduceQuestion, classic.fonts.message},
        {idReproduce, in.reproduce, nullptr, l.reproduceEdit, classic.fonts.monospace},
        {idEmailLabel, in.email, &in.emailLabel, l.emailLabel, classic.fonts.message},
        {idEmail, in.email, nullptr, l.emailEdit, classic.fonts.message},
        {idSend, in.sendControls, &in.sendText, l.send, classic.fonts.message},
        {idSecond, true, l.secondIsOk ? &in.okText : &in.dontSendText, l.second, classic.fonts.message},
        {idHelp, in.helpButton, &in.helpText, l.help, classic.fonts.message},
    };
    for (const auto& c : controls) {
        SetFont(h, c.id, c.font);
        if (c.text)
            SetDialogItemText(h, c.id, *c.text);
        MoveControl(h, c.id, c.rect);
        ShowControl(h, c.id, c.shown);
    }
    SetDialogItemText(h, idReproduce, o.ReproduceStepsText());
    SetDialogItemText(h, idEmail, ReadIniText(DialogIniFileName, UserSection, EmailKey, ""));
    classic.link = in.link;
    classic.linkHot = false;
    classic.linkRect = RECT{l.link.left, l.link.top, l.link.Right(), l.link.Bottom()};
    if (!classic.sendControls) {
        HWND send = GetDlgItem(h, idSend);
        EnableWindow(send, FALSE);
        SendMessageW(send, BM_SETSTYLE, BS_PUSHBUTTON, TRUE);
        SendDlgItemMessageW(h, idSecond, BM_SETSTYLE, BS_DEFPUSHBUTTON, TRUE);
        SendMessageW(h, DM_SETDEFID, idSecond, 0);
    }
    SetFocus(GetDlgItem(h, classic.sendControls ? idSend : idSecond));
    CenterOnActiveMonitor(h, ClassicWindowWidth, l.windowHeight);
    SetTimer(h, ShownCheckTimer, 1, nullptr);
    StartAutoClose(h);
    StartKeepInFront(h);
}

// Stores what was entered and closes. interactive: a button or the link, where an invalid
// address is shown and keeps the dialog open; Escape, auto-close and the shown check drop it.
void FinishClassicDialog(HWND h, bool interactive)
{
    const std::string email = Trim(DialogItemText(h, idEmail));
    switch (CheckEmailAddress(email)) {
    case TEmailCheck::Valid:
        DialogOptions().SetSmtpSender(email);
        if (ExceptionDialogHooks().replaceReportEmail)
            ExceptionDialogHooks().replaceReportEmail(email);
        WriteIniText(DialogIniFileName, UserSection, EmailKey, email);
        break;
    case TEmailCheck::Invalid:
        if (interactive) {
            ShowReporterMessageBox(DialogText(157), DialogText(2));
            return;
        }
        break;
    case TEmailCheck::Empty: break;
    }
    DialogOptions().SetReproduceStepsText(Trim(DialogItemText(h, idReproduce)));
    const bool terminateBox = IsWindowVisible(GetDlgItem(h, idTerminate)) &&
                              IsDlgButtonChecked(h, idTerminate) == BST_CHECKED;
    TerminatePressed = TerminatePressed ? !DialogCancelled : terminateBox && !DialogCancelled;
    EndDialog(h, IDOK);
}

void CancelClassic(HWND h)
{
    SendChecked = false;
    DialogCancelled = true;
    DialogState = TDialogState::None;
    FinishClassicDialog(h, false);
}

void PaintClassic(HWND h)
{
    DialogShown = true;
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(h, &ps);
    HGDIOBJ oldBrush = SelectObject(dc, GetStockObject(WHITE_BRUSH));
    HGDIOBJ oldPen = SelectObject(dc, GetStockObject(BLACK_PEN));
    Rectangle(dc, 0, 0, 413, ClassicBandHeight);
    SelectObject(dc, oldPen);
    SelectObject(dc, oldBrush);
    DrawTransparentBitmap(dc, classic.picture, 372, 9, 32, 32);
    if (classic.link) {
        HGDIOBJ oldFont = SelectObject(dc, classic.fonts.messageUnderlined);
        SetBkMode(dc, TRANSPARENT);
        SetTextColor(dc, RGB(0, 0, 255));
        const std::wstring text = GbkToWide(DialogText(32));
        RECT r = classic.linkRect;
        DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &r, DT_LEFT | DT_NOPREFIX | DT_WORDBREAK);
        SelectObject(dc, oldFont);
    }
    EndPaint(h, &ps);
}

}  // namespace

INT_PTR CALLBACK ClassicDialogProc(HWND h, UINT message, WPARAM wParam, LPARAM lParam)
{
    return GuardedCall<INT_PTR>(FALSE, [&]() -> INT_PTR {
        if (IsUserInput(message))
            ResetAutoClose();
        switch (message) {
        case WM_INITDIALOG: InitClassic(h); return FALSE;
        case WM_COMMAND:
            switch (LOWORD(wParam)) {
            case idSend:
                SendChecked = true;
                DialogState = TDialogState::None;
                FinishClassicDialog(h, true);
                return TRUE;
            case idSecond:
                if (classic.sendControls)
                    SendChecked = false;
                DialogState = TDialogState::None;
                FinishClassicDialog(h, true);
                return TRUE;
            case idHelp:
                if (ExceptionDialogHooks().customButton && ExceptionDialogHooks().customButton()) {
                    DialogState = TDialogState::None;
                    FinishClassicDialog(h, true);
                }
                return TRUE;
            case IDCANCEL: CancelClassic(h); return TRUE;
            case idMessage:
            case idReproduce:
                if (HIWORD(wParam) == EN_KILLFOCUS && EscapePressed())
                    CancelClassic(h);
                return TRUE;
            }
            return FALSE;
        case WM_CLOSE:
            DialogState = TDialogState::None;
            FinishClassicDialog(h, false);
            return TRUE;
        case WM_TIMER:
            if (wParam == ShownCheckTimer) {
                KillTimer(h, ShownCheckTimer);
                if (DialogNeverPainted(h)) {
                    DialogState = TDialogState::None;
                    FinishClassicDialog(h, false);
                }
                return TRUE;
            }
            return HandleServiceTimer(h, wParam);
        case WM_PAINT: PaintClassic(h); return TRUE;
        case WM_CTLCOLORSTATIC:
            if (reinterpret_cast<HWND>(lParam) == GetDlgItem(h, idHeading)) {
                SetBkMode(reinterpret_cast<HDC>(wParam), TRANSPARENT);
                return reinterpret_cast<INT_PTR>(GetStockObject(WHITE_BRUSH));
            }
            return FALSE;
        case WM_MOUSEMOVE: {
            const POINT p{static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
            const bool hot = classic.link && PtInRect(&classic.linkRect, p);
            if (hot != classic.linkHot) {
                classic.linkHot = hot;
                InvalidateRect(h, &classic.linkRect, TRUE);
            }
            return FALSE;
        }
        case WM_SETCURSOR:
            if (classic.linkHot && reinterpret_cast<HWND>(wParam) == h) {
                SetCursor(LoadCursorW(nullptr, MAKEINTRESOURCEW(32649)));  // the hand
                SetWindowLongPtrW(h, DWLP_MSGRESULT, TRUE);
                return TRUE;
            }
            return FALSE;
        case WM_LBUTTONUP:
            if (classic.linkHot) {
                DialogState = TDialogState::Detailed;
                FinishClassicDialog(h, true);
            }
            return TRUE;
        case WM_DESTROY:
            KillTimer(h, ShownCheckTimer);
            StopAutoClose(h);
            StopKeepInFront(h);
            FreeDialogFonts(classic.fonts);
            if (classic.picture)
                DeleteObject(classic.picture);
            classic.picture = nullptr;
            return FALSE;
        }
        return FALSE;
    });
}
