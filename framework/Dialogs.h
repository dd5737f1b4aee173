#pragma once
// The program's message boxes, behind one function that tests can intercept: the hook sees
// the text, caption and kind, and its answer is returned as if the user had clicked it.

#include <functional>
#include <string>

enum class TMsgDlgType { Warning, Information, Confirmation, Error };
enum class TMsgDlgButtons { Ok, YesNo };
enum class TModalAnswer { Ok = 1, Cancel = 2, Yes = 6, No = 7 };

struct TMessageBoxRequest {
    std::string text;     // GBK
    std::string caption;  // GBK
    TMsgDlgType type;
    TMsgDlgButtons buttons;
    unsigned flags = 0;  // MessageBoxW flags of a box with its own (MessageBoxWithFlags)
};

using MessageBoxHook = std::function<TModalAnswer(const TMessageBoxRequest&)>;

// Replaces the hook (an empty one restores the real box) and returns the previous hook.
MessageBoxHook SetMessageBoxHook(MessageBoxHook hook);

// Shows a modal box owned by the active window of this thread.
TModalAnswer MessageDlg(const std::string& text, TMsgDlgType type, TMsgDlgButtons buttons);

inline void ShowWarning(const std::string& text) { MessageDlg(text, TMsgDlgType::Warning, TMsgDlgButtons::Ok); }
inline void ShowInformation(const std::string& text) { MessageDlg(text, TMsgDlgType::Information, TMsgDlgButtons::Ok); }
inline bool AskYesNo(const std::string& text)
{
    return MessageDlg(text, TMsgDlgType::Confirmation, TMsgDlgButtons::YesNo) == TModalAnswer::Yes;
}

// A box with its own caption and MessageBoxW flags, owned by no window (the crash reporter's,
// which must not depend on the application's windows); the hook sees it like any other.
TModalAnswer MessageBoxWithFlags(const std::string& text, const std::string& caption, TMsgDlgType type,
                                 unsigned flags);

// Caption used for every box; the application sets it to its title.
void SetMessageBoxCaption(std::string caption);
std::string MessageBoxCaption();
