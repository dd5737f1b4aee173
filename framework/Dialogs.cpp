#include "framework/Dialogs.h"

#include <windows.h>

#include <mutex>

#include "framework/CodePage.h"

namespace {

std::mutex& Lock()
{
    static std::mutex lock;
    return lock;
}

MessageBoxHook& Hook()
{
    static MessageBoxHook hook;
    return hook;
}

std::string& Caption()
{
    static std::string caption;
    return caption;
}

}  // namespace

MessageBoxHook SetMessageBoxHook(MessageBoxHook hook)
{
    std::lock_guard<std::mutex> guard(Lock());
    std::swap(Hook(), hook);
    return hook;
}

void SetMessageBoxCaption(std::string caption)
{
    std::lock_guard<std::mutex> guard(Lock());
    Caption() = std::move(caption);
}

const std::string& MessageBoxCaption() { return Caption(); }

TModalAnswer MessageDlg(const std::string& text, TMsgDlgType type, TMsgDlgButtons buttons)
{
    TMessageBoxRequest request{text, {}, type, buttons};
    MessageBoxHook hook;
    {
        std::lock_guard<std::mutex> guard(Lock());
        hook = Hook();
        request.caption = Caption();
    }
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
    const int r = MessageBoxW(GetActiveWindow(), wtext.c_str(), wcaption.c_str(), flags);
    switch (r) {
    case IDYES: return TModalAnswer::Yes;
    case IDNO: return TModalAnswer::No;
    case IDCANCEL: return TModalAnswer::Cancel;
    default: return TModalAnswer::Ok;
    }
}
