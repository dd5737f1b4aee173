#include "framework/Dialogs.h"

#include <windows.h>

#include "framework/CodePage.h"
#include "framework/DialogMark.h"
#include "framework/LockedValue.h"

namespace {

const wchar_t kProgramDialogProp[] = L"Vidudo.ProgramDialog";

LRESULT CALLBACK MarkDialogs(int code, WPARAM wParam, LPARAM lParam)
{
    if (code == HCBT_CREATEWND) {
        wchar_t name[16] = {};
        GetClassNameW(reinterpret_cast<HWND>(wParam), name, 16);
        if (lstrcmpW(name, L"#32770") == 0)
            MarkProgramDialog(reinterpret_cast<HWND>(wParam));
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

TLockedValue<MessageBoxHook>& Hook()
{
    static TLockedValue<MessageBoxHook> hook;
    return hook;
}

TLockedValue<std::string>& Caption()
{
    static TLockedValue<std::string> caption;
    return caption;
}

}  // namespace

MessageBoxHook SetMessageBoxHook(MessageBoxHook hook) { return Hook().Exchange(std::move(hook)); }

void SetMessageBoxCaption(std::string caption) { Caption().Exchange(std::move(caption)); }

std::string MessageBoxCaption() { return Caption().Get(); }

TModalAnswer MessageDlg(const std::string& text, TMsgDlgType type, TMsgDlgButtons buttons)
{
    const TMessageBoxRequest request{text, Caption().Get(), type, buttons};
    const MessageBoxHook hook = Hook().Get();
    if (hook)
        return hook(request);

    UINT flags = MB_TASKMODAL;
    switch (type) {
    case TMsgDlgType::Warning: flags |= MB_ICONWARNING; break;
    case TMsgDlgType::Information: flags |= MB_ICONINFORMATION; break;
    case TMsgDlgType::Confirmation: flags |= MB_ICONQUESTION; break;
    case TMsgDlgType::Error: flags |= MB_ICONERROR; break;
    }
    flags |= buttons == TMsgDlgButtons::YesNo ? MB_YESNO : MB_OK;
    const std::wstring wtext = GbkToWide(request.text);
    const std::wstring wcaption = GbkToWide(request.caption);
    int r;
    {
        TProgramDialogMarker marker;
        r = MessageBoxW(GetActiveWindow(), wtext.c_str(), wcaption.c_str(), flags);
    }
    switch (r) {
    case IDYES: return TModalAnswer::Yes;
    case IDNO: return TModalAnswer::No;
    case IDCANCEL: return TModalAnswer::Cancel;
    default: return TModalAnswer::Ok;
    }
}

TModalAnswer MessageBoxWithFlags(const std::string& text, const std::string& caption, TMsgDlgType type,
                                 unsigned flags)
{
    const TMsgDlgButtons buttons = (flags & MB_TYPEMASK) == MB_YESNO ? TMsgDlgButtons::YesNo : TMsgDlgButtons::Ok;
    const TMessageBoxRequest request{text, caption, type, buttons, flags};
    const MessageBoxHook hook = Hook().Get();
    if (hook)
        return hook(request);
    const std::wstring wtext = GbkToWide(text);
    const std::wstring wcaption = GbkToWide(caption);
    int r;
    {
        TProgramDialogMarker marker;
        r = MessageBoxW(nullptr, wtext.c_str(), wcaption.c_str(), flags);
    }
    switch (r) {
    case IDYES: return TModalAnswer::Yes;
    case IDNO: return TModalAnswer::No;
    case IDCANCEL: return TModalAnswer::Cancel;
    default: return TModalAnswer::Ok;
    }
}

void MarkProgramDialog(HWND window) { SetPropW(window, kProgramDialogProp, reinterpret_cast<HANDLE>(1)); }

bool IsProgramDialog(HWND window) { return window && GetPropW(window, kProgramDialogProp) != nullptr; }

TProgramDialogMarker::TProgramDialogMarker()
    : hook_(SetWindowsHookExW(WH_CBT, MarkDialogs, nullptr, GetCurrentThreadId()))
{
}

TProgramDialogMarker::~TProgramDialogMarker()
{
    if (hook_)
        UnhookWindowsHookEx(hook_);
}
