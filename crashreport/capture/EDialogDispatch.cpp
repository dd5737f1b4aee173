#include "crashreport/capture/EDialogDispatch.h"

#include "crashreport/capture/EDialogHooks.h"
#include "crashreport/capture/EDialogServices.h"
#include "crashreport/capture/EInternalWarning.h"
#include "crashreport/capture/EOptions.h"
#include "crashreport/capture/ETreeList.h"
#include "framework/DialogMark.h"
#include "framework/Dialogs.h"
#include "framework/ExceptionBoundary.h"
#include "framework/SysUtils.h"

std::atomic<HWND> SendProgressWindow{nullptr};
std::atomic<bool> SendProgressFocusReceived{false};

namespace {

bool IsNtFamily()
{
    OSVERSIONINFOW info{};
    info.dwOSVersionInfoSize = sizeof info;
    return !GetVersionExW(&info) || info.dwPlatformId == VER_PLATFORM_WIN32_NT;
}

void ShowExceptionBox()
{
    ShowReporterMessageBox(HookedExceptionMessage(), DialogText(3));
}

INT_PTR ShowTemplate(const wchar_t* name, DLGPROC procedure)
{
    return DialogBoxParamW(ReporterModule(), name, DialogParentWindow(), procedure, 0);
}

}  // namespace

void ShowReporterMessageBox(const std::string& text, const std::string& caption)
{
    MessageBoxWithFlags(text, caption, TMsgDlgType::Error, ReporterBoxFlags);
}

void ShowExceptionDialog(bool beep)
{
    DialogFailed = false;
    HMODULE richEdit = LoadLibraryW(L"RICHED20.DLL");
    HWND foreground = GetForegroundWindow();
    CurrentDialogWindow = 0;
    if (beep && DialogState != TDialogState::MessageBox)
        MessageBeep(MB_ICONHAND);
    const TDialogState shownState = DialogState;
    for (;;) {
        DialogShown = false;
        switch (DialogState.load()) {
        case TDialogState::Detailed: ShowTemplate(L"EL_Dialog", DetailedDialogProc); break;
        case TDialogState::Classic: ShowTemplate(L"EL_MS_Dialog", ClassicDialogProc); break;
        case TDialogState::MessageBox:
            DialogShown = true;
            ShowExceptionBox();
            DialogState = TDialogState::None;
            break;
        default: DialogShown = true; break;
        }
        if (!DialogShown && IsNtFamily())
            ShowExceptionBox();
        bool terminateCancelled = false;
        if (TerminatePressed) {
            ClearLastWarning();
            bool terminate = true;
            if (ExceptionDialogHooks().beforeTerminate)
                ExceptionDialogHooks().beforeTerminate(terminate);
            TerminatePressed = terminate;
            TerminateTold = terminate;
            terminateCancelled = !terminate;
        }
        if (!DialogShown) {
            ReportInternalWarning(TDuruvaDodErrorCode::eeShowError, "Cannot show the DialogBox window.");
            DialogState = TDialogState::None;
            DialogFailed = true;
        }
        if (!terminateCancelled || DialogFailed)
            break;
        DialogState = shownState;  // the same dialog again
    }
    if (foreground)
        SetForegroundWindow(foreground);
    if (richEdit)
        FreeLibrary(richEdit);
}

void ShowExceptionDialogs()
{
    ShowExceptionDialog(true);
    while (DialogState != TDialogState::None) {
        DetailedDialogForcedLarge = true;
        ShowExceptionDialog(false);
    }
    DetailedDialogForcedLarge = false;
}

void ShowReproduceDialog()
{
    const TVurazaModuleOptions& o = DialogOptions();
    const auto& hooks = ExceptionDialogHooks();
    const bool windowed = !hooks.windowedApplication || hooks.windowedApplication();
    if (!(o.LogFlags() & 0x2) || !windowed || HookedDuplicateError() || !(SendChecked || o.KeepLogFile()) ||
        DialogFailed)
        return;
    DialogShown = false;
    ShowTemplate(L"EL_Request", ReproduceDialogProc);
    DialogShown = false;
}

// Reproduce request --------------------------------------------------------------------------

namespace {

struct TReproduceState {
    TDialogFonts fonts;
};
TReproduceState reproduce;

void InitReproduce(HWND h)
{
    MarkProgramDialog(h);
    PrepareDialogWindow(h, false);
    CreateDialogFonts(h, reproduce.fonts);
    SetWindowTextGbk(h, DialogText(123));
    const std::string request = DialogText(124);
    SetDialogItemText(h, 100, request);
    SetDialogItemText(h, 2, DialogText(125));
    SetDialogItemText(h, 101, DialogOptions().ReproduceStepsText());
    SendDlgItemMessageW(h, 100, WM_SETFONT, reinterpret_cast<WPARAM>(reproduce.fonts.message), FALSE);
    SendDlgItemMessageW(h, 2, WM_SETFONT, reinterpret_cast<WPARAM>(reproduce.fonts.message), FALSE);
    SendDlgItemMessageW(h, 101, WM_SETFONT, reinterpret_cast<WPARAM>(reproduce.fonts.monospace), FALSE);

    RECT w;
    GetWindowRect(h, &w);
    const int width = w.right - w.left, height = w.bottom - w.top;
    const TWindowMeasurer measurer(h, reproduce.fonts);
    const int a = width - 27;
    const int textHeight = TextBlockHeight(measurer, TDialogFont::Message, request, a);
    // A long request must not squeeze the edit away: it keeps three lines.
    const int minEdit = 3 * measurer.LineHeight(TDialogFont::Monospace) + 8;
    const int wanted = height - textHeight - 83;
    const int editHeight = std::max(wanted, minEdit);
    GrowWindowBottom(h, textHeight - 10 + (editHeight - wanted));
    MoveControl(h, 100, {10, 10, a, textHeight});
    MoveControl(h, 101, {10, textHeight + 14, a, editHeight});
    MoveControl(h, 2, {a - 65, textHeight + editHeight + 20, 75, 23});

    StartAutoClose(h);
    CenterInWorkArea(h, DialogWorkArea().right > DialogWorkArea().left ? DialogWorkArea() : MonitorWorkArea(h));
    StartKeepInFront(h);
}

}  // namespace

INT_PTR CALLBACK ReproduceDialogProc(HWND h, UINT message, WPARAM wParam, LPARAM lParam)
{
    return GuardedCall<INT_PTR>(FALSE, [&]() -> INT_PTR {
        if (IsUserInput(message))
            ResetAutoClose();
        switch (message) {
        case WM_INITDIALOG: InitReproduce(h); return TRUE;
        case WM_COMMAND:
            if (LOWORD(wParam) == IDCANCEL) {
                DialogOptions().SetReproduceStepsText(Trim(DialogItemText(h, 101)));
                EndDialog(h, IDOK);
            }
            return TRUE;
        case WM_TIMER: return HandleServiceTimer(h, wParam);
        case WM_PAINT: DialogShown = true; return FALSE;
        case WM_NCPAINT:
        case WM_NCACTIVATE:
            if (PaintOwnCaption(h, message, wParam, DialogText(123), false, reproduce.fonts.caption)) {
                SetWindowLongPtrW(h, DWLP_MSGRESULT, TRUE);
                return TRUE;
            }
            return FALSE;
        case WM_DESTROY:
            StopAutoClose(h);
            StopKeepInFront(h);
            FreeDialogFonts(reproduce.fonts);
            return FALSE;
        }
        return FALSE;
    });
}

// Send-progress window -----------------------------------------------------------------------

namespace {

struct TSendProgressState {
    TDialogFonts fonts;
    HBITMAP picture = nullptr;
    bool topMost = false;
};
TSendProgressState progress;

}  // namespace

INT_PTR CALLBACK SendProgressDialogProc(HWND h, UINT message, WPARAM wParam, LPARAM lParam)
{
    return GuardedCall<INT_PTR>(FALSE, [&]() -> INT_PTR {
        switch (message) {
        case WM_INITDIALOG: {
            MarkProgramDialog(h);
            progress.topMost = lParam != 0;
            PrepareDialogWindow(h, !progress.topMost);
            CreateDialogFonts(h, progress.fonts);
            SendProgressWindow = h;
            SetWindowTextGbk(h, DialogText(110));
            SendDlgItemMessageW(h, 100, WM_SETFONT, reinterpret_cast<WPARAM>(progress.fonts.message), FALSE);
            progress.picture = static_cast<HBITMAP>(LoadImageW(ReporterModule(), L"EL_Send", IMAGE_BITMAP, 0, 0, 0));
            const RECT area = MonitorWorkArea(h);
            if (progress.topMost) {
                CenterInWorkArea(h, area);
                StartKeepInFront(h);
            } else {
                RECT r;
                GetWindowRect(h, &r);
                SetWindowPos(h, nullptr, area.right - (r.right - r.left), area.bottom - (r.bottom - r.top), 0, 0,
                             SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
            }
            return TRUE;
        }
        case WM_PAINT: {
            DialogShown = true;
            PAINTSTRUCT ps;
            HDC dc = BeginPaint(h, &ps);
            DrawTransparentBitmap(dc, progress.picture, 8, 8, 32, 32);
            EndPaint(h, &ps);
            return TRUE;
        }
        case WM_NCPAINT:
        case WM_NCACTIVATE:
            if (PaintOwnCaption(h, message, wParam, DialogText(110), false, progress.fonts.caption)) {
                SetWindowLongPtrW(h, DWLP_MSGRESULT, TRUE);
                return TRUE;
            }
            return FALSE;
        case WM_SETFOCUS: SendProgressFocusReceived = true; return FALSE;
        case WM_ACTIVATE:
            if (LOWORD(wParam) != WA_INACTIVE)
                SendProgressFocusReceived = true;
            return FALSE;
        case WM_TIMER: return HandleServiceTimer(h, wParam);
        case SendProgressEndMessage: EndDialog(h, IDOK); return TRUE;
        case WM_DESTROY:
            if (progress.topMost)
                StopKeepInFront(h);
            FreeDialogFonts(progress.fonts);
            if (progress.picture)
                DeleteObject(progress.picture);
            progress.picture = nullptr;
            SendProgressWindow = nullptr;
            return FALSE;
        }
        return FALSE;
    });
}
