#include "crashreport/capture/EDialogState.h"

std::atomic<TDialogState> DialogState{TDialogState::None};
std::atomic<bool> DialogShown{false};
std::atomic<bool> DialogFailed{false};
std::atomic<bool> DialogCancelled{false};
std::atomic<bool> SendChecked{false};
std::atomic<bool> AttachScreenshotChecked{false};
std::atomic<bool> CopyToClipboardChecked{false};
std::atomic<bool> TerminatePressed{false};
std::atomic<bool> DetailedDialogForcedLarge{false};
std::atomic<bool> TopMostMode{false};
std::atomic<uintptr_t> CurrentDialogWindow{0};
std::atomic<bool> TerminateTold{false};

void ResetDialogResults()
{
    DialogState = TDialogState::None;
    DialogShown = false;
    DialogFailed = false;
    DialogCancelled = false;
    SendChecked = false;
    AttachScreenshotChecked = false;
    CopyToClipboardChecked = false;
    TerminatePressed = false;
    DetailedDialogForcedLarge = false;
    TopMostMode = false;
    CurrentDialogWindow = 0;
    TerminateTold = false;
}

void StartReportDialogResults()
{
    DialogCancelled = false;
    DialogShown = false;
    CopyToClipboardChecked = false;
    DialogFailed = false;
    TerminateTold = false;
}
