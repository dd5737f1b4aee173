#include <windows.h>
#include <commctrl.h>

#include "crashreport/delivery/ESendProgress.h"

#include <atomic>
#include <thread>

#include "crashreport/capture/EDialogDispatch.h"
#include "crashreport/capture/EDialogServices.h"
#include "crashreport/capture/EModules.h"
#include "crashreport/capture/EOptions.h"
#include "crashreport/capture/EUtilsWin.h"
#include "crashreport/delivery/EDeliveryRules.h"
#include "framework/CodePage.h"
#include "framework/ExceptionBoundary.h"
#include "framework/SysUtils.h"
#include "framework/Thread.h"

namespace {

struct TSendDialogState {
    bool inlineWindow = false;
    HANDLE thread = nullptr;  // a duplicate handle of TSendDialogThread
    int current = 0;
    int count = 0;
    const TVurazaModuleOptions* options = nullptr;
};
TSendDialogState state;
TSendProgress bar;
std::atomic<TSendProgressTrace> progressTrace{nullptr};

class TSendDialogThread : public TThread {
public:
    explicit TSendDialogThread(bool topMost) : topMost_(topMost) {}

protected:
    void Execute() override
    {
        DialogBoxParamW(ReporterModule(), L"EL_Server", DialogParentWindow(), SendProgressDialogProc, topMost_);
    }

private:
    bool topMost_;
};

HWND Window() { return SendProgressWindow.load(); }

bool WindowedProgram()
{
    IMAGE_NT_HEADERS32 nt;
    return ReadModuleNtHeaders(reinterpret_cast<uintptr_t>(GetModuleHandleW(nullptr)), nt) &&
           nt.OptionalHeader.Subsystem == IMAGE_SUBSYSTEM_WINDOWS_GUI;
}

void ShowBar()
{
    if (HWND w = Window()) {
        PumpSendMessages();
        SendDlgItemMessageW(w, 101, PBM_SETPOS, static_cast<WPARAM>(bar.Position()), 0);
        PumpSendMessages();
    }
}

bool SendProgressOpenForWarnings() { return SendProgressOpen(); }

}  // namespace

void PumpSendMessages()
{
    if (!state.inlineWindow) return;
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) continue;
        try {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        } catch (...) {
        }
    }
}

void BeginSendProgress(const TVurazaModuleOptions& options, const TSendProgressSettings& settings, bool topMost)
{
    EndSendProgress();
    state = TSendDialogState{};
    state.options = &options;
    bar.Reset();
    SetSendProgressOpenProc(SendProgressOpenForWarnings);
    if (!(options.SendFlags() & 0x1) || (options.MailMethod() == 0 && options.UploadMethod() == 0) ||
        !WindowedProgram() || settings.DialogFailed)
        return;
    SendProgressFocusReceived = false;
    if (settings.InlineHandling) {
        state.inlineWindow = true;
        // A modeless dialog shows only when asked: the template is not made visible.
        if (HWND w = CreateDialogParamW(ReporterModule(), L"EL_Server", DialogParentWindow(), SendProgressDialogProc,
                                        topMost))
            ShowWindow(w, topMost ? SW_SHOW : SW_SHOWNOACTIVATE);
    } else {
        auto* thread = new TSendDialogThread(topMost);
        thread->FreeOnTerminate = true;
        DuplicateHandle(GetCurrentProcess(), thread->Handle(), GetCurrentProcess(), &state.thread, SYNCHRONIZE, FALSE, 0);
        SetThreadPriority(thread->Handle(), THREAD_PRIORITY_HIGHEST);
        thread->Resume();
    }
    // The window is ready once its dialog procedure initialised it; a template that can't be
    // made must not stall the delivery.
    for (int waited = 0; !Window() && waited < 5000; waited += 50) {
        PumpSendMessages();
        Sleep(50);
    }
}

bool SendProgressOpen() { return Window() != nullptr; }

std::string SendProgressMessageText(int slot)
{
    return state.options ? state.options->MessageText(slot) : DialogText(slot);
}

void SetSendProgressText(const std::string& text)
{
    if (HWND w = Window()) {
        PumpSendMessages();
        const std::wstring wide = GbkToWide(text);
        SendDlgItemMessageW(w, 100, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(wide.c_str()));
        if (TSendProgressTrace trace = progressTrace.load()) trace(text);
        PumpSendMessages();
    }
}

void SetSendProgressTrace(TSendProgressTrace trace) { progressTrace = trace; }

void SetSendMessageCounter(int current, int count)
{
    state.current = current;
    state.count = count;
}

void SetSendMessageText(const std::string& text)
{
    SetSendProgressText(Format("%s %d/%d: ", SendProgressMessageText(111).c_str(), state.current, state.count) + text);
}

void SetSendProgressPosition(int position)
{
    if (Window() && bar.SetPosition(position)) ShowBar();
}

void AdvanceSendProgress(int step) { SetSendProgressPosition(bar.Position() + step); }

void ResetSendProgress()
{
    bar.Reset();
    ShowBar();
}

int SendProgressPosition() { return bar.Position(); }

void EndSendProgress()
{
    if (HWND w = Window()) {
        PumpSendMessages();
        SendMessageW(w, SendProgressEndMessage, 0, 0);
        if (state.inlineWindow) DestroyWindow(w);
        PumpSendMessages();
    }
    if (state.thread) {
        WaitForSingleObject(state.thread, 5000);
        CloseHandle(state.thread);
        state.thread = nullptr;
    }
    state.inlineWindow = false;
}

void ShowConnectionStatus(int connectionState, int percent)
{
    if (!Window()) return;
    const int before = bar.Position();
    const int text = ConnectionStatus(connectionState, percent, bar);
    if (text >= 0) SetSendProgressText(SendProgressMessageText(text));
    if (bar.Position() != before || connectionState == 0) ShowBar();
}

void ShowUploadStatus(int kind, uint64_t total, uint64_t done)
{
    if (!Window()) return;
    const int text = UploadStatus(kind, total, done, bar);
    if (text >= 0) SetSendProgressText(SendProgressMessageText(text));
    ShowBar();
}
